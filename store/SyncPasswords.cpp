#include "store/SyncPasswords.h"

#include <QMutex>
#include <QMutexLocker>

#include "core/CodePage.h"
#include "store/Connection.h"
#include "store/Encryption.h"
#include "store/SecretStore.h"
#include "store/SyncTables.h"

namespace {

struct Stores
{
    QMutex mutex;
    bool keyringSet = false;
    std::unique_ptr<SecretStore> keyring;
    SessionSecretStore session;
};

Stores& TheStores()
{
    static Stores stores;
    return stores;
}

SecretStore* Keyring()
{
    Stores& stores = TheStores();
    const QMutexLocker lock(&stores.mutex);
    if (!stores.keyringSet) {
        stores.keyring = std::make_unique<KeyringSecretStore>(QStringLiteral("Tavoren"));
        stores.keyringSet = true;
    }
    return stores.keyring.get();
}

QString KeyName(const QString& instance)
{
    return QStringLiteral("sync account ") + instance;
}

} // namespace

void SetSyncKeyring(std::unique_ptr<SecretStore> keyring)
{
    Stores& stores = TheStores();
    const QMutexLocker lock(&stores.mutex);
    stores.keyring = std::move(keyring);
    stores.keyringSet = true;
}

SyncPasswordLookup FindSyncPassword(const QString& instance)
{
    Stores& stores = TheStores();
    const SecretStore::Answer remembered = stores.session.Read(KeyName(instance));
    if (remembered.outcome == SecretStore::Outcome::Done) {
        return {remembered.secret, true, {}};
    }
    SecretStore* keyring = Keyring();
    if (keyring == nullptr) {
        return {std::nullopt, false, {}};
    }
    const SecretStore::Answer kept = keyring->Read(KeyName(instance));
    switch (kept.outcome) {
    case SecretStore::Outcome::Done:
        // Asked once per session: a keyring may stop to ask the user to unlock it.
        stores.session.Write(KeyName(instance), kept.secret);
        return {kept.secret, true, {}};
    case SecretStore::Outcome::Missing:
        return {std::nullopt, true, {}};
    case SecretStore::Outcome::Unavailable:
        break;
    }
    return {std::nullopt, false, kept.why};
}

bool SaveSyncPassword(const QString& instance, const QString& password, QString* why)
{
    TheStores().session.Write(KeyName(instance), password);
    SecretStore* keyring = Keyring();
    const SecretStore::Answer answer =
        keyring != nullptr ? keyring->Write(KeyName(instance), password) : SecretStore::Answer{};
    if (answer.outcome == SecretStore::Outcome::Done) {
        return true;
    }
    if (why != nullptr) {
        *why = answer.why;
    }
    return false;
}

void RememberSyncPasswordForSession(const QString& instance, const QString& password)
{
    TheStores().session.Write(KeyName(instance), password);
}

void ForgetSessionSyncPassword(const QString& instance)
{
    TheStores().session.Erase(KeyName(instance));
}

void ForgetSyncPassword(const QString& instance)
{
    ForgetSessionSyncPassword(instance);
    if (SecretStore* keyring = Keyring()) {
        keyring->Erase(KeyName(instance)); // a keyring that cannot be reached keeps a password nobody asks for
    }
}

QString SyncAccountPassword(Connection& conn, qint64 accountNo, const QString& instance, const QString& cipherStored)
{
    if (cipherStored.isEmpty()) {
        return FindSyncPassword(instance).password.value_or(QString());
    }
    const QString password = Decrypt(QStringView(cipherStored), CodePage::Utf8());
    if (!SaveSyncPassword(instance, password)) {
        return password; // no keyring: the book keeps it until there is one
    }
    // Zeroed where it stood, not just unlinked: a backup copies the file's free space too.
    conn.Execute(QStringLiteral("PRAGMA secure_delete = ON"));
    UpdateSyncAccountPassword(conn, accountNo, QString());
    conn.Execute(QStringLiteral("PRAGMA secure_delete = OFF"));
    return password;
}
