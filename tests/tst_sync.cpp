// Two-way sync with a real CardDAV server (radicale, started per test on a free loopback port):
// discovery, the first sync each way, changes, deletions and moves on each side, conflicts, cards
// with values the book cannot show, refusals (an untrusted certificate too), faults and a cancel;
// the first sync and an edit each side against xandikos too; the questions before many
// deletions or with an emptied address book, a second link, a card changed while written, an
// account's new password, the notices of unattended syncs; the plan of each pair of changes and
// the lines of edited cards; and small fake servers for the answers a real one never gives
// (broken XML and vCards, a cut-short answer, silence, a report in parts, an endless or dripping
// answer, bad cards among good ones, an upload without an ETag).
#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include "book/AddressBook.h"
#include "dialogs/frmSync.h"
#include "exchange/ContactExchange.h"
#include "main/SyncCommands.h"
#include "store/Connection.h"
#include "store/ContactDetails.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Recordset.h"
#include "store/SecretStore.h"
#include "store/SyncPasswords.h"
#include "store/SyncTables.h"
#include "sync/CardDavClient.h"
#include "sync/CardText.h"
#include "sync/DiscoveryWorker.h"
#include "sync/SyncEngine.h"
#include "sync/SyncError.h"
#include "sync/SyncWorker.h"
#include "tests/support/Book.h"
#include "tests/support/Davical.h"
#include "tests/support/Radicale.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Xandikos.h"
#include "ui/Forms.h"

Q_DECLARE_METATYPE(SyncFault)

using namespace Qt::StringLiterals;
using namespace Book;

namespace {

// Every record as "name|type|home|mobile|work|e-mail|QQ|MSN|ICQ|web address", sorted.
QStringList Records()
{
    QStringList lines;
    for (const ContactCard& c : ReadContacts(Conn)) {
        lines.append(QStringList{c.name, c.category, c.homePhone, c.mobilePhone, c.workPhone, c.emails, c.qq, c.msn,
                                 c.icq, c.url}
                         .join(u'|'));
    }
    lines.sort();
    return lines;
}

// The book and what it knows of the server, to show a failed sync changed nothing.
QStringList Everything()
{
    CreateSyncTables(Conn);
    QStringList rows = Dump();
    for (const char* table : {"SyncAccount", "SyncBook", "SyncItem"}) {
        Recordset rs;
        for (rs.Open(u"SELECT * FROM %1 ORDER BY 1, 2"_s.arg(QLatin1String(table)), Conn, LockType::ReadOnly);
             !rs.IsEOF(); rs.MoveNext()) {
            QStringList cells;
            for (int i = 0; i < rs.FieldCount(); ++i) {
                cells.append(rs.Text(i));
            }
            rows.append(cells.join(u'|'));
        }
    }
    return rows;
}

QByteArray Card(const QString& name, const QByteArray& extra = {}, const QString& uid = {})
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + (uid.isEmpty() ? name : uid).toUtf8() + "\r\nFN:" + name.toUtf8() +
           "\r\nN:" + name.toUtf8() + ";;;;\r\n" + extra + "END:VCARD\r\n";
}

// The fault run ends with, and the message the user reads; Cancelled stands for "no fault" (the
// tests that cancel look at the message instead).
SyncFault FaultOf(const std::function<void()>& run, QString* message = nullptr)
{
    try {
        run();
    } catch (const SyncError& e) {
        if (message != nullptr) {
            *message = SyncFaultText(e);
        }
        return e.Fault();
    }
    return SyncFault::Cancelled;
}

// While it lives, a request to a server made on this thread (the window's) stops the test: the
// window must hand every request to a worker.
class WindowThreadGuard
{
public:
    WindowThreadGuard() { CardDavClient::SetWindowThread(QThread::currentThread()); }
    ~WindowThreadGuard() { CardDavClient::SetWindowThread(nullptr); }
    WindowThreadGuard(const WindowThreadGuard&) = delete;
    WindowThreadGuard& operator=(const WindowThreadGuard&) = delete;
};

class Fixture
{
public:
    RadicaleServer server;
    QString book;

    bool Start()
    {
        if (!server.Start()) {
            return false;
        }
        book = server.AddAddressBook(u"contacts"_s, u"Contacts"_s);
        return !book.isEmpty();
    }
    // Links typeNo with the server's address book at path through a new account.
    qint64 Link(qint64 typeNo, const QString& path, const QString& password = {})
    {
        const qint64 account =
            AddSyncAccount(Conn, server.Root(), server.User(), password.isEmpty() ? server.Password() : password);
        return LinkAddressBook(Conn, account, {path, u"Contacts"_s, true, {}}, typeNo);
    }
    // A type of count people ("Person 0", ...) linked with the server's address book.
    qint64 LinkedPeople(int count)
    {
        const qint64 friends = AddType(u"Friends"_s);
        QStringList names;
        for (int i = 0; i < count; ++i) {
            names.append(u"Person %1"_s.arg(i));
        }
        AddRecords(friends, names);
        Link(friends, book);
        return friends;
    }
    void Put(const QString& path, const QByteArray& card) { QCOMPARE(server.Request("PUT", path, card).status, 201); }
    QByteArray Get(const QString& path) { return server.Request("GET", path).body; }
};

// Cards the book has recorded as synced.
int SyncedCards()
{
    int count = 0;
    Conn.ForEachRow(u"SELECT count(*) FROM SyncItem"_s, {},
                    [&count](const RowView& row) { count = static_cast<int>(row.Integer(0)); });
    return count;
}

// The lines of a card as (unfolded) text, for telling which lines an edit changed.
QStringList CardLines(const QByteArray& card)
{
    QStringList lines;
    for (const VCardLine& line : ParseVCardLines(card)) {
        lines.append(QString::fromUtf8(line.group.isEmpty() ? line.name : line.group + '.' + line.name) +
                     QString::fromUtf8(line.params.isEmpty() ? QByteArray() : ';' + line.params.join(';')) + u':' +
                     QString::fromUtf8(line.value));
    }
    return lines;
}

// The names of the lines one card has and the other has not (either way), REV aside.
QStringList ChangedLines(const QByteArray& before, const QByteArray& after)
{
    const QStringList a = CardLines(before);
    const QStringList b = CardLines(after);
    QStringList names;
    for (const auto& [from, to] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
        for (const QString& line : *from) {
            const QString name = line.section(QRegularExpression(u"[;:]"_s), 0, 0);
            if (!to->contains(line) && name != u"REV"_s && !names.contains(name)) {
                names.append(name);
            }
        }
    }
    names.sort();
    return names;
}

qint64 RecordNamed(const QString& name)
{
    Recordset rs;
    OpenRecordsNamedExcept(rs, Conn, name, 0);
    return rs.IsEOF() ? 0 : rs.Integer(u"PWDID");
}

SyncSummary Sync()
{
    SyncEngine engine(Conn);
    return engine.Run();
}

} // namespace

class tst_sync : public QObject
{
    Q_OBJECT

private slots:
    void discoversAddressBooks();
    void firstSyncBothWaysThenNothingToDo();
    void changesDeletionsAndMovesOnEachSide();
    void conflictServerWinsAndMailsUnite();
    void keepsWhatTheBookCannotShow();
    void refusalsChangeNothing();
    void untrustedCertificateRefused();
    void renamedThereToANameTakenHere();
    void serverGoneMidSyncResumesWithoutDuplicates();
    void cancelledFromTheProgressWindow();
    void killedMidSyncGoesOnFromThere();
    void closingTheWindowCancelsTheSync();
    void questionsAskedOnTheWindowsThread();
    void thousandContactsUpAndDown();
    void brokenAnswersChangeNothing_data();
    void brokenAnswersChangeNothing();
    void syncReportInParts();
    void bothWaysWithXandikos();
    void bothWaysWithDavical();
    void accountDialogThenSyncButton();
    void massDeletionsAsk_data();
    void massDeletionsAsk();
    void bookMadeAgainOnTheServer_data();
    void bookMadeAgainOnTheServer();
    void bookMadeAgainOnXandikos();
    void cardWrittenHereThenDeletedThereLeaves();
    void changedThereWhileWrittenIsMerged();
    void secondLinkRefused();
    void findingAddressBooksKeepsTheWindowAnswering_data();
    void findingAddressBooksKeepsTheWindowAnswering();
    void oneBadCardSkipped_data();
    void oneBadCardSkipped();
    void drippingServerMeetsTheDeadline();
    void hugeAnswerRefusedInLittleMemory_data();
    void hugeAnswerRefusedInLittleMemory();
    void planOfEachPair_data();
    void planOfEachPair();
    void cutShortThenRenamedHereMakesNoDuplicate();
    void passwordChangedKeepsEveryLink();
    void unseenNoticesWaitInTheStatusBar();
    void summaryNamesWhatIsNotShownInWords();
    void cardEdits_data();
    void cardEdits();
    void newCardOneLinePerAddress();
    void uploadWithoutETagReadBack_data();
    void uploadWithoutETagReadBack();
    void detailEdits_data();
    void detailEdits();
    void detailsBothWays_data();
    void detailsBothWays();
    void newContactGoesUpWithDetails();
    void linkedBeforeDetailsTakesThemOnce();
    void bookGoneWhileWritten_data();
    void bookGoneWhileWritten();
};
Q_DECLARE_METATYPE(SyncSide)
Q_DECLARE_METATYPE(SyncAction)
Q_DECLARE_METATYPE(LostBookChoice)

void tst_sync::discoversAddressBooks()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.server.AddAddressBook(u"work"_s, u"Work people"_s);
    CardDavClient client(f.server.Root(), f.server.User(), f.server.Password());
    QList<RemoteBook> books = client.Discover();
    std::sort(books.begin(), books.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    QCOMPARE(books.size(), 2);
    QCOMPARE(books[0].path, u"/alice/contacts/"_s);
    QCOMPARE(books[1].displayName, u"Work people"_s);
    QVERIFY(books[0].syncCollection);
    // A URL naming the address book itself is enough.
    CardDavClient direct(f.server.Root().resolved(QUrl(u"/alice/work/"_s)), f.server.User(), f.server.Password());
    QCOMPARE(direct.Discover().value(0).path, u"/alice/work/"_s);
}

void tst_sync::firstSyncBothWaysThenNothingToDo()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Ann Local"_s, {u"111"_s, u"222"_s, {}, u"ann@here.org; ann@work.org"_s, u"12345"_s});
    AddRecord(AddType(u"Other"_s), u"Not Synced"_s);
    f.Put(f.book + u"bob.vcf"_s, Card(u"Bob Remote"_s, "TEL;TYPE=CELL:999\r\nEMAIL:bob@there.org\r\n"));
    f.Link(friends, f.book);

    const SyncSummary first = Sync();
    QCOMPARE(first.addedHere, 1);
    QCOMPARE(first.addedThere, 1);
    QCOMPARE(Records(), (QStringList{u"Ann Local|Friends|111|222||ann@here.org; ann@work.org|12345|||"_s,
                                     u"Bob Remote|Friends||999||bob@there.org||||"_s, u"Not Synced|Other||||||||"_s}));
    const QStringList cards = f.server.Cards(f.book);
    QCOMPARE(cards.size(), 2);
    const QString ann = cards[0] == f.book + u"bob.vcf"_s ? cards[1] : cards[0];
    const ContactCard up = CardText::Parse(f.Get(ann), nullptr).value().Fields();
    QCOMPARE(QStringList({up.name, up.homePhone, up.mobilePhone, up.emails, up.qq}),
             QStringList({u"Ann Local"_s, u"111"_s, u"222"_s, u"ann@here.org; ann@work.org"_s, u"12345"_s}));

    // Nothing changed on either side: one request, nothing written.
    const QStringList before = Records();
    const SyncSummary second = Sync();
    QCOMPARE(second.requests, 1);
    QCOMPARE(second.addedHere + second.addedThere + second.changedHere + second.changedThere, 0);
    QCOMPARE(Records(), before);
}

