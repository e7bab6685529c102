#pragma once

#include <QApplication>

// The application object: an exception that escapes an event handler is reported with the error
// box instead of ending the program.
class TavorenApplication : public QApplication
{
public:
    TavorenApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Opens the address book on Conn (and, once it opens, removes the copy of the book an
// interrupted restore left behind) and, when the login switch is on, runs the new-user or login
// form. True when the main window may be shown; false when the user cancelled (the connection is
// closed then). Throws when the database cannot be used.
bool OpenDatabaseAndLogIn();

// The address book's file below DataFolder.
QString BookFile();
// Takes the book below DataFolder for the life of the process; false when another running copy
// holds it.
bool TakeBook();
// Tells the user that another running copy holds the book.
void ReportBookInUse();
// TakeBook, telling the user when another copy holds the book; the book is not to be opened then.
bool LockBook();
// Writes what deletes and moves left pending, with progress when it takes long, before the
// program ends.
void FinishPendingWrites();
// Lets the book go before the process ends.
void UnlockBook();

// The process entry point: state, connection, login, main window, event loop. Returns the exit code.
int Main(int argc, char** argv);
