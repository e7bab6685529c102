#pragma once

#include <QLineEdit>

#include "ui/DialogParts.h"
#include "ui/Platform.h"

class QDialog;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QPushButton;

// Pieces the login and account dialogs share: their text boxes, rows, buttons and refusals.

// A one-line box of an account dialog. It selects its whole text whenever it gets the focus, so
// typing replaces the value; secret boxes show "*" for every character.
class AccountBox : public QLineEdit
{
public:
    AccountBox(const char* name, bool secret, QWidget* parent);

    // Wide enough for a 24-character value in the dialog's font, whichever language set it.
    QSize sizeHint() const override;

protected:
    void focusInEvent(QFocusEvent* event) override;
};

// A refusal: the sound of the icon, the box under the "Information" title, the click, and the focus
// on the box at fault, with its text selected.
void RefuseInput(QWidget* dialog, MsgIcon icon, const char* key, const char* english, QWidget* focus);

// Whether the text is empty or holds nothing but spaces.
bool IsBlank(const QString& text);

// Whether the text survives the cipher's detour through the system code page. A character it cannot
// hold would be stored as '?', so such a text is never written, and never matches a stored value.
bool Storable(const QString& text);
// Whether an account has exactly this name and password (as typed, enciphered for the look-up).
// Text the code page cannot hold matches nothing. Throws on a database error.
bool AccountMatches(const QString& name, const QString& password);
