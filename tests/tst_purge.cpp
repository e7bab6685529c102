// Deleting and moving contacts by marks written at once and rows written later in the background:
// every reader sees the result from the first moment, the purge changes nothing anyone reads, a
// purge killed half-way resumes, and a book closed, backed up, compacted or restored holds no marks.
#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTreeWidget>
#include <QtTest>

#include <optional>
#include <sqlite3.h>

#include "app/Application.h"
#include "core/AppState.h"
#include "core/Errors.h"
#include "exchange/ContactExchange.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/BookRows.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Maintenance.h"
#include "store/RecordPurge.h"
#include "store/Recordset.h"
#include "store/SyncTables.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"

using namespace Qt::StringLiterals;

namespace {

qint64 Scalar(Connection& conn, const QString& sql)
{
    qint64 value = -1;
    conn.ForEachRow(sql, {}, [&](const RowView& r) { value = r.Integer(0); });
    return value;
}

QString Sorted(QStringList items)
{
    items.sort();
    return items.join(u' ');
}

// The names a recordset holds in its column, deciphered.
QStringList Names(Recordset& rs, const QString& column = u"Name"_s)
{
    QStringList names;
    for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext()) {
        names.append(Decrypt(rs.Bytes(rs.FieldIndex(column))));
    }
    return names;
}

// A book of many contacts of one type, every other one deleted but not yet removed, more than one
// step of a purge removes: for the child that is killed while removing them.
constexpr int KillBookRecords = 24000;

void FillKillBook(Connection& conn, qint64 typeNo)
{
    Transaction transaction(conn);
    RecordInserter insert(conn);
    for (int i = 0; i < KillBookRecords; ++i) {
        const QByteArray name = Encrypt(u"c%1"_s.arg(i)).toLatin1();
        insert.Insert(typeNo, {name, {}, {}, {}, {}, {}, {}, {}}, {});
    }
    transaction.Commit();
}

} // namespace

class tst_Purge : public QObject
{
    Q_OBJECT

    std::optional<TestWorld> m_world;
    QHash<QString, qint64> m_ids;   // records by name
    QHash<QString, qint64> m_types; // types by name

    qint64 Id(const QString& name) const { return m_types.value(name, m_ids.value(name)); }
    QString TypeName(qint64 typeNo) const { return m_types.key(typeNo); }

