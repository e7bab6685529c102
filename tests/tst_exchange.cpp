// Contacts in and out of the address book: vCard and CSV files as other address books write them,
// in the encodings they use; planning and writing an import; export and import giving the same
// book back; and the main window's import, export and print commands on a real book.
#include <QApplication>
#include <QBuffer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "core/AppState.h"
#include "core/CodePage.h"
#include "core/platform/LocalFile.h"
#include "exchange/ContactExchange.h"
#include "exchange/Csv.h"
#include "exchange/VCard.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/BusyProgress.h"

using namespace Qt::StringLiterals;
using namespace Book;

namespace {

// Contacts as lines of their first fields: name|type|home|mobile|work|e-mail|QQ|MSN|ICQ|web address.
QStringList Lines(const QList<ContactCard>& cards, qsizetype fields = 10)
{
    QStringList lines;
    for (const ContactCard& c : cards) {
        lines.append(QStringList{c.name, c.category, c.homePhone, c.mobilePhone, c.workPhone, c.emails, c.qq, c.msn,
                                 c.icq, c.url}
                         .first(fields)
                         .join(u'|'));
    }
    return lines;
}

ContactFile Cards(const QStringList& lines)
{
    ContactFile file;
    for (const QString& line : lines) {
        const QStringList f = line.split(u'|');
        file.cards.append({f.value(0), f.value(1), f.value(2), f.value(3), f.value(4), f.value(5), f.value(6),
                           f.value(7), f.value(8), f.value(9)});
    }
    return file;
}

QString Dropped(const QMap<QString, int>& dropped)
{
    QStringList parts;
    for (auto it = dropped.constBegin(); it != dropped.constEnd(); ++it) {
        parts.append(it.key() + u'=' + QString::number(it.value()));
    }
    return parts.join(u", "_s);
}

} // namespace

