// The data store on real SQLCipher files: connection, schema, recordsets and every statement.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "core/Errors.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/RecordPurge.h"
#include "store/Recordset.h"
#include "tests/support/Book.h"

using namespace Qt::StringLiterals;
using namespace Book;

namespace {

template <typename F> std::optional<DbError> DbErrorOf(F&& f)
{
    try {
        f();
    } catch (const DbError& e) {
        return e;
    }
    return std::nullopt;
}

// One column of every row (the key, for every statement here), Null as -1.
QList<qint64> Keys(Recordset& rs, int column = 0)
{
    QList<qint64> keys;
    for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext()) {
        keys.append(rs.IsNull(column) ? -1 : rs.Integer(column));
    }
    return keys;
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_templateDir; // holds an empty address book, copied for every test
    std::optional<QTemporaryDir> m_dir;
    QString m_dbPath;
    Connection m_conn;

private slots:
    void initTestCase() { CreateDatabase(m_templateDir.filePath(u"address.mdb"_s)); }
    void init()
    {
        QVERIFY(m_dir.emplace().isValid());
        m_dbPath = m_dir->filePath(u"address.mdb"_s);
        QVERIFY(QFile::copy(m_templateDir.filePath(u"address.mdb"_s), m_dbPath));
        m_conn.Open(ConnectionStringForFile(m_dbPath));
    }
    void cleanup() { m_conn.Close(); }

