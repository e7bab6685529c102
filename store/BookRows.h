#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "store/Connection.h"

// Rows of a table copied exactly as they are stored: every column's value with its storage class
// (Null, number, text), so that putting them back gives the same bytes, the same keys and the same
// Nulls. The values of all rows share one buffer: a copy of 100,000 contacts stays small.
class StoredRows
{
public:
    QString table;
    QStringList columns; // in the table's order; the key column among them

    int RowCount() const { return columns.isEmpty() ? 0 : static_cast<int>(m_cells.size() / columns.size()); }
    bool IsEmpty() const { return m_cells.empty(); }
    bool cancelled = false; // the copy's progress said stop: the rows are not all there
    // The value of column in row as text (empty for Null or a column it does not have).
    QString Text(int row, const QString& column) const;

private:
    friend StoredRows CopyRows(Connection&, const QString&, const QString&, const QList<qint64>&,
                               const std::function<bool(qint64, qint64)>&);
    friend void PutRows(Connection&, const StoredRows&);

    struct Cell
    {
        int type;      // SQLite's storage class
        qint64 number; // an integer, a real's bits, or the offset of text in m_bytes
        qint64 length; // of text
    };
    std::vector<Cell> m_cells; // row by row
    QByteArray m_bytes;
};

// The rows of table whose keyColumn holds one of keys (a table of details may hold several per
// key). Only the program's own tables and columns are named. progress(done, total) is asked now
// and then; false stops the copy, which is then marked cancelled.
StoredRows CopyRows(Connection& conn, const QString& table, const QString& keyColumn, const QList<qint64>& keys,
                    const std::function<bool(qint64 done, qint64 total)>& progress = {});
// Puts copied rows back: a stored row of the same key is replaced.
void PutRows(Connection& conn, const StoredRows& rows);
// Removes the rows of table whose keyColumn holds one of keys.
void RemoveRows(Connection& conn, const QString& table, const QString& keyColumn, const QList<qint64>& keys);
// A record's type, its eight enciphered fields (name, home, mobile and office phone, e-mail list,
// QQ, MSN, ICQ) and its web address, kept plain, written over what is stored; an empty address
// stores Null, as an insert does.
void UpdateRecord(Connection& conn, qint64 pwdId, qint64 typeNo, const QStringList& cipherFields, const QString& url);
// A type's name and description written over what is stored.
void UpdateType(Connection& conn, qint64 typeNo, const QString& typeName, const QString& description);
// How TypesOfRecords finds the keys: it chooses by how many are asked of how large a book; the
// others are there to measure that choice.
enum class KeyReading { Choose, OneByOne, OneScan };
// The type of each of these records (those that exist), in key order.
std::vector<std::pair<qint64, qint64>> TypesOfRecords(Connection& conn, const QList<qint64>& pwdIds,
                                                      KeyReading how = KeyReading::Choose);
// The same as the rows hold them, without the moves still pending.
std::vector<std::pair<qint64, qint64>> StoredTypesOfRecords(Connection& conn, const QList<qint64>& pwdIds,
                                                            KeyReading how = KeyReading::Choose);
