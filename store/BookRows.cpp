#include "store/BookRows.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <unordered_map>

#include "core/Errors.h"

namespace {

// Names reach the SQL text: letters, digits and underscores only.
const QString& Name(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!plain.match(name).hasMatch()) {
        throw AppError(5, QStringLiteral("Invalid table or column name: %1").arg(name));
    }
    return name;
}

// A statement finalised when it goes out of scope.
class Stmt
{
public:
    Stmt(Connection& conn, const QString& sql) : m_conn(conn), m_stmt(conn.PrepareUnbound(sql)) {}
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }
    // Steps once: true for a row, false at the end; throws on failure.
    bool Step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            const int code = sqlite3_extended_errcode(m_conn.Handle());
            sqlite3_reset(m_stmt);
            m_conn.Throw(code);
        }
        return false;
    }
    void Reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

private:
    Connection& m_conn;
    sqlite3_stmt* m_stmt;
};

QList<qint64> Sorted(QList<qint64> keys)
{
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

} // namespace

QString StoredRows::Text(int row, const QString& column) const
{
    const qsizetype c = columns.indexOf(column);
    if (c < 0 || row < 0 || row >= RowCount()) {
        return {};
    }
    const Cell& cell =
        m_cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns.size()) + static_cast<std::size_t>(c)];
    if (cell.type == SQLITE_INTEGER) {
        return QString::number(cell.number);
    }
    return cell.type == SQLITE_TEXT ? QString::fromUtf8(m_bytes.constData() + cell.number, cell.length) : QString();
}

StoredRows CopyRows(Connection& conn, const QString& table, const QString& keyColumn, const QList<qint64>& keys,
                    const std::function<bool(qint64 done, qint64 total)>& progress)
{
    StoredRows rows;
    rows.table = Name(table);
    Stmt select(conn, QStringLiteral("Select * From %1 Where %2 = ?").arg(table, Name(keyColumn)));
    const int count = sqlite3_column_count(select.get());
    for (int c = 0; c < count; ++c) {
        rows.columns.append(QString::fromUtf8(sqlite3_column_name(select.get(), c)));
    }
    const QList<qint64> sorted = Sorted(keys);
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        if (progress && i % 1024 == 0 && !progress(i, sorted.size())) {
            rows.cancelled = true;
            return rows;
        }
        sqlite3_bind_int64(select.get(), 1, sorted[i]);
        while (select.Step()) {
            for (int c = 0; c < count; ++c) {
                StoredRows::Cell cell{sqlite3_column_type(select.get(), c), 0, 0};
                if (cell.type == SQLITE_INTEGER) {
                    cell.number = sqlite3_column_int64(select.get(), c);
                } else if (cell.type == SQLITE_FLOAT) {
                    const double real = sqlite3_column_double(select.get(), c);
                    std::memcpy(&cell.number, &real, sizeof real);
                } else if (cell.type != SQLITE_NULL) {
                    const auto* bytes =
                        static_cast<const char*>(cell.type == SQLITE_BLOB ? sqlite3_column_blob(select.get(), c)
                                                                          : sqlite3_column_text(select.get(), c));
                    cell.length = sqlite3_column_bytes(select.get(), c);
                    cell.number = rows.m_bytes.size();
                    rows.m_bytes.append(bytes, cell.length);
                }
                rows.m_cells.push_back(cell);
            }
        }
        select.Reset();
    }
    return rows;
}

void PutRows(Connection& conn, const StoredRows& rows)
{
    if (rows.IsEmpty()) {
        return;
    }
    QStringList names;
    for (const QString& column : rows.columns) {
        names.append(Name(column));
    }
    const QString marks = QStringLiteral("?,").repeated(static_cast<int>(names.size())).chopped(1);
    Stmt insert(conn, QStringLiteral("Insert Or Replace Into %1 (%2) Values (%3)")
                          .arg(Name(rows.table), names.join(QLatin1Char(',')), marks));
    const auto width = static_cast<std::size_t>(names.size());
    for (std::size_t first = 0; first < rows.m_cells.size(); first += width) {
        for (std::size_t c = 0; c < width; ++c) {
            const StoredRows::Cell& cell = rows.m_cells[first + c];
            const int at = static_cast<int>(c) + 1;
            switch (cell.type) {
            case SQLITE_INTEGER:
                sqlite3_bind_int64(insert.get(), at, cell.number);
                break;
            case SQLITE_FLOAT: {
                double real = 0;
                std::memcpy(&real, &cell.number, sizeof real);
                sqlite3_bind_double(insert.get(), at, real);
                break;
            }
            case SQLITE_TEXT:
                sqlite3_bind_text64(insert.get(), at, rows.m_bytes.constData() + cell.number,
                                    static_cast<sqlite3_uint64>(cell.length), SQLITE_STATIC, SQLITE_UTF8);
                break;
            case SQLITE_BLOB:
                sqlite3_bind_blob64(insert.get(), at, rows.m_bytes.constData() + cell.number,
                                    static_cast<sqlite3_uint64>(cell.length), SQLITE_STATIC);
                break;
            default:
                sqlite3_bind_null(insert.get(), at);
            }
        }
        insert.Step();
        insert.Reset();
    }
}

