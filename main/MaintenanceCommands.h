#pragma once

#include <QString>

class QWidget;

// Backup, restore and compaction of the address book as the user runs them: the choosers, the
// questions, the feedback while the file is copied, and the messages after. The book is closed
// and opened again here; the window refreshes its views afterwards.
class MaintenanceCommands
{
public:
    // Messages, choosers and the progress dialog belong to this window.
    explicit MaintenanceCommands(QWidget* window);

    // Copies the book into a folder the user chooses, under the day's backup name.
    void Backup(const QString& title);
    // Puts a backup the user chooses in place of the book, once confirmed; a backup that does not
    // open here leaves the book as it was. False when nothing was tried (cancelled, refused), so
    // the book was never closed.
    bool Restore(const QString& title);
    // Rewrites the book without its free pages, keeping every key.
    void Compact(const QString& title);

private:
    // Clears the book's history; a line for the message after, when it had steps to undo.
    static QString ForgetHistory();

    QWidget* m_window;
};
