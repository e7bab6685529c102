#pragma once

#include <QString>

#include <optional>

#include "store/Maintenance.h"

class Connection;

// An address book that only the account password opens. The book is keyed with a passphrase made
// from the password (the engine derives the key from it with its own key derivation and the salt
// at the head of each file), so the book, its backups, its compacted copies and its journals all
// need the password. Beside the book, readable by its owner only, lies the recovery material:
// the password sealed under a key derived from the secret question and answer, so that password
// recovery keeps working. Its presence says the book is protected.

// The passphrase a book protected with password is keyed with.
QString PassphraseForPassword(const QString& password);

QString RecoveryMaterialPath(const QString& bookPath);
bool IsProtectedBook(const QString& bookPath);

// Seals password under the question and answer, exactly as typed, into the recovery material.
void WriteRecoveryMaterial(const QString& bookPath, const QString& password, const QString& question,
                           const QString& answer);
// The password the material holds, when question and answer are the ones it was sealed under.
std::optional<QString> RecoverPassword(const QString& bookPath, const QString& question, const QString& answer);

// Re-keys the book open on conn under password (turning the protection on, or changing the
// password it is protected with) and reopens it: the key in force from then on. The recovery
// material is written first, so a start after an interruption finds either book and knows how to
// open it.
void ProtectBook(Connection& conn, const QString& password, const QString& question, const QString& answer,
                 const MaintenanceProgress& progress = {});
// Re-keys it back under the program's own password and removes the recovery material.
void UnprotectBook(Connection& conn, const MaintenanceProgress& progress = {});

// Protects the book open on conn with its account's password, question and answer as stored, or
// re-keys it with them when it is protected already (after the account changed). False, changing
// nothing, when the book has no account.
bool ProtectBookWithAccount(Connection& conn, const MaintenanceProgress& progress = {});
// The account's name, when the book has an account.
std::optional<QString> AccountName(Connection& conn);

// After a book was restored from a backup opened with passphrase (made from password when the
// user gave the backup's password): the recovery material follows the restored book. A book back
// under the program's own key has none; one under a password the user gave gets it sealed anew
// with its own question and answer; one under the key in force keeps what there is.
void KeepRecoveryWithRestoredBook(Connection& conn, const QString& passphrase, const QString& password);

// Whether the file at path could be a book under a key we do not have: whole pages of what looks
// like cipher text, which neither the key in force nor the program's own opens.
bool MightBeProtectedBook(const QString& path);

enum class BookOpening { Opened, WrongPassword };
// Opens the protected book at path on conn with password and makes its passphrase the key in
// force. A book that still opens with the program's own password (protection was being turned on
// or off when the program was stopped) opens with it, and its stale recovery material goes.
BookOpening OpenProtectedBook(Connection& conn, const QString& path, const QString& password);
