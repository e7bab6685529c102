// Contacts in and out of the address book: vCard and CSV files as other address books write them,
// in the encodings they use; planning and writing an import; export and import giving the same
// book back; and the main window's import, export and print commands on a real book.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

#include "app/AppState.h"
#include "app/CodePage.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/ContactExchange.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "tests/support/TestSupport.h"

using namespace Qt::StringLiterals;

namespace {

// Contacts as lines: name|type|home|mobile|work|e-mail|QQ|MSN|ICQ|web address.
QStringList Lines(const QList<ContactCard>& cards)
{
    QStringList lines;
    for (const ContactCard& c : cards) {
        lines.append(QStringList{c.name, c.category, c.homePhone, c.mobilePhone, c.workPhone, c.emails, c.qq, c.msn,
                                 c.icq, c.url}
                         .join(u'|'));
    }
    return lines;
}

ContactCard Card(const QString& line)
{
    const QStringList f = line.split(u'|');
    return {f.value(0), f.value(1), f.value(2), f.value(3), f.value(4),
            f.value(5), f.value(6), f.value(7), f.value(8), f.value(9)};
}

QString Dropped(const QMap<QString, int>& dropped)
{
    QStringList parts;
    for (auto it = dropped.constBegin(); it != dropped.constEnd(); ++it) {
        parts.append(it.key() + u'=' + QString::number(it.value()));
    }
    return parts.join(QStringLiteral(", "));
}

QByteArray Encoded(const char* codePage, const QString& text)
{
    return CodePage(codePage).FromUnicode(text);
}

void AddRecord(qint64 typeNo, const QString& name, const QString& mobile = {})
{
    const QString none = Encrypt(u"");
    InsertRecord(Conn, typeNo, {Encrypt(name), none, Encrypt(mobile), none, none, none, none, none}, {});
}

// The book as type/name lines, in key order.
QStringList Book()
{
    QStringList lines;
    for (const ContactCard& c : ReadContacts(Conn)) {
        lines.append(c.category + u'/' + c.name);
    }
    return lines;
}

// Names for CSV rows, in one script each. 昇 (GB18030 95 4E) and 喆 (86 B4) have second bytes that
// look like Big5's; 許 (Big5 B3 5C) and 功 (A5 5C) end in a backslash byte.
const char* const Western = "Emily Carter|Lucas Martin|Sofia Rossi|Noah Schmidt|Hannah Kowalski|Mateo García|"
                            "Chloé Dubois|Björn Lindqvist|Aisha Okafor";
const char* const Simplified = "王伟|李娜|张昇|刘洋|陈静|杨帆|赵磊|黄丽|王喆";
const char* const Traditional = "陳志明|林美玲|許家豪|張淑芬|李俊傑|王雅婷|吳宗翰|黃功偉|蔡佩珊";

// A CSV file: the header, a row per person from a pattern (%1 given name, %2 family name, %3 whole
// name, %4 mobile, %5 e-mail), then the hand-written rows.
QString Csv(const QString& header, const char* people, const QString& pattern, const QString& rest,
            const QString& newline = u"\r\n"_s)
{
    QString text = header + newline;
    int n = 0;
    for (const QString& name : QString::fromUtf8(people).split(u'|')) {
        ++n;
        text += QString(pattern)
                    .replace(u"%1"_s, name.section(u' ', 0, 0))
                    .replace(u"%2"_s, name.section(u' ', 1))
                    .replace(u"%3"_s, name)
                    .replace(u"%4"_s, u"555-01%1"_s.arg(n, 2, 10, QChar(u'0')))
                    .replace(u"%5"_s, u"contact%1@example.com"_s.arg(n)) +
                newline;
    }
    return text + rest;
}

QStringList Names(const char* people, const QString& last)
{
    return QString::fromUtf8(people).split(u'|') << last;
}

} // namespace

