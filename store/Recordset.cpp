#include "store/Recordset.h"

#include <QRegularExpression>

#include <sqlite3.h>

#include "core/Errors.h"
#include "core/TextUtil.h"
#include "store/Connection.h"

namespace {

// Frees a prepared statement however the scope is left.
struct Finalizer
{
    sqlite3_stmt* stmt;
    ~Finalizer() { sqlite3_finalize(stmt); }
};

// The one table an updatable recordset selects from: "... From <table> ...".
QString SingleTableOf(const QString& sql)
{
    static const QRegularExpression from(QStringLiteral(R"(\bfrom\s+\[?(\w+)\]?\s*(where\b|order\b|$))"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = from.match(sql);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString Quoted(const QString& name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
}

} // namespace

void Recordset::Open(const QString& sql, Connection& conn, LockType lock, const QVariantList& params)
{
    Close();
    sqlite3_stmt* raw = conn.Prepare(sql, params);
    Finalizer stmt{raw};
    const int columns = sqlite3_column_count(raw);
    m_names.clear();
    for (int c = 0; c < columns; ++c) {
        m_names.append(QString::fromUtf8(sqlite3_column_name(raw, c)));
    }
    m_cells.clear();
    m_arena.clear();
    m_rowCount = 0;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        m_cells.resize((m_rowCount + 1) * static_cast<std::size_t>(columns));
        ReadRow(raw, m_rowCount++);
    }
    if (rc != SQLITE_DONE) {
        m_cells.clear();
        m_arena.clear();
        m_rowCount = 0;
        conn.Throw(sqlite3_extended_errcode(conn.Handle()));
    }

    m_table.clear();
    m_keyColumn = -1;
    if (lock == LockType::Optimistic) {
        m_table = SingleTableOf(sql);
        Recordset info;
        if (!m_table.isEmpty()) {
            info.Open(QStringLiteral("PRAGMA table_info(%1)").arg(Quoted(m_table)), conn);
        }
        if (info.RecordCount() == 0) {
            throw DbError(SQLITE_MISUSE, QStringLiteral("An updatable recordset needs one table: %1").arg(sql));
        }
        for (; !info.IsEOF(); info.MoveNext()) {
            if (info.Integer(u"pk") == 1) {
                m_keyColumn = FieldIndex(info.Text(u"name"));
            }
        }
    }
    m_conn = &conn;
    m_lock = lock;
    m_open = true;
    m_row = 0;
    m_adding = false;
    m_dirty.assign(static_cast<std::size_t>(columns), false);
}

void Recordset::StoreBytes(Cell& cell, Cell::Kind kind, const char* data, qsizetype length)
{
    cell.kind = kind;
    cell.offset = static_cast<qint64>(m_arena.size());
    cell.length = static_cast<qint32>(length);
    m_arena.insert(m_arena.end(), data, data + length);
}

void Recordset::ReadRow(sqlite3_stmt* stmt, std::size_t row)
{
    const auto columns = static_cast<std::size_t>(m_names.size());
    for (std::size_t c = 0; c < columns; ++c) {
        Cell& cell = m_cells[row * columns + c];
        const int col = static_cast<int>(c);
        switch (sqlite3_column_type(stmt, col)) {
        case SQLITE_INTEGER:
            cell.kind = Cell::Integer;
            cell.integer = sqlite3_column_int64(stmt, col);
            break;
        case SQLITE_FLOAT:
            cell.kind = Cell::Real;
            cell.real = sqlite3_column_double(stmt, col);
            break;
        case SQLITE_TEXT:
            StoreBytes(cell, Cell::Text, reinterpret_cast<const char*>(sqlite3_column_text(stmt, col)),
                       sqlite3_column_bytes(stmt, col));
            break;
        case SQLITE_BLOB:
            StoreBytes(cell, Cell::Blob, static_cast<const char*>(sqlite3_column_blob(stmt, col)),
                       sqlite3_column_bytes(stmt, col));
            break;
        default:
            cell = Cell();
            break;
        }
    }
}

QByteArrayView Recordset::CellBytes(const Cell& cell) const
{
    if (cell.kind != Cell::Text && cell.kind != Cell::Blob) {
        return {};
    }
    return QByteArrayView(m_arena.data() + cell.offset, cell.length);
}

void Recordset::Close() noexcept
{
    m_open = false;
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_arena.clear();
    m_arena.shrink_to_fit();
    m_rowCount = 0;
    m_row = 0;
    m_adding = false;
}

void Recordset::MoveNext()
{
    if (m_row < m_rowCount) {
        ++m_row;
    }
}

int Recordset::FieldIndex(QStringView name) const
{
    for (int i = 0; i < m_names.size(); ++i) {
        if (name.compare(m_names[i], Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

int Recordset::CheckedIndex(QStringView name) const
{
    const int index = FieldIndex(name);
    if (index < 0) {
        throw DbError(SQLITE_ERROR, QStringLiteral("Item cannot be found in the collection: %1").arg(name.toString()));
    }
    return index;
}

const Recordset::Cell& Recordset::CellAt(int column) const
{
    if (!m_open) {
        throw DbError(SQLITE_MISUSE, QStringLiteral("Operation is not allowed when the object is closed."));
    }
    if (m_row >= m_rowCount) {
        throw DbError(SQLITE_RANGE, QStringLiteral("Either BOF or EOF is True, or the current record has been "
                                                   "deleted."));
    }
    if (column < 0 || column >= m_names.size()) {
        throw DbError(SQLITE_RANGE, QStringLiteral("Item cannot be found in the collection: #%1").arg(column));
    }
    return m_cells[m_row * static_cast<std::size_t>(m_names.size()) + static_cast<std::size_t>(column)];
}

Recordset::Cell& Recordset::MutableCellAt(int column)
{
    CellAt(column); // the same checks
    return m_cells[m_row * static_cast<std::size_t>(m_names.size()) + static_cast<std::size_t>(column)];
}

QVariant Recordset::Value(int column) const
{
    const Cell& cell = CellAt(column);
    switch (cell.kind) {
    case Cell::Integer:
        return cell.integer;
    case Cell::Real:
        return cell.real;
    case Cell::Text:
        return Utf8Text(CellBytes(cell));
    case Cell::Blob:
        return CellBytes(cell).toByteArray();
    case Cell::Null:
        break;
    }
    return {};
}

bool Recordset::IsNull(int column) const
{
    return CellAt(column).kind == Cell::Null;
}

QString Recordset::Text(int column) const
{
    const Cell& cell = CellAt(column);
    if (cell.kind == Cell::Text) {
        return Utf8Text(CellBytes(cell));
    }
    return Value(column).toString();
}

QByteArrayView Recordset::Bytes(int column) const
{
    const Cell& cell = CellAt(column);
    return cell.kind == Cell::Text ? CellBytes(cell) : QByteArrayView();
}

qint64 Recordset::Integer(int column) const
{
    const Cell& cell = CellAt(column);
    if (cell.kind == Cell::Integer) {
        return cell.integer;
    }
    return Value(column).toLongLong();
}

void Recordset::RequireWritable() const
{
    if (!m_open) {
        throw DbError(SQLITE_MISUSE, QStringLiteral("Operation is not allowed when the object is closed."));
    }
    if (m_lock != LockType::Optimistic) {
        throw DbError(SQLITE_READONLY,
                      QStringLiteral("Current Recordset does not support updating. This may be a limitation of "
                                     "the provider, or of the selected locktype."));
    }
}

void Recordset::AddNew()
{
    RequireWritable();
    const auto columns = static_cast<std::size_t>(m_names.size());
    m_cells.resize((m_rowCount + 1) * columns);
    m_row = m_rowCount++;
    m_adding = true;
    m_dirty.assign(columns, false);
}

void Recordset::SetValue(QStringView name, const QVariant& value)
{
    RequireWritable();
    const int column = CheckedIndex(name);
    Cell& cell = MutableCellAt(column); // there must be a current row
    if (value.isNull()) {
        cell = Cell();
    } else if (value.typeId() == QMetaType::Double) {
        cell.kind = Cell::Real;
        cell.real = value.toDouble();
    } else if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong ||
               value.typeId() == QMetaType::Bool || value.typeId() == QMetaType::UInt) {
        cell.kind = Cell::Integer;
        cell.integer = value.toLongLong();
    } else {
        const QByteArray utf8 = value.toString().toUtf8();
        StoreBytes(cell, Cell::Text, utf8.constData(), utf8.size());
    }
    m_dirty[static_cast<std::size_t>(column)] = true;
}

void Recordset::Update()
{
    RequireWritable();
    CellAt(0);
    QStringList names;
    QVariantList values;
    for (int c = 0; c < m_names.size(); ++c) {
        if (m_dirty[static_cast<std::size_t>(c)]) {
            names.append(Quoted(m_names[c]));
            // Text goes back as the exact bytes it holds.
            values.append(IsNull(c)                      ? QVariant()
                          : CellAt(c).kind == Cell::Text ? QVariant(Bytes(c).toByteArray())
                                                         : Value(c));
        }
    }
    Connection& conn = *m_conn;
    if (m_adding) {
        QString sql;
        if (names.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Quoted(m_table));
        } else {
            QStringList marks;
            for (qsizetype i = 0; i < names.size(); ++i) {
                marks.append(QStringLiteral("?"));
            }
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(Quoted(m_table), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        }
        conn.Execute(sql, values);
        // Read the row back so the engine's key (and any default) is visible.
        Recordset added;
        added.Open(QStringLiteral("SELECT * FROM %1 WHERE rowid = ?").arg(Quoted(m_table)), conn, LockType::Unspecified,
                   {conn.LastInsertId()});
        if (added.RecordCount() == 1) {
            for (int c = 0; c < m_names.size(); ++c) {
                const int source = added.FieldIndex(m_names[c]);
                if (source < 0) {
                    continue;
                }
                const Cell& from = added.m_cells[static_cast<std::size_t>(source)];
                Cell& to = m_cells[m_row * static_cast<std::size_t>(m_names.size()) + static_cast<std::size_t>(c)];
                if (from.kind == Cell::Text || from.kind == Cell::Blob) {
                    const QByteArrayView bytes = added.CellBytes(from);
                    StoreBytes(to, from.kind, bytes.data(), bytes.size());
                } else {
                    to = from;
                }
            }
        }
        m_adding = false;
    } else if (!names.isEmpty()) {
        if (m_keyColumn < 0) {
            throw DbError(SQLITE_MISUSE,
                          QStringLiteral("Insufficient key column information for updating %1.").arg(m_table));
        }
        QStringList sets;
        for (const QString& name : names) {
            sets.append(name + QStringLiteral(" = ?"));
        }
        values.append(Value(m_keyColumn));
        conn.Execute(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                         .arg(Quoted(m_table), sets.join(QStringLiteral(", ")), Quoted(m_names[m_keyColumn])),
                     values);
        if (conn.Changes() == 0) {
            throw DbError(SQLITE_NOTFOUND, QStringLiteral("Row cannot be located for updating. Some values may "
                                                          "have been changed since it was last read."));
        }
    }
    m_dirty.assign(m_dirty.size(), false);
}

void ReleaseRecordset(Recordset& rs) noexcept
{
    rs.Close();
    rs = Recordset();
}
