#include "store/Connection.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <openssl/evp.h>
#include <optional>
#include <sqlite3.h>
#include <thread>

#include "core/Errors.h"

Connection Conn;

namespace {

const QString DataSourceKey = QStringLiteral("Data Source");
const QString PasswordKey = QStringLiteral("Database Password");

QString QuoteValue(const QString& value)
{
    // Quoted also where blanks at either end would otherwise be trimmed away: a passphrase keeps them.
    if (!value.contains(u';') && !value.contains(u'"') && value.trimmed() == value) {
        return value;
    }
    QString quoted = value;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

int Collate(void*, int lengthA, const void* a, int lengthB, const void* b)
{
    const QString x = QString::fromUtf8(static_cast<const char*>(a), lengthA);
    const QString y = QString::fromUtf8(static_cast<const char*>(b), lengthB);
    return x.compare(y, Qt::CaseInsensitive);
}

void Bind(sqlite3_stmt* stmt, int index, const QVariant& value)
{
    if (value.isNull()) {
        sqlite3_bind_null(stmt, index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        sqlite3_bind_int64(stmt, index, value.toLongLong());
        break;
    case QMetaType::Double:
        sqlite3_bind_double(stmt, index, value.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        sqlite3_bind_text(stmt, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    default: {
        const QByteArray utf8 = value.toString().toUtf8();
        sqlite3_bind_text(stmt, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        break;
    }
    }
}

// Asked by the engine while another connection holds the book: true to try again. The engine's own
// timed handler sleeps longer and longer (up to 100 ms a time), so a read on the window's thread
// that meets the background purge's commit of a few milliseconds would stall the window for a
// hundred; trying again every millisecond waits only as long as the lock is held. Gives up after
// five seconds, as before.
int WaitForLock(void*, int attempt)
{
    constexpr int GiveUpAfterMs = 5000;
    if (attempt >= GiveUpAfterMs) {
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

// Deriving a book's key from its passphrase takes tens of milliseconds by design (many rounds of
// PBKDF2), and every reader the program opens beside the window's connection would pay it again.
// The key depends only on the passphrase and the salt the file begins with, so it is derived once
// per passphrase and salt in this process and handed to the engine as raw key data; the engine
// still checks it against the first page it reads. The keys stay in this process's memory, where
// the passphrase is anyway.
class DerivedKeys
{
public:
    static DerivedKeys& Instance()
    {
        static DerivedKeys keys;
        return keys;
    }

    // The raw key ("x'<hex>'") for the book at path keyed with password, or empty where it cannot
    // be derived here: a file too short to hold its salt, an engine whose derivation is unknown, or
    // one that refused such a key before.
    QByteArray For(const QString& path, const QByteArray& password)
    {
        // An empty passphrase leaves a file unciphered; one written as raw key data is one already.
        if (m_refused || m_rounds <= 0 || password.isEmpty() || password.toLower().startsWith("x'")) {
            return {};
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        const QByteArray salt = file.read(SaltBytes);
        if (salt.size() != SaltBytes) {
            return {};
        }
        // Held while deriving: the two readers of a long read ask for the same key at once, and
        // the second had better wait than derive it too.
        const std::lock_guard lock(m_mutex);
        for (const Entry& entry : m_entries) {
            if (entry.salt == salt && entry.password == password) {
                return entry.raw;
            }
        }
        unsigned char key[KeyBytes];
        if (PKCS5_PBKDF2_HMAC(password.constData(), static_cast<int>(password.size()),
                              reinterpret_cast<const unsigned char*>(salt.constData()), SaltBytes, m_rounds, m_digest,
                              KeyBytes, key) != 1) {
            return {};
        }
        QByteArray raw = QByteArrayLiteral("x'") +
                         QByteArray::fromRawData(reinterpret_cast<const char*>(key), KeyBytes).toHex().toUpper() +
                         QByteArrayLiteral("'");
        OPENSSL_cleanse(key, KeyBytes);
        if (m_entries.size() == MostEntries) {
            m_entries.pop_front();
        }
        m_entries.push_back({salt, password, raw});
        return raw;
    }

    // A raw key opened a book: they work with this engine.
    void Worked() { m_worked = true; }
    bool Proven() const { return m_worked; }
    // The passphrase opened a book its raw key did not: derive no more, the engine does it.
    void Refused()
    {
        m_refused = true;
        const std::lock_guard lock(m_mutex);
        m_entries.clear();
    }

private:
    static constexpr int SaltBytes = 16;
    static constexpr int KeyBytes = 32;
    static constexpr std::size_t MostEntries = 8;

    // The engine's own settings for keys derived from a passphrase: its version 3 uses
    // PBKDF2-HMAC-SHA1, later ones say which.
    DerivedKeys()
    {
        sqlite3* db = nullptr;
        if (sqlite3_open(":memory:", &db) == SQLITE_OK) {
            const QByteArray version = Pragma(db, "PRAGMA cipher_version");
            const QByteArray rounds = Pragma(db, "PRAGMA cipher_default_kdf_iter");
            if (version.startsWith("3.")) {
                m_digest = EVP_sha1();
            } else {
                const QByteArray algorithm = Pragma(db, "PRAGMA cipher_default_kdf_algorithm");
                m_digest = algorithm.endsWith("SHA512")   ? EVP_sha512()
                           : algorithm.endsWith("SHA256") ? EVP_sha256()
                           : algorithm.endsWith("SHA1")   ? EVP_sha1()
                                                          : nullptr;
            }
            m_rounds = m_digest != nullptr ? rounds.toInt() : 0;
        }
        sqlite3_close(db);
    }

    static QByteArray Pragma(sqlite3* db, const char* sql)
    {
        QByteArray value;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
            value = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
        sqlite3_finalize(stmt);
        return value;
    }

    struct Entry
    {
        QByteArray salt;
        QByteArray password;
        QByteArray raw;
    };
    std::mutex m_mutex;
    std::deque<Entry> m_entries;
    const EVP_MD* m_digest = nullptr;
    int m_rounds = 0;
    std::atomic<bool> m_worked{false};
    std::atomic<bool> m_refused{false};
};

} // namespace

QString BuildConnectionString(const QString& appFolder)
{
    return ConnectionStringForFile(appFolder + QStringLiteral("Datas/address.mdb"));
}

QString ConnectionStringForFile(const QString& path)
{
    return ConnectionStringForFile(path, BookPassphrase());
}

QString ConnectionStringForFile(const QString& path, const QString& passphrase)
{
    return DataSourceKey + QLatin1Char('=') + QuoteValue(path) + QLatin1Char(';') + PasswordKey + QLatin1Char('=') +
           QuoteValue(passphrase);
}

static QString& PassphraseInForce()
{
    static QString passphrase = QString::fromLatin1(DatabasePassword);
    return passphrase;
}

QString BookPassphrase()
{
    return PassphraseInForce();
}

void SetBookPassphrase(const QString& passphrase)
{
    PassphraseInForce() = passphrase;
}

QString ConnectionStringValue(const QString& connectionString, const QString& key)
{
    qsizetype i = 0;
    const qsizetype n = connectionString.size();
    while (i < n) {
        const qsizetype eq = connectionString.indexOf(u'=', i);
        if (eq < 0) {
            break;
        }
        const QString name = connectionString.mid(i, eq - i).trimmed();
        QString value;
        qsizetype j = eq + 1;
        while (j < n && connectionString[j] == u' ') {
            ++j;
        }
        if (j < n && connectionString[j] == u'"') {
            ++j;
            while (j < n) {
                if (connectionString[j] == u'"') {
                    if (j + 1 < n && connectionString[j + 1] == u'"') {
                        value += u'"';
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += connectionString[j++];
            }
            const qsizetype semi = connectionString.indexOf(u';', j);
            j = semi < 0 ? n : semi;
        } else {
            const qsizetype semi = connectionString.indexOf(u';', j);
            const qsizetype end = semi < 0 ? n : semi;
            value = connectionString.mid(j, end - j).trimmed();
            j = end;
        }
        if (name.compare(key, Qt::CaseInsensitive) == 0) {
            return value;
        }
        i = j + 1;
    }
    return {};
}

Connection::~Connection()
{
    Close();
}

void Connection::Open()
{
    OpenFile(false);
    Announce();
}

void Connection::Create(const QString& connectionString, int pageSize)
{
    ConnectionString = connectionString;
    m_pageSize = pageSize;
    OpenFile(true);
    Announce();
}

void Connection::OpenFile(bool create)
{
    Close();
    const QString path = ConnectionStringValue(ConnectionString, DataSourceKey);
    const QByteArray password = ConnectionStringValue(ConnectionString, PasswordKey).toUtf8();
    if (create ? (path.isEmpty() || QFileInfo::exists(path)) : (path.isEmpty() || !QFileInfo(path).isFile())) {
        // SQLite would report much the same; naming the file helps the user more.
        throw DbError(SQLITE_CANTOPEN, create ? QStringLiteral("The file '%1' exists already.").arg(path)
                                              : QStringLiteral("Could not find file '%1'.").arg(path));
    }
    if (create) {
        // The book is private: made readable by its owner only before the engine writes a byte.
        // The engine gives its journals the mode of the file.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            throw DbError(SQLITE_CANTOPEN, QStringLiteral("Could not create '%1': %2").arg(path, file.errorString()));
        }
    }
    // One thread uses a connection, so SQLite's own locking is overhead.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (create) {
        OpenWithPageSize(path, password, flags, m_pageSize);
        return;
    }
    // The page size is not written in the clear anywhere in the file: a book opens with the size
    // its first page deciphers with. Books of this program are tried first, then older ones.
    const auto withEveryPageSize = [&](const QByteArray& key) -> std::optional<DbError> {
        std::optional<DbError> first;
        for (const int pageSize : {NewBookPageSize, 1024, 8192, 16384, 32768, 65536, 2048, 512}) {
            try {
                OpenWithPageSize(path, key, flags, pageSize);
                return std::nullopt;
            } catch (const DbError& error) {
                if ((error.Number() & 0xFF) != SQLITE_NOTADB) {
                    throw; // a missing or locked file is not a matter of page size
                }
                if (!first) {
                    first = error;
                }
            }
        }
        return first;
    };
    DerivedKeys& keys = DerivedKeys::Instance();
    const QByteArray raw = keys.For(path, password);
    if (!raw.isEmpty()) {
        std::optional<DbError> failed = withEveryPageSize(raw);
        if (!failed) {
            keys.Worked();
            return;
        }
        if (keys.Proven()) {
            throw *failed; // the passphrase would give the same key: wrong, or not a book
        }
    }
    if (std::optional<DbError> failed = withEveryPageSize(password)) {
        throw *failed;
    }
    if (!raw.isEmpty()) {
        keys.Refused();
    }
}

void Connection::OpenWithPageSize(const QString& path, const QByteArray& key, int flags, int pageSize)
{
    Close();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db != nullptr ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
        sqlite3_close(db);
        throw DbError(rc, message.isEmpty() ? QString::fromUtf8(sqlite3_errstr(rc)) : message);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_handler(db, WaitForLock, nullptr);
    m_db = db;
    m_path = path;
    m_pageSize = pageSize;
    try {
        const int keyed = sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
        if (keyed != SQLITE_OK) {
            Throw(keyed);
        }
        Execute(QStringLiteral("PRAGMA cipher_page_size = %1").arg(pageSize));
        // The key is only checked when a page is read: a foreign key or a file that is not a
        // database fails here, before anyone relies on the connection.
        Execute(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        // Every page read from the file is deciphered; a cache that can hold the whole book lets
        // it be listed again without reading and deciphering it anew. Books larger than the cap
        // keep what was read last.
        const qint64 kib = std::clamp<qint64>(QFileInfo(path).size() / 1024 * 5 / 4, 8 * 1024, 256 * 1024);
        Execute(QStringLiteral("PRAGMA cache_size = -%1").arg(kib));
        sqlite3_create_collation(db, "TEXTNOCASE", SQLITE_UTF8, nullptr, &Collate);
        static std::atomic<quint64> openings{0};
        m_opening = ++openings;
    } catch (...) {
        Close();
        throw;
    }
}

void Connection::Open(const QString& connectionString)
{
    ConnectionString = connectionString;
    Open();
}

void Connection::Close() noexcept
{
    if (m_db != nullptr && m_announced) {
        m_announced = false;
        for (const auto& observer : m_observers) {
            try {
                observer(*this, false);
            } catch (...) { // NOLINT(bugprone-empty-catch): closing goes ahead whatever an observer met
            }
        }
    }
    m_spares.clear();
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

Connection& Connection::Spare(std::size_t which)
{
    if (m_spares.size() <= which) {
        m_spares.resize(which + 1);
    }
    std::unique_ptr<Connection>& spare = m_spares[which];
    if (!spare) {
        spare = std::make_unique<Connection>();
    }
    if (spare->IsOpen() && spare->ConnectionString != ConnectionString) {
        spare->Close();
    }
    return *spare;
}

sqlite3* Connection::Handle() const
{
    if (m_db == nullptr) {
        throw DbError(SQLITE_MISUSE, QStringLiteral("Operation is not allowed when the object is closed."));
    }
    return m_db;
}

void Connection::Throw(int code) const
{
    const QString message = m_db != nullptr ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
    throw DbError(code, message.isEmpty() ? QString::fromUtf8(sqlite3_errstr(code)) : message);
}

sqlite3_stmt* Connection::Prepare(const QString& sql, const QVariantList& params) const
{
    sqlite3_stmt* stmt = PrepareUnbound(sql);
    try {
        BindAll(stmt, params);
    } catch (...) {
        sqlite3_finalize(stmt);
        throw;
    }
    return stmt;
}

sqlite3_stmt* Connection::PrepareUnbound(const QString& sql) const
{
    sqlite3* db = Handle();
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) {
        Throw(sqlite3_extended_errcode(db));
    }
    if (stmt == nullptr) {
        throw DbError(SQLITE_MISUSE, QStringLiteral("The statement is empty."));
    }
    return stmt;
}

void Connection::BindAll(sqlite3_stmt* stmt, const QVariantList& params)
{
    if (sqlite3_bind_parameter_count(stmt) != params.size()) {
        throw DbError(SQLITE_RANGE, QStringLiteral("The statement expects %1 values, %2 were given.")
                                        .arg(sqlite3_bind_parameter_count(stmt))
                                        .arg(params.size()));
    }
    for (int i = 0; i < params.size(); ++i) {
        Bind(stmt, i + 1, params[i]);
    }
}

void Connection::Execute(const QString& sql, const QVariantList& params)
{
    sqlite3_stmt* stmt = Prepare(sql, params);
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW) {
        rc = sqlite3_step(stmt);
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        Throw(sqlite3_extended_errcode(m_db));
    }
}

qint64 Connection::Scan(const QString& sql, const QVariantList& params)
{
    sqlite3_stmt* stmt = Prepare(sql, params);
    const int columns = sqlite3_column_count(stmt);
    qint64 bytes = 0;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            sqlite3_column_text(stmt, c);
            bytes += sqlite3_column_bytes(stmt, c);
        }
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        Throw(sqlite3_extended_errcode(m_db));
    }
    return bytes;
}

void Connection::ForEachRow(const QString& sql, const QVariantList& params,
                            const std::function<void(const RowView&)>& row)
{
    sqlite3_stmt* stmt = Prepare(sql, params);
    int rc = SQLITE_ROW;
    try {
        const RowView view(stmt);
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            row(view);
        }
    } catch (...) {
        sqlite3_finalize(stmt);
        throw;
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        Throw(sqlite3_extended_errcode(m_db));
    }
}

qint64 RowView::Integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

QByteArrayView RowView::Bytes(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return text != nullptr ? QByteArrayView(text, sqlite3_column_bytes(m_stmt, column)) : QByteArrayView();
}

void Connection::ExecuteScript(const QString& sql)
{
    sqlite3* db = Handle();
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(error != nullptr ? error : sqlite3_errstr(rc));
        sqlite3_free(error);
        throw DbError(sqlite3_extended_errcode(db), message);
    }
}

qint64 Connection::LastInsertId() const
{
    return sqlite3_last_insert_rowid(Handle());
}

QString Connection::ChangeStamp()
{
    qint64 version = 0;
    ForEachRow(QStringLiteral("PRAGMA data_version"), {}, [&](const RowView& row) { version = row.Integer(0); });
    return QStringLiteral("%1:%2:%3").arg(m_opening).arg(sqlite3_total_changes(Handle())).arg(version);
}

bool Connection::InTransaction() const
{
    return sqlite3_get_autocommit(Handle()) == 0;
}

bool Connection::HasTable(const char* name)
{
    return HasSchemaObject("table", name);
}

bool Connection::HasIndex(const char* name)
{
    return HasSchemaObject("index", name);
}

bool Connection::HasSchemaObject(const char* type, const char* name)
{
    // Asked of the file, not of the schema this connection read last: another connection may
    // have added it since.
    bool found = false;
    ForEachRow(QStringLiteral("Select 1 From main.sqlite_master Where type = ? And name = ?"),
               {QString::fromLatin1(type), QString::fromLatin1(name)}, [&](const RowView&) { found = true; });
    return found;
}

void Connection::Announce()
{
    // Every opening is announced, so an observer added while the book is open hears of its closing.
    m_announced = true;
    for (const auto& observer : m_observers) {
        observer(*this, true);
    }
}

void Connection::SetOpenObserver(std::function<void(Connection&, bool opened)> observer)
{
    m_observers.clear();
    AddOpenObserver(std::move(observer));
}

void Connection::AddOpenObserver(std::function<void(Connection&, bool opened)> observer)
{
    if (observer) {
        m_observers.push_back(std::move(observer));
    }
}

int Connection::Changes() const
{
    return sqlite3_changes(Handle());
}

PreparedStatement::PreparedStatement(Connection& conn, const QString& sql) : m_conn(conn)
{
    sqlite3* db = conn.Handle();
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &m_stmt, nullptr) != SQLITE_OK) {
        conn.Throw(sqlite3_extended_errcode(db));
    }
    if (m_stmt == nullptr) {
        throw DbError(SQLITE_MISUSE, QStringLiteral("The statement is empty."));
    }
}

PreparedStatement::~PreparedStatement()
{
    sqlite3_finalize(m_stmt);
}

void PreparedStatement::Bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_stmt, index, value);
}

