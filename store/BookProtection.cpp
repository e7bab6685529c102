#include "store/BookProtection.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sqlite3.h>

#include "core/Errors.h"
#include "core/SaveFile.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Recordset.h"

namespace {

constexpr int SaltBytes = 16;
constexpr int NonceBytes = 12;
constexpr int TagBytes = 16;
constexpr int KeyBytes = 32;
// The engine keys a book with 64,000 rounds of PBKDF2-HMAC-SHA1; the recovery seal costs a guesser
// more than that, as a question and answer are easier to guess than a password.
constexpr int Iterations = 256000;
constexpr qint64 LargestMaterial = 64 * 1024;
const QByteArray Context = QByteArrayLiteral("Tavoren password recovery 1");

QByteArray RandomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), count) != 1) {
        throw AppError(5, QStringLiteral("The system gave no random numbers."));
    }
    return bytes;
}

QByteArray SealingKey(const QString& question, const QString& answer, const QByteArray& salt, int iterations)
{
    // Both as typed: the question is part of the secret the user gives back.
    const QByteArray secret = question.toUtf8() + '\n' + answer.toUtf8();
    QByteArray key(KeyBytes, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(secret.constData(), static_cast<int>(secret.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()), static_cast<int>(salt.size()),
                          iterations, EVP_sha512(), KeyBytes, reinterpret_cast<unsigned char*>(key.data())) != 1) {
        throw AppError(5, QStringLiteral("The recovery key could not be derived."));
    }
    return key;
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// AES-256-GCM: sealed text with its tag after it; nullopt when the tag does not match.
std::optional<QByteArray> Crypt(bool seal, const QByteArray& key, const QByteArray& nonce, const QByteArray& in)
{
    CipherContext ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    const auto* k = reinterpret_cast<const unsigned char*>(key.constData());
    const auto* iv = reinterpret_cast<const unsigned char*>(nonce.constData());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, k, iv, seal ? 1 : 0) != 1) {
        return std::nullopt;
    }
    QByteArray body = seal ? in : in.left(qMax<qsizetype>(0, in.size() - TagBytes));
    if (!seal && in.size() < TagBytes) {
        return std::nullopt;
    }
    int length = 0;
    EVP_CipherUpdate(ctx.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(Context.constData()),
                     static_cast<int>(Context.size()));
    QByteArray out(body.size() + 16, Qt::Uninitialized);
    if (EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length,
                         reinterpret_cast<const unsigned char*>(body.constData()),
                         static_cast<int>(body.size())) != 1) {
        return std::nullopt;
    }
    int total = length;
    if (!seal) {
        QByteArray tag = in.right(TagBytes);
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, TagBytes, tag.data());
    }
    if (EVP_CipherFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()) + total, &length) != 1) {
        return std::nullopt; // a wrong key: the tag does not match
    }
    total += length;
    out.resize(total);
    if (seal) {
        QByteArray tag(TagBytes, Qt::Uninitialized);
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, TagBytes, tag.data());
        out += tag;
    }
    return out;
}

bool OpensWith(Connection& conn, const QString& path, const QString& passphrase)
{
    try {
        conn.Open(ConnectionStringForFile(path, passphrase));
        return true;
    } catch (const DbError& error) {
        if ((error.Number() & 0xFF) != SQLITE_NOTADB) {
            throw; // a missing or locked file is not a matter of the key
        }
        return false;
    }
}

void Rekey(Connection& conn, const QString& passphrase, const MaintenanceProgress& progress)
{
    const QString path = conn.DatabasePath();
    const QString before = BookPassphrase();
    conn.Close();
    try {
        RekeyDatabaseFile(path, passphrase, progress);
    } catch (...) {
        conn.Open(ConnectionStringForFile(path, before));
        throw;
    }
    SetBookPassphrase(passphrase);
    conn.Open(ConnectionStringForFile(path, passphrase));
}

} // namespace

QString PassphraseForPassword(const QString& password)
{
    // Never mistaken by the engine for a raw key ("x'...'"), whatever the password looks like.
    return QStringLiteral("tavoren:") + password;
}

QString RecoveryMaterialPath(const QString& bookPath)
{
    return bookPath + QStringLiteral(".recovery");
}

bool IsProtectedBook(const QString& bookPath)
{
    return QFile::exists(RecoveryMaterialPath(bookPath));
}

void WriteRecoveryMaterial(const QString& bookPath, const QString& password, const QString& question,
                           const QString& answer)
{
    const QByteArray salt = RandomBytes(SaltBytes);
    const QByteArray nonce = RandomBytes(NonceBytes);
    const auto sealed = Crypt(true, SealingKey(question, answer, salt, Iterations), nonce, password.toUtf8());
    if (!sealed) {
        throw AppError(5, QStringLiteral("The password could not be sealed."));
    }
    QJsonObject material;
    material.insert(QStringLiteral("salt"), QString::fromLatin1(salt.toBase64()));
    material.insert(QStringLiteral("iterations"), Iterations);
    material.insert(QStringLiteral("nonce"), QString::fromLatin1(nonce.toBase64()));
    material.insert(QStringLiteral("sealed"), QString::fromLatin1(sealed->toBase64()));
    QString error;
    if (!ReplaceFileContents(RecoveryMaterialPath(bookPath), QJsonDocument(material).toJson(), &error,
                             FileAccess::OwnerOnly)) {
        throw AppError(75, QStringLiteral("Could not write '%1': %2").arg(RecoveryMaterialPath(bookPath), error));
    }
}