class tst_Exchange : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readFile_data();
    void readFile();
    void planAndExecute();
    void roundTrip_data();
    void roundTrip();
    void importCommand_data();
    void importCommand();
    void exportCommand_data();
    void exportCommand();
    void printList_data();
    void printList();

private:
    frmMain* Open() { return m_window = new frmMain(); }

    std::unique_ptr<RecordingPlatform> m_platform;
    std::unique_ptr<TestProgramFolder> m_folder;
    std::unique_ptr<QTemporaryDir> m_files;
    QPointer<frmMain> m_window;
};

void tst_Exchange::init()
{
    m_platform = std::make_unique<RecordingPlatform>();
    m_folder = std::make_unique<TestProgramFolder>();
    m_files = std::make_unique<QTemporaryDir>();
}

void tst_Exchange::cleanup()
{
    if (m_window) {
        m_window->close();
        delete m_window.data();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
    m_files.reset();
    m_folder.reset();
    m_platform.reset();
}

void tst_Exchange::readFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("last"); // the last contact, every field
    QTest::addColumn<QString>("dropped");

    QTest::newRow("2.1 quoted-printable, soft line break")
        << QByteArray(
               "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=FCrgen\r\n"
               "FN;CHARSET=UTF-8;QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller-L=C3=BC=\r\ndenscheid\r\n"
               "TEL;HOME;VOICE:+49 30 1234567\r\nTEL;CELL:+49 170 7654321\r\n"
               "EMAIL;INTERNET;PREF:juergen@example.de\r\nEND:VCARD\r\n")
        << QStringList{"Jürgen Müller-Lüdenscheid"}
        << "Jürgen Müller-Lüdenscheid||+49 30 1234567|+49 170 7654321||juergen@example.de||||"
        << "";
    QTest::newRow("2.1 GB2312, name from N")
        << Encoded("GB2312", u"BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=GB2312:张;伟\nTEL;WORK;VOICE:010-62345678\n"
                             u"TEL;PREF;CELL:13812345678\nNOTE;CHARSET=GB2312:老同学\nX-QQ:10001\nEND:VCARD\n"_s)
        << QStringList{"张伟"} << "张伟|||13812345678|010-62345678||10001|||"
        << "NOTE=1";
    QTest::newRow("2.1 Big5, backslash trail bytes")
        << Encoded("BIG5", u"BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=BIG5:許;功蓋\nFN;CHARSET=BIG5:許功蓋\n"
                           u"ORG;CHARSET=BIG5:台灣積體電路\nTEL:02-2345-6789\nEND:VCARD\n"_s)
        << QStringList{"許功蓋"} << "許功蓋||02-2345-6789|||||||"
        << "ORG=1";
    QTest::newRow("3.0 folding, escapes, groups, types")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:Anne-Marie O'Brien\\, PhD\nN:O'Brien;Anne-Marie;;;PhD\n"
                      "TEL;TYPE=WORK,VOICE:+1 617 555 0100\nTEL;TYPE=HOME:+1 617 555 0111\n"
                      "TEL;TYPE=HOME:+1 617 555 0199\nTEL:+1 617 555 0122\nTEL;TYPE=FAX:+1 617 555 0133\n"
                      "item1.EMAIL;TYPE=INTERNET:anne@example.org\nitem1.X-ABLabel:Work\n"
                      "EMAIL;TYPE=INTERNET,HOME:anne.obrien@exa\n mple.com\nURL:https://example.org/~anne\n"
                      "CATEGORIES:Clients\\, Boston,VIP\nNOTE:Met at the fair\\; call in March\\nBring slides\n"
                      "BDAY:1980-04-12\nADR;TYPE=HOME:;;12 Elm St;Boston;MA;02110;USA\n"
                      "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQ\n EASABIAAD\nEND:VCARD\n")
        << QStringList{"Anne-Marie O'Brien, PhD"}
        << "Anne-Marie O'Brien, PhD|Clients, Boston|+1 617 555 0111|+1 617 555 0122|+1 617 555 0100|"
           "anne@example.org; anne.obrien@example.com||||https://example.org/~anne"
        << "ADR=1, BDAY=1, NOTE=1, PHOTO=1, X-ABLABEL=1, fax=1, second category=1, second home phone=1";
    QTest::newRow("4.0 PREF, IMPP, several cards, one without END")
        << QByteArray("BEGIN:VCARD\nVERSION:4.0\nFN:Priya Raman\nTEL;TYPE=home:+44 20 7946 0000\nEND:VCARD\n"
                      "BEGIN:VCARD\nVERSION:4.0\nFN:Li Wei\nTEL;VALUE=uri;TYPE=cell:tel:+86-139-0000-1111\n"
                      "TEL;VALUE=uri;TYPE=cell;PREF=1:tel:+86-139-0000-2222\n"
                      "TEL;VALUE=uri;TYPE=\"voice,work\":tel:+86-21-5555-0000\nIMPP;PREF=1:qq:123456789\n"
                      "IMPP:msnim:liwei@live.com\nIMPP:icq:55512345\nIMPP:xmpp:liwei@jabber.org\n"
                      "EMAIL;PREF=2:li.wei@example.cn\nEMAIL;PREF=1:lw@example.com\nCATEGORIES:Rock \"n\" Roll\n"
                      "END:VCARD\n"
                      "BEGIN:VCARD\nVERSION:4.0\nFN:Half Card\nTEL:123\n")
        << QStringList{"Priya Raman", "Li Wei"}
        << "Li Wei|Rock \"n\" Roll||+86-139-0000-2222|+86-21-5555-0000|li.wei@example.cn; lw@example.com|123456789|"
           "liwei@live.com|55512345|"
        << "IMPP (xmpp)=1, card without END=1, second mobile phone=1";

    QString text = Csv(u"First Name,Middle Name,Last Name,Title,Company,Home Phone,Mobile Phone,Business Phone,"
                       u"E-mail Address,E-mail 2 Address,Categories,Web Page,Birthday,Notes"_s,
                       Western, u"%1,,%2,,,,%4,,%5,,,,,"_s,
                       u"\"Mary \"\"Molly\"\"\",Anne,O’Neil,Dr.,\"Acme, Inc.\",(617) 555-0100,(617) 555-0199,"
                       u"\"555-0150, ext. 12\",molly@example.com,m.oneil@acme.example,Friends;Golf,"
                       u"http://molly.example.com,6/1/1975,\"Met at the “Boston” fair\r\nLikes golf €\"\r\n"_s);
    QTest::newRow("Outlook-like, Windows-1252")
        << Encoded("CP1252", text) << Names(Western, u"Mary \"Molly\" Anne O’Neil"_s)
        << "Mary \"Molly\" Anne O’Neil|Friends|(617) 555-0100|(617) 555-0199|555-0150, ext. 12|"
           "molly@example.com; m.oneil@acme.example||||http://molly.example.com"
        << "Birthday=1, Company=1, Notes=1, Title=1, second category=1";

    text = Csv(u"First Name\tLast Name\tDisplay Name\tNickname\tPrimary Email\tSecondary Email\tWork Phone\t"
               u"Home Phone\tFax Number\tMobile Number\tWeb Page 1\tNotes"_s,
               Western, u"%1\t%2\t%3\t\t%5\t\t\t\t\t%4\t\t"_s,
               u"Jean-Luc\tPicard\t\"Picard, Jean-Luc \"\"JL\"\"\"\tJL\tjl@example.org\tjean-luc@example.net\t"
               u"+33 1 23 45 67 89\t\t+33 1 23 45 67 00\t+33 6 12 34 56 78\thttps://example.org/jl\t"
               u"\"Tea, Earl Grey;\nhot\"\n"_s,
               u"\n"_s);
    const QString picard = u"Picard, Jean-Luc \"JL\"|||+33 6 12 34 56 78|+33 1 23 45 67 89|"
                           u"jl@example.org; jean-luc@example.net||||https://example.org/jl"_s;
    QTest::newRow("Thunderbird-like, tabs, UTF-8")
        << text.toUtf8() << Names(Western, picard.section(u'|', 0, 0)) << picard << "Fax Number=1, Nickname=1, Notes=1";
    QTest::newRow("the same in UTF-16 with BOM")
        << "\xFF\xFE" + Encoded("UTF-16LE", text) << Names(Western, picard.section(u'|', 0, 0)) << picard
        << "Fax Number=1, Nickname=1, Notes=1";

    text = Csv(u"Name,Given Name,Additional Name,Family Name,Nickname,Birthday,Notes,Group Membership,"
               u"E-mail 1 - Type,E-mail 1 - Value,E-mail 2 - Type,E-mail 2 - Value,Phone 1 - Type,Phone 1 - Value,"
               u"Phone 2 - Type,Phone 2 - Value,Phone 3 - Type,Phone 3 - Value,Website 1 - Type,Website 1 - Value"_s,
               Western, u"%3,%1,,%2,,,,* myContacts,* Home,%5,,,Mobile,%4,,,,,,"_s,
               u"\"Nguyen, Thi \"\"Lan\"\"\",Lan,,Nguyen,,1988-02-03,,* myContacts ::: Family,* Work,lan@example.vn,"
               u"* Home,lan.home@example.vn,Work,028 3822 0000,Home Fax,028 3822 0001,Main,028 3822 0002,Blog,"
               u"https://lan.example.vn\r\n"_s);
    QTest::newRow("Google-like, UTF-8 with BOM")
        << "\xEF\xBB\xBF" + text.toUtf8() << Names(Western, u"Nguyen, Thi \"Lan\""_s)
        << "Nguyen, Thi \"Lan\"|Family|028 3822 0002||028 3822 0000|lan@example.vn; lan.home@example.vn||||"
           "https://lan.example.vn"
        << "Birthday=1, fax=1";

    text = Csv(u"Name;Mobile Phone;E-mail;Categories;Company"_s, Simplified, u"%3;%4;%5;同事;"_s,
               u"\"欧阳\"\"小\"\"娜\";139 1000 2000;\"nana@example.cn;ouyang@example.cn\";朋友;"
               u"\"北京某某科技有限公司\r\n研发部\"\r\n"_s);
    QTest::newRow("semicolons, GB18030") << Encoded("GB18030", text) << Names(Simplified, u"欧阳\"小\"娜"_s)
                                         << "欧阳\"小\"娜|朋友||139 1000 2000||nana@example.cn;ouyang@example.cn||||"
                                         << "Company=1";

    text = Csv(u"Name,Type,Home Phone,Mobile Phone,Business Phone,E-mail,QQ,MSN,ICQ,Web Page"_s, Traditional,
               u"%3,客戶,,%4,,%5,,,,"_s,
               u"\"許功蓋, 經理\",供應商,(02) 2345-6789,0912-345-678,,\"hsu@example.com.tw; kung@example.tw\",,"
               u"hsu@hotmail.com,,\"http://例子.台灣/?a=1,2\"\r\n"_s);
    QTest::newRow("our own headers, Big5")
        << Encoded("BIG5", text) << Names(Traditional, u"許功蓋, 經理"_s)
        << "許功蓋, 經理|供應商|(02) 2345-6789|0912-345-678||hsu@example.com.tw; kung@example.tw||hsu@hotmail.com||"
           "http://例子.台灣/?a=1,2"
        << "";
}

