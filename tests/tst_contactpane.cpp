// The contact pane beside the list: it shows the contact clicked or reached with the arrow keys,
// read by key with its details; a placeholder for types, several rows or none; phone and e-mail
// links through the shell; shown or hidden from the View menu across runs; following the book's
// edits; and a contact's own text never taken as markup or a link.
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <optional>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/OperateIni.h"
#include "main/ContactPane.h"
#include "main/frmMain.h"
#include "store/ContactDetails.h"
#include "store/Encryption.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/FormState.h"

using namespace Qt::StringLiterals;

namespace {

using namespace Book;

// A type's node; -1 the root (the types), -2 the search results (every contact while nothing is
// searched).
void ClickNode(frmMain* w, qint64 typeNo)
{
    QTreeWidgetItem* node = w->NodeByKey(typeNo == -1 ? u"Root"_s : typeNo == -2 ? u"SearchResult"_s : Key(typeNo));
    QVERIFY(node != nullptr);
    QTest::mouseClick(w->TreeView1->viewport(), Qt::LeftButton, {}, w->TreeView1->visualItemRect(node).center());
}

// The middle of the row of this key, or with -1 a point below the rows.
QPoint RowPoint(frmMain* w, qint64 id)
{
    QApplication::processEvents(); // the list lays itself out after a load
    const QModelIndex index = w->ListModel()->index(id < 0 ? -1 : w->ListModel()->RowOfKey(Key(id)), 0);
    return index.isValid() ? w->ListView1->visualRect(index).center()
                           : QPoint(5, w->ListView1->viewport()->height() - 3);
}

void ClickRow(frmMain* w, qint64 id, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, modifiers, RowPoint(w, id));
}

QByteArray Png(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

PaneLink* LinkOf(frmMain* w, const QString& value)
{
    for (PaneLink* link : w->Pane->findChildren<PaneLink*>()) {
        if (link->Value() == value && link->isVisible()) {
            return link;
        }
    }
    return nullptr;
}

const QString Placeholder = u"Select a contact to see its details here."_s;

} // namespace

class tst_ContactPane : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_world.emplace(); }
    void cleanup() { m_world.reset(); }
    void showsTheClickedContact();
    void arrowKeysMoveIt();
    void placeholder_data();
    void placeholder();
    void linksGoThroughTheShell_data();
    void linksGoThroughTheShell();
    void copiesFromTheContextMenu();
    void viewToggleRemembered();
    void followsTheBook();
    void hostileTextStaysText();
    void dates_data();
    void dates();
    void phoneUrls_data();
    void phoneUrls();

private:
    // The window with the records of typeNo listed.
    frmMain* Open(qint64 typeNo)
    {
        auto* w = new frmMain();
        w->resize(1280, 800);
        ClickNode(w, typeNo);
        return w;
    }

    std::optional<TestWorld> m_world;
};

