#include "store/SecretStore.h"

#include <QEventLoop>
#include <QMutexLocker>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <utility>

namespace {

// Runs a keyring job to its end, or until the time is up.
SecretStore::Answer Run(QKeychain::Job& job, int timeoutMs)
{
    job.setAutoDelete(false);
    // Never into a plain file beside the settings: without a keyring the secret stays unsaved.
    job.setInsecureFallback(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job.start();
    if (!finished) {
        loop.exec();
    }
    if (!finished) {
        return {SecretStore::Outcome::Unavailable, {}, {}};
    }
    switch (job.error()) {
    case QKeychain::NoError:
        return {SecretStore::Outcome::Done, {}, {}};
    case QKeychain::EntryNotFound:
        return {SecretStore::Outcome::Missing, {}, {}};
    default:
        return {SecretStore::Outcome::Unavailable, {}, job.errorString()};
    }
}

} // namespace

KeyringSecretStore::KeyringSecretStore(QString service, int timeoutMs)
    : m_service(std::move(service)), m_timeoutMs(timeoutMs)
{
}

SecretStore::Answer KeyringSecretStore::Read(const QString& name)
{
    QKeychain::ReadPasswordJob job(m_service);
    job.setKey(name);
    Answer answer = Run(job, m_timeoutMs);
    if (answer.outcome == Outcome::Done) {
        answer.secret = job.textData();
    }
    return answer;
}

SecretStore::Answer KeyringSecretStore::Write(const QString& name, const QString& secret)
{
    QKeychain::WritePasswordJob job(m_service);
    job.setKey(name);
    job.setTextData(secret);
    return Run(job, m_timeoutMs);
}

SecretStore::Answer KeyringSecretStore::Erase(const QString& name)
{
    QKeychain::DeletePasswordJob job(m_service);
    job.setKey(name);
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