    // What each reader of the program sees of the book, as the names it lists (with their types
    // where it reads them) or the numbers it counts.
    QString Read(const QString& reader)
    {
        QStringList seen;
        const auto name = [](QByteArrayView cipher) { return Decrypt(cipher); };
        if (reader == u"list all") {
            ReadRecordColumn(Conn, -1, u"Name"_s, [&](qint64, QByteArrayView c) { seen.append(name(c)); });
        } else if (reader == u"list all by phone") {
            ReadRecordColumn(Conn, -1, u"F_Phone1"_s, [&](qint64 id, QByteArrayView) { seen.append(m_ids.key(id)); });
        } else if (reader == u"list type") {
            ReadRecordColumn(Conn, Id(u"Work"_s), u"Name"_s, [&](qint64, QByteArrayView c) { seen.append(name(c)); });
        } else if (reader == u"re-sort") {
            ReadRecordColumns(Conn, u"Name"_s, u"EMailList"_s,
                              [&](qint64, QByteArrayView a, QByteArrayView) { seen.append(name(a)); });
        } else if (reader == u"search") {
            Connection search;
            OpenSearchReader(search, Conn);
            ReadRecordFields(search, {u"Name"_s}, [&](const RowView& r) {
                seen.append(name(r.Bytes(1)));
                return true;
            });
        } else if (reader == u"rows by key") {
            ReadRecordsById(Conn, {u"Name"_s, u"TypeNo"_s}, {Id(u"ann"_s), Id(u"bob"_s), Id(u"cat"_s)},
                            [&](const RowView& r) { seen.append(name(r.Bytes(1)) + u'/' + TypeName(r.Integer(2))); });
        } else if (reader == u"editor") {
            for (const QString& who : {u"bob"_s, u"cat"_s}) {
                Recordset rs;
                OpenRecordView(rs, Conn, Id(who));
                for (; !rs.IsEOF(); rs.MoveNext()) {
                    seen.append(Decrypt(rs.Bytes(rs.FieldIndex(u"Name"))) + u'/' + rs.Text(u"TypeName"));
                }
                Recordset write;
                OpenRecordForWrite(write, Conn, Id(who));
                seen.append(u"writable:"_s + QString::number(write.RecordCount()));
            }
        } else if (reader == u"duplicate name") {
            Recordset rs;
            OpenRecordsNamedExcept(rs, Conn, u"bob"_s, -1);
            seen.append(QString::number(rs.RecordCount()));
        } else if (reader == u"import names") {
            Recordset rs;
            OpenRecordNames(rs, Conn);
            seen = Names(rs);
        } else if (reader == u"export") {
            for (const ContactCard& card : ReadContacts(Conn)) {
                seen.append(card.name + u'/' + card.category);
            }
        } else if (reader == u"export type") {
            for (const ContactCard& card : ReadContacts(Conn, Id(u"Work"_s))) {
                seen.append(card.name + u'/' + card.category);
            }
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            seen.append(u"written:"_s +
                        QString::number(WriteContacts(Conn, out, ContactFormat::Csv, Id(u"Work"_s)).count));
        } else if (reader == u"counts") {
            seen.append(QString::number(CountRecords(Conn, std::nullopt)));
            seen.append(u"Friends:"_s + QString::number(CountRecords(Conn, Id(u"Friends"_s))));
            seen.append(u"Work:"_s + QString::number(CountRecords(Conn, Id(u"Work"_s))));
        } else if (reader == u"tree counts") {
            Recordset rs;
            OpenTypeCounts(rs, Conn);
            for (; !rs.IsEOF(); rs.MoveNext()) {
                seen.append(rs.Text(u"TypeName") + u':' + QString::number(rs.Integer(u"RecCnt")));
            }
        } else if (reader == u"sync") {
            Recordset rs;
            OpenRecordsForSync(rs, Conn);
            for (; !rs.IsEOF(); rs.MoveNext()) {
                seen.append(Decrypt(rs.Bytes(rs.FieldIndex(u"Name"))) + u'/' + TypeName(rs.Integer(u"TypeNo")));
            }
        } else if (reader == u"recordsets") {
            Recordset all;
            OpenAllRecords(all, Conn);
            Recordset work;
            OpenRecordsOfType(work, Conn, Id(u"Work"_s));
            seen = Names(all) + QStringList{u"|"_s} + Names(work);
            Recordset url;
            OpenRecordUrl(url, Conn, Id(u"bob"_s));
            seen.append(u"bob's address:"_s + QString::number(url.RecordCount()));
        }
        return Sorted(seen);
    }

    // 3,000 contacts over Friends, Work and home, the first 600 on their way to Work.
    QList<qint64> FillForLargeMove(qint64 home)
    {
        const qint64 types[] = {Id(u"Friends"_s), Id(u"Work"_s), home};
        QList<qint64> ids;
        {
            Transaction transaction(Conn);
            RecordInserter insert(Conn);
            for (int i = 0; i < 3000; ++i) {
                const QByteArray name = Encrypt(u"m%1"_s.arg(i)).toLatin1();
                ids.append(insert.Insert(types[i % 3], {name, {}, {}, {}, {}, {}, {}, {}}, {}));
            }
            transaction.Commit();
        }
        MarkRecordsMoved(Conn, ids.mid(0, 600), Id(u"Work"_s)); // still to be written
        return ids;
    }

private slots:
    void init()
    {
        m_world.emplace();
        m_ids.clear();
        m_types.clear();
        m_types[u"Friends"_s] = Book::AddType(u"Friends"_s);
        m_types[u"Work"_s] = Book::AddType(u"Work"_s);
        for (const QString& who : {u"ann"_s, u"bob"_s, u"cat"_s}) {
            m_ids[who] = Book::AddRecord(Id(u"Friends"_s), who, {u"+1 "_s + who, {}, {}, who + u"@x.org"_s}, nullptr);
        }
        for (const QString& who : {u"dan"_s, u"eve"_s}) {
            m_ids[who] = Book::AddRecord(Id(u"Work"_s), who, {u"+2 "_s + who, {}, {}, who + u"@y.org"_s}, nullptr);
        }
    }

    void cleanup()
    {
        Purger().Stop();
        Conn.SetOpenObserver({});
        m_world.reset();
    }

