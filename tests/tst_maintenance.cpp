// Backup, restore and compaction of the address book on real files, headless and through the main
// window's commands.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/stat.h>

#include "access/frmLogin.h"
#include "core/AppState.h"
#include "core/Errors.h"
#include "core/OperateIni.h"
#include "core/SaveFile.h"
#include "dialogs/frmOptions.h"
#include "exchange/ContactExchange.h"
#include "main/MaintenanceCommands.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/BookProtection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Maintenance.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/BusyProgress.h"
#include "ui/Common.h"
#include "ui/Forms.h"

using namespace Qt::StringLiterals;
using namespace Book;

namespace {

// One operation on the book: "backup" (of Conn into other), "compact", "restore" (from other) or
// "import" (of a hundred contacts, progress told in rows), progress told as it goes.
void Run(const QString& operation, const QString& book, const QString& other, const MaintenanceProgress& progress = {})
{
    if (operation == u"backup") {
        BackupDatabase(Conn, other, QDate(2026, 6, 1), progress);
    } else if (operation == u"compact") {
        CompactDatabaseFile(book, progress);
    } else if (operation == u"restore") {
        ReplaceDatabaseFile(other, book, progress);
    } else {
        Connection conn;
        conn.Open(ConnectionStringForFile(book));
        ExecuteImport(conn, PlanImport(conn, ReadContactFile(Sample(u"hundred.vcf"_s)), u"Imported"_s),
                      [&](int done, int total) { return progress ? (progress(done, total), true) : true; });
    }
}

} // namespace

class tst_Maintenance : public QObject
{
    Q_OBJECT

    std::optional<TestWorld> m_world;
    std::unique_ptr<QTemporaryDir> m_out;
    QPointer<frmMain> m_main;

    // Two types with records and an account; returns the first type's number.
    static qint64 Fill()
    {
        const qint64 family = AddType(u"Family"_s, u"d"_s);
        const QStringList fields{{}, {}, {}, u"a@b.c"_s, {}, {}, {}, u"http://x"_s};
        for (const QString& name : {u"Anna"_s, u"Bo"_s, u"Chloé"_s}) {
            AddRecord(family, name, fields);
        }
        AddRecord(AddType(u"Arbeit 工作"_s), u"张三"_s, fields);
        InsertUser(Conn, u"me"_s, u"pw"_s, u"q"_s, u"a"_s);
        return family;
    }
    static QString NodeKey(const frmMain* w) { return w->TreeView1->CurrentKey(); }
    frmMain* OpenMain() { return m_main ? m_main.data() : (m_main = new frmMain()).data(); }
    // Runs a main window command, the file dialogs answering with the files given.
    void Trigger(const char* command, std::initializer_list<QString> files = {})
    {
        OpenMain();
        m_world->platform.files = files;
        m_world->platform.calls.clear();
        m_main->findChild<QAction*>(QLatin1String(command))->trigger();
    }
    QString Out(const QString& name) const { return m_out->filePath(name); }
    QStringList DataFolder() const { return Entries(m_world->folder.Path() + u"Datas"_s); }

private slots:
    void init()
    {
        m_world.emplace();
        m_out = std::make_unique<QTemporaryDir>();
    }

    void cleanup()
    {
        QVERIFY(QApplication::overrideCursor() == nullptr);
        m_world.reset();
    }

    void backupNameAndPlace_data() { AddRows(u"maintenance.txt"_s); }

    void backupNameAndPlace()
    {
        QFETCH(QString, day);
        const QDate date = QDate::fromString(day, Qt::ISODate);
        QFETCH(bool, separator);
        QFETCH(QString, name);
        Fill();
        const QString folder = m_out->path() + (separator ? u"/"_s : QString());
        QCOMPARE(BackupDatabase(Conn, folder, date), Out(name));
        QCOMPARE(DumpFile(Out(name)), Dump());

        // Another year, same day: the later backup replaces the earlier one without a trace of it.
        AddType(u"Later"_s);
        BackupDatabase(Conn, folder, date.addYears(4));
        QCOMPARE(Entries(m_out->path()), QStringList{name});
        QCOMPARE(DumpFile(Out(name)), Dump());
    }

