// Start-up: folder, language and settings choices, the two switches, the connection and the
// window state kept in the settings file.
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

#include "app/Application.h"
#include "core/AppState.h"
#include "core/Errors.h"
#include "core/OperateIni.h"
#include "core/platform/SystemLocale.h"
#include "store/BookLock.h"
#include "store/Database.h"
#include "store/Maintenance.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/FormState.h"

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

    void versionOnTheCommandLine()
    {
        QProcess program;
        program.start(qEnvironmentVariable("TAVOREN_PROGRAM"), {QStringLiteral("--version")});
        QVERIFY(program.waitForFinished());
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(program.readAllStandardOutput(), QByteArray("Tavoren 1.0.1\n"));
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
