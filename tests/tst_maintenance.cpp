// Backup, restore and compaction of the address book on real files, headless and through the main
// window's commands; the Options and About dialogs.
#include "access/frmLogin.h"
#include "app/AppState.h"
#include "app/Common.h"
#include "app/Errors.h"
#include "app/Forms.h"
#include "app/OperateIni.h"
#include "app/Startup.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmOptions.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Maintenance.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <cstdlib>
#include <memory>

namespace {

qint64 AddType(const QString& name)
{
    Conn.Execute(QStringLiteral("INSERT INTO PWDType (TypeName, Description) VALUES (?, 'd')"), {name});
    return Conn.LastInsertId();
}

qint64 AddRecord(qint64 typeNo, const QString& name)
{
    Conn.Execute(QStringLiteral("INSERT INTO PWDTable (TypeNo, Name, EMailList, Url) VALUES (?, ?, ?, 'http://x')"),
                 {typeNo, Encrypt(name), Encrypt(QStringLiteral("a@b.c"))});
    return Conn.LastInsertId();
}

// Two types with records and an account; returns the first type's number.
qint64 Fill()
{
    const qint64 family = AddType(QStringLiteral("Family"));
    for (const char* name : {"Anna", "Bo", "Chloé"}) {
        AddRecord(family, QString::fromUtf8(name));
    }
    AddRecord(AddType(QStringLiteral("Arbeit 工作")), QStringLiteral("张三"));
    InsertUser(Conn, QStringLiteral("me"), QStringLiteral("pw"), QStringLiteral("q"), QStringLiteral("a"));
    return family;
}

// Every row of every table, the key counters included.
QStringList Dump(Connection& conn)
{
    QStringList rows;
    for (const char* table : {"PWDType", "PWDTable", "Users", "sqlite_sequence"}) {
        Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(QLatin1String(table)), conn, LockType::ReadOnly);
        for (; !rs.IsEOF(); rs.MoveNext()) {
            QStringList cells{QLatin1String(table)};
            for (int i = 0; i < rs.FieldCount(); ++i) {
                cells.append(rs.IsNull(i) ? QStringLiteral("<null>") : rs.Text(i));
            }
            rows.append(cells.join(u'|'));
        }
    }
    return rows;
}

QStringList DumpFile(const QString& path)
{
    Connection conn;
    conn.Open(ConnectionStringForFile(path));
    return Dump(conn);
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QString NodeKey(const frmMain* w)
{
    return w->TreeView1->currentItem()->data(0, frmMain::NodeKeyRole).toString();
}

} // namespace

class tst_Maintenance : public QObject
{
    Q_OBJECT

    std::unique_ptr<RecordingPlatform> m_platform;
    std::unique_ptr<TestProgramFolder> m_folder;
    std::unique_ptr<QTemporaryDir> m_out;
    QPointer<frmMain> m_main;

    frmMain* OpenMain()
    {
        m_main = new frmMain();
        m_platform->calls.clear();
        return m_main;
    }
    void Trigger(const char* command)
    {
        m_platform->calls.clear();
        m_main->findChild<QAction*>(QLatin1String(command))->trigger();
    }
    QString Out(const QString& name) const { return m_out->filePath(name); }
    QStringList DataFolder() const { return Entries(m_folder->Path() + QStringLiteral("Datas")); }

private slots:
    void init()
    {
        m_platform = std::make_unique<RecordingPlatform>();
        m_folder = std::make_unique<TestProgramFolder>();
        m_out = std::make_unique<QTemporaryDir>();
    }

    void cleanup()
    {
        delete m_main.data();
        FormInstance<frmLogin>::Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        m_folder.reset();
        m_platform.reset();
    }

