#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The program's database password. It is part of the file format: every address book, backup
// and compacted copy is keyed with it.
inline constexpr char DatabasePassword[] = "torbek";

// The page size new books and compacted copies are written with. Every page is deciphered and
// checked on its own, so larger pages read a book faster; 4,096 bytes read a full book of
// contacts about 1.7 times faster than the engine's old 1,024 (bench_scale's BM_BareRead_PageSize),
// larger pages gain little more and make every small write rewrite more.
inline constexpr int NewBookPageSize = 4096;

// The connection string for the address book below appFolder: "Data Source=<folder>Datas/
// address.mdb;Database Password=torbek".
QString BuildConnectionString(const QString& appFolder);
// The connection string for any database file, keyed with the passphrase in force.
QString ConnectionStringForFile(const QString& path);
QString ConnectionStringForFile(const QString& path, const QString& passphrase);

// The passphrase address books are keyed with in this process: the program's own password unless
// the user has protected the book with theirs. Backups, compacted copies and restores use it.
QString BookPassphrase();
void SetBookPassphrase(const QString& passphrase);

// One row of a query as it passes: valid only while the callback that receives it runs.
class RowView
{
public:
    explicit RowView(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    qint64 Integer(int column) const;
    // The raw bytes of a text value; empty for Null.
    QByteArrayView Bytes(int column) const;

private:
    sqlite3_stmt* m_stmt;
};

// The one connection to a password-protected SQLCipher file. Opening never creates a file: a
// missing file is an error. Every failure throws DbError with SQLite's extended result code.
class Connection
{
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QString ConnectionString;

    void Open(); // with ConnectionString
    void Open(const QString& connectionString);
    // Creates the file named by the connection string, keyed with its password, and opens it.
    // Fails when the file exists already. Its pages will be pageSize bytes.
    void Create(const QString& connectionString, int pageSize = NewBookPageSize);
    void Close() noexcept;
    bool IsOpen() const { return m_db != nullptr; }

    // The file named by the connection string's data source.
    QString DatabasePath() const { return m_path; }
    // The size of the open file's pages: books keep the size they were written with.
    int PageSize() const { return m_pageSize; }

    // Runs one statement; values in params are bound to its '?' placeholders in order.
    void Execute(const QString& sql, const QVariantList& params = {});
    // Runs a script of several statements (the schema).
    void ExecuteScript(const QString& sql);
    // Steps through every row of a query and touches every value, keeping nothing: the bare
    // read that the program's own reading is measured against. Returns the bytes read.
    qint64 Scan(const QString& sql, const QVariantList& params = {});
    // Runs a query and hands each row to row as it is read, keeping none: for reading many rows
    // without holding them twice.
    void ForEachRow(const QString& sql, const QVariantList& params, const std::function<void(const RowView&)>& row);
    // The key of the row the last insert added.
    qint64 LastInsertId() const;
    // Differs whenever the book may have changed: a write on this connection, a commit by any
    // other, the connection reopened.
    QString ChangeStamp();
    // True while a transaction is open on this connection: other connections do not see its writes.
    bool InTransaction() const;
    // Rows changed by the last statement.
    int Changes() const;
    // Whether the open book has a table, or an index, of that name.
    bool HasTable(const char* name);
    bool HasIndex(const char* name);
    // Called after every opening and before every closing of this connection (opened true, then
    // false), so work tied to the book can follow it when it is closed, replaced and reopened.
    // SetOpenObserver makes observer the only one (none when empty); AddOpenObserver adds one.
    void SetOpenObserver(std::function<void(Connection&, bool opened)> observer);
    void AddOpenObserver(std::function<void(Connection&, bool opened)> observer);