void tst_Exchange::readFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(QString, last);
    QFETCH(QString, dropped);
    const ContactFile file = ReadContactFile(bytes);
    QCOMPARE(file.error, QString());
    QStringList read;
    for (const ContactCard& c : file.cards) {
        read.append(c.name);
    }
    QCOMPARE(read, names);
    QCOMPARE(Lines(file.cards).last(), last);
    QCOMPARE(Dropped(file.dropped), dropped);
}

void tst_Exchange::planAndExecute()
{
    const qint64 family = InsertType(Conn, u"Family"_s, {});
    InsertType(Conn, u"Étudiants"_s, {});
    AddRecord(family, u"Ana Silva"_s);
    ContactFile file;
    for (const char* line :
         {" Ana Silva |", "  |Family", "Bo Li|FAMILY| 555-0100 |||| 42 ||| http://bo.example ", "Cy Ng|family",
          "Dee Roy|Neighbours", "Eve Lam|neighbours", "Bo Li|Neighbours", "Fay Wu|", "Gil Sá|ÉTUDIANTS"}) {
        file.cards.append(Card(QString::fromUtf8(line)));
    }
    file.dropped = {{u"BDAY"_s, 2}};

    const ImportPlan plan = PlanImport(Conn, file, u"Imported"_s);
    QCOMPARE(Lines(plan.toAdd), (QStringList{"Bo Li|Family|555-0100||||42|||http://bo.example", "Cy Ng|Family||||||||",
                                             "Dee Roy|Neighbours||||||||", "Eve Lam|Neighbours||||||||",
                                             "Fay Wu|Imported||||||||", "Gil Sá|Étudiants||||||||"}));
    QCOMPARE(plan.newTypes, (QStringList{"Neighbours", "Imported"}));
    const QMap<QString, int> perType{{"Family", 2}, {"Neighbours", 2}, {"Imported", 1}, {u"Étudiants"_s, 1}};
    QCOMPARE(plan.perType, perType);
    QCOMPARE(plan.alreadyThere, 2);
    QCOMPARE(plan.unnamed, 1);
    QCOMPARE(plan.dropped, file.dropped);

    // A cancel at the first step or at the very end writes nothing, not even the new types.
    for (const bool atEnd : {false, true}) {
        int last = -1;
        QVERIFY(!ExecuteImport(Conn, plan, [&](int done, int total) { return (last = done, atEnd && done < total); }));
        QCOMPARE(last, atEnd ? 6 : 0);
        QCOMPARE(Book(), QStringList{"Family/Ana Silva"});
        QCOMPARE(PlanImport(Conn, file, u"Imported"_s).newTypes, plan.newTypes);
    }

    QCOMPARE(ExecuteImport(Conn, plan).value_or(-1), family);
    QCOMPARE(Book(), (QStringList{"Family/Ana Silva", "Family/Bo Li", "Family/Cy Ng", "Neighbours/Dee Roy",
                                  "Neighbours/Eve Lam", "Imported/Fay Wu", u"Étudiants/Gil Sá"_s}));
    // Stored as the record editor stores it: every field enciphered, empty ones too.
    Recordset rs;
    rs.Open("Select * From PWDTable Where Name = '" + Encrypt(u"Bo Li") + "'", Conn, LockType::ReadOnly);
    QCOMPARE(rs.RecordCount(), 1);
    QCOMPARE(rs.Text(u"F_Phone1"), Encrypt(u"555-0100"));
    QCOMPARE(rs.Text(u"QQ"), Encrypt(u"42"));
    for (const char16_t* column : {u"F_MobilePhone1", u"C_Phone1", u"EMailList", u"MSN", u"ICQ"}) {
        QVERIFY(!rs.IsNull(column));
        QCOMPARE(rs.Text(column), Encrypt(u""));
    }
    QCOMPARE(rs.Text(u"Url"), u"http://bo.example"_s);
}