    // Bob and eve deleted, cat moved to Work: every reader shows it at once, the same after the
    // rows are written, and the same again with the book's counts and rows as they now stand.
    void readers_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("expected");
        QTest::newRow("list all") << "list all"
                                  << "ann cat dan";
        QTest::newRow("list all by phone") << "list all by phone"
                                           << "ann cat dan";
        QTest::newRow("list type") << "list type"
                                   << "cat dan";
        QTest::newRow("re-sort") << "re-sort"
                                 << "ann cat dan";
        QTest::newRow("search") << "search"
                                << "ann cat dan";
        QTest::newRow("rows by key") << "rows by key"
                                     << "ann/Friends cat/Work";
        QTest::newRow("editor") << "editor"
                                << "cat/Work writable:0 writable:1";
        QTest::newRow("duplicate name") << "duplicate name"
                                        << "0";
        QTest::newRow("import names") << "import names"
                                      << "ann cat dan";
        QTest::newRow("export") << "export"
                                << "ann/Friends cat/Work dan/Work";
        QTest::newRow("export type") << "export type"
                                     << "cat/Work dan/Work written:2";
        QTest::newRow("counts") << "counts"
                                << "3 Friends:1 Work:2";
        QTest::newRow("tree counts") << "tree counts"
                                     << "Friends:1 Work:2";
        QTest::newRow("sync") << "sync"
                              << "ann/Friends cat/Work dan/Work";
        QTest::newRow("recordsets") << "recordsets"
                                    << "ann bob's address:0 cat cat dan dan |";
    }

    // A large move reads the contacts' types on a second connection after it wrote its marks:
    // the undo step gets each one's type from before the move, a move still being written
    // counted where it goes, whether or not the purger rewrites rows meanwhile.
    void largeMoveReadsTypesBeforeIt_data()
    {
        QTest::addColumn<QString>("during");
        QTest::newRow("quiet") << "quiet";
        QTest::newRow("purger writing") << "purger writing";
    }

    void largeMoveReadsTypesBeforeIt()
    {
        QFETCH(QString, during);
        const qint64 home = Book::AddType(u"Home"_s);
        QList<qint64> ids = FillForLargeMove(home);
        // Two that do not exist; another program's drop may name any number.
        ids.append(ids.last() + 1000);
        ids.append(4'000'000'000'000'000'000);
        if (during == u"purger writing") {
            Purger().Start(Conn.ConnectionString);
        }
        const auto before = TypesOfRecords(Conn, ids);
        QCOMPARE(before.size(), std::size_t(ids.size() - 2));       // all but those that do not exist
        QCOMPARE(before[0], std::make_pair(ids[0], Id(u"Work"_s))); // a Friend on its way to Work
        QCOMPARE(before[603], std::make_pair(ids[603], Id(u"Friends"_s)));

        const auto moved = MarkRecordsMovedReadingTypes(Conn, ids, home);
        QCOMPARE(moved->Get(Conn), before);
        QCOMPARE(CountRecords(Conn, home), qint64(ids.size() - 2));
        QCOMPARE(CountRecords(Conn, Id(u"Friends"_s)), 3);
    }

    // After a large move the purger writes no pending move until the types from before it are
    // read (deletes go on); when they cannot be read aside, they are read on the window's
    // connection when wanted, and nothing is lost when even that fails for a while.
    void largeMoveHoldsItsRows_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("read aside") << "none";
        QTest::newRow("aside fails") << "aside";
        QTest::newRow("aside fails, then the window's read") << "both";
        QTest::newRow("aside fails, types never wanted") << "dropped";
    }

    void largeMoveHoldsItsRows()
    {
        QFETCH(QString, failing);
        const qint64 home = Book::AddType(u"Home"_s);
        const QList<qint64> ids = FillForLargeMove(home);
        const auto before = TypesOfRecords(Conn, ids);
        const auto stored = StoredTypesOfRecords(Conn, ids);
        const QString book = Conn.ConnectionString;
        Purger().Start(book);
        if (failing != u"none") {
            // A key that does not open the book: the reader aside cannot start.
            Conn.ConnectionString = ConnectionStringForFile(m_world->folder.DatabasePath(), u"not the key"_s);
        }
        auto moved = MarkRecordsMovedReadingTypes(Conn, ids, home);
        Conn.ConnectionString = book;
        QCOMPARE(CountRecords(Conn, home), qint64(ids.size()));
        Purger().Release(MarkRecordsDeleted(Conn, {Id(u"eve"_s)}));
        Purger().WaitIdle();
        QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM PWDTable WHERE PWDID = %1"_s.arg(Id(u"eve"_s))), 0);
        if (failing == u"none") {
            QCOMPARE(PendingRecordCount(Conn), 0); // written once the types were read
            QCOMPARE(moved->Get(Conn), before);
            return;
        }
        // The rows still hold the types they had; the marks wait.
        QCOMPARE(StoredTypesOfRecords(Conn, ids), stored);
        QCOMPARE(PendingRecordCount(Conn), qint64(ids.size()));
        QCOMPARE(CountRecords(Conn, home), qint64(ids.size()));
        if (failing == u"dropped") {
            moved.reset(); // its step left the history: the rows may be written
            Purger().WaitIdle();
            QCOMPARE(PendingRecordCount(Conn), 0);
            QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM PWDTable WHERE TypeNo = %1"_s.arg(home)), ids.size());
            return;
        }
        if (failing == u"both") {
            Connection blocker;
            blocker.Open(book);
            blocker.Execute(u"BEGIN EXCLUSIVE"_s);
            Conn.Execute(u"PRAGMA busy_timeout = 50"_s);
            QVERIFY_THROWS_EXCEPTION(DbError, moved->Get(Conn));
            blocker.Execute(u"ROLLBACK"_s);
            Conn.Execute(u"PRAGMA busy_timeout = 5000"_s);
            Purger().WaitIdle();
            QCOMPARE(StoredTypesOfRecords(Conn, ids), stored);
        }
        QCOMPARE(moved->Get(Conn), before);
        Purger().WaitIdle();
        QCOMPARE(PendingRecordCount(Conn), 0);
        QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM PWDTable WHERE TypeNo = %1"_s.arg(home)), ids.size());
    }

    // Whatever stops the purger while the types of a move are read (closing the program, a
    // backup, the book closing) waits for the read: it ends exact, and no thread is left on the book.
    void largeMoveReadWhileStopping_data()
    {
        QTest::addColumn<QString>("stop");
        QTest::newRow("program closes") << "finish";
        QTest::newRow("backup") << "backup";
        QTest::newRow("book closes") << "close";
    }

    void largeMoveReadWhileStopping()
    {
        QFETCH(QString, stop);
        const qint64 home = Book::AddType(u"Home"_s);
        const QList<qint64> ids = FillForLargeMove(home);
        const auto before = TypesOfRecords(Conn, ids);
        Purger().Watch(Conn);
        Conn.Open();
        const auto moved = MarkRecordsMovedReadingTypes(Conn, ids, home);
        if (stop == u"finish") {
            FinishPendingWrites();
            QVERIFY(!moved->IsReading());
            QCOMPARE(PendingRecordCount(Conn), 0);
        } else if (stop == u"backup") {
            const QString copy = BackupDatabase(Conn, m_world->folder.Path(), QDate(2026, 12, 8));
            QVERIFY(!moved->IsReading());
            Connection backup;
            backup.Open(ConnectionStringForFile(copy));
            QCOMPARE(PendingRecordCount(backup), 0);
            QCOMPARE(CountRecords(backup, home), qint64(ids.size()));
        } else {
            Conn.Close();
            QVERIFY(!moved->IsReading());
            Conn.Open();
        }
        QCOMPARE(moved->Get(Conn), before);
        QCOMPARE(CountRecords(Conn, home), qint64(ids.size()));
        FinishPendingWrites();
        QCOMPARE(PendingRecordCount(Conn), 0);
        QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM PWDTable WHERE TypeNo = %1"_s.arg(home)), ids.size());
    }

    void readers()
    {
        QFETCH(QString, reader);
        QFETCH(QString, expected);
        const QString before = Read(reader);
        const qint64 batch = MarkRecordsDeleted(Conn, {Id(u"bob"_s), Id(u"eve"_s)});
        MarkRecordsMoved(Conn, {Id(u"cat"_s)}, Id(u"Work"_s));
        QCOMPARE(Read(reader), expected);
        QCOMPARE(PendingRecordCount(Conn), 3);

        // A held batch stays through a purge and comes back whole when undone.
        QVERIFY(PurgePending(Conn, {}, {batch}));
        QCOMPARE(Read(reader), expected);
        QCOMPARE(Scalar(Conn, u"SELECT TypeNo FROM PWDTable WHERE PWDID = %1"_s.arg(Id(u"cat"_s))), Id(u"Work"_s));
        QVERIFY(UnmarkRecords(Conn, batch));
        QVERIFY(!UnmarkRecords(Conn, batch));
        MarkRecordsMoved(Conn, {Id(u"cat"_s)}, Id(u"Friends"_s));
        QVERIFY(PurgePending(Conn));
        QCOMPARE(Read(reader), before);

        Purger().Release(MarkRecordsDeleted(Conn, {Id(u"bob"_s), Id(u"eve"_s)}));
        MarkRecordsMoved(Conn, {Id(u"cat"_s)}, Id(u"Work"_s));
        QVERIFY(PurgePending(Conn));
        QCOMPARE(Read(reader), expected);
        QCOMPARE(PendingRecordCount(Conn), 0);
        QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM PWDTable"_s), 3);
    }

    // Deleting a type with Move Contacts: the type goes at once and its contacts show under the
    // target, also one that was on its way into the deleted type.
    void typeMovedAndDeleted()
    {
        MarkRecordsMoved(Conn, {Id(u"dan"_s)}, Id(u"Friends"_s));
        MarkTypeMovedAndDelete(Conn, Id(u"Friends"_s), Id(u"Work"_s));
        QCOMPARE(Read(u"tree counts"_s), u"Work:5"_s);
        QCOMPARE(Read(u"list type"_s), u"ann bob cat dan eve"_s);
        QVERIFY(PurgePending(Conn));
        QCOMPARE(Read(u"tree counts"_s), u"Work:5"_s);
        QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM PWDTable WHERE TypeNo = %1"_s.arg(Id(u"Work"_s))), 5);
    }

    // The types an undo of a move sends contacts back to are the ones readers showed, pending moves
    // counted, whether keys are looked up one by one or read in one pass, for a few or for many.
    void typesOfMovingContacts()
    {
        FillKillBook(Conn, Id(u"Work"_s));
        MarkRecordsMoved(Conn, {Id(u"ann"_s), Id(u"dan"_s)}, Id(u"Work"_s));
        MarkRecordsMoved(Conn, {Id(u"eve"_s)}, Id(u"Friends"_s));
        const QList<qint64> few{Id(u"eve"_s), Id(u"ann"_s), Id(u"bob"_s), Id(u"dan"_s)};
        const std::vector<std::pair<qint64, qint64>> expected{{Id(u"ann"_s), Id(u"Work"_s)},
                                                              {Id(u"bob"_s), Id(u"Friends"_s)},
                                                              {Id(u"dan"_s), Id(u"Work"_s)},
                                                              {Id(u"eve"_s), Id(u"Friends"_s)}};
        QList<qint64> many = few;
        Conn.ForEachRow(u"SELECT PWDID FROM PWDTable WHERE PWDID > %1"_s.arg(Id(u"eve"_s)), {},
                        [&](const RowView& row) { many.append(row.Integer(0)); });
        QCOMPARE(many.size(), 4 + KillBookRecords);
        for (const KeyReading how : {KeyReading::Choose, KeyReading::OneByOne, KeyReading::OneScan}) {
            QCOMPARE(TypesOfRecords(Conn, few, how), expected);
            const std::vector<std::pair<qint64, qint64>> all = TypesOfRecords(Conn, many, how);
            QCOMPARE(all.size(), many.size());
            QCOMPARE(std::vector(all.begin(), all.begin() + 4), expected);
            QVERIFY(std::all_of(all.begin() + 4, all.end(),
                                [&](const auto& pair) { return pair.second == Id(u"Work"_s); }));
        }
    }

    // A type written while an earlier move is still pending wins over the move, also when it is
    // the type the row still holds.
    void editDuringMove()
    {
        MarkRecordsMoved(Conn, {Id(u"ann"_s), Id(u"bob"_s), Id(u"dan"_s)}, Id(u"Work"_s));
        MoveRecordToType(Conn, Id(u"bob"_s), Id(u"Friends"_s));
        Recordset rs;
        OpenRecordForWrite(rs, Conn, Id(u"ann"_s));
        rs.SetValue(u"TypeNo", Id(u"Friends"_s));
        rs.Update();
        QCOMPARE(Read(u"tree counts"_s), u"Friends:3 Work:2"_s);
        QVERIFY(PurgePending(Conn));
        QCOMPARE(Read(u"tree counts"_s), u"Friends:3 Work:2"_s);
    }

    // The worker removes released batches in the background and leaves held ones; closing the
    // program removes everything, and the book then holds no marks.
    void backgroundAndClose()
    {
        Purger().Watch(Conn);
        Conn.Open(); // as the program opens it: the worker starts with it
        const qint64 held = MarkRecordsDeleted(Conn, {Id(u"ann"_s)});
        // Ann, marked already, stays in the held batch.
        Purger().Release(MarkRecordsDeleted(Conn, {Id(u"dan"_s), Id(u"eve"_s), Id(u"ann"_s)}));
        Purger().WaitIdle();
        QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM PWDTable"_s), 3);
        QCOMPARE(PendingRecordCount(Conn), 1);
        QVERIFY(Purger().IsHeld(held));
        FinishPendingWrites();
        QCOMPARE(PendingRecordCount(Conn), 0);
        QCOMPARE(Read(u"list all"_s), u"bob cat"_s);
        QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM PWDTable"_s), 2);
    }

    // The background purge while another connection is in the middle of a long read (a re-sort
    // or a search of a large book): the window's reads still get in at once, not after the long
    // read, and the purge is done once it ends.
    void purgeLetsReadersIn()
    {
        Purger().Watch(Conn);
        Conn.Open();
        const qint64 batch = MarkRecordsDeleted(Conn, {Id(u"dan"_s), Id(u"eve"_s)});
        Connection window;
        OpenSearchReader(window, Conn);
        // Far shorter than the waiting commit held new readers off (5 s), long enough for a busy
        // machine to let a step that found the book read roll back.
        sqlite3_busy_timeout(window.Handle(), 2000);
        Connection longRead;
        OpenSearchReader(longRead, Conn);
        longRead.Execute(u"Begin"_s);
        QCOMPARE(Scalar(longRead, u"SELECT count(*) FROM PWDTable"_s), 5);
        Purger().Release(batch);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 500) {
            try {
                QCOMPARE(Scalar(window, u"SELECT count(*) FROM VPWDTable"_s), 3);
            } catch (const DbError& error) {
                QFAIL(qPrintable(u"Shut out after %1 ms: %2"_s.arg(clock.elapsed()).arg(error.Description())));
            }
            QThread::msleep(5);
        }
        QCOMPARE(PendingRecordCount(window), 2);

        longRead.Execute(u"Commit"_s);
        Purger().WaitIdle();
        QCOMPARE(PendingRecordCount(Conn), 0);
        QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM PWDTable"_s), 3);
    }

    // A copy of the book never carries a deleted contact as a live one, nor a move unwritten.
    void copies_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("backup") << "backup";
        QTest::newRow("compact") << "compact";
        QTest::newRow("restore") << "restore";
    }

    void copies()
    {
        QFETCH(QString, operation);
        const QString book = m_world->folder.DatabasePath();
        MarkRecordsDeleted(Conn, {Id(u"bob"_s), Id(u"eve"_s)}); // held, as by an undo step
        MarkRecordsMoved(Conn, {Id(u"cat"_s)}, Id(u"Work"_s));
        QTemporaryDir dir;
        QString result;
        if (operation == u"backup") {
            result = BackupDatabase(Conn, dir.path(), QDate(2026, 12, 7));
            QCOMPARE(PendingRecordCount(Conn), 3); // the book itself keeps them pending
        } else if (operation == u"compact") {
            Conn.Close();
            QCOMPARE(CompactDatabaseFile(book), CompactOutcome::Compacted);
            result = book;
        } else {
            Conn.Close();
            result = dir.filePath(u"restored.mdb"_s);
            QVERIFY(QFile::copy(book, result + u".mvb"_s));
            QVERIFY(QFile::copy(book, result));
            ReplaceDatabaseFile(result + u".mvb"_s, result);
        }
        Connection copy;
        copy.Open(ConnectionStringForFile(result));
        QCOMPARE(PendingRecordCount(copy), 0);
        QCOMPARE(Scalar(copy, u"SELECT count(*) FROM PWDTable"_s), 3);
        QCOMPARE(Scalar(copy, u"SELECT TypeNo FROM PWDTable WHERE PWDID = %1"_s.arg(Id(u"cat"_s))), Id(u"Work"_s));
    }

    // A book of an earlier version gets the tables on opening; its contacts read as before.
    void olderBook()
    {
        for (const char* statement :
             {"DROP VIEW VPWDTable", "DROP VIEW VPWDType", "DROP TRIGGER PWDTable_Deleted",
              "DROP TRIGGER PWDTable_Moved", "DROP TABLE PWDDeleted", "DROP TABLE PWDMoving",
              "CREATE VIEW VPWDTable AS SELECT r.PWDID, r.Name, r.TypeNo, t.TypeName, r.F_Phone1, r.F_MobilePhone1, "
              "r.C_Phone1, r.EMailList, r.QQ, r.MSN, r.ICQ, r.Url FROM PWDTable r LEFT JOIN PWDType t ON "
              "t.TypeNo = r.TypeNo",
              "CREATE VIEW VPWDType AS SELECT t.TypeNo, t.TypeName, t.Description, (SELECT count(*) FROM PWDTable r "
              "WHERE r.TypeNo = t.TypeNo) AS RecCnt FROM PWDType t"}) {
            Conn.Execute(QString::fromLatin1(statement));
        }
        QCOMPARE(Read(u"tree counts"_s), u"Friends:3 Work:2"_s); // read before the tables exist
        QCOMPARE(PendingRecordCount(Conn), 0);
        AddMissingIndexes(Conn);
        QVERIFY(Conn.HasTable("PWDDeleted") && Conn.HasTable("PWDMoving"));
        Purger().Release(MarkRecordsDeleted(Conn, {Id(u"ann"_s)}));
        QCOMPARE(Read(u"tree counts"_s), u"Friends:2 Work:2"_s);
        QVERIFY(MissingSchemaObjects(Conn).isEmpty());
    }

    // A book whose views were written by an earlier version of this one gets them as they are now:
    // the earlier count of types gathered every key of the book once per type. The index of
    // delete batches earlier versions kept goes, and a delete pending across the change stays
    // hidden and can still be taken back.
    void earlierViewReplaced()
    {
        const QString earlier =
            u"CREATE VIEW VPWDType AS SELECT t.TypeNo, t.TypeName, t.Description, (SELECT count(*) FROM PWDTable r "
            "WHERE r.TypeNo = t.TypeNo AND (NOT EXISTS (SELECT 1 FROM PWDDeleted) OR r.PWDID NOT IN (SELECT PWDID "
            "FROM PWDDeleted)) AND (NOT EXISTS (SELECT 1 FROM PWDMoving) OR r.PWDID NOT IN (SELECT PWDID FROM "
            "PWDMoving))) + (SELECT count(*) FROM PWDMoving m WHERE m.TypeNo = t.TypeNo AND m.PWDID NOT IN (SELECT "
            "PWDID FROM PWDDeleted) AND m.PWDID IN (SELECT PWDID FROM PWDTable)) AS RecCnt FROM PWDType t"_s;
        const auto storedView = [] {
            QString sql;
            Conn.ForEachRow(u"SELECT sql FROM sqlite_master WHERE name = 'VPWDType'"_s, {},
                            [&](const RowView& r) { sql = QString::fromUtf8(r.Bytes(0)); });
            return sql;
        };
        Conn.Execute(u"DROP VIEW VPWDType"_s);
        Conn.Execute(earlier);
        Conn.Execute(u"CREATE INDEX PWDDeleted_Batch ON PWDDeleted (Batch)"_s);
        MarkRecordsMoved(Conn, {Id(u"ann"_s)}, Id(u"Work"_s));
        const qint64 batch = MarkRecordsDeleted(Conn, {Id(u"bob"_s)});
        QCOMPARE(Read(u"tree counts"_s), u"Friends:1 Work:3"_s);

        AddMissingIndexes(Conn);
        QVERIFY(!storedView().contains(u"IN (SELECT PWDID FROM PWDTable)"_s));
        QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM sqlite_master WHERE name = 'PWDDeleted_Batch'"_s), 0);
        QCOMPARE(Read(u"tree counts"_s), u"Friends:1 Work:3"_s);
        QVERIFY(UnmarkRecords(Conn, batch));
        QCOMPARE(Read(u"tree counts"_s), u"Friends:2 Work:3"_s);
        // Once current, opening again leaves the book as it is.
        const QString current = storedView();
        const qint64 changes = Scalar(Conn, u"PRAGMA schema_version"_s);
        AddMissingIndexes(Conn);
        QCOMPARE(storedView(), current);
        QCOMPARE(Scalar(Conn, u"PRAGMA schema_version"_s), changes);
    }

    // A purge killed half-way, between two steps or wherever the worker was: the next opening
    // shows none of the deleted contacts before it has resumed, and resuming finishes the job.
    void killed_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("between steps") << "between steps";
        QTest::newRow("while the worker runs") << "worker";
    }

    void killed()
    {
        QFETCH(QString, how);
        const QString book = m_world->folder.DatabasePath();
        FillKillBook(Conn, Id(u"Work"_s));
        QList<qint64> doomed;
        Conn.ForEachRow(u"SELECT PWDID FROM PWDTable WHERE TypeNo = ? AND PWDID % 2 = 0"_s, {Id(u"Work"_s)},
                        [&](const RowView& r) { doomed.append(r.Integer(0)); });
        Purger().Release(MarkRecordsDeleted(Conn, doomed));
        const qint64 live = Scalar(Conn, u"SELECT count(*) FROM PWDTable"_s) - doomed.size();
        Conn.Close();

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TAVOREN_PURGE_CHILD"_s, how + u'\n' + book);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(60000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("purging"));
        child.kill();
        QVERIFY(child.waitForFinished(60000));

        Connection fresh;
        fresh.Open(ConnectionStringForFile(book));
        const qint64 left = Scalar(fresh, u"SELECT count(*) FROM PWDTable"_s);
        if (how == u"between steps") {
            QVERIFY2(left > live && left < live + doomed.size(), qPrintable(u"rows left: %1"_s.arg(left)));
        }
        QCOMPARE(CountRecords(fresh, std::nullopt), live);
        qint64 seenDoomed = 0;
        ReadRecordColumn(fresh, -1, u"Name"_s, [&](qint64 id, QByteArrayView) { seenDoomed += doomed.contains(id); });
        QCOMPARE(seenDoomed, 0);
        fresh.Close();

        Purger().Watch(Conn);
        Conn.Open(ConnectionStringForFile(book));
        Purger().WaitIdle();
        QCOMPARE(PendingRecordCount(Conn), 0);
        QCOMPARE(Scalar(Conn, u"SELECT count(*) FROM PWDTable"_s), live);
        Recordset check;
        check.Open(u"PRAGMA quick_check"_s, Conn);
        QCOMPARE(check.Text(0), u"ok"_s);
    }

    // Deleting through the window: rows clicked, Delete pressed, the question answered; the list
    // and the counts are right at once, before anything has been removed from the file.
    void deleteInWindow()
    {
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidgetItem* friends = w.NodeByKey(Book::Key(Id(u"Friends"_s)));
        QTest::mouseClick(w.TreeView1->viewport(), Qt::LeftButton, {}, w.TreeView1->visualItemRect(friends).center());
        QTRY_COMPARE(w.ListModel()->rowCount(), 3);
        QApplication::processEvents();
        for (const QString& who : {u"ann"_s, u"cat"_s}) {
            const QModelIndex index = w.ListModel()->index(w.ListModel()->RowOfKey(Book::Key(Id(who))), 0);
            QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton,
                              who == u"ann" ? Qt::NoModifier : Qt::ControlModifier,
                              w.ListView1->visualRect(index).center());
        }
        m_world->platform.answers.push_back(MsgResult::Ok);
        QTest::keyClick(w.ListView1, Qt::Key_Delete);
        QCOMPARE(m_world->platform.Boxes().size(), 1);
        QCOMPARE(w.ListModel()->rowCount(), 1);
        QCOMPARE(w.ListModel()->Text(0, 0), u"bob"_s);
        QCOMPARE(PendingRecordCount(Conn), 2); // nothing is watching: the rows wait

        QTreeWidgetItem* root = w.NodeByKey(u"Root"_s);
        QTest::mouseClick(w.TreeView1->viewport(), Qt::LeftButton, {}, w.TreeView1->visualItemRect(root).center());
        QTRY_COMPARE(w.ListModel()->rowCount(), 2);
        QStringList counts;
        for (int row = 0; row < 2; ++row) {
            counts.append(w.ListModel()->Text(row, 0) + u':' + w.ListModel()->Text(row, 1));
        }
        QCOMPARE(counts.join(u' '), u"Friends:1 Work:2"_s);
    }
};

int main(int argc, char** argv)
{
    // The child of killed: resumes the purge of the book and is killed while at it.
    const QStringList child = QString::fromLocal8Bit(qgetenv("TAVOREN_PURGE_CHILD")).split(u'\n');
    if (child.size() == 2) {
        QCoreApplication app(argc, argv);
        Connection conn;
        conn.Open(ConnectionStringForFile(child[1]));
        if (child[0] == u"worker") {
            Purger().Start(conn.ConnectionString);
            std::puts("purging");
            std::fflush(stdout);
            Purger().WaitIdle();
            return 0;
        }
        bool told = false;
        PurgePending(conn, [&](qint64 done, qint64) {
            if (done > 0 && !told) {
                told = true;
                std::puts("purging");
                std::fflush(stdout);
                std::getchar(); // waits here, between two steps, to be killed
            }
            return true;
        });
        return 0;
    }
    QApplication app(argc, argv);
    tst_Purge test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_purge.moc"