    void refusedCommandChangesNothing_data() { AddRows(u"maintenance.txt"_s); }

    // A failed backup says so, with its reason, and leaves no file behind; a file that is no backup
    // of this book is refused with a warning. Either way the book stays open and whole.
    void refusedCommandChangesNothing()
    {
        QFETCH(QString, fault);
        QFETCH(QString, sequence);
        Fill();
        const QDate today = QDate::currentDate();
        const QString folder = m_out->path() + (fault == u"missing" ? u"/gone"_s : QString());
        const QString candidate = Out(u"MVBackup0101.mvb"_s);
        const auto writable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        if (fault == u"directory") {
            QVERIFY(QDir(folder).mkdir(BackupFileName(today)));
        } else if (fault == u"read-only") {
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            if (QFile probe(Out(u"probe"_s)); probe.open(QIODevice::WriteOnly)) {
                probe.remove();
                QFile::setPermissions(folder, writable);
                QSKIP("this user writes into read-only folders (root)");
            }
        } else if (fault == u"password") {
            BackupDatabase(Conn, m_out->path(), QDate(2026, 1, 1));
            Connection rekey;
            rekey.Open(ConnectionStringForFile(candidate));
            rekey.Execute(u"PRAGMA rekey = 'other'"_s);
        } else if (fault == u"foreign") {
            Connection other; // keyed like ours, tables of its own
            other.Create(ConnectionStringForFile(candidate));
            other.Execute(u"CREATE TABLE Notes (Id INTEGER PRIMARY KEY, Text TEXT)"_s);
        } else if (fault != u"missing") {
            QVERIFY(WriteFile(candidate, "Name,Phone\nAnna,123\n"));
        }
        const bool backup = sequence.contains(u"folder"_s);
        const QStringList before = Entries(m_out->path());
        const QByteArray bytes = ReadFile(m_world->folder.DatabasePath());
        if (backup) {
            QVERIFY_THROWS_EXCEPTION(AppError, BackupDatabase(Conn, folder, today));
        }
        // The commands on their own, for a window that is not the main window.
        QWidget window;
        MaintenanceCommands commands(&window);
        m_world->platform.files = {backup ? folder : candidate};
        m_world->platform.passwords = {u"not it"_s}; // asked only of a file under a key we do not have
        if (backup) {
            commands.Backup(u"Backup"_s);
        } else {
            QVERIFY(!commands.Restore(u"Restore"_s)); // refused before the book was closed
        }
        QCOMPARE(m_world->platform.Sequence(), sequence);
        const auto box = m_world->platform.Boxes().first();
        QVERIFY2(backup
                     ? box.icon == MsgIcon::Critical && !box.text.isEmpty()
                     : box.icon == MsgIcon::Warning && box.text == u"The file is not a backup of this address book."_s,
                 qPrintable(box.text));
        QFile::setPermissions(m_out->path(), writable);
        QCOMPARE(Entries(m_out->path()), before);
        QVERIFY(Conn.IsOpen());
        QCOMPARE(ReadFile(m_world->folder.DatabasePath()), bytes);
        QCOMPARE(DataFolder(), QStringList{"address.mdb"});
    }

    // A backup made under another key than the book's: the program's own opens it without a
    // question, another password is asked for; the restored book keeps its key and its recovery.
    void restoreUnderOtherKey_data()
    {
        QTest::addColumn<bool>("bookProtected");
        QTest::addColumn<bool>("backupProtected");
        QTest::newRow("protected backup into an open book") << false << true;
        QTest::newRow("open backup into a protected book") << true << false;
    }

