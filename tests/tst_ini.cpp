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

Q_DECLARE_METATYPE(std::optional<int>)
Q_DECLARE_METATYPE(std::optional<bool>)

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
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("key"); // in section "S"
        QTest::addColumn<QString>("expected");
        const QString chinese = u"张"_s.repeated(1000);
        QTest::newRow("names ignore case") << QByteArray("[s]\nplaysound=False\n") << u"PlaySound"_s << u"False"_s;
        QTest::newRow("blanks around") << QByteArray("[ S ]\n \t A \t=  \ta  b \t \n") << u"A"_s << u"a  b"_s;
        QTest::newRow("empty value") << QByteArray("[S]\nA=\nB=1\n") << u"A"_s << QString();
        QTest::newRow("quotes keep blanks") << QByteArray("[S]\nA=  \"  x=y;  \"  \n") << u"A"_s << u"  x=y;  "_s;
        QTest::newRow("one pair of quotes") << QByteArray("[S]\nA=\"'x'\"\n") << u"A"_s << u"'x'"_s;
        QTest::newRow("mismatched quotes") << QByteArray("[S]\nA=\"x'\n") << u"A"_s << u"\"x'"_s;
        QTest::newRow("comment is no key") << QByteArray("[S]\n  ;A=1\n") << u";A"_s << u"<default>"_s;
        QTest::newRow("first key wins") << QByteArray("[S]\na=1\nA=2\n") << u"A"_s << u"1"_s;
        QTest::newRow("first section wins") << QByteArray("[S]\nA=1\n[s]\nB=3\n") << u"B"_s << u"<default>"_s;
        QTest::newRow("CRLF") << QByteArray("[S]\r\nA=\"x\"\r\n") << u"A"_s << u"x"_s;
        QTest::newRow("BOM and UTF-8") << QByteArray("\xEF\xBB\xBF[S]\n姓名=张三\n") << u"姓名"_s << u"张三"_s;
        QTest::newRow("NUL ends the value") << QByteArray("[S]\nA=ab") + '\0' + "cd\n" << u"A"_s << u"ab"_s;
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
        QFETCH(QString, expected);
        const QString file = Put(content);
        QCOMPARE(ReadIni(u"S"_s, key, u"<default>"_s, file), expected);
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
        QCOMPARE(ReadIni(u"S"_s, u"A"_s, u"True"_s, m_dir->filePath(u"none.ini"_s)), u"True"_s); // no file
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
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(before) == before.size());
        out.close();
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

    void write_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file yet
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after"); // null: refused, the file stays as it was
        const QByteArray settings("; Tavoren\n[General]\nPlaySound=True\n; ask\nlogin = True\n\n[frmMain]\nTop=120\n");
        const QByteArray binary = QByteArray("\xEF\xBB\xBF[S]\n\x01\xFF junk\nA=1\n") + '\0' + '\n';
        QTest::newRow("no file yet") << QByteArray() << u"General"_s << u"PlaySound"_s << IniFromBool(false)
                                     << QByteArray("[General]\nPlaySound=False\n");
        QTest::newRow("change a value, names in any case")
            << settings << u"GENERAL"_s << u"Login"_s << u"a=b;[c]"_s
            << QByteArray(settings).replace("login = True", "Login=a=b;[c]");
        QTest::newRow("add a key before the blank line")
            << settings << u"General"_s << u"Splitter"_s << QString()
            << QByteArray(settings).replace("login = True\n", "login = True\nSplitter=\n");
        QTest::newRow("commented key is not the key")
            << QByteArray("[S]\n;A=x\nB=1") << u"S"_s << u"A"_s << u"1"_s << QByteArray("[S]\n;A=x\nB=1\nA=1\n");
        QTest::newRow("first of two keys")
            << QByteArray("[S]\nA=1\nA=2\n") << u"S"_s << u"A"_s << u"9"_s << QByteArray("[S]\nA=9\nA=2\n");
        QTest::newRow("key only in a later section") << QByteArray("[S]\nA=1\n[S]\nB=2\n") << u"S"_s << u"B"_s << u"9"_s
                                                     << QByteArray("[S]\nA=1\nB=9\n[S]\nB=2\n");
        QTest::newRow("CRLF add key") << QByteArray("[S]\r\nA=1\r\n\r\n[T]\r\n") << u"S"_s << u"B"_s << u"2"_s
                                      << QByteArray("[S]\r\nA=1\r\nB=2\r\n\r\n[T]\r\n");
        QTest::newRow("CRLF add section")
            << QByteArray("[S]\r\nA=1") << u"T"_s << u"B"_s << u"2"_s << QByteArray("[S]\r\nA=1\r\n[T]\r\nB=2\r\n");
        QTest::newRow("BOM and binary lines kept")
            << binary << u"S"_s << u"A"_s << u"值"_s << QByteArray(binary).replace("A=1", "A=值");
        QTest::newRow("LF in value") << settings << u"S"_s << u"A"_s << u"a\nB=evil"_s << QByteArray();
        QTest::newRow("CR in key") << settings << u"S"_s << u"A\rB"_s << u"1"_s << QByteArray();
        QTest::newRow("LF in section") << settings << u"S]\n[T"_s << u"A"_s << u"1"_s << QByteArray();
    }

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
        QVERIFY(!after.isNull() || !WriteIni(section, key, value, m_dir->filePath(u"new.ini"_s)));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Tavoren.ini"_s});
    }

    void legacyLanguageFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QString>("probe");
        QTest::newRow("simplified Chinese") << u"mvlchs.ini"_s << QByteArray("CP936") << u"简体中文，联系人"_s;
        QTest::newRow("traditional Chinese") << u"mvlcht.ini"_s << QByteArray("CP950") << u"繁體中文，聯絡人"_s;
        QTest::newRow("English") << u"mvleng.ini"_s << QByteArray("CP1252") << u"Café – Zoë €"_s;
    }

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

    // A value is written in the encoding the file is read in, or refused when that cannot hold it;
    // the written bytes never turn the file from one encoding into the other.
    void writeKeepsEncoding_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");                      // null: refused
        const QByteArray gbk("[S]\nK=\xC1\xAA\n[T]\nA=\xC8\xCB\n"); // 联, 人 in CP936
        QTest::newRow("legacy file, its own code page")
            << u"mvlchs.ini"_s << gbk << u"联系人"_s
            << QByteArray(gbk).replace("K=\xC1\xAA", "K=\xC1\xAA\xCF\xB5\xC8\xCB");
        // 茅 is C3 A9 in CP936, which is é in UTF-8: written so, the file would read as UTF-8.
        QTest::newRow("ASCII file, legacy bytes that look like UTF-8")
            << u"mvlchs.ini"_s << QByteArray("[S]\nK=1\n") << u"茅"_s << QByteArray("[S]\nK=\xE8\x8C\x85\n");
        QTest::newRow("legacy file turned UTF-8 by the write")
            << u"mvlchs.ini"_s << QByteArray("[S]\nK=\xC1\xAA\n") << u"茅"_s << QByteArray();
        QTest::newRow("ASCII file, a character the code page lacks")
            << u"mvleng.ini"_s << QByteArray("[S]\nK=1\n") << u"中"_s << QByteArray("[S]\nK=\xE4\xB8\xAD\n");
        QTest::newRow("legacy file, a character the code page lacks")
            << u"mvleng.ini"_s << QByteArray("[S]\nK=Caf\xE9\n") << u"中"_s << QByteArray();
    }

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

    void conversions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<int>>("integer"); // rounded half to even
        QTest::addColumn<std::optional<bool>>("boolean");
        const std::optional<int> noInt;
        const std::optional<bool> noBool;
        QTest::newRow("blanks, sign") << u" -1 "_s << std::optional(-1) << std::optional(true);
        QTest::newRow("zero") << u"0"_s << std::optional(0) << std::optional(false);
        QTest::newRow("2.5") << u"2.5"_s << std::optional(2) << std::optional(true);
        QTest::newRow("3.5") << u"3.5"_s << std::optional(4) << std::optional(true);
        QTest::newRow("rounds past largest") << u"2147483647.5"_s << noInt << std::optional(true);
        QTest::newRow("not a number") << u"nan"_s << noInt << noBool;
        QTest::newRow("True as written") << IniFromBool(true) << noInt << std::optional(true);
        QTest::newRow("False, any case") << u" fALSE "_s << noInt << std::optional(false);
        QTest::newRow("empty") << QString() << noInt << noBool;
        QTest::newRow("trailing letters") << u"12px"_s << noInt << noBool;
        QTest::newRow("hexadecimal") << u"0x10"_s << noInt << noBool;
        QTest::newRow("Truex") << u"Truex"_s << noInt << noBool;
    }

    void conversions()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<int>, integer);
        QFETCH(std::optional<bool>, boolean);
        QCOMPARE(IniToInt(text), integer);
        QCOMPARE(IniToBool(text), boolean);
    }
};

QTEST_GUILESS_MAIN(tst_Ini)
#include "tst_ini.moc"
