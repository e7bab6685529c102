// The settings and language file reader and writer, on real files.
#include "app/CodePage.h"
#include "app/OperateIni.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

#include <unistd.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<int>)
Q_DECLARE_METATYPE(std::optional<bool>)

namespace {

// The bytes of a literal, embedded NULs included.
template <qsizetype N> QByteArray Bytes(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

} // namespace

class tst_Ini : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void read_data();
    void read();
    void missingFileGivesDefault();
    void longValuesAreCut_data();
    void longValuesAreCut();
    void junkNeverFails();
    void write_data();
    void write();
    void writeCreatesTheFile();
    void writeMatchesNamesWithoutCase();
    void writeThenRead_data();
    void writeThenRead();
    void writeRefusesLineBreaks_data();
    void writeRefusesLineBreaks();
    void writeKeepsAnUnreadableFile();
    void legacyLanguageFile_data();
    void legacyLanguageFile();
    void iniToInt_data();
    void iniToInt();
    void iniToBool_data();
    void iniToBool();
    void iniFromBool();

private:
    QString PathOf(const QString& name) const { return m_dir->filePath(name); }
    QString Put(const QByteArray& bytes, const QString& name = u"Tavoren.ini"_s) const;
    static QByteArray Contents(const QString& path);

    std::unique_ptr<QTemporaryDir> m_dir;
};