std::optional<QString> RecoverPassword(const QString& bookPath, const QString& question, const QString& answer)
{
    QFile file(RecoveryMaterialPath(bookPath));
    if (!file.open(QIODevice::ReadOnly) || file.size() > LargestMaterial) {
        return std::nullopt;
    }
    const QJsonObject material = QJsonDocument::fromJson(file.read(LargestMaterial)).object();
    const QByteArray salt = QByteArray::fromBase64(material.value(QStringLiteral("salt")).toString().toLatin1());
    const QByteArray nonce = QByteArray::fromBase64(material.value(QStringLiteral("nonce")).toString().toLatin1());
    const QByteArray sealed = QByteArray::fromBase64(material.value(QStringLiteral("sealed")).toString().toLatin1());
    const int iterations = material.value(QStringLiteral("iterations")).toInt();
    // A damaged or foreign file is no reason to spend minutes deriving a key.
    if (salt.size() != SaltBytes || nonce.size() != NonceBytes || iterations < 1 || iterations > 10 * Iterations) {
        return std::nullopt;
    }
    const auto password = Crypt(false, SealingKey(question, answer, salt, iterations), nonce, sealed);
    if (!password) {
        return std::nullopt;
    }
    return QString::fromUtf8(*password);
}

void ProtectBook(Connection& conn, const QString& password, const QString& question, const QString& answer,
                 const MaintenanceProgress& progress)
{
    WriteRecoveryMaterial(conn.DatabasePath(), password, question, answer);
    Rekey(conn, PassphraseForPassword(password), progress);
}

void UnprotectBook(Connection& conn, const MaintenanceProgress& progress)
{
    Rekey(conn, QString::fromLatin1(DatabasePassword), progress);
    QFile::remove(RecoveryMaterialPath(conn.DatabasePath()));
}

bool ProtectBookWithAccount(Connection& conn, const MaintenanceProgress& progress)
{
    QString password, question, answer;
    {
        Recordset rs;
        OpenUsers(rs, conn);
        if (rs.IsEOF()) {
            return false;
        }
        password = Decrypt(rs.Bytes(rs.FieldIndex(u"Password")));
        question = Decrypt(rs.Bytes(rs.FieldIndex(u"Question")));
        answer = Decrypt(rs.Bytes(rs.FieldIndex(u"Answer")));
    }
    ProtectBook(conn, password, question, answer, progress);
    return true;
}

std::optional<QString> AccountName(Connection& conn)
{
    Recordset rs;
    OpenUsers(rs, conn);
    if (rs.IsEOF()) {
        return std::nullopt;
    }
    return Decrypt(rs.Bytes(rs.FieldIndex(u"UserName")));
}

void KeepRecoveryWithRestoredBook(Connection& conn, const QString& passphrase, const QString& password)
{
    const QString book = conn.DatabasePath();
    if (passphrase == QString::fromLatin1(DatabasePassword)) {
        QFile::remove(RecoveryMaterialPath(book));
        return;
    }
    if (password.isEmpty() || passphrase != PassphraseForPassword(password)) {
        return;
    }
    Recordset rs;
    OpenUsers(rs, conn);
    if (!rs.IsEOF()) {
        WriteRecoveryMaterial(book, password, Decrypt(rs.Bytes(rs.FieldIndex(u"Question"))),
                              Decrypt(rs.Bytes(rs.FieldIndex(u"Answer"))));
    }
}

bool MightBeProtectedBook(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() < 512 || info.size() % 512 != 0) {
        return false;
    }
    Connection conn;
    for (const QString& passphrase : {BookPassphrase(), QString::fromLatin1(DatabasePassword)}) {
        try {
            if (OpensWith(conn, path, passphrase)) {
                return false; // a database, but not an address book
            }
        } catch (const DbError&) {
            return false;
        }
    }
    return true;
}

BookOpening OpenProtectedBook(Connection& conn, const QString& path, const QString& password)
{
    const QString passphrase = PassphraseForPassword(password);
    if (OpensWith(conn, path, passphrase)) {
        SetBookPassphrase(passphrase);
        return BookOpening::Opened;
    }
    const QString builtIn = QString::fromLatin1(DatabasePassword);
    if (OpensWith(conn, path, builtIn)) {
        SetBookPassphrase(builtIn);
        QFile::remove(RecoveryMaterialPath(path));
        return BookOpening::Opened;
    }
    return BookOpening::WrongPassword;
}