    void restoreUnderOtherKey()
    {
        QFETCH(bool, bookProtected);
        QFETCH(bool, backupProtected);
        const auto reset = qScopeGuard([] { SetBookPassphrase(QString::fromLatin1(DatabasePassword)); });
        Fill(); // its account's password is "pw", its question and answer "q" and "a"
        const QString db = m_world->folder.DatabasePath();
        if (backupProtected) {
            ProtectBookWithAccount(Conn);
        }
        const QStringList data = Dump();
        const QString backup = BackupDatabase(Conn, m_out->path(), QDate(2026, 6, 1));
        if (backupProtected) {
            UnprotectBook(Conn);
        }
        Conn.Execute(u"DELETE FROM PWDTable"_s);
        if (bookProtected) {
            UpdateUsersPassword(Conn, u"Other 7"_s);
            ProtectBookWithAccount(Conn);
        }
        QWidget window;
        MaintenanceCommands commands(&window);
        m_world->platform.files = {backup};
        m_world->platform.passwords = {u"pw"_s};
        m_world->platform.answers = {MsgResult::Ok};
        QVERIFY2(commands.Restore(u"Restore"_s), qPrintable(m_world->platform.Sequence()));
        QCOMPARE(m_world->platform.Sequence().contains(u"password"_s), backupProtected);
        QCOMPARE(m_world->platform.Boxes().last().text, u"The database has been restored."_s);
        QCOMPARE(Dump(), data);
        QCOMPARE(IsProtectedBook(db), backupProtected);
        QCOMPARE(IsAddressBookFile(db, QString::fromLatin1(DatabasePassword)), !backupProtected);
        if (backupProtected) {
            QCOMPARE(RecoverPassword(db, u"q"_s, u"a"_s), std::optional<QString>(u"pw"_s));
        }
    }

    // When a restored book will not open, the previous one goes back in place.
    void restoreCanBeReverted()
    {
        Fill();
        const QString db = m_world->folder.DatabasePath();
        const QString backup = BackupDatabase(Conn, m_out->path(), QDate(2026, 6, 1));
        AddType(u"Only in the current book"_s);
        const QStringList current = Dump();
        Conn.Close();
        ReplaceDatabaseFile(backup, db);
        QCOMPARE(DumpFile(db), DumpFile(backup));
        RevertDatabaseFile(db);
        QCOMPARE(DumpFile(db), current);
        QCOMPARE(DataFolder(), QStringList{"address.mdb"});
    }

    void backupAndRestoreThroughMainWindow()
    {
        const qint64 family = Fill();
        frmMain* w = OpenMain();
        w->LoadTreeData(Key(family));
        const QStringList original = Dump();

        // Backup while the window holds the book open; the chooser opens where backups belong, or
        // in the home folder when that folder is gone. The message names the file written.
        BackupFolder = u"/home/someone/Documents"_s;
        Trigger("mnuBackup", {});
        QCOMPARE(m_world->platform.calls[1].title, QDir::homePath());
        BackupFolder = m_out->path();
        Trigger("mnuBackup", {m_out->path()});
        BackupFolder.clear();
        QCOMPARE(m_world->platform.Sequence(), u"102,folder,104,102,box,104"_s);
        QCOMPARE(m_world->platform.calls[1].title, m_out->path());
        const QString backup = Out(BackupFileName(QDate::currentDate()));
        QCOMPARE(m_world->platform.Boxes().first().text, u"Backup complete!\n"_s + QDir::toNativeSeparators(backup));
        QCOMPARE(Entries(m_out->path()), QStringList{QFileInfo(backup).fileName()});

        // Changes after the backup; a cancelled confirmation keeps them.
        Conn.Execute(u"DELETE FROM PWDTable WHERE TypeNo = ?"_s, {family});
        AddType(u"New since"_s);
        const QStringList changed = Dump();
        w->Refresh();
        m_world->platform.answers.push_back(MsgResult::Cancel);
        Trigger("mnuRestore", {backup});
        QCOMPARE(m_world->platform.Sequence(), u"102,open,104,101,box,104"_s);
        QCOMPARE(Dump(), changed);

        Trigger("mnuRestore", {backup});
        QCOMPARE(m_world->platform.Sequence(), u"102,open,104,101,box,104,102,box,104"_s);
        QCOMPARE(m_world->platform.Boxes().last().text, u"The database has been restored."_s);
        QVERIFY(Conn.IsOpen());
        QCOMPARE(Dump(), original);
        QCOMPARE(NodeKey(w), Key(family));
        QCOMPARE(w->ListModel()->rowCount(), 3);
        QCOMPARE(DataFolder(), QStringList{"address.mdb"});
    }

