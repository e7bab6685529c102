#include "store/RecordPurge.h"

#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <optional>
#include <sqlite3.h>
#include <system_error>
#include <utility>

#include "core/Errors.h"
#include "store/BookRows.h"
#include "store/Connection.h"
#include "store/Database.h"

namespace {

// A step of the background purge writes for about this long, then commits: a save in the window
// or a sync on another thread waits little longer than this for its turn.
constexpr qint64 BackgroundStepNanoseconds = 10'000'000;
// A step of a purge the user waits for (the close) is longer: every commit writes again the pages
// of the indexes that the steps before it touched, so fewer steps finish sooner.
constexpr qint64 ForegroundStepNanoseconds = 200'000'000;
// Keys read per millisecond of a step; a step ends earlier when its time is up.
constexpr qint64 KeysPerMillisecond = 50;

// The schema's own statements that create the pending tables, their triggers and the views that
// read through them, in the order the schema gives them. A statement starts at a line beginning
// with CREATE and runs to the next comment or CREATE.
QStringList PendingStatements()
{
    QStringList statements;
    QString current;
    const auto flush = [&] {
        const QString statement = current.trimmed();
        if (statement.contains(QLatin1String("PWDDeleted")) || statement.contains(QLatin1String("PWDMoving")) ||
            statement.startsWith(QLatin1String("CREATE VIEW")) ||
            statement.startsWith(QLatin1String("CREATE TRIGGER"))) {
            QString once = statement;
            once.replace(QLatin1String("CREATE TABLE "), QLatin1String("CREATE TABLE IF NOT EXISTS "));
            once.replace(QLatin1String("CREATE INDEX "), QLatin1String("CREATE INDEX IF NOT EXISTS "));
            statements.append(once);
        }
        current.clear();
    };
    for (const QString& line : SchemaScript().split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("CREATE ")) || line.startsWith(QLatin1String("--"))) {
            flush();
        }
        if (!line.startsWith(QLatin1String("--"))) {
            current += line + QLatin1Char('\n');
        }
    }
    flush();
    return statements;
}

// The keys of a bulk write in ascending order: the table's pages are then visited once each.
QList<qint64> Sorted(const QList<qint64>& ids)
{
    QList<qint64> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    return sorted;
}

// Runs an insert; false when its key is there already (the transaction goes on without it).
bool RunUnlessTaken(PreparedStatement& insert)
{
    try {
        insert.Run();
        return true;
    } catch (const DbError& error) {
        // Only the key taken: a trigger or another rule refusing the row is a failure.
        if (error.Number() != SQLITE_CONSTRAINT_PRIMARYKEY) {
            throw;
        }
        return false;
    }
}

QString KeptBatches(const std::set<qint64>& keep)
{
    if (keep.empty()) {
        return QStringLiteral("1");
    }
    QStringList numbers;
    for (const qint64 batch : keep) {
        numbers.append(QString::number(batch));
    }
    return QStringLiteral("Batch Not In (%1)").arg(numbers.join(QLatin1Char(',')));
}

// How a step ends when other connections are reading the book.
enum class StepCommit {
    Wait,       // waits for their reads to end: for a purge the user waits for
    UnlessRead, // rolls back: for the background, which must never shut the window out
};