void tst_sync::changesDeletionsAndMovesOnEachSide()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const QString other = f.server.AddAddressBook(u"family"_s, u"Family"_s);
    const qint64 friends = AddType(u"Friends"_s);
    const qint64 family = AddType(u"Family"_s);
    const qint64 unlinked = AddType(u"Archive"_s);
    const qint64 edited = AddRecord(friends, u"Edited Here"_s, {u"1"_s});
    const qint64 deleted = AddRecord(friends, u"Deleted Here"_s);
    const qint64 moved = AddRecord(friends, u"Moved Here"_s, {u"3"_s});
    const qint64 archived = AddRecord(friends, u"Archived Here"_s);
    for (const char* name : {"edited-there", "deleted-there", "moved-there"}) {
        f.Put(f.book + QLatin1String(name) + u".vcf"_s, Card(QLatin1String(name), "TEL;TYPE=HOME:5\r\n"));
    }
    f.Link(friends, f.book);
    f.Link(family, other);
    const SyncChanges first = Sync().changes;
    QCOMPARE(f.server.Cards(f.book).size(), 7);
    // The keys of what the sync did here, for the window to refresh.
    const auto keyOf = [](const QString& name) {
        Recordset rs;
        OpenRecordsNamedExcept(rs, Conn, name, 0);
        return rs.Integer(u"PWDID");
    };
    const qint64 movedThere = keyOf(u"moved-there"_s);
    const qint64 editedThere = keyOf(u"edited-there"_s);
    const qint64 deletedThere = keyOf(u"deleted-there"_s);
    QCOMPARE(first.added, (QSet<qint64>{movedThere, editedThere, deletedThere}));
    QVERIFY(first.changed.isEmpty() && first.removed.isEmpty());

    // Here: a changed phone, a deletion, a move to the other linked type, a move out of sync.
    UpdateRecordFields(Conn, edited, {Encrypt(u"Edited Here"_s), Encrypt(u"1"_s), Encrypt(u"77"_s), {}, {}, {}, {}, {}},
                       {});
    DeleteRecord(Conn, deleted);
    MoveRecordToType(Conn, moved, family);
    MoveRecordToType(Conn, archived, unlinked);
    UpdateRecordFields(Conn, movedThere,
                       {Encrypt(u"moved-there"_s), Encrypt(u"5"_s), Encrypt(u"8"_s), {}, {}, {}, {}, {}}, {});
    // There: a changed phone, a deletion, a move to the other address book.
    const QByteArray movedCard = f.Get(f.book + u"moved-there.vcf"_s);
    QCOMPARE(f.server.Request("DELETE", f.book + u"moved-there.vcf"_s).status, 200);
    f.Put(other + u"moved-there.vcf"_s, movedCard);
    QCOMPARE(f.server.Request("DELETE", f.book + u"deleted-there.vcf"_s).status, 200);
    f.server.Request("PUT", f.book + u"edited-there.vcf"_s, Card(u"edited-there"_s, "TEL;TYPE=HOME:6\r\n"));

    QStringList asked;
    SyncEngine engine(Conn);
    engine.SetConfirmRemoval([&asked](const QStringList& names) {
        asked = names;
        return true;
    });
    const SyncSummary summary = engine.Run();
    QCOMPARE(asked, QStringList{u"Archived Here"_s});
    QVERIFY(summary.changes.added.isEmpty());
    QCOMPARE(summary.changes.changed, (QSet<qint64>{editedThere, movedThere}));
    QCOMPARE(summary.changes.removed, QSet<qint64>{deletedThere});
    QCOMPARE(Records(), (QStringList{u"Archived Here|Archive||||||||"_s, u"Edited Here|Friends|1|77||||||"_s,
                                     u"Moved Here|Family|3|||||||"_s, u"edited-there|Friends|6|||||||"_s,
                                     u"moved-there|Family|5|8||||||"_s}));
    // Moved there, it is the same record here, with the edit made here meanwhile.
    QCOMPARE(keyOf(u"moved-there"_s), movedThere);
    QVERIFY(f.Get(other + u"moved-there.vcf"_s).contains("TEL;TYPE=CELL:8\r\n"));
    QCOMPARE(f.server.Cards(f.book).size(), 2);
    QCOMPARE(f.server.Cards(other).size(), 2);
    QVERIFY(summary.conflicts.isEmpty());
    // And once more: both sides agree, nothing moves.
    const QStringList before = Records();
    const SyncSummary again = Sync();
    QCOMPARE(again.changedHere + again.changedThere + again.addedHere + again.addedThere, 0);
    QCOMPARE(again.deletedHere + again.deletedThere, 0);
    QCOMPARE(Records(), before);
}

void tst_sync::conflictServerWinsAndMailsUnite()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    f.Put(f.book + u"c.vcf"_s, Card(u"Carol"_s, "TEL;TYPE=CELL:100\r\nTEL;TYPE=WORK:300\r\nEMAIL:c@one.org\r\n"));
    f.Link(friends, f.book);
    Sync();
    Recordset rs;
    OpenRecordsNamedExcept(rs, Conn, u"Carol"_s, 0);
    const qint64 carol = rs.Integer(u"PWDID");
    // Both change the mobile phone and add an address; only here is the work phone changed.
    UpdateRecordFields(Conn, carol,
                       {Encrypt(u"Carol"_s),
                        {},
                        Encrypt(u"101"_s),
                        Encrypt(u"301"_s),
                        Encrypt(u"c@one.org; c@here.org"_s),
                        {},
                        {},
                        {}},
                       {});
    f.server.Request(
        "PUT", f.book + u"c.vcf"_s,
        Card(u"Carol"_s, "TEL;TYPE=CELL:102\r\nTEL;TYPE=WORK:300\r\nEMAIL:c@one.org\r\nEMAIL:c@there.org\r\n"));
    const SyncSummary summary = Sync();
    QCOMPARE(summary.conflicts.size(), 1);
    QCOMPARE(summary.conflicts[0].field, u"mobile phone"_s);
    QCOMPARE(summary.conflicts[0].localValue, u"101"_s);
    QCOMPARE(Records(), QStringList{u"Carol|Friends||102|301|c@one.org; c@there.org; c@here.org||||"_s});
    const ContactCard there = CardText::Parse(f.Get(f.book + u"c.vcf"_s), nullptr).value().Fields();
    QCOMPARE(QStringList({there.mobilePhone, there.workPhone, there.emails}),
             QStringList({u"102"_s, u"301"_s, u"c@one.org; c@there.org; c@here.org"_s}));
}

void tst_sync::keepsWhatTheBookCannotShow()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    QByteArray photo = "PHOTO;ENCODING=b;TYPE=JPEG:";
    for (int i = 0; i < 40; ++i) {
        photo += "/9j/4AAQSkZJRgABAQEASABIAAD";
    }
    // Folded the way the server stores it, with a grouped property and an extension.
    QByteArray folded;
    for (qsizetype i = 0; i < photo.size(); i += 74) {
        folded += (i == 0 ? "" : " ") + photo.mid(i, 74) + "\r\n";
    }
    const QByteArray extra = folded + "ADR;TYPE=HOME:;;1 Main St\\, Flat 2;Springfield;;12345;Freedonia\r\n"
                                      "item1.X-ABLABEL:custom\r\nBDAY:1980-02-29\r\nTEL;TYPE=CELL:500\r\n"
                                      "NOTE:two\\nlines\r\nX-UNKNOWN;X-P=\"a:b\":keep me\r\n";
    f.Put(f.book + u"d.vcf"_s, Card(u"Dora"_s, extra));
    const QByteArray original = f.Get(f.book + u"d.vcf"_s);
    f.Link(friends, f.book);
    const SyncSummary first = Sync();
    // The details are kept; what the book cannot hold is named.
    QVERIFY(!first.unshown.contains(u"PHOTO"_s) && !first.unshown.contains(u"ADR"_s));
    QVERIFY(first.unshown.contains(u"X-UNKNOWN"_s));

    Recordset rs;
    OpenRecordsNamedExcept(rs, Conn, u"Dora"_s, 0);
    UpdateRecordFields(Conn, rs.Integer(u"PWDID"),
                       {Encrypt(u"Dora"_s), {}, Encrypt(u"501"_s), {}, Encrypt(u"d@x.org"_s), {}, {}, {}}, {});
    Sync();
    // The server stores cards in its own order and folding; apart from the changed lines, what
    // comes back is exactly what it had.
    QByteArray expected = original;
    expected.replace("TEL;TYPE=CELL:500\r\n", "TEL;TYPE=CELL:501\r\n");
    expected.replace("FN:Dora\r\n", "EMAIL:d@x.org\r\nFN:Dora\r\n");
    // A changed card carries a new revision.
    const auto withoutRev = [](QByteArray card) {
        const qsizetype rev = card.indexOf("\r\nREV:");
        if (rev >= 0) {
            card.remove(rev, card.indexOf("\r\n", rev + 2) - rev);
        }
        return card;
    };
    const QByteArray stored = f.Get(f.book + u"d.vcf"_s);
    QVERIFY(stored.contains("\r\nREV:"));
    QCOMPARE(withoutRev(stored), expected);

    // What is sent is the card as received, but for the lines of changed fields, the revision and
    // the line ends, which are CRLF.
    const QByteArray received = "BEGIN:VCARD\nVERSION:2.1\nN:Dora\nFN:Dora\n" + folded.replace("\r\n", "\n") +
                                "TEL;CELL;X-ODD=\"1:2\":500\nEMAIL;INTERNET:d@x.org\nEND:VCARD";
    CardText card = CardText::Parse(received, nullptr).value();
    ContactCard edited = card.Fields();
    QCOMPARE(edited.mobilePhone, u"500"_s);
    edited.mobilePhone = u"5 01"_s;
    edited.emails.clear();
    card.Change(card.Fields(), edited);
    QByteArray sent = received;
    sent.replace("TEL;CELL;X-ODD=\"1:2\":500\nEMAIL;INTERNET:d@x.org\n", "TEL;CELL;X-ODD=\"1:2\":5 01\n");
    QCOMPARE(withoutRev(card.Bytes()), sent.replace("\n", "\r\n") + "\r\n");
}

void tst_sync::refusalsChangeNothing()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Eve"_s);
    f.Link(friends, f.book, u"not the password"_s);
    const QStringList before = Everything();
    QCOMPARE(FaultOf([] { Sync(); }), SyncFault::Refused);
    QCOMPARE(Everything(), before);
    QVERIFY(f.server.Cards(f.book).isEmpty());

    // The password would cross the network in the clear: refused before anything is sent.
    QVERIFY(!CardDavClient::IsAllowed(QUrl(u"http://example.org/dav/"_s)));
    QVERIFY(!CardDavClient::IsAllowed(QUrl(u"ftp://127.0.0.1/"_s)));
    QVERIFY(CardDavClient::IsAllowed(QUrl(u"http://[::1]:8080/"_s)));
    CardDavClient remote(QUrl(u"http://example.org/dav/"_s), u"u"_s, u"p"_s);
    QCOMPARE(FaultOf([&] { remote.Discover(); }), SyncFault::Insecure);
    QCOMPARE(remote.Requests(), 0);
}

void tst_sync::untrustedCertificateRefused()
{
    TestProgramFolder folder;
    Fixture f;
    f.server.UseTls();
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Ida"_s);
    f.Link(friends, f.book);
    const QStringList before = Everything();
    QString message;
    QCOMPARE(FaultOf([] { Sync(); }, &message), SyncFault::Certificate);
    QVERIFY2(message.contains(u"not trusted"_s) && message.contains(u"self-signed"_s), qPrintable(message));
    QCOMPARE(Everything(), before);
    QVERIFY(f.server.Cards(f.book).isEmpty());
}

void tst_sync::renamedThereToANameTakenHere()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Ann"_s);
    f.Put(f.book + u"b.vcf"_s, Card(u"Bob"_s));
    f.Link(friends, f.book);
    Sync();
    f.server.Request("PUT", f.book + u"b.vcf"_s, Card(u"Ann"_s, "TEL;TYPE=CELL:5\r\n", u"Bob"_s));
    const SyncSummary summary = Sync();
    QCOMPARE(summary.namesKept, QStringList{u"Bob → Ann"_s});
    QVERIFY(SyncSummaryText(summary).contains(u"Bob → Ann"_s));
    QCOMPARE(Records(), (QStringList{u"Ann|Friends||||||||"_s, u"Bob|Friends||5||||||"_s}));

    // An edit here later goes to the server without taking the server's name back.
    Recordset rs;
    OpenRecordsNamedExcept(rs, Conn, u"Bob"_s, 0);
    UpdateRecordFields(Conn, rs.Integer(u"PWDID"),
                       {Encrypt(u"Bob"_s), {}, Encrypt(u"5"_s), Encrypt(u"7"_s), {}, {}, {}, {}}, {});
    Sync();
    const ContactCard there = CardText::Parse(f.Get(f.book + u"b.vcf"_s), nullptr).value().Fields();
    QCOMPARE(QStringList({there.name, there.workPhone}), QStringList({u"Ann"_s, u"7"_s}));
    QCOMPARE(Records(), (QStringList{u"Ann|Friends||||||||"_s, u"Bob|Friends||5|7|||||"_s}));
}

void tst_sync::serverGoneMidSyncResumesWithoutDuplicates()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(40);
    const QStringList before = Records();
    SyncEngine engine(Conn);
    engine.SetProgress([&f](int done, int) {
        if (done == 15) {
            f.server.Stop();
        }
    });
    const SyncFault fault = FaultOf([&] { engine.Run(); });
    QVERIFY(fault == SyncFault::Network || fault == SyncFault::Timeout);
    // Each card the server took was recorded as it went: the contacts stay as they were.
    QCOMPARE(Records(), before);
    QCOMPARE(SyncedCards(), 15);

    QVERIFY2(f.server.Start(), qPrintable(f.server.Reason()));
    QCOMPARE(f.server.Cards(f.book).size(), 15);
    // The sync goes on from there: nothing joined or sent twice, nothing taken back as new.
    const SyncSummary summary = Sync();
    QCOMPARE(summary.joined.size(), 0);
    QCOMPARE(summary.addedThere, 25);
    QCOMPARE(summary.addedHere, 0);
    QCOMPARE(f.server.Cards(f.book).size(), 40);
    QCOMPARE(Records().size(), 40);
}

