#include "store/SyncTables.h"

#include <QStringList>

#include "store/Connection.h"

void CreateSyncTables(Connection& conn)
{
    conn.ExecuteScript(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS SyncAccount (AccountNo INTEGER PRIMARY KEY AUTOINCREMENT, Url TEXT, "
        "UserName TEXT, Password TEXT, Instance TEXT);"
        "CREATE TABLE IF NOT EXISTS SyncBook (BookNo INTEGER PRIMARY KEY AUTOINCREMENT, AccountNo INTEGER, "
        "Path TEXT, DisplayName TEXT, TypeNo INTEGER, SyncReport INTEGER, SyncToken TEXT);"
        "CREATE TABLE IF NOT EXISTS SyncItem (BookNo INTEGER, Path TEXT, PWDID INTEGER, ETag TEXT, Digest TEXT, "
        "Card TEXT, PRIMARY KEY (BookNo, Path));"
        "CREATE TABLE IF NOT EXISTS SyncNotice (NoticeNo INTEGER PRIMARY KEY AUTOINCREMENT, Notice TEXT);"));
}

qint64 InsertSyncAccount(Connection& conn, const QString& cipherUrl, const QString& cipherUser,
                         const QString& cipherPassword, const QString& instance)
{
    conn.Execute(QStringLiteral("INSERT INTO SyncAccount (Url, UserName, Password, Instance) VALUES (?, ?, ?, ?)"),
                 {cipherUrl, cipherUser, cipherPassword, instance});
    return conn.LastInsertId();
}

void OpenSyncAccounts(Recordset& rs, Connection& conn)
{
    rs.Open(QStringLiteral("SELECT * FROM SyncAccount ORDER BY AccountNo"), conn, LockType::ReadOnly);
}

void UpdateSyncAccountPassword(Connection& conn, qint64 accountNo, const QString& cipherPassword)
{
    conn.Execute(QStringLiteral("UPDATE SyncAccount SET Password = ? WHERE AccountNo = ?"),
                 {cipherPassword, accountNo});
}

void UpdateSyncAccountUrl(Connection& conn, qint64 accountNo, const QString& cipherUrl)
{
    conn.Execute(QStringLiteral("UPDATE SyncAccount SET Url = ? WHERE AccountNo = ?"), {cipherUrl, accountNo});
}

void DeleteSyncAccount(Connection& conn, qint64 accountNo)
{
    conn.Execute(QStringLiteral("DELETE FROM SyncItem WHERE BookNo IN (SELECT BookNo FROM SyncBook WHERE "
                                "AccountNo = ?)"),
                 {accountNo});
    conn.Execute(QStringLiteral("DELETE FROM SyncBook WHERE AccountNo = ?"), {accountNo});
    conn.Execute(QStringLiteral("DELETE FROM SyncAccount WHERE AccountNo = ?"), {accountNo});
}

qint64 InsertSyncBook(Connection& conn, qint64 accountNo, const QString& cipherPath, const QString& displayName,
                      qint64 typeNo, bool syncCollection)
{
    conn.Execute(QStringLiteral("INSERT INTO SyncBook (AccountNo, Path, DisplayName, TypeNo, SyncReport, SyncToken) "
                                "VALUES (?, ?, ?, ?, ?, '')"),
                 {accountNo, cipherPath, displayName, typeNo, syncCollection ? 1 : 0});
    return conn.LastInsertId();
}

void OpenSyncBooks(Recordset& rs, Connection& conn)
{
    rs.Open(QStringLiteral("SELECT * FROM SyncBook ORDER BY BookNo"), conn, LockType::ReadOnly);
}

void UpdateSyncBookToken(Connection& conn, qint64 bookNo, const QString& token)
{
    conn.Execute(QStringLiteral("UPDATE SyncBook SET SyncToken = ? WHERE BookNo = ?"), {token, bookNo});
}

void DeleteSyncBook(Connection& conn, qint64 bookNo)
{
    conn.Execute(QStringLiteral("DELETE FROM SyncItem WHERE BookNo = ?"), {bookNo});
    conn.Execute(QStringLiteral("DELETE FROM SyncBook WHERE BookNo = ?"), {bookNo});
}

void OpenSyncItems(Recordset& rs, Connection& conn, qint64 bookNo)
{
    rs.Open(QStringLiteral("SELECT * FROM SyncItem WHERE BookNo = ?"), conn, LockType::ReadOnly, {bookNo});
}

void SaveSyncItem(Connection& conn, qint64 bookNo, const QString& cipherPath, qint64 pwdId, const QString& etag,
                  const QString& digest, const QString& cipherCard)
{
    conn.Execute(QStringLiteral("INSERT OR REPLACE INTO SyncItem (BookNo, Path, PWDID, ETag, Digest, Card) "
                                "VALUES (?, ?, ?, ?, ?, ?)"),
                 {bookNo, cipherPath, pwdId, etag, digest, cipherCard});
}

void DeleteSyncItem(Connection& conn, qint64 bookNo, const QString& cipherPath)
{
    conn.Execute(QStringLiteral("DELETE FROM SyncItem WHERE BookNo = ? AND Path = ?"), {bookNo, cipherPath});
}

void OpenRecordsForSync(Recordset& rs, Connection& conn)
{
    // Through the view: deleted contacts waiting to be removed stay out, moved ones come with their new type.
    rs.Open(QStringLiteral("SELECT PWDID, TypeNo, Name, F_Phone1, F_MobilePhone1, C_Phone1, EMailList, QQ, MSN, ICQ, "
                           "Url FROM VPWDTable ORDER BY PWDID"),
            conn, LockType::ReadOnly);
}

void UpdateRecordFields(Connection& conn, qint64 pwdId, const QStringList& cipherFields, const QString& url)
{
    QVariantList values;
    for (const QString& field : cipherFields) {
        values.append(field);
    }
    values.append(url.isEmpty() ? QVariant() : QVariant(url));
    values.append(pwdId);
    conn.Execute(QStringLiteral("UPDATE PWDTable SET Name = ?, F_Phone1 = ?, F_MobilePhone1 = ?, C_Phone1 = ?, "
                                "EMailList = ?, QQ = ?, MSN = ?, ICQ = ?, Url = ? WHERE PWDID = ?"),
                 values);
}

void InsertSyncNotice(Connection& conn, const QString& cipherNotice)
{
    conn.Execute(QStringLiteral("INSERT INTO SyncNotice (Notice) VALUES (?)"), {cipherNotice});
}

bool HasSyncNotices(Connection& conn)
{
    return conn.HasTable("SyncNotice");
}

void OpenSyncNotices(Recordset& rs, Connection& conn)
{
    rs.Open(QStringLiteral("SELECT * FROM SyncNotice ORDER BY NoticeNo"), conn, LockType::ReadOnly);
}

void DeleteSyncNotices(Connection& conn)
{
    conn.Execute(QStringLiteral("DELETE FROM SyncNotice"));
}
