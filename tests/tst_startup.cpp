// Start-up: folder, language and settings choices, the two switches, the connection and the
// window state kept in the settings file.
#include "app/AppState.h"
#include "app/Errors.h"
#include "app/FormState.h"
#include "app/Main.h"
#include "app/OperateIni.h"
#include "app/Startup.h"
#include "app/platform/SystemLocale.h"
#include "store/Database.h"
#include "tests/support/TestSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QScreen>
#include <QWidget>
#include <QtTest>

namespace {

QByteArray Checksum(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void appFolder_data();
    void appFolder();
    void localeIdentifiers_data();
    void localeIdentifiers();
    void languageFileAndCredit();
    void switches_data();
    void switches();
    void databaseFailuresAreFatalAndHarmless_data();
    void databaseFailuresAreFatalAndHarmless();
    void loginOffOpensDirectly();
    void nullAccountNameIsFatal();
    void windowStateRoundTrip();
    void windowStateRules();
};

void tst_Startup::appFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ordinary") << "/opt/tavoren"
                              << "/opt/tavoren/";
    QTest::newRow("already ends in a separator") << "/opt/tavoren/"
                                                 << "/opt/tavoren/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("drive root") << "C:\\"
                                << "C:\\";
}

void tst_Startup::appFolder()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(AppFolderFrom(folder), expected);
}

void tst_Startup::localeIdentifiers_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("lcid");
    QTest::addColumn<QString>("file");
    QTest::newRow("Taiwan") << "zh_TW.UTF-8" << 1028 << "mvlcht.ini";
    QTest::newRow("PRC") << "zh_CN.UTF-8" << 2052 << "mvlchs.ini";
    QTest::newRow("PRC, GBK") << "zh_CN.GBK" << 2052 << "mvlchs.ini";
    QTest::newRow("Hong Kong") << "zh_HK.UTF-8" << 3076 << "mvleng.ini";
    QTest::newRow("Singapore") << "zh_SG" << 4100 << "mvleng.ini";
    QTest::newRow("Macao") << "zh_MO.UTF-8" << 5124 << "mvleng.ini";
    QTest::newRow("US English") << "en_US.UTF-8" << 1033 << "mvleng.ini";
    QTest::newRow("German with modifier") << "de_DE.UTF-8@euro" << 1031 << "mvleng.ini";
    QTest::newRow("C") << "C" << 1033 << "mvleng.ini";
    QTest::newRow("nothing set") << "" << 1033 << "mvleng.ini";
}

void tst_Startup::localeIdentifiers()
{
    QFETCH(QString, locale);
    QFETCH(int, lcid);
    QFETCH(QString, file);
    QCOMPARE(LcidFromLocaleName(locale), lcid);
    QCOMPARE(LanguageFileFor(lcid, QStringLiteral("/p/")), QStringLiteral("/p/Language/") + file);
}

void tst_Startup::languageFileAndCredit()
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

    QVERIFY(CreditTextFor(1028) != CreditTextFor(2052));
    QVERIFY(CreditTextFor(2052) != CreditTextFor(1033));
    QCOMPARE(CreditTextFor(3076), CreditTextFor(1033));
    QCOMPARE(SystemCodePageName(), QByteArray("UTF-8"));
}

void tst_Startup::switches_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("sound");
    QTest::addColumn<bool>("login");
    QTest::newRow("no file") << QByteArray() << true << true;
    QTest::newRow("no General section") << QByteArray("[frmMain]\nTop=100\n") << true << true;
    QTest::newRow("both off") << QByteArray("[General]\nPlaySound=False\nlogin=False\n") << false << false;
    QTest::newRow("any case, blanks") << QByteArray("[general]\n PLAYSOUND = false \nLogin=TRUE\n") << false << true;
    QTest::newRow("junk falls back to on")
        << QByteArray("[General]\nPlaySound=perhaps\nlogin=\x01\xff\n") << true << true;
}

void tst_Startup::switches()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, sound);
    QFETCH(bool, login);
    QTemporaryDir dir;
    if (!settings.isNull()) {
        WriteFile(dir.path() + QStringLiteral("/Tavoren.ini"), settings);
    }
    InitApplicationState(dir.path(), QStringLiteral("Tavoren"), 2052);
    QCOMPARE(AppFolder, dir.path() + QLatin1Char('/'));
    QCOMPARE(IniFile, dir.path() + QStringLiteral("/Tavoren.ini"));
    QCOMPARE(LangFile, dir.path() + QStringLiteral("/Language/mvlchs.ini"));
    QCOMPARE(SoundEnabled, sound);
    QCOMPARE(LoginEnabled, login);
    // Start-up writes nothing.
    QCOMPARE(QFile::exists(IniFile), !settings.isNull());
}

void tst_Startup::databaseFailuresAreFatalAndHarmless_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("missing") << "missing";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("truncated") << "truncated";
    QTest::newRow("text file") << "text";
    QTest::newRow("another password") << "password";
    QTest::newRow("no Users table") << "nousers";
}

