#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

class Connection;

// Deleting and moving many contacts without holding up the window. A delete writes only the
// contacts' keys into PWDDeleted, in one short transaction, and every reader skips them at once;
// a move writes the keys with their new type into PWDMoving, and every reader of types takes the
// type from there. The rows themselves are removed or rewritten later, a few at a time, by the
// purger on a thread and a connection of its own. Pending work survives a crash: the next opening
// of the book picks it up.

// How far a long piece of work has come: done of total. Returning false stops it between two
// steps, each of which is complete in itself.
using PurgeProgress = std::function<bool(qint64 done, qint64 total)>;

// Gives a book made by an earlier version the two tables, their triggers and the views that skip
// deleted contacts, in one transaction. A book that cannot be written stays as it is: nothing can
// be deleted in it, and nothing needs to be skipped.
void AddPendingTables(Connection& conn);

// Hides the contacts with these keys as deleted and returns the number of their batch, which the
// purger keeps until it is released (see RecordPurger::Release): an undo can bring it back until then.
qint64 MarkRecordsDeleted(Connection& conn, const QList<qint64>& ids);
// Makes the contacts of batch visible again. False when there is nothing left of it to bring back
// (already removed, or never there).
bool UnmarkRecords(Connection& conn, qint64 batch);
// Records that these contacts move to typeNo; readers see them there at once.
void MarkRecordsMoved(Connection& conn, const QList<qint64>& ids, qint64 typeNo);

// The type each contact of a move (those that exist) had before it, in key order, for undoing it.
// After a large move they are still being read, on a thread and a connection of their own, while
// the purger leaves the rows as they were; nothing but undoing the move needs them.
class MovedTypes
{
public:
    using Types = std::vector<std::pair<qint64, qint64>>;
    explicit MovedTypes(Types types);
    ~MovedTypes();
    MovedTypes(const MovedTypes&) = delete;
    MovedTypes& operator=(const MovedTypes&) = delete;

    // Waits for the read. When it failed, reads them on conn (the window's connection) instead;
    // a failure there throws and leaves everything as it was, to be tried again.
    const Types& Get(Connection& conn);
    // Waits for the thread (not for a read on the window's connection).
    void Wait();
    bool IsReading() const;

private:
    MovedTypes() = default;
    void ReadAside(const QString& connectionString);
    void Keep(Types stored);
    friend std::shared_ptr<MovedTypes> MarkRecordsMovedReadingTypes(Connection&, const QList<qint64>&, qint64);

    std::mutex m_joining;
    std::thread m_thread;
    std::atomic<bool> m_reading{false};
    Types m_types;
    bool m_ready = false;
    QList<qint64> m_ids;                          // sorted, until the types are read
    std::unordered_map<qint64, qint64> m_earlier; // pending moves the marks replaced: key, type
    qint64 m_hold = 0;                            // the purger's hold on moves, until the types are read
};

// Records that these contacts move to typeNo, in one short transaction, and gives the types they
// had before: at once for a small move, while being read for a large one.
std::shared_ptr<MovedTypes> MarkRecordsMovedReadingTypes(Connection& conn, const QList<qint64>& ids, qint64 typeNo);
// Records that every contact of typeNo moves to targetType, and deletes typeNo, in one transaction.
void MarkTypeMovedAndDelete(Connection& conn, qint64 typeNo, qint64 targetType);

// How many deleted contacts and pending moves wait for their rows to be written.
qint64 PendingRecordCount(Connection& conn);
// Removes deleted contacts and writes pending moves, a short transaction at a time, on conn. Only
// the batches in keep stay. Returns false when progress stopped it; a failure throws.
bool PurgePending(Connection& conn, const PurgeProgress& progress = {}, const std::set<qint64>& keep = {});

// Does everything pending on conn in one transaction, held batches too: for a copy of the book
// (backup, restore, compaction), which must not carry a deleted contact as a live one.
void SettlePending(Connection& conn);

// The worker that writes pending deletes and moves in the background. It follows the connection
// it watches: it starts when that opens (picking up what an earlier run left), stops before it
// closes, so a file being replaced or re-keyed is never written behind its back.
class RecordPurger
{
public:
    RecordPurger() = default;
    ~RecordPurger();
    RecordPurger(const RecordPurger&) = delete;
    RecordPurger& operator=(const RecordPurger&) = delete;

    // Follows conn's openings and closings from now on.
    void Watch(Connection& conn);
    // Starts on the book of this connection string, or stops (waiting for the step under way).
    void Start(const QString& connectionString);
    void Stop();
    // Stops the thread while a copy of the book is made (its writes would start the copy over),
    // and starts it again as it was.
    void Pause();
    void Resume();
    // A batch marked but kept (an undo step holds it); the purger leaves it until Release.
    void Hold(qint64 batch);
    void Release(qint64 batch);
    // Whether the batch is held by this process.
    bool IsHeld(qint64 batch) const;
    // Holds every pending move unwritten while types is read from the rows, and returns the hold
    // to Release. Stopping (closing, pausing, finishing) waits for the read first.
    qint64 HoldMoves(const std::shared_ptr<MovedTypes>& types);
    // Waits until no types of a move are being read.
    void WaitForMovedTypes();
    // Work was handed over and the thread has not yet found everything done.
    bool IsBusy() const;
    // Stops the thread and does everything pending, held batches too, on conn, with progress: for
    // closing the book, so that no other reader ever finds a deleted contact in it. The thread is
    // not restarted.
    bool Finish(Connection& conn, const PurgeProgress& progress = {});
    // Waits until the thread has nothing left to do (for tests and benchmarks).
    void WaitIdle();

private:
    void Run(QString connectionString);
    bool MovesHeld() const;
    // Whether the types of a move are being read aside.
    bool TypesBeingRead() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::thread m_thread;
    std::set<qint64> m_held; // batches, and below 0 the holds on moves
    std::vector<std::weak_ptr<MovedTypes>> m_reads;
    bool m_stop = false;
    bool m_work = false;    // something was handed over since the thread last found nothing to do
    quint64 m_requests = 0; // counts the handovers, so one during a step is not lost
    bool m_running = false;
    QString m_connectionString; // of the book the thread was last started on
    bool m_paused = false;
};

// The purger of the program's one connection.
RecordPurger& Purger();