// One short transaction of the purge: removes deleted contacts, then writes pending moves, until
// its time is up. Returns how many keys it settled (0: nothing is pending but the kept batches),
// nothing when it rolled back for a reader.
std::optional<qint64> PurgeStep(Connection& conn, const std::set<qint64>& keep, qint64 stepNanoseconds,
                                StepCommit commit, const std::function<bool()>& movesHeld = {})
{
    QElapsedTimer clock;
    clock.start();
    qint64 settled = 0;
    const qint64 keysPerStep = stepNanoseconds / 1'000'000 * KeysPerMillisecond;
    Transaction transaction(conn);
    {
        std::vector<qint64> keys;
        conn.ForEachRow(QStringLiteral("Select PWDID From PWDDeleted Where %1 Order By PWDID Limit %2")
                            .arg(KeptBatches(keep))
                            .arg(keysPerStep),
                        {}, [&](const RowView& r) { keys.push_back(r.Integer(0)); });
        PreparedStatement remove(conn, QStringLiteral("Delete From PWDTable Where PWDID = ?"));
        PreparedStatement unmark(conn, QStringLiteral("Delete From PWDDeleted Where PWDID = ?"));
        for (const qint64 key : keys) {
            remove.Bind(1, key);
            remove.Run();
            // The trigger removed the mark with the row; a key whose row was gone already keeps it.
            unmark.Bind(1, key);
            unmark.Run();
            ++settled;
            if (clock.nsecsElapsed() > stepNanoseconds) {
                break;
            }
        }
    }
    // Asked only now, in the transaction: a move marked after this answer commits after this step
    // (the transaction holds the book's write lock), so the step never sees its marks.
    if (clock.nsecsElapsed() <= stepNanoseconds && !(movesHeld && movesHeld())) {
        std::vector<std::pair<qint64, qint64>> moves;
        conn.ForEachRow(QStringLiteral("Select PWDID, TypeNo From PWDMoving Order By PWDID Limit %1").arg(keysPerStep),
                        {}, [&](const RowView& r) { moves.emplace_back(r.Integer(0), r.Integer(1)); });
        PreparedStatement move(conn, QStringLiteral("Update PWDTable Set TypeNo = ? Where PWDID = ?"));
        PreparedStatement done(conn, QStringLiteral("Delete From PWDMoving Where PWDID = ?"));
        for (const auto& [key, typeNo] : moves) {
            move.Bind(1, typeNo);
            move.Bind(2, key);
            move.Run();
            done.Bind(1, key);
            done.Run();
            ++settled;
            if (clock.nsecsElapsed() > stepNanoseconds) {
                break;
            }
        }
    }
    if (commit == StepCommit::Wait) {
        transaction.Commit();
    } else if (!transaction.CommitUnlessRead()) {
        return std::nullopt;
    }
    return settled;
}

qint64 CountPending(Connection& conn, const std::set<qint64>& keep)
{
    qint64 count = 0;
    conn.ForEachRow(QStringLiteral("Select (Select count(*) From PWDDeleted Where %1) + (Select count(*) From "
                                   "PWDMoving)")
                        .arg(KeptBatches(keep)),
                    {}, [&](const RowView& r) { count = r.Integer(0); });
    return count;
}

bool PurgeKeeping(Connection& conn, const PurgeProgress& progress, const std::set<qint64>& keep)
{
    if (!conn.HasTable("PWDDeleted") || !conn.HasTable("PWDMoving")) {
        return true;
    }
    const qint64 total = CountPending(conn, keep);
    qint64 done = 0;
    while (done < total || total == 0) {
        if (progress && !progress(done, total)) {
            return false;
        }
        const qint64 settled = *PurgeStep(conn, keep, ForegroundStepNanoseconds, StepCommit::Wait);
        if (settled == 0) {
            break;
        }
        done += settled;
    }
    if (progress) {
        progress(total, total);
    }
    return true;
}

// Whether the book has the pending tables, and views and triggers as this version writes them. A
// book made by an earlier version may hold an earlier text of a view, one that reads slower or
// counts differently.
bool PendingSchemaCurrent(Connection& conn)
{
    if (!conn.HasTable("PWDDeleted") || !conn.HasTable("PWDMoving")) {
        return false;
    }
    for (QString statement : PendingStatements()) {
        statement = statement.simplified();
        const QStringList words = statement.split(QLatin1Char(' '));
        if (words.size() < 3 || (words[1] != QLatin1String("VIEW") && words[1] != QLatin1String("TRIGGER"))) {
            continue;
        }
        if (statement.endsWith(QLatin1Char(';'))) {
            statement.chop(1);
        }
        QString stored;
        conn.ForEachRow(QStringLiteral("Select sql From main.sqlite_master Where name = ?"), {words[2]},
                        [&](const RowView& r) { stored = QString::fromUtf8(r.Bytes(0)).simplified(); });
        if (stored != statement) {
            return false;
        }
    }
    return !conn.HasIndex("PWDDeleted_Batch"); // earlier versions indexed the batches
}

} // namespace