void tst_sync::cancelledFromTheProgressWindow()
{
    RecordingPlatform platform;
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(150);
    const QStringList before = Records();

    QMainWindow window;
    int reloads = 0;
    SyncCommands commands(&window, [&reloads] { ++reloads; });
    auto* toolbar = window.addToolBar(u"Toolbar1"_s);
    commands.AddTo(toolbar);
    commands.Start(false);
    window.show();
    // The click returns at once: the sync runs on its worker, the progress window already shows.
    QTest::mouseClick(toolbar->widgetForAction(commands.Toolbar1_Sync), Qt::LeftButton);
    QVERIFY(commands.IsSyncing());
    auto* progress = window.findChild<QProgressDialog*>();
    QVERIFY(progress != nullptr && progress->isVisible());
    // Cancel as soon as the progress window shows a few contacts sent.
    QTRY_VERIFY_WITH_TIMEOUT(progress->value() >= 5, 60000);
    const int shownAt = progress->value();
    QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!commands.IsSyncing(), 60000);
    // Only sent: nothing here changed, so the window reads nothing again.
    QCOMPARE(reloads, 0);
    QCOMPARE(platform.Boxes().size(), 1);
    QCOMPARE(platform.Boxes().first().text,
             u"The sync was cancelled. Contacts it had finished stay synced; the next sync goes on from there."_s);
    QVERIFY(window.findChild<QLabel*>(u"StatusBar1_Sync"_s)->text().endsWith(u"failed"_s));
    QCOMPARE(Records(), before);
    // Every card the server took is recorded as synced, and only those.
    const qsizetype sent = f.server.Cards(f.book).size();
    QVERIFY2(sent >= shownAt && sent < 150, qPrintable(QString::number(sent)));
    QCOMPARE(SyncedCards(), sent);

    // The next sync sends the rest, and none twice.
    const SyncSummary summary = Sync();
    QCOMPARE(summary.joined.size(), 0);
    QCOMPARE(summary.addedThere, 150 - sent);
    QCOMPARE(summary.addedHere, 0);
    QCOMPARE(f.server.Cards(f.book).size(), 150);
    QCOMPARE(Records().size(), 150);
}

void tst_sync::killedMidSyncGoesOnFromThere()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(30);
    // A card new on the server is taken before the uploads begin: it must survive the kill too,
    // and not come twice.
    f.Put(f.book + u"zed.vcf"_s, Card(u"Zed"_s));
    const QStringList before = Records() + QStringList{u"Zed|Friends||||||||"_s};
    const QString instance = SyncAccounts(Conn).first().instance;
    Conn.Close();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TAVOREN_DIE_SYNCING"_s, QStringList{folder.DatabasePath(), instance, f.server.Password()}.join(u'\n'));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitCode(), 3);
    Conn.Open(ConnectionStringForFile(folder.DatabasePath()));
    // It died as it was about to send the 13th card: the 12 the server took are recorded.
    QCOMPARE(f.server.Cards(f.book).size(), 13);
    QCOMPARE(SyncedCards(), 13);
    QCOMPARE(Records(), before);

    const SyncSummary summary = Sync();
    QCOMPARE(summary.joined.size(), 0);
    QCOMPARE(summary.addedThere, 18);
    QCOMPARE(summary.addedHere + summary.changedHere + summary.changedThere, 0);
    QCOMPARE(f.server.Cards(f.book).size(), 31);
    QCOMPARE(Records(), before);
    const SyncSummary again = Sync();
    QCOMPARE(again.addedHere + again.addedThere + again.changedHere + again.changedThere, 0);
}

void tst_sync::closingTheWindowCancelsTheSync()
{
    RecordingPlatform platform;
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(150);
    QMainWindow window;
    SyncCommands commands(&window, [] {});
    auto* toolbar = window.addToolBar(u"Toolbar1"_s);
    commands.AddTo(toolbar);
    commands.Start(false);
    window.show();
    QTest::mouseClick(toolbar->widgetForAction(commands.Toolbar1_Sync), Qt::LeftButton);
    auto* progress = window.findChild<QProgressDialog*>();
    QVERIFY(progress != nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(progress->value() >= 3, 60000);
    // Closing returns once the worker has ended: its connection is closed before the window's.
    window.close();
    QVERIFY(!commands.IsSyncing());
    QVERIFY(platform.Boxes().isEmpty());
    const qsizetype sent = f.server.Cards(f.book).size();
    QVERIFY2(sent < 150, qPrintable(QString::number(sent)));
    QCOMPARE(SyncedCards(), sent);
    QCOMPARE(Sync().addedThere, 150 - sent);
}

void tst_sync::questionsAskedOnTheWindowsThread()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(3);
    Sync();
    QCOMPARE(f.server.Request("DELETE", f.book).status, 200);
    QCOMPARE(f.server.AddAddressBook(u"contacts"_s, u"Contacts"_s), f.book);
    const QStringList before = Everything();

    // Asked where the window lives; the worker waits for the answer.
    QThread* askedOn = nullptr;
    {
        SyncWorker worker(Conn.ConnectionString);
        worker.SetAskLostBook([&askedOn](const QString&, int) {
            askedOn = QThread::currentThread();
            return LostBookChoice::Cancel;
        });
        QSignalSpy finished(&worker, &SyncWorker::Finished);
        worker.Start();
        QVERIFY(finished.wait(60000));
        QCOMPARE(askedOn, QThread::currentThread());
        QCOMPARE(FaultOf([&] { worker.Result(); }), SyncFault::Cancelled);
    }
    // A question nobody answers (the window is busy closing) does not hold the worker: cancelled,
    // it stops waiting and takes the answer that changes nothing.
    int asked = 0;
    {
        SyncWorker worker(Conn.ConnectionString);
        worker.SetAskLostBook([&asked](const QString&, int) {
            ++asked;
            return LostBookChoice::EmptyHere;
        });
        worker.Start();
        QVERIFY(!worker.Wait(3000)); // waiting for an answer
        worker.Cancel();
        QVERIFY(worker.Wait(5000));
        QCOMPARE(FaultOf([&] { worker.Result(); }), SyncFault::Cancelled);
    }
    QCoreApplication::processEvents();
    QCOMPARE(asked, 0);
    QCOMPARE(Everything(), before);
}

void tst_sync::thousandContactsUpAndDown()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    // Written straight into the server's storage: a thousand uploads would take minutes.
    for (int i = 0; i < 1000; ++i) {
        QVERIFY(WriteFile(f.server.StorageFolder(f.book) + u"c%1.vcf"_s.arg(i),
                          Card(u"Contact %1"_s.arg(i, 4, 10, QLatin1Char('0')),
                               "TEL;TYPE=CELL:" + QByteArray::number(i) + "\r\nBDAY:2000-01-01\r\n")));
    }
    QCOMPARE(f.server.Cards(f.book).size(), 1000); // the server reads them all once, before the clock runs
    const qint64 down = AddType(u"Down"_s);
    AddRecord(down, u"Local One"_s);
    f.Link(down, f.book);
    const SyncSummary first = Sync();
    QCOMPARE(first.addedHere, 1000);
    QCOMPARE(first.addedThere, 1);
    QVERIFY(!first.unshown.contains(u"BDAY"_s)); // the birthdays came down with the contacts
    QCOMPARE(ReadContactDetails(Conn, RecordNamed(u"Contact 0999"_s)).birthday.ToText(), u"2000-01-01"_s);
    QCOMPARE(Records().size(), 1001);
    QCOMPARE(Records().first(), u"Contact 0000|Down||0||||||"_s);
    QCOMPARE(f.server.Cards(f.book).size(), 1001);

    // One change on each side among a thousand: two requests besides the listing and the fetch,
    // and one more after the upload, for a token that takes it into account.
    Recordset rs;
    OpenRecordsNamedExcept(rs, Conn, u"Contact 0500"_s, 0);
    UpdateRecordFields(Conn, rs.Integer(u"PWDID"),
                       {Encrypt(u"Contact 0500"_s), {}, Encrypt(u"x"_s), {}, {}, {}, {}, {}}, {});
    f.server.Request("PUT", f.book + u"c7.vcf"_s, Card(u"Contact 0007"_s, "TEL;TYPE=CELL:y\r\n"));
    const SyncSummary second = Sync();
    QCOMPARE(second.changedHere, 1);
    QCOMPARE(second.changedThere, 1);
    QCOMPARE(second.requests, 4);
    QVERIFY(Records().contains(u"Contact 0007|Down||y||||||"_s));
    QVERIFY(f.Get(f.book + u"c500.vcf"_s).contains("TEL;TYPE=CELL:x\r\n"));
}

namespace {

// Answers every request with the next canned reply (or none at all when the reply is empty).
class FakeServer : public QTcpServer
{
public:
    QList<QByteArray> replies;
    QList<QByteArray> requests;

    FakeServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    const qsizetype end = m_request.indexOf("\r\n\r\n");
                    if (end < 0) {
                        return;
                    }
                    const qsizetype length = m_request.mid(m_request.toLower().indexOf("content-length:") + 15)
                                                 .split('\r')
                                                 .value(0)
                                                 .trimmed()
                                                 .toInt();
                    if (m_request.size() < end + 4 + length) {
                        return;
                    }
                    requests.append(m_request);
                    m_request.clear();
                    const QByteArray reply = replies.isEmpty() ? QByteArray() : replies.takeFirst();
                    if (!reply.isEmpty()) {
                        socket->write(reply);
                        socket->waitForBytesWritten(1000);
                        socket->close();
                    }
                });
            }
        });
    }
    QUrl Root() const { return QUrl(u"http://127.0.0.1:%1/"_s.arg(serverPort())); }

private:
    QByteArray m_request;
};

QByteArray Http(int status, const QByteArray& body, int declaredLength = -1)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Type: application/xml\r\nContent-Length: " +
           QByteArray::number(declaredLength < 0 ? body.size() : declaredLength) + "\r\nConnection: close\r\n\r\n" +
           body;
}

const QByteArray Listing = "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>/book/a.vcf"
                           "</d:href><d:propstat><d:prop><d:getetag>\"1\"</d:getetag></d:prop><d:status>HTTP/1.1 200 "
                           "OK</d:status></d:propstat></d:response></d:multistatus>";

QByteArray Multiget(const QByteArray& card)
{
    return "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\">"
           "<d:response><d:href>/book/a.vcf</d:href><d:propstat><d:prop><d:getetag>\"1\"</d:getetag><c:address-data>" +
           card +
           "</c:address-data></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>"
           "</d:multistatus>";
}

// One member of a multistatus, with its card when given.
QByteArray Member(const QByteArray& name, const QByteArray& etag, const QByteArray& card = {})
{
    return "<d:response><d:href>/book/" + name + ".vcf</d:href><d:propstat><d:prop><d:getetag>\"" + etag +
           "\"</d:getetag>" + (card.isEmpty() ? QByteArray() : "<c:address-data>" + card + "</c:address-data>") +
           "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
}

// A sync report's answer; cut short, it says so on the collection itself.
QByteArray Report(const QByteArray& members, const QByteArray& token, bool cutShort = false)
{
    return Http(207, "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" "
                     "xmlns:c=\"urn:ietf:params:xml:ns:carddav\">" +
                         members +
                         (cutShort ? "<d:response><d:href>/book/</d:href><d:status>HTTP/1.1 507 Insufficient "
                                     "Storage</d:status></d:response>"
                                   : "") +
                         "<d:sync-token>" + token + "</d:sync-token></d:multistatus>");
}

} // namespace

void tst_sync::brokenAnswersChangeNothing_data()
{
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<SyncFault>("fault");
    QTest::newRow("broken XML") << QList<QByteArray>{Http(207, Listing.left(Listing.size() - 20))}
                                << SyncFault::Malformed;
    QTest::newRow("not a multistatus") << QList<QByteArray>{Http(207, "<html>oops</html>")} << SyncFault::Malformed;
    QTest::newRow("broken vCard") << QList<QByteArray>{Http(207, Listing),
                                                       Http(207, Multiget("BEGIN:VCARD\nFN:Half a card\n"))}
                                  << SyncFault::Malformed;
    // Qt sends a request again once when the connection drops before the answer is complete.
    QTest::newRow("cut short") << QList<QByteArray>{Http(207, Listing, Listing.size() + 500),
                                                    Http(207, Listing, Listing.size() + 500)}
                               << SyncFault::Network;
    QTest::newRow("error status") << QList<QByteArray>{Http(500, "")} << SyncFault::Http;
    // Sent back in a header or a path, they would let the server inject a request of its own.
    QTest::newRow("ETag with CR LF") << QList<QByteArray>{Report(Member("a", "1&#13;&#10;X-Injected: 1"), "")}
                                     << SyncFault::Malformed;
    QTest::newRow("href with a control character")
        << QList<QByteArray>{Report(Member("a&#1;b", "1"), "")} << SyncFault::Malformed;
    QTest::newRow("silence") << QList<QByteArray>{QByteArray()} << SyncFault::Timeout;
}

void tst_sync::brokenAnswersChangeNothing()
{
    QFETCH(QList<QByteArray>, replies);
    QFETCH(SyncFault, fault);
    TestProgramFolder folder;
    FakeServer server;
    server.replies = replies;
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Fay"_s);
    const qint64 account = AddSyncAccount(Conn, server.Root(), u"u"_s, u"p"_s);
    LinkAddressBook(Conn, account, {u"/book/"_s, u"Book"_s, false, {}}, friends);
    const QStringList before = Everything();
    SyncEngine engine(Conn);
    engine.SetTimeout(500);
    QCOMPARE(FaultOf([&] { engine.Run(); }), fault);
    QCOMPARE(Everything(), before);
}

void tst_sync::oneBadCardSkipped_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<bool>("tooLarge");
    QTest::newRow("invalid UTF-8") << Card(u"Ann"_s, "NOTE:caf\xe9 \xff\r\n") << false;
    QTest::newRow("NUL in a phone") << Card(u"Ann"_s, "TEL;TYPE=CELL;ENCODING=QUOTED-PRINTABLE:12=003\r\n") << false;
    QTest::newRow("control character in a name")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN;ENCODING=QUOTED-PRINTABLE:Bell;Ann=07\r\n"
                      "FN;ENCODING=QUOTED-PRINTABLE:Ann=07Bell\r\nEND:VCARD\r\n")
        << false;
    QTest::newRow("over 1 MB") << Card(u"Ann"_s, "NOTE:" + QByteArray(1100 * 1024, 'x') + "\r\n") << true;
}