void tst_ContactPane::showsTheClickedContact()
{
    const qint64 type = AddType(u"Friends"_s);
    AddRecord(type, u"Anna"_s);
    const qint64 ben = AddRecord(type, u"Ben Okafor"_s,
                                 {u"030 1234"_s,
                                  u"0170 555"_s,
                                  {},
                                  u"ben@example.org; ben.o@work.example"_s,
                                  u"12345"_s,
                                  {},
                                  {},
                                  u"https://ben.example"_s});
    ContactDetails d;
    d.organisation = u"Okafor & Sons"_s;
    d.department = u"Sales"_s;
    d.title = u"Manager"_s;
    d.phones = {{u"fax"_s, u"030 9999"_s}, {u"cell"_s, u"0171 222"_s}};
    d.addresses = {{u"home"_s, u"Hauptstr. 5"_s, {}, {}, u"Berlin"_s, {}, u"10115"_s, u"Germany"_s}};
    d.birthday = {0, 4, 12};
    d.anniversary = {2001, 6, 30};
    d.nicknames = {u"Benny"_s};
    d.urls = {{u"work"_s, u"https://okafor.example"_s}};
    d.messengers = {{u"xmpp"_s, u"ben@jabber.example"_s}};
    d.note = u"Met at the fair.\nLikes tea."_s;
    d.photo = Png(200, 100);
    WriteContactDetails(Conn, ben, d);
    // Neighbours with details of their own, before and after: none of theirs shows with Ben.
    ContactDetails neighbour;
    neighbour.note = u"not Ben's"_s;
    neighbour.addresses = {{u"work"_s, u"Elsewhere 1"_s, {}, {}, {}, {}, {}, {}}};
    neighbour.photo = Png(10, 10);
    WriteContactDetails(Conn, AddRecord(type, u"Cora"_s), neighbour);
    WriteContactDetails(Conn, ben - 1, neighbour);

    frmMain* w = Open(type);
    QCOMPARE(w->Pane->ShownTexts(), QStringList{Placeholder});
    ClickRow(w, ben);
    QCOMPARE(w->Pane->ShownId(), ben);
    QCOMPARE(
        w->Pane->ShownTexts(),
        (QStringList{u"Ben Okafor"_s, u"Manager"_s, u"Okafor & Sons, Sales"_s, u"Home Phone: 030 1234"_s,
                     u"Mobile: 0170 555"_s, u"Fax: 030 9999"_s, u"Mobile: 0171 222"_s, u"E-mail: ben@example.org"_s,
                     u"E-mail: ben.o@work.example"_s, u"Home Address: Hauptstr. 5\n10115 Berlin\nGermany"_s,
                     u"Birthday: April 12"_s, u"Anniversary: June 30, 2001"_s, u"Web Address: https://ben.example"_s,
                     u"Work Web Address: https://okafor.example"_s, u"QQ: 12345"_s, u"IM (xmpp): ben@jabber.example"_s,
                     u"Nickname: Benny"_s, u"Note: Met at the fair.\nLikes tea."_s, u"Type: Friends"_s}));
    // What the widgets themselves show: the name, and the photo scaled into its well.
    auto* name = w->Pane->findChild<QLabel*>(u"PaneName"_s);
    QVERIFY(name != nullptr && name->isVisible());
    QCOMPARE(name->text(), u"Ben Okafor"_s);
    auto* photo = w->Pane->findChild<QLabel*>(u"PanePhoto"_s);
    QVERIFY(photo != nullptr);
    const QSize shown = photo->pixmap().deviceIndependentSize().toSize();
    QCOMPARE(shown, QSize(96, 48));
    QVERIFY(!photo->accessibleName().isEmpty());
    for (PaneLink* link : w->Pane->findChildren<PaneLink*>()) {
        QVERIFY2(link->accessibleName().endsWith(link->Value()), qPrintable(link->accessibleName()));
    }
}

void tst_ContactPane::arrowKeysMoveIt()
{
    const qint64 type = AddType(u"Work"_s);
    const QList<qint64> ids = AddRecords(type, {u"a"_s, u"b"_s, u"c"_s});
    frmMain* w = Open(type);
    ClickRow(w, ids[0]);
    QCOMPARE(w->Pane->ShownTexts().first(), u"a"_s);
    QTest::keyClick(w->ListView1, Qt::Key_Down);
    QCOMPARE(w->Pane->ShownId(), ids[1]);
    QTest::keyClick(w->ListView1, Qt::Key_Down);
    QCOMPARE(w->Pane->ShownTexts().first(), u"c"_s);
    QTest::keyClick(w->ListView1, Qt::Key_Up);
    QCOMPARE(w->Pane->ShownTexts().first(), u"b"_s);
}

void tst_ContactPane::placeholder_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("type row") << u"type"_s;
    QTest::newRow("click below the rows") << u"none"_s;
    QTest::newRow("two rows") << u"several"_s;
    QTest::newRow("select all") << u"all"_s;
    QTest::newRow("another type") << u"other"_s;
}

void tst_ContactPane::placeholder()
{
    QFETCH(QString, what);
    const qint64 type = AddType(u"Work"_s);
    const qint64 other = AddType(u"Other"_s);
    const QList<qint64> ids = AddRecords(type, {u"a"_s, u"b"_s, u"c"_s});
    frmMain* w = Open(type);
    ClickRow(w, ids[1]);
    QCOMPARE(w->Pane->ShownId(), ids[1]);
    if (what == u"type") {
        ClickNode(w, -1);
        QCOMPARE(w->ListMode(), RecordListModel::Mode::Types);
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {},
                          w->ListView1->visualRect(w->ListModel()->index(0, 0)).center());
        QVERIFY(w->ListView1->selectionModel()->isRowSelected(0, {}));
    } else if (what == u"none") {
        ClickRow(w, -1);
    } else if (what == u"several") {
        ClickRow(w, ids[2], Qt::ControlModifier);
    } else if (what == u"all") {
        w->ListView1->setFocus();
        QTest::keyClick(w->ListView1, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w->ListView1->selectionModel()->selectedRows().size(), 3);
    } else {
        ClickNode(w, other);
    }
    QCOMPARE(w->Pane->ShownId(), -1);
    QCOMPARE(w->Pane->ShownTexts(), QStringList{Placeholder});
    auto* text = w->Pane->findChild<QLabel*>(u"PanePlaceholder"_s);
    QVERIFY(text != nullptr && text->isVisible());
}