void tst_Exchange::roundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("vCard 4.0") << 0;
    QTest::newRow("vCard 3.0") << 1;
    QTest::newRow("CSV") << 2;
}

void tst_Exchange::roundTrip()
{
    QFETCH(int, format);
    QStringList many;
    for (int i = 1; many.join(u"; ").size() <= 600; ++i) {
        many.append(u"contact.person%1@example-mail.com"_s.arg(i));
    }
    const QStringList book = {
        u"欧阳娜娜|同事|010-8888 6666|138 0013 8000||nana@example.cn; 欧阳@例子.中国|10001|||https://例子.中国/nana"_s,
        u"Jim \"Jimmy\" O'Neil, Jr.|R&D; \"Core\" team|555-0100;ext=2||555,0101|"_s + many.join(u"; ") +
            u"||jim@live.com|12345678|http://x.example/?a=1,b=2;c"_s,
        u"Zoë Ångström|同事|||+46 8 123|a@x.example;\nb@y.example|\\n\\,|first:second\nthird||"_s,
        u"許功蓋|Friends, \"close\"||||||||"_s,
    };
    ContactFile source;
    for (const QString& line : book) {
        source.cards.append(Card(line));
    }
    QVERIFY(ExecuteImport(Conn, PlanImport(Conn, source, {})));
    const QList<ContactCard> stored = ReadContacts(Conn);
    QCOMPARE(Lines(stored), book);
    const QByteArray bytes =
        format == 2 ? WriteCsv(stored) : WriteVCards(stored, format == 0 ? VCardVersion::V40 : VCardVersion::V30);

    m_folder.reset(); // an empty book; one open at a time
    m_folder = std::make_unique<TestProgramFolder>();
    const ContactFile file = ReadContactFile(bytes);
    QCOMPARE(file.error, QString());
    QCOMPARE(Dropped(file.dropped), QString());
    QVERIFY(ExecuteImport(Conn, PlanImport(Conn, file, u"Imported"_s)));
    QCOMPARE(Lines(ReadContacts(Conn)), book);
}