    void unusableFile_data() { AddRows(u"store.txt"_s); }
    // A file that is no address book of ours fails to open; neither opening it nor creating an
    // address book over it, or over a real one, changes a byte or leaves a file behind.
    void unusableFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, key);
        QFETCH(QStringList, codes);
        if (content.startsWith('<')) {
            content = content == "<text>" ? QByteArray("Name;Phone\nAnn;555-0100\n").repeated(100)
                                          : ReadFile(m_templateDir.filePath(u"address.mdb"_s)).left(1024);
        }
        const QString path = m_dir->filePath(u"unusable.mdb"_s);
        QVERIFY(content.isNull() || WriteFile(path, content));
        if (!key.isNull()) {
            AddRecord(AddType(u"Friends"_s, {}, &m_conn), u"Ann"_s, {}, &m_conn);
            m_conn.Execute(u"Attach Database ? As other Key ?"_s, {path, key});
            m_conn.Execute(u"Select sqlcipher_export('other')"_s);
            m_conn.Execute(u"Detach Database other"_s);
            QCOMPARE(ReadFile(path).startsWith("SQLite format 3"), key.isEmpty());
        }
        m_conn.Close();
        const QByteArray before = ReadFile(path) + ReadFile(m_dbPath);
        const QStringList files = Entries(m_dir->path());
        Connection conn;
        if (const auto error = DbErrorOf([&] { conn.Open(ConnectionStringForFile(path)); })) {
            QVERIFY2(codes.contains(QString::number(error->Number())) ||
                         codes.contains(QString::number(error->Number() & 0xff)),
                     qPrintable(error->Description()));
            QVERIFY(!conn.IsOpen() && !error->Description().isEmpty());
        } else {
            QVERIFY2(codes.isEmpty(), "opened a file that is no address book");
            QCOMPARE(MissingSchemaObjects(conn), u"PWDTable PWDType Users VPWDTable VPWDType"_s.split(u' '));
        }
        conn.Close();
        QVERIFY_THROWS_EXCEPTION(AppError, CreateDatabase(content.isNull() ? m_dbPath : path));
        QCOMPARE(ReadFile(path) + ReadFile(m_dbPath), before);
        QCOMPARE(Entries(m_dir->path()), files);
    }

    // A new address book: keyed, built under another name, its path quoted in the connection string.
    void createDatabase()
    {
        const QString folder = m_dir->filePath(u"x\";Data Source=y\"\";"_s) + u'/';
        const QString path = folder + u"Datas/address.mdb"_s;
        QVERIFY(QDir().mkpath(folder + u"Datas"_s));
        CreateDatabase(path);
        QVERIFY(!ReadFile(path).startsWith("SQLite format 3"));                // not even the header is readable
        QCOMPARE(Entries(folder + u"Datas"_s), QStringList{u"address.mdb"_s}); // no work file is left
        Connection conn;
        conn.Open(BuildConnectionString(folder));
        QCOMPARE(ConnectionStringValue(BuildConnectionString(folder), u"Source"_s), QString()); // whole keys only
        QCOMPARE(MissingSchemaObjects(conn), QStringList());
        // Any SQLCipher client must be able to read the schema, so it names no collation of ours.
        Recordset rs;
        rs.Open(u"Select count(*) From sqlite_master Where sql Like '%TEXTNOCASE%'"_s, conn);
        QCOMPARE(rs.Integer(0), 0);
        for (const QString& columns :
             {u"PWDTable PWDID Name TypeNo F_Phone1 F_MobilePhone1 C_Phone1 EMailList QQ MSN ICQ Url"_s,
              u"PWDType TypeNo TypeName Description"_s, u"Users UserName Password Question Answer"_s,
              u"VPWDTable PWDID Name TypeNo TypeName F_Phone1 F_MobilePhone1 C_Phone1 EMailList QQ MSN ICQ Url"_s,
              u"VPWDType TypeNo TypeName Description RecCnt"_s}) {
            QString actual = columns.section(u' ', 0, 0);
            rs.Open(u"Select * From "_s + actual + u" Where 0"_s, conn);
            for (int c = 0; c < rs.FieldCount(); ++c) {
                actual += u' ' + rs.FieldName(c);
            }
            QCOMPARE(actual, columns);
        }
    }

    void writesThroughRecordset_data() { AddRows(u"store.txt"_s); }
    // Added rows get keys readable after Update and never reused, Null kept apart from ""; an edit
    // changes its own row only and fails once the row is gone; other lock types refuse writes.
    void writesThroughRecordset()
    {
        QFETCH(bool, record);
        const QString table = record ? u"PWDTable"_s : u"PWDType"_s;
        const QString name = record ? u"NAME"_s : u"typename"_s; // in another case than the schema
        const QString optional = record ? u"Url"_s : u"Description"_s;
        const auto open = [&](Recordset& rs, qint64 key) {
            record ? OpenRecordForWrite(rs, m_conn, key) : OpenType(rs, m_conn, key, LockType::Optimistic);
        };
        const auto add = [&](const QString& value, const QVariant& other) {
            Recordset rs;
            open(rs, -1);
            rs.AddNew();
            rs.SetValue(name, value);
            rs.SetValue(optional, other);
            rs.Update();
            return rs.Integer(0);
        };
        const QList<qint64> keys{add(u"first"_s, QVariant()), add(u"second"_s, QString()), add(u"third"_s, u" "_s)};
        QVERIFY(keys[0] > 0 && keys[1] > keys[0] && keys[2] > keys[1]);
        Recordset rs;
        rs.Open(u"Select group_concat(quote(%1)) From %2"_s.arg(optional, table), m_conn);
        QCOMPARE(rs.Text(0), u"NULL,'',' '"_s);
        QStringList expected = Dump(&m_conn);
        for (const LockType lock : {LockType::ReadOnly, LockType::Unspecified}) {
            rs.Open(u"Select * From "_s + table, m_conn, lock);
            QVERIFY(DbErrorOf([&] { rs.AddNew(); }) && DbErrorOf([&] { rs.SetValue(name, u"x"_s); }) &&
                    DbErrorOf([&] { rs.Update(); }));
        }
        QCOMPARE(Dump(&m_conn), expected);
        open(rs, keys[1]);
        QVERIFY(rs.Text(name) == u"second"_s && !rs.IsNull(optional) && rs.Text(optional).isEmpty());
        rs.SetValue(name, u"it's changed"_s);
        rs.Update();
        QCOMPARE(rs.Integer(0), keys[1]);
        QCOMPARE(Dump(&m_conn), expected.replaceInStrings(u"[second]"_s, u"[it's changed]"_s));
        const auto remove = record ? &DeleteRecord : &DeleteType;
        remove(m_conn, keys[1]);
        expected = Dump(&m_conn);
        rs.SetValue(name, u"again"_s);
        QVERIFY(DbErrorOf([&] { rs.Update(); }));
        QCOMPARE(Dump(&m_conn), expected);
        remove(m_conn, keys[2]);
        QVERIFY(add(u"fourth"_s, {}) > keys[2]); // not the free key after the largest left
    }

    void userLogin_data() { AddRows(u"store.txt"_s); }
    void userLogin()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(bool, found);
        InsertUser(m_conn, u"Ann O'Neil"_s, u"pa'ss; --"_s, u"First pet?"_s, u"Rex"_s);
        InsertUser(m_conn, u"admin"_s, u"other"_s, u"q"_s, u"a"_s);
        Recordset rs;
        OpenUserByLogin(rs, m_conn, name, password);
        QCOMPARE(rs.RecordCount(), found ? 1 : 0);
    }

    void namedExcept_data() { AddRows(u"store.txt"_s); }
    // Finds the other rows of the same name, for the editors' duplicate warnings.
    void namedExcept()
    {
        QFETCH(bool, record);
        QFETCH(QString, stored);
        QFETCH(QString, probe);
        QFETCH(bool, same);
        const qint64 typeNo = AddType(record ? u"Friends"_s : stored, {}, &m_conn);
        const QList<qint64> keys =
            record ? QList<qint64>{AddRecord(typeNo, stored, {}, &m_conn), AddRecord(typeNo, stored, {}, &m_conn)}
                   : QList<qint64>{typeNo, AddType(stored, {}, &m_conn)};
        const QStringList before = Dump(&m_conn);
        const auto open = record ? &OpenRecordsNamedExcept : &OpenTypesNamedExcept;
        Recordset rs;
        open(rs, m_conn, probe, keys[0]);
        QCOMPARE(Keys(rs), same ? QList<qint64>{keys[1]} : QList<qint64>());
        open(rs, m_conn, probe, -1);
        QCOMPARE(Keys(rs), same ? keys : QList<qint64>());
        QCOMPARE(Dump(&m_conn), before); // nothing in the name ran as a statement
    }

    void transaction_data() { AddRows(u"store.txt"_s); }
    // The main window's statements change one row each and stand or fall together. The views count
    // an empty type as 0 and list a record whose type is gone, without its name, counting it nowhere.
    void transaction()
    {
        QFETCH(QString, failing);
        QFETCH(bool, commit);
        const qint64 friends = AddType(u"Friends"_s, {}, &m_conn);
        const qint64 empty = AddType(u"Empty"_s, {}, &m_conn);
        const QList<qint64> records{AddRecord(friends, u"Ann"_s, {}, &m_conn), AddRecord(999, u"Lost"_s, {}, &m_conn),
                                    AddRecord(friends, u"Bob"_s, {}, &m_conn)};
        qint64 work = -1;
        const auto change = [&] {
            Transaction transaction(m_conn);
            MoveRecordToType(m_conn, records[0], work = AddType(u"Work"_s, {}, &m_conn));
            DeleteType(m_conn, friends);
            DeleteRecord(m_conn, records[1]);
            if (!failing.isEmpty()) {
                m_conn.Execute(failing);
            }
            if (commit) {
                transaction.Commit();
            }
        };
        const auto error = DbErrorOf(change);
        QTEST(error ? error->Number() : 0, "code");
        const QList<qint64> counts = commit ? QList<qint64>{empty, work, 0, 1} : QList<qint64>{friends, empty, 2, 0};
        const QList<qint64> kept = commit ? QList<qint64>{records[0], records[2], work, friends}
                                          : records + QList<qint64>{friends, 999, friends};
        for (int pass = 0; pass < 2; ++pass) { // this connection, which sees what is left pending; the file
            Recordset rs;
            OpenTypeCounts(rs, m_conn);
            QCOMPARE(Keys(rs) + Keys(rs, rs.FieldIndex(u"RecCnt")), counts);
            OpenAllRecords(rs, m_conn);
            QCOMPARE(Keys(rs) + Keys(rs, rs.FieldIndex(u"TypeNo")), kept);
            OpenRecordView(rs, m_conn, records[2]);
            QVERIFY(Decrypt(rs.Text(u"Name")) == u"Bob"_s && rs.IsNull(u"TypeName") == commit);
            m_conn.Open(ConnectionStringForFile(m_dbPath));
        }
    }

    // A read that meets another connection's commit waits for it and then sees what it wrote;
    // a write that meets another connection's read waits until the read is over.
    void waitsForAnotherConnection()
    {
        const qint64 friends = AddType(u"Friends"_s, {}, &m_conn);
        Connection other;
        other.Open(ConnectionStringForFile(m_dbPath));
        std::promise<void> locked;
        std::thread writer([&] {
            other.Execute(u"BEGIN EXCLUSIVE"_s);
            AddRecord(friends, u"Ann"_s, {}, &other);
            locked.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            other.Execute(u"COMMIT"_s);
        });
        locked.get_future().wait();
        const auto read = DbErrorOf([&] { QCOMPARE(CountRecords(m_conn, friends), 1); });
        writer.join();
        QVERIFY2(!read, read ? qPrintable(read->Description()) : "");

        std::promise<void> reading;
        std::thread reader([&] {
            other.Execute(u"BEGIN"_s);
            QCOMPARE(CountRecords(other, friends), 1);
            reading.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            other.Execute(u"COMMIT"_s);
        });
        reading.get_future().wait();
        const auto write = DbErrorOf([&] { AddRecord(friends, u"Bob"_s, {}, &m_conn); });
        reader.join();
        QVERIFY2(!write, write ? qPrintable(write->Description()) : "");
        QCOMPARE(CountRecords(other, friends), 2);
    }

    // Large books are read in two halves at once; the rows come whole and in key order either
    // way, and writes not yet committed are seen.
    void recordColumnsInKeyOrder()
    {
        for (const qint64 id : {5, 300000, 150003, 150002, 1}) {
            m_conn.Execute(u"INSERT INTO PWDTable (PWDID, Name, EMailList) VALUES (?, ?, ?)"_s,
                           {id, Encrypt(QString::number(id)), QString::number(id * 2)});
        }
        for (const bool pending : {false, true}) {
            std::optional<Transaction> transaction;
            if (pending) {
                transaction.emplace(m_conn);
                m_conn.Execute(u"DELETE FROM PWDTable WHERE PWDID = 150002"_s);
            }
            QStringList rows;
            ReadRecordColumns(m_conn, u"Name"_s, u"EMailList"_s, [&](qint64 id, QByteArrayView a, QByteArrayView b) {
                rows.append(u"%1 %2 %3"_s.arg(id).arg(Decrypt(a), QString::fromLatin1(b)));
            });
            QStringList phones;
            ReadRecordColumn(m_conn, -1, u"EMailList"_s, [&](qint64 id, QByteArrayView b) {
                phones.append(u"%1 %2"_s.arg(id).arg(QString::fromLatin1(b)));
            });
            const QStringList expected =
                pending ? QStringList{"1 1 2", "5 5 10", "150003 150003 300006", "300000 300000 600000"}
                        : QStringList{"1 1 2", "5 5 10", "150002 150002 300004", "150003 150003 300006",
                                      "300000 300000 600000"};
            QCOMPARE(rows, expected);
            QCOMPARE(phones.size(), expected.size());
            QVERIFY(phones.contains(u"300000 600000"_s));
            // Each reader's rows to their own taker as they are read, the second's on a thread of
            // its own, above the first's, in runs of ascending keys each below the one before; in
            // a transaction, all to the first.
            std::vector<qint64> lower;
            std::vector<qint64> upper;
            std::vector<std::vector<qint64>> runs;
            const auto lowerThread = std::this_thread::get_id();
            bool upperElsewhere = true;
            ReadAllRecordsColumn(
                m_conn, u"EMailList"_s, [&](qint64 id, QByteArrayView) { lower.push_back(id); },
                [&](qint64 id, QByteArrayView) {
                    upperElsewhere = upperElsewhere && std::this_thread::get_id() != lowerThread;
                    if (upper.empty() || id < upper.back()) {
                        runs.emplace_back();
                    }
                    upper.push_back(id);
                    runs.back().push_back(id);
                });
            QVERIFY(upperElsewhere);
            QVERIFY(std::is_sorted(lower.begin(), lower.end()));
            std::vector<qint64> all = lower;
            for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
                QVERIFY(std::is_sorted(run->begin(), run->end()));
                all.insert(all.end(), run->begin(), run->end());
            }
            QVERIFY(std::is_sorted(all.begin(), all.end()));
            QCOMPARE(all.size(), std::size_t(phones.size()));
            if (pending) {
                QVERIFY(upper.empty());
            }
        }
    }

    // The readers of a large book's two halves stay open beside the connection, so the next read
    // does not derive the key again, yet it sees every commit made since; they close with it.
    void halvesReadersKept()
    {
        const auto add = [&](qint64 id) {
            m_conn.Execute(u"INSERT INTO PWDTable (PWDID, Name, EMailList) VALUES (?, ?, ?)"_s,
                           {id, Encrypt(QString::number(id)), QString::number(id)});
        };
        const auto read = [&] {
            QStringList rows;
            ReadRecordColumn(m_conn, -1, u"EMailList"_s, [&](qint64 id, QByteArrayView b) {
                rows.append(u"%1 %2"_s.arg(id).arg(QString::fromLatin1(b)));
            });
            return rows;
        };
        const auto opening = [&](std::size_t which) { return m_conn.Spare(which).ChangeStamp().section(u':', 0, 0); };
        add(1);
        add(300000);
        QCOMPARE(read(), (QStringList{u"1 1"_s, u"300000 300000"_s}));
        const QStringList openings{opening(0), opening(1)};
        add(150000);
        m_conn.Execute(u"UPDATE PWDTable SET EMailList = 'x' WHERE PWDID = 300000"_s);
        QCOMPARE(read(), (QStringList{u"1 1"_s, u"150000 150000"_s, u"300000 x"_s}));
        QCOMPARE((QStringList{opening(0), opening(1)}), openings);

        m_conn.Close();
        QVERIFY(!m_conn.Spare(0).IsOpen() && !m_conn.Spare(1).IsOpen());
        m_conn.Open(ConnectionStringForFile(m_dbPath));
        QCOMPARE(read().size(), 3);
        QVERIFY(opening(0) != openings[0]);
    }

    // Every connection after the first to a book is keyed without deriving its key again. A book
    // replaced at the same path (a restore), a book of older pages and a passphrase changed
    // meanwhile still open with exactly the right passphrase, and every other one is refused.
    void keyDerivedOnce()
    {
        constexpr int NotABook = 26; // SQLite's SQLITE_NOTADB
        const auto count = [](const QString& path, const QString& passphrase) -> QVariant {
            Connection conn;
            if (const auto error = DbErrorOf([&] { conn.Open(ConnectionStringForFile(path, passphrase)); })) {
                return error->Number() & 0xff;
            }
            return u"%1 rows, pages of %2"_s.arg(CountRecords(conn, std::nullopt)).arg(conn.PageSize());
        };
        const QString passphrase = BookPassphrase();
        AddRecord(AddType(u"Friends"_s, {}, &m_conn), u"Ann"_s, {}, &m_conn);
        QCOMPARE(count(m_dbPath, passphrase), u"1 rows, pages of 4096"_s);
        QCOMPARE(count(m_dbPath, passphrase), u"1 rows, pages of 4096"_s);
        QCOMPARE(count(m_dbPath, u"wrong"_s), NotABook);
        m_conn.Close();

        // Another book copied over the first: another salt, so another key.
        const QString other = m_dir->filePath(u"other.mdb"_s);
        {
            Connection old;
            old.Create(ConnectionStringForFile(other), 1024);
            old.ExecuteScript(SchemaScript());
            const qint64 work = AddType(u"Work"_s, {}, &old);
            AddRecord(work, u"Bo"_s, {}, &old);
            AddRecord(work, u"Cy"_s, {}, &old);
        }
        QCOMPARE(count(other, passphrase), u"2 rows, pages of 1024"_s);
        QVERIFY(QFile::remove(m_dbPath) && QFile::copy(other, m_dbPath));
        QCOMPARE(count(m_dbPath, passphrase), u"2 rows, pages of 1024"_s);

        {
            Connection conn;
            conn.Open(ConnectionStringForFile(m_dbPath));
            conn.Execute(u"PRAGMA rekey = 'changed'"_s);
        }
        QCOMPARE(count(m_dbPath, passphrase), NotABook);
        QCOMPARE(count(m_dbPath, u"changed"_s), u"2 rows, pages of 1024"_s);
        QCOMPARE(count(m_dbPath, u"changed"_s), u"2 rows, pages of 1024"_s);
        QCOMPARE(count(other, u"changed"_s), NotABook);
        QCOMPARE(count(other, passphrase), u"2 rows, pages of 1024"_s);
    }

    // A type's names are read from the index of types alone, which a book of an earlier version
    // is given in place of its narrower one, and which every kind of write keeps: the listing of
    // each type stays what a read of the whole table finds.
    void typeNamesIndex()
    {
        m_conn.Execute(u"DROP INDEX PWDTable_TypeName"_s);
        m_conn.Execute(u"CREATE INDEX PWDTable_TypeNo ON PWDTable (TypeNo, PWDID)"_s);
        AddMissingIndexes(m_conn);
        AddMissingIndexes(m_conn); // an up-to-date book is left as it is
        Recordset rs;
        rs.Open(u"Select group_concat(name, ' ') From sqlite_master Where type = 'index' And tbl_name = 'PWDTable'"_s,
                m_conn);
        QStringList indexes = rs.Text(0).split(u' ', Qt::SkipEmptyParts);
        indexes.sort();
        QCOMPARE(indexes, (QStringList{u"PWDTable_Name"_s, u"PWDTable_TypeName"_s}));
        // Listing a type touches no row of the table, and a type's records come in key order
        // without being sorted.
        for (const auto& [query, plan] : {std::pair{u"Select PWDID, Name From PWDTable Where TypeNo = 2"_s,
                                                    u"COVERING INDEX PWDTable_TypeName (TypeNo=?)"_s},
                                          std::pair{u"Select * From PWDTable Where TypeNo = 2 Order By PWDID"_s,
                                                    u"INDEX PWDTable_TypeName (TypeNo=?)"_s}}) {
            QStringList steps;
            m_conn.ForEachRow(u"EXPLAIN QUERY PLAN "_s + query, {},
                              [&](const RowView& row) { steps.append(QString::fromUtf8(row.Bytes(3))); });
            QVERIFY2(steps.size() == 1 && steps[0].endsWith(plan), qPrintable(steps.join(u" / "_s)));
        }

        const qint64 friends = AddType(u"Friends"_s, {}, &m_conn);
        const qint64 work = AddType(u"Work"_s, {}, &m_conn);
        QList<qint64> ids;
        for (int i = 0; i < 40; ++i) {
            ids.append(AddRecord(i % 3 == 0 ? work : friends, u"Person %1"_s.arg(i), {}, &m_conn));
        }
        {
            RecordInserter inserter(m_conn);
            const QByteArray name = Encrypt(u"Imported"_s).toLatin1();
            inserter.Insert(work, {name, {}, {}, {}, {}, {}, {}, {}}, {});
        }
        // Bulk moves and deletes reach the rows through the purger's steps.
        MarkRecordsMoved(m_conn, ids.mid(0, 15), work);
        MarkRecordsDeleted(m_conn, ids.mid(10, 10));
        QVERIFY(PurgePending(m_conn));
        MoveRecordToType(m_conn, ids[30], friends);
        DeleteRecord(m_conn, ids[31]);
        m_conn.Execute(u"UPDATE PWDTable SET Name = ? WHERE PWDID = ?"_s, {Encrypt(u"Renamed"_s), ids[35]});

        for (const qint64 type : {friends, work, qint64(99)}) {
            QStringList listed;
            ReadRecordColumn(m_conn, type, u"Name"_s, [&](qint64 id, QByteArrayView cipher) {
                listed.append(u"%1 %2"_s.arg(id).arg(Decrypt(cipher)));
            });
            QStringList expected;
            m_conn.ForEachRow(u"Select PWDID, Name From PWDTable Not Indexed Where TypeNo = ?"_s, {type},
                              [&](const RowView& row) {
                                  expected.append(u"%1 %2"_s.arg(row.Integer(0)).arg(Decrypt(row.Bytes(1))));
                              });
            listed.sort();
            expected.sort();
            QCOMPARE(listed, expected);
        }
        rs.Open(u"PRAGMA integrity_check"_s, m_conn);
        QCOMPARE(rs.Text(0), u"ok"_s);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