void tst_sync::oneBadCardSkipped()
{
    QFETCH(QByteArray, card);
    QFETCH(bool, tooLarge);
    TestProgramFolder folder;
    FakeServer server;
    const qint64 friends = AddType(u"Friends"_s);
    const qint64 account = AddSyncAccount(Conn, server.Root(), u"u"_s, u"p"_s);
    LinkAddressBook(Conn, account, {u"/book/"_s, u"Book"_s, false, {}}, friends);
    server.replies = {Report(Member("a", "1") + Member("b", "2"), ""),
                      Report(Member("a", "1", card) + Member("b", "2", Card(u"Bob"_s)), "")};
    SyncEngine engine(Conn);
    engine.SetTimeout(5000);
    const SyncSummary summary = engine.Run();
    // The bad card is named and left alone; the rest syncs.
    QCOMPARE(tooLarge ? summary.tooLarge : summary.unreadable, QStringList{u"a.vcf"_s});
    QVERIFY(SyncSummaryText(summary).contains(u"a.vcf"_s));
    QCOMPARE(Records(), QStringList{u"Bob|Friends||||||||"_s});
    QCOMPARE(server.requests.size(), 2);
}

namespace {

// Answers every request with a status line and headers, then the body in pieces: piece bytes
// every interval milliseconds (or as fast as the connection takes them when 0), total in all.
class TrickleServer : public QTcpServer
{
public:
    // Sends total bytes in pieces, every interval milliseconds (0: as fast as they are taken);
    // with a pattern, a multistatus whose responses repeat it, %1 standing for the response's number.
    TrickleServer(qint64 total, qint64 piece, int interval, const QString& pattern = {})
        : m_total(total), m_piece(piece), m_pattern(pattern)
    {
        listen(QHostAddress::LocalHost, 0);
        m_timer.setInterval(interval);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    if (m_socket != nullptr) {
                        return;
                    }
                    m_socket = socket;
                    // No length declared: the answer ends when the connection does.
                    socket->write("HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n"
                                  "Connection: close\r\n\r\n");
                    if (m_timer.interval() > 0) {
                        m_timer.start();
                    } else {
                        Next();
                    }
                });
                connect(socket, &QTcpSocket::bytesWritten, socket, [this] {
                    if (m_timer.interval() == 0 && m_socket != nullptr && m_socket->bytesToWrite() == 0) {
                        Next();
                    }
                });
                connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                    if (m_socket == socket) {
                        m_timer.stop();
                        m_socket = nullptr;
                    }
                });
            }
        });
        connect(&m_timer, &QTimer::timeout, this, [this] { Next(); });
    }
    QUrl Root() const { return QUrl(u"http://127.0.0.1:%1/"_s.arg(serverPort())); }
    qint64 Sent() const { return m_sent; }

private:
    void Next()
    {
        if (m_socket == nullptr || m_sent >= m_total) {
            m_timer.stop();
            return;
        }
        if (m_pattern.isEmpty()) {
            const qint64 size = qMin(m_piece, m_total - m_sent);
            m_socket->write(QByteArray(size, ' '));
            m_sent += size;
            return;
        }
        QByteArray piece = m_sent == 0 ? "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\">" : "";
        while (piece.size() < m_piece) {
            piece += m_pattern.arg(m_responses++).toUtf8();
        }
        m_socket->write(piece);
        m_sent += piece.size();
    }

    qint64 m_total;
    qint64 m_piece;
    QString m_pattern;
    qint64 m_responses = 0;
    qint64 m_sent = 0;
    QTimer m_timer;
    QTcpSocket* m_socket = nullptr;
};

qint64 StatusKilobytes(const char* field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

} // namespace

void tst_sync::drippingServerMeetsTheDeadline()
{
    TestProgramFolder folder;
    TrickleServer server(1000000, 1, 100); // a byte every tenth of a second, never idle long
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Fay"_s);
    LinkAddressBook(Conn, AddSyncAccount(Conn, server.Root(), u"u"_s, u"p"_s), {u"/book/"_s, u"Book"_s, false, {}},
                    friends);
    const QStringList before = Everything();
    SyncEngine engine(Conn);
    engine.SetTimeout(1000);
    engine.SetDeadline(3000);
    QElapsedTimer clock;
    clock.start();
    QString message;
    QCOMPARE(FaultOf([&] { engine.Run(); }, &message), SyncFault::Timeout);
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(server.Sent() > 10); // it was dripping, not silent
    QCOMPARE(message, u"The server stopped answering (127.0.0.1)."_s);
    QCOMPARE(Everything(), before);
}

void tst_sync::hugeAnswerRefusedInLittleMemory_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("limitKb"); // above idle
    // Read as it arrives, an answer is never held whole: text without end is refused after a
    // few megabytes, and a listing of cards without end keeps only the addresses and ETags.
    QTest::newRow("endless text") << QString() << 32 * 1024;
    QTest::newRow("endless listing")
        << u"<d:response><d:href>/book/card-%1.vcf</d:href><d:propstat><d:prop><d:getetag>\"%1\"</d:getetag>"
           "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>"_s
        << 200 * 1024;
}

void tst_sync::hugeAnswerRefusedInLittleMemory()
{
    QFETCH(QString, pattern);
    QFETCH(int, limitKb);
    TestProgramFolder folder;
    TrickleServer server(100 * 1024 * 1024, 64 * 1024, 0, pattern);
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Fay"_s);
    LinkAddressBook(Conn, AddSyncAccount(Conn, server.Root(), u"u"_s, u"p"_s), {u"/book/"_s, u"Book"_s, false, {}},
                    friends);
    const QStringList before = Everything();
    // The peak of resident memory starts again from here.
    QFile clear(u"/proc/self/clear_refs"_s);
    QVERIFY(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1);
    clear.close();
    const qint64 idle = StatusKilobytes("VmRSS:");
    SyncEngine engine(Conn);
    engine.SetTimeout(5000);
    QString message;
    QCOMPARE(FaultOf([&] { engine.Run(); }, &message), SyncFault::TooLarge);
    QVERIFY2(message.contains(u"127.0.0.1"_s), qPrintable(message));
    const qint64 peak = StatusKilobytes("VmHWM:");
    qInfo("peak resident memory %lld kB above idle", peak - idle);
    QVERIFY2(peak - idle < limitKb, qPrintable(u"%1 kB above idle"_s.arg(peak - idle)));
    QCOMPARE(Everything(), before);
}

void tst_sync::planOfEachPair_data()
{
    QTest::addColumn<SyncSide>("here");
    QTest::addColumn<SyncSide>("there");
    QTest::addColumn<SyncAction>("action");
    using enum SyncSide;
    QTest::newRow("unchanged, unchanged") << Unchanged << Unchanged << SyncAction::Nothing;
    QTest::newRow("unchanged, changed") << Unchanged << Changed << SyncAction::Download;
    QTest::newRow("unchanged, deleted") << Unchanged << Deleted << SyncAction::DeleteHere;
    QTest::newRow("changed, unchanged") << Changed << Unchanged << SyncAction::Upload;
    QTest::newRow("changed, changed") << Changed << Changed << SyncAction::Merge;
    QTest::newRow("changed, deleted") << Changed << Deleted << SyncAction::RestoreThere;
    QTest::newRow("deleted, unchanged") << Deleted << Unchanged << SyncAction::DeleteThere;
    QTest::newRow("deleted, changed") << Deleted << Changed << SyncAction::RestoreHere;
    QTest::newRow("deleted, deleted") << Deleted << Deleted << SyncAction::Forget;
}

void tst_sync::planOfEachPair()
{
    QFETCH(SyncSide, here);
    QFETCH(SyncSide, there);
    QTEST(PlanContact(here, there), "action");
}

void tst_sync::cutShortThenRenamedHereMakesNoDuplicate()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(40);
    SyncEngine engine(Conn);
    engine.SetProgress([&f](int done, int) {
        if (done == 15) {
            f.server.Stop();
        }
    });
    QVERIFY(FaultOf([&] { engine.Run(); }) != SyncFault::Cancelled);
    QVERIFY2(f.server.Start(), qPrintable(f.server.Reason()));
    QCOMPARE(f.server.Cards(f.book).size(), 15);
    // One of the contacts already sent is renamed and edited here before the next sync.
    Recordset rs;
    OpenRecordsNamedExcept(rs, Conn, u"Person 3"_s, 0);
    const qint64 renamed = rs.Integer(u"PWDID");
    rs.Close();
    UpdateRecordFields(Conn, renamed, {Encrypt(u"Person Three"_s), {}, Encrypt(u"555"_s), {}, {}, {}, {}, {}}, {});

    const SyncSummary summary = Sync();
    QCOMPARE(summary.addedHere, 0);
    QCOMPARE(summary.addedThere, 25);
    QVERIFY(summary.conflicts.isEmpty());
    QCOMPARE(Records().size(), 40);
    QVERIFY(Records().contains(u"Person Three|Friends||555||||||"_s));
    QVERIFY(!Records().join(u'\n').contains(u"Person 3|"_s));
    QCOMPARE(f.server.Cards(f.book).size(), 40);
    QStringList names;
    for (const QString& path : f.server.Cards(f.book)) {
        const ContactCard card = CardText::Parse(f.Get(path), nullptr).value().Fields();
        names.append(card.name + u'|' + card.mobilePhone);
    }
    QVERIFY(names.contains(u"Person Three|555"_s));
    QVERIFY(!names.contains(u"Person 3|"_s));
}

void tst_sync::passwordChangedKeepsEveryLink()
{
    RecordingPlatform platform;
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(5);
    Sync();
    // The password changed: the stored one is refused.
    const SyncAccountInfo account = SyncAccounts(Conn).first();
    ChangeSyncAccount(Conn, account.no, account.url, u"old password"_s);
    QCOMPARE(FaultOf([] { Sync(); }), SyncFault::Refused);
    Recordset rs;
    OpenRecordsNamedExcept(rs, Conn, u"Person 2"_s, 0);
    DeleteRecord(Conn, rs.Integer(u"PWDID"));
    rs.Close();

    std::optional<WindowThreadGuard> guard(std::in_place);
    frmSync& dialog = Form<frmSync>();
    dialog.show();
    auto* links = dialog.findChild<QTreeWidget*>(u"lstLinks"_s);
    QTest::mouseClick(links->viewport(), Qt::LeftButton, {}, links->visualItemRect(links->topLevelItem(0)).center());
    auto type = [&dialog](const char* box, const QString& text) {
        auto* edit = dialog.findChild<QLineEdit*>(QLatin1String(box));
        QTest::mouseClick(edit, Qt::LeftButton);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    };
    auto* change = dialog.findChild<QPushButton*>(u"CmdAccount"_s);
    type("txtUrl", f.server.Root().toString());
    // A wrong password is tried first and not kept.
    type("txtPassword", u"still wrong"_s);
    const QStringList before = Everything();
    QTest::mouseClick(change, Qt::LeftButton);
    QTRY_COMPARE(platform.Boxes().size(), 1);
    QCOMPARE(platform.Boxes().last().text, u"The server refused the user name or password."_s);
    QCOMPARE(Everything(), before);
    type("txtPassword", f.server.Password());
    QTest::mouseClick(change, Qt::LeftButton);
    QTRY_COMPARE(platform.Boxes().size(), 2);
    QCOMPARE(platform.Boxes().last().text, u"The account was changed; its links stay as they were."_s);
    {
        // The new password went where new accounts' go, not into the book.
        Recordset stored;
        OpenSyncAccounts(stored, Conn);
        QVERIFY(stored.Text(u"Password").isEmpty());
    }
    QTest::mouseClick(dialog.findChild<QPushButton*>(u"CmdCancel"_s), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    guard.reset();

    // Same link, same state: the deletion made here meanwhile goes to the server, nothing comes back.
    QCOMPARE(SyncLinks(Conn).size(), 1);
    const SyncSummary summary = Sync();
    QCOMPARE(summary.deletedThere, 1);
    QCOMPARE(summary.addedHere + summary.addedThere + summary.joined.size(), 0);
    QCOMPARE(Records().size(), 4);
    QCOMPARE(f.server.Cards(f.book).size(), 4);
    QVERIFY(!Everything().join(u'\n').contains(f.server.Password()));
}

void tst_sync::unseenNoticesWaitInTheStatusBar()
{
    RecordingPlatform platform;
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(AddType(u"Other"_s), u"Ann"_s);
    // Two cards whose name another contact has here: neither can be added, both are named.
    f.Put(f.book + u"a1.vcf"_s, Card(u"Ann"_s, {}, u"a1"_s));
    f.Put(f.book + u"a2.vcf"_s, Card(u"Ann"_s, "TEL;TYPE=CELL:2\r\n", u"a2"_s));
    f.Link(friends, f.book);

    QMainWindow window;
    SyncCommands commands(&window, [] {});
    commands.Start(false);
    window.show();
    auto* notices = window.findChild<QToolButton*>(u"StatusBar1_Notices"_s);
    QVERIFY(notices != nullptr && !notices->isVisible());
    commands.SyncNow(true); // as the timer does: no summary shown
    QTRY_VERIFY_WITH_TIMEOUT(!commands.IsSyncing(), 60000);
    QVERIFY(platform.Boxes().isEmpty());
    QVERIFY(notices->isVisible());
    QCOMPARE(notices->text(), u"Sync notices (1)"_s);
    // Still there for a window opened later on the same book.
    QCOMPARE(SyncNotices(Conn).size(), 1);
    QTest::mouseClick(notices, Qt::LeftButton);
    QCOMPARE(platform.Boxes().size(), 1);
    QVERIFY2(platform.Boxes().first().text.contains(u"the name is taken here: Ann, Ann"_s),
             qPrintable(platform.Boxes().first().text));
    QVERIFY(!notices->isVisible());
    QVERIFY(SyncNotices(Conn).isEmpty());
}

void tst_sync::summaryNamesWhatIsNotShownInWords()
{
    SyncSummary summary;
    summary.unshown = {{u"PHOTO"_s, 1}, {u"ADR"_s, 2}, {u"other phone"_s, 1}, {u"X-CUSTOM"_s, 3}};
    const QString text = SyncSummaryText(summary);
    QVERIFY2(
        text.endsWith(
            u"Kept on the server, not shown here: 2 postal addresses, 1 photo, X-CUSTOM (3), 1 other phone number"_s),
        qPrintable(text));
}

void tst_sync::cardEdits_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArrayList>("lines"); // lines the card sent holds, before its END
    QTest::addColumn<QByteArrayList>("gone");  // texts it no longer holds
    QTest::newRow("CR line ends") << QByteArray("BEGIN:VCARD\rVERSION:3.0\rFN:Ann\rN:Ann;;;;\rTEL;TYPE=CELL:1\r"
                                                "END:VCARD\r")
                                  << u"mobilePhone"_s << u"2"_s << QByteArrayList{"TEL;TYPE=CELL:2"}
                                  << QByteArrayList{"CELL:1"};
    QTest::newRow("a line after END") << QByteArray(
                                             "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nEND:VCARD\r\nX-AFTER:1\r\n")
                                      << u"homePhone"_s << u"3"_s << QByteArrayList{"TEL;TYPE=HOME:3"}
                                      << QByteArrayList{};
    QTest::newRow("name in a character set of its own")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=GB2312;ENCODING=QUOTED-PRINTABLE:=D5=C5;=C8=FD\r\n"
                      "FN;CHARSET=GB2312;ENCODING=QUOTED-PRINTABLE:=D5=C5=C8=FD\r\nEND:VCARD\r\n")
        << u"name"_s << u"张四"_s << QByteArrayList{"FN:张四", "N:张;四;;;"} << QByteArrayList{"=D5=C5"};
    QTest::newRow("first name changed, structured name kept")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Bell;Ann;Marie;Dr.;Jr.\r\nFN:Dr. Ann Marie Bell Jr.\r\n"
                      "END:VCARD\r\n")
        << u"name"_s << u"Dr. Anna Marie Bell Jr."_s
        << QByteArrayList{"N:Bell;Anna;Marie;Dr.;Jr.", "FN:Dr. Anna Marie Bell Jr."} << QByteArrayList{";;;;"};
    QTest::newRow("family name changed") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Bell;Ann;;;\r\nFN:Ann Bell\r\n"
                                                       "END:VCARD\r\n")
                                         << u"name"_s << u"Ann Smith"_s << QByteArrayList{"N:Smith;Ann;;;"}
                                         << QByteArrayList{"Bell"};
    QTest::newRow("vCard 4 phone with spaces")
        << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann\r\nTEL;VALUE=uri;TYPE=cell:tel:+1-555-0100\r\n"
                      "END:VCARD\r\n")
        << u"mobilePhone"_s << u"+1 555 0199"_s << QByteArrayList{"TEL;VALUE=text;TYPE=cell:+1 555 0199"}
        << QByteArrayList{"tel:+1 555"};
    QTest::newRow("vCard 4 global phone")
        << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann\r\nEND:VCARD\r\n") << u"workPhone"_s << u"+15550199"_s
        << QByteArrayList{"TEL;VALUE=uri;TYPE=work:tel:+15550199"} << QByteArrayList{};
    QTest::newRow("addresses typed with semicolons")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nEND:VCARD\r\n") << u"emails"_s << u"a@x.org;b@y.org"_s
        << QByteArrayList{"EMAIL:a@x.org", "EMAIL:b@y.org"} << QByteArrayList{"\\;"};
}