void RemoveRows(Connection& conn, const QString& table, const QString& keyColumn, const QList<qint64>& keys)
{
    Stmt remove(conn, QStringLiteral("Delete From %1 Where %2 = ?").arg(Name(table), Name(keyColumn)));
    for (const qint64 key : Sorted(keys)) {
        sqlite3_bind_int64(remove.get(), 1, key);
        remove.Step();
        remove.Reset();
    }
}

void UpdateRecord(Connection& conn, qint64 pwdId, qint64 typeNo, const QStringList& cipherFields, const QString& url)
{
    if (cipherFields.size() != 8) {
        throw AppError(5, QStringLiteral("A record has eight fields"));
    }
    QVariantList params{typeNo};
    for (const QString& field : cipherFields) {
        params.append(field);
    }
    params.append(url.isEmpty() ? QVariant() : QVariant(url));
    params.append(pwdId);
    conn.Execute(QStringLiteral("Update PWDTable Set TypeNo = ?, Name = ?, F_Phone1 = ?, F_MobilePhone1 = ?, "
                                "C_Phone1 = ?, EMailList = ?, QQ = ?, MSN = ?, ICQ = ?, Url = ? Where PWDID = ?"),
                 params);
}

void UpdateType(Connection& conn, qint64 typeNo, const QString& typeName, const QString& description)
{
    conn.Execute(QStringLiteral("Update PWDType Set TypeName = ?, Description = ? Where TypeNo = ?"),
                 {typeName, description, typeNo});
}

std::vector<std::pair<qint64, qint64>> StoredTypesOfRecords(Connection& conn, const QList<qint64>& pwdIds,
                                                            KeyReading how)
{
    std::vector<std::pair<qint64, qint64>> types;
    types.reserve(static_cast<std::size_t>(pwdIds.size()));
    const QList<qint64> sorted = Sorted(pwdIds);
    // Keys above the largest cannot be in the book: a drop from another program may name any.
    qint64 largestKey = 0;
    conn.ForEachRow(QStringLiteral("Select Max(PWDID) From PWDTable"), {},
                    [&](const RowView& row) { largestKey = row.Integer(0); });
    if (how == KeyReading::Choose) {
        // A key looked up (a page of the table found and deciphered) costs about as much as
        // reading 64 entries of the index of types in one pass, which holds every key beside its
        // type: past that share of the book, the pass costs less. Measured at 100,000 and
        // 1,000,000 contacts, the two cross at 1,500 and 14,000 keys. The largest key stands in
        // for the book's size, at no cost.
        constexpr qint64 EntriesPerLookup = 64;
        how = sorted.size() * EntriesPerLookup >= largestKey ? KeyReading::OneScan : KeyReading::OneByOne;
    }
    if (how == KeyReading::OneScan && !sorted.isEmpty()) {
        // The pass meets every key of the book: each is looked up in a bitmap of the wanted ones.
        const qint64 low = sorted.front();
        const qint64 high = std::max(low, std::min(sorted.back(), largestKey));
        std::vector<bool> wanted(static_cast<std::size_t>(high - low + 1), false);
        for (const qint64 id : sorted) {
            if (id <= high) {
                wanted[static_cast<std::size_t>(id - low)] = true;
            }
        }
        conn.ForEachRow(QStringLiteral("Select PWDID, TypeNo From PWDTable Order By TypeNo, PWDID"), {},
                        [&](const RowView& row) {
                            const qint64 id = row.Integer(0);
                            if (id >= low && id <= high && wanted[static_cast<std::size_t>(id - low)]) {
                                types.emplace_back(id, row.Integer(1));
                            }
                        });
        std::sort(types.begin(), types.end());
    } else {
        Stmt select(conn, QStringLiteral("Select TypeNo From PWDTable Where PWDID = ?"));
        for (const qint64 id : sorted) {
            sqlite3_bind_int64(select.get(), 1, id);
            if (select.Step()) {
                types.emplace_back(id, sqlite3_column_int64(select.get(), 0));
            }
            select.Reset();
        }
    }
    return types;
}

std::vector<std::pair<qint64, qint64>> TypesOfRecords(Connection& conn, const QList<qint64>& pwdIds, KeyReading how)
{
    std::vector<std::pair<qint64, qint64>> types = StoredTypesOfRecords(conn, pwdIds, how);
    // A contact whose move is still being written is of the type it moves to.
    if (conn.HasTable("PWDMoving")) {
        std::unordered_map<qint64, qint64> moving;
        conn.ForEachRow(QStringLiteral("Select PWDID, TypeNo From PWDMoving"), {},
                        [&](const RowView& row) { moving.emplace(row.Integer(0), row.Integer(1)); });
        for (auto& [id, type] : types) {
            if (const auto found = moving.find(id); found != moving.end()) {
                type = found->second;
            }
        }
    }
    return types;
}