QString tst_Ini::Put(const QByteArray& bytes, const QString& name) const
{
    const QString path = PathOf(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

QByteArray tst_Ini::Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_Ini::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_Ini::cleanup()
{
    m_dir.reset();
}

void tst_Ini::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString dflt = u"<default>"_s;
    const QByteArray general("[General]\nPlaySound=False\nlogin=True\n\n[frmMain]\nTop=120\nLeft=-45\n");

    QTest::newRow("plain") << general << u"General"_s << u"PlaySound"_s << u"False"_s;
    QTest::newRow("second section") << general << u"frmMain"_s << u"Left"_s << u"-45"_s;
    QTest::newRow("names ignore case") << general << u"GENERAL"_s << u"playsound"_s << u"False"_s;
    QTest::newRow("mixed case") << general << u"FrmMAIN"_s << u"tOP"_s << u"120"_s;
    QTest::newRow("missing section") << general << u"frmOptions"_s << u"Top"_s << dflt;
    QTest::newRow("missing key") << general << u"General"_s << u"Splitter"_s << dflt;
    QTest::newRow("key of another section") << general << u"General"_s << u"Top"_s << dflt;
    QTest::newRow("empty file") << QByteArray("") << u"General"_s << u"login"_s << dflt;

    QTest::newRow("blanks around") << QByteArray("[ General ]\n \t PlaySound \t=  \tFalse \t \n") << u"General"_s
                                   << u"PlaySound"_s << u"False"_s;
    QTest::newRow("blanks inside kept") << QByteArray("[S]\nName = John  Smith \n") << u"S"_s << u"Name"_s
                                        << u"John  Smith"_s;
    QTest::newRow("empty value") << QByteArray("[S]\nA=\nB=1\n") << u"S"_s << u"A"_s << QString();
    QTest::newRow("blank value") << QByteArray("[S]\nA=   \n") << u"S"_s << u"A"_s << QString();
    QTest::newRow("equals in value") << QByteArray("[S]\nA=b=c\n") << u"S"_s << u"A"_s << u"b=c"_s;
    QTest::newRow("semicolon in value") << QByteArray("[S]\nA=b;c\n") << u"S"_s << u"A"_s << u"b;c"_s;

    QTest::newRow("double quotes") << QByteArray("[S]\nA=\"  x y  \"\n") << u"S"_s << u"A"_s << u"  x y  "_s;
    QTest::newRow("single quotes") << QByteArray("[S]\nA='x'\n") << u"S"_s << u"A"_s << u"x"_s;
    QTest::newRow("quotes then blanks") << QByteArray("[S]\nA=  \"x\"  \n") << u"S"_s << u"A"_s << u"x"_s;
    QTest::newRow("empty quotes") << QByteArray("[S]\nA=\"\"\n") << u"S"_s << u"A"_s << QString();
    QTest::newRow("one pair only") << QByteArray("[S]\nA=\"\"x\"\"\n") << u"S"_s << u"A"_s << u"\"x\""_s;
    QTest::newRow("mismatched quotes") << QByteArray("[S]\nA=\"x'\n") << u"S"_s << u"A"_s << u"\"x'"_s;
    QTest::newRow("lone quote") << QByteArray("[S]\nA=\"\n") << u"S"_s << u"A"_s << u"\""_s;
    QTest::newRow("opening quote only") << QByteArray("[S]\nA=\"x\n") << u"S"_s << u"A"_s << u"\"x"_s;
    QTest::newRow("quotes inside") << QByteArray("[S]\nA=a \"b\" c\n") << u"S"_s << u"A"_s << u"a \"b\" c"_s;

    QTest::newRow("comment line") << QByteArray("[S]\n;A=1\nA=2\n") << u"S"_s << u"A"_s << u"2"_s;
    QTest::newRow("indented comment") << QByteArray("[S]\n  ;A=1\nA=2\n") << u"S"_s << u"A"_s << u"2"_s;
    QTest::newRow("comment is not a key") << QByteArray("[S]\n;A=1\n") << u"S"_s << u";A"_s << dflt;
    QTest::newRow("only commented") << QByteArray("[S]\n;A=1\n") << u"S"_s << u"A"_s << dflt;
    QTest::newRow("commented section") << QByteArray(";[S]\nA=1\n") << u"S"_s << u"A"_s << dflt;
    QTest::newRow("line without equals") << QByteArray("[S]\nA\nA=2\n") << u"S"_s << u"A"_s << u"2"_s;

    QTest::newRow("first key wins") << QByteArray("[S]\nA=1\nA=2\n") << u"S"_s << u"A"_s << u"1"_s;
    QTest::newRow("first key wins any case") << QByteArray("[S]\na=1\nA=2\n") << u"S"_s << u"A"_s << u"1"_s;
    QTest::newRow("first section wins") << QByteArray("[S]\nA=1\n[S]\nA=2\nB=3\n") << u"S"_s << u"A"_s << u"1"_s;
    QTest::newRow("second section ignored") << QByteArray("[S]\nA=1\n[s]\nB=3\n") << u"S"_s << u"B"_s << dflt;
    QTest::newRow("before any section") << QByteArray("A=1\n[S]\nB=2\n") << u"S"_s << u"A"_s << dflt;
    QTest::newRow("empty section name") << QByteArray("[]\nA=1\n[S]\nA=2\n") << u"S"_s << u"A"_s << u"2"_s;

    QTest::newRow("CRLF") << QByteArray("[S]\r\nA=1\r\nB=two\r\n") << u"S"_s << u"B"_s << u"two"_s;
    QTest::newRow("CRLF quoted") << QByteArray("[S]\r\nA=\"x\"\r\n") << u"S"_s << u"A"_s << u"x"_s;
    QTest::newRow("CRLF empty") << QByteArray("[S]\r\nA=\r\n") << u"S"_s << u"A"_s << QString();
    QTest::newRow("no final newline") << QByteArray("[S]\nA=1\nB=last") << u"S"_s << u"B"_s << u"last"_s;
    QTest::newRow("header without newline") << QByteArray("[S]") << u"S"_s << u"A"_s << dflt;

    QTest::newRow("UTF-8 value") << QByteArray("[frmMain]\n10001=文件(&F)\n") << u"frmMain"_s << u"10001"_s
                                 << u"文件(&F)"_s;
    QTest::newRow("UTF-8 section and key")
        << QByteArray("[联系人]\n姓名=张三\n") << u"联系人"_s << u"姓名"_s << u"张三"_s;
    QTest::newRow("BOM before first section") << QByteArray("\xEF\xBB\xBF[S]\nA=值\n") << u"S"_s << u"A"_s << u"值"_s;
    QTest::newRow("NUL ends the value") << Bytes("[S]\nA=ab\0cd\nB=2\n") << u"S"_s << u"A"_s << u"ab"_s;
    QTest::newRow("line after NUL") << Bytes("[S]\nA=ab\0cd\nB=2\n") << u"S"_s << u"B"_s << u"2"_s;
    QTest::newRow("NUL in a name line") << Bytes("[S]\nX\0Y=1\nB=2\n") << u"S"_s << u"B"_s << u"2"_s;
}

void tst_Ini::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    const QString file = Put(content);
    const QString value = ReadIni(section, key, u"<default>"_s, file);
    QCOMPARE(value, expected);
    // Reading never touches the file.
    QCOMPARE(Contents(file), content);
}

