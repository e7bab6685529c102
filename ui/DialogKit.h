#pragma once

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QList>

#include "ui/Platform.h"

class CodePage;
class QPushButton;

// What every dialog is built from, named and tagged so the language file reaches it. The forms'
// .ui files use TextBox and OkCancelBox as promoted widgets, so the properties below are set there.

// A one-line text box. One that selects on focus selects its whole text however it gets the focus,
// so typing replaces the value; the others keep a plain caret, even when tabbed into. A secret box
// shows "*" for every character. It never cuts a value: the stock limit of 32,767 characters would
// cut a longer stored value on load and save it cut.
class TextBox : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(bool selectOnFocus READ selectOnFocus WRITE setSelectOnFocus)
    Q_PROPERTY(bool secret READ secret WRITE setSecret)
    Q_PROPERTY(int widthChars READ widthChars WRITE setWidthChars)

public:
    explicit TextBox(QWidget* parent = nullptr);

    bool selectOnFocus() const { return m_selectOnFocus; }
    void setSelectOnFocus(bool select) { m_selectOnFocus = select; }
    bool secret() const { return echoMode() == Password; }
    void setSecret(bool secret);
    // Wide enough for this many letters and digits in the dialog's font, whichever language set it.
    int widthChars() const { return m_widthChars; }
    void setWidthChars(int chars);

    QSize sizeHint() const override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_selectOnFocus = true;
    bool m_clickFocused = false;
    int m_widthChars = 30;
};

// The row of CmdOK (the default button, key "10001") and CmdCancel (key "10002") in the platform's
// order. A dialog with nothing to cancel has OK alone.
class OkCancelBox : public QDialogButtonBox
{
    Q_OBJECT
    Q_PROPERTY(bool cancelButton READ cancelButton WRITE setCancelButton)

public:
    explicit OkCancelBox(QWidget* parent = nullptr);

    QPushButton* Ok() const { return m_ok; }
    QPushButton* Cancel() const { return m_cancel; }
    bool cancelButton() const { return m_cancel != nullptr; }
    void setCancelButton(bool shown);
    // A further button with its object name and language key, placed by its role.
    QPushButton* AddCommand(const char* name, const char* tag, const char* caption, ButtonRole role);

private:
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

// A refusal: the sound of the icon, the box under the "Information" title, the click, and the focus
// on the box at fault, with its text selected.
void RefuseInput(QWidget* dialog, MsgIcon icon, const char* key, const char* english, QWidget* focus);

// The first box whose text the code page cannot hold unchanged, or nullptr.
QLineEdit* FirstUnstorable(const QList<QLineEdit*>& boxes, const CodePage& codePage);