    void compactKeepsEverything()
    {
        const qint64 family = Fill();
        {
            Transaction bulk(Conn);
            for (int i = 0; i < 3000; ++i) {
                AddRecord(family, u"Contact number %1 with a longish name"_s.arg(i));
            }
            bulk.Commit();
        }
        Conn.Execute(u"DELETE FROM PWDTable WHERE PWDID > 4"_s);
        const QStringList data = Dump();
        const QString db = m_world->folder.DatabasePath();
        const qint64 sizeBefore = QFileInfo(db).size();
        // Leftovers of an interrupted run, which must not be taken for part of the new work file.
        QVERIFY(WriteFile(CompactWorkPath(db), "half a database"));
        QVERIFY(WriteFile(CompactWorkPath(db) + u"-journal"_s, "stale journal"));

        frmMain* w = OpenMain();
        w->LoadTreeData(Key(family));
        Trigger("mnuClearupDB");
        QCOMPARE(m_world->platform.Sequence(), u"102,box,104"_s);
        QCOMPARE(m_world->platform.Boxes().first().text, u"Database compaction finished."_s);
        QVERIFY(Conn.IsOpen()); // with the program's password
        QCOMPARE(Dump(), data);
        QVERIFY(QFileInfo(db).size() < sizeBefore / 4);
        QCOMPARE(DataFolder(), QStringList{"address.mdb"});
        QCOMPARE(NodeKey(w), Key(family));
        QVERIFY(AddRecord(family, u"Eve"_s) > 3000); // keys are never handed out again
    }

