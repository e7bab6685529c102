#pragma once

#include <QLockFile>
#include <QString>

// Keeps a second running copy of the program off the book: two copies would overwrite each other's
// edits, and one would go on using a file the other has compacted or restored. The lock is a file
// beside the book; one left by a copy that was killed is taken over.
class BookLock
{
public:
    explicit BookLock(const QString& databasePath);
    // False when a running copy of the program holds the book; true when this process now holds
    // it, or when no lock file can be made there at all.
    bool TryLock();
    // Beside the file the path leads to, so that a link to the book shares the book's lock.
    static QString LockPath(const QString& databasePath);

private:
    QString m_path;
    QLockFile m_lock;
};