    // A second connection to the same book beside this one, for a part of a long read on another
    // thread; which tells them apart. It comes closed the first time (the caller opens it as it
    // needs it), then stays open while this connection does, so each long read does not derive
    // the book's key again; it is closed with this connection, and comes closed again once this
    // connection is keyed otherwise. Each is for one thread at a time; ask for them before the
    // threads start.
    Connection& Spare(std::size_t which);
    sqlite3* Handle() const;

    // Internal: a prepared statement with params bound, for Recordset.
    sqlite3_stmt* Prepare(const QString& sql, const QVariantList& params) const;
    sqlite3_stmt* PrepareUnbound(const QString& sql) const;
    [[noreturn]] void Throw(int code) const;
    // Internal: binds params to a prepared statement's placeholders, checking their number.
    static void BindAll(sqlite3_stmt* stmt, const QVariantList& params);

private:
    bool HasSchemaObject(const char* type, const char* name);
    void OpenFile(bool create);
    // Opens and keys the file with one page size; throws when its pages do not read with it. key
    // is the passphrase, or the raw key derived from it.
    void OpenWithPageSize(const QString& path, const QByteArray& key, int flags, int pageSize);

    sqlite3* m_db = nullptr;
    QString m_path;
    int m_pageSize = NewBookPageSize;
    quint64 m_opening = 0; // which opening of any connection this one is
    void Announce();

    std::vector<std::function<void(Connection&, bool)>> m_observers;
    bool m_announced = false; // the observers were told of this opening
    std::vector<std::unique_ptr<Connection>> m_spares;
};

// One statement prepared once and run many times with other values: the bulk writes (delete,
// move, import) would otherwise spend more time preparing than writing.
class PreparedStatement
{
public:
    PreparedStatement(Connection& conn, const QString& sql);
    ~PreparedStatement();
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    // Binds a value to the placeholder at index (from 1): a number, text as UTF-8 bytes, Null.
    void Bind(int index, qint64 value);
    void Bind(int index, QByteArrayView utf8);
    // The same without a copy, for bulk inserts: the bytes must stay in place until Run, and the
    // placeholder be bound again before the next Run.
    void BindUntilRun(int index, QByteArrayView utf8);
    void BindNull(int index);
    // Runs the statement to its end and makes it ready for the next values.
    void Run();

private:
    Connection& m_conn;
    sqlite3_stmt* m_stmt = nullptr;
};

// Statements of one write that belong together: committed by Commit(), rolled back if the scope
// ends without it.
class Transaction
{
public:
    explicit Transaction(Connection& conn);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();
    // Commits unless a reader holds the book, without waiting for it: false then, and the
    // transaction stays open (its end rolls it back). A commit that waits keeps every new reader
    // out until the readers before it end, however long their reads are.
    bool CommitUnlessRead();

private:
    Connection& m_conn;
    bool m_done = false;
};

// For one large write: the cache may grow to hold every page the write changes, so no page is
// spilled (enciphered and written, then written again) before the commit. The cache's own size
// comes back when the scope ends.
class LargeWriteCache
{
public:
    LargeWriteCache(Connection& conn, qint64 kib);
    ~LargeWriteCache();
    LargeWriteCache(const LargeWriteCache&) = delete;
    LargeWriteCache& operator=(const LargeWriteCache&) = delete;

private:
    Connection& m_conn;
    qint64 m_before = 0;
};

// One statement prepared once and run many times with new values: work on many rows pays for the
// parsing once, not once per row.
class Statement
{
public:
    Statement(Connection& conn, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds params to the '?' placeholders in order and runs the statement to its end; it is
    // ready for the next values afterwards, also after a failure.
    void Execute(const QVariantList& params);

private:
    Connection& m_conn;
    sqlite3_stmt* m_stmt = nullptr;
};

// Parses "key=value;key=value", where a value may be wrapped in double quotes ("" inside them
// stands for one quote). Keys are matched without regard to case.
QString ConnectionStringValue(const QString& connectionString, const QString& key);

// The one connection every statement of the program runs on, from start-up to the end.
extern Connection Conn;
