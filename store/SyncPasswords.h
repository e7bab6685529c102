#pragma once

#include <QString>

#include <memory>
#include <optional>

class Connection;
class SecretStore;

// Where the passwords of sync accounts live: the system keyring, each under its account's instance
// (a name of its own for every account of every book), with this session's memory in front of it.
// The address book keeps none, so neither do its backups; a password an older version kept in the
// book moves to the keyring the first time the account is read, and is erased from the book.

// The keyring the passwords go to; the desktop's own unless set. nullptr: there is none.
void SetSyncKeyring(std::unique_ptr<SecretStore> keyring);

struct SyncPasswordLookup
{
    std::optional<QString> password; // none when neither this session nor the keyring has it
    bool keyringAnswered = true;     // false: there is no keyring, or it could not be reached
    QString keyringTrouble;          // then why, in the system's words, where it says
};
SyncPasswordLookup FindSyncPassword(const QString& instance);

// Keeps an account's password in the keyring and in this session's memory. False, with the
// keyring's trouble in why, when only this session has it now.
bool SaveSyncPassword(const QString& instance, const QString& password, QString* why = nullptr);
// Keeps it in this session's memory only (the keyring is not asked), or forgets it there again.
void RememberSyncPasswordForSession(const QString& instance, const QString& password);
void ForgetSessionSyncPassword(const QString& instance);
// Forgets it everywhere: the account is gone.
void ForgetSyncPassword(const QString& instance);

// A stored account's password, given the cipher text of its book column (empty in any book this
// version wrote). A password still in the book moves to the keyring and leaves the book when the
// keyring takes it; without a keyring it stays where it is, so nothing is lost. Empty when none is
// known: the caller asks the user.
QString SyncAccountPassword(Connection& conn, qint64 accountNo, const QString& instance, const QString& cipherStored);