void AddPendingTables(Connection& conn)
{
    if (PendingSchemaCurrent(conn)) {
        return;
    }
    try {
        Transaction transaction(conn);
        // Whatever an interrupted upgrade or another tool left goes first, so the schema's own
        // statements can create everything anew.
        for (const char* drop : {"Drop View If Exists VPWDTable", "Drop View If Exists VPWDType",
                                 "Drop Trigger If Exists PWDTable_Deleted", "Drop Trigger If Exists PWDTable_Moved",
                                 "Drop Index If Exists PWDDeleted_Batch"}) {
            conn.Execute(QString::fromLatin1(drop));
        }
        for (const QString& statement : PendingStatements()) {
            conn.ExecuteScript(statement);
        }
        transaction.Commit();
    } catch (const DbError&) { // NOLINT(bugprone-empty-catch): a book that cannot be written has nothing to skip
    }
}

qint64 MarkRecordsDeleted(Connection& conn, const QList<qint64>& ids)
{
    // Unique in this process even after the batches before it are gone from the book.
    static std::atomic<qint64> last{0};
    Transaction transaction(conn);
    qint64 batch = 0;
    conn.ForEachRow(QStringLiteral("Select coalesce(max(Batch), 0) + 1 From PWDDeleted"), {},
                    [&](const RowView& r) { batch = r.Integer(0); });
    qint64 previous = last.load();
    do {
        batch = std::max(batch, previous + 1);
    } while (!last.compare_exchange_weak(previous, batch));
    // Held before anyone can see it, so the purger never takes it before it is released.
    Purger().Hold(batch);
    try {
        // A key marked before stays in its batch. A plain insert whose rare failure on such a key is
        // let pass: Insert Or Ignore is many times slower in this engine.
        PreparedStatement mark(conn, QStringLiteral("Insert Into PWDDeleted (PWDID, Batch) Values (?, ?)"));
        mark.Bind(2, batch);
        for (const qint64 id : Sorted(ids)) {
            mark.Bind(1, id);
            RunUnlessTaken(mark);
        }
        transaction.Commit();
    } catch (...) {
        Purger().Release(batch);
        throw;
    }
    return batch;
}

bool UnmarkRecords(Connection& conn, qint64 batch)
{
    conn.Execute(QStringLiteral("Delete From PWDDeleted Where Batch = ?"), {batch});
    const bool unmarked = conn.Changes() > 0;
    Purger().Release(batch); // nothing of it is left to purge
    return unmarked;
}

namespace {

// The marks of a move, in the transaction under way.
void WriteMoves(Connection& conn, const QList<qint64>& ids, qint64 typeNo)
{
    // A later move of a key replaces its earlier one. A plain insert, with the rare key moved
    // before updated after it fails: Insert Or Replace is many times slower in this engine.
    PreparedStatement move(conn, QStringLiteral("Insert Into PWDMoving (PWDID, TypeNo) Values (?, ?)"));
    PreparedStatement again(conn, QStringLiteral("Update PWDMoving Set TypeNo = ? Where PWDID = ?"));
    move.Bind(2, typeNo);
    again.Bind(1, typeNo);
    for (const qint64 id : Sorted(ids)) {
        move.Bind(1, id);
        if (!RunUnlessTaken(move)) {
            again.Bind(2, id);
            again.Run();
        }
    }
}

// Fewer keys than this are looked up one by one in less time than a second connection takes to
// open.
constexpr qsizetype TypesReadAside = 2000;

} // namespace

void MarkRecordsMoved(Connection& conn, const QList<qint64>& ids, qint64 typeNo)
{
    {
        Transaction transaction(conn);
        WriteMoves(conn, ids, typeNo);
        transaction.Commit();
    }
    Purger().Release(0); // wakes it: no batch is numbered 0
}

MovedTypes::MovedTypes(Types types) : m_types(std::move(types)), m_ready(true) {}

MovedTypes::~MovedTypes()
{
    Wait();
    if (m_hold != 0) {
        Purger().Release(m_hold); // no longer wanted: the moves may be written
    }
}