void tst_Exchange::importCommand_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("select");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QString>("nodeAfter");

    QByteArray mixed;
    for (const char* card :
         {"FN:Old Pal", "FN:Nadia Petrova\nCATEGORIES:friends\nBDAY:1990-01-01", "FN:Tom Baker\nCATEGORIES:Suppliers",
          "FN:Tom Baker", "N:;;;;\nTEL:555", "FN:Ines Duarte"}) {
        mixed += QByteArray("BEGIN:VCARD\nVERSION:3.0\n") + card + "\nEND:VCARD\n";
    }
    const QString question = u"Import 3 contacts?\nTypes: Friends (1), Imported (1, new), Suppliers (1, new)\n"_s;
    const QString skipped =
        u"Skipped, the name is already in the address book: 2\nSkipped, no name: 1\nNot kept: BDAY 1"_s;
    QTest::newRow("nothing selected: Imported")
        << mixed << "Root" << true << question + skipped
        << QStringList{"Friends/Nadia Petrova", "Suppliers/Tom Baker", "Imported/Ines Duarte"} << "_1";
    QTest::newRow("a type selected takes the uncategorised")
        << mixed << "_2" << true << "Import 3 contacts?\nTypes: Friends (1), Suppliers (1, new), Work (1)\n" + skipped
        << QStringList{"Friends/Nadia Petrova", "Suppliers/Tom Baker", "Work/Ines Duarte"} << "_1";
    QTest::newRow("cancelled") << mixed << "Root" << false << question + skipped << QStringList() << "Root";
    QTest::newRow("every name there already")
        << QByteArray("Name,E-mail\r\nBoss,boss@example.com\r\nOld Pal,\r\n") << "Root" << true
        << "There is nothing to import.\nSkipped, the name is already in the address book: 2" << QStringList()
        << "Root";
    const std::pair<const char*, QByteArray> unreadable[] = {
        {"empty file", QByteArray()},
        {"binary junk", QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\xFF\xD8\x00\x10", 20)},
        {"unterminated quote", "Name,E-mail\n\"Ann,ann@example.com\nBob,bob@example.com\n"},
        {"no name column", "Phone,E-mail\n555,a@example.com\n"},
        {"card without END", "BEGIN:VCARD\nVERSION:3.0\nFN:Ann\n"},
    };
    for (const auto& [name, bytes] : unreadable) {
        QTest::newRow(name) << bytes << "Root" << true << "The file holds no contacts that can be read."
                            << QStringList() << "Root";
    }
}