void tst_sync::cardEdits()
{
    QFETCH(QByteArray, received);
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArrayList, gone);
    CardText card = CardText::Parse(received, nullptr).value();
    const ContactCard before = card.Fields();
    ContactCard after = before;
    QString ContactCard::*const fields[] = {&ContactCard::name, &ContactCard::homePhone, &ContactCard::mobilePhone,
                                            &ContactCard::workPhone, &ContactCard::emails};
    const QStringList names{u"name"_s, u"homePhone"_s, u"mobilePhone"_s, u"workPhone"_s, u"emails"_s};
    QString ContactCard::*const changed = fields[names.indexOf(field)];
    after.*changed = value;
    card.Change(before, after);
    const QByteArray sent = card.Bytes();
    // CRLF line ends only, each changed line once, before the END that closes the card.
    QCOMPARE(sent.count("\r\n"), sent.count('\n'));
    QCOMPARE(sent.count("\r\n"), sent.count('\r'));
    const qsizetype end = sent.indexOf("END:VCARD\r\n");
    QVERIFY(end > 0);
    for (const QByteArray& line : lines) {
        const qsizetype at = sent.indexOf("\r\n" + line + "\r\n");
        QVERIFY2(at >= 0 && at < end, qPrintable(line + " in\n" + sent));
        QCOMPARE(sent.count("\r\n" + line + "\r\n"), 1);
    }
    for (const QByteArray& text : gone) {
        QVERIFY2(!sent.contains(text), qPrintable(text + " in\n" + sent));
    }
    QVERIFY(sent.mid(0, end).contains("\r\nREV:"));
    // What is read back is what was written.
    const ContactCard back = CardText::Parse(sent, nullptr).value().Fields();
    QCOMPARE(EmailAddresses(back.*changed).join(u';'), EmailAddresses(value).join(u';'));
}

void tst_sync::newCardOneLinePerAddress()
{
    ContactCard eve;
    eve.name = u"Eve"_s;
    eve.emails = u"a@x.org;b@y.org"_s;
    const QByteArray sent = CardText::New(eve, u"u1"_s).Bytes();
    QVERIFY2(sent.contains("\r\nEMAIL:a@x.org\r\nEMAIL:b@y.org\r\n"), sent.constData());
}

void tst_sync::uploadWithoutETagReadBack_data()
{
    QTest::addColumn<QByteArray>("held"); // what the server holds after the upload
    QTest::addColumn<bool>("kept");
    QTest::newRow("as sent") << QByteArray("TEL;TYPE=CELL:5\r\n") << true;
    QTest::newRow("the phone dropped") << QByteArray() << false;
}

