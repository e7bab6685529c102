// Start-up: folder, language and settings choices, the two switches, the connection and the
// window state kept in the settings file.
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>
#include <QWidget>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <thread>

#include "app/Application.h"
#include "app/ImportQueue.h"
#include "app/SingleInstance.h"
#include "core/AppState.h"
#include "core/CommandLine.h"
#include "core/DataLocations.h"
#include "core/Errors.h"
#include "core/OperateIni.h"
#include "core/Version.h"
#include "core/platform/PrivateFolder.h"
#include "core/platform/SystemLocale.h"
#include "main/frmMain.h"
#include "store/BookLock.h"
#include "store/Database.h"
#include "store/Maintenance.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/FormState.h"
#include "ui/Forms.h"

namespace {

// A main window of the given design size, its state restored from the settings file.
std::unique_ptr<QWidget> Restored(QSize design = {400, 300})
{
    auto form = std::make_unique<QWidget>();
    form->setObjectName(QStringLiteral("frmMain"));
    form->resize(design);
    RestoreFormState(form.get());
    return form;
}

QString Stored(const char* key)
{
    return ReadIni(QStringLiteral("frmMain"), QLatin1String(key), {}, IniFile);
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:

    void appFolder()
    {
        QCOMPARE(AppFolderFrom(QStringLiteral("/opt/tavoren")), QStringLiteral("/opt/tavoren/"));
        QCOMPARE(AppFolderFrom(QStringLiteral("/opt/tavoren/")), QStringLiteral("/opt/tavoren/"));
        QCOMPARE(AppFolderFrom(QStringLiteral("/")), QStringLiteral("/"));
        QCOMPARE(AppFolderFrom(QStringLiteral("C:\\")), QStringLiteral("C:\\"));
    }

    void dataLocations_data()
    {
        QTest::addColumn<bool>("datas"); // the program folder holds Datas/
        QTest::addColumn<QString>("xdgConfig");
        QTest::addColumn<QString>("xdgData");
        QTest::addColumn<QString>("settings"); // below the temporary folder
        QTest::addColumn<QString>("book");
        QTest::newRow("program folder with Datas/") << true << "/cfg"
                                                    << ""
                                                    << "/bin/tv.ini"
                                                    << "/bin/Datas/address.mdb";
        QTest::newRow("installed, XDG unset") << false << ""
                                              << ""
                                              << "/home/.config/tavoren/Tavoren.ini"
                                              << "/home/.local/share/tavoren/Datas/address.mdb";
        QTest::newRow("installed, XDG set") << false << "/cfg/"
                                            << "/data"
                                            << "/cfg/tavoren/Tavoren.ini"
                                            << "/data/tavoren/Datas/address.mdb";
        QTest::newRow("installed, relative XDG ignored") << false << "cfg"
                                                         << "./data"
                                                         << "/home/.config/tavoren/Tavoren.ini"
                                                         << "/home/.local/share/tavoren/Datas/address.mdb";
    }

    void dataLocations()
    {
        QFETCH(bool, datas);
        QFETCH(QString, xdgConfig);
        QFETCH(QString, xdgData);
        QTemporaryDir dir;
        const QString tmp = dir.path();
        QDir(tmp).mkpath(datas ? QStringLiteral("bin/Datas") : QStringLiteral("bin"));
        const auto absolute = [&](const QString& path) { return path.startsWith(u'/') ? tmp + path : path; };
        const DataLocations locations = ResolveDataLocations(
            {tmp + QStringLiteral("/bin"), QStringLiteral("tv"), tmp + QStringLiteral("/home"), absolute(xdgConfig),
             absolute(xdgData), tmp + QStringLiteral("/home/Docs"), tmp + QStringLiteral("/share/tavoren")});
        QCOMPARE(locations.portable, datas);
        QTEST(locations.settingsFile.mid(tmp.size()), "settings");
        QTEST(BookPath(locations).mid(tmp.size()), "book");
        QCOMPARE(locations.backupFolder, datas ? QString() : tmp + QStringLiteral("/home/Docs"));
        QCOMPARE(locations.resourceFolder, tmp + (datas ? QStringLiteral("/bin/") : QStringLiteral("/share/tavoren/")));
        if (!datas) {
            // Without an install around it, a copy that cannot keep its data reads its own files.
            QDir(tmp).mkpath(QStringLiteral("bin/Language"));
            const DataLocations unpacked = ResolveDataLocations(
                {tmp + QStringLiteral("/bin"), {}, tmp, {}, {}, {}, tmp + QStringLiteral("/share/tavoren")});
            QCOMPARE(unpacked.resourceFolder, tmp + QStringLiteral("/bin/"));
            QCOMPARE(unpacked.templateBook, tmp + QStringLiteral("/bin/Datas/address.mdb"));
        }
        if (datas) {
            PrepareDataFolders(locations); // a program folder is left as it is
            QVERIFY(QDir(tmp + QStringLiteral("/bin/Datas")).isEmpty());
        }
    }

    // An installed program's first start copies the empty book into private folders; later starts
    // keep the book they find, and a missing template leaves nothing behind.
    void firstStartOfAnInstalledProgram()
    {
        QTemporaryDir dir;
        const QString tmp = dir.path();
        QDir(tmp).mkpath(QStringLiteral("usr/bin"));
        QDir(tmp).mkpath(QStringLiteral("usr/share/tavoren"));
        CreateDatabase(tmp + QStringLiteral("/usr/share/tavoren/address.mdb"));
        const DataLocations locations = ResolveDataLocations({tmp + QStringLiteral("/usr/bin"),
                                                              QStringLiteral("tavoren"),
                                                              tmp + QStringLiteral("/home"),
                                                              {},
                                                              {},
                                                              {},
                                                              tmp + QStringLiteral("/usr/share/tavoren")});
        PrepareDataFolders(locations);
        const QString book = BookPath(locations);
        QCOMPARE(Book::ReadFile(book), Book::ReadFile(locations.templateBook));
        const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QCOMPARE(QFile::permissions(book) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), owner);
        for (const char* folder : {"/home/.config", "/home/.config/tavoren", "/home/.local/share/tavoren",
                                   "/home/.local/share/tavoren/Datas"}) {
            QCOMPARE(QFile::permissions(tmp + QLatin1String(folder)) &
                         ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
                     owner | QFileDevice::ExeOwner);
        }
        QVERIFY(Book::WriteFile(book, "the user's own book"));
        PrepareDataFolders(locations);
        QCOMPARE(Book::ReadFile(book), QByteArray("the user's own book"));

        QVERIFY(QFile::remove(book) && QFile::remove(locations.templateBook));
        QVERIFY_THROWS_EXCEPTION(AppError, PrepareDataFolders(locations));
        QVERIFY(QDir(QFileInfo(book).path()).isEmpty());
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("files");
        using A = CommandLine::Action;
        QTest::newRow("nothing") << QStringList{} << int(A::Run) << QStringList{};
        QTest::newRow("files, relative and as addresses")
            << QStringList{"a.vcf", "/x/../b.csv", "file:///c%20d.vcf"} << int(A::Run)
            << QStringList{"/w/a.vcf", "/b.csv", "/c d.vcf"};
        QTest::newRow("help wins") << QStringList{"--version", "-h", "--bogus"} << int(A::Help) << QStringList{};
        QTest::newRow("version") << QStringList{"-v"} << int(A::Version) << QStringList{};
        QTest::newRow("unknown option") << QStringList{"a.vcf", "--bogus"} << int(A::Error) << QStringList{};
        QTest::newRow("a file named like an option")
            << QStringList{"--", "-x.csv", "-"} << int(A::Run) << QStringList{"/w/-x.csv", "/w/-"};
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        const CommandLine command = ParseCommandLine(arguments, QStringLiteral("/w"));
        QTEST(int(command.action), "action");
        QTEST(command.files, "files");
    }