void tst_ContactPane::linksGoThroughTheShell_data()
{
    QTest::addColumn<QStringList>("fields"); // home, mobile, work phone, e-mail list
    QTest::addColumn<QString>("link");       // the value shown as a link
    QTest::addColumn<bool>("byKey");         // Enter on the focused link instead of a click
    QTest::addColumn<QString>("url");        // what the shell receives; empty: nothing

    QTest::newRow("phone with spacing") << QStringList{u"+49 (30) 1234-567"_s} << u"+49 (30) 1234-567"_s << false
                                        << u"tel:+49301234567"_s;
    QTest::newRow("mobile by key") << QStringList{{}, u"0170 555 12"_s} << u"0170 555 12"_s << true
                                   << u"tel:017055512"_s;
    QTest::newRow("second address of the list") << QStringList{{}, {}, {}, u"a@example.org, b@example.org"_s}
                                                << u"b@example.org"_s << false << u"mailto:b@example.org"_s;
    // A header smuggled into the address must not reach the mail program.
    QTest::newRow("mail with a header") << QStringList{{}, {}, {}, u"x@example.org?cc=evil@example.com"_s}
                                        << u"x@example.org?cc=evil@example.com"_s << false << QString();
    QTest::newRow("phone without digits")
        << QStringList{u"ask reception"_s} << u"ask reception"_s << false << QString();
}

void tst_ContactPane::linksGoThroughTheShell()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, link);
    QFETCH(bool, byKey);
    QFETCH(QString, url);
    const qint64 type = AddType(u"Work"_s);
    const qint64 id = AddRecord(type, u"Cleo"_s, fields);
    frmMain* w = Open(type);
    ClickRow(w, id);
    PaneLink* shown = LinkOf(w, link);
    QVERIFY(shown != nullptr);
    if (byKey) {
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, RowPoint(w, id));
        // Tab from the list reaches the link.
        for (int tabs = 0; QApplication::focusWidget() != shown; ++tabs) {
            QVERIFY(tabs < 40);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QTest::keyClick(shown, Qt::Key_Return);
    } else {
        QTest::mouseClick(shown, Qt::LeftButton);
    }
    QStringList opened;
    for (const RecordingPlatform::Call& call : m_world->platform.calls) {
        if (call.kind == u"url") {
            opened.append(call.text);
        }
    }
    QCOMPARE(opened, url.isEmpty() ? QStringList() : QStringList{url});
}

