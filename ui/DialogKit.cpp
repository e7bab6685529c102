#include "ui/DialogKit.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>

#include <algorithm>
#include <limits>

#include "core/CodePage.h"
#include "core/Language.h"
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

QPushButton* Command(QWidget* parent, const char* name, const char* tag, const char* caption)
{
    auto* button = new QPushButton(QLatin1String(caption), parent);
    button->setObjectName(QLatin1String(name));
    button->setProperty("Tag", QLatin1String(tag));
    return button;
}

} // namespace

TextBox::TextBox(QWidget* parent) : QLineEdit(parent)
{
    setMaxLength(std::numeric_limits<int>::max());
}

void TextBox::setSecret(bool secret)
{
    setEchoMode(secret ? Password : Normal);
    setStyle(secret ? Asterisks() : nullptr);
    setInputMethodHints(secret ? Qt::ImhHiddenText | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase : Qt::ImhNone);
}

void TextBox::setWidthChars(int chars)
{
    m_widthChars = chars;
    updateGeometry();
}

QSize TextBox::sizeHint() const
{
    QSize size = QLineEdit::sizeHint();
    // A mix of letters and digits, as phone numbers, addresses and names have, plus the frame.
    static const QString sample = QStringLiteral("abcdefghij0123456789ABCDEFGHIJ").repeated(4);
    const int text = fontMetrics().horizontalAdvance(sample.left(m_widthChars));
    size.setWidth(std::max(size.width(), text + 4 * fontMetrics().averageCharWidth()));
    return size;
}

void TextBox::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    m_clickFocused = false;
    if (m_selectOnFocus) {
        selectAll();
        // The press that gave the focus moves the caret; the release selects again.
        m_clickFocused = event->reason() == Qt::MouseFocusReason;
        return;
    }
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason) {
        deselect(); // undo the selection QLineEdit makes on keyboard focus
    }
}

void TextBox::mouseReleaseEvent(QMouseEvent* event)
{
    QLineEdit::mouseReleaseEvent(event);
    if (m_clickFocused && !hasSelectedText()) {
        selectAll();
    }
    m_clickFocused = false;
}

OkCancelBox::OkCancelBox(QWidget* parent)
    : QDialogButtonBox(parent), m_ok(Command(this, "CmdOK", "10001", "&Ok")),
      m_cancel(Command(this, "CmdCancel", "10002", "&Cancel"))
{
    m_ok->setDefault(true);
    addButton(m_ok, AcceptRole);
    addButton(m_cancel, RejectRole);
}

void OkCancelBox::setCancelButton(bool shown)
{
    if (shown && m_cancel == nullptr) {
        m_cancel = Command(this, "CmdCancel", "10002", "&Cancel");
        addButton(m_cancel, RejectRole);
    } else if (!shown && m_cancel != nullptr) {
        removeButton(m_cancel);
        delete m_cancel;
        m_cancel = nullptr;
    }
}

QPushButton* OkCancelBox::AddCommand(const char* name, const char* tag, const char* caption, ButtonRole role)
{
    QPushButton* button = Command(this, name, tag, caption);
    addButton(button, role);
    return button;
}

void RefuseInput(QWidget* dialog, MsgIcon icon, const char* key, const char* english, QWidget* focus)
{
    const QString text = GetLangString(dialog->objectName(), QLatin1String(key), QLatin1String(english));
    PlaySoundRes(icon == MsgIcon::Information ? SoundInformation : SoundWarning);
    // The title says what the icon shows.
    const QString title =
        icon == MsgIcon::Information
            ? GetLangString(QStringLiteral("General"), QStringLiteral("10002"), QStringLiteral("Information"))
            : GetLangString(QStringLiteral("General"), QStringLiteral("10003"), QStringLiteral("Warning"));
    ThePlatform().MessageBox(dialog, text, title, icon, MsgButtons::Ok);
    PlaySoundRes(SoundClick);
    focus->setFocus();
    SelectAllText(focus);
}

QLineEdit* FirstUnstorable(const QList<QLineEdit*>& boxes, const CodePage& codePage)
{
    const auto found = std::find_if(boxes.begin(), boxes.end(),
                                    [&](const QLineEdit* box) { return !codePage.CanEncode(box->text()); });
    return found == boxes.end() ? nullptr : *found;
}