void tst_Ini::missingFileGivesDefault()
{
    QCOMPARE(ReadIni(u"General"_s, u"login"_s, u"True"_s, PathOf(u"none.ini"_s)), u"True"_s);
    QCOMPARE(ReadIni(u"General"_s, u"login"_s, QString(), PathOf(u"none.ini"_s)), QString());
    QCOMPARE(ReadIni(u"General"_s, u"login"_s, u"True"_s, PathOf(u"no/such/folder/x.ini"_s)), u"True"_s);
    // A folder where the file should be.
    QVERIFY(QDir(m_dir->path()).mkdir(u"folder.ini"_s));
    QCOMPARE(ReadIni(u"General"_s, u"login"_s, u"True"_s, PathOf(u"folder.ini"_s)), u"True"_s);
    QVERIFY(!QFile::exists(PathOf(u"none.ini"_s)));
}

void tst_Ini::longValuesAreCut_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("2046 bytes") << QByteArray(2046, 'x') << QString(2046, u'x');
    QTest::newRow("2047 bytes") << QByteArray(2047, 'x') << QString(2047, u'x');
    QTest::newRow("2048 bytes") << QByteArray(2048, 'x') << QString(2047, u'x');
    QTest::newRow("3000 bytes") << QByteArray(3000, 'x') << QString(2047, u'x');
    QTest::newRow("quoted 2049 bytes") << '"' + QByteArray(2047, 'x') + '"' << QString(2047, u'x');
    // 2047 = 682 characters of three bytes and one byte of the next: that byte must not show.
    const QString chinese = u"张"_s.repeated(1000);
    QTest::newRow("UTF-8 cut inside a character") << chinese.toUtf8() << chinese.left(682);
    QTest::newRow("UTF-8 cut after a character") << ('a' + chinese.toUtf8()) << u"a"_s + chinese.left(682);
    QTest::newRow("UTF-8 four-byte characters") << u"😀"_s.repeated(600).toUtf8() << u"😀"_s.repeated(511);
}

void tst_Ini::longValuesAreCut()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, expected);

    const QString file = Put("[S]\nA=" + value + "\nB=after\n");
    QCOMPARE(ReadIni(u"S"_s, u"A"_s, QString(), file), expected);
    QCOMPARE(ReadIni(u"S"_s, u"B"_s, QString(), file), u"after"_s);
}

