#include "store/SecretStore.h"

#include <QEventLoop>
#include <QMutexLocker>
#include <QPointer>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <memory>
#include <utility>

namespace {

// What a keyring job left behind; shared with the job, which may finish after we stopped waiting.
struct JobResult
{
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorString;
    QString secret;
};

// Starts job (which deletes itself once finished) and waits for it, at most timeoutMs: a job
// that outlives the wait finishes on its own, into a result nobody reads any more.
SecretStore::Answer Run(QKeychain::Job* job, int timeoutMs)
{
    auto result = std::make_shared<JobResult>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    job->setAutoDelete(true);
    // Never into a plain file beside the settings: without a keyring the secret stays unsaved.
    job->setInsecureFallback(false);
    QObject::connect(job, &QKeychain::Job::finished, job, [result, waiting](QKeychain::Job* done) {
        result->finished = true;
        result->error = done->error();
        result->errorString = done->errorString();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done)) {
            result->secret = read->textData();
        }
        if (waiting) {
            waiting->quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!result->finished) {
        loop.exec();
    }
    if (!result->finished) {
        return {SecretStore::Outcome::Unavailable, {}, {}};
    }
    switch (result->error) {
    case QKeychain::NoError:
        return {SecretStore::Outcome::Done, result->secret, {}};
    case QKeychain::EntryNotFound:
        return {SecretStore::Outcome::Missing, {}, {}};
    default:
        return {SecretStore::Outcome::Unavailable, {}, result->errorString};
    }
}

} // namespace

KeyringSecretStore::KeyringSecretStore(QString service, int timeoutMs)
    : m_service(std::move(service)), m_timeoutMs(timeoutMs)
{
}

SecretStore::Answer KeyringSecretStore::Read(const QString& name)
{
    auto* job = new QKeychain::ReadPasswordJob(m_service);
    job->setKey(name);
    return Run(job, m_timeoutMs);
}

SecretStore::Answer KeyringSecretStore::Write(const QString& name, const QString& secret)
{
    auto* job = new QKeychain::WritePasswordJob(m_service);
    job->setKey(name);
    job->setTextData(secret);
    return Run(job, m_timeoutMs);
}

SecretStore::Answer KeyringSecretStore::Erase(const QString& name)
{
    auto* job = new QKeychain::DeletePasswordJob(m_service);
    job->setKey(name);
    return Run(job, m_timeoutMs);
}

SecretStore::Answer SessionSecretStore::Read(const QString& name)
{
    const QMutexLocker lock(&m_mutex);
    const auto found = m_secrets.constFind(name);
    if (found == m_secrets.constEnd()) {
        return {Outcome::Missing, {}, {}};
    }
    return {Outcome::Done, *found, {}};
}

SecretStore::Answer SessionSecretStore::Write(const QString& name, const QString& secret)
{
    const QMutexLocker lock(&m_mutex);
    m_secrets.insert(name, secret);
    return {Outcome::Done, {}, {}};
}

SecretStore::Answer SessionSecretStore::Erase(const QString& name)
{
    const QMutexLocker lock(&m_mutex);
    return {m_secrets.remove(name) > 0 ? Outcome::Done : Outcome::Missing, {}, {}};
}
