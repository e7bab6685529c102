#include "store/Database.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/Errors.h"
#include "core/platform/SystemMemory.h"
#include "store/Encryption.h"
#include "store/RecordPurge.h"

namespace {

QString Quote(const QString& cipherText)
{
    return QLatin1Char('\'') + cipherText + QLatin1Char('\'');
}

QString Number(qint64 n)
{
    return QString::number(n);
}

// The condition that leaves out deleted contacts that still wait for their rows to be removed,
// for a statement over PWDTable (with the alias prefix, "r." say). A book this version has not
// yet written to has nothing of the kind. While nothing waits the test costs one look at an empty
// table per statement, not one per row.
QString NotDeleted(Connection& conn, const QString& prefix = {})
{
    if (!conn.HasTable("PWDDeleted")) {
        return QStringLiteral("1");
    }
    return QStringLiteral("(Not Exists (Select 1 From PWDDeleted) Or %1PWDID Not In (Select PWDID From PWDDeleted))")
        .arg(prefix);
}

// The rows of PWDTable that belong to typeNo, with a move still being written counted where it
// goes: select (its columns qualified with "r.") from PWDTable r, then the condition. Ordered by key
// when ordered is set.
QString OfType(Connection& conn, const QString& select, qint64 typeNo, bool ordered)
{
    const QString live = NotDeleted(conn, QStringLiteral("r."));
    if (!conn.HasTable("PWDMoving")) {
        return QStringLiteral("%1 From PWDTable r Where r.TypeNo = %2 And %3%4")
            .arg(select, Number(typeNo), live, ordered ? QStringLiteral(" Order By r.PWDID") : QString());
    }
    return QStringLiteral("Select * From (%1 From PWDTable r Where r.TypeNo = %2 And %3 And (Not Exists (Select 1 "
                          "From PWDMoving) Or r.PWDID Not In (Select PWDID From PWDMoving)) Union All %1 From "
                          "PWDMoving m Join PWDTable r On r.PWDID = m.PWDID Where m.TypeNo = %2 And %3)%4")
        .arg(select, Number(typeNo), live, ordered ? QStringLiteral(" Order By 1") : QString());
}

// A column of the list, as the program names it: letters, digits and underscores only.
const QString& ColumnName(const QString& column)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!plain.match(column).hasMatch()) {
        throw AppError(5, QStringLiteral("Invalid column name: %1").arg(column));
    }
    return column;
}

// Rows a second connection read, kept until they are handed on in order. The values' bytes go
// into blocks that never move once written, so half a million rows are never copied to grow.
// Each is written through once, in memory of its own.
struct ReadRows
{
    LargeVector<qint64> ids;
    LargeVector<QByteArrayView> values; // per row and column
    std::vector<LargeVector<char>> blocks;

    void Add(QByteArrayView bytes)
    {
        constexpr std::size_t BlockBytes = LargeFrom;
        const auto size = static_cast<std::size_t>(bytes.size());
        if (blocks.empty() || blocks.back().capacity() - blocks.back().size() < size) {
            blocks.emplace_back().reserve(std::max(BlockBytes, size));
        }
        LargeVector<char>& block = blocks.back();
        const char* at = block.data() + block.size();
        block.insert(block.end(), bytes.begin(), bytes.end());
        values.emplace_back(at, bytes.size());
    }
};

// Opens reader on the book of conn, for one read of the whole table: its pages are not read
// again, so a cache would only hold memory.
void OpenReader(Connection& reader, const Connection& conn)
{
    reader.Open(conn.ConnectionString);
    reader.Execute(QStringLiteral("PRAGMA cache_size = -2048"));
}

// spare, a reader beside conn, opened on first use: on the thread that will read with it, so that
// deriving its key keeps no other thread waiting.
Connection& SpareReader(Connection& spare, const Connection& conn)
{
    if (!spare.IsOpen()) {
        OpenReader(spare, conn);
    }
    return spare;
}

// Past this span of keys a whole-book read is done in two halves at once.
constexpr qint64 SplitFrom = 200000;