void tst_Ini::junkNeverFails()
{
    QRandomGenerator random(7321);
    auto junk = [&random](qsizetype size) {
        QByteArray bytes(size, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(random.bounded(256));
        }
        return bytes;
    };

    // Random bytes alone: no section can be found.
    for (int round = 0; round < 20; ++round) {
        const QString file = Put(junk(random.bounded(1, 65536)));
        QCOMPARE(ReadIni(u"General"_s, u"PlaySound"_s, u"True"_s, file), u"True"_s);
    }
    // Junk after the value that is wanted, and junk before a section.
    QString file = Put("[General]\nPlaySound=False\n" + junk(100000));
    QCOMPARE(ReadIni(u"General"_s, u"PlaySound"_s, u"True"_s, file), u"False"_s);
    file = Put(junk(5000).replace('[', '(') + "\n[General]\nPlaySound=False\n");
    QCOMPARE(ReadIni(u"General"_s, u"PlaySound"_s, u"True"_s, file), u"False"_s);

    // Lines of 100 KB: a long key, a long section name, a long value, a line of junk.
    const QByteArray huge(100 * 1024, 'k');
    file = Put("[General]\n" + huge + "\n" + huge + "=1\n[" + huge + "]\nX=1\n[frmMain]\nTop=5\n");
    QCOMPARE(ReadIni(u"frmMain"_s, u"Top"_s, QString(), file), u"5"_s);
    QCOMPARE(ReadIni(u"General"_s, QString::fromLatin1(huge), QString(), file), u"1"_s);
    QCOMPARE(ReadIni(QString::fromLatin1(huge), u"X"_s, QString(), file), u"1"_s);
    file = Put("[S]\nA=" + junk(100 * 1024).replace('\n', ' ').replace('\r', ' ').replace('\0', ' ') + "\nB=2\n");
    const QString value = ReadIni(u"S"_s, u"A"_s, QString(), file);
    QVERIFY(value.size() <= 2047);
    QVERIFY(!value.isEmpty());
    QCOMPARE(ReadIni(u"S"_s, u"B"_s, QString(), file), u"2"_s);

    // A value that is invalid UTF-8 in a settings file still reads as something.
    file = Put("[S]\nA=\xFF\xFE\x80x\n");
    QVERIFY(ReadIni(u"S"_s, u"A"_s, QString(), file).endsWith(u'x'));
}