    // Cancel in the progress of a backup, a restore or a compaction stops it before anything is
    // replaced: no file is left, the book is as it was and open, and no completion is reported.
    void cancelledChangesNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("backup") << u"mnuBackup"_s;
        QTest::newRow("restore") << u"mnuRestore"_s;
        QTest::newRow("compact") << u"mnuClearupDB"_s;
    }
    void cancelledChangesNothing()
    {
        QFETCH(QString, command);
        const qint64 family = Fill();
        const QString backup = BackupDatabase(Conn, m_out->path(), QDate(2026, 6, 1));
        AddType(u"Only in the current book"_s);
        const QStringList data = Dump();
        const QByteArray bytes = ReadFile(m_world->folder.DatabasePath());
        OpenMain()->LoadTreeData(Key(family));
        BusyProgress::SetShowDelay(0);
        CancelWhenBusy(this, QString());
        Trigger(command.toLatin1().constData(), {command == u"mnuBackup" ? m_out->path() : backup});
        BusyProgress::SetShowDelay(300);
        QVERIFY(Conn.IsOpen());
        QCOMPARE(Dump(), data);
        QCOMPARE(ReadFile(m_world->folder.DatabasePath()), bytes);
        QCOMPARE(DataFolder(), QStringList{"address.mdb"});
        QCOMPARE(Entries(m_out->path()), QStringList{QFileInfo(backup).fileName()});
        for (const auto& box : m_world->platform.Boxes()) {
            QVERIFY2(!box.text.contains(u"complet"_s) && !box.text.contains(u"restored"_s), qPrintable(box.text));
        }
    }

    // A book written with the engine's old 1,024-byte pages opens, is backed up and restored with
    // them; compaction gives it the page size of new books. Nothing is lost on the way.
    void olderPageSizeKept()
    {
        const QString db = m_world->folder.DatabasePath();
        const QString connection = ConnectionStringForFile(db);
        Conn.Close();
        QVERIFY(QFile::remove(db));
        {
            Connection old;
            old.Create(connection, 1024);
            old.ExecuteScript(SchemaScript());
        }
        Conn.Open(connection);
        QCOMPARE(Conn.PageSize(), 1024);
        Fill();
        const QStringList data = Dump();
        const QString backup = BackupDatabase(Conn, m_out->path(), QDate(2026, 6, 1));
        auto pageSizeOf = [](const QString& path) {
            Connection conn;
            conn.Open(ConnectionStringForFile(path));
            Recordset rs;
            rs.Open(u"PRAGMA page_size"_s, conn);
            return std::pair(conn.PageSize(), rs.Integer(0));
        };
        QCOMPARE(pageSizeOf(backup), std::pair(1024, qint64(1024)));
        QCOMPARE(DumpFile(backup), data);

        Conn.Close();
        QCOMPARE(CompactDatabaseFile(db), CompactOutcome::Compacted);
        QCOMPARE(pageSizeOf(db), std::pair(NewBookPageSize, qint64(NewBookPageSize)));
        QCOMPARE(DumpFile(db), data);

        ReplaceDatabaseFile(backup, db);
        QCOMPARE(pageSizeOf(db), std::pair(1024, qint64(1024)));
        QCOMPARE(DumpFile(db), data);

        CreateDatabase(Out(u"new.mdb"_s));
        QCOMPARE(pageSizeOf(Out(u"new.mdb"_s)), std::pair(NewBookPageSize, qint64(NewBookPageSize)));
    }

    void compactMissingDatabase()
    {
        Fill();
        const QString db = m_world->folder.DatabasePath();
        OpenMain();
        QVERIFY(QFile::remove(db));
        const QStringList folder = DataFolder();
        Trigger("mnuClearupDB");
        QCOMPARE(m_world->platform.Sequence(), u"box,102,box,104,103,box,104"_s);
        const QList<RecordingPlatform::Call> boxes = m_world->platform.Boxes();
        QCOMPARE(boxes[0].text, QDir::toNativeSeparators(db) + u"File not fond\uFF01"_s);
        QCOMPARE(boxes[0].icon, MsgIcon::Warning);
        QCOMPARE(boxes[1].text, u"Database compaction finished."_s);
        QCOMPARE(DataFolder(), folder); // no empty database, no work file
        QVERIFY(!Conn.IsOpen());        // reported by the third box; the views are emptied
        QCOMPARE(m_main->TreeView1->topLevelItemCount(), 0);
    }

    void interruptedLosesNothing_data() { AddRows(u"maintenance.txt"_s); }

    // A full disk fails each operation with an error; a child process dies in the middle. Either way
    // the book is as it was, no file is left on the full disk, and the next run does the work.
    void interruptedLosesNothing()
    {
        QFETCH(QString, operation);
        QFETCH(QString, leftover);
        SmallDisk disk(2 * 1024 * 1024);
        if (leftover.isEmpty()) {
            REQUIRE_SMALL_DISK(disk);
        }
        Fill();
        const QString backup = BackupDatabase(Conn, m_out->path(), QDate(2026, 6, 1));
        const QString db = leftover.isEmpty() ? disk.Path() + u"address.mdb"_s : m_world->folder.DatabasePath();
        QVERIFY(!leftover.isEmpty() || QFile::copy(m_world->folder.DatabasePath(), db));
        const QStringList data = DumpFile(db);
        if (leftover.isEmpty()) {
            disk.Fill();
            const QStringList files = Entries(disk.Path());
            try {
                Run(operation, db, operation == u"backup" ? disk.Path() : backup);
                QFAIL("the operation succeeded on a full disk");
            } catch (const AppError& e) {
                QVERIFY2(!e.Description().isEmpty(), qPrintable(e.Description()));
            }
            QCOMPARE(Entries(disk.Path()), files);
            QCOMPARE(DumpFile(db), data);
            return;
        }
        Conn.Close();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TAVOREN_DIE_DURING"_s, operation + u'\n' + db + u'\n' + backup);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 3);
        QVERIFY(DataFolder().contains(leftover));
        QCOMPARE(DumpFile(db), data);
        Run(operation, db, backup);
        if (operation == u"restore") {
            DiscardPreviousDatabase(db);
        }
        QCOMPARE(DataFolder(), QStringList{"address.mdb"});
        // The import's records, a type, and its key counter; the others change no row.
        QCOMPARE(DumpFile(db).size(), data.size() + (operation == u"import" ? 101 : 0));
        QVERIFY(operation == u"import" || DumpFile(db) == data);
    }

    // Every file the program makes for the book is private; a replaced book keeps the mode the user
    // gave it; the settings file is made private whatever its mode was; other files follow the umask.
    void fileModes_data() { AddRows(u"maintenance.txt"_s); }

    void fileModes()
    {
        QFETCH(QString, operation);
        QFETCH(int, before);
        const mode_t umask = ::umask(022);
        const auto restoreUmask = qScopeGuard([&] { ::umask(umask); });
        auto mode = [](const QString& path) {
            return static_cast<int>(std::filesystem::status(path.toStdString()).permissions() &
                                    std::filesystem::perms::all);
        };
        auto setMode = [](const QString& path, int m) {
            std::filesystem::permissions(path.toStdString(), static_cast<std::filesystem::perms>(m));
        };
        Fill();
        const QString db = m_world->folder.DatabasePath();
        if (before != 0 && operation != u"settings") {
            setMode(db, before);
        }
        const QString backup = BackupFilePath(m_out->path(), QDate(2026, 6, 1));
        const QString workFile = operation == u"backup"    ? backup + u".part"_s
                                 : operation == u"compact" ? CompactWorkPath(db)
                                 : operation == u"restore" ? db + u".restore"_s
                                                           : QString();
        int workSeen = 0;
        QString result = operation == u"backup" ? backup : db;
        if (operation == u"create") {
            CreateDatabase(result = Out(u"new.mdb"_s));
        } else if (!workFile.isEmpty()) {
            if (operation != u"backup") {
                QVERIFY(operation == u"compact" || BackupDatabase(Conn, m_out->path(), QDate(2026, 6, 1)) == backup);
                Conn.Close();
            }
            Run(operation, db, operation == u"backup" ? m_out->path() : backup, [&](qint64 done, qint64 total) {
                if (total > 0 && done == total) {
                    workSeen = mode(workFile);
                }
            });
            QVERIFY(operation != u"restore" || mode(PreviousDatabasePath(db)) == before);
        } else if (operation == u"settings") {
            result = IniFile;
            QVERIFY(WriteFile(IniFile, "[General]\nlogin=False\n"));
            setMode(IniFile, before);
            QVERIFY(WriteIni(u"General"_s, u"login"_s, u"True"_s, IniFile));
        } else {
            result = Out(u"contacts.vcf"_s);
            QVERIFY(ReplaceFileContents(result, "BEGIN:VCARD\r\n"));
        }
        QTEST(workSeen, "work");
        QTEST(mode(result), "after");
    }

    // On a full disk the settings stay as they were and the user hears of it: once for all the
    // saves of window and columns, every time for Options OK.
    void settingsOnFullDisk()
    {
        SmallDisk disk;
        REQUIRE_SMALL_DISK(disk);
        IniFile = disk.Path() + u"Tavoren.ini"_s;
        const QByteArray before("[General]\nPlaySound=False\nlogin=False\n");
        QVERIFY(WriteFile(IniFile, before));
        disk.Fill();
        frmMain* w = OpenMain();
        m_world->platform.calls.clear();
        w->close();                 // window state, splitter and columns
        w->LoadTreeData(u"Root"_s); // each list load saves the columns
        w->LoadTreeData(u"Root"_s);
        const QString report =
            u"The settings could not be saved in %1: No space left on device\n"
            "Options, window positions and column widths changed now will not be kept."_s.arg(IniFile);
        QCOMPARE(m_world->platform.Boxes().size(), 1);
        QCOMPARE(m_world->platform.Boxes()[0].text, report);
        for (int i = 0; i < 2; ++i) {
            frmOptions& dialog = Form<frmOptions>();
            dialog.show();
            dialog.findChild<QCheckBox*>(u"chklogin"_s)->setChecked(true);
            QTest::mouseClick(dialog.findChild<QPushButton*>(u"CmdOK"_s), Qt::LeftButton);
            QCOMPARE(m_world->platform.Boxes().size(), 2 + i);
            QCOMPARE(m_world->platform.Boxes().last().text, report);
        }
        QCOMPARE(ReadFile(IniFile), before);
    }
};

int main(int argc, char** argv)
{
    // The child of interruptedLosesNothing: "operation\nbook\nbackup".
    const QStringList victim = QString::fromLocal8Bit(qgetenv("TAVOREN_DIE_DURING")).split(u'\n');
    if (victim.size() == 3) {
        QCoreApplication app(argc, argv);
        // A compaction or restore with its work file complete, an import halfway through its rows.
        Run(victim[0], victim[1], victim[2], [&](qint64 done, qint64 total) {
            if (total > 0 && done >= (victim[0] == u"import" ? total / 2 : total)) {
                std::_Exit(3);
            }
        });
        return 0;
    }
    QApplication app(argc, argv);
    tst_Maintenance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_maintenance.moc"