    void localeIdentifiers_data() { Book::AddRows(QStringLiteral("startup.txt")); }

    void localeIdentifiers()
    {
        QFETCH(QString, locale);
        QFETCH(int, lcid);
        QFETCH(QString, file);
        QCOMPARE(LcidFromLocaleName(locale), lcid);
        QCOMPARE(LanguageFileFor(lcid, QStringLiteral("/p/")), QStringLiteral("/p/Language/") + file);
    }

    void languageFileAndCredit()
    {
        // LC_ALL wins over LANG; an empty variable counts as unset.
        qputenv("LC_ALL", "");
        qputenv("LC_MESSAGES", "zh_TW.UTF-8");
        qputenv("LANG", "zh_CN.UTF-8");
        QCOMPARE(SystemLocaleName(), QStringLiteral("zh_TW.UTF-8"));
        qputenv("LC_ALL", "zh_CN.UTF-8");
        QCOMPARE(SystemLocaleName(), QStringLiteral("zh_CN.UTF-8"));
        qputenv("LC_ALL", "C.UTF-8");
        qunsetenv("LC_MESSAGES");

        QVERIFY(CreditTextFor(1028) != CreditTextFor(2052) && CreditTextFor(2052) != CreditTextFor(1033));
        QCOMPARE(CreditTextFor(3076), CreditTextFor(1033));
        QCOMPARE(SystemCodePageName(), QByteArray("UTF-8"));
    }