void tst_Ini::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    const QByteArray settings("; Tavoren settings\n"
                              "[General]\n"
                              "PlaySound=True\n"
                              "; ask for a password\n"
                              "login = True\n"
                              "\n"
                              "[frmMain]\n"
                              "Top=120\n"
                              "Left=300\n");

    QTest::newRow("change a value") << settings << u"General"_s << u"PlaySound"_s << u"False"_s
                                    << QByteArray(settings).replace("PlaySound=True", "PlaySound=False");
    QTest::newRow("change a spaced value") << settings << u"General"_s << u"login"_s << u"False"_s
                                           << QByteArray(settings).replace("login = True", "login=False");
    QTest::newRow("change the last line")
        << settings << u"frmMain"_s << u"Left"_s << u"-45"_s << QByteArray(settings).replace("Left=300", "Left=-45");
    QTest::newRow("empty value") << settings << u"frmMain"_s << u"Top"_s << QString()
                                 << QByteArray(settings).replace("Top=120", "Top=");
    QTest::newRow("add a key before the blank line")
        << settings << u"General"_s << u"Splitter"_s << u"2400"_s
        << QByteArray(settings).replace("login = True\n", "login = True\nSplitter=2400\n");
    QTest::newRow("add a key to the last section")
        << settings << u"frmMain"_s << u"Width"_s << u"9000"_s << settings + "Width=9000\n";
    QTest::newRow("add a section") << settings << u"frmOptions"_s << u"Top"_s << u"1"_s
                                   << settings + "[frmOptions]\nTop=1\n";

    QTest::newRow("no final newline, add key")
        << QByteArray("[S]\nA=1") << u"S"_s << u"B"_s << u"2"_s << QByteArray("[S]\nA=1\nB=2\n");
    QTest::newRow("no final newline, change key")
        << QByteArray("[S]\nA=1") << u"S"_s << u"A"_s << u"2"_s << QByteArray("[S]\nA=2");
    QTest::newRow("no final newline, add section")
        << QByteArray("[S]\nA=1") << u"T"_s << u"B"_s << u"2"_s << QByteArray("[S]\nA=1\n[T]\nB=2\n");
    QTest::newRow("empty section") << QByteArray("[S]\n[T]\n") << u"S"_s << u"A"_s << u"1"_s
                                   << QByteArray("[S]\nA=1\n[T]\n");
    QTest::newRow("bare header at the end")
        << QByteArray("[S]") << u"S"_s << u"A"_s << u"1"_s << QByteArray("[S]\nA=1\n");
    QTest::newRow("empty file") << QByteArray("") << u"S"_s << u"A"_s << u"1"_s << QByteArray("[S]\nA=1\n");
    QTest::newRow("several blank lines") << QByteArray("[S]\nA=1\n\n\n[T]\nB=2\n") << u"S"_s << u"C"_s << u"3"_s
                                         << QByteArray("[S]\nA=1\nC=3\n\n\n[T]\nB=2\n");

    QTest::newRow("commented key is not the key")
        << QByteArray("[S]\n;A=x\nB=1\n") << u"S"_s << u"A"_s << u"1"_s << QByteArray("[S]\n;A=x\nB=1\nA=1\n");
    QTest::newRow("first of two keys") << QByteArray("[S]\nA=1\nA=2\n") << u"S"_s << u"A"_s << u"9"_s
                                       << QByteArray("[S]\nA=9\nA=2\n");
    QTest::newRow("first of two sections")
        << QByteArray("[S]\nA=1\n[S]\nA=2\n") << u"S"_s << u"A"_s << u"9"_s << QByteArray("[S]\nA=9\n[S]\nA=2\n");
    QTest::newRow("key only in second section") << QByteArray("[S]\nA=1\n\n[S]\nB=2\n") << u"S"_s << u"B"_s << u"9"_s
                                                << QByteArray("[S]\nA=1\nB=9\n\n[S]\nB=2\n");
    QTest::newRow("same key in another section")
        << QByteArray("[T]\nA=1\n[S]\nB=2\n") << u"S"_s << u"A"_s << u"3"_s << QByteArray("[T]\nA=1\n[S]\nB=2\nA=3\n");
    QTest::newRow("lines before any section")
        << QByteArray("A=1\n[S]\n") << u"S"_s << u"A"_s << u"2"_s << QByteArray("A=1\n[S]\nA=2\n");

    QTest::newRow("CRLF change") << QByteArray("[S]\r\nA=1\r\nB=2\r\n") << u"S"_s << u"A"_s << u"9"_s
                                 << QByteArray("[S]\r\nA=9\r\nB=2\r\n");
    QTest::newRow("CRLF add key") << QByteArray("[S]\r\nA=1\r\n\r\n[T]\r\n") << u"S"_s << u"B"_s << u"2"_s
                                  << QByteArray("[S]\r\nA=1\r\nB=2\r\n\r\n[T]\r\n");
    QTest::newRow("CRLF add to last") << QByteArray("[S]\r\nA=1\r\n") << u"S"_s << u"B"_s << u"2"_s
                                      << QByteArray("[S]\r\nA=1\r\nB=2\r\n");
    QTest::newRow("CRLF add section") << QByteArray("[S]\r\nA=1\r\n") << u"T"_s << u"B"_s << u"2"_s
                                      << QByteArray("[S]\r\nA=1\r\n[T]\r\nB=2\r\n");
    QTest::newRow("CRLF without final newline")
        << QByteArray("[S]\r\nA=1") << u"S"_s << u"B"_s << u"2"_s << QByteArray("[S]\r\nA=1\r\nB=2\r\n");

    QTest::newRow("BOM kept") << QByteArray("\xEF\xBB\xBF[S]\nA=1\n") << u"S"_s << u"A"_s << u"值"_s
                              << QByteArray("\xEF\xBB\xBF[S]\nA=值\n");
    QTest::newRow("UTF-8 kept") << QByteArray("[S]\nName=张三\nA=1\n") << u"S"_s << u"A"_s << u"李四"_s
                                << QByteArray("[S]\nName=张三\nA=李四\n");
    QTest::newRow("binary lines kept") << Bytes("[S]\n\x01\x02\xFF junk\nA=1\n\0\n") << u"S"_s << u"A"_s << u"2"_s
                                       << Bytes("[S]\n\x01\x02\xFF junk\nA=2\n\0\n");
}

void tst_Ini::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);

    const QString file = Put(before);
    QVERIFY(WriteIni(section, key, value, file));
    QCOMPARE(Contents(file), after);
    // Writing what is already there changes nothing.
    QVERIFY(WriteIni(section, key, value, file));
    QCOMPARE(Contents(file), after);
    QCOMPARE(ReadIni(section, key, u"<default>"_s, file), value);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Tavoren.ini"_s});
}

