// The settings and language file reader and writer, on real files.
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <future>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "core/CodePage.h"
#include "core/OperateIni.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"

using namespace Qt::StringLiterals;

class tst_Ini : public QObject
{
    Q_OBJECT

    QString Put(const QByteArray& bytes, const QString& name = u"Tavoren.ini"_s)
    {
        const QString path = m_dir->filePath(name);
        return Book::WriteFile(path, bytes) ? path : QString();
    }

    std::optional<QTemporaryDir> m_dir;

private slots:
    void init() { QVERIFY(m_dir.emplace().isValid()); }

    void read_data()
    {
        Book::AddRows(u"ini.txt"_s);
        const QString chinese = u"张"_s.repeated(1000);
        QTest::newRow("2048 bytes cut") << "[S]\nA=" + QByteArray(2048, 'x') << u"A"_s << QString(2047, u'x');
        QTest::newRow("quotes before the cut")
            << "[S]\nA=\"" + QByteArray(2047, 'x') + '"' << u"A"_s << QString(2047, u'x');
        // 2047 = 682 characters of three bytes and one byte of the next: that byte must not show.
        QTest::newRow("cut inside a character") << "[S]\nA=" + chinese.toUtf8() << u"A"_s << chinese.left(682);
    }

    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, key);
        const QString file = Put(content);
        QTEST(ReadIni(u"S"_s, key, u"<default>"_s, file), "expected");
        QCOMPARE(Book::ReadFile(file), content); // reading never touches the file
    }

    void unusualFiles()
    {
        QRandomGenerator random(7321);
        QByteArray junk(200 * 1024, '\0');
        for (char& b : junk) {
            b = static_cast<char>(random.bounded(256));
        }
        for (int round = 0; round < 20; ++round) {
            const QString file = Put(junk.sliced(random.bounded(100000), random.bounded(1, 65536)));
            QCOMPARE(ReadIni(u"General"_s, u"Top"_s, u"<default>"_s, file), u"<default>"_s);
        }
        // Lines of 100 KB: a long key, a long section name, junk before and after what is wanted.
        const QByteArray huge(100 * 1024, 'k');
        const QString file =
            Put(QByteArray(junk.first(5000)).replace('[', ' ') + "\n[General]\n" + huge + "=1\n[" + huge +
                "]\nX=2\n[S]\nA=" + QByteArray(junk.first(100 * 1024)).replace('\n', ' ') + "\nB=3\n" + junk);
        QCOMPARE(ReadIni(u"General"_s, QString::fromLatin1(huge), QString(), file), u"1"_s);
        QCOMPARE(ReadIni(QString::fromLatin1(huge), u"X"_s, QString(), file), u"2"_s);
        QVERIFY(ReadIni(u"S"_s, u"A"_s, QString(), file).size() <= 2047);
        QCOMPARE(ReadIni(u"S"_s, u"B"_s, QString(), file), u"3"_s);
        // A file that cannot be read is never replaced (root reads whatever the permissions).
        if (::geteuid() != 0) {
            const QString locked = Put("[S]\nA=1\n", u"locked.ini"_s);
            QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner)); // writable, not readable
            QCOMPARE(ReadIni(u"S"_s, u"A"_s, u"<default>"_s, locked), u"<default>"_s);
            QVERIFY(!WriteIni(u"S"_s, u"A"_s, u"9"_s, locked));
            QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner));
            QCOMPARE(Book::ReadFile(locked), QByteArray("[S]\nA=1\n"));
        }
    }

    // A full disk must leave the old settings whole: the buffered write only fails at the flush.
    void fullDisk()
    {
        SmallDisk disk;
        REQUIRE_SMALL_DISK(disk);
        const QByteArray before("[General]\nPlaySound=False\nlogin=False\n");
        const QString file = disk.Path() + u"Tavoren.ini"_s;
        QVERIFY(Book::WriteFile(file, before));
        disk.Fill();
        QVERIFY(!WriteIniValues(u"frmMain"_s, {{u"Top"_s, u"120"_s}, {u"Left"_s, u"300"_s}}, file));
        QCOMPARE(Book::ReadFile(file), before);
        QCOMPARE(QDir(disk.Path()).entryList(QDir::Files), QStringList{u"Tavoren.ini"_s}); // no work file left
    }

    // Anything but a regular file reads as missing and is never written through: a FIFO would
    // otherwise block start-up for ever.
    void notRegularFile()
    {
        const QString fifo = m_dir->filePath(u"Tavoren.ini"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        auto finishes = [&](auto call) {
            auto result = std::async(std::launch::async, call);
            if (result.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
                return result.get();
            }
            ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK)); // lets it go
            ::close(::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK));
            result.wait();
            return QVariant(u"<blocked>"_s);
        };
        QCOMPARE(finishes([&] { return QVariant(ReadIni(u"General"_s, u"login"_s, u"True"_s, fifo)); }),
                 QVariant(u"True"_s));
        QCOMPARE(finishes([&] { return QVariant(WriteIni(u"General"_s, u"login"_s, u"False"_s, fifo)); }),
                 QVariant(false));
        QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    }

    void write_data() { Book::AddRows(u"ini.txt"_s); }

    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        const QString file = before.isNull() ? m_dir->filePath(u"Tavoren.ini"_s) : Put(before);
        for (int i = 0; i < 2; ++i) { // writing what is already there changes nothing
            QCOMPARE(WriteIni(section, key, value, file), !after.isNull());
            QCOMPARE(Book::ReadFile(file), after.isNull() ? before : after);
        }
        QCOMPARE(ReadIni(section, key, u"<default>"_s, file), after.isNull() ? u"<default>"_s : value);
        if (!after.isNull() && after != before) {
            // Settings name the user's files: a written settings file is its owner's alone.
            QCOMPARE(QFileInfo(file).permissions() & 0x7077, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        QVERIFY(!after.isNull() || !WriteIni(section, key, value, m_dir->filePath(u"new.ini"_s)));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Tavoren.ini"_s});
    }

    void legacyLanguageFile_data() { Book::AddRows(u"ini.txt"_s); }

    // A shipped language file kept in its language's code page reads as the UTF-8 original does.
    void legacyLanguageFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, codePage);
        QFETCH(QString, probe);
        const QString shipped = SourceDir() + u"/resources/Language/"_s + name;
        const QString text = QString::fromUtf8(Book::ReadFile(shipped)) + u"\n[Probe]\nText="_s + probe + u'\n';
        const QString legacy = Put(CodePage(codePage).FromUnicode(text), name);
        QVERIFY(!Book::ReadFile(legacy).isValidUtf8()); // else the reader would rightly take it for UTF-8
        QCOMPARE(ReadIni(u"Probe"_s, u"Text"_s, QString(), legacy), probe);
        const QString menu = ReadIni(u"frmMain"_s, u"10001"_s, QString(), shipped);
        QVERIFY(menu.contains(u"&F"));
        QCOMPARE(ReadIni(u"frmMain"_s, u"10001"_s, QString(), legacy), menu);
    }

    void writeKeepsEncoding_data() { Book::AddRows(u"ini.txt"_s); }

    void writeKeepsEncoding()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, before);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        const QString file = Put(before, name);
        const QString other = ReadIni(u"T"_s, u"A"_s, u"<none>"_s, file);
        QCOMPARE(WriteIni(u"S"_s, u"K"_s, value, file), !after.isNull());
        QCOMPARE(Book::ReadFile(file), after.isNull() ? before : after);
        if (!after.isNull()) {
            QCOMPARE(ReadIni(u"S"_s, u"K"_s, QString(), file), value);
        }
        QCOMPARE(ReadIni(u"T"_s, u"A"_s, u"<none>"_s, file), other);
    }

    void conversions_data() { Book::AddRows(u"ini.txt"_s); }

    void conversions()
    {
        QFETCH(QString, text);
        QFETCH(QString, integer);
        QFETCH(QString, boolean);
        QCOMPARE(IniToInt(text), integer == u"-" ? std::nullopt : std::optional(integer.toInt()));
        QCOMPARE(IniToBool(text), boolean == u"-" ? std::nullopt : std::optional(boolean == u"true"));
    }
};

QTEST_GUILESS_MAIN(tst_Ini)
#include "tst_ini.moc"
