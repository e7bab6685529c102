#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <vector>

class Connection;

// How a recordset may be used: the first two refuse every write.
enum class LockType { Unspecified = -1, ReadOnly = 1, Optimistic = 3 };

// A static recordset: every row of its statement is read into memory when it opens, so the
// record count is exact and the rows survive other statements on the connection. It moves
// forward row by row; fields are found by name without regard to case; Null is kept apart from
// the empty string. An optimistic recordset over one table can add a row and update rows; after
// the update the key the engine assigned is readable from the row.
class Recordset
{
public:
    Recordset() = default;

    void Open(const QString& sql, Connection& conn, LockType lock = LockType::Unspecified,
              const QVariantList& params = {});
    void Close() noexcept;

    int RecordCount() const { return static_cast<int>(m_rowCount); }
    bool IsEOF() const { return m_row >= m_rowCount; }
    void MoveFirst() { m_row = 0; }
    void MoveNext();

    int FieldCount() const { return static_cast<int>(m_names.size()); }
    QString FieldName(int index) const { return m_names.value(index); }
    // The column's index, or -1 when the recordset has no such field.
    int FieldIndex(QStringView name) const;

    // The current row's value: a null QVariant for Null, else qint64, double, QString or QByteArray.
    QVariant Value(QStringView name) const { return Value(CheckedIndex(name)); }
    QVariant Value(int column) const;
    bool IsNull(QStringView name) const { return IsNull(CheckedIndex(name)); }
    bool IsNull(int column) const;
    // The value joined to the empty string: Null reads as "", a number as its decimal digits.
    QString Text(QStringView name) const { return Text(CheckedIndex(name)); }
    QString Text(int column) const;
    // The raw bytes of a text value (cipher texts are ASCII); empty for Null.
    QByteArrayView Bytes(int column) const;
    qint64 Integer(QStringView name) const { return Integer(CheckedIndex(name)); }
    qint64 Integer(int column) const;

    // Writes; each throws DbError unless the recordset was opened Optimistic over one table.
    void AddNew();
    void SetValue(QStringView name, const QVariant& value);
    void Update();

private:
    // Cells live in one flat array and their bytes in one arena, so reading 100,000 rows costs a
    // few large allocations instead of one per value.
    struct Cell
    {
        enum Kind : quint8 { Null, Integer, Real, Text, Blob } kind = Null;
        qint32 length = 0;
        union {
            qint64 integer = 0;
            double real;
            qint64 offset; // into m_arena, for Text and Blob
        };
    };

    int CheckedIndex(QStringView name) const;
    const Cell& CellAt(int column) const;
    Cell& MutableCellAt(int column);
    QByteArrayView CellBytes(const Cell& cell) const;
    void StoreBytes(Cell& cell, Cell::Kind kind, const char* data, qsizetype length);
    void RequireWritable() const;
    void ReadRow(struct sqlite3_stmt* stmt, std::size_t row);

    Connection* m_conn = nullptr;
    bool m_open = false;
    LockType m_lock = LockType::Unspecified;
    QStringList m_names;
    std::vector<Cell> m_cells; // row-major
    std::vector<char> m_arena;
    std::size_t m_rowCount = 0;
    std::size_t m_row = 0;
    // Write support
    QString m_table;
    int m_keyColumn = -1;
    bool m_adding = false;
    std::vector<bool> m_dirty;
};

// Closes the recordset and frees everything it held; the variable can be opened anew.
void ReleaseRecordset(Recordset& rs) noexcept;