void tst_Ini::writeCreatesTheFile()
{
    const QString file = PathOf(u"Tavoren.ini"_s);
    QVERIFY(WriteIni(u"General"_s, u"PlaySound"_s, u"False"_s, file));
    QCOMPARE(Contents(file), QByteArray("[General]\nPlaySound=False\n"));
    QVERIFY(WriteIni(u"General"_s, u"login"_s, u"True"_s, file));
    QVERIFY(WriteIni(u"frmMain"_s, u"WindowState"_s, u"2"_s, file));
    QCOMPARE(Contents(file), QByteArray("[General]\nPlaySound=False\nlogin=True\n[frmMain]\nWindowState=2\n"));

    // A missing folder is not created.
    const QString deep = PathOf(u"missing/Tavoren.ini"_s);
    QVERIFY(!WriteIni(u"General"_s, u"login"_s, u"True"_s, deep));
    QVERIFY(!QFile::exists(deep));
}

void tst_Ini::writeMatchesNamesWithoutCase()
{
    const QString file = Put("[general]\nplaysound=True\nlogin=True\n");
    QVERIFY(WriteIni(u"GENERAL"_s, u"PlaySound"_s, u"False"_s, file));
    const QByteArray after = Contents(file);
    QCOMPARE(after.count("[general]"), 1);
    QCOMPARE(after.count('['), 1);
    QCOMPARE(after.toLower().count("playsound="), 1);
    QVERIFY(after.endsWith("login=True\n"));
    QCOMPARE(ReadIni(u"general"_s, u"playsound"_s, QString(), file), u"False"_s);
}

void tst_Ini::writeThenRead_data()
{
    QTest::addColumn<QString>("value");

    QTest::newRow("word") << u"False"_s;
    QTest::newRow("number") << u"-1440"_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("equals") << u"a=b"_s;
    QTest::newRow("semicolon") << u"a;b"_s;
    QTest::newRow("brackets") << u"[x]"_s;
    QTest::newRow("inner blanks") << u"a  b"_s;
    QTest::newRow("Chinese") << u"联系人类型"_s;
    QTest::newRow("accent") << u"Café"_s;
    QTest::newRow("2047 bytes") << QString(2047, u'v');
}

void tst_Ini::writeThenRead()
{
    QFETCH(QString, value);
    const QString file = Put("; keep me\n[frmMain]\nTop=1\n\n[Other]\nKey=x\n");
    QVERIFY(WriteIni(u"frmMain"_s, u"List_HW3"_s, value, file));
    QVERIFY(WriteIni(u"New"_s, u"Key"_s, value, file));
    QCOMPARE(ReadIni(u"frmMain"_s, u"List_HW3"_s, u"<default>"_s, file), value);
    QCOMPARE(ReadIni(u"New"_s, u"Key"_s, u"<default>"_s, file), value);
    QCOMPARE(ReadIni(u"frmMain"_s, u"Top"_s, QString(), file), u"1"_s);
    QCOMPARE(ReadIni(u"Other"_s, u"Key"_s, QString(), file), u"x"_s);
    QVERIFY(Contents(file).startsWith("; keep me\n[frmMain]\nTop=1\n"));
}

void tst_Ini::writeRefusesLineBreaks_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("LF in value") << u"S"_s << u"A"_s << u"a\nB=evil"_s;
    QTest::newRow("CRLF in value") << u"S"_s << u"A"_s << u"a\r\nb"_s;
    QTest::newRow("CR in value") << u"S"_s << u"A"_s << u"a\rb"_s;
    QTest::newRow("trailing LF") << u"S"_s << u"A"_s << u"a\n"_s;
    QTest::newRow("LF in key") << u"S"_s << u"A\nB"_s << u"1"_s;
    QTest::newRow("LF in section") << u"S]\n[T"_s << u"A"_s << u"1"_s;
}

void tst_Ini::writeRefusesLineBreaks()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);

    const QByteArray before("[S]\nA=1\n");
    const QString file = Put(before);
    QVERIFY(!WriteIni(section, key, value, file));
    QCOMPARE(Contents(file), before);

    const QString missing = PathOf(u"new.ini"_s);
    QVERIFY(!WriteIni(section, key, value, missing));
    QVERIFY(!QFile::exists(missing));
}

