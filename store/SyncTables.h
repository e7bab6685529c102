#pragma once

#include <QString>

#include "store/Recordset.h"

class Connection;

// The statements of contact sync: the accounts (server, user name and password, enciphered), the
// server address books linked to types, and per synced contact its card's path, ETag, a digest of
// the record as last synced and the whole card as last synced (enciphered), so values the program
// cannot show go back to the server untouched. The tables are added to an older book on first use.

void CreateSyncTables(Connection& conn);

qint64 InsertSyncAccount(Connection& conn, const QString& cipherUrl, const QString& cipherUser,
                         const QString& cipherPassword, const QString& instance);
void OpenSyncAccounts(Recordset& rs, Connection& conn);
void UpdateSyncAccountPassword(Connection& conn, qint64 accountNo, const QString& cipherPassword);
void UpdateSyncAccountUrl(Connection& conn, qint64 accountNo, const QString& cipherUrl);
// Removes the account with its links and what was synced through them; the contacts stay.
void DeleteSyncAccount(Connection& conn, qint64 accountNo);

qint64 InsertSyncBook(Connection& conn, qint64 accountNo, const QString& cipherPath, const QString& displayName,
                      qint64 typeNo, bool syncCollection);
void OpenSyncBooks(Recordset& rs, Connection& conn);
void UpdateSyncBookToken(Connection& conn, qint64 bookNo, const QString& token);
void DeleteSyncBook(Connection& conn, qint64 bookNo);

void OpenSyncItems(Recordset& rs, Connection& conn, qint64 bookNo);
void SaveSyncItem(Connection& conn, qint64 bookNo, const QString& cipherPath, qint64 pwdId, const QString& etag,
                  const QString& digest, const QString& cipherCard);
void DeleteSyncItem(Connection& conn, qint64 bookNo, const QString& cipherPath);

// What syncs the user has not seen the summary of reported (enciphered), oldest first.
void InsertSyncNotice(Connection& conn, const QString& cipherNotice);
// Whether the book has the table of notices: looking must not change a book that never synced.
bool HasSyncNotices(Connection& conn);
void OpenSyncNotices(Recordset& rs, Connection& conn);
void DeleteSyncNotices(Connection& conn);

// Every record's key, type and the fields sync compares, for all records.
void OpenRecordsForSync(Recordset& rs, Connection& conn);
// Replaces a record's enciphered fields (name, home, mobile, office phone, e-mail list, QQ, MSN,
// ICQ) and its web address.
void UpdateRecordFields(Connection& conn, qint64 pwdId, const QStringList& cipherFields, const QString& url);