void PreparedStatement::Bind(int index, QByteArrayView utf8)
{
    // The engine takes a null pointer for Null; an empty text stays an empty text.
    sqlite3_bind_text(m_stmt, index, utf8.isEmpty() ? "" : utf8.data(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
}

void PreparedStatement::BindUntilRun(int index, QByteArrayView utf8)
{
    sqlite3_bind_text(m_stmt, index, utf8.isEmpty() ? "" : utf8.data(), static_cast<int>(utf8.size()), SQLITE_STATIC);
}

void PreparedStatement::BindNull(int index)
{
    sqlite3_bind_null(m_stmt, index);
}

void PreparedStatement::Run()
{
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW) {
        rc = sqlite3_step(m_stmt);
    }
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE) {
        m_conn.Throw(rc);
    }
}

LargeWriteCache::LargeWriteCache(Connection& conn, qint64 kib) : m_conn(conn)
{
    m_conn.ForEachRow(QStringLiteral("PRAGMA cache_size"), {},
                      [this](const RowView& row) { m_before = row.Integer(0); });
    if (m_before < 0 && -m_before < kib) {
        m_conn.Execute(QStringLiteral("PRAGMA cache_size = -%1").arg(kib));
    } else {
        m_before = 0; // large enough already, or counted in pages: left as it is
    }
}