void tst_Ini::writeKeepsAnUnreadableFile()
{
    if (::geteuid() == 0) {
        QSKIP("root reads files whatever their permissions");
    }
    const QByteArray before("[S]\nA=1\nB=2\n");
    const QString file = Put(before);
    QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions()));
    QCOMPARE(ReadIni(u"S"_s, u"A"_s, u"<default>"_s, file), u"<default>"_s);
    QVERIFY(!WriteIni(u"S"_s, u"A"_s, u"9"_s, file));
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QCOMPARE(Contents(file), before);
}

void tst_Ini::legacyLanguageFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("codePage");
    QTest::addColumn<QString>("probe");

    QTest::newRow("simplified Chinese") << u"mvlchs.ini"_s << QByteArray("CP936") << u"简体中文，联系人"_s;
    QTest::newRow("traditional Chinese") << u"mvlcht.ini"_s << QByteArray("CP950") << u"繁體中文，聯絡人"_s;
    QTest::newRow("English") << u"mvleng.ini"_s << QByteArray("CP1252") << u"Café – Zoë €"_s;
}

void tst_Ini::legacyLanguageFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, codePage);
    QFETCH(QString, probe);

    QFile shipped(SourceDir() + u"/resources/Language/"_s + name);
    QVERIFY2(shipped.open(QIODevice::ReadOnly), qPrintable(shipped.fileName()));
    const QByteArray utf8 = shipped.readAll() + "\n[Probe]\nText=" + probe.toUtf8() + "\n";
    QVERIFY(utf8.isValidUtf8());
    const QString text = QString::fromUtf8(utf8);
    const CodePage page(codePage);
    QVERIFY(page.CanEncode(text));
    const QByteArray legacy = page.FromUnicode(text);
    QVERIFY(!legacy.isValidUtf8()); // otherwise the reader would rightly take it for UTF-8

    QVERIFY(QDir(m_dir->path()).mkpath(u"utf8"_s));
    QVERIFY(QDir(m_dir->path()).mkpath(u"bom"_s));
    QVERIFY(QDir(m_dir->path()).mkpath(u"legacy"_s));
    const QString utf8File = Put(utf8, u"utf8/"_s + name);
    const QString bomFile = Put("\xEF\xBB\xBF" + utf8, u"bom/"_s + name);
    const QString legacyFile = Put(legacy, u"legacy/"_s + name);

    QCOMPARE(ReadIni(u"Probe"_s, u"Text"_s, QString(), utf8File), probe);
    QCOMPARE(ReadIni(u"Probe"_s, u"Text"_s, QString(), bomFile), probe);
    QCOMPARE(ReadIni(u"Probe"_s, u"Text"_s, QString(), legacyFile), probe);

    // Every key of the shipped file reads the same from all three forms.
    QString section;
    int keys = 0;
    for (const QString& line : text.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
            section = trimmed.mid(1, trimmed.size() - 2).trimmed();
            continue;
        }
        const qsizetype eq = trimmed.indexOf(u'=');
        if (section.isEmpty() || trimmed.startsWith(u';') || eq <= 0) {
            continue;
        }
        const QString key = trimmed.left(eq).trimmed();
        const QString expected = ReadIni(section, key, u"<missing>"_s, utf8File);
        QVERIFY(expected != u"<missing>"_s);
        QCOMPARE(ReadIni(section, key, u"<missing>"_s, bomFile), expected);
        QCOMPARE(ReadIni(section, key, u"<missing>"_s, legacyFile), expected);
        ++keys;
    }
    QVERIFY(keys > 50);
}