    void switches_data() { Book::AddRows(QStringLiteral("startup.txt")); }

    void switches()
    {
        QFETCH(QByteArray, settings);
        QTemporaryDir dir;
        QVERIFY(settings.isNull() || Book::WriteFile(dir.path() + QStringLiteral("/Tavoren.ini"), settings));
        InitApplicationState(dir.path(), QStringLiteral("Tavoren"), 2052);
        QCOMPARE(IniFile, dir.path() + QStringLiteral("/Tavoren.ini"));
        QTEST(SoundEnabled, "sound");
        QTEST(LoginEnabled, "login");
        QCOMPARE(QFile::exists(IniFile), !settings.isNull()); // start-up writes nothing
    }

    void openingTheBook_data() { Book::AddRows(QStringLiteral("startup.txt")); }

    // A book that does not open is fatal and left as it is (never an empty one in its place), and so is
    // the book from before an interrupted restore; once the book opens, that one goes.
    void openingTheBook()
    {
        QFETCH(QString, damage);
        TestProgramFolder folder(false);
        const QString db = folder.DatabasePath();
        QFETCH(QString, statement);
        if (damage == QLatin1String("missing")) {
            QFile::remove(db);
        } else if (!statement.isEmpty()) {
            Conn.Open(BuildConnectionString(folder.Path()));
            Conn.Execute(statement);
            Conn.Close();
        }
        const QString previous = PreviousDatabasePath(db);
        QVERIFY(Book::WriteFile(previous, "the book before an interrupted restore"));
        const bool existed = QFile::exists(db);
        const QByteArray before = Book::ReadFile(db);
        LoginEnabled = damage == QLatin1String("account without a name");
        if (damage == QLatin1String("none")) {
            QVERIFY(OpenDatabaseAndLogIn());
            QCOMPARE(QDir(folder.Path() + QStringLiteral("Datas")).entryList(QDir::Files), QStringList{"address.mdb"});
            // A book of an earlier version is given the indexes this one reads through.
            Recordset rs;
            rs.Open(QStringLiteral("Select count(*) From sqlite_master Where name = 'PWDTable_TypeName'"), Conn);
            QCOMPARE(rs.Integer(0), 1);
            return;
        }
        try {
            OpenDatabaseAndLogIn();
            QFAIL("start-up went on with an unusable database");
        } catch (const AppError& e) {
            const auto* dbError = dynamic_cast<const DbError*>(&e);
            QVERIFY2(LoginEnabled || (dbError && dbError->Number() != 0), qPrintable(e.Description()));
            QVERIFY(!e.Description().isEmpty());
        }
        QVERIFY(LoginEnabled || !Conn.IsOpen());
        QCOMPARE(QFile::exists(db), existed);
        QCOMPARE(Book::ReadFile(db), before);
        QCOMPARE(QFile::exists(previous), !LoginEnabled); // the book itself opened
    }