void tst_Exchange::importCommand()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, select);
    QFETCH(bool, ok);
    QFETCH(QString, box);
    QFETCH(QStringList, added);
    QFETCH(QString, nodeAfter);
    AddRecord(InsertType(Conn, u"Friends"_s, {}), u"Old Pal"_s);
    AddRecord(InsertType(Conn, u"Work"_s, {}), u"Boss"_s);
    const QStringList before = Book();
    QFile file(m_files->filePath(u"contacts.vcf"_s));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    frmMain* w = Open();
    w->LoadTreeData(select);
    m_platform->calls.clear();
    m_platform->files = {file.fileName()};
    m_platform->answers = {ok ? MsgResult::Ok : MsgResult::Cancel};
    w->ImportContacts();

    const QList<RecordingPlatform::Call> boxes = m_platform->Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, box);
    const bool asks = box.startsWith(u"Import");
    QCOMPARE(boxes[0].buttons, asks ? MsgButtons::OkCancel : MsgButtons::Ok);
    QCOMPARE(Book(), before + added);
    // The tree shows the new types, on the first type that received contacts.
    QCOMPARE(w->TreeView1->topLevelItem(0)->childCount(), 2 + (ok ? box.count(u", new"_s) : 0));
    QCOMPARE(w->TreeView1->currentItem()->data(0, frmMain::NodeKeyRole).toString(), nodeAfter);
}

