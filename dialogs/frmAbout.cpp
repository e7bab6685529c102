#include "dialogs/frmAbout.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "core/AppState.h"
#include "core/Version.h"
#include "ui/ApplyLanguage.h"
#include "ui/Colours.h"
#include "ui/Common.h"
#include "ui/DialogKit.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"
#include "ui/Platform.h"
#include "ui/Skin.h"

namespace {

const QString CopyrightPrefix = QStringLiteral("Copyright \u00A9 2026 The Tavoren authors.\n");

} // namespace

QString frmAbout::MailAddress()
{
    return QStringLiteral("tavoren@example.org");
}

frmAbout::frmAbout()
{
    setupUi(this);
    // Names a .ui file cannot give, since they are no C++ names.
    lblVersion->setObjectName(QStringLiteral("lbl(1)"));
    lblCredit->setObjectName(QStringLiteral("lbl(0)"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/icons/mark.png")));

    lblMail->setText(MailAddress());
    QFont mailFont = lblMail->font();
    mailFont.setUnderline(true);
    lblMail->setFont(mailFont);
    QPalette mailPalette = lblMail->palette();
    mailPalette.setColor(QPalette::WindowText, ReadableOn(QColor(0, 0, 255), mailPalette.color(QPalette::Window)));
    lblMail->setPalette(mailPalette);
    lblMail->setCursor(Qt::PointingHandCursor);
    lblMail->installEventFilter(this);
    connect(buttons->Ok(), &QPushButton::clicked, this, &frmAbout::reject);

    ApplyLanguage(this);
    InstallHelpKey(this, HelpPage::About);
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
