#include "store/BookLock.h"

BookLock::BookLock(const QString& databasePath) : m_lock(LockPath(databasePath))
{
    // Held for the life of the process, however long: only a lock whose process is gone is stale.
    m_lock.setStaleLockTime(0);
}

bool BookLock::TryLock()
{
    if (m_lock.tryLock(0)) {
        return true;
    }
    // A folder where no lock file can be made (read-only, say) does not mean another copy has the
    // book: the program goes on as it did before it kept locks, and opening the book says the rest.
    return m_lock.error() != QLockFile::LockFailedError;
}

QString BookLock::LockPath(const QString& databasePath)
{
    return databasePath + QStringLiteral(".lock");
}