void tst_Exchange::exportCommand_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QList<int>>("rows"); // rows selected in the list
    QTest::addColumn<QString>("target");  // as chosen; empty: a folder that does not exist
    QTest::addColumn<QStringList>("names");
    const QStringList all{"Amy Adams", "Ben Brown", "Cleo Chen", "Dan Dorsey", "Eva Ender"};
    QTest::newRow("selected rows") << "_1" << QList<int>{0, 2} << "contacts" << QStringList{all[0], all[2]};
    QTest::newRow("the selected type") << "_1" << QList<int>() << "contacts.vcf" << all.mid(0, 3);
    QTest::newRow("root, a type row selected") << "Root" << QList<int>{0} << "contacts" << all;
    QTest::newRow("search result") << "a" << QList<int>() << "contacts" << QStringList{all[0], all[3], all[4]};
    QTest::newRow("search result, a row selected") << "a" << QList<int>{1} << "contacts" << QStringList{all[3]};
    QTest::newRow("folder missing") << "Root" << QList<int>() << "missing/contacts.vcf" << QStringList();
}

void tst_Exchange::exportCommand()
{
    QFETCH(QString, node);
    QFETCH(QList<int>, rows);
    QFETCH(QString, target);
    QFETCH(QStringList, names);
    const qint64 friends = InsertType(Conn, u"Friends"_s, {});
    const qint64 work = InsertType(Conn, u"Work"_s, {});
    for (const char* name : {"Amy Adams", "Ben Brown", "Cleo Chen", "Dan Dorsey", "Eva Ender"}) {
        AddRecord(name[0] < 'D' ? friends : work, QString::fromLatin1(name));
    }
    QFile old(m_files->filePath(u"contacts.vcf"_s)); // replaced whole, not written over in place
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(100000, 'x')) == 100000);
    old.close();

    frmMain* w = Open();
    if (node == u"a") {
        w->txtValue->setText(node); // a search for names with an "a"
        QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    } else {
        w->LoadTreeData(node);
    }
    for (const int row : rows) {
        w->ListView1->selectionModel()->select(w->ListModel()->index(row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    m_platform->calls.clear();
    m_platform->files = {m_files->filePath(target)}; // without a suffix, the filter's is added
    w->ExportContacts();

    QCOMPARE(m_platform->Boxes().size(), 1);
    QCOMPARE(old.size() == 100000, names.isEmpty());
    QCOMPARE(QDir(m_files->path()).entryList(QDir::Files), QStringList{"contacts.vcf"});
    if (names.isEmpty()) {
        QCOMPARE(m_platform->Boxes()[0].icon, MsgIcon::Warning);
        QVERIFY(m_platform->Boxes()[0].text.startsWith(u"The file could not be written: "));
        return;
    }
    QCOMPARE(m_platform->Boxes()[0].text, u"%1 contacts exported."_s.arg(names.size()));
    QVERIFY(old.open(QIODevice::ReadOnly));
    const QByteArray bytes = old.readAll();
    QVERIFY(bytes.startsWith("BEGIN:VCARD\r\nVERSION:4.0\r\n"));
    QStringList read;
    for (const ContactCard& c : ReadContactFile(bytes).cards) {
        read.append(c.name);
    }
    QCOMPARE(read, names);
}

void tst_Exchange::printList_data()
{
    QTest::addColumn<int>("fillers");
    QTest::newRow("a few contacts") << 0;
    QTest::newRow("several pages") << 150;
}

void tst_Exchange::printList()
{
    QFETCH(int, fillers);
    const qint64 friends = InsertType(Conn, u"Friends"_s, {});
    AddRecord(friends, u"Amy Adams"_s, u"555-0111"_s);
    AddRecord(friends, u"Zed Young"_s, u"555-0333"_s);
    AddRecord(friends, u"Max Moreau"_s, u"555-0222"_s);
    for (int i = 0; i < fillers; ++i) {
        AddRecord(friends, u"Filler %1"_s.arg(i, 3, 10, QChar(u'0')));
    }
    frmMain* w = Open();
    w->LoadTreeData(u"_%1"_s.arg(friends));
    w->ListModel()->sort(0, Qt::DescendingOrder);
    w->ListView1->header()->moveSection(w->ListView1->header()->visualIndex(2), 0); // the mobile first
    m_platform->printFile = m_files->filePath(u"list.pdf"_s);
    w->PrintList();

    QProcess pdftotext;
    pdftotext.start(u"pdftotext"_s, {u"-layout"_s, m_platform->printFile, u"-"_s});
    QVERIFY2(pdftotext.waitForFinished() && pdftotext.exitCode() == 0, "pdftotext failed");
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    const int pages = static_cast<int>(text.count(u'\f'));
    QCOMPARE(pages > 1, fillers > 0);
    for (int page = 1; page <= pages; ++page) {
        QVERIFY2(text.contains(u"Page %1 of %2"_s.arg(page).arg(pages)), qPrintable(text));
    }
    // The heading on every page; each row in the list's order, its columns as shown.
    QCOMPARE(text.count(QRegularExpression(u"^\\f? *Friends *$"_s, QRegularExpression::MultilineOption)), pages);
    const qsizetype zed = text.indexOf(QRegularExpression(u"555-0333 +Zed Young"_s));
    const qsizetype max = text.indexOf(QRegularExpression(u"555-0222 +Max Moreau"_s));
    const qsizetype amy = text.indexOf(QRegularExpression(u"555-0111 +Amy Adams"_s));
    QVERIFY2(zed >= 0 && zed < max && max < amy, qPrintable(text));
    for (int i = 0; i < fillers; ++i) {
        QCOMPARE(text.count(u"Filler %1"_s.arg(i, 3, 10, QChar(u'0'))), 1);
    }
}

QTEST_MAIN(tst_Exchange)
#include "tst_exchange.moc"