void tst_Ini::iniToInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<int>>("expected");

    const std::optional<int> none;
    QTest::newRow("zero") << u"0"_s << std::optional(0);
    QTest::newRow("positive") << u"1440"_s << std::optional(1440);
    QTest::newRow("negative") << u"-45"_s << std::optional(-45);
    QTest::newRow("blanks") << u" 7 "_s << std::optional(7);
    QTest::newRow("plus sign") << u"+7"_s << std::optional(7);
    QTest::newRow("1.4") << u"1.4"_s << std::optional(1);
    QTest::newRow("1.6") << u"1.6"_s << std::optional(2);
    QTest::newRow("0.5 to even") << u"0.5"_s << std::optional(0);
    QTest::newRow("1.5 to even") << u"1.5"_s << std::optional(2);
    QTest::newRow("2.5 to even") << u"2.5"_s << std::optional(2);
    QTest::newRow("3.5 to even") << u"3.5"_s << std::optional(4);
    QTest::newRow("-2.5 to even") << u"-2.5"_s << std::optional(-2);
    QTest::newRow("-3.5 to even") << u"-3.5"_s << std::optional(-4);
    QTest::newRow("-1.6") << u"-1.6"_s << std::optional(-2);
    QTest::newRow("exponent") << u"1e3"_s << std::optional(1000);
    QTest::newRow("largest") << u"2147483647"_s << std::optional(2147483647);
    QTest::newRow("smallest") << u"-2147483648"_s << std::optional(-2147483647 - 1);
    QTest::newRow("one past largest") << u"2147483648"_s << none;
    QTest::newRow("rounds past largest") << u"2147483647.5"_s << none;
    QTest::newRow("one past smallest") << u"-2147483649"_s << none;
    QTest::newRow("huge") << u"99999999999999999999999"_s << none;
    QTest::newRow("huge exponent") << u"1e400"_s << none;
    QTest::newRow("infinity") << u"inf"_s << none;
    QTest::newRow("not a number") << u"nan"_s << none;
    QTest::newRow("empty") << QString() << none;
    QTest::newRow("blank") << u"   "_s << none;
    QTest::newRow("word") << u"abc"_s << none;
    QTest::newRow("Boolean word") << u"True"_s << none;
    QTest::newRow("trailing letters") << u"12px"_s << none;
    QTest::newRow("decimal comma") << u"2,5"_s << none;
    QTest::newRow("hexadecimal") << u"0x10"_s << none;
}

void tst_Ini::iniToInt()
{
    QFETCH(QString, text);
    QFETCH(std::optional<int>, expected);
    QCOMPARE(IniToInt(text), expected);
}

void tst_Ini::iniToBool_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<bool>>("expected");

    const std::optional<bool> none;
    QTest::newRow("True") << u"True"_s << std::optional(true);
    QTest::newRow("TRUE") << u"TRUE"_s << std::optional(true);
    QTest::newRow("true") << u"true"_s << std::optional(true);
    QTest::newRow("False") << u"False"_s << std::optional(false);
    QTest::newRow("fALSE") << u"fALSE"_s << std::optional(false);
    QTest::newRow("blanks") << u" True "_s << std::optional(true);
    QTest::newRow("zero") << u"0"_s << std::optional(false);
    QTest::newRow("one") << u"1"_s << std::optional(true);
    QTest::newRow("minus one") << u"-1"_s << std::optional(true);
    QTest::newRow("fraction") << u"0.5"_s << std::optional(true);
    QTest::newRow("Yes") << u"Yes"_s << none;
    QTest::newRow("on") << u"on"_s << none;
    QTest::newRow("T") << u"T"_s << none;
    QTest::newRow("Truex") << u"Truex"_s << none;
    QTest::newRow("empty") << QString() << none;
    QTest::newRow("not a number") << u"nan"_s << none;
}

void tst_Ini::iniToBool()
{
    QFETCH(QString, text);
    QFETCH(std::optional<bool>, expected);
    QCOMPARE(IniToBool(text), expected);
}

void tst_Ini::iniFromBool()
{
    QCOMPARE(IniFromBool(true), u"True"_s);
    QCOMPARE(IniFromBool(false), u"False"_s);
    QCOMPARE(IniToBool(IniFromBool(true)), std::optional(true));
    QCOMPARE(IniToBool(IniFromBool(false)), std::optional(false));
}

QTEST_GUILESS_MAIN(tst_Ini)
#include "tst_ini.moc"