void tst_ContactPane::copiesFromTheContextMenu()
{
    const qint64 type = AddType(u"Work"_s);
    const qint64 id = AddRecord(type, u"Dov"_s, {u"555 0100"_s});
    frmMain* w = Open(type);
    ClickRow(w, id);
    PaneLink* link = LinkOf(w, u"555 0100"_s);
    QVERIFY(link != nullptr);
    QApplication::clipboard()->clear();
    bool menuShown = false;
    QTimer::singleShot(0, this, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        menuShown = menu != nullptr;
        if (menu != nullptr) {
            QTest::keyClick(menu, Qt::Key_C);
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Keyboard, link->rect().center(),
                            link->mapToGlobal(link->rect().center()));
    QApplication::sendEvent(link, &event);
    QVERIFY(menuShown);
    QCOMPARE(QApplication::clipboard()->text(), u"555 0100"_s);
    QVERIFY(m_world->platform.calls.isEmpty()); // copying called nobody
}

void tst_ContactPane::viewToggleRemembered()
{
    const qint64 type = AddType(u"Work"_s);
    const QList<qint64> ids = AddRecords(type, {u"a"_s, u"b"_s});
    frmMain* w = Open(type);
    QVERIFY(w->Pane->isVisible());
    QVERIFY(w->mnuContactPane->isChecked());
    QCOMPARE(w->Splitter->sizes().first(), TwipsToPixels(2190, TwipsPerPixelX(w))); // the tree as it was
    const int width = w->Pane->width();
    QVERIFY(width > 100 && width < w->PaneSplitter->width() * 3 / 5 + 1);

    // The menu's key hides it; while hidden it reads nothing, and shown again it shows the row.
    ClickRow(w, ids[0]);
    QTest::keyClick(w, Qt::Key_F3);
    QVERIFY(!w->Pane->isVisible());
    QVERIFY(!w->mnuContactPane->isChecked());
    QTRY_VERIFY(w->ListView1->width() > w->PaneSplitter->width() - 10);
    ClickRow(w, ids[1]);
    QCOMPARE(w->Pane->ShownId(), ids[0]);
    w->close();
    QCOMPARE(ReadIni(u"frmMain"_s, u"ContactPane"_s, {}, IniFile), u"0"_s);

    w = Open(type);
    QVERIFY(!w->Pane->isVisible());
    QVERIFY(!w->mnuContactPane->isChecked());
    QTest::keyClick(w, Qt::Key_F3);
    QVERIFY(w->Pane->isVisible());
    QVERIFY(qAbs(w->Pane->width() - width) <= 2);
    ClickRow(w, ids[1]);
    QCOMPARE(w->Pane->ShownTexts().first(), u"b"_s);
    // A width of its own, kept too.
    const int total = w->PaneSplitter->width() - w->PaneSplitter->handleWidth();
    w->PaneSplitter->setSizes({total - 300, 300});
    w->close();

    w = Open(type);
    QVERIFY(w->Pane->isVisible());
    QVERIFY(qAbs(w->Pane->width() - 300) <= 2);
}

void tst_ContactPane::followsTheBook()
{
    const qint64 type = AddType(u"Work"_s);
    const qint64 other = AddType(u"Home"_s);
    const QList<qint64> ids = AddRecords(type, {u"a"_s, u"b"_s});
    frmMain* w = Open(-2);
    QCOMPARE(w->ListModel()->rowCount(), 2);
    ClickRow(w, ids[0]);
    QCOMPARE(w->Pane->ShownTexts(), (QStringList{u"a"_s, u"Type: Work"_s}));

    TheBook().UpdateContact(ids[0], type, {Encrypt(u"Ada"_s), Encrypt(u"12"_s), {}, {}, {}, {}, {}, {}}, {}, {});
    QCOMPARE(w->Pane->ShownTexts(), (QStringList{u"Ada"_s, u"Home Phone: 12"_s, u"Type: Work"_s}));
    // A sync changed another contact: the pane stays; then this one's details: the pane shows them.
    Conn.Execute(u"UPDATE PWDTable SET Name = ? WHERE PWDID = ?"_s, {Encrypt(u"Bea"_s), ids[1]});
    TheBook().NoteExternalChanges({}, {ids[1]}, {}, false);
    QCOMPARE(w->Pane->ShownTexts().first(), u"Ada"_s);
    ContactDetails d;
    d.note = u"Call back"_s;
    WriteContactDetails(Conn, ids[0], d);
    TheBook().NoteExternalChanges({}, {ids[0]}, {}, false);
    QCOMPARE(w->Pane->ShownTexts(),
             (QStringList{u"Ada"_s, u"Home Phone: 12"_s, u"Note: Call back"_s, u"Type: Work"_s}));
    // Deleted: the placeholder.
    TheBook().DeleteContacts({ids[0]});
    QCOMPARE(w->Pane->ShownTexts(), QStringList{Placeholder});

    // A contact moved out of the type listed leaves the list, and so the pane.
    ClickNode(w, type);
    ClickRow(w, ids[1]);
    QCOMPARE(w->Pane->ShownId(), ids[1]);
    TheBook().MoveContacts({ids[1]}, other);
    QCOMPARE(w->Pane->ShownTexts(), QStringList{Placeholder});
}

void tst_ContactPane::hostileTextStaysText()
{
    const qint64 type = AddType(u"Work"_s);
    const QString name = u"<b>Eve</b><img src=\"file:///etc/passwd\">"_s;
    const qint64 id = AddRecord(type, name,
                                {u"<a href=\"javascript:alert(1)\">call</a>"_s,
                                 {},
                                 {},
                                 u"<i>eve@example.org</i>"_s,
                                 {},
                                 {},
                                 {},
                                 u"javascript:alert(document.cookie)"_s});
    ContactDetails d;
    d.note = u"<h1>Big</h1>&amp; <script>x()</script>"_s;
    d.urls = {{u"home"_s, u"javascript:void(0)"_s}};
    d.organisation = u"<u>Org</u>"_s;
    WriteContactDetails(Conn, id, d);
    frmMain* w = Open(type);
    ClickRow(w, id);
    QCOMPARE(w->Pane->ShownTexts().first(), name);
    QVERIFY(w->Pane->ShownTexts().contains(u"Note: <h1>Big</h1>&amp; <script>x()</script>"_s));
    QVERIFY(w->Pane->ShownTexts().contains(u"Web Address: javascript:alert(document.cookie)"_s));
    for (QLabel* label : w->Pane->findChildren<QLabel*>()) {
        QVERIFY2(label->textFormat() == Qt::PlainText || label->text().isEmpty(), qPrintable(label->text()));
        QVERIFY(!label->openExternalLinks());
    }
    // Only phones and e-mail are links, and none of these leads anywhere but tel: and mailto:.
    for (PaneLink* link : w->Pane->findChildren<PaneLink*>()) {
        QVERIFY2(link->Url().isEmpty() || link->Url().scheme() == u"tel" || link->Url().scheme() == u"mailto",
                 qPrintable(link->Url().toString()));
        QTest::mouseClick(link, Qt::LeftButton);
    }
    for (QLabel* label : w->Pane->findChildren<QLabel*>(u"PaneValue"_s)) {
        QTest::mouseClick(label, Qt::LeftButton);
    }
    for (const RecordingPlatform::Call& call : m_world->platform.calls) {
        QVERIFY2(call.kind != u"url" || call.text.startsWith(u"tel:"_s), qPrintable(call.text));
    }
}

void tst_ContactPane::dates_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("shown");
    QTest::newRow("en_US with year") << u"1985-04-12"_s << u"en_US"_s << u"April 12, 1985"_s;
    QTest::newRow("en_US without year") << u"--04-12"_s << u"en_US"_s << u"April 12"_s;
    QTest::newRow("en_GB without year") << u"--04-12"_s << u"en_GB"_s << u"12 April"_s;
    QTest::newRow("de_DE with year") << u"1985-04-12"_s << u"de_DE"_s << u"12. April 1985"_s;
    QTest::newRow("29 February without year") << u"--02-29"_s << u"en_US"_s << u"February 29"_s;
    QTest::newRow("zh_CN with year") << u"1985-04-12"_s << u"zh_CN"_s << u"1985年4月12日"_s;
    QTest::newRow("zh_CN without year") << u"--04-12"_s << u"zh_CN"_s << u"4月12日"_s;
    QTest::newRow("zh_TW without year") << u"--04-12"_s << u"zh_TW"_s << u"4月12日"_s;
    QTest::newRow("es_ES without year") << u"--04-12"_s << u"es_ES"_s << u"12 de abril"_s;
    QTest::newRow("no such day: as stored") << u"1985-02-30"_s << u"en_US"_s << u"1985-02-30"_s;
}