class tst_Exchange : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_world.emplace();
        m_files = std::make_unique<QTemporaryDir>();
    }

    void cleanup()
    {
        m_files.reset();
        m_world.reset();
    }

    void readFile_data() { AddRows(u"exchange.txt"_s); }

    void readFile()
    {
        QFETCH(QString, sample);
        const QByteArray bytes = Sample(sample);
        QFETCH(QString, names);
        QFETCH(QString, last);
        QFETCH(QString, dropped);
        const ContactFile file = ReadContactFile(bytes);
        QCOMPARE(Dropped(file.dropped), dropped);
        QVERIFY(ExecuteImport(Conn, PlanImport(Conn, file, u"Imported"_s)));
        const QList<ContactCard> stored = ReadContacts(Conn);
        QCOMPARE(Lines(stored, 1), names.split(u'|'));
        QCOMPARE(Lines(stored).last(), last);
    }

    void streamedRead_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("pieceBytes");
        // Every sample in small pieces, so that lines, folds, soft breaks and line ends fall on
        // the edges of pieces; and a file larger than one ordinary piece.
        for (const QString& name : QDir(SourceDir() + u"/tests/data"_s).entryList({u"*.vcf"_s, u"*.csv"_s})) {
            QTest::newRow(qPrintable(name)) << Sample(name) << qint64(37);
        }
        QList<ContactCard> cards;
        for (int i = 0; i < 15000; ++i) {
            cards.append({u"Contact %1 Müller, a name long enough to be folded at least once"_s.arg(i),
                          u"Group"_s,
                          u"+49 30 %1"_s.arg(i),
                          {},
                          {},
                          u"c%1@example.org; c%1@mail.example.com"_s.arg(i),
                          {},
                          {},
                          {},
                          {}});
        }
        QTest::newRow("large") << WriteVCards(cards, VCardVersion::V30) << FilePieceBytes;
    }

    void streamedRead()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, pieceBytes);
        const QString path = m_files->filePath(u"contacts"_s);
        QVERIFY(WriteFile(path, bytes));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        qint64 reported = 0;
        int parsing = 0; // reports made once the whole file was read, while its text is parsed
        const ContactFile streamed = ReadContactFile(
            file,
            [&](qint64 done, qint64) {
                parsing += file.atEnd() ? 1 : 0;
                return (reported = done, true);
            },
            pieceBytes);
        const ContactFile whole = ReadContactFile(bytes);
        QCOMPARE(Lines(streamed.cards), Lines(whole.cards));
        QCOMPARE(Dropped(streamed.dropped), Dropped(whole.dropped));
        QCOMPARE(streamed.error, whole.error);
        QCOMPARE(streamed.encoding, whole.encoding);
        if (pieceBytes == FilePieceBytes) {
            QCOMPARE(reported, bytes.size()); // progress to the end
        }
        // The first pieces are all read before any is parsed; parsing them reports too, so the
        // window paints and hears Cancel meanwhile. (UTF-16, with its zero bytes, is made UTF-8
        // whole.)
        if (bytes.size() > 4 * pieceBytes && !bytes.contains('\0')) {
            QVERIFY2(parsing >= 2, qPrintable(QString::number(parsing)));
        }
    }

    // A CSV file is read a piece at a time too, so one beyond what is read whole imports; quoted
    // values run over lines (CR LF, CR CR LF) and over the edges of pieces. UTF-16 is still made
    // UTF-8 whole, so it is refused beyond the limit.
    void csvStreamed()
    {
        QByteArray csv = "Name,Type,E-mail,Web Page\r\n";
        for (int i = 0; i < 3000; ++i) {
            const QByteArray n = QByteArray::number(i);
            csv += "\"Contact " + n + ", \"\"the\"\" one\",Group " + QByteArray::number(i % 7) + ",\"c" + n +
                   "@example.org;\r\r\nc" + n + "@mail.example.com\rend\",http://example.org/" + n + "\r\n";
        }
        const QString path = m_files->filePath(u"big.csv"_s);
        QVERIFY(WriteFile(path, csv));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        int pieces = 0;
        const qint64 limit = csv.size() / 4;
        const ContactFile streamed = ReadContactFile(
            file, [&](qint64, qint64) { return ++pieces, true; }, 4096, limit);
        QCOMPARE(streamed.error, QString());
        QVERIFY(pieces >= csv.size() / 4096);
        QCOMPARE(streamed.cards.size(), 3000);
        QCOMPARE(Lines(streamed.cards), Lines(ReadContactFile(csv).cards));
        QCOMPARE(Lines(streamed.cards).last(),
                 u"Contact 2999, \"the\" one|Group 3||||"
                 u"c2999@example.org;\nc2999@mail.example.com\nend||||http://example.org/2999"_s);

        const QString text = QString::fromUtf8(csv);
        QByteArray wide("\xFF\xFE");
        wide.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QVERIFY(WriteFile(path, wide));
        QFile wideFile(path);
        QVERIFY(wideFile.open(QIODevice::ReadOnly));
        QCOMPARE(ReadContactFile(wideFile, {}, 4096, limit).error, u"too large"_s);
    }

    void converters()
    {
        QCOMPARE(CodePage::Known("utf_8"), QByteArray("UTF-8"));
        QCOMPARE(CodePage::Known("Windows-1250"), QByteArray("CP1250"));
        QCOMPARE(CodePage::Known("UTF-16//1"), std::nullopt);
        // However many code pages a file names, only a few converters stay open.
        for (int i = 1; i <= 16; ++i) {
            CodePage("ISO-8859-" + QByteArray::number(i)).ToUnicode("x");
            CodePage("CP" + QByteArray::number(1249 + i)).ToUnicode("x");
        }
        QVERIFY(CodePage::OpenConverters() > 0 && CodePage::OpenConverters() <= 8);
    }

    void planAndExecute()
    {
        const qint64 family = AddType(u"Family"_s);
        AddType(u"Étudiants"_s);
        // Fields trimmed; types matched without regard to case; no type: the default one.
        const ContactFile file = Cards({u" Bo Li |FAMILY| 555-0100 |||| 42 ||| http://bo.example "_s, u"  |Family"_s,
                                        u"Fay Wu|"_s, u"Gil Sá|ÉTUDIANTS"_s, u"Bo Li|Neighbours"_s});
        const ImportPlan plan = PlanImport(Conn, file, u"Imported"_s);
        QCOMPARE(plan.newTypes, QStringList{"Imported"});

        // A cancel at the first step or at the very end writes nothing, not even the new types.
        for (const bool atEnd : {false, true}) {
            int last = -1;
            QVERIFY(
                !ExecuteImport(Conn, plan, [&](int done, int total) { return (last = done, atEnd && done < total); }));
            QCOMPARE(last, atEnd ? 3 : 0);
            QCOMPARE(ReadContacts(Conn).size(), 0);
            QCOMPARE(PlanImport(Conn, file, u"Imported"_s).newTypes, plan.newTypes);
        }

        QCOMPARE(ExecuteImport(Conn, plan).value_or(-1), family);
        QCOMPARE(Lines(ReadContacts(Conn)), (QStringList{"Bo Li|Family|555-0100||||42|||http://bo.example",
                                                         "Fay Wu|Imported||||||||", "Gil Sá|Étudiants||||||||"}));
        // Stored as the record editor stores it: every field enciphered, empty ones too; the address plain.
        Recordset rs;
        rs.Open("Select * From PWDTable Where Name = '" + Encrypt(u"Bo Li") + "'", Conn, LockType::ReadOnly);
        QCOMPARE(rs.Text(u"QQ"), Encrypt(u"42"));
        QVERIFY(!rs.IsNull(u"MSN"));
        QCOMPARE(rs.Text(u"MSN"), Encrypt(u""));
        QCOMPARE(rs.Text(u"Url"), u"http://bo.example"_s);
    }

    void roundTrip_data() { AddRows(u"exchange.txt"_s); }

    void roundTrip()
    {
        QFETCH(int, format);
        // Every kind of blank inside values, quotes, commas, semicolons, backslashes, Chinese, emoji.
        const QStringList book = {
            u"Jim \"Jimmy\" O'Neil, Jr.; \\ the 3rd|R&D; \"Core\" team|555-0100;ext=2||555,0101|"
            u"jim@example.com; jim.oneil@example.org||first:second\nthird|12345678|http://x.example/?a=1,b=2;c"_s,
            u"Zoë\tÅngström\u00A0von\u3000Holt|同事||+46 8 123||a@x.example;\nb@y.example|\\n\\,|||"_s,
            u"欧阳娜娜 🎉 Ōuyáng Nànà, the longest name in this book, folded 😀 twice over|Friends, \"close\"|"
            u"010-8888 6666|138 0013 8000||contact.person1@example-mail.com; contact.person2@example-mail.com; "
            u"contact.person3@example-mail.com; contact.person4@example-mail.com; contact.person5@example-mail.com; "
            u"contact.person6@example-mail.com; contact.person7@example-mail.com|10001|||https://例子.中国/nana"_s,
        };
        QVERIFY(ExecuteImport(Conn, PlanImport(Conn, ReadContactFile(Sample(u"round-trip.vcf"_s)), {})));
        const QList<ContactCard> stored = ReadContacts(Conn);
        QCOMPARE(Lines(stored), book);
        const QByteArray bytes =
            format == 2 ? WriteCsv(stored) : WriteVCards(stored, format == 0 ? VCardVersion::V40 : VCardVersion::V30);

        m_world.reset(); // an empty book; one open at a time
        m_world.emplace();
        const ContactFile file = ReadContactFile(bytes);
        QCOMPARE(Dropped(file.dropped), QString());
        QVERIFY(ExecuteImport(Conn, PlanImport(Conn, file, u"Imported"_s)));
        QCOMPARE(Lines(ReadContacts(Conn)), book);
    }

    void importCommand_data() { AddRows(u"exchange.txt"_s); }

    void importCommand()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, select);
        QFETCH(bool, ok);
        QFETCH(QString, box);
        QFETCH(QStringList, added);
        AddRecord(AddType(u"Friends"_s), u"Old Pal"_s);
        AddRecord(AddType(u"Work"_s), u"Boss"_s);
        const QStringList before = Lines(ReadContacts(Conn), 2);
        const QString file = m_files->filePath(u"contacts.vcf"_s);
        QVERIFY(WriteFile(file, bytes.startsWith("file:") ? Sample(QString::fromUtf8(bytes.mid(5))) : bytes));

        frmMain* w = new frmMain();
        w->LoadTreeData(select);
        m_world->platform.calls.clear();
        m_world->platform.files = {file};
        m_world->platform.answers = {ok ? MsgResult::Ok : MsgResult::Cancel};
        w->ImportContacts();

        const QList<RecordingPlatform::Call> boxes = m_world->platform.Boxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, box);
        QCOMPARE(boxes[0].buttons, box.startsWith(u"Import") ? MsgButtons::OkCancel : MsgButtons::Ok);
        QCOMPARE(Lines(ReadContacts(Conn), 2), before + added);
        // The tree shows the new types, on the first type that received contacts.
        QCOMPARE(w->TreeView1->topLevelItem(0)->childCount(), 2 + (ok ? box.count(u", new"_s) : 0));
        QTEST(w->TreeView1->currentItem()->data(0, frmMain::NodeKeyRole).toString(), "nodeAfter");
    }

    // Only a regular file is opened: a named pipe (which would block the window until something
    // writes to it) or a folder is refused at once, by name.
    void importRefusesWhatIsNoFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("named pipe") << u"pipe"_s;
        QTest::newRow("folder") << u"folder"_s;
    }

    void importRefusesWhatIsNoFile()
    {
        QFETCH(QString, kind);
        const QString path = m_files->filePath(u"contacts.vcf"_s);
        if (kind == u"pipe"_s) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            QVERIFY(QDir().mkdir(path));
        }
        frmMain* w = new frmMain();
        m_world->platform.calls.clear();
        m_world->platform.files = {path};
        w->ImportContacts();
        const QList<RecordingPlatform::Call> boxes = m_world->platform.Boxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, u"Not a file that can be imported: contacts.vcf"_s);
    }

    // A name that is not UTF-8 (an old Latin-1 name, say) reaches the file as the bytes it is.
    void fileNamesAsBytes_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("UTF-8") << QByteArray("M\xC3\xBCller.vcf");
        QTest::newRow("Latin-1") << QByteArray("M\xFCller.vcf");
        QTest::newRow("a lone continuation byte and a surrogate's own bytes")
            << QByteArray("\x80\xED\xB2\x80 \xF0\x9F\x98\x80.vcf");
    }

    void fileNamesAsBytes()
    {
        QFETCH(QByteArray, name);
        const QByteArray path = QFile::encodeName(m_files->path()) + '/' + name;
        QCOMPARE(FileNameToLocal(FileNameFromLocal(path)), path);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Kai Berg\r\nEND:VCARD\r\n";
        QCOMPARE(::write(fd, card.constData(), static_cast<size_t>(card.size())), card.size());
        ::close(fd);
        frmMain* w = new frmMain();
        m_world->platform.answers = {MsgResult::Ok};
        w->ImportFile(FileNameFromLocal(path));
        QCOMPARE(Lines(ReadContacts(Conn), 1), QStringList{u"Kai Berg"_s});
    }

    // Several files get one question, with a line for each, and go in together.
    void manyFilesOneQuestion()
    {
        const QString a = m_files->filePath(u"a.vcf"_s);
        const QString b = m_files->filePath(u"b.csv"_s);
        QVERIFY(WriteFile(a, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Ames\r\nEND:VCARD\r\n"));
        QVERIFY(WriteFile(b, "Name,E-mail\r\nBo Berg,bo@example.org\r\nCy Cole,\r\n"));
        frmMain* w = new frmMain();
        m_world->platform.calls.clear();
        m_world->platform.answers = {MsgResult::Ok};
        w->ImportFiles({a, b, m_files->filePath(u"missing.vcf"_s)});
        const QList<RecordingPlatform::Call> boxes = m_world->platform.Boxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, u"Import 3 contacts?\na.vcf: 1 contact read\nb.csv: 2 contacts read\n"
                                u"The file could not be read: missing.vcf\nTypes: Imported (3, new)"_s);
        QCOMPARE(Lines(ReadContacts(Conn), 2),
                 (QStringList{u"Ann Ames|Imported"_s, u"Bo Berg|Imported"_s, u"Cy Cole|Imported"_s}));
    }

    // A value longer than 16 MB is counted and skipped, and the contacts around it are read.
    void overlongValue_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("names");
        QTest::addColumn<QString>("error");
        const QByteArray big(MaxValueBytes + 1000, 'x');
        const QByteArray before = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\n";
        const QByteArray after = "\r\nFN:Bo\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nFN:Cy\r\nEND:VCARD\r\n";
        QTest::newRow("vCard, one line") << before + "NOTE:" + big + after << u"Ann|Bo|Cy"_s << QString();
        QByteArray folded = before + "NOTE:x";
        for (qsizetype done = 0; done < big.size(); done += 73) {
            folded += "\r\n " + big.left(73);
        }
        QTest::newRow("vCard, folded") << folded + after << u"Ann|Bo|Cy"_s << QString();
        QTest::newRow("CSV, one field") << "Name,Notes\r\nAnn,\r\nBo," + big + "\r\nCy,\r\n"
                                        << u"Ann|Cy"_s << QString();
        QByteArray lines;
        while (lines.size() < big.size() + 100000) {
            lines += QByteArray(998, 'x') + "\r\n";
        }
        QTest::newRow("CSV, quoted over lines") << "Name,Notes\r\nAnn,\r\nBo,\"" + lines + "\"\r\nCy,\r\n"
                                                << u"Ann|Cy"_s << QString();
        QTest::newRow("junk without a line break") << big + "," + big << QString() << u"empty"_s;
    }

    void overlongValue()
    {
        QFETCH(QByteArray, bytes);
        const QString path = m_files->filePath(u"long"_s);
        QVERIFY(WriteFile(path, bytes));
        bytes = QByteArray();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const ContactFile read = ReadContactFile(file);
        QTEST(read.error, "error");
        QTEST(Lines(read.cards, 1).join(u'|'), "names");
        QCOMPARE(Dropped(read.dropped), u"value too long=1"_s);
    }

    // The column names of mail and address-book programs in other languages, and "phone".
    void localisedHeaders_data()
    {
        QTest::addColumn<QString>("csv");
        QTest::addColumn<QString>("contact");
        QTest::newRow("French Outlook")
            << u"Prénom,Nom,Téléphone domicile,Tél. mobile,Téléphone bureau,Adresse de messagerie,Catégories,Page Web\n"
               u"Chloé,Dubois,01 00 00 00 01,06 00 00 00 02,01 00 00 00 03,chloe@example.fr,Amis,http://c.example"_s
            << u"Chloé Dubois|Amis|01 00 00 00 01|06 00 00 00 02|01 00 00 00 03|chloe@example.fr||||http://c.example"_s;
        QTest::newRow("Spanish Outlook")
            << u"Nombre,Segundo nombre,Apellidos,Teléfono particular,Teléfono móvil,Dirección de correo electrónico\n"
               u"Mateo,José,García,91 000 0001,600 000 002,mateo@example.es"_s
            << u"Mateo José García||91 000 0001|600 000 002||mateo@example.es||||"_s;
        QTest::newRow("Chinese Outlook")
            << u"名,姓,住宅电话,移动电话,商务电话,电子邮件地址,类别\n伟,王,010-0000-0001,139-0000-0002,010-0000-0003,wei@example.cn,朋友"_s
            << u"王伟|朋友|010-0000-0001|139-0000-0002|010-0000-0003|wei@example.cn||||"_s;
        QTest::newRow("Traditional Chinese Outlook")
            << u"名字,姓氏,住家電話,行動電話,電子郵件地址,網頁\n志明,陳,02-0000-0001,0912-000-002,chen@example.tw,http://chen.example"_s
            << u"陳志明||02-0000-0001|0912-000-002||chen@example.tw||||http://chen.example"_s;
        QTest::newRow("Japanese Outlook")
            << u"姓,名,自宅電話,携帯電話,会社電話,電子メール アドレス\n田中,愛子,06-0000-0001,090-0000-0002,06-0000-0003,aiko@example.jp"_s
            << u"田中愛子||06-0000-0001|090-0000-0002|06-0000-0003|aiko@example.jp||||"_s;
        QTest::newRow("German Thunderbird") << u"Vorname,Nachname,Anzeigename,Primäre E-Mail-Adresse,Tel. "
                                               u"dienstlich,Tel. privat,Fax-Nummer,Mobil-Tel.-Nr.\n"
                                               u"Anna,Schmidt,Anna Schmidt,anna@example.de,030 1,030 2,030 3,0170 4"_s
                                            << u"Anna Schmidt||030 2|0170 4|030 1|anna@example.de||||"_s;
        QTest::newRow("Yahoo")
            << u"First,Middle,Last,Email,Category,Home,Work,Mobile,Personal Website\n"
               u"Sam,T.,Lee,sam@example.com,Friends,555-0101,555-0102,555-0103,http://sam.example"_s
            << u"Sam T. Lee|Friends|555-0101|555-0103|555-0102|sam@example.com||||http://sam.example"_s;
        QTest::newRow("a column named phone") << u"Name,Phone\nAmy Adams,555-0199"_s << u"Amy Adams||555-0199|||||||"_s;
    }

    void localisedHeaders()
    {
        QFETCH(QString, csv);
        const ContactFile file = ReadContactFile(csv.toUtf8());
        QCOMPARE(file.error, QString());
        QTEST(Lines(file.cards).value(0), "contact");
    }

    // Real files of other programs and libraries (tests/data/corpus; SOURCES.md says whence each
    // came) go through the import command's path: read from the file a piece at a time, planned
    // and written to the book. Each is read in the encoding it declares or is known to be in, with
    // no replacement characters, every contact named, every value kept stored as read, and the
    // book exported as vCard 4.0, 3.0 and CSV reads back exactly.
    void corpus_data() { AddRows(u"corpus/corpus.txt"_s); }

    void corpus()
    {
        QFETCH(QString, file);
        QFETCH(QString, encoding);
        QFETCH(int, contacts);
        QFile source(SourceDir() + u"/tests/data/corpus/"_s + file);
        QVERIFY2(source.open(QIODevice::ReadOnly), qPrintable(file));
        const ContactFile read = ReadContactFile(source);
        QCOMPARE(read.error, QString());
        QCOMPARE(QString::fromLatin1(read.encoding), encoding);
        QCOMPARE(read.cards.size(), contacts);
        for (const QString& line : Lines(read.cards)) {
            QVERIFY2(!line.contains(QChar::ReplacementCharacter), qPrintable(line));
        }
        for (auto it = read.dropped.constBegin(); it != read.dropped.constEnd(); ++it) {
            QVERIFY2(!it.key().contains(u"unreadable"_s) && !it.key().contains(u"without END"_s),
                     qPrintable(Dropped(read.dropped)));
        }
        const ImportPlan plan = PlanImport(Conn, read, u"Imported"_s);
        QCOMPARE(plan.unnamed, 0);
        QCOMPARE(plan.unstorable, 0);
        QVERIFY(ExecuteImport(Conn, plan));
        const QStringList stored = Lines(ReadContacts(Conn));
        QCOMPARE(stored, Lines(plan.toAdd));
        for (const ContactFormat format : {ContactFormat::VCard40, ContactFormat::VCard30, ContactFormat::Csv}) {
            QBuffer out;
            QVERIFY(out.open(QIODevice::WriteOnly));
            WriteContacts(Conn, out, format);
            const ContactFile back = ReadContactFile(out.data());
            QCOMPARE(Dropped(back.dropped), QString());
            QCOMPARE(Lines(back.cards), stored);
        }
    }

    // Reading a file and matching it against the book show progress too, and Cancel there ends
    // the import before its question.
    void importCancelledWhileReading()
    {
        QList<ContactCard> cards;
        for (int i = 0; i < 20000; ++i) {
            cards.append({u"Contact %1"_s.arg(i), {}, u"+1 555 %1"_s.arg(i), {}, {}, {}, {}, {}, {}, {}});
        }
        const QString file = m_files->filePath(u"many.vcf"_s);
        QVERIFY(WriteFile(file, WriteVCards(cards, VCardVersion::V40)));
        const QStringList before = Dump();
        frmMain* w = new frmMain();
        m_world->platform.calls.clear();
        m_world->platform.files = {file};
        BusyProgress::SetShowDelay(0);
        CancelWhenBusy(this, u"Reading"_s);
        w->mnuImport->trigger();
        BusyProgress::SetShowDelay(300);
        QVERIFY(m_world->platform.Boxes().isEmpty());
        QCOMPARE(Dump(), before);
    }

    // Cancel while the contacts go in: the book is as it was, and so is the window.
    void importCancelled()
    {
        AddRecord(AddType(u"Friends"_s), u"Old Pal"_s);
        const QStringList before = Dump();
        const QString file = m_files->filePath(u"contacts.vcf"_s);
        QVERIFY(WriteFile(file, Sample(u"mixed-import.vcf"_s)));
        frmMain* w = new frmMain();
        w->LoadTreeData(u"Root"_s);
        m_world->platform.calls.clear();
        m_world->platform.files = {file};
        m_world->platform.answers = {MsgResult::Ok};
        BusyProgress::SetShowDelay(0);
        CancelWhenBusy(this, u"Importing"_s);
        w->mnuImport->trigger();
        BusyProgress::SetShowDelay(300);
        QCOMPARE(m_world->platform.Boxes().size(), 1); // the question, and no message after
        QCOMPARE(Dump(), before);
        QCOMPARE(w->TreeView1->topLevelItem(0)->childCount(), 1);
        QCOMPARE(w->TreeView1->currentItem()->data(0, frmMain::NodeKeyRole).toString(), u"Root"_s);
    }

    void exportCommand_data() { AddRows(u"exchange.txt"_s); }

    void exportCommand()
    {
        QFETCH(QString, node);
        QFETCH(QStringList, rows);
        QFETCH(QString, target);
        QFETCH(QString, names);
        QFETCH(bool, fullDisk);
        SmallDisk disk;
        if (fullDisk) {
            REQUIRE_SMALL_DISK(disk);
        }
        const QString dir = fullDisk ? disk.Path() : m_files->path() + u'/';
        const qint64 friends = AddType(u"Friends"_s);
        const qint64 work = AddType(u"Work"_s);
        AddRecords(friends, {u"Amy Adams"_s, u"Ben Brown"_s, u"Cleo Chen"_s});
        AddRecords(work, {u"Dan Dorsey"_s, u"Eva Ender"_s});
        const QString old = dir + u"contacts.vcf"_s; // replaced whole, not written over in place
        QVERIFY(WriteFile(old, QByteArray(100000, 'x')));
        if (fullDisk) {
            disk.Fill();
        }

        // The user searches or clicks the node, then clicks the rows (Ctrl held after the first).
        frmMain* w = new frmMain();
        QVERIFY(QTest::qWaitForWindowActive(w));
        if (node == u"a") {
            QTest::mouseClick(w->txtValue, Qt::LeftButton);
            QTRY_COMPARE(w->txtValue->selectedText(), w->txtValue->text());
            QTest::keyClicks(w->txtValue, node);
            QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
        } else if (node != u"Root") {
            QTest::mouseClick(w->TreeView1->viewport(), Qt::LeftButton, {},
                              w->TreeView1->visualItemRect(w->NodeByKey(node)).center());
        }
        QCoreApplication::processEvents(); // the list lays itself out after a load
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, i > 0 ? Qt::ControlModifier : Qt::NoModifier,
                              w->ListView1->visualRect(w->ListModel()->index(rows[i].toInt(), 0)).center());
        }
        m_world->platform.calls.clear();
        m_world->platform.files = {dir + target}; // without a suffix, the filter's is added
        w->ExportContacts();

        const QList<RecordingPlatform::Call> boxes = m_world->platform.Boxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{"contacts.vcf"});
        if (names.isEmpty()) {
            QCOMPARE(QFileInfo(old).size(), 100000);
            QCOMPARE(boxes[0].icon, MsgIcon::Warning);
            // The cause, named by the system: never "Unknown error".
            QCOMPARE(boxes[0].text, u"The file could not be written: "_s +
                                        (fullDisk ? u"No space left on device"_s : u"No such file or directory"_s));
            return;
        }
        QCOMPARE(boxes[0].text, u"%1 contacts exported."_s.arg(names.count(u'|') + 1));
        const QByteArray bytes = ReadFile(old);
        // A copy of the address book: its owner's alone, even where the file it replaced was not.
        QCOMPARE(QFileInfo(old).permissions() & 0x7077, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(bytes.startsWith("BEGIN:VCARD\r\nVERSION:4.0\r\n"));
        QCOMPARE(Lines(ReadContactFile(bytes).cards, 1), names.split(u'|'));
    }

    // An export writes what the writers make of the contacts read back, block by block, in every
    // format and scope, also values no reader makes and text that does not decipher cleanly.
    void exportStreamed_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("vCard 4.0") << int(ContactFormat::VCard40);
        QTest::newRow("vCard 3.0") << int(ContactFormat::VCard30);
        QTest::newRow("CSV") << int(ContactFormat::Csv);
    }

    void exportStreamed()
    {
        QFETCH(int, format);
        const qint64 odd = AddType(u"Odd\r\ntype"_s);
        AddRecord(
            odd, u"\uFEFFBom\r\nname"_s,
            {u" lead"_s, u"tail "_s, u"a\\b,c;d"_s, u" a@x; b@y"_s, u"1\u3000"_s, {}, u"x"_s, u"http://x/\uFEFF"_s});
        AddRecord(odd, u"Mails"_s, {{}, {}, {}, u"a@x; ; b@y"_s});
        Conn.Execute(u"Update PWDTable Set QQ = 'C3FF' Where PWDID = 2"_s); // no UTF-8
        const qint64 many = AddType(u"Many"_s);
        QStringList names;
        for (int i = 0; i < 10000; ++i) {
            names.append(
                u"Contact %1 with a name long enough to be folded over the end of a line, Ünïcödé 欧阳娜娜"_s.arg(i));
        }
        {
            Transaction transaction(Conn);
            AddRecords(many, names);
            transaction.Commit();
        }
        QSet<qint64> some;
        for (qint64 id = 1; id < 4002; id += 3) {
            some.insert(id);
        }
        const auto expected = [&](const QList<ContactCard>& cards) {
            return format == int(ContactFormat::Csv)
                       ? WriteCsv(cards)
                       : WriteVCards(cards,
                                     format == int(ContactFormat::VCard30) ? VCardVersion::V30 : VCardVersion::V40);
        };
        for (const auto& [typeNo, only] : {std::pair<std::optional<qint64>, const QSet<qint64>*>{std::nullopt, nullptr},
                                           {many, nullptr},
                                           {std::nullopt, &some}}) {
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            const ExportResult result = WriteContacts(Conn, out, ContactFormat(format), typeNo, only);
            const QList<ContactCard> cards = ReadContacts(Conn, typeNo, only);
            QVERIFY(!result.cancelled && !result.failed);
            QCOMPARE(result.count, cards.size());
            QVERIFY(out.data().size() > 1024 * 1024 || typeNo || only); // more than one block
            QVERIFY(out.data() == expected(cards));
        }
    }

    // Cancel while the contacts go out: the file there stays as it was, and no other is left.
    void exportCancelled()
    {
        AddRecords(AddType(u"Friends"_s), {u"Amy Adams"_s, u"Ben Brown"_s});
        const QString old = m_files->filePath(u"contacts.vcf"_s);
        QVERIFY(WriteFile(old, "old"));
        frmMain* w = new frmMain();
        w->LoadTreeData(u"Root"_s);
        m_world->platform.calls.clear();
        m_world->platform.files = {old};
        BusyProgress::SetShowDelay(0);
        CancelWhenBusy(this, u"Exporting"_s);
        w->mnuExport->trigger();
        BusyProgress::SetShowDelay(300);
        QCOMPARE(m_world->platform.Boxes().size(), 0);
        QCOMPARE(ReadFile(old), QByteArray("old"));
        QCOMPARE(Entries(m_files->path()), QStringList{u"contacts.vcf"_s});
    }

    // What the window gives the printer: the node's name for the heading, the rows in the list's
    // order and the columns as shown; the pages themselves are the list printer's own test.
    void printList()
    {
        const qint64 friends = AddType(u"Friends"_s);
        AddRecord(friends, u"Amy Adams"_s, {{}, u"555-0111"_s});
        AddRecord(friends, u"Zed Young"_s, {{}, u"555-0333"_s});
        AddRecord(friends, u"Max Moreau"_s, {{}, u"555-0222"_s});
        frmMain* w = new frmMain();
        w->LoadTreeData(u"_%1"_s.arg(friends));
        w->ListModel()->sort(0, Qt::DescendingOrder);
        w->ListView1->header()->moveSection(w->ListView1->header()->visualIndex(2), 0); // the mobile first
        m_world->platform.printFile = m_files->filePath(u"list.pdf"_s);
        w->PrintList();

        QProcess pdftotext;
        pdftotext.start(u"pdftotext"_s, {u"-layout"_s, m_world->platform.printFile, u"-"_s});
        QVERIFY2(pdftotext.waitForFinished() && pdftotext.exitCode() == 0, "pdftotext failed");
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        QVERIFY2(text.contains(QRegularExpression(u"^ *Friends *$"_s, QRegularExpression::MultilineOption)) &&
                     text.contains(u"Page 1 of 1"_s),
                 qPrintable(text));
        const qsizetype zed = text.indexOf(QRegularExpression(u"555-0333 +Zed Young"_s));
        const qsizetype max = text.indexOf(QRegularExpression(u"555-0222 +Max Moreau"_s));
        const qsizetype amy = text.indexOf(QRegularExpression(u"555-0111 +Amy Adams"_s));
        QVERIFY2(zed >= 0 && zed < max && max < amy, qPrintable(text));
    }

private:
    std::optional<TestWorld> m_world;
    std::unique_ptr<QTemporaryDir> m_files;
};

QTEST_MAIN(tst_Exchange)
#include "tst_exchange.moc"
