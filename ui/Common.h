#pragma once

#include <QString>

#include <exception>

#include "ui/Platform.h"

class QAbstractItemView;
class QWidget;

// The small routines every form uses: sounds, the message-box pattern, the error report and a
// few helpers for text boxes, forms and lists.

enum SoundId { SoundWarning = 101, SoundInformation = 102, SoundError = 103, SoundClick = 104 };

// Starts a sound unless sounds are switched off.
void PlaySoundRes(int id);

// The message-box pattern: a sound before each box and the click after it.
void MsgInformation(QWidget* parent, const QString& text);
void MsgWarning(QWidget* parent, const QString& text);
// OK and Cancel with Cancel the default; true for OK. The caller plays the click when it goes on.
bool MsgConfirm(QWidget* parent, const QString& text);
// The same question with a third answer, labelled other, between OK and Cancel.
MsgResult MsgConfirmWithOther(QWidget* parent, const QString& text, const QString& other);

// Reports the exception being handled (call it inside a catch block): its description and number,
// the error sound, the normal pointer back, a critical box and the click.
void ShowError(QWidget* parent = nullptr);
void ShowError(const std::exception_ptr& error, QWidget* parent = nullptr);
// The text of such a report: "description (number)".
QString ErrorText(const std::exception_ptr& error);

// Selects the whole text of a line or text edit, so typing replaces it.
void SelectAllText(QWidget* textControl);
// Removes leading and trailing spaces (only the space character) from every text box of a form.
void TrimTextBoxes(QWidget* form);
// Whether a form with exactly this object name exists (case-sensitive).
bool IsFormLoaded(const QString& name);
// Selects the row at a 1-based position after rows were removed there; see the .cpp for the rules.
void SelectListItemAt(QAbstractItemView* list, int position);

// Shows the wait pointer for its lifetime; balanced on every path.
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
