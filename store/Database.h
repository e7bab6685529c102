#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "store/Connection.h"
#include "store/Recordset.h"

// Every statement the program runs, one function each, so forms never write SQL. Values that
// reach the database as text are cipher texts (hexadecimal digits only) or bound parameters;
// keys are numbers the program made.

// Accounts
void OpenUsers(Recordset& rs, Connection& conn);
void OpenUserByLogin(Recordset& rs, Connection& conn, const QString& name, const QString& password);
void OpenUserByRecovery(Recordset& rs, Connection& conn, const QString& currentUser, const QString& question,
                        const QString& answer);
void InsertUser(Connection& conn, const QString& name, const QString& password, const QString& question,
                const QString& answer);
void UpdateUsersName(Connection& conn, const QString& name);
void UpdateUsersPassword(Connection& conn, const QString& password);
void UpdateUsersQuestion(Connection& conn, const QString& question);
void UpdateUsersAnswer(Connection& conn, const QString& answer);

// Types and records for the main window
void OpenTypes(Recordset& rs, Connection& conn, LockType lock);
void OpenTypeCounts(Recordset& rs, Connection& conn);
void OpenRecordsOfType(Recordset& rs, Connection& conn, qint64 typeNo);
void OpenAllRecords(Recordset& rs, Connection& conn);
void DeleteRecord(Connection& conn, qint64 pwdId);
void DeleteType(Connection& conn, qint64 typeNo);
void OpenRecordUrl(Recordset& rs, Connection& conn, qint64 pwdId);
void MoveRecordToType(Connection& conn, qint64 pwdId, qint64 typeNo);

// Record texts for the list, read in passing rather than held in a recordset. Columns are the
// list's own, named by the program.
// One column of the records of a type, or of every record for typeNo -1, with their keys.
void ReadRecordColumn(Connection& conn, qint64 typeNo, const QString& column,
                      const std::function<void(qint64 id, QByteArrayView cipher)>& row);
// The same for every record, a large book by two readers at once: lower is called on this thread
// with the first reader's rows, in key order; upper on a thread of its own, as they are read, with
// the second reader's, whose keys are all larger: in runs of ascending keys, each run below the
// one before. A small book, one in a transaction, or the names (read through their index, in its
// order) go through lower alone.
void ReadAllRecordsColumn(Connection& conn, const QString& column,
                          const std::function<void(qint64 id, QByteArrayView cipher)>& lower,
                          const std::function<void(qint64 id, QByteArrayView cipher)>& upper);
// The same for one type (typeNo >= 0), except that a record moving to the type whose row is not
// rewritten yet is read only when held(id) is false: a caller that already holds the texts of the
// records it moved spares reading them from all over the file. held is asked on this thread.
void ReadRecordColumnExcept(Connection& conn, qint64 typeNo, const QString& column,
                            const std::function<bool(qint64 id)>& held,
                            const std::function<void(qint64 id, QByteArrayView cipher)>& row);
// Two columns of every record, in key order: the one sorted by and the one searched.
void ReadRecordColumns(Connection& conn, const QString& first, const QString& second,
                       const std::function<void(qint64 id, QByteArrayView a, QByteArrayView b)>& row);
// For a long read on a thread of its own (a search while the user types): a second connection to
// conn's book with a small page cache, reading the key and these columns of every record in key
// order until row returns false.
void OpenSearchReader(Connection& reader, const Connection& conn);
void ReadRecordFields(Connection& reader, const QStringList& columns, const std::function<bool(const RowView&)>& row);
// The same, a large book by two readers at once: lower is called on this thread with the first
// reader's rows, in key order; upper on a thread of its own, with a connection of its own, with
// the second's, whose keys are all larger: in runs of ascending keys, each run below the one
// before. Each returns false to stop its reader. A small book, or one in a transaction, goes
// through lower alone.
void ReadRecordFieldsInHalves(Connection& reader, const QStringList& columns,
                              const std::function<bool(const RowView&)>& lower,
                              const std::function<bool(const RowView&)>& upper);
