#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

struct sqlite3;
struct sqlite3_stmt;

// The program's database password. It is part of the file format: every address book, backup
// and compacted copy is keyed with it.
inline constexpr char DatabasePassword[] = "torbek";

// The connection string for the address book below appFolder: "Data Source=<folder>Datas/
// address.mdb;Database Password=torbek".
QString BuildConnectionString(const QString& appFolder);
// The connection string for any database file, keyed with the program's password.
QString ConnectionStringForFile(const QString& path);

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
    // Fails when the file exists already.
    void Create(const QString& connectionString);
    void Close() noexcept;
    bool IsOpen() const { return m_db != nullptr; }

    // The file named by the connection string's data source.
    QString DatabasePath() const { return m_path; }

    // Runs one statement; values in params are bound to its '?' placeholders in order.
    void Execute(const QString& sql, const QVariantList& params = {});
    // Runs a script of several statements (the schema).
    void ExecuteScript(const QString& sql);
    // Steps through every row of a query and touches every value, keeping nothing: the bare
    // read that the program's own reading is measured against. Returns the bytes read.
    qint64 Scan(const QString& sql, const QVariantList& params = {});
    // The key of the row the last insert added.
    qint64 LastInsertId() const;
    // Rows changed by the last statement.
    int Changes() const;

    sqlite3* Handle() const;

    // Internal: a prepared statement with params bound, for Recordset.
    sqlite3_stmt* Prepare(const QString& sql, const QVariantList& params) const;
    sqlite3_stmt* PrepareUnbound(const QString& sql) const;
    [[noreturn]] void Throw(int code) const;
    // Internal: binds params to a prepared statement's placeholders, checking their number.
    static void BindAll(sqlite3_stmt* stmt, const QVariantList& params);

private:
    void OpenFile(bool create);

    sqlite3* m_db = nullptr;
    QString m_path;
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

private:
    Connection& m_conn;
    bool m_done = false;
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