void tst_sync::uploadWithoutETagReadBack()
{
    QFETCH(QByteArray, held);
    QFETCH(bool, kept);
    TestProgramFolder folder;
    FakeServer server;
    const qint64 friends = AddType(u"Friends"_s);
    const qint64 fay = AddRecord(friends, u"Fay"_s, {{}, u"5"_s});
    const qint64 account = AddSyncAccount(Conn, server.Root(), u"u"_s, u"p"_s);
    LinkAddressBook(Conn, account, {u"/book/"_s, u"Book"_s, false, {}}, friends);
    const QByteArray name = (SyncAccounts(Conn).first().instance + u"-%1"_s.arg(fay)).toUtf8();
    server.replies = {Report({}, ""), "HTTP/1.1 201 Created\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                      Report(Member(name, "9", Card(u"Fay"_s, held)), "")};
    SyncEngine engine(Conn);
    engine.SetTimeout(5000);
    const SyncSummary summary = engine.Run();
    QCOMPARE(server.requests.size(), 3);
    QVERIFY(server.requests[2].startsWith("REPORT"));
    QCOMPARE(summary.retryLater, kept ? QStringList() : QStringList{u"Fay"_s});
    QCOMPARE(Everything().join(u'\n').contains(u"\"9\""_s), kept);
}

void tst_sync::syncReportInParts()
{
    TestProgramFolder folder;
    FakeServer server;
    const qint64 friends = AddType(u"Friends"_s);
    const qint64 account = AddSyncAccount(Conn, server.Root(), u"u"_s, u"p"_s);
    LinkAddressBook(Conn, account, {u"/book/"_s, u"Book"_s, true, {}}, friends);
    // The first listing comes in two parts; the second part is asked for with the first's token.
    server.replies = {Report(Member("a", "1"), "t1", true), Report(Member("b", "2"), "t2"),
                      Report(Member("a", "1", Card(u"Ann"_s)) + Member("b", "2", Card(u"Bob"_s)), {})};
    SyncEngine engine(Conn);
    engine.SetTimeout(5000);
    engine.Run();
    QCOMPARE(Records(), (QStringList{u"Ann|Friends||||||||"_s, u"Bob|Friends||||||||"_s}));
    QVERIFY(server.requests.value(1).contains("sync-token>t1</"));
    QCOMPARE(SyncLinks(Conn).first().token, u"t2"_s);

    // The server forgot the token and lists everything again, in parts: the part that leaves a
    // contact out must not read as its removal.
    server.requests.clear();
    server.replies = {Http(409, ""), Report(Member("a", "1"), "t3", true), Report(Member("b", "2"), "t4")};
    engine.Run();
    QCOMPARE(server.requests.size(), 3);
    QCOMPARE(Records(), (QStringList{u"Ann|Friends||||||||"_s, u"Bob|Friends||||||||"_s}));
    QCOMPARE(SyncLinks(Conn).first().token, u"t4"_s);
}

void tst_sync::bothWaysWithXandikos()
{
    TestProgramFolder folder;
    XandikosServer server;
    QVERIFY2(server.Start(), qPrintable(server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    const qint64 ann = AddRecord(friends, u"Ann"_s, {u"1"_s});
    QCOMPARE(server.Request("PUT", server.Book() + u"bob.vcf"_s, Card(u"Bob"_s, "TEL;TYPE=CELL:2\r\n")).status, 201);
    CardDavClient client(server.Root(), u"u"_s, u"p"_s);
    const QList<RemoteBook> books = client.Discover();
    QCOMPARE(books.size(), 1);
    LinkAddressBook(Conn, AddSyncAccount(Conn, server.Root(), u"u"_s, u"p"_s), books.first(), friends);
    const SyncSummary first = Sync();
    QCOMPARE(first.addedHere + first.addedThere, 2);

    UpdateRecordFields(Conn, ann, {Encrypt(u"Ann"_s), Encrypt(u"11"_s), {}, {}, {}, {}, {}, {}}, {});
    server.Request("PUT", server.Book() + u"bob.vcf"_s, Card(u"Bob"_s, "TEL;TYPE=CELL:22\r\n"));
    const SyncSummary second = Sync();
    QCOMPARE(second.changedHere + second.changedThere, 2);
    QCOMPARE(Records(), (QStringList{u"Ann|Friends|11|||||||"_s, u"Bob|Friends||22||||||"_s}));
    const QStringList cards = server.Cards();
    QCOMPARE(cards.size(), 2);
    const QString annPath = cards[0].endsWith(u"bob.vcf"_s) ? cards[1] : cards[0];
    QCOMPARE(CardText::Parse(server.Request("GET", annPath).body, nullptr).value().Fields().homePhone, u"11"_s);
    QCOMPARE(Sync().requests, 1);
}

void tst_sync::bothWaysWithDavical()
{
    TestProgramFolder folder;
    DavicalServer server;
    if (!server.Start()) {
        QSKIP(qPrintable(server.Reason()));
    }
    const qint64 friends = AddType(u"Friends"_s);
    const qint64 ann = AddRecord(friends, u"Ann"_s, {u"1"_s});
    QCOMPARE(server.Request("PUT", server.Book() + u"bob.vcf"_s, Card(u"Bob"_s, "TEL;TYPE=CELL:2\r\n")).status, 201);
    // Found from the server's root, as a user would type it; linked through the account window.
    QList<RemoteBook> books;
    {
        DiscoveryWorker discovery(server.Root(), server.User(), server.Password());
        QSignalSpy finished(&discovery, &DiscoveryWorker::Finished);
        discovery.Start();
        QVERIFY(finished.wait(60000));
        books = discovery.Result();
    }
    QCOMPARE(books.size(), 1);
    QCOMPARE(books.first().path, server.Book());
    QCOMPARE(books.first().displayName, u"Contacts"_s);
    LinkAddressBook(Conn, AddSyncAccount(Conn, server.Root(), server.User(), server.Password()), books.first(),
                    friends);
    const SyncSummary first = Sync();
    QCOMPARE(first.addedHere + first.addedThere, 2);
    QCOMPARE(server.Cards().size(), 2);

    UpdateRecordFields(Conn, ann, {Encrypt(u"Ann"_s), Encrypt(u"11"_s), {}, {}, {}, {}, {}, {}}, {});
    QCOMPARE(server.Request("PUT", server.Book() + u"bob.vcf"_s, Card(u"Bob"_s, "TEL;TYPE=CELL:22\r\n")).status, 204);
    const SyncSummary second = Sync();
    QCOMPARE(second.changedHere + second.changedThere, 2);
    QCOMPARE(Records(), (QStringList{u"Ann|Friends|11|||||||"_s, u"Bob|Friends||22||||||"_s}));
    const QStringList cards = server.Cards();
    QCOMPARE(cards.size(), 2);
    const QString annPath = cards[0].endsWith(u"bob.vcf"_s) ? cards[1] : cards[0];
    QCOMPARE(CardText::Parse(server.Request("GET", annPath).body, nullptr).value().Fields().homePhone, u"11"_s);

    // Deleted there, gone here; nothing more to do after.
    QCOMPARE(server.Request("DELETE", server.Book() + u"bob.vcf"_s).status, 204);
    QCOMPARE(Sync().deletedHere, 1);
    QCOMPARE(Records(), QStringList{u"Ann|Friends|11|||||||"_s});
    const SyncSummary idle = Sync();
    QCOMPARE(idle.addedHere + idle.addedThere + idle.changedHere + idle.changedThere, 0);
}

void tst_sync::accountDialogThenSyncButton()
{
    RecordingPlatform platform;
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.Put(f.book + u"g.vcf"_s, Card(u"Gus"_s, "TEL;TYPE=CELL:42\r\n"));

    const WindowThreadGuard guard;
    frmSync& dialog = Form<frmSync>();
    dialog.show();
    auto type = [&dialog](const char* box, const QString& text) {
        auto* edit = dialog.findChild<QLineEdit*>(QLatin1String(box));
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClicks(edit, text);
    };
    type("txtUrl", f.server.Root().toString());
    type("txtUser", f.server.User());
    type("txtPassword", f.server.Password());
    QTest::mouseClick(dialog.findChild<QPushButton*>(u"CmdDiscover"_s), Qt::LeftButton);
    auto* books = dialog.findChild<QTreeWidget*>(u"lstBooks"_s);
    QTRY_COMPARE(books->topLevelItemCount(), 1);
    QCOMPARE(books->topLevelItem(0)->text(0), u"Contacts"_s);
    QTest::mouseClick(dialog.findChild<QPushButton*>(u"CmdOK"_s), Qt::LeftButton);
    QCOMPARE(dialog.findChild<QTreeWidget*>(u"lstLinks"_s)->topLevelItemCount(), 1);
    QVERIFY(platform.Boxes().isEmpty());
    QTest::mouseClick(dialog.findChild<QPushButton*>(u"CmdCancel"_s), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The new type is named after the address book; the password is stored enciphered only.
    QCOMPARE(SyncLinks(Conn).size(), 1);
    QVERIFY(!Everything().join(u'\n').contains(f.server.Password()));

    QMainWindow window;
    int reloads = 0;
    SyncCommands commands(&window, [&reloads] { ++reloads; });
    // The views hear of the one contact the sync added through the book, as of any change.
    QList<qint64> added;
    const QMetaObject::Connection heard =
        QObject::connect(&TheBook(), &AddressBook::ContactsAdded, [&added](const QList<qint64>& ids) { added += ids; });
    auto* toolbar = window.addToolBar(u"Toolbar1"_s);
    commands.AddTo(toolbar);
    commands.Start(true);
    window.show();
    QTest::mouseClick(toolbar->widgetForAction(commands.Toolbar1_Sync), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!commands.IsSyncing(), 60000);
    QObject::disconnect(heard);
    QCOMPARE(Records(), QStringList{u"Gus|Contacts||42||||||"_s});
    QCOMPARE(reloads, 0);
    QCOMPARE(added.size(), 1);
    QCOMPARE(platform.Boxes().size(), 1);
    QVERIFY(platform.Boxes().first().text.contains(u"Here: 1 added"_s));
    QVERIFY(window.findChild<QLabel*>(u"StatusBar1_Sync"_s)->text().endsWith(u"done"_s));

    // A wrong password: the reason in a box, the result in the status bar, nothing changed.
    RemoveSyncAccount(Conn, SyncAccounts(Conn).first().no);
    f.Link(SyncLinks(Conn).isEmpty() ? AddType(u"Other"_s) : 0, f.book, u"wrong"_s);
    const QStringList before = Records();
    QTest::mouseClick(toolbar->widgetForAction(commands.Toolbar1_Sync), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!commands.IsSyncing(), 60000);
    QCOMPARE(platform.Boxes().size(), 2);
    QCOMPARE(platform.Boxes().last().text, u"The server refused the user name or password."_s);
    QVERIFY(!platform.Boxes().last().text.contains(u"wrong"_s));
    QVERIFY(window.findChild<QLabel*>(u"StatusBar1_Sync"_s)->text().endsWith(u"failed"_s));
    QCOMPARE(Records(), before);
}

void tst_sync::massDeletionsAsk_data()
{
    QTest::addColumn<int>("goneThere");
    QTest::addColumn<int>("goneHere");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("asked"); // "count book side", empty when nothing is asked
    QTest::addColumn<int>("left");      // contacts here afterwards
    QTest::addColumn<int>("cards");     // cards on the server afterwards
    QTest::newRow("a fifth there, declined") << 20 << 0 << false << u"20 Contacts here"_s << 40 << 20;
    QTest::newRow("a fifth there, agreed") << 20 << 0 << true << u"20 Contacts here"_s << 20 << 20;
    QTest::newRow("a fifth here, declined") << 0 << 20 << false << u"20 Contacts on the server"_s << 20 << 40;
    QTest::newRow("a fifth here, agreed") << 0 << 20 << true << u"20 Contacts on the server"_s << 20 << 20;
    QTest::newRow("a few each side") << 8 << 7 << false << QString() << 25 << 25;
}

void tst_sync::massDeletionsAsk()
{
    QFETCH(int, goneThere);
    QFETCH(int, goneHere);
    QFETCH(bool, answer);
    QFETCH(QString, asked);
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(40);
    Sync();
    const QStringList cards = f.server.Cards(f.book);
    QCOMPARE(cards.size(), 40);
    for (int i = 0; i < goneThere; ++i) {
        QCOMPARE(f.server.Request("DELETE", cards[i]).status, 200);
    }
    Recordset rs;
    for (rs.Open(u"SELECT PWDID FROM PWDTable ORDER BY PWDID DESC LIMIT %1"_s.arg(goneHere), Conn, LockType::ReadOnly);
         !rs.IsEOF(); rs.MoveNext()) {
        DeleteRecord(Conn, rs.Integer(0));
    }
    rs.Close();
    const QStringList before = Everything();
    const QStringList serverBefore = f.server.Cards(f.book);

    QStringList questions;
    SyncEngine engine(Conn);
    engine.SetConfirmDeletions([&](const QString& book, int count, bool onServer) {
        questions.append(u"%1 %2 %3"_s.arg(count).arg(book, onServer ? u"on the server"_s : u"here"_s));
        return answer;
    });
    const SyncFault fault = FaultOf([&] { engine.Run(); });
    QCOMPARE(questions, asked.isEmpty() ? QStringList() : QStringList{asked});
    if (!asked.isEmpty() && !answer) {
        // Declined: nothing changed on either side.
        QCOMPARE(fault, SyncFault::Cancelled);
        QCOMPARE(Everything(), before);
        QCOMPARE(f.server.Cards(f.book), serverBefore);
    } else {
        QCOMPARE(fault, SyncFault::Cancelled); // no fault
    }
    QTEST(static_cast<int>(Records().size()), "left");
    QTEST(static_cast<int>(f.server.Cards(f.book).size()), "cards");
}

void tst_sync::bookMadeAgainOnTheServer_data()
{
    QTest::addColumn<LostBookChoice>("choice");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("cards");
    QTest::newRow("cancel") << LostBookChoice::Cancel << 3 << 0;
    QTest::newRow("upload again") << LostBookChoice::UploadAgain << 3 << 3;
    QTest::newRow("empty here") << LostBookChoice::EmptyHere << 0 << 0;
}

void tst_sync::bookMadeAgainOnTheServer()
{
    QFETCH(LostBookChoice, choice);
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(3);
    Sync();
    QCOMPARE(f.server.Cards(f.book).size(), 3);
    // Deleted and made again, empty, at the same address.
    QCOMPARE(f.server.Request("DELETE", f.book).status, 200);
    QCOMPARE(f.server.AddAddressBook(u"contacts"_s, u"Contacts"_s), f.book);
    const QStringList before = Everything();

    QStringList asked;
    SyncEngine engine(Conn);
    engine.SetAskLostBook([&](const QString& book, int count) {
        asked.append(u"%1 %2"_s.arg(book).arg(count));
        return choice;
    });
    const SyncFault fault = FaultOf([&] { engine.Run(); });
    QCOMPARE(asked, QStringList{u"Contacts 3"_s});
    QCOMPARE(fault, SyncFault::Cancelled);
    if (choice == LostBookChoice::Cancel) {
        QCOMPARE(Everything(), before);
    }
    QTEST(static_cast<int>(Records().size()), "left");
    QTEST(static_cast<int>(f.server.Cards(f.book).size()), "cards");
    // Whatever was chosen, the next sync finds both sides agreeing.
    if (choice != LostBookChoice::Cancel) {
        const SyncSummary again = Sync();
        QCOMPARE(again.addedHere + again.addedThere + again.deletedHere + again.deletedThere, 0);
    }
}

void tst_sync::bookMadeAgainOnXandikos()
{
    TestProgramFolder folder;
    XandikosServer server;
    QVERIFY2(server.Start(), qPrintable(server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    AddRecords(friends, {u"Ann"_s, u"Bob"_s, u"Cy"_s});
    CardDavClient client(server.Root(), u"u"_s, u"p"_s);
    LinkAddressBook(Conn, AddSyncAccount(Conn, server.Root(), u"u"_s, u"p"_s), client.Discover().first(), friends);
    QCOMPARE(Sync().addedThere, 3);
    // Deleted and made again at the same address by another client, which put one card of its own
    // there: the sync token the book holds is of the old address book, and none of its cards is there.
    QCOMPARE(server.Request("DELETE", server.Book()).status / 100, 2);
    QCOMPARE(server
                 .Request("MKCOL", server.Book(),
                          "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:mkcol xmlns:d=\"DAV:\" "
                          "xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:set><d:prop><d:resourcetype><d:collection/>"
                          "<c:addressbook/></d:resourcetype></d:prop></d:set></d:mkcol>")
                 .status,
             201);
    QCOMPARE(server.Request("PUT", server.Book() + u"dee.vcf"_s, Card(u"Dee"_s)).status, 201);
    QStringList asked;
    SyncEngine engine(Conn);
    engine.SetAskLostBook([&asked](const QString& book, int count) {
        asked.append(u"%1 %2"_s.arg(book).arg(count));
        return LostBookChoice::UploadAgain;
    });
    SyncSummary summary;
    QString message;
    const SyncFault fault = FaultOf([&] { summary = engine.Run(); }, &message);
    QVERIFY2(fault == SyncFault::Cancelled, qPrintable(message));

    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked.first().endsWith(u" 3"_s), qPrintable(asked.first()));
    QCOMPARE(summary.deletedHere, 0);
    QCOMPARE(summary.addedThere, 3);
    QCOMPARE(summary.addedHere, 1);
    QCOMPARE(server.Cards().size(), 4);
    QCOMPARE(Records().size(), 4);
    const SyncSummary again = Sync();
    QCOMPARE(again.addedHere + again.addedThere + again.deletedHere + again.deletedThere, 0);
}

void tst_sync::cardWrittenHereThenDeletedThereLeaves()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(3);
    Sync();
    // Another client deletes one of the cards this book uploaded.
    const QStringList cards = f.server.Cards(f.book);
    const ContactCard gone = CardText::Parse(f.Get(cards[0]), nullptr).value().Fields();
    QCOMPARE(f.server.Request("DELETE", cards[0]).status, 200);
    const SyncSummary summary = Sync();
    QCOMPARE(summary.deletedHere, 1);
    QVERIFY(!Records().join(u'\n').contains(gone.name));
    QCOMPARE(Records().size(), 2);
}

void tst_sync::changedThereWhileWrittenIsMerged()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    const qint64 hal = AddRecord(friends, u"Hal"_s, {u"1"_s});
    f.Link(friends, f.book);
    Sync();
    const QString path = f.server.Cards(f.book).first();
    UpdateRecordFields(Conn, hal, {Encrypt(u"Hal"_s), Encrypt(u"1"_s), Encrypt(u"2"_s), {}, {}, {}, {}, {}}, {});
    // Another client changes the card after this sync listed the book and before it writes.
    SyncEngine engine(Conn);
    bool changed = false;
    engine.SetProgress([&](int, int) {
        if (!changed) {
            changed = true;
            QByteArray card = f.Get(path);
            card.replace("END:VCARD", "TEL;TYPE=WORK:3\r\nEND:VCARD");
            QCOMPARE(f.server.Request("PUT", path, card).status, 201);
        }
    });
    const SyncSummary summary = engine.Run();
    QVERIFY(changed);
    QVERIFY(summary.retryLater.isEmpty());
    QCOMPARE(Records(), QStringList{u"Hal|Friends|1|2|3|||||"_s});
    const ContactCard there = CardText::Parse(f.Get(path), nullptr).value().Fields();
    QCOMPARE(QStringList({there.homePhone, there.mobilePhone, there.workPhone}), QStringList({u"1"_s, u"2"_s, u"3"_s}));
}

void tst_sync::secondLinkRefused()
{
    RecordingPlatform platform;
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.server.AddAddressBook(u"work"_s, u"Work"_s);
    const qint64 friends = AddType(u"Friends"_s);
    f.Link(friends, f.book);

    // The engine refuses a second link, through the same account or another.
    QCOMPARE(FaultOf([&] { f.Link(AddType(u"Again"_s), f.book); }), SyncFault::AlreadyLinked);
    QCOMPARE(FaultOf([&] {
                 LinkAddressBook(Conn, SyncAccounts(Conn).first().no, {u"/alice/contacts"_s, u"C"_s, true, {}}, 0);
             }),
             SyncFault::AlreadyLinked);
    QCOMPARE(SyncLinks(Conn).size(), 1);

    // The dialog lists it as linked, not ticked and not linkable; the other one links.
    const WindowThreadGuard guard;
    frmSync& dialog = Form<frmSync>();
    dialog.show();
    for (const auto& [box, text] :
         {std::pair{"txtUrl", f.server.Root().toString()}, std::pair{"txtUser", f.server.User()},
          std::pair{"txtPassword", f.server.Password()}}) {
        auto* edit = dialog.findChild<QLineEdit*>(QLatin1String(box));
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClicks(edit, text);
    }
    QTest::mouseClick(dialog.findChild<QPushButton*>(u"CmdDiscover"_s), Qt::LeftButton);
    auto* books = dialog.findChild<QTreeWidget*>(u"lstBooks"_s);
    QTRY_COMPARE(books->topLevelItemCount(), 2);
    QTreeWidgetItem* linked = books->findItems(u"Contacts"_s, Qt::MatchExactly).value(0);
    QVERIFY(linked != nullptr);
    QCOMPARE(linked->checkState(0), Qt::Unchecked);
    QVERIFY(!(linked->flags() & Qt::ItemIsUserCheckable));
    QCOMPARE(linked->text(1), u"Linked with \"Friends\""_s);
    // A click on it does not tick it.
    QTest::mouseClick(books->viewport(), Qt::LeftButton, {}, books->visualItemRect(linked).center());
    QCOMPARE(linked->checkState(0), Qt::Unchecked);
    QTest::mouseClick(dialog.findChild<QPushButton*>(u"CmdOK"_s), Qt::LeftButton);
    QVERIFY(platform.Boxes().isEmpty());
    QCOMPARE(SyncLinks(Conn).size(), 2);
    QCOMPARE(dialog.findChild<QTreeWidget*>(u"lstLinks"_s)->topLevelItemCount(), 2);
    QTest::mouseClick(dialog.findChild<QPushButton*>(u"CmdCancel"_s), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

namespace {

// A CardDAV account that answers slowly: each request waits delay milliseconds, then its answer
// comes in pieces of piece bytes, one every interval milliseconds. The first request is told the
// account's home, the second the address books in it, Friends and Work.
class SlowDavServer : public QTcpServer
{
public:
    SlowDavServer(int delay, qsizetype piece, int interval) : m_delay(delay), m_piece(piece)
    {
        listen(QHostAddress::LocalHost, 0);
        m_drip.setInterval(interval);
        connect(&m_drip, &QTimer::timeout, this, [this] { Drip(); });
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, this, [this] { ++disconnects; });
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    const qsizetype end = m_request.indexOf("\r\n\r\n");
                    const qsizetype at = m_request.toLower().indexOf("content-length:");
                    const int length = at < 0 ? 0 : m_request.mid(at + 15).split('\r').value(0).trimmed().toInt();
                    if (end < 0 || m_request.size() < end + 4 + length) {
                        return;
                    }
                    m_request.clear();
                    m_socket = socket;
                    m_pending = Answer(requests++);
                    QTimer::singleShot(m_delay, &m_drip, [this] { m_drip.start(); });
                });
            }
        });
    }
    QUrl Root() const { return QUrl(u"http://127.0.0.1:%1/"_s.arg(serverPort())); }
    int requests = 0;
    int disconnects = 0;

private:
    static QByteArray Answer(int request)
    {
        const QByteArray head = "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" "
                                "xmlns:c=\"urn:ietf:params:xml:ns:carddav\">";
        const auto book = [](const QByteArray& path, const QByteArray& name) {
            return "<d:response><d:href>" + path +
                   "</d:href><d:propstat><d:prop><d:resourcetype><d:collection/><c:addressbook/></d:resourcetype>"
                   "<d:displayname>" +
                   name + "</d:displayname></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
        };
        const QByteArray body =
            request == 0 ? head + "<d:response><d:href>/</d:href><d:propstat><d:prop><d:resourcetype><d:collection/>"
                                  "</d:resourcetype><c:addressbook-home-set><d:href>/home/</d:href>"
                                  "</c:addressbook-home-set></d:prop><d:status>HTTP/1.1 200 OK</d:status>"
                                  "</d:propstat></d:response></d:multistatus>"
                         : head + book("/home/friends/", "Friends") + book("/home/work/", "Work") + "</d:multistatus>";
        return Http(207, body);
    }
    void Drip()
    {
        if (m_socket == nullptr || m_pending.isEmpty() || m_socket->state() != QAbstractSocket::ConnectedState) {
            m_drip.stop();
            return;
        }
        m_socket->write(m_pending.left(m_piece));
        m_pending.remove(0, m_piece);
        if (m_pending.isEmpty()) {
            m_drip.stop();
            m_socket->disconnectFromHost();
        }
    }

    int m_delay;
    qsizetype m_piece;
    QTimer m_drip;
    QByteArray m_request;
    QByteArray m_pending;
    QTcpSocket* m_socket = nullptr;
};

} // namespace

