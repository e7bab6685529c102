// The installed program: what `cmake --install` lays out, that the desktop accepts its entry and
// metainfo, and that the installed program keeps each user's book in the XDG folders, answers
// its command line and hands its files to the copy already running.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "app/SingleInstance.h"
#include "store/BookLock.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"

class tst_Install : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root; // DESTDIR
    QTemporaryDir m_home;
    QString Usr(const QString& path) const { return m_root.path() + QStringLiteral("/usr/") + path; }
    QString Book() const { return m_home.path() + QStringLiteral("/.local/share/tavoren/Datas/address.mdb"); }

    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "LANGUAGE", "LC_MESSAGES"}) {
            env.remove(QLatin1String(name));
        }
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path() + QStringLiteral("/run"));
        return env;
    }

    // Starts the installed program; with a window, waits until it holds the book.
    std::unique_ptr<QProcess> Start(const QStringList& arguments, const QProcessEnvironment& env)
    {
        auto program = std::make_unique<QProcess>();
        program->setProcessEnvironment(env);
        program->setWorkingDirectory(m_home.path());
        program->start(Usr(QStringLiteral("bin/tavoren")), arguments);
        program->waitForStarted();
        return program;
    }

    // waitForFinished says false for a process whose end the event loop has seen already.
    static bool Ended(QProcess& program)
    {
        return program.state() == QProcess::NotRunning || program.waitForFinished(30000);
    }

    // The pid in the book's lock file, which the running copy writes once it has the book.
    qint64 Holder() const { return Book::ReadFile(BookLock::LockPath(Book())).split('\n').value(0).toLongLong(); }