void tst_Startup::databaseFailuresAreFatalAndHarmless()
{
    QFETCH(QString, damage);
    TestProgramFolder folder(false);
    const QString db = folder.DatabasePath();
    if (damage == QLatin1String("missing")) {
        QFile::remove(db);
    } else if (damage == QLatin1String("empty")) {
        WriteFile(db, QByteArray());
    } else if (damage == QLatin1String("truncated")) {
        QFile f(db);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(1024);
        f.close();
        WriteFile(db, head);
    } else if (damage == QLatin1String("text")) {
        WriteFile(db, "Name,Phone\nAnna,123\n");
    } else if (damage == QLatin1String("password")) {
        Conn.Open(BuildConnectionString(folder.Path()));
        Conn.Execute(QStringLiteral("PRAGMA rekey = 'another'"));
        Conn.Close();
    } else if (damage == QLatin1String("nousers")) {
        Conn.Open(BuildConnectionString(folder.Path()));
        Conn.Execute(QStringLiteral("DROP TABLE Users"));
        Conn.Close();
    }
    const bool existed = QFile::exists(db);
    const QByteArray before = Checksum(db);
    LoginEnabled = false;
    try {
        OpenDatabaseAndLogIn();
        QFAIL("start-up went on with an unusable database");
    } catch (const DbError& e) {
        QVERIFY2(e.Number() != 0, qPrintable(e.Description()));
        QVERIFY(!e.Description().isEmpty());
    }
    QVERIFY(!Conn.IsOpen());
    QCOMPARE(QFile::exists(db), existed); // never an empty database in its place
    QCOMPARE(Checksum(db), before);
}

void tst_Startup::loginOffOpensDirectly()
{
    TestProgramFolder folder(false);
    LoginEnabled = false;
    QVERIFY(OpenDatabaseAndLogIn());
    QVERIFY(Conn.IsOpen());
    QVERIFY(CurrentUser.isEmpty());
}

void tst_Startup::nullAccountNameIsFatal()
{
    TestProgramFolder folder;
    Conn.Execute(QStringLiteral("INSERT INTO Users (UserName, Password) VALUES (NULL, 'AB')"));
    Conn.Close();
    LoginEnabled = true;
    QVERIFY_THROWS_EXCEPTION(AppError, OpenDatabaseAndLogIn());
}

void tst_Startup::windowStateRoundTrip()
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
    QCOMPARE(ReadIni(QStringLiteral("frmMain"), QStringLiteral("Width"), {}, IniFile), QString::number(640 * tpp));
    QCOMPARE(ReadIni(QStringLiteral("frmMain"), QStringLiteral("WindowState"), {}, IniFile), QStringLiteral("0"));

    QWidget again;
    again.setObjectName(QStringLiteral("frmMain"));
    again.resize(300, 200);
    RestoreFormState(&again);
    QCOMPARE(again.size(), QSize(640, 480));
    QCOMPARE(again.pos(), form.pos());

    // Maximised: only the state is written; the last normal bounds stay.
    form.showMaximized();
    QTRY_VERIFY(form.isMaximized());
    SaveFormState(&form);
    QCOMPARE(ReadIni(QStringLiteral("frmMain"), QStringLiteral("WindowState"), {}, IniFile), QStringLiteral("2"));
    QCOMPARE(ReadIni(QStringLiteral("frmMain"), QStringLiteral("Width"), {}, IniFile), QString::number(640 * tpp));
    QWidget maximised;
    maximised.setObjectName(QStringLiteral("frmMain"));
    RestoreFormState(&maximised);
    QVERIFY(maximised.windowState() & Qt::WindowMaximized);
    QCOMPARE(maximised.size(), QSize(640, 480)); // its normal size
}

void tst_Startup::windowStateRules()
{
    TestProgramFolder folder(false);
    QWidget probe;
    const int tpp = TwipsPerPixelX(&probe);

    // Closed minimised: comes back normal; a negative position keeps the current one.
    WriteFile(IniFile, QStringLiteral("[frmMain]\nWindowState=1\nTop=-48000\nLeft=-48000\nHeight=%1\nWidth=%2\n")
                           .arg(300 * tpp)
                           .arg(500 * tpp)
                           .toLatin1());
    QWidget minimised;
    minimised.setObjectName(QStringLiteral("frmMain"));
    minimised.resize(200, 100);
    const QPoint designPos = minimised.pos();
    RestoreFormState(&minimised);
    QVERIFY(!(minimised.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)));
    QCOMPARE(minimised.size(), QSize(500, 300));
    QCOMPARE(minimised.pos(), designPos);

    // Nothing stored, or bounds equal to the design: centred on the screen at the design size.
    QFile::remove(IniFile);
    QWidget centred;
    centred.setObjectName(QStringLiteral("frmMain"));
    centred.resize(400, 300);
    RestoreFormState(&centred);
    const QRect screen = centred.screen()->geometry();
    QCOMPARE(centred.size(), QSize(400, 300));
    QCOMPARE(centred.pos(), QPoint(screen.x() + (screen.width() - 400) / 2, screen.y() + (screen.height() - 300) / 2));

    // Junk everywhere: the window still opens at a usable size.
    WriteFile(IniFile, "[frmMain]\nWindowState=x\nTop=abc\nLeft=\nHeight=-5\nWidth=99999999999\n");
    QWidget junk;
    junk.setObjectName(QStringLiteral("frmMain"));
    junk.resize(400, 300);
    RestoreFormState(&junk);
    QVERIFY(junk.width() >= 100 && junk.height() >= 80);
    QVERIFY(!(junk.windowState() & Qt::WindowMinimized));

    // Halves round to even: 2.5 pixels' worth of twips does not drift.
    WriteFile(IniFile, QStringLiteral("[frmMain]\nHeight=%1.5\nWidth=%2\n").arg(300 * tpp).arg(500 * tpp).toLatin1());
    QWidget half;
    half.setObjectName(QStringLiteral("frmMain"));
    RestoreFormState(&half);
    QCOMPARE(half.size(), QSize(500, 300));
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
