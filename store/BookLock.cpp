#include "store/BookLock.h"

BookLock::BookLock(const QString& databasePath) : m_lock(LockPath(databasePath))
{
    // Held for the life of the process, however long: only a lock whose process is gone is stale.
    m_lock.setStaleLockTime(0);
}

bool BookLock::TryLock()
{
    return m_lock.tryLock(0);
}

QString BookLock::LockPath(const QString& databasePath)
{
    return databasePath + QStringLiteral(".lock");
}