private slots:
    void initTestCase()
    {
        QDir(m_home.path())
            .mkdir(QStringLiteral("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_home.path() + QStringLiteral("/run")));
        QProcess install;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), m_root.path());
        install.setProcessEnvironment(env);
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(qEnvironmentVariable("TAVOREN_CMAKE", QStringLiteral("cmake")),
                      {QStringLiteral("--install"), QFileInfo(qEnvironmentVariable("TAVOREN_PROGRAM")).absolutePath(),
                       QStringLiteral("--prefix"), QStringLiteral("/usr")});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
    }

    void layout()
    {
        QStringList expected{"bin/tavoren",
                             "share/applications/org.tavoren.Tavoren.desktop",
                             "share/doc/tavoren/changelog.gz",
                             "share/doc/tavoren/copyright",
                             "share/icons/hicolor/scalable/apps/org.tavoren.Tavoren.svg",
                             "share/man/man1/tavoren.1.gz",
                             "share/metainfo/org.tavoren.Tavoren.metainfo.xml",
                             "share/tavoren/Language/mvlchs.ini",
                             "share/tavoren/Language/mvlcht.ini",
                             "share/tavoren/Language/mvleng.ini",
                             "share/tavoren/address.mdb"};
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            expected.append(QStringLiteral("share/icons/hicolor/%1x%1/apps/org.tavoren.Tavoren.png").arg(size));
        }
        expected.sort();
        QStringList installed;
        QDirIterator it(Usr({}), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            installed.append(it.next().mid(Usr({}).size()));
        }
        installed.sort();
        QCOMPARE(installed, expected);
        QVERIFY(QFileInfo(Usr(QStringLiteral("bin/tavoren"))).isExecutable());
        // The template is an empty address book, not anybody's contacts.
        const QString empty = m_home.path() + QStringLiteral("/empty.mdb");
        CreateDatabase(empty);
        QCOMPARE(Book::DumpFile(Usr(QStringLiteral("share/tavoren/address.mdb"))), Book::DumpFile(empty));
        QFile::remove(empty);
    }

    void desktopFiles_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("desktop entry") << "desktop-file-validate"
                                       << QStringList{"share/applications/org.tavoren.Tavoren.desktop"};
        QTest::newRow("metainfo") << "appstreamcli"
                                  << QStringList{"validate", "--no-net",
                                                 "share/metainfo/org.tavoren.Tavoren.metainfo.xml"};
    }

    void desktopFiles()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        arguments.last() = Usr(arguments.last());
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(tool, arguments);
        QVERIFY2(validate.waitForFinished(60000), qPrintable(tool + QStringLiteral(" did not run")));
        const QByteArray output = validate.readAll();
        QVERIFY2(validate.exitCode() == 0, output.constData());
        QVERIFY2(!output.contains("W:") && !output.contains("E:"), output.constData());
    }

    // The Debian package passes lintian without an error or a warning: its changelog and copyright
    // are where Debian wants them, and the program is built hardened.
    void lintianClean()
    {
        const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
        if (lintian.isEmpty()) {
            QSKIP("lintian is not installed");
        }
        const QString build = QFileInfo(qEnvironmentVariable("TAVOREN_PROGRAM")).absolutePath();
        const QString cpack = QFileInfo(qEnvironmentVariable("TAVOREN_CMAKE", QStringLiteral("cmake"))).absolutePath() +
                              QStringLiteral("/cpack");
        QTemporaryDir out;
        QProcess pack;
        pack.setProcessChannelMode(QProcess::MergedChannels);
        pack.start(QFileInfo::exists(cpack) ? cpack : QStringLiteral("cpack"),
                   {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                    build + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), out.path()});
        QVERIFY(pack.waitForFinished(240000));
        QVERIFY2(pack.exitCode() == 0, pack.readAll().constData());
        const QStringList debs = QDir(out.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(lintian, {QStringLiteral("--no-tag-display-limit"), out.filePath(debs.first())});
        QVERIFY(check.waitForFinished(240000));
        const QByteArray report = check.readAll();
        QStringList problems;
        for (const QByteArray& line : report.split('\n')) {
            if (line.startsWith("E:") || line.startsWith("W:")) {
                problems.append(QString::fromUtf8(line));
            }
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }

    // The entry makes Tavoren a program for contact cards only: claiming CSV made it the default
    // for every spreadsheet file. CSV stays importable from the File menu and the command line.
    void mimeTypes()
    {
        const QString entry =
            QString::fromUtf8(Book::ReadFile(Usr(QStringLiteral("share/applications/org.tavoren.Tavoren.desktop"))));
        QStringList claimed;
        for (const QString& line : entry.split(u'\n')) {
            if (line.startsWith(QLatin1String("MimeType="))) {
                claimed = line.mid(9).split(u';', Qt::SkipEmptyParts);
            }
        }
        QCOMPARE(claimed, (QStringList{QStringLiteral("text/vcard"), QStringLiteral("text/x-vcard")}));
        const QByteArray metainfo =
            Book::ReadFile(Usr(QStringLiteral("share/metainfo/org.tavoren.Tavoren.metainfo.xml")));
        QVERIFY(metainfo.contains("<mediatype>text/vcard</mediatype>"));
        QVERIFY(!metainfo.contains("csv</mediatype>"));
    }

    // --help needs no display, names the user's files and speaks the language of the install's files.
    void help_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("usage");
        QTest::newRow("English") << "C.UTF-8"
                                 << "Usage: tavoren";
        QTest::newRow("Simplified Chinese") << "zh_CN.UTF-8"
                                            << "用法：tavoren";
    }

    void help()
    {
        QFETCH(QString, lang);
        QFETCH(QString, usage);
        QProcessEnvironment env = Environment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("LC_ALL"), lang);
        auto program = Start({QStringLiteral("--help")}, env);
        QVERIFY(Ended(*program));
        QCOMPARE(program->exitCode(), 0);
        const QString text = QString::fromUtf8(program->readAllStandardOutput());
        QVERIFY2(text.startsWith(usage), qPrintable(text));
        QVERIFY2(text.contains(Book()), qPrintable(text));
        QVERIFY2(text.contains(m_home.path() + QStringLiteral("/.config/tavoren/Tavoren.ini")), qPrintable(text));

        auto wrong = Start({QStringLiteral("--bogus")}, Environment());
        QVERIFY(Ended(*wrong));
        QCOMPARE(wrong->exitCode(), 2);
        QVERIFY(wrong->readAllStandardError().startsWith("Unknown option: --bogus\n"));
    }

    // The first start copies the empty book into the XDG folder, private; the next start finds the
    // book as the user left it.
    void bookInTheXdgFolder()
    {
        auto first = Start({}, Environment());
        QTRY_COMPARE_WITH_TIMEOUT(Holder(), first->processId(), 30000);
        QCOMPARE(QFile::permissions(Book()),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(Book::DumpFile(Book()), Book::DumpFile(Usr(QStringLiteral("share/tavoren/address.mdb"))));
        first->kill(); // its lock is left behind, and taken over
        QVERIFY(Ended(*first));

        Conn.Open(ConnectionStringForFile(Book()));
        Book::AddRecord(Book::AddType(QStringLiteral("Friends")), QStringLiteral("Anna"));
        const QStringList contents = Book::Dump();
        Conn.Close();
        auto second = Start({}, Environment());
        QTRY_COMPARE_WITH_TIMEOUT(Holder(), second->processId(), 30000);
        QCOMPARE(Book::DumpFile(Book()), contents);
        second->kill();
        QVERIFY(Ended(*second));
    }

    // A second start on a book that a running copy holds hands that copy its file and ends.
    void secondStartHandsOver()
    {
        BookLock lock(Book());
        QVERIFY(lock.TryLock());
        InstanceServer running;
        QVERIFY(running.Listen(Book()));
        QSignalSpy requested(&running, &InstanceServer::Requested);
        auto second = Start({QStringLiteral("new contacts.vcf")}, Environment());
        QTRY_COMPARE_WITH_TIMEOUT(requested.size(), 1, 30000);
        QCOMPARE(requested[0][0].toStringList(), QStringList{m_home.path() + QStringLiteral("/new contacts.vcf")});
        QVERIFY(Ended(*second));
        QCOMPARE(second->exitCode(), 0);
    }
};

QTEST_MAIN(tst_Install)
#include "tst_install.moc"
