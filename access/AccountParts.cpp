#include "access/AccountParts.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "core/AppState.h"
#include "core/CodePage.h"
#include "core/Language.h"
#include "store/Database.h"
#include "ui/Common.h"

namespace {

// Every character of a secret shows as "*", whatever mask the platform's style would draw. A
// style rather than a style sheet: a style sheet would stop the form's font from reaching the box.
class AsteriskStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter) {
            return u'*';
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QStyle* Asterisks()
{
    static QPointer<AsteriskStyle> style;
    if (style.isNull()) {
        style = new AsteriskStyle;
        style->setParent(QCoreApplication::instance()); // one for every box, gone with the program
    }
    return style;
}

} // namespace

AccountBox::AccountBox(const char* name, bool secret, QWidget* parent) : QLineEdit(parent)
{
    setObjectName(QLatin1String(name));
    if (secret) {
        setEchoMode(QLineEdit::Password);
        setStyle(Asterisks());
        setInputMethodHints(Qt::ImhHiddenText | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    }
}

QSize AccountBox::sizeHint() const
{
    QSize size = QLineEdit::sizeHint();
    size.setWidth(std::max(size.width(), fontMetrics().averageCharWidth() * 24));
    return size;
}

void AccountBox::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    // After the click that brought the focus, so the mouse release does not undo the selection.
    QTimer::singleShot(0, this, [this] { SelectAllText(this); });
}

void RefuseInput(QWidget* dialog, MsgIcon icon, const char* key, const char* english, QWidget* focus)
{
    const QString text = GetLangString(dialog->objectName(), QLatin1String(key), QLatin1String(english));
    PlaySoundRes(icon == MsgIcon::Information ? SoundInformation : SoundWarning);
    ThePlatform().MessageBox(
        dialog, text, GetLangString(QStringLiteral("General"), QStringLiteral("10002"), QStringLiteral("Information")),
        icon, MsgButtons::Ok);
    PlaySoundRes(SoundClick);
    focus->setFocus();
    SelectAllText(focus);
}

bool IsBlank(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' '; });
}

bool Storable(const QString& text)
{
    return CodePage::System().CanEncode(text);
}

bool AccountMatches(const QString& name, const QString& password)
{
    if (!Storable(name) || !Storable(password)) {
        return false;
    }
    Recordset rs;
    OpenUserByLogin(rs, Conn, name, password);
    const bool found = rs.RecordCount() > 0;
    ReleaseRecordset(rs);
    return found;
}