LargeWriteCache::~LargeWriteCache()
{
    if (m_before != 0 && m_conn.IsOpen()) {
        try {
            m_conn.Execute(QStringLiteral("PRAGMA cache_size = %1").arg(m_before));
        } catch (...) { // NOLINT(bugprone-empty-catch): a larger cache is no fault
        }
    }
}

Transaction::Transaction(Connection& conn) : m_conn(conn)
{
    m_conn.Execute(QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction()
{
    if (!m_done && m_conn.IsOpen()) {
        try {
            m_conn.Execute(QStringLiteral("ROLLBACK"));
        } catch (...) { // NOLINT(bugprone-empty-catch): nothing more can be done while unwinding
        }
    }
}

void Transaction::Commit()
{
    m_conn.Execute(QStringLiteral("COMMIT"));
    m_done = true;
}

bool Transaction::CommitUnlessRead()
{
    sqlite3* db = m_conn.Handle();
    sqlite3_busy_handler(db, nullptr, nullptr);
    const auto waitAgain = qScopeGuard([db] { sqlite3_busy_handler(db, WaitForLock, nullptr); });
    try {
        Commit();
    } catch (const DbError& error) {
        if ((error.Number() & 0xFF) == SQLITE_BUSY) {
            return false;
        }
        throw;
    }
    return true;
}

Statement::Statement(Connection& conn, const QString& sql) : m_conn(conn), m_stmt(conn.PrepareUnbound(sql)) {}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::Execute(const QVariantList& params)
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    Connection::BindAll(m_stmt, params);
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW) {
        rc = sqlite3_step(m_stmt);
    }
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE) {
        m_conn.Throw(sqlite3_extended_errcode(m_conn.Handle()));
    }
}