// Where the second reader's runs begin among the rows kept from it, to hand them on after the
// first reader's in key order: from the last run to the first.
class ReaderRuns
{
public:
    // Before keeping a row with this key, of the kept rows so far.
    void Note(qint64 id, std::size_t kept)
    {
        if (m_starts.empty() || id < m_last) {
            m_starts.push_back(kept);
        }
        m_last = id;
    }
    // each(i) for every kept row i in key order, while it returns true.
    template <typename Each> void InKeyOrder(std::size_t kept, Each each) const
    {
        for (auto start = m_starts.rbegin(); start != m_starts.rend(); ++start) {
            for (std::size_t i = *start; i < kept; ++i) {
                if (!each(i)) {
                    return;
                }
            }
            kept = *start;
        }
    }

private:
    std::vector<std::size_t> m_starts;
    qint64 m_last = 0;
};
// The smallest and largest key of the book (0 and -1 when it is empty), read at no cost: their
// span stands for the book's size.
std::pair<qint64, qint64> RecordKeySpan(Connection& conn);
// The records with these keys: their key, the columns named, then their web address.
void ReadRecordsById(Connection& conn, const QStringList& columns, const std::vector<qint64>& ids,
                     const std::function<void(const RowView&)>& row);

// Editors
void OpenRecordView(Recordset& rs, Connection& conn, qint64 pwdId);
void OpenRecordsNamedExcept(Recordset& rs, Connection& conn, const QString& name, qint64 pwdId);
void OpenRecordForWrite(Recordset& rs, Connection& conn, qint64 pwdId);
void OpenType(Recordset& rs, Connection& conn, qint64 typeNo, LockType lock);
// Types named typeName, compared without regard to case (non-ASCII letters too), other than typeNo.
void OpenTypesNamedExcept(Recordset& rs, Connection& conn, const QString& typeName, qint64 typeNo);

// The schema
// The SQL that creates an empty address book.
QString SchemaScript();
// Creates a new, empty address book at path, keyed with the program's password.
void CreateDatabase(const QString& path);
// The tables and views of the address book that the open database lacks (empty when complete).
QStringList MissingSchemaObjects(Connection& conn);
// Gives a book made by an earlier version the indexes this one reads through, and the tables of
// pending deletes and moves (AddPendingTables). The indexes are plain ones, which earlier versions
// read through as well; a book that cannot be written (read-only, busy) stays as it is and is only
// read more slowly.
void AddMissingIndexes(Connection& conn);

// Import and export
// Adds a type and returns the key the engine gave it.
qint64 InsertType(Connection& conn, const QString& typeName, const QString& description);
// Adds a record from enciphered fields (name, home, mobile, office phone, e-mail list, QQ, MSN,
// ICQ, in this order) and its plain web address; returns its key.
qint64 InsertRecord(Connection& conn, qint64 typeNo, const QStringList& cipherFields, const QString& url);
// InsertRecord for many records: the statement is prepared once.
class RecordInserter
{
public:
    explicit RecordInserter(Connection& conn);
    // Inserts a record from its eight cipher texts' bytes and its web address's UTF-8 (Null when
    // empty).
    qint64 Insert(qint64 typeNo, const std::array<QByteArrayView, 8>& cipherFields, QByteArrayView url);

private:
    Connection& m_conn;
    PreparedStatement m_statement;
};
// The enciphered names of every record.
void OpenRecordNames(Recordset& rs, Connection& conn);
// Records with their type names: all of them, or those of one type.
void OpenRecordsWithTypes(Recordset& rs, Connection& conn);
void OpenRecordsWithTypesOfType(Recordset& rs, Connection& conn, qint64 typeNo);
// How many records there are: all, or those of one type.
qint64 CountRecords(Connection& conn, std::optional<qint64> typeNo);
// Every record, or those of one type, in key order, read in passing: its key, the enciphered
// fields in InsertRecord's order, its type's name and its web address.
void ReadRecordsWithTypes(Connection& conn, std::optional<qint64> typeNo,
                          const std::function<void(const RowView&)>& row);
