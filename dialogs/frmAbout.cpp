#include "dialogs/frmAbout.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "core/AppState.h"
#include "core/Version.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/Forms.h"
#include "ui/Platform.h"
#include "ui/Skin.h"

namespace {

const QString CopyrightPrefix = QStringLiteral("Copyright \u00A9 2026 The Tavoren authors.\n");

QLabel* TaggedLabel(QWidget* parent, const char* name, const char* tag, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setProperty("Tag", QLatin1String(tag));
    return label;
}

} // namespace

QString frmAbout::MailAddress()
{
    return QStringLiteral("tavoren@example.org");
}

frmAbout::frmAbout()
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(QPixmap(QStringLiteral(":/icons/mark.png")));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    SkinLabel3 = TaggedLabel(this, "SkinLabel3", "10002", QStringLiteral("Tavoren"));
    lblVersion = TaggedLabel(this, "lbl(1)", "10003", QStringLiteral("Ver:1.0"));
    // Without a language file the credit still shows.
    lblCredit = TaggedLabel(this, "lbl(0)", "10004", QStringLiteral("%copyright%"));
    lblCredit->setWordWrap(true);

    lblMail = new QLabel(MailAddress(), this);
    lblMail->setObjectName(QStringLiteral("lblMail"));
    QFont mailFont = lblMail->font();
    mailFont.setUnderline(true);
    lblMail->setFont(mailFont);
    QPalette mailPalette = lblMail->palette();
    mailPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lblMail->setPalette(mailPalette);
    lblMail->setCursor(Qt::PointingHandCursor);
    lblMail->installEventFilter(this);

    CmdOK = new QPushButton(QStringLiteral("&Ok"), this);
    CmdOK->setObjectName(QStringLiteral("CmdOK"));
    CmdOK->setProperty("Tag", QStringLiteral("10001"));
    CmdOK->setDefault(true);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(CmdOK, QDialogButtonBox::AcceptRole);
    connect(CmdOK, &QPushButton::clicked, this, &frmAbout::reject);

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(16);
    layout->addWidget(picture, 0, 0, 4, 1);
    layout->addWidget(SkinLabel3, 0, 1);
    layout->addWidget(lblVersion, 1, 1);
    layout->addWidget(lblCredit, 2, 1);
    layout->addWidget(lblMail, 3, 1);
    layout->addWidget(buttons, 4, 0, 1, 2);

    ApplyLanguage(this);
    // The title stands out from the language's font, which ApplyLanguage gave the form.
    QFont titleFont = SkinLabel3->font();
    titleFont.setBold(true);
    if (titleFont.pointSizeF() > 0) {
        titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    }
    SkinLabel3->setFont(titleFont);
    lblCredit->setFixedWidth(lblCredit->fontMetrics().averageCharWidth() * 48);
    TheSkin().ApplySkin(this);
    lblCredit->setText(lblCredit->text().replace(QStringLiteral("%copyright%"), CopyrightPrefix + CreditText));
    lblVersion->setText(lblVersion->text().replace(QStringLiteral("%version%"), QStringLiteral("V" TAVOREN_VERSION)));
}

void frmAbout::MailTo()
{
    PlaySoundRes(SoundClick);
    ThePlatform().OpenUrl(QUrl(QStringLiteral("mailto:") + lblMail->text()));
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lblMail && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        MailTo();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::reject()
{
    PlaySoundRes(SoundClick);
    QDialog::reject();
    FormInstance<frmAbout>::Unload();
}