void MovedTypes::Wait()
{
    std::lock_guard lock(m_joining);
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool MovedTypes::IsReading() const
{
    return m_reading.load();
}

const MovedTypes::Types& MovedTypes::Get(Connection& conn)
{
    Wait();
    if (!m_ready) {
        // The read aside failed; the purger has kept the rows as they were, so they still hold
        // the types. A failure here leaves everything as it is, to be tried again.
        Keep(StoredTypesOfRecords(conn, m_ids));
    }
    return m_types;
}

void MovedTypes::Keep(Types stored)
{
    // A contact whose earlier move was still pending had the type it was moving to.
    for (auto& [id, type] : stored) {
        if (const auto earlier = m_earlier.find(id); earlier != m_earlier.end()) {
            type = earlier->second;
        }
    }
    m_types = std::move(stored);
    m_ready = true;
    m_ids.clear();
    m_earlier.clear();
    Purger().Release(std::exchange(m_hold, 0));
}

void MovedTypes::ReadAside(const QString& connectionString)
{
    try {
        Connection book;
        book.ConnectionString = connectionString;
        Connection aside;
        OpenSearchReader(aside, book);
        // One snapshot for the whole read.
        aside.Execute(QStringLiteral("Begin"));
        Types stored = StoredTypesOfRecords(aside, m_ids);
        aside.Execute(QStringLiteral("Commit"));
        Keep(std::move(stored));
    } catch (...) { // NOLINT(bugprone-empty-catch): read on the window's connection when wanted
    }
    m_reading = false;
    Purger().Release(0); // the purger waits for the read's end
}

std::shared_ptr<MovedTypes> MarkRecordsMovedReadingTypes(Connection& conn, const QList<qint64>& ids, qint64 typeNo)
{
    if (ids.size() < TypesReadAside || conn.InTransaction() || conn.ConnectionString.isEmpty()) {
        // Writes not yet committed are seen only on conn itself.
        auto types = TypesOfRecords(conn, ids);
        MarkRecordsMoved(conn, ids, typeNo);
        return std::make_shared<MovedTypes>(std::move(types));
    }
    // The marks go in at once; the types the rows still hold are read afterwards, on a thread and
    // a connection of their own, while the purger leaves pending moves unwritten.
    auto types = std::shared_ptr<MovedTypes>(new MovedTypes);
    types->m_ids = Sorted(ids);
    types->m_hold = Purger().HoldMoves(types);
    try {
        Transaction transaction(conn);
        // The moves of these keys still pending: each contact is of the type it was moving to.
        const QList<qint64>& sorted = types->m_ids;
        conn.ForEachRow(QStringLiteral("Select PWDID, TypeNo From PWDMoving Where PWDID Between ? And ?"),
                        {sorted.front(), sorted.back()}, [&](const RowView& r) {
                            const qint64 id = r.Integer(0);
                            if (std::binary_search(sorted.begin(), sorted.end(), id)) {
                                types->m_earlier.emplace(id, r.Integer(1));
                            }
                        });
        WriteMoves(conn, ids, typeNo);
        transaction.Commit();
    } catch (...) {
        Purger().Release(std::exchange(types->m_hold, 0));
        throw;
    }
    // Reading from now on, before the purger wakes: it leaves the book alone until the read ends.
    types->m_reading = true;
    Purger().Release(0);
    try {
        types->m_thread = std::thread(
            [raw = types.get(), connectionString = conn.ConnectionString] { raw->ReadAside(connectionString); });
    } catch (const std::system_error&) {
        types->m_reading = false; // no thread to be had: read when wanted
        Purger().Release(0);
    }
    return types;
}

void MarkTypeMovedAndDelete(Connection& conn, qint64 typeNo, qint64 targetType)
{
    {
        Transaction transaction(conn);
        // Contacts on their way into the type go to the target instead; the type's own go along,
        // except those already on their way elsewhere.
        conn.Execute(QStringLiteral("Update PWDMoving Set TypeNo = ? Where TypeNo = ?"), {targetType, typeNo});
        conn.Execute(
            QStringLiteral("Insert Into PWDMoving (PWDID, TypeNo) Select PWDID, ? From PWDTable Where TypeNo = "
                           "? And PWDID Not In (Select PWDID From PWDMoving)"),
            {targetType, typeNo});
        DeleteType(conn, typeNo);
        transaction.Commit();
    }
    Purger().Release(0);
}

qint64 PendingRecordCount(Connection& conn)
{
    if (!conn.HasTable("PWDDeleted") || !conn.HasTable("PWDMoving")) {
        return 0;
    }
    return CountPending(conn, {});
}

bool PurgePending(Connection& conn, const PurgeProgress& progress, const std::set<qint64>& keep)
{
    return PurgeKeeping(conn, progress, keep);
}

void SettlePending(Connection& conn)
{
    if (!conn.HasTable("PWDDeleted") || !conn.HasTable("PWDMoving") || PendingRecordCount(conn) == 0) {
        return;
    }
    Transaction transaction(conn);
    conn.Execute(QStringLiteral("Delete From PWDTable Where PWDID In (Select PWDID From PWDDeleted)"));
    conn.Execute(QStringLiteral("Update PWDTable Set TypeNo = (Select m.TypeNo From PWDMoving m Where m.PWDID = "
                                "PWDTable.PWDID) Where PWDID In (Select PWDID From PWDMoving)"));
    conn.Execute(QStringLiteral("Delete From PWDDeleted"));
    conn.Execute(QStringLiteral("Delete From PWDMoving"));
    transaction.Commit();
}

RecordPurger::~RecordPurger()
{
    Stop();
}

void RecordPurger::Watch(Connection& conn)
{
    conn.AddOpenObserver([this](Connection& c, bool opened) {
        if (opened) {
            Start(c.ConnectionString);
        } else {
            Stop();
        }
    });
}

void RecordPurger::Start(const QString& connectionString)
{
    Stop();
    std::lock_guard lock(m_mutex);
    m_connectionString = connectionString;
    m_paused = false;
    m_stop = false;
    m_work = true; // whatever an earlier run left
    m_running = true;
    m_thread = std::thread([this, connectionString] { Run(connectionString); });
}

void RecordPurger::Stop()
{
    WaitForMovedTypes(); // the rows they are read from must stay as they are
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void RecordPurger::Pause()
{
    bool running = false;
    {
        std::lock_guard lock(m_mutex);
        running = m_thread.joinable() && !m_stop;
    }
    Stop();
    std::lock_guard lock(m_mutex);
    m_paused = running;
}

void RecordPurger::Resume()
{
    QString connectionString;
    {
        std::lock_guard lock(m_mutex);
        if (!m_paused) {
            return;
        }
        connectionString = m_connectionString;
    }
    Start(connectionString);
}

void RecordPurger::Hold(qint64 batch)
{
    std::lock_guard lock(m_mutex);
    m_held.insert(batch);
}

void RecordPurger::Release(qint64 batch)
{
    {
        std::lock_guard lock(m_mutex);
        m_held.erase(batch);
        m_work = true;
        ++m_requests;
    }
    m_wake.notify_all();
}

bool RecordPurger::IsHeld(qint64 batch) const
{
    std::lock_guard lock(m_mutex);
    return m_held.count(batch) > 0;
}

qint64 RecordPurger::HoldMoves(const std::shared_ptr<MovedTypes>& types)
{
    static std::atomic<qint64> last{0};
    const qint64 hold = --last;
    std::lock_guard lock(m_mutex);
    std::erase_if(m_reads, [](const std::weak_ptr<MovedTypes>& read) { return read.expired(); });
    m_reads.push_back(types);
    m_held.insert(hold);
    return hold;
}

void RecordPurger::WaitForMovedTypes()
{
    std::vector<std::weak_ptr<MovedTypes>> reads;
    {
        std::lock_guard lock(m_mutex);
        reads.swap(m_reads);
    }
    // Not under the lock: a read ends by releasing its hold.
    for (const auto& read : reads) {
        if (const auto types = read.lock()) {
            types->Wait();
        }
    }
}

bool RecordPurger::MovesHeld() const
{
    std::lock_guard lock(m_mutex);
    return !m_held.empty() && *m_held.begin() < 0;
}

bool RecordPurger::TypesBeingRead() const
{
    std::vector<std::weak_ptr<MovedTypes>> reads;
    {
        std::lock_guard lock(m_mutex);
        reads = m_reads;
    }
    // Not under the lock: the last owner of a read may be this look, and its end releases a hold.
    return std::any_of(reads.begin(), reads.end(), [](const std::weak_ptr<MovedTypes>& read) {
        const auto types = read.lock();
        return types && types->IsReading();
    });
}

bool RecordPurger::IsBusy() const
{
    // Reads first: one ends by handing the purger the moves it held.
    const bool reading = TypesBeingRead();
    std::lock_guard lock(m_mutex);
    return reading || (m_running && m_work);
}

bool RecordPurger::Finish(Connection& conn, const PurgeProgress& progress)
{
    Stop();
    if (!PurgeKeeping(conn, progress, {})) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_held.clear();
    return true;
}

void RecordPurger::WaitIdle()
{
    WaitForMovedTypes();
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_running || !m_work; });
}