void tst_sync::findingAddressBooksKeepsTheWindowAnswering_data()
{
    QTest::addColumn<int>("delay");     // before each answer, in milliseconds
    QTest::addColumn<QString>("click"); // during the search: nothing, Cancel or Close
    QTest::newRow("answered slowly") << 300 << QString();
    QTest::newRow("cancelled") << 60000 << u"CmdStop"_s;
    QTest::newRow("window closed") << 60000 << u"CmdCancel"_s;
}

void tst_sync::findingAddressBooksKeepsTheWindowAnswering()
{
    QFETCH(int, delay);
    QFETCH(QString, click);
    RecordingPlatform platform;
    TestProgramFolder folder;
    SlowDavServer server(delay, 40, 10);
    const qint64 friends = AddType(u"Friends"_s);
    LinkAddressBook(Conn, AddSyncAccount(Conn, server.Root(), u"u"_s, u"p"_s),
                    {u"/home/friends/"_s, u"Friends"_s, false, {}}, friends);
    const QStringList before = Everything();
    const WindowThreadGuard guard;

    QPointer<frmSync> dialog = &Form<frmSync>();
    dialog->show();
    for (const auto& [box, text] : {std::pair{"txtUrl", server.Root().toString()}, std::pair{"txtUser", u"u"_s},
                                    std::pair{"txtPassword", u"p"_s}}) {
        auto* edit = dialog->findChild<QLineEdit*>(QLatin1String(box));
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClicks(edit, text);
    }
    auto* find = dialog->findChild<QPushButton*>(u"CmdDiscover"_s);
    auto* books = dialog->findChild<QTreeWidget*>(u"lstBooks"_s);
    auto* status = dialog->findChild<QLabel*>(u"lblStatus"_s);
    auto* busy = dialog->findChild<QProgressBar*>(u"prgBusy"_s);
    auto* stop = dialog->findChild<QPushButton*>(u"CmdStop"_s);

    // A timer of the window's thread measures the longest time between two of its turns.
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer beat;
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    beat.start();
    QTest::mouseClick(find, Qt::LeftButton);
    const qint64 clicked = clock.elapsed();
    // The request is under way at once, shown, and cannot be started twice.
    QVERIFY(!find->isEnabled());
    QVERIFY(busy->isVisible());
    QVERIFY(stop->isVisible());
    QCOMPARE(status->text(), u"Looking for the address books on 127.0.0.1..."_s);
    QTRY_COMPARE(server.requests, 1);
    QTest::qWait(200); // the window's own events go on while the server is silent
    if (click.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(books->topLevelItemCount(), 2, 20000);
        QVERIFY2(clock.elapsed() - clicked > 2 * delay, "the answers did come slowly");
        QTreeWidgetItem* linked = books->findItems(u"Friends"_s, Qt::MatchExactly).value(0);
        QTreeWidgetItem* other = books->findItems(u"Work"_s, Qt::MatchExactly).value(0);
        QVERIFY(linked != nullptr && other != nullptr);
        QVERIFY(!(linked->flags() & Qt::ItemIsUserCheckable));
        QCOMPARE(linked->checkState(0), Qt::Unchecked);
        QCOMPARE(linked->text(1), u"Linked with \"Friends\""_s);
        QCOMPARE(other->checkState(0), Qt::Checked);
        QVERIFY(find->isEnabled());
        QVERIFY(dialog->findChild<QPushButton*>(u"CmdOK"_s)->isEnabled());
        QVERIFY(!busy->isVisible());
        QVERIFY(!stop->isVisible());
        QVERIFY(status->text().isEmpty());
    } else if (click == u"CmdStop"_s) {
        QTest::mouseClick(stop, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(find->isEnabled(), 5000);
        QCOMPARE(status->text(), u"Finding the address books was cancelled."_s);
        QCOMPARE(books->topLevelItemCount(), 0);
        QVERIFY(!busy->isVisible());
        QVERIFY(!dialog->findChild<QPushButton*>(u"CmdOK"_s)->isEnabled());
        QTRY_COMPARE(server.disconnects, 1); // the request was dropped, not left to run out
    } else {
        QTest::mouseClick(dialog->findChild<QPushButton*>(u"CmdCancel"_s), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(dialog.isNull());
        QTRY_COMPARE(server.disconnects, 1);
    }
    QVERIFY2(clock.elapsed() - clicked < 15000, "a cancel does not wait for the server");
    beat.stop();
    QVERIFY2(longest <= 50, qPrintable(u"the window's thread stood still for %1 ms"_s.arg(longest)));
    QVERIFY(platform.Boxes().isEmpty());
    if (dialog != nullptr) {
        QTest::mouseClick(dialog->findChild<QPushButton*>(u"CmdCancel"_s), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCOMPARE(Everything(), before);
}

void tst_sync::detailEdits_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QStringList>("changed");  // names of the lines that changed (REV aside)
    QTest::addColumn<QByteArrayList>("lines"); // lines the card sent holds
    const QByteArray apple = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nN:;Ann;;;\r\n"
                             "item1.ADR;TYPE=HOME:;;1 Main St;Springfield;;12345;\r\nitem1.X-ABLABEL:_$!<Home>!$_\r\n"
                             "item2.X-ABDATE:2001-06-02\r\nitem2.X-ABLABEL:_$!<Anniversary>!$_\r\n"
                             "NOTE:one\r\nX-SOCIAL:keep\r\nEND:VCARD\r\n";
    QTest::newRow("address edited in its group")
        << apple << u"street"_s << QStringList{u"item1.ADR"_s}
        << QByteArrayList{"item1.ADR;TYPE=HOME:;;2 High St;Springfield;;12345;", "item1.X-ABLABEL:_$!<Home>!$_"};
    QTest::newRow("anniversary of another client changed")
        << apple << u"anniversary"_s << QStringList{u"X-ANNIVERSARY"_s, u"item2.X-ABDATE"_s, u"item2.X-ABLABEL"_s}
        << QByteArrayList{"X-ANNIVERSARY:2002-07-03"};
    QTest::newRow("note removed") << apple << u"no note"_s << QStringList{u"NOTE"_s} << QByteArrayList{};
    QTest::newRow("birthday added") << apple << u"birthday"_s << QStringList{u"BDAY"_s}
                                    << QByteArrayList{"BDAY:--04-12"};
    QTest::newRow("second address added")
        << apple << u"address"_s << QStringList{u"ADR"_s} << QByteArrayList{"ADR;TYPE=WORK:;;9 Far Rd;;;;"};
    QTest::newRow("fax added to a vCard 4")
        << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann\r\nEND:VCARD\r\n") << u"fax"_s << QStringList{u"TEL"_s}
        << QByteArrayList{"TEL;VALUE=uri;TYPE=fax:tel:+15550100"};
    QTest::newRow("organisation and title")
        << apple << u"work"_s << QStringList{u"ORG"_s, u"TITLE"_s} << QByteArrayList{"ORG:Acme;Sales", "TITLE:Boss"};
}

void tst_sync::detailEdits()
{
    QFETCH(QByteArray, received);
    QFETCH(QString, edit);
    CardText card = CardText::Parse(received, nullptr).value();
    const ContactCard before = card.Fields();
    ContactCard after = before;
    ContactDetails& d = after.EditDetails();
    if (edit == u"street"_s) {
        d.addresses[0].street = u"2 High St"_s;
    } else if (edit == u"anniversary"_s) {
        QCOMPARE(d.anniversary.ToText(), u"2001-06-02"_s);
        d.anniversary = {2002, 7, 3};
    } else if (edit == u"no note"_s) {
        d.note.clear();
    } else if (edit == u"birthday"_s) {
        d.birthday = {0, 4, 12};
    } else if (edit == u"address"_s) {
        d.addresses.append({u"work"_s, u"9 Far Rd"_s, {}, {}, {}, {}, {}, {}});
    } else if (edit == u"fax"_s) {
        d.phones.append({u"fax"_s, u"+15550100"_s});
    } else if (edit == u"work"_s) {
        d.organisation = u"Acme"_s;
        d.department = u"Sales"_s;
        d.title = u"Boss"_s;
    }
    card.Change(before, after);
    const QByteArray sent = card.Bytes();
    QTEST(ChangedLines(received, sent), "changed");
    QFETCH(QByteArrayList, lines);
    for (const QByteArray& line : lines) {
        QVERIFY2(sent.contains("\r\n" + line + "\r\n"), qPrintable(line + " in\n" + sent));
    }
    QVERIFY(sent.contains("\r\nREV:"));
    // Read back, the card holds the details as edited.
    QVERIFY(CardText::Parse(sent, nullptr).value().Fields().Details() == after.Details());
}

void tst_sync::detailsBothWays_data()
{
    QTest::addColumn<QString>("hereStreet"); // the address's street as edited here, or nothing
    QTest::addColumn<QString>("hereNote");
    QTest::addColumn<bool>("hereNoBirthday");
    QTest::addColumn<QString>("hereName");
    QTest::addColumn<QString>("thereStreet"); // as another client edited it, or nothing
    QTest::addColumn<QStringList>("changed"); // server lines this sync changed (REV aside)
    QTest::addColumn<QString>("street");      // the street both sides end with
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("conflict"); // the field named as changed on both sides
    const QString street = u"1 Main St, Flat 2"_s;
    const QString note = u"two\nlines"_s;
    QTest::newRow("address edited here") << u"2 High St"_s << QString() << false << QString() << QString()
                                         << QStringList{u"item1.ADR"_s} << u"2 High St"_s << note << QString();
    QTest::newRow("note edited here") << QString() << u"three"_s << false << QString() << QString()
                                      << QStringList{u"NOTE"_s} << street << u"three"_s << QString();
    QTest::newRow("birthday removed here") << QString() << QString() << true << QString() << QString()
                                           << QStringList{u"BDAY"_s} << street << note << QString();
    QTest::newRow("renamed here, details kept") << QString() << QString() << false << u"Dora Day"_s << QString()
                                                << QStringList{u"FN"_s, u"N"_s} << street << note << QString();
    QTest::newRow("address edited there") << QString() << QString() << false << QString() << u"9 Far Rd"_s
                                          << QStringList{} << u"9 Far Rd"_s << note << QString();
    QTest::newRow("note here, address there") << QString() << u"three"_s << false << QString() << u"9 Far Rd"_s
                                              << QStringList{u"NOTE"_s} << u"9 Far Rd"_s << u"three"_s << QString();
    QTest::newRow("address on both sides") << u"2 High St"_s << QString() << false << QString() << u"9 Far Rd"_s
                                           << QStringList{} << u"9 Far Rd"_s << note << u"address"_s;
}

void tst_sync::detailsBothWays()
{
    QFETCH(QString, hereStreet);
    QFETCH(QString, hereNote);
    QFETCH(bool, hereNoBirthday);
    QFETCH(QString, hereName);
    QFETCH(QString, thereStreet);
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    // A card of another client: a photo, grouped lines, extensions, an address, a birthday and a note.
    const QByteArray photo = QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(600, 'p');
    QByteArray photoLine = "PHOTO;ENCODING=b;TYPE=JPEG:" + photo.toBase64();
    QByteArray folded;
    for (qsizetype i = 0; i < photoLine.size(); i += 74) {
        folded += (i == 0 ? "" : " ") + photoLine.mid(i, 74) + "\r\n";
    }
    const QByteArray extra = folded + "item1.ADR;TYPE=HOME:;;1 Main St\\, Flat 2;Springfield;;12345;Freedonia\r\n"
                                      "item1.X-ABLABEL:custom\r\nBDAY:1980-02-29\r\nTEL;TYPE=CELL:500\r\n"
                                      "NOTE:two\\nlines\r\nX-UNKNOWN;X-P=\"a:b\":keep me\r\n";
    const QString path = f.book + u"d.vcf"_s;
    f.Put(path, Card(u"Dora"_s, extra));
    f.Link(friends, f.book);
    const SyncSummary first = Sync();
    QCOMPARE(first.addedHere, 1);
    // The details came down with the contact; only what the book cannot hold is named.
    QVERIFY(!first.unshown.contains(u"ADR"_s) && !first.unshown.contains(u"PHOTO"_s));
    QVERIFY(first.unshown.contains(u"X-UNKNOWN"_s));
    const qint64 dora = RecordNamed(u"Dora"_s);
    ContactDetails here = ReadContactDetails(Conn, dora);
    QCOMPARE(here.addresses.size(), 1);
    QCOMPARE(here.addresses[0].street, u"1 Main St, Flat 2"_s);
    QCOMPARE(here.addresses[0].country, u"Freedonia"_s);
    QCOMPARE(here.birthday.ToText(), u"1980-02-29"_s);
    QCOMPARE(here.note, u"two\nlines"_s);
    QCOMPARE(here.photo, photo);
    // Nothing to do the next time.
    const SyncSummary calm = Sync();
    QCOMPARE(calm.changedHere + calm.changedThere + calm.addedHere + calm.addedThere, 0);

    if (!thereStreet.isEmpty()) {
        QByteArray card = f.Get(path);
        QVERIFY(card.contains("1 Main St\\, Flat 2"));
        card.replace("1 Main St\\, Flat 2", thereStreet.toUtf8());
        QCOMPARE(f.server.Request("PUT", path, card).status / 100, 2);
    }
    if (!hereStreet.isEmpty()) {
        here.addresses[0].street = hereStreet;
    }
    if (!hereNote.isEmpty()) {
        here.note = hereNote;
    }
    if (hereNoBirthday) {
        here.birthday = {};
    }
    WriteContactDetails(Conn, dora, here);
    if (!hereName.isEmpty()) {
        UpdateRecordFields(Conn, dora, {Encrypt(hereName), {}, Encrypt(u"500"_s), {}, {}, {}, {}, {}}, {});
    }
    const QByteArray before = f.Get(path);
    const SyncSummary summary = Sync();
    const QByteArray after = f.Get(path);
    // Only the lines of what changed here, the rest as the server had it.
    QTEST(ChangedLines(before, after), "changed");
    QVERIFY(after.contains("X-UNKNOWN") && after.contains("X-ABLABEL:custom"));
    QFETCH(QString, conflict);
    QStringList conflicts;
    for (const SyncConflict& c : summary.conflicts) {
        conflicts.append(c.field);
    }
    QCOMPARE(conflicts.join(u','), conflict);

    // Both sides agree.
    const ContactDetails there = CardText::Parse(after, nullptr).value().Fields().Details();
    here = ReadContactDetails(Conn, RecordNamed(hereName.isEmpty() ? u"Dora"_s : hereName));
    QVERIFY(here == there);
    QTEST(here.addresses.value(0).street, "street");
    QTEST(here.note, "note");
    QCOMPARE(here.birthday.IsNull(), hereNoBirthday);
    QCOMPARE(here.photo, photo);
    const SyncSummary again = Sync();
    QCOMPARE(again.changedHere + again.changedThere, 0);
}

void tst_sync::newContactGoesUpWithDetails()
{
    TestProgramFolder folder;
    XandikosServer server;
    QVERIFY2(server.Start(), qPrintable(server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    const qint64 eve = AddRecord(friends, u"Eve"_s, {u"1"_s});
    ContactDetails details;
    details.addresses = {{u"work"_s, u"5 Side St"_s, {}, {}, u"Town"_s, {}, u"99"_s, {}}};
    details.birthday = {0, 12, 24};
    details.organisation = u"Acme"_s;
    details.title = u"Boss"_s;
    details.note = u"first\nsecond"_s;
    details.phones = {{u"fax"_s, u"77"_s}};
    details.urls = {{u"work"_s, u"https://acme.example"_s}};
    details.messengers = {{u"xmpp"_s, u"xmpp:eve@acme.example"_s}};
    details.photo = QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(100, 'x');
    WriteContactDetails(Conn, eve, details);
    // A further web address beside the record's own.
    UpdateRecordFields(Conn, eve, {Encrypt(u"Eve"_s), Encrypt(u"1"_s), {}, {}, {}, {}, {}, {}},
                       u"https://eve.example"_s);
    CardDavClient client(server.Root(), u"u"_s, u"p"_s);
    LinkAddressBook(Conn, AddSyncAccount(Conn, server.Root(), u"u"_s, u"p"_s), client.Discover().first(), friends);
    QCOMPARE(Sync().addedThere, 1);
    const QStringList cards = server.Cards();
    QCOMPARE(cards.size(), 1);
    const QByteArray card = server.Request("GET", cards.first()).body;
    QVERIFY2(CardText::Parse(card, nullptr).value().Fields().Details() == details, card.constData());

    // A detail edited on this server comes down.
    QByteArray edited = card;
    QVERIFY(edited.contains("TITLE:Boss"));
    edited.replace("TITLE:Boss", "TITLE:Chief");
    QCOMPARE(server.Request("PUT", cards.first(), edited).status / 100, 2);
    QCOMPARE(Sync().changedHere, 1);
    QCOMPARE(ReadContactDetails(Conn, eve).title, u"Chief"_s);
}

void tst_sync::linkedBeforeDetailsTakesThemOnce()
{
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    const qint64 friends = AddType(u"Friends"_s);
    const qint64 eve = AddRecord(friends, u"Eve"_s, {u"1"_s});
    f.Link(friends, f.book);
    Sync();
    QString fieldsStamp;
    Conn.ForEachRow(u"SELECT Digest FROM SyncItem"_s, {},
                    [&](const RowView& row) { fieldsStamp = QString::fromLatin1(row.Bytes(0)); });
    // Another client adds an address; this book takes it down...
    const QString path = f.server.Cards(f.book).first();
    QByteArray card = f.Get(path);
    card.replace("END:VCARD", "ADR;TYPE=HOME:;;1 Main St;Town;;;\r\nEND:VCARD");
    QCOMPARE(f.server.Request("PUT", path, card).status / 100, 2);
    Sync();
    QCOMPARE(ReadContactDetails(Conn, eve).addresses.size(), 1);
    // ... but had an earlier version synced it, the book would hold no details and the link would
    // know the fields alone. That link takes the card's details, and sends nothing.
    WriteContactDetails(Conn, eve, {});
    QVERIFY(fieldsStamp.startsWith(u"2:"_s));
    Conn.Execute(u"UPDATE SyncItem SET Digest = ?"_s, {fieldsStamp.mid(2)});
    const QByteArray there = f.Get(path);
    const SyncSummary summary = Sync();
    QCOMPARE(summary.changedThere, 0);
    QCOMPARE(f.Get(path), there);
    QCOMPARE(ReadContactDetails(Conn, eve).addresses.value(0).street, u"1 Main St"_s);
    // A rename here afterwards keeps the address on the server.
    UpdateRecordFields(Conn, eve, {Encrypt(u"Eve Ray"_s), Encrypt(u"1"_s), {}, {}, {}, {}, {}, {}}, {});
    QCOMPARE(Sync().changedThere, 1);
    QCOMPARE(ChangedLines(there, f.Get(path)), (QStringList{u"FN"_s, u"N"_s}));
}

void tst_sync::bookGoneWhileWritten_data()
{
    QTest::addColumn<bool>("remade"); // the whole address book made again, else one card deleted
    QTest::addColumn<LostBookChoice>("choice");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("cards");
    QTest::newRow("one card gone: that contact's conflict") << false << LostBookChoice::Cancel << 0 << 3 << 3;
    QTest::newRow("book remade, cancel") << true << LostBookChoice::Cancel << 1 << 3 << 0;
    QTest::newRow("book remade, upload again") << true << LostBookChoice::UploadAgain << 1 << 3 << 3;
    // The contact changed here is kept and goes back; the others go.
    QTest::newRow("book remade, empty here") << true << LostBookChoice::EmptyHere << 1 << 1 << 1;
}

void tst_sync::bookGoneWhileWritten()
{
    QFETCH(bool, remade);
    QFETCH(LostBookChoice, choice);
    TestProgramFolder folder;
    Fixture f;
    QVERIFY2(f.Start(), qPrintable(f.server.Reason()));
    f.LinkedPeople(3);
    Sync();
    const qint64 edited = RecordNamed(u"Person 1"_s);
    UpdateRecordFields(Conn, edited, {Encrypt(u"Person 1"_s), Encrypt(u"42"_s), {}, {}, {}, {}, {}, {}}, {});
    QString editedPath;
    for (const QString& path : f.server.Cards(f.book)) {
        if (f.Get(path).contains("FN:Person 1\r\n")) {
            editedPath = path;
        }
    }
    QVERIFY(!editedPath.isEmpty());
    // After the sync listed the book (its token still passing) and before it writes the change.
    SyncEngine engine(Conn);
    bool done = false;
    engine.SetProgress([&](int, int) {
        if (done) {
            return;
        }
        done = true;
        if (remade) {
            QCOMPARE(f.server.Request("DELETE", f.book).status, 200);
            QCOMPARE(f.server.AddAddressBook(u"contacts"_s, u"Contacts"_s), f.book);
        } else {
            QCOMPARE(f.server.Request("DELETE", editedPath).status, 200);
        }
    });
    QStringList asked;
    engine.SetAskLostBook([&](const QString& book, int count) {
        asked.append(u"%1 %2"_s.arg(book).arg(count));
        return choice;
    });
    QString message;
    const SyncFault fault = FaultOf([&] { engine.Run(); }, &message);
    QVERIFY2(fault == SyncFault::Cancelled, qPrintable(message));
    QTEST(static_cast<int>(asked.size()), "asked");
    if (!asked.isEmpty()) {
        QCOMPARE(asked.first(), u"Contacts 3"_s);
    }
    QTEST(static_cast<int>(Records().size()), "left");
    QTEST(static_cast<int>(f.server.Cards(f.book).size()), "cards");
    QVERIFY(Records().contains(u"Person 1|Friends|42|||||||"_s));
    if (choice != LostBookChoice::Cancel || !remade) {
        const SyncSummary again = Sync();
        QCOMPARE(again.addedHere + again.addedThere + again.deletedHere + again.deletedThere, 0);
    }
}

int main(int argc, char** argv)
{
    // The child of killedMidSyncGoesOnFromThere: syncs the book and dies as it is about to send
    // its 13th card.
    const QStringList victim = QString::fromLocal8Bit(qgetenv("TAVOREN_DIE_SYNCING")).split(u'\n');
    if (victim.size() == 3) {
        QCoreApplication app(argc, argv);
        SetSyncKeyring(nullptr);
        RememberSyncPasswordForSession(victim[1], victim[2]);
        Conn.Open(ConnectionStringForFile(victim[0]));
        SyncEngine engine(Conn);
        engine.SetProgress([](int done, int total) {
            if (total == 30 && done == 12) {
                std::_Exit(3);
            }
        });
        engine.Run();
        return 0;
    }
    QApplication app(argc, argv);
    tst_sync test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_sync.moc"
