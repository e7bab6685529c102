#include "sync/DiscoveryWorker.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QScopeGuard>
#include <QThread>

DiscoveryWorker::DiscoveryWorker(QUrl url, QString user, QString password, QObject* parent)
    : QObject(parent), m_url(std::move(url)), m_user(std::move(user)), m_password(std::move(password))
{
}

DiscoveryWorker::~DiscoveryWorker()
{
    if (m_thread != nullptr) {
        Cancel();
        m_thread->wait();
        delete m_thread;
    }
}

void DiscoveryWorker::Start()
{
    Q_ASSERT(m_thread == nullptr);
    m_thread = QThread::create([this] { Work(); });
    m_thread->setObjectName(QStringLiteral("discovery"));
    connect(m_thread, &QThread::finished, this, &DiscoveryWorker::Finished, Qt::QueuedConnection);
    m_thread->start();
}

void DiscoveryWorker::Cancel()
{
    m_cancelled = true;
    const QMutexLocker lock(&m_clientMutex);
    if (m_client != nullptr) {
        m_client->Cancel();
    }
}

bool DiscoveryWorker::Wait(int milliseconds)
{
    return m_thread == nullptr ||
           m_thread->wait(milliseconds < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(milliseconds));
}

bool DiscoveryWorker::IsRunning() const
{
    return m_thread != nullptr && !m_thread->isFinished();
}

QList<RemoteBook> DiscoveryWorker::Result() const
{
    if (m_error) {
        std::rethrow_exception(m_error);
    }
    return m_books;
}

void DiscoveryWorker::Work()
{
    try {
        // The client, its network manager and every reply live and die on this thread.
        CardDavClient client(m_url, m_user, m_password);
        m_password.clear(); // the client has it; nothing else needs to keep it
        client.SetTimeout(m_timeout);
        client.SetDeadline(m_deadline);
        {
            const QMutexLocker lock(&m_clientMutex);
            m_client = &client;
            if (m_cancelled) {
                client.Cancel();
            }
        }
        const auto release = qScopeGuard([this] {
            const QMutexLocker lock(&m_clientMutex);
            m_client = nullptr;
        });
        m_books = client.Discover();
    } catch (...) {
        m_error = std::current_exception();
    }
}