void RecordPurger::Run(QString connectionString)
{
    auto finish = [this] {
        std::lock_guard lock(m_mutex);
        m_running = false;
        m_idle.notify_all();
    };
    Connection conn;
    try {
        conn.Open(connectionString);
        // Each step commits: emptying the journal is cheaper than creating and removing it every
        // time, and as safe (an empty journal is never taken for one to roll back).
        conn.Execute(QStringLiteral("PRAGMA journal_mode = TRUNCATE"));
    } catch (...) {
        finish(); // the book did not open here; the window's close purges what is left
        return;
    }
    // After a failed step the rest grows, so a book that keeps failing (a damaged page, a full
    // disk) costs next to nothing while it waits for the close, which reports the failure.
    auto rest = std::chrono::milliseconds(200);
    constexpr auto MinReadRest = std::chrono::milliseconds(10);
    constexpr auto MaxReadRest = std::chrono::milliseconds(160);
    auto readRest = MinReadRest;
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (!m_work) {
            m_idle.notify_all();
            m_wake.wait(lock, [this] { return m_stop || m_work; });
            continue;
        }
        const std::set<qint64> keep = m_held;
        const quint64 requests = m_requests;
        lock.unlock();
        if (TypesBeingRead()) {
            // A step now could not commit before that long read ends (see below): none is
            // tried until then. The read's end wakes this thread.
            lock.lock();
            m_wake.wait(lock, [&] { return m_stop || m_requests != requests; });
            continue;
        }
        QElapsedTimer clock;
        clock.start();
        std::optional<qint64> settled = 0; // a book this version has not yet written to has nothing pending
        bool failed = false;
        try {
            if (conn.HasTable("PWDDeleted") && conn.HasTable("PWDMoving")) {
                settled = PurgeStep(conn, keep, BackgroundStepNanoseconds, StepCommit::UnlessRead,
                                    [this] { return MovesHeld(); });
            }
        } catch (const AppError&) {
            failed = true; // busy beyond the timeout, or the disk full: try again after a rest
        }
        // Long enough for a waiting connection's next look to find the book free, whatever the
        // step cost: its waits grow to 10 ms soon after it starts waiting.
        const auto pause = std::chrono::nanoseconds(std::clamp<qint64>(clock.nsecsElapsed(), 2'000'000, 12'000'000));
        lock.lock();
        if (failed) {
            m_wake.wait_for(lock, rest, [this] { return m_stop; });
            rest = std::min<std::chrono::milliseconds>(rest * 2, std::chrono::seconds(30));
            continue;
        }
        if (!settled) {
            // Another connection was reading, perhaps for long (a re-sort or a search of a large
            // book). In this journal mode a commit waits for every reader to end, and while it
            // waits no new reader may start: the window would be shut out of the book until that
            // read is done. So the step was rolled back instead, and is tried again, less often
            // the longer the reads go on, so that the work thrown away stays small beside them.
            m_wake.wait_for(lock, readRest, [this] { return m_stop; });
            readRest = std::min<std::chrono::milliseconds>(readRest * 2, MaxReadRest);
            continue;
        }
        readRest = MinReadRest;
        if (*settled == 0) {
            m_work = m_requests != requests;
            continue;
        }
        rest = std::chrono::milliseconds(200);
        m_wake.wait_for(lock, pause, [this] { return m_stop; });
    }
    lock.unlock();
    conn.Close();
    finish();
}

RecordPurger& Purger()
{
    // Never destroyed: the program's connection may still close after static objects are gone.
    static auto* purger = new RecordPurger;
    return *purger;
}
