#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <exception>
#include <functional>

#include "sync/SyncEngine.h"

class QThread;

// Runs one sync on a thread of its own, with a connection of its own to the book (SQLCipher wants
// one per thread), so the window keeps painting and answering while the server is waited for.
// The questions a sync asks are put on the thread this object lives on (the window's); the sync
// waits for the answer, and stops waiting when it is cancelled.
class SyncWorker : public QObject
{
    Q_OBJECT

public:
    // connectionString opens the book as the window's connection does, with the same key.
    explicit SyncWorker(QString connectionString, QObject* parent = nullptr);
    // Cancels a sync under way and waits for its thread to end.
    ~SyncWorker() override;

    void SetTimeout(int milliseconds) { m_timeout = milliseconds; }
    void SetDeadline(int milliseconds) { m_deadline = milliseconds; }
    // The engine's questions, asked on this object's thread. Unset, the engine's own default holds.
    void SetConfirmRemoval(std::function<bool(const QStringList&)> confirm) { m_confirmRemoval = std::move(confirm); }
    void SetConfirmDeletions(std::function<bool(const QString&, int, bool)> confirm)
    {
        m_confirmDeletions = std::move(confirm);
    }
    void SetAskLostBook(std::function<LostBookChoice(const QString&, int)> ask) { m_askLostBook = std::move(ask); }

    void Start();
    // From this object's thread, at any time; a question waiting for its answer is declined.
    void Cancel();
    // Waits for the sync's thread to end; false when milliseconds passed first (-1: no limit).
    bool Wait(int milliseconds = -1);
    bool IsRunning() const;

    // After Finished: the summary, or the sync's error thrown again.
    SyncSummary Result() const;
    // After Finished: what the sync changed here, also when it failed.
    const SyncChanges& Changes() const { return m_changes; }

signals:
    // done out of total steps of the current address book.
    void Progress(int done, int total);
    void Finished();

private:
    void Work();
    // Asks on this object's thread and waits for the answer; refusal when cancelled meanwhile.
    template <typename T> T Ask(std::function<T()> question, T refusal);

    QString m_connectionString;
    int m_timeout = 30000;
    int m_deadline = 10 * 60 * 1000;
    std::function<bool(const QStringList&)> m_confirmRemoval;
    std::function<bool(const QString&, int, bool)> m_confirmDeletions;
    std::function<LostBookChoice(const QString&, int)> m_askLostBook;

    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancelled = false;
    QMutex m_engineMutex; // guards m_engine, which the worker sets and Cancel reaches
    SyncEngine* m_engine = nullptr;
    SyncSummary m_summary;
    SyncChanges m_changes;
    std::exception_ptr m_error;
};