// Runs upper on a thread of its own, with a reader of its own on conn's book (kept beside conn for
// the next long read), while lower runs here; a failure of either is thrown once both have ended.
void InTwoHalves(Connection& conn, const std::function<void(Connection& reader)>& upper,
                 const std::function<void()>& lower)
{
    std::exception_ptr failure;
    Connection& reader = conn.Spare(0);
    std::thread second([&] {
        try {
            upper(SpareReader(reader, conn));
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        lower();
    } catch (...) {
        second.join();
        throw;
    }
    second.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// A whole-book read by two readers is cut into this many spans of keys. The first reader takes
// them from the lowest up, the second from the highest down, until they meet: however unevenly
// the two threads are served (a core shared with other work), they end together.
constexpr int ScanChunks = 32;

// Reads the keys from low to high by two readers at once: lower (a connection beside conn) here,
// from the lowest spans up, and a reader of conn's own on a thread of its own (see InTwoHalves)
// from the highest down, each in one snapshot. readSpan(reader, from, to) reads the keys from
// from up to, not including, to on the reader's thread; false stops that reader.
using ReadSpan = std::function<bool(Connection& reader, qint64 from, qint64 to)>;
void ReadFromBothEnds(Connection& conn, Connection& lower, qint64 low, qint64 high, const ReadSpan& lowerSpan,
                      const ReadSpan& upperSpan)
{
    const auto bound = [low, span = high - low + 1](int chunk) { return low + span * chunk / ScanChunks; };
    std::mutex taking;
    int front = 0;
    int back = ScanChunks;
    const auto read = [&](Connection& reader, bool fromFront, const ReadSpan& readSpan) {
        // One snapshot for all of its spans, as when each reader read its half in one statement.
        reader.Execute(QStringLiteral("Begin"));
        const auto end = qScopeGuard([&reader] {
            try {
                reader.Execute(QStringLiteral("Commit"));
            } catch (...) { // NOLINT(bugprone-empty-catch): a read has nothing to keep
            }
        });
        for (;;) {
            int chunk = 0;
            {
                const std::scoped_lock lock(taking);
                if (front >= back) {
                    return;
                }
                chunk = fromFront ? front++ : --back;
            }
            if (!readSpan(reader, bound(chunk), bound(chunk + 1))) {
                return;
            }
        }
    };
    InTwoHalves(
        conn, [&](Connection& reader) { read(reader, false, upperSpan); }, [&] { read(lower, true, lowerSpan); });
}

// Every record's key and a few columns, in key order. Deciphering the pages is most of the cost
// of reading a large book, so it is read by two readers at once, each by a connection of its own
// with a small cache, kept open beside conn for the next such read: the pages of the whole table
// are read once, and kept in this connection's cache they would only push out what the list
// reads again and take hundreds of megabytes. Books too small to repay it are read in one go, and
// so is a book in the middle of a transaction, whose writes only this connection sees.
//
// upper, when given, takes the second reader's rows on its thread, as they are read: every key
// above the first reader's, in runs of ascending keys, each run below the one before. Otherwise
// they are kept and handed to row after the first reader's, in key order.
using ScannedRow = std::function<void(qint64 id, const QByteArrayView* values)>;
void ScanRecords(Connection& conn, const QStringList& columns, const ScannedRow& row, const ScannedRow& upperRow = {})
{
    QStringList names;
    for (const QString& column : columns) {
        names.append(ColumnName(column));
    }
    const QString select =
        QStringLiteral("Select PWDID, %1 From PWDTable Where %2").arg(names.join(QLatin1Char(',')), NotDeleted(conn));
    const auto count = static_cast<std::size_t>(columns.size());
    // One view per column asked for, however many: the caller reads values[0..count). Each thread
    // reading hands its rows through views of its own.
    const auto handTo = [count](const ScannedRow& sink) {
        return [&sink, values = std::vector<QByteArrayView>(count)](const RowView& r) mutable {
            for (std::size_t c = 0; c < values.size(); ++c) {
                values[c] = r.Bytes(static_cast<int>(c) + 1);
            }
            sink(r.Integer(0), values.data());
        };
    };
    const auto [low, high] = RecordKeySpan(conn);
    if (high - low < SplitFrom || conn.InTransaction()) {
        conn.ForEachRow(select + QStringLiteral(" Order By PWDID"), {}, handTo(row));
        return;
    }
    const QString spanSelect = select + QStringLiteral(" And PWDID >= ? And PWDID < ? Order By PWDID");
    ReadRows upper;
    ReaderRuns runs;
    const ScannedRow keep = [&](qint64 id, const QByteArrayView* values) {
        runs.Note(id, upper.ids.size());
        upper.ids.push_back(id);
        for (std::size_t c = 0; c < count; ++c) {
            upper.Add(values[c]);
        }
    };
    if (!upperRow) {
        // The keys are unique, so the second reader holds at most as many rows as its spans of keys
        // (bounded, for a book whose keys have gaps): reserved, the rows are never copied to grow.
        const auto most = static_cast<std::size_t>(std::min<qint64>(high - low + 1, qint64{1} << 22));
        upper.ids.reserve(most);
        upper.values.reserve(most * count);
    }
    auto lowerHand = handTo(row);
    auto upperHand = handTo(upperRow ? upperRow : keep);
    ReadFromBothEnds(
        conn, SpareReader(conn.Spare(1), conn), low, high,
        [&](Connection& reader, qint64 from, qint64 to) {
            reader.ForEachRow(spanSelect, {from, to}, lowerHand);
            return true;
        },
        [&](Connection& reader, qint64 from, qint64 to) {
            reader.ForEachRow(spanSelect, {from, to}, upperHand);
            return true;
        });
    runs.InKeyOrder(upper.ids.size(), [&](std::size_t i) {
        row(upper.ids[i], upper.values.data() + i * count);
        return true;
    });
}

} // namespace

void OpenUsers(Recordset& rs, Connection& conn)
{
    rs.Open(QStringLiteral("Select * From Users"), conn, LockType::Unspecified);
}

void OpenUserByLogin(Recordset& rs, Connection& conn, const QString& name, const QString& password)
{
    rs.Open(QStringLiteral("Select * From Users Where UserName = ") + Quote(Encrypt(name)) +
                QStringLiteral(" And Password = ") + Quote(Encrypt(password)),
            conn, LockType::Unspecified);
}

void OpenUserByRecovery(Recordset& rs, Connection& conn, const QString& currentUser, const QString& question,
                        const QString& answer)
{
    rs.Open(QStringLiteral("Select * From Users Where UserName = ") + Quote(Encrypt(currentUser)) +
                QStringLiteral(" And Question = ") + Quote(Encrypt(question)) + QStringLiteral(" And Answer = ") +
                Quote(Encrypt(answer)),
            conn, LockType::Unspecified);
}

void InsertUser(Connection& conn, const QString& name, const QString& password, const QString& question,
                const QString& answer)
{
    conn.Execute(QStringLiteral("Insert Into Users (UserName,[Password],Question,Answer) Values (") +
                 Quote(Encrypt(name)) + QLatin1Char(',') + Quote(Encrypt(password)) + QLatin1Char(',') +
                 Quote(Encrypt(question)) + QLatin1Char(',') + Quote(Encrypt(answer)) + QLatin1Char(')'));
}

void UpdateUsersName(Connection& conn, const QString& name)
{
    conn.Execute(QStringLiteral("Update Users Set UserName = ") + Quote(Encrypt(name)));
}

void UpdateUsersPassword(Connection& conn, const QString& password)
{
    conn.Execute(QStringLiteral("Update Users Set [Password] = ") + Quote(Encrypt(password)));
}

void UpdateUsersQuestion(Connection& conn, const QString& question)
{
    conn.Execute(QStringLiteral("Update Users Set Question = ") + Quote(Encrypt(question)));
}

void UpdateUsersAnswer(Connection& conn, const QString& answer)
{
    conn.Execute(QStringLiteral("Update Users Set Answer = ") + Quote(Encrypt(answer)));
}

void OpenTypes(Recordset& rs, Connection& conn, LockType lock)
{
    rs.Open(QStringLiteral("Select * From PWDType Order By TypeNo"), conn, lock);
}

void OpenTypeCounts(Recordset& rs, Connection& conn)
{
    rs.Open(QStringLiteral("Select * From VPWDType Order By TypeNo"), conn, LockType::ReadOnly);
}

void OpenRecordsOfType(Recordset& rs, Connection& conn, qint64 typeNo)
{
    rs.Open(OfType(conn, QStringLiteral("Select r.*"), typeNo, true), conn, LockType::ReadOnly);
}

void OpenAllRecords(Recordset& rs, Connection& conn)
{
    rs.Open(QStringLiteral("Select * From PWDTable Where %1 Order By PWDID").arg(NotDeleted(conn)), conn,
            LockType::ReadOnly);
}

void DeleteRecord(Connection& conn, qint64 pwdId)
{
    conn.Execute(QStringLiteral("Delete From PWDTable Where PWDID = ") + Number(pwdId));
}

void DeleteType(Connection& conn, qint64 typeNo)
{
    conn.Execute(QStringLiteral("Delete From PWDType Where TypeNo = ") + Number(typeNo));
}

void OpenRecordUrl(Recordset& rs, Connection& conn, qint64 pwdId)
{
    rs.Open(QStringLiteral("Select Url From PWDTable Where PWDID = %1 And %2").arg(Number(pwdId), NotDeleted(conn)),
            conn, LockType::Unspecified);
}

void MoveRecordToType(Connection& conn, qint64 pwdId, qint64 typeNo)
{
    conn.Execute(QStringLiteral("Update PWDTable Set TypeNo = ") + Number(typeNo) + QStringLiteral(" Where PWDID = ") +
                 Number(pwdId));
}

void ReadRecordColumn(Connection& conn, qint64 typeNo, const QString& column,
                      const std::function<void(qint64 id, QByteArrayView cipher)>& row)
{
    if (typeNo < 0 && column.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0) {
        // The names have an index of their own, a tenth of the table: read in its order, the list
        // puts the rows in order itself.
        conn.ForEachRow(QStringLiteral("Select PWDID, Name From PWDTable Where ") + NotDeleted(conn), {},
                        [&](const RowView& r) { row(r.Integer(0), r.Bytes(1)); });
        return;
    }
    if (typeNo < 0) {
        ScanRecords(conn, {column}, [&](qint64 id, const QByteArrayView* values) { row(id, values[0]); });
        return;
    }
    conn.ForEachRow(OfType(conn, QStringLiteral("Select r.PWDID, r.%1").arg(ColumnName(column)), typeNo, false), {},
                    [&](const RowView& r) { row(r.Integer(0), r.Bytes(1)); });
}

void ReadAllRecordsColumn(Connection& conn, const QString& column,
                          const std::function<void(qint64 id, QByteArrayView cipher)>& lower,
                          const std::function<void(qint64 id, QByteArrayView cipher)>& upper)
{
    if (column.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0) {
        ReadRecordColumn(conn, -1, column, lower);
        return;
    }
    ScanRecords(
        conn, {column}, [&](qint64 id, const QByteArrayView* values) { lower(id, values[0]); },
        [&](qint64 id, const QByteArrayView* values) { upper(id, values[0]); });
}

void ReadRecordColumnExcept(Connection& conn, qint64 typeNo, const QString& column,
                            const std::function<bool(qint64 id)>& held,
                            const std::function<void(qint64 id, QByteArrayView cipher)>& row)
{
    if (typeNo < 0 || !conn.HasTable("PWDMoving")) {
        ReadRecordColumn(conn, typeNo, column, row);
        return;
    }
    // One statement, so the purger writing a move meanwhile cannot make a record show twice or
    // not at all: the type's own rows through the index of types, then the keys moving to it.
    const QString name = ColumnName(column);
    std::vector<qint64> unheld;
    conn.ForEachRow(
        QStringLiteral("Select r.PWDID, r.%1, 1 From PWDTable r Where r.TypeNo = %2 And %3 And (Not Exists "
                       "(Select 1 From PWDMoving) Or r.PWDID Not In (Select PWDID From PWDMoving)) Union "
                       "All Select m.PWDID, Null, 0 From PWDMoving m Where m.TypeNo = %2 And %4")
            .arg(name, Number(typeNo), NotDeleted(conn, QStringLiteral("r.")), NotDeleted(conn, QStringLiteral("m."))),
        {}, [&](const RowView& r) {
            const qint64 id = r.Integer(0);
            if (r.Integer(2) != 0) {
                row(id, r.Bytes(1));
            } else if (!held(id)) {
                unheld.push_back(id);
            }
        });
    // Those the caller does not hold, by key, a screenful of keys per statement.
    constexpr std::size_t Chunk = 500;
    for (std::size_t i = 0; i < unheld.size(); i += Chunk) {
        const std::vector<qint64> part(unheld.begin() + static_cast<std::ptrdiff_t>(i),
                                       unheld.begin() +
                                           static_cast<std::ptrdiff_t>(std::min(unheld.size(), i + Chunk)));
        ReadRecordsById(conn, {column}, part, [&](const RowView& r) { row(r.Integer(0), r.Bytes(1)); });
    }
}

void ReadRecordColumns(Connection& conn, const QString& first, const QString& second,
                       const std::function<void(qint64 id, QByteArrayView a, QByteArrayView b)>& row)
{
    ScanRecords(conn, {first, second}, [&](qint64 id, const QByteArrayView* values) { row(id, values[0], values[1]); });
}

void OpenSearchReader(Connection& reader, const Connection& conn)
{
    OpenReader(reader, conn);
}

void ReadRecordFields(Connection& reader, const QStringList& columns, const std::function<bool(const RowView&)>& row)
{
    QStringList names;
    for (const QString& column : columns) {
        names.append(ColumnName(column));
    }
    // Stopping early is an exception thrown through the reader's loop, caught right here.
    struct Stop
    {
    };
    try {
        reader.ForEachRow(QStringLiteral("Select PWDID, %1 From PWDTable Where %2 Order By PWDID")
                              .arg(names.join(QLatin1Char(',')), NotDeleted(reader)),
                          {}, [&](const RowView& r) {
                              if (!row(r)) {
                                  throw Stop{};
                              }
                          });
    } catch (const Stop&) { // NOLINT(bugprone-empty-catch): the caller asked to stop
    }
}

void ReadRecordFieldsInHalves(Connection& reader, const QStringList& columns,
                              const std::function<bool(const RowView&)>& lower,
                              const std::function<bool(const RowView&)>& upper)
{
    const auto [low, high] = RecordKeySpan(reader);
    if (high - low < SplitFrom || reader.InTransaction() || reader.ConnectionString.isEmpty()) {
        ReadRecordFields(reader, columns, lower);
        return;
    }
    QStringList names;
    for (const QString& column : columns) {
        names.append(ColumnName(column));
    }
    const QString select =
        QStringLiteral("Select PWDID, %1 From PWDTable Where %2 And PWDID >= ? And PWDID < ? Order By PWDID")
            .arg(names.join(QLatin1Char(',')), NotDeleted(reader));
    // Stopping early is an exception thrown through the reader's loop, caught right here.
    struct Stop
    {
    };
    const auto spans = [&select](const std::function<bool(const RowView&)>& row) {
        return [&select, &row](Connection& conn, qint64 from, qint64 to) {
            try {
                conn.ForEachRow(select, {from, to}, [&](const RowView& r) {
                    if (!row(r)) {
                        throw Stop{};
                    }
                });
            } catch (const Stop&) {
                return false; // the caller asked to stop
            }
            return true;
        };
    };
    ReadFromBothEnds(reader, reader, low, high, spans(lower), spans(upper));
}

std::pair<qint64, qint64> RecordKeySpan(Connection& conn)
{
    std::pair<qint64, qint64> span{0, -1};
    // Each end in a query of its own: asked together, the engine reads every key to find them.
    conn.ForEachRow(QStringLiteral("Select coalesce((Select min(PWDID) From PWDTable), 0), "
                                   "coalesce((Select max(PWDID) From PWDTable), -1)"),
                    {}, [&](const RowView& r) {
                        span = {r.Integer(0), r.Integer(1)};
                    });
    return span;
}

void ReadRecordsById(Connection& conn, const QStringList& columns, const std::vector<qint64>& ids,
                     const std::function<void(const RowView&)>& row)
{
    QStringList names;
    for (const QString& column : columns) {
        names.append(ColumnName(column));
    }
    QStringList keys;
    keys.reserve(static_cast<qsizetype>(ids.size()));
    for (const qint64 id : ids) {
        keys.append(Number(id));
    }
    conn.ForEachRow(QStringLiteral("Select PWDID, %1, Url From VPWDTable Where PWDID In (%2)")
                        .arg(names.join(QLatin1Char(',')), keys.join(QLatin1Char(','))),
                    {}, row);
}

void OpenRecordView(Recordset& rs, Connection& conn, qint64 pwdId)
{
    rs.Open(QStringLiteral("Select * From VPWDTable Where PWDID = ") + Number(pwdId), conn, LockType::Unspecified);
}

void OpenRecordsNamedExcept(Recordset& rs, Connection& conn, const QString& name, qint64 pwdId)
{
    rs.Open(QStringLiteral("Select * From VPWDTable Where Name = ") + Quote(Encrypt(name)) +
                QStringLiteral(" And PWDID <> ") + Number(pwdId),
            conn, LockType::Unspecified);
}

void OpenRecordForWrite(Recordset& rs, Connection& conn, qint64 pwdId)
{
    rs.Open(QStringLiteral("Select * From PWDTable Where PWDID = %1 And %2").arg(Number(pwdId), NotDeleted(conn)), conn,
            LockType::Optimistic);
}

void OpenType(Recordset& rs, Connection& conn, qint64 typeNo, LockType lock)
{
    rs.Open(QStringLiteral("Select * From PWDType Where TypeNo = ") + Number(typeNo), conn, lock);
}

void OpenTypesNamedExcept(Recordset& rs, Connection& conn, const QString& typeName, qint64 typeNo)
{
    // The name is the user's own text: bound, never spliced into the statement.
    rs.Open(QStringLiteral("Select * From PWDType Where TypeName = ? Collate TEXTNOCASE And TypeNo <> ") +
                Number(typeNo),
            conn, LockType::Unspecified, {typeName});
}

qint64 InsertType(Connection& conn, const QString& typeName, const QString& description)
{
    conn.Execute(QStringLiteral("Insert Into PWDType (TypeName, Description) Values (?, ?)"), {typeName, description});
    return conn.LastInsertId();
}

qint64 InsertRecord(Connection& conn, qint64 typeNo, const QStringList& cipherFields, const QString& url)
{
    QVariantList values{typeNo};
    for (const QString& field : cipherFields) {
        values.append(field);
    }
    values.append(url.isEmpty() ? QVariant() : QVariant(url));
    conn.Execute(QStringLiteral("Insert Into PWDTable (TypeNo, Name, F_Phone1, F_MobilePhone1, C_Phone1, EMailList, "
                                "QQ, MSN, ICQ, Url) Values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 values);
    return conn.LastInsertId();
}

RecordInserter::RecordInserter(Connection& conn)
    : m_conn(conn),
      m_statement(conn, QStringLiteral("Insert Into PWDTable (TypeNo, Name, F_Phone1, F_MobilePhone1, C_Phone1, "
                                       "EMailList, QQ, MSN, ICQ, Url) Values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
{
}

qint64 RecordInserter::Insert(qint64 typeNo, const std::array<QByteArrayView, 8>& cipherFields, QByteArrayView url)
{
    // Every placeholder is bound anew for each record, and the caller's bytes outlive the run.
    m_statement.Bind(1, typeNo);
    for (int i = 0; i < 8; ++i) {
        m_statement.BindUntilRun(i + 2, cipherFields[static_cast<std::size_t>(i)]);
    }
    if (url.isEmpty()) {
        m_statement.BindNull(10);
    } else {
        m_statement.BindUntilRun(10, url);
    }
    m_statement.Run();
    return m_conn.LastInsertId();
}

void OpenRecordNames(Recordset& rs, Connection& conn)
{
    rs.Open(QStringLiteral("Select Name From PWDTable Where ") + NotDeleted(conn), conn, LockType::ReadOnly);
}

void OpenRecordsWithTypes(Recordset& rs, Connection& conn)
{
    rs.Open(QStringLiteral("Select * From VPWDTable Order By PWDID"), conn, LockType::ReadOnly);
}

void OpenRecordsWithTypesOfType(Recordset& rs, Connection& conn, qint64 typeNo)
{
    rs.Open(QStringLiteral("Select * From VPWDTable Where TypeNo = ") + Number(typeNo) +
                QStringLiteral(" Order By PWDID"),
            conn, LockType::ReadOnly);
}

qint64 CountRecords(Connection& conn, std::optional<qint64> typeNo)
{
    qint64 count = 0;
    conn.ForEachRow(typeNo ? QStringLiteral("Select count(*) From (%1)")
                                 .arg(OfType(conn, QStringLiteral("Select r.PWDID"), *typeNo, false))
                           : QStringLiteral("Select count(*) From PWDTable Where ") + NotDeleted(conn),
                    {}, [&](const RowView& row) { count = row.Integer(0); });
    return count;
}

void ReadRecordsWithTypes(Connection& conn, std::optional<qint64> typeNo,
                          const std::function<void(const RowView&)>& row)
{
    conn.ForEachRow(QStringLiteral("Select PWDID, Name, F_Phone1, F_MobilePhone1, C_Phone1, EMailList, QQ, MSN, ICQ, "
                                   "TypeName, Url From VPWDTable") +
                        (typeNo ? QStringLiteral(" Where TypeNo = ") + Number(*typeNo) : QString()) +
                        QStringLiteral(" Order By PWDID"),
                    {}, row);
}

QString SchemaScript()
{
    QFile file(QStringLiteral(":/schema.sql"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

void CreateDatabase(const QString& path)
{
    if (QFileInfo::exists(path)) {
        throw AppError(58, QStringLiteral("The file '%1' exists already.").arg(path));
    }
    const QString script = SchemaScript();
    if (script.isEmpty()) {
        throw AppError(53, QStringLiteral("The database schema is missing from the program."));
    }
    // Built under a temporary name and renamed, so an interrupted build never leaves a
    // half-made database that a later build would take for a good one.
    const QString work = path + QStringLiteral(".new");
    QFile::remove(work);
    {
        Connection conn;
        // A new book starts under the program's own password; the user may protect it later.
        conn.Create(ConnectionStringForFile(work, QString::fromLatin1(DatabasePassword)));
        try {
            Transaction transaction(conn);
            conn.ExecuteScript(script);
            transaction.Commit();
        } catch (...) {
            conn.Close();
            QFile::remove(work);
            throw;
        }
    }
    if (!QFile::rename(work, path)) {
        QFile::remove(work);
        throw AppError(75, QStringLiteral("Could not create '%1'.").arg(path));
    }
}

void AddMissingIndexes(Connection& conn)
{
    AddPendingTables(conn);
    if (conn.HasIndex("PWDTable_TypeName")) {
        return;
    }
    try {
        // The index of types with the names replaces the one without them, which serves no
        // statement the wider one does not: one index kept by every write rather than two.
        Transaction transaction(conn);
        conn.Execute(QStringLiteral("Create Index PWDTable_TypeName On PWDTable (TypeNo, PWDID, Name)"));
        conn.Execute(QStringLiteral("Drop Index If Exists PWDTable_TypeNo"));
        transaction.Commit();
    } catch (const DbError&) { // NOLINT(bugprone-empty-catch): the index only speeds up reading
    }
}

QStringList MissingSchemaObjects(Connection& conn)
{
    QStringList missing;
    const struct
    {
        const char* type;
        const char* name;
    } expected[] = {
        {"table", "PWDTable"}, {"table", "PWDType"}, {"table", "Users"}, {"view", "VPWDTable"}, {"view", "VPWDType"}};
    for (const auto& object : expected) {
        Recordset rs;
        rs.Open(QStringLiteral("SELECT name FROM sqlite_master WHERE type = ? AND name = ? COLLATE NOCASE"), conn,
                LockType::Unspecified, {QString::fromLatin1(object.type), QString::fromLatin1(object.name)});
        if (rs.RecordCount() == 0) {
            missing.append(QString::fromLatin1(object.name));
        }
    }
    return missing;
}