void tst_ContactPane::dates()
{
    QFETCH(QString, stored);
    QFETCH(QString, locale);
    QFETCH(QString, shown);
    ContactDate date;
    const QStringList parts = stored.split(u'-');
    date.year = parts[0].toInt();
    date.month = parts[parts.size() - 2].toInt();
    date.day = parts.last().toInt();
    QCOMPARE(ContactPane::DateText(date, QLocale(locale)), shown);
}

void tst_ContactPane::phoneUrls_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("url");
    QTest::newRow("international") << u"+44 20 7946 0958"_s << u"tel:+442079460958"_s;
    QTest::newRow("extension after a pause") << u"030 1234 p 56"_s << u"tel:0301234,56"_s;
    QTest::newRow("a plus in the middle is not kept") << u"0 + 1"_s << u"tel:01"_s;
    QTest::newRow("full-width digits") << u"０３０ １２"_s << u"tel:03012"_s;
    QTest::newRow("script around a number") << u"javascript:alert(1)"_s << u"tel:1"_s;
    QTest::newRow("no digits") << u"n/a"_s << QString();
}

void tst_ContactPane::phoneUrls()
{
    QFETCH(QString, number);
    QFETCH(QString, url);
    QCOMPARE(ContactPane::PhoneUrl(number).toString(), url);
}

QTEST_MAIN(tst_ContactPane)
#include "tst_contactpane.moc"
