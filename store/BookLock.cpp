#include "store/BookLock.h"

#include <QFile>
#include <QFileInfo>

BookLock::BookLock(const QString& databasePath) : m_path(LockPath(databasePath)), m_lock(m_path)
{
    // Held for the life of the process, however long: only a lock whose process is gone is stale.
    m_lock.setStaleLockTime(0);
}

bool BookLock::TryLock()
{
    if (m_lock.tryLock(0)) {
        // It names this process and machine: nothing for other users to read.
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return true;
    }
    // A folder where no lock file can be made (read-only, say) does not mean another copy has the
    // book: the program goes on as it did before it kept locks, and opening the book says the rest.
    return m_lock.error() != QLockFile::LockFailedError;
}

QString BookLock::LockPath(const QString& databasePath)
{
    // The book's own path, links resolved: two names for one file must meet at one lock.
    const QFileInfo book(databasePath);
    const QString canonical = book.canonicalFilePath();
    return (canonical.isEmpty() ? book.absoluteFilePath() : canonical) + QStringLiteral(".lock");
}
