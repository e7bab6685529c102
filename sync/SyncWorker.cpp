#include "sync/SyncWorker.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QThread>
#include <QWaitCondition>

#include <memory>
#include <optional>

#include "store/Connection.h"

SyncWorker::SyncWorker(QString connectionString, QObject* parent)
    : QObject(parent), m_connectionString(std::move(connectionString))
{
}

SyncWorker::~SyncWorker()
{
    if (m_thread != nullptr) {
        Cancel();
        m_thread->wait();
        delete m_thread;
    }
}

void SyncWorker::Start()
{
    Q_ASSERT(m_thread == nullptr);
    m_thread = QThread::create([this] { Work(); });
    m_thread->setObjectName(QStringLiteral("sync"));
    // Told on this object's thread, after the worker let go of everything.
    connect(m_thread, &QThread::finished, this, &SyncWorker::Finished, Qt::QueuedConnection);
    m_thread->start();
}

void SyncWorker::Cancel()
{
    m_cancelled = true;
    const QMutexLocker lock(&m_engineMutex);
    if (m_engine != nullptr) {
        m_engine->Cancel();
    }
}

bool SyncWorker::Wait(int milliseconds)
{
    return m_thread == nullptr ||
           m_thread->wait(milliseconds < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(milliseconds));
}

bool SyncWorker::IsRunning() const
{
    return m_thread != nullptr && !m_thread->isFinished();
}

SyncSummary SyncWorker::Result() const
{
    if (m_error) {
        std::rethrow_exception(m_error);
    }
    return m_summary;
}

template <typename T> T SyncWorker::Ask(std::function<T()> question, T refusal)
{
    struct Exchange
    {
        QMutex mutex;
        QWaitCondition answered;
        std::optional<T> answer;
        bool abandoned = false;
    };
    auto exchange = std::make_shared<Exchange>();
    QMetaObject::invokeMethod(
        this,
        [exchange, question = std::move(question)] {
            {
                const QMutexLocker lock(&exchange->mutex);
                if (exchange->abandoned) {
                    return; // the sync was cancelled before the question came up
                }
            }
            const T answer = question();
            const QMutexLocker lock(&exchange->mutex);
            exchange->answer = answer;
            exchange->answered.wakeAll();
        },
        Qt::QueuedConnection);
    QMutexLocker lock(&exchange->mutex);
    while (!exchange->answer) {
        // A cancel (the window closing) must not wait for an answer nobody will give.
        if (m_cancelled) {
            exchange->abandoned = true;
            return refusal;
        }
        exchange->answered.wait(&exchange->mutex, QDeadlineTimer(50));
    }
    return *exchange->answer;
}

void SyncWorker::Work()
{
    try {
        Connection conn;
        conn.Open(m_connectionString);
        SyncEngine engine(conn);
        engine.SetTimeout(m_timeout);
        engine.SetDeadline(m_deadline);
        engine.SetProgress([this](int done, int total) { emit Progress(done, total); });
        if (m_confirmRemoval) {
            engine.SetConfirmRemoval([this](const QStringList& names) {
                return Ask<bool>([this, names] { return m_confirmRemoval(names); }, false);
            });
        }
        if (m_confirmDeletions) {
            engine.SetConfirmDeletions([this](const QString& book, int count, bool onServer) {
                return Ask<bool>([this, book, count, onServer] { return m_confirmDeletions(book, count, onServer); },
                                 false);
            });
        }
        if (m_askLostBook) {
            engine.SetAskLostBook([this](const QString& book, int count) {
                return Ask<LostBookChoice>([this, book, count] { return m_askLostBook(book, count); },
                                           LostBookChoice::Cancel);
            });
        }
        {
            const QMutexLocker lock(&m_engineMutex);
            m_engine = &engine;
            if (m_cancelled) {
                engine.Cancel();
            }
        }
        const auto release = [this] {
            const QMutexLocker lock(&m_engineMutex);
            m_engine = nullptr;
        };
        try {
            m_summary = engine.Run();
        } catch (...) {
            release();
            m_changes = engine.Changes();
            throw;
        }
        release();
        m_changes = m_summary.changes;
    } catch (...) {
        m_error = std::current_exception();
    }
}