    void backupNameAndPlace_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("name");
        QTest::newRow("no trailing separator") << QDate(2026, 12, 5) << ""
                                               << "MVBackup1205.mvb";
        QTest::newRow("trailing separator, leap day") << QDate(2028, 2, 29) << "/"
                                                      << "MVBackup0229.mvb";
    }

    void backupNameAndPlace()
    {
        QFETCH(QDate, date);
        QFETCH(QString, separator);
        QFETCH(QString, name);
        Fill();
        QCOMPARE(BackupDatabase(Conn, m_out->path() + separator, date), Out(name));
        const QStringList first = Dump(Conn);
        QCOMPARE(DumpFile(Out(name)), first);

        // Another year, same day: the later backup replaces the earlier one without a trace of it.
        AddRecord(AddType(QStringLiteral("Later")), QStringLiteral("Dora"));
        BackupDatabase(Conn, m_out->path() + separator, date.addYears(4));
        QCOMPARE(Entries(m_out->path()), QStringList{name});
        QCOMPARE(DumpFile(Out(name)), Dump(Conn));
        QVERIFY(DumpFile(Out(name)) != first);
    }

    // A failed copy shows nothing, leaves no file behind and keeps the book open and whole.
    void backupFailureLeavesNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("target is a directory") << "directory";
        QTest::newRow("folder missing") << "missing";
        QTest::newRow("read-only folder") << "read-only";
    }

    void backupFailureLeavesNothing()
    {
        QFETCH(QString, fault);
        Fill();
        const QDate today = QDate::currentDate();
        QString folder = m_out->path();
        const auto writable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        if (fault == QLatin1String("directory")) {
            QVERIFY(QDir(folder).mkdir(BackupFileName(today)));
        } else if (fault == QLatin1String("missing")) {
            folder += QStringLiteral("/gone");
        } else {
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            if (QFile probe(Out(QStringLiteral("probe"))); probe.open(QIODevice::WriteOnly)) {
                probe.remove();
                QFile::setPermissions(folder, writable);
                QSKIP("this user writes into read-only folders (root)");
            }
        }
        const QStringList before = Entries(m_out->path());
        const QStringList data = Dump(Conn);
        QVERIFY_THROWS_EXCEPTION(AppError, BackupDatabase(Conn, folder, today));
        OpenMain();
        m_platform->files.push_back(folder);
        Trigger("mnuBackup");
        QCOMPARE(m_platform->Sequence(), QStringLiteral("102,folder,104"));
        QFile::setPermissions(m_out->path(), writable);
        QCOMPARE(Entries(m_out->path()), before);
        QVERIFY(Conn.IsOpen());
        QCOMPARE(Dump(Conn), data);
    }

    // When a restored book will not open, the previous one goes back in place.
    void restoreCanBeReverted()
    {
        Fill();
        BackupDatabase(Conn, m_out->path(), QDate(2026, 6, 1));
        AddType(QStringLiteral("Only in the current book"));
        const QStringList current = Dump(Conn);
        Conn.Close();
        const QString db = m_folder->DatabasePath();
        ReplaceDatabaseFile(Out(QStringLiteral("MVBackup0601.mvb")), db);
        QCOMPARE(DumpFile(db), DumpFile(Out(QStringLiteral("MVBackup0601.mvb"))));
        RevertDatabaseFile(db);
        QCOMPARE(DumpFile(db), current);
        QCOMPARE(DataFolder(), QStringList{"address.mdb"});
    }

    void backupAndRestoreThroughMainWindow()
    {
        const qint64 family = Fill();
        const QString familyKey = QStringLiteral("_%1").arg(family);
        frmMain* w = OpenMain();
        w->LoadTreeData(familyKey);
        const QStringList original = Dump(Conn);

        // Backup while the window holds the book open.
        m_platform->files.push_back(m_out->path());
        Trigger("mnuBackup");
        QCOMPARE(m_platform->Sequence(), QStringLiteral("102,folder,104,102,box,104"));
        QCOMPARE(m_platform->Boxes().first().text, QStringLiteral("Backup complete!"));
        const QString name = BackupFileName(QDate::currentDate());
        QCOMPARE(Entries(m_out->path()), QStringList{name});

        // Changes after the backup; a cancelled confirmation keeps them.
        Conn.Execute(QStringLiteral("DELETE FROM PWDTable WHERE TypeNo = ?"), {family});
        AddType(QStringLiteral("New since"));
        const QStringList changed = Dump(Conn);
        w->Refresh();
        m_platform->files.push_back(Out(name));
        m_platform->answers.push_back(MsgResult::Cancel);
        Trigger("mnuRestore");
        QCOMPARE(m_platform->Sequence(), QStringLiteral("102,open,104,101,box,104"));
        QCOMPARE(m_platform->Boxes().first().buttons, MsgButtons::OkCancel);
        QCOMPARE(Dump(Conn), changed);

        m_platform->files.push_back(Out(name));
        Trigger("mnuRestore");
        QCOMPARE(m_platform->Sequence(), QStringLiteral("102,open,104,101,box,104,102,box,104"));
        QCOMPARE(m_platform->Boxes().last().text, QStringLiteral("The database has been restored."));
        QVERIFY(Conn.IsOpen());
        QCOMPARE(Dump(Conn), original);
        QCOMPARE(NodeKey(w), familyKey);
        QCOMPARE(w->ListModel()->rowCount(), 3);
        QCOMPARE(DataFolder(), QStringList{"address.mdb"});
    }

    void restoreRefusesForeignFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text file") << "text";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("address book with another password") << "password";
        QTest::newRow("another program's database") << "foreign";
    }

    void restoreRefusesForeignFiles()
    {
        QFETCH(QString, kind);
        Fill();
        const QString candidate = Out(QStringLiteral("MVBackup0101.mvb"));
        if (kind == QLatin1String("text") || kind == QLatin1String("empty")) {
            WriteFile(candidate, kind == QLatin1String("text") ? "Name,Phone\nAnna,123\n" : "");
        } else if (kind == QLatin1String("password")) {
            BackupDatabase(Conn, m_out->path(), QDate(2026, 1, 1));
            Connection rekey;
            rekey.Open(ConnectionStringForFile(candidate));
            rekey.Execute(QStringLiteral("PRAGMA rekey = 'other'"));
        } else {
            Connection other; // keyed like ours, tables of its own
            other.Create(ConnectionStringForFile(candidate));
            other.Execute(QStringLiteral("CREATE TABLE Notes (Id INTEGER PRIMARY KEY, Text TEXT)"));
        }
        const QByteArray before = Bytes(m_folder->DatabasePath());
        OpenMain();
        m_platform->files.push_back(candidate);
        Trigger("mnuRestore");
        QCOMPARE(m_platform->Sequence(), QStringLiteral("102,open,104,101,box,104"));
        QCOMPARE(m_platform->Boxes().first().icon, MsgIcon::Warning);
        QCOMPARE(m_platform->Boxes().first().text, QStringLiteral("The file is not a backup of this address book."));
        QVERIFY(Conn.IsOpen());
        QVERIFY(Bytes(m_folder->DatabasePath()) == before);
        QCOMPARE(DataFolder(), QStringList{"address.mdb"});
    }

    void compactKeepsEverything()
    {
        const qint64 family = Fill();
        {
            Transaction bulk(Conn);
            for (int i = 0; i < 3000; ++i) {
                AddRecord(family, QStringLiteral("Contact number %1 with a longish name").arg(i));
            }
            bulk.Commit();
        }
        Conn.Execute(QStringLiteral("DELETE FROM PWDTable WHERE PWDID > 4"));
        const QStringList data = Dump(Conn);
        const qint64 sizeBefore = QFileInfo(m_folder->DatabasePath()).size();
        // Leftovers of an interrupted run, which must not be taken for part of the new work file.
        const QString work = CompactWorkPath(m_folder->DatabasePath());
        WriteFile(work, "half a database");
        WriteFile(work + QStringLiteral("-journal"), "stale journal");

        frmMain* w = OpenMain();
        w->LoadTreeData(QStringLiteral("_%1").arg(family));
        Trigger("mnuClearupDB");
        QCOMPARE(m_platform->Sequence(), QStringLiteral("102,box,104"));
        QCOMPARE(m_platform->Boxes().first().text, QStringLiteral("Database compaction finished."));
        QVERIFY(Conn.IsOpen()); // with the program's password
        QCOMPARE(Dump(Conn), data);
        QVERIFY(QFileInfo(m_folder->DatabasePath()).size() < sizeBefore / 4);
        QCOMPARE(DataFolder(), QStringList{"address.mdb"});
        QCOMPARE(NodeKey(w), QStringLiteral("_%1").arg(family));
        QVERIFY(AddRecord(family, QStringLiteral("Eve")) > 3000); // keys are never handed out again
    }

    void compactMissingDatabase()
    {
        Fill();
        const QString db = m_folder->DatabasePath();
        OpenMain();
        QVERIFY(QFile::remove(db));
        const QStringList folder = DataFolder();
        Trigger("mnuClearupDB");
        QCOMPARE(m_platform->Sequence(), QStringLiteral("box,102,box,104,103,box,104"));
        const QList<RecordingPlatform::Call> boxes = m_platform->Boxes();
        QCOMPARE(boxes[0].text, QDir::toNativeSeparators(db) + QStringLiteral("File not fond\uFF01"));
        QCOMPARE(boxes[0].icon, MsgIcon::Warning);
        QCOMPARE(boxes[1].text, QStringLiteral("Database compaction finished."));
        QCOMPARE(DataFolder(), folder); // no empty database, no work file
        QVERIFY(!Conn.IsOpen());        // reported by the third box; the views are emptied
        QCOMPARE(m_main->TreeView1->topLevelItemCount(), 0);
    }

    void killedBeforeRenameLosesNothing()
    {
        Fill();
        const QStringList data = Dump(Conn);
        Conn.Close();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TAVOREN_COMPACT_AND_DIE"), m_folder->DatabasePath());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 3);
        const QString work = CompactWorkPath(m_folder->DatabasePath());
        QVERIFY(QFileInfo::exists(work)); // it died with the work file complete, before the rename
        QCOMPARE(DumpFile(m_folder->DatabasePath()), data);
        QCOMPARE(CompactDatabaseFile(m_folder->DatabasePath()), CompactOutcome::Compacted);
        QVERIFY(!QFileInfo::exists(work));
        QCOMPARE(DumpFile(m_folder->DatabasePath()), data);
    }

    void options_data()
    {
        QTest::addColumn<bool>("soundsBefore");
        QTest::addColumn<bool>("sounds");
        QTest::addColumn<bool>("login");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("clicks"); // click sounds heard, as the sound was before
        QTest::newRow("sounds and login off, OK still clicks") << true << false << false << "CmdOK" << 1;
        QTest::newRow("sounds on, OK is silent") << false << true << true << "CmdOK" << 0;
        QTest::newRow("Cancel") << true << false << false << "CmdCancel" << 1;
    }

    void options()
    {
        QFETCH(bool, soundsBefore);
        QFETCH(bool, sounds);
        QFETCH(bool, login);
        QFETCH(QString, button);
        QFETCH(int, clicks);
        SoundEnabled = soundsBefore;
        frmOptions& dialog = Form<frmOptions>();
        dialog.show();
        auto* chkSounds = dialog.findChild<QCheckBox*>(QStringLiteral("ChkSounds"));
        auto* chkLogin = dialog.findChild<QCheckBox*>(QStringLiteral("chklogin"));
        QCOMPARE(chkSounds->isChecked(), soundsBefore);
        QVERIFY(chkLogin->isChecked());
        chkSounds->setChecked(sounds);
        chkLogin->setChecked(login);
        QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
        QVERIFY(FormInstance<frmOptions>::IfLoaded() == nullptr);
        QCOMPARE(m_platform->Sounds().count(SoundClick), clicks);
        if (button != QLatin1String("CmdOK")) {
            QCOMPARE(SoundEnabled, soundsBefore);
            QVERIFY(LoginEnabled);
            QVERIFY(!QFileInfo::exists(IniFile));
            return;
        }
        // Saved, and the next start reads both back.
        SoundEnabled = !sounds;
        LoginEnabled = !login;
        InitApplicationState(m_folder->Path(), QStringLiteral("Tavoren"), 1033);
        QCOMPARE(SoundEnabled, sounds);
        QCOMPARE(LoginEnabled, login);
    }

    void about_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("lcid");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("version");
        QTest::newRow("English") << "eng" << 1033 << "Tavoren Address Book"
                                 << "Version V1.0.0";
        QTest::newRow("Simplified Chinese") << "chs" << 2052 << "Tavoren 通讯录"
                                            << "版本 V1.0.0";
        QTest::newRow("Traditional Chinese") << "cht" << 1028 << "Tavoren 通訊錄"
                                             << "版本 V1.0.0";
    }

    void about()
    {
        QFETCH(QString, language);
        QFETCH(int, lcid);
        QFETCH(QString, title);
        QFETCH(QString, version);
        m_folder->UseLanguage(language);
        CreditText = CreditTextFor(lcid);
        frmAbout& dialog = Form<frmAbout>();
        dialog.show();
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("SkinLabel3"))->text(), title);
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lbl(1)"))->text(), version);
        const QString credit = dialog.findChild<QLabel*>(QStringLiteral("lbl(0)"))->text();
        QVERIFY2(credit.endsWith(CreditText) && credit.startsWith(QLatin1String("Copyright")), qPrintable(credit));

        QTest::mouseClick(dialog.findChild<QLabel*>(QStringLiteral("lblMail")), Qt::LeftButton);
        QCOMPARE(m_platform->Sequence(), QStringLiteral("104,url"));
        QCOMPARE(m_platform->calls.last().text, QStringLiteral("mailto:") + frmAbout::MailAddress());
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("CmdOK")), Qt::LeftButton);
        QVERIFY(FormInstance<frmAbout>::IfLoaded() == nullptr);
        QCOMPARE(m_platform->Sounds(), (QList<int>{SoundClick, SoundClick}));
    }
};

int main(int argc, char** argv)
{
    // The child of killedBeforeRenameLosesNothing: it dies the moment the work file is complete.
    const QByteArray victim = qgetenv("TAVOREN_COMPACT_AND_DIE");
    if (!victim.isEmpty()) {
        QCoreApplication app(argc, argv);
        CompactDatabaseFile(QString::fromLocal8Bit(victim), [](qint64 done, qint64 total) {
            if (total > 0 && done == total) {
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
