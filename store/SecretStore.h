#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

// Somewhere to keep a secret (a server password) by name, away from the address book, its backups
// and the settings file, all of which the program's own key opens.
class SecretStore
{
public:
    enum class Outcome {
        Done,       // read (the secret is in the answer), written or erased
        Missing,    // nothing kept under that name
        Unavailable // the store cannot be reached: no keyring running, locked, refused, timed out
    };
    struct Answer
    {
        Outcome outcome = Outcome::Unavailable;
        QString secret;
        QString why; // for Unavailable, the reason in the system's words
    };

    virtual ~SecretStore() = default;
    virtual Answer Read(const QString& name) = 0;
    virtual Answer Write(const QString& name, const QString& secret) = 0;
    virtual Answer Erase(const QString& name) = 0;
};

// The desktop's keyring (the Secret Service on Linux: GNOME Keyring, KWallet), reached through
// QtKeychain. Each call waits for the keyring, at most timeoutMs: a keyring that asks the user to
// unlock it gets that long.
class KeyringSecretStore : public SecretStore
{
public:
    explicit KeyringSecretStore(QString service, int timeoutMs = 60000);
    Answer Read(const QString& name) override;
    Answer Write(const QString& name, const QString& secret) override;
    Answer Erase(const QString& name) override;

private:
    QString m_service;
    int m_timeoutMs;
};

// Secrets kept in this process's memory only, gone when the program ends.
class SessionSecretStore : public SecretStore
{
public:
    Answer Read(const QString& name) override;
    Answer Write(const QString& name, const QString& secret) override;
    Answer Erase(const QString& name) override;

private:
    QMutex m_mutex;
    QHash<QString, QString> m_secrets;
};