    // A child process holds the book the way a running copy does, until it is killed.
    void oneCopyPerBook()
    {
        TestProgramFolder folder(false);
        RecordingPlatform platform;
        auto startCopy = [&](QProcess& child) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TAVOREN_HOLD_BOOK"), folder.DatabasePath());
            child.setProcessEnvironment(env);
            child.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(child.waitForStarted());
        };
        QProcess running;
        startCopy(running);
        QVERIFY(running.waitForReadyRead(30000));
        QCOMPARE(running.readAll(), QByteArray("locked\n"));

        QVERIFY(!LockBook());
        // Another name for the same file meets the same lock, and the lock is the holder's alone.
        const QString link = folder.Path() + QStringLiteral("link.mdb");
        QVERIFY(QFile::link(folder.DatabasePath(), link));
        QCOMPARE(BookLock::LockPath(link), BookLock::LockPath(folder.DatabasePath()));
        QVERIFY(!BookLock(link).TryLock());
        QCOMPARE(QFileInfo(BookLock::LockPath(folder.DatabasePath())).permissions() & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(platform.Boxes().size(), 1);
        QCOMPARE(platform.Boxes()[0].text, QStringLiteral("The address book %1 is open in another copy of Tavoren. Use "
                                                          "that window, or close it and start again.")
                                               .arg(folder.DatabasePath()));

        running.kill(); // its lock file stays behind, and is taken over
        QVERIFY(running.waitForFinished());
        QVERIFY(QFile::exists(BookLock::LockPath(folder.DatabasePath())));
        QVERIFY(LockBook());
        QProcess second;
        startCopy(second);
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 4); // refused while this process holds it
        UnlockBook();
        QVERIFY(!QFile::exists(BookLock::LockPath(folder.DatabasePath())));
    }

    // The hand-over socket only ever lives in a folder nobody else can reach or make first.
    void socketFolder_data()
    {
        QTest::addColumn<QString>("runtime"); // what XDG_RUNTIME_DIR names: "private", "shared", "link", or unset
        QTest::addColumn<QString>(
            "own"); // what is at the folder of our own beforehand: "", "private", "shared", "link", "file"
        QTest::addColumn<QString>("chosen"); // "runtime", "own", or "" for no hand-over
        QTest::newRow("runtime folder") << "private"
                                        << ""
                                        << "runtime";
        QTest::newRow("no runtime folder: one of our own") << ""
                                                           << ""
                                                           << "own";
        QTest::newRow("ours from before") << ""
                                          << "private"
                                          << "own";
        QTest::newRow("runtime folder open to others") << "shared"
                                                       << ""
                                                       << "own";
        QTest::newRow("runtime folder a link") << "link"
                                               << ""
                                               << "own";
        QTest::newRow("own folder open to others") << ""
                                                   << "shared"
                                                   << "";
        QTest::newRow("own folder a link to a private one") << ""
                                                            << "link"
                                                            << "";
        QTest::newRow("own folder a file") << "shared"
                                           << "file"
                                           << "";
    }

    void socketFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, own);
        QFETCH(QString, chosen);
        QTemporaryDir dir;
        const QString base = dir.path() + QLatin1Char('/');
        const QByteArray savedTmp = qgetenv("TMPDIR");
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        auto restore = qScopeGuard([&] {
            qputenv("TMPDIR", savedTmp);
            savedRuntime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", savedRuntime);
        });
        auto make = [&](const QString& path, const QString& kind) {
            if (kind == u"private" || kind == u"shared") {
                QVERIFY(QDir().mkpath(path));
                QVERIFY(QFile::setPermissions(
                    path, kind == u"private" ? QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                             : QFileDevice::Permissions(0x7777)));
            } else if (kind == u"link") {
                QVERIFY(QDir().mkpath(base + QStringLiteral("target")));
                QVERIFY(QFile::setPermissions(base + QStringLiteral("target"), QFileDevice::ReadOwner |
                                                                                   QFileDevice::WriteOwner |
                                                                                   QFileDevice::ExeOwner));
                QVERIFY(QFile::link(base + QStringLiteral("target"), path));
            } else if (kind == u"file") {
                QVERIFY(Book::WriteFile(path, "not a folder"));
            }
        };
        QVERIFY(QDir().mkpath(base + QStringLiteral("tmp")));
        qputenv("TMPDIR", (base + QStringLiteral("tmp")).toLocal8Bit());
        const QString ownPath = base + QStringLiteral("tmp/tavoren-") + CurrentUserTag();
        if (runtime.isEmpty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            make(base + QStringLiteral("runtime"), runtime);
            qputenv("XDG_RUNTIME_DIR", (base + QStringLiteral("runtime")).toLocal8Bit());
        }
        make(ownPath, own);
        const QFileInfo before(ownPath);

        const QString expected = chosen == u"runtime" ? base + QStringLiteral("runtime")
                                 : chosen == u"own"   ? ownPath
                                                      : QString();
        QCOMPARE(InstanceSocketFolder(), expected);
        if (chosen == u"own") {
            QVERIFY(IsPrivateFolder(ownPath));
        }
        if (chosen.isEmpty()) {
            // What somebody else put there is left as it was, and nothing listens or is handed over.
            QCOMPARE(QFileInfo(ownPath).permissions(), before.permissions());
            QCOMPARE(QFileInfo(ownPath).isSymLink(), before.isSymLink());
            QCOMPARE(InstanceSocketName(base + QStringLiteral("address.mdb")), QString());
            InstanceServer server;
            QVERIFY(!server.Listen(base + QStringLiteral("address.mdb")));
            QVERIFY(!HandToRunningCopy(base + QStringLiteral("address.mdb"), {}, 100));
        } else {
            QVERIFY(InstanceSocketName(base + QStringLiteral("address.mdb")).startsWith(expected + QLatin1Char('/')));
        }
    }

    void windowStateRoundTrip()
    {
        TestProgramFolder folder(false);
        QWidget form;
        form.setObjectName(QStringLiteral("frmMain"));
        form.resize(640, 480);
        form.move(120, 90);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        SaveFormState(&form);
        const int tpp = TwipsPerPixelX(&form);
        QCOMPARE(Stored("Width"), QString::number(640 * tpp));
        QCOMPARE(Stored("WindowState"), QStringLiteral("0"));
        const auto again = Restored({300, 200});
        QCOMPARE(again->size(), QSize(640, 480));
        QCOMPARE(again->pos(), form.pos());

        // Maximised: only the state is written; the last normal bounds stay.
        form.showMaximized();
        QTRY_VERIFY(form.isMaximized());
        SaveFormState(&form);
        QCOMPARE(Stored("WindowState"), QStringLiteral("2"));
        const auto maximised = Restored();
        QVERIFY(maximised->windowState() & Qt::WindowMaximized);
        QCOMPARE(maximised->size(), QSize(640, 480)); // its normal size
    }

    void windowStateRules()
    {
        TestProgramFolder folder(false);
        QWidget probe;
        const int tpp = TwipsPerPixelX(&probe);

        // Nothing stored: centred on the screen at the design size.
        QFile::remove(IniFile);
        const auto centred = Restored();
        const QRect screen = centred->screen()->geometry();
        QCOMPARE(centred->size(), QSize(400, 300));
        QCOMPARE(centred->pos(),
                 QPoint(screen.x() + (screen.width() - 400) / 2, screen.y() + (screen.height() - 300) / 2));

        // Closed minimised: comes back normal; a negative position keeps the current one.
        QVERIFY(Book::WriteFile(
            IniFile, QStringLiteral("[frmMain]\nWindowState=1\nTop=-48000\nLeft=-48000\nHeight=%1\nWidth=%2\n")
                         .arg(300 * tpp)
                         .arg(500 * tpp)
                         .toLatin1()));
        const QPoint designPos = QWidget().pos();
        const auto minimised = Restored({200, 100});
        QVERIFY(!(minimised->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)));
        QCOMPARE(minimised->size(), QSize(500, 300));
        QCOMPARE(minimised->pos(), designPos);

        // Junk everywhere: the window still opens at a usable size.
        QVERIFY(Book::WriteFile(IniFile, "[frmMain]\nWindowState=x\nTop=abc\nLeft=\nHeight=-5\nWidth=99999999999\n"));
        const auto junk = Restored();
        QVERIFY(junk->width() >= 100 && junk->height() >= 80 && !(junk->windowState() & Qt::WindowMinimized));

        // Halves round to even: 2.5 pixels' worth of twips does not drift.
        QVERIFY(Book::WriteFile(
            IniFile, QStringLiteral("[frmMain]\nHeight=%1.5\nWidth=%2\n").arg(300 * tpp).arg(500 * tpp).toLatin1()));
        QCOMPARE(Restored()->size(), QSize(500, 300));
    }

    // A window saved on another screen or at another scale factor comes back where it can be
    // seen and moved.
    void placeOnScreen_data()
    {
        QTest::addColumn<QRect>("wanted");
        QTest::addColumn<QList<QRect>>("areas");
        QTest::addColumn<QRect>("placed");
        const QRect laptop(0, 0, 1280, 760);
        const QRect right(1280, 0, 1920, 1050);
        QTest::newRow("on the screen") << QRect(100, 100, 640, 480) << QList<QRect>{laptop}
                                       << QRect(100, 100, 640, 480);
        QTest::newRow("on the second screen")
            << QRect(1500, 100, 640, 480) << QList<QRect>{laptop, right} << QRect(1500, 100, 640, 480);
        QTest::newRow("second screen gone")
            << QRect(1500, 100, 640, 480) << QList<QRect>{laptop} << QRect(640, 100, 640, 480);
        QTest::newRow("half off the bottom")
            << QRect(100, 600, 640, 480) << QList<QRect>{laptop} << QRect(100, 280, 640, 480);
        QTest::newRow("larger than the screen (200 %)")
            << QRect(50, 50, 2560, 1520) << QList<QRect>{laptop} << QRect(0, 0, 1280, 760);
        QTest::newRow("mostly on the second")
            << QRect(1000, 100, 800, 400) << QList<QRect>{laptop, right} << QRect(1280, 100, 800, 400);
    }
    void placeOnScreen()
    {
        QFETCH(QRect, wanted);
        QFETCH(QList<QRect>, areas);
        QTEST(PlaceOnScreen(wanted, areas), "placed");
    }

    // The stored bounds of a larger screen: the window opens inside this one.
    void offScreenPositionMovedOn()
    {
        TestProgramFolder folder(false);
        QWidget probe;
        const int tpp = TwipsPerPixelX(&probe);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(
            Book::WriteFile(IniFile, QStringLiteral("[frmMain]\nWindowState=0\nTop=%1\nLeft=%2\nHeight=%3\nWidth=%4\n")
                                         .arg(100 * tpp)
                                         .arg((area.right() + 400) * tpp)
                                         .arg(300 * tpp)
                                         .arg(500 * tpp)
                                         .toLatin1()));
        const auto restored = Restored();
        QVERIFY2(area.contains(restored->frameGeometry()) || area.contains(restored->geometry()),
                 qPrintable(QStringLiteral("%1,%2").arg(restored->x()).arg(restored->y())));
        QCOMPARE(restored->size(), QSize(500, 300));
    }

    // A second start hands the window to the front: minimised from maximised, it comes back
    // maximised.
    void broughtToFrontStaysMaximised()
    {
        QWidget window;
        window.showMaximized();
        QTRY_VERIFY(window.isMaximized());
        window.setWindowState(window.windowState() | Qt::WindowMinimized);
        QTRY_VERIFY(window.isMinimized());
        ShowInFront(&window);
        QTRY_VERIFY(!window.isMinimized());
        QVERIFY(window.isMaximized());
    }

    void qtTextsFollowTheLanguage_data() { Book::AddRows(QStringLiteral("startup.txt")); }

    // The standard buttons of message boxes and the file dialogs of backup, restore, import and
    // export speak the language of the language file.
    void qtTextsFollowTheLanguage()
    {
        QFETCH(int, lcid);
        QCOMPARE(InstallQtTranslations(lcid), lcid != 1033);
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QFileDialog chooser;
        chooser.setOption(QFileDialog::DontUseNativeDialog);
        const QStringList texts{buttons.button(QDialogButtonBox::Ok)->text(),
                                buttons.button(QDialogButtonBox::Cancel)->text(),
                                chooser.findChild<QLabel*>(QStringLiteral("lookInLabel"))->text()};
        qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator*>()); // each takes itself out
        QTEST(texts, "texts");
    }

    // Files given on the command line (or by a later start) wait for the main window and for any
    // open dialog, then get one confirmation for all of them.
    void givenFilesAreImportedOnceTheWindowIsFree()
    {
        TestProgramFolder folder;
        RecordingPlatform platform;
        const QString file = folder.Path() + QStringLiteral("given.vcf");
        QVERIFY(Book::WriteFile(file, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nEND:VCARD\r\n"));
        ImportQueue queue([](const QStringList& given) { Form<frmMain>().ImportFiles(given); });
        queue.Add({file, folder.Path() + QStringLiteral("missing.csv")});
        QCoreApplication::processEvents();
        QVERIFY(platform.Boxes().isEmpty()); // no window yet: the login may still be running

        Form<frmMain>().show();
        QDialog busy(&Form<frmMain>());
        busy.setModal(true);
        busy.show();
        queue.SetReady();
        QCoreApplication::processEvents();
        QVERIFY(platform.Boxes().isEmpty());

        platform.answers = {MsgResult::Cancel};
        busy.close();
        // Both files in one question, a line for each.
        QTRY_COMPARE(platform.Boxes().size(), 1);
        QCOMPARE(platform.Boxes()[0].text, QStringLiteral("Import 1 contact?\ngiven.vcf: 1 contact read\n"
                                                          "The file could not be read: missing.csv\n"
                                                          "Types: Imported (1, new)"));
        QCOMPARE(Book::Contents(), QStringList{QStringLiteral("|")}); // cancelled: nothing added
        FormInstance<frmMain>::Unload();
    }

    // A later start hands over any number of files, however long the list: here some 5 MB of
    // paths, far beyond what one read of the socket brings. A path beyond any the system allows
    // ends the request.
    void handOverAnyNumberOfFiles()
    {
        QTemporaryDir folder;
        const QString book = folder.filePath(QStringLiteral("address.mdb"));
        InstanceServer running;
        QVERIFY(running.Listen(book));
        QSignalSpy requested(&running, &InstanceServer::Requested);
        QStringList files;
        for (int i = 0; i < 20000; ++i) {
            files.append(QStringLiteral("/home/someone/contacts/%1/").arg(i) + QString(100, QChar(u'\u00E9')) +
                         QStringLiteral(".vcf"));
        }
        bool handed = false;
        std::thread later([&] { handed = HandToRunningCopy(book, files, 10000); });
        QTRY_COMPARE_WITH_TIMEOUT(requested.size(), 1, 20000);
        later.join();
        QVERIFY(handed);
        QCOMPARE(requested[0][0].toStringList(), files);

        later = std::thread([&] { handed = HandToRunningCopy(book, {QString(20000, QChar(u'x'))}, 2000); });
        QTest::qWait(100);
        QTRY_VERIFY_WITH_TIMEOUT(!handed, 5000);
        later.join();
        QVERIFY(!handed);
        QCOMPARE(requested.size(), 1);
    }

    void versionOnTheCommandLine()
    {
        QProcess program;
        program.start(qEnvironmentVariable("TAVOREN_PROGRAM"), {QStringLiteral("--version")});
        QVERIFY(program.waitForFinished());
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(program.readAllStandardOutput(), QByteArray("Tavoren " TAVOREN_VERSION "\n"));
    }
};

int main(int argc, char** argv)
{
    // The child of oneCopyPerBook: takes the book and holds it until killed.
    const QByteArray book = qgetenv("TAVOREN_HOLD_BOOK");
    if (!book.isEmpty()) {
        QCoreApplication app(argc, argv);
        BookLock lock(QString::fromLocal8Bit(book));
        if (!lock.TryLock()) {
            return 4;
        }
        std::fputs("locked\n", stdout);
        std::fflush(stdout);
        char c = 0;
        while (std::fread(&c, 1, 1, stdin) == 1) {
        }
        return 0;
    }
    QApplication app(argc, argv);
    tst_Startup test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_startup.moc"
