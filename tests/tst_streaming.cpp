// Lists read in the background: the first rows shown at once and the rest taken when read, while
// the user clicks types, selects rows, deletes, re-sorts and closes the window meanwhile.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>

#include <optional>

#include "core/AppState.h"
#include "main/BackgroundListing.h"
#include "main/BackgroundSearch.h"
#include "main/RecordListModel.h"
#include "main/SyncCommands.h"
#include "main/frmMain.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "sync/SyncEngine.h"
#include "tests/support/Book.h"
#include "tests/support/Radicale.h"
#include "tests/support/TestSupport.h"

using namespace Qt::StringLiterals;

namespace {

using namespace Book;

constexpr int PerType = 500;

// Two types of PerType contacts each: "a000".. in Alpha and "b000".. in Beta, their home phones
// running the other way, so an order by phone is the names' reversed.
struct TwoTypes
{
    qint64 alpha = 0;
    qint64 beta = 0;
};

TwoTypes FillTwoTypes()
{
    TwoTypes types{AddType(u"Alpha"_s), AddType(u"Beta"_s)};
    Transaction transaction(Conn);
    for (int i = 0; i < PerType; ++i) {
        const QString number = u"%1"_s.arg(i, 3, 10, QLatin1Char('0'));
        const QString phone = u"%1"_s.arg(999 - i, 3, 10, QLatin1Char('0'));
        AddRecord(types.alpha, u"a"_s + number, {u"5550"_s + phone, u"m"_s + number});
        AddRecord(types.beta, u"b"_s + number, {u"5551"_s + phone, u"m"_s + number});
    }
    transaction.Commit();
    return types;
}

BackgroundListing* Listing(frmMain* w)
{
    return w->findChild<BackgroundListing*>(u"BackgroundListing"_s);
}

QStringList Column(frmMain* w, int column)
{
    QStringList texts;
    for (int row = 0; row < w->ListModel()->rowCount(); ++row) {
        texts.append(w->ListModel()->index(row, column).data().toString());
    }
    return texts;
}

void ClickNode(frmMain* w, const QString& key)
{
    QTreeWidgetItem* node = w->NodeByKey(key);
    QVERIFY2(node != nullptr, qPrintable(key));
    w->TreeView1->scrollToItem(node);
    QTest::mouseClick(w->TreeView1->viewport(), Qt::LeftButton, {}, w->TreeView1->visualItemRect(node).center());
}

void ClickRow(frmMain* w, int row)
{
    QApplication::processEvents(); // the list lays itself out after a load
    const QModelIndex index = w->ListModel()->index(row, 0);
    w->ListView1->scrollTo(index);
    QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, w->ListView1->visualRect(index).center());
}

void ClickHeader(frmMain* w, int column)
{
    QApplication::processEvents();
    QHeaderView* header = w->ListView1->header();
    w->ListView1->horizontalScrollBar()->setValue(header->sectionPosition(column));
    const int left = header->sectionViewportPosition(column);
    const int right = std::min(left + header->sectionSize(column), header->viewport()->width());
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint((left + right) / 2, header->height() / 2));
}

QStringList SelectedNames(frmMain* w)
{
    QStringList names;
    for (const QModelIndex& index : w->ListView1->selectionModel()->selectedRows()) {
        names.append(index.data().toString());
    }
    names.sort();
    return names;
}

QStringList Names(const QString& letter, int count = PerType)
{
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names.append(letter + u"%1"_s.arg(i, 3, 10, QLatin1Char('0')));
    }
    return names;
}

// Types the text into a box of the next modal editor and clicks OK.
void FillNextEditor(QObject* guard, const QString& box, const QString& text)
{
    QTimer::singleShot(0, guard, [box, text] {
        QWidget* editor = QApplication::activeModalWidget();
        QVERIFY(editor != nullptr);
        auto* edit = editor->findChild<QLineEdit*>(box);
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::mouseClick(editor->findChild<QPushButton*>(u"CmdOK"_s), Qt::LeftButton);
    });
}

// The list's selection dragged onto a type's node and dropped there.
void DropSelectionOn(frmMain* w, qint64 typeNo)
{
    QMimeData data;
    data.setText(w->DragText());
    QTreeWidgetItem* target = w->NodeByKey(Key(typeNo));
    const QPoint at = w->TreeView1->visualItemRect(target).center();
    QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(w->TreeView1->viewport(), &enter);
    QDragMoveEvent hover(at, Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(w->TreeView1->viewport(), &hover);
    QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(w->TreeView1->viewport(), &drop);
}

} // namespace

class tst_Streaming : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void typesClickedWhileRowsCome_data();
    void typesClickedWhileRowsCome();
    void shortListingShownOnce();
    void selectionKeptWhileRowsCome();
    void deleteWhileRowsCome();
    void sortClickedWhileRowsCome();
    void resortReadsInTheBackground();
    void movedRowsListedFromTheList();
    void manyRangesDroppedFromSearchResults();
    void writesWhileRowsCome();
    void closedWhileReading();
    void searchButtonInTheBackground();
    void syncWhileRowsCome();
    void searchOfKeysFarApart_data();
    void searchOfKeysFarApart();
    void longListKeyedWhileRead();
    void longListResortedInHalves_data();
    void longListResortedInHalves();

private:
    frmMain* Open()
    {
        auto* w = new frmMain();
        w->StreamFrom = 0; // every listing of these small books streams
        w->show();
        return w;
    }
    // The first rows shown while the rest is held back.
    static void WaitForFirstRows(frmMain* w)
    {
        QTRY_VERIFY(w->ListModel()->rowCount() > 0);
        QVERIFY(Listing(w)->IsRunning());
    }
    static void WaitForAll(frmMain* w)
    {
        BackgroundListing::HoldAfterFirstRows = false;
        QTRY_VERIFY(!Listing(w)->IsRunning());
        QApplication::processEvents();
    }

    std::optional<TestWorld> m_world;
    TwoTypes m_types;
};

void tst_Streaming::init()
{
    m_world.emplace();
    m_types = FillTwoTypes();
}

void tst_Streaming::cleanup()
{
    BackgroundListing::HoldAfterFirstRows = false;
    m_world.reset();
}

void tst_Streaming::typesClickedWhileRowsCome_data()
{
    QTest::addColumn<bool>("firstRowsShown"); // the first type's first rows on screen before the second click
    QTest::newRow("at once") << false;
    QTest::newRow("after its first rows") << true;
}

void tst_Streaming::typesClickedWhileRowsCome()
{
    QFETCH(bool, firstRowsShown);
    frmMain* w = Open();
    BackgroundListing::HoldAfterFirstRows = true;
    ClickNode(w, Key(m_types.alpha));
    if (firstRowsShown) {
        WaitForFirstRows(w);
        QCOMPARE(w->ListModel()->rowCount(), int(BackgroundListing::FirstScreen));
        QVERIFY(Column(w, 0).first().startsWith(u'a'));
        QCOMPARE(w->PanelText(1), u"Loading..."_s);
    }
    ClickNode(w, Key(m_types.beta));
    WaitForAll(w);
    // Only the second type's rows, each once, in order: nothing of the abandoned listing.
    QCOMPARE(Column(w, 0), Names(u"b"_s));
    QCOMPARE(w->PanelText(1), u"Ready"_s);
    // Back to the types and to every contact: the whole book, in order.
    ClickNode(w, u"Root"_s);
    QCOMPARE(w->ListMode(), RecordListModel::Mode::Types);
    ClickNode(w, u"SearchResult"_s);
    WaitForAll(w);
    QCOMPARE(Column(w, 0), Names(u"a"_s) + Names(u"b"_s));
}

void tst_Streaming::shortListingShownOnce()
{
    // A read that is over in a moment shows its rows once, all of them in order: no screenful
    // first, which would only have taken a core from the read and made the list jump.
    frmMain* w = Open();
    QSignalSpy firstRows(Listing(w), &BackgroundListing::FirstRows);
    ClickNode(w, u"SearchResult"_s);
    QVERIFY(Listing(w)->IsRunning());
    WaitForAll(w);
    QCOMPARE(firstRows.count(), 0);
    QCOMPARE(Column(w, 0), Names(u"a"_s) + Names(u"b"_s));
    // Again, with the first rows held back for a look: those shown are the first read, in order.
    BackgroundListing::HoldAfterFirstRows = true;
    ClickNode(w, Key(m_types.alpha));
    WaitForFirstRows(w);
    QCOMPARE(firstRows.count(), 1);
    QStringList shown = Column(w, 0);
    QCOMPARE(shown.size(), qsizetype(BackgroundListing::FirstScreen));
    QVERIFY(std::is_sorted(shown.begin(), shown.end()));
    const QStringList alpha = Names(u"a"_s);
    QVERIFY(std::all_of(shown.begin(), shown.end(), [&](const QString& name) { return alpha.contains(name); }));
    WaitForAll(w);
    QCOMPARE(Column(w, 0), Names(u"a"_s));
}

void tst_Streaming::selectionKeptWhileRowsCome()
{
    frmMain* w = Open();
    BackgroundListing::HoldAfterFirstRows = true;
    ClickNode(w, u"SearchResult"_s);
    WaitForFirstRows(w);
    ClickRow(w, 7);
    const QString chosen = w->ListModel()->index(7, 0).data().toString();
    QCOMPARE(SelectedNames(w), QStringList{chosen});
    WaitForAll(w);
    QCOMPARE(w->ListModel()->rowCount(), 2 * PerType);
    QCOMPARE(SelectedNames(w), QStringList{chosen});
    QCOMPARE(w->ListView1->currentIndex().data().toString(), chosen);
    QVERIFY(w->ListView1->viewport()->rect().intersects(w->ListView1->visualRect(w->ListView1->currentIndex())));
}

void tst_Streaming::deleteWhileRowsCome()
{
    frmMain* w = Open();
    BackgroundListing::HoldAfterFirstRows = true;
    ClickNode(w, Key(m_types.alpha));
    WaitForFirstRows(w);
    ClickRow(w, 3);
    const QString gone = w->ListModel()->index(3, 0).data().toString();
    m_world->platform.answers = {MsgResult::Ok};
    QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
    QVERIFY(!Column(w, 0).contains(gone));
    WaitForAll(w);
    // The listing read again from the delete on: the contact stays gone, every other one is there.
    QStringList expected = Names(u"a"_s);
    expected.removeOne(gone);
    QCOMPARE(Column(w, 0), expected);
}

void tst_Streaming::sortClickedWhileRowsCome()
{
    frmMain* w = Open();
    BackgroundListing::HoldAfterFirstRows = true;
    ClickNode(w, Key(m_types.beta));
    WaitForFirstRows(w);
    ClickHeader(w, 1); // the home phones, not read yet
    WaitForAll(w);
    QCOMPARE(w->ListView1->header()->sortIndicatorSection(), 1);
    QStringList reversed = Names(u"b"_s);
    std::reverse(reversed.begin(), reversed.end());
    QCOMPARE(Column(w, 0), reversed);
}

void tst_Streaming::resortReadsInTheBackground()
{
    frmMain* w = Open();
    ClickNode(w, u"SearchResult"_s);
    WaitForAll(w);
    ClickRow(w, 2);
    const QStringList before = Column(w, 0);
    ClickHeader(w, 1);
    // Until the column is read the list keeps its order and says it is busy.
    QCOMPARE(w->PanelText(1), u"Sorting..."_s);
    QCOMPARE(w->ListModel()->index(0, 0).data().toString(), before.first());
    WaitForAll(w);
    QCOMPARE(w->PanelText(1), u"Ready"_s);
    QCOMPARE(w->ListView1->header()->sortIndicatorSection(), 1);
    QStringList byPhone;
    for (const QString& letter : {u"a"_s, u"b"_s}) {
        QStringList names = Names(letter);
        std::reverse(names.begin(), names.end());
        byPhone += names;
    }
    QCOMPARE(Column(w, 0), byPhone);
    QCOMPARE(SelectedNames(w), QStringList{before[2]}); // the selection went along
    // A second click turns the order round without reading.
    ClickHeader(w, 1);
    QVERIFY(!Listing(w)->IsRunning());
    const QStringList ascending = byPhone;
    std::reverse(byPhone.begin(), byPhone.end());
    QCOMPARE(Column(w, 0), byPhone);
    // A click on another column abandons a re-sort under way for its own.
    ClickHeader(w, 2);
    ClickHeader(w, 0);
    WaitForAll(w);
    QCOMPARE(w->ListView1->header()->sortIndicatorSection(), 0);
    QCOMPARE(Column(w, 0), Names(u"a"_s) + Names(u"b"_s));
    // A column sorted by before sorts again at once, from what the list holds.
    ClickHeader(w, 1);
    QVERIFY(!Listing(w)->IsRunning());
    QCOMPARE(w->PanelText(1), u"Ready"_s);
    QCOMPARE(Column(w, 0), ascending);
}

void tst_Streaming::movedRowsListedFromTheList()
{
    frmMain* w = Open();
    // Rows first to last of the list dragged onto a type's node and dropped.
    const auto drag = [w](int first, int last, qint64 typeNo) {
        ClickRow(w, first);
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          w->ListView1->visualRect(w->ListModel()->index(last, 0)).center());
        DropSelectionOn(w, typeNo);
        WaitForAll(w);
    };
    ClickNode(w, Key(m_types.alpha));
    WaitForAll(w);
    drag(0, 4, m_types.beta);
    // The target lists its own and the moved contacts while their rows still wait to be rewritten.
    QCOMPARE(w->TreeView1->CurrentKey(), Key(m_types.beta));
    QCOMPARE(Column(w, 0), Names(u"a"_s, 5) + Names(u"b"_s));
    QCOMPARE(w->ListModel()->index(0, 2).data().toString(), u"m000"_s); // the other columns read when shown
    // A second move to the same type: the earlier moved contacts, not in the list it came from,
    // are read from the book, the new ones taken from the list.
    ClickNode(w, Key(m_types.alpha));
    WaitForAll(w);
    QCOMPARE(Column(w, 0), Names(u"a"_s).mid(5));
    drag(0, 4, m_types.beta);
    QCOMPARE(Column(w, 0), Names(u"a"_s, 10) + Names(u"b"_s));
    // And the type they left no longer shows them.
    ClickNode(w, Key(m_types.alpha));
    WaitForAll(w);
    QCOMPARE(Column(w, 0), Names(u"a"_s).mid(10));
}

void tst_Streaming::manyRangesDroppedFromSearchResults()
{
    frmMain* w = Open();
    ClickNode(w, u"SearchResult"_s);
    WaitForAll(w);
    // Every third row of the first 90 (contacts of Alpha) and of the last 30 (of Beta), picked
    // with Ctrl: 40 ranges, the sort of scattered selection a re-sort leaves.
    const auto pick = [w](int row, Qt::KeyboardModifiers modifiers) {
        const QModelIndex index = w->ListModel()->index(row, 0);
        w->ListView1->scrollTo(index);
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, modifiers,
                          w->ListView1->visualRect(index).center());
    };
    QList<int> rows;
    for (int row = 0; row < 90; row += 3) {
        rows.append(row);
    }
    for (int row = 2 * PerType - 30; row < 2 * PerType; row += 3) {
        rows.append(row);
    }
    QStringList picked;
    for (const int row : rows) {
        pick(row, picked.isEmpty() ? Qt::NoModifier : Qt::ControlModifier);
        picked.append(w->ListModel()->index(row, 0).data().toString());
    }
    picked.sort();
    QCOMPARE(picked.size(), 40);
    QCOMPARE(SelectedNames(w), picked);
    QCOMPARE(w->ListView1->selectionModel()->selection().size(), 40);

    DropSelectionOn(w, m_types.beta);
    WaitForAll(w);

    // The target shows its own and the Alpha contacts that came, nothing selected in it.
    const QStringList movedAlpha = picked.filter(QRegularExpression(u"^a"_s));
    QCOMPARE(movedAlpha.size(), 30);
    QCOMPARE(w->TreeView1->CurrentKey(), Key(m_types.beta));
    QCOMPARE(Column(w, 0), movedAlpha + Names(u"b"_s));
    QVERIFY(SelectedNames(w).isEmpty());
    // The counts of the types follow.
    const auto counts = [w, this] {
        ClickNode(w, u"Root"_s);
        QStringList shown;
        for (int row = 0; row < w->ListModel()->rowCount(); ++row) {
            shown.append(w->ListModel()->index(row, 0).data().toString() + u'=' +
                         w->ListModel()->index(row, 1).data().toString());
        }
        return shown.filter(QRegularExpression(u"^(Alpha|Beta)="_s));
    };
    QCOMPARE(counts(), (QStringList{u"Alpha=470"_s, u"Beta=530"_s}));
    ClickNode(w, Key(m_types.alpha));
    WaitForAll(w);
    QStringList alphaLeft = Names(u"a"_s);
    for (const QString& name : movedAlpha) {
        alphaLeft.removeOne(name);
    }
    QCOMPARE(Column(w, 0), alphaLeft);

    // Undone, each goes back to the type it came from: the Beta contacts stay in Beta.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTest::keyClick(w->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    WaitForAll(w);
    QCOMPARE(counts(), (QStringList{u"Alpha=500"_s, u"Beta=500"_s}));
    ClickNode(w, Key(m_types.alpha));
    WaitForAll(w);
    QCOMPARE(Column(w, 0), Names(u"a"_s));
}

void tst_Streaming::writesWhileRowsCome()
{
    // The reader holds the book while the rest of the rows are to come; a save in the editor and
    // its undo do not wait for it, and the list is read again with what they wrote.
    frmMain* w = Open();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    const auto holdListing = [w, this] {
        BackgroundListing::HoldAfterFirstRows = true;
        ClickNode(w, Key(m_types.beta)); // the list of Alpha kept from before is dropped
        ClickNode(w, Key(m_types.alpha));
        WaitForFirstRows(w);
    };
    holdListing();
    ClickRow(w, 3);
    FillNextEditor(this, u"txtName"_s, u"z-saved"_s);
    QTest::keyClick(w->focusWidget(), Qt::Key_F2);
    const auto messages = [this] {
        return std::count_if(m_world->platform.calls.cbegin(), m_world->platform.calls.cend(),
                             [](const RecordingPlatform::Call& call) { return call.kind == u"box"_s; });
    };
    QCOMPARE(messages(), 0); // nothing failed
    WaitForAll(w);
    QStringList saved = Names(u"a"_s);
    saved.removeOne(u"a003"_s);
    saved.append(u"z-saved"_s);
    QCOMPARE(Column(w, 0), saved);

    holdListing();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTest::keyClick(w->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(messages(), 0);
    WaitForAll(w);
    QCOMPARE(Column(w, 0), Names(u"a"_s));
}

void tst_Streaming::closedWhileReading()
{
    QPointer<frmMain> w = Open();
    BackgroundListing::HoldAfterFirstRows = true;
    ClickNode(w, u"SearchResult"_s);
    WaitForFirstRows(w);
    QPointer<BackgroundListing> listing = Listing(w);
    w->close(); // the reader is abandoned and waited for; nothing of it outlives the window
    QTRY_VERIFY(w.isNull());
    QVERIFY(listing.isNull());
    BackgroundListing::HoldAfterFirstRows = false;
    // The book is as it was.
    QCOMPARE(Contents().size(), 2 * PerType + 3);
}

void tst_Streaming::searchButtonInTheBackground()
{
    // On a large book the button searches as typing does, on a thread of its own: the click
    // returns before the book is read, and the list then shows what a small book shows at once.
    frmMain* w = Open();
    auto* search = w->findChild<BackgroundSearch*>(u"BackgroundSearch"_s);
    QTest::mouseClick(w->txtValue, Qt::LeftButton);
    QTRY_COMPARE(w->txtValue->selectedText(), w->txtValue->text());
    QTest::keyClicks(w->txtValue, u"b01"_s);
    QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    QCOMPARE(w->TreeView1->CurrentKey(), u"SearchResult"_s);
    QVERIFY(search->IsRunning());
    QTRY_VERIFY(!search->IsRunning());
    QStringList found;
    for (int i = 10; i < 20; ++i) {
        found.append(u"b0"_s + QString::number(i));
    }
    QTRY_COMPARE(Column(w, 0), found);
    QCOMPARE(w->PanelText(1), u"Ready"_s);

    // A click on a type while it runs abandons it: nothing found comes into the type's list.
    QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    ClickNode(w, Key(m_types.alpha));
    WaitForAll(w);
    QTRY_VERIFY(!search->IsRunning());
    QApplication::processEvents();
    QCOMPARE(Column(w, 0), Names(u"a"_s));
}

void tst_Streaming::syncWhileRowsCome()
{
    // A sync writes from a thread of its own while a listing holds the book: the listing gives
    // way, the sync's writes go through, and the list is read again after.
    RadicaleServer server;
    if (!server.Start()) {
        QSKIP(qPrintable(server.Reason()));
    }
    const QString path = server.AddAddressBook(u"contacts"_s, u"Contacts"_s);
    QCOMPARE(server
                 .Request("PUT", path + u"z.vcf"_s,
                          "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:z\r\nFN:Zed\r\nN:;Zed;;;\r\nEND:VCARD\r\n")
                 .status,
             201);
    const qint64 synced = AddType(u"Synced"_s);
    LinkAddressBook(Conn, AddSyncAccount(Conn, server.Root(), server.User(), server.Password()),
                    {path, u"Contacts"_s, true, {}}, synced);
    frmMain* w = Open();
    BackgroundListing::HoldAfterFirstRows = true;
    ClickNode(w, Key(m_types.alpha));
    WaitForFirstRows(w);

    QTest::mouseClick(w->Toolbar1->widgetForAction(w->SyncCmds->Toolbar1_Sync), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->SyncCmds->IsSyncing(), 60000);
    QCOMPARE(m_world->platform.Boxes().size(), 1);
    QVERIFY2(m_world->platform.Boxes().first().text.contains(u"Here: 1 added"_s),
             qPrintable(m_world->platform.Boxes().first().text));
    QVERIFY(Contents().join(u'\n').contains(u"Zed"_s));
    WaitForAll(w);
    QCOMPARE(Column(w, 0), Names(u"a"_s));
}

void tst_Streaming::searchOfKeysFarApart_data()
{
    QTest::addColumn<bool>("matchCase");
    QTest::newRow("letter for letter") << true;
    QTest::newRow("any case") << false;
}

void tst_Streaming::searchOfKeysFarApart()
{
    // Keys far apart make a book large enough to be searched by two readers at once, each taking
    // spans of keys from its end: what either finds is shown, each once and in order, nothing
    // else, and every row is found again by its key.
    QFETCH(bool, matchCase);
    QStringList found;
    for (int i = 0; i < 5; ++i) {
        Conn.Execute(u"UPDATE sqlite_sequence SET seq = ? WHERE name = 'PWDTable'"_s, {100000 * (i + 1)});
        found.append(u"b010"_s + QString::number(i));
        AddRecord(m_types.beta, found.last(), {u"555"_s});
    }
    AddRecord(m_types.beta, u"c999"_s, {u"555"_s});
    for (int i = 10; i < 20; ++i) {
        found.append(u"b0"_s + QString::number(i));
    }
    std::sort(found.begin(), found.end());
    frmMain* w = Open();
    auto* search = w->findChild<BackgroundSearch*>(u"BackgroundSearch"_s);
    if (!matchCase) {
        QTest::mouseClick(w->chkMatchCase, Qt::LeftButton); // lists every contact, for the prompt
        WaitForAll(w);
    }
    QCOMPARE(w->chkMatchCase->isChecked(), matchCase);
    QTest::mouseClick(w->txtValue, Qt::LeftButton);
    QTRY_COMPARE(w->txtValue->selectedText(), w->txtValue->text());
    QTest::keyClicks(w->txtValue, matchCase ? u"b01"_s : u"B01"_s);
    QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    QTRY_VERIFY(!search->IsRunning());
    QTRY_COMPARE(Column(w, 0), found);
    for (int row = 0; row < w->ListModel()->rowCount(); ++row) {
        QCOMPARE(w->ListModel()->RowOf(w->ListModel()->Id(row)), row);
    }
}

void tst_Streaming::longListKeyedWhileRead()
{
    // A list long enough to have its sort keys made by a second thread while its rows are read,
    // in parts: every name once, in the collation's order, whether read in key order (a type) or
    // through the index of names (every contact); names of plain ASCII and others side by side.
    const QStringList stems{u"zoe"_s,    u"Zoë"_s,    u"ZOE"_s, u"émile"_s, u"Emile"_s, u"张伟"_s,
                            u"o'neil"_s, u"O Neil"_s, u"100"_s, u"99"_s,    u"x"_s};
    QStringList added;
    {
        Transaction transaction(Conn);
        for (int i = 0; i < 30000; ++i) {
            // Scattered, so neither the keys nor the index of names read them in order.
            const int n = static_cast<int>((i * 7919LL) % 30000);
            added.append(stems[n % stems.size()] + u' ' + QString::number(n % 3000));
            AddRecord(m_types.alpha, added.last(), {});
        }
        transaction.Commit();
    }
    QCollator collator(ReadingLocale());
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    frmMain* w = Open();
    for (const QString& node : {Key(m_types.alpha), u"SearchResult"_s}) {
        ClickNode(w, node);
        WaitForAll(w);
        QStringList names = Column(w, 0);
        QStringList expected = added + Names(u"a"_s);
        if (node == u"SearchResult"_s) {
            expected += Names(u"b"_s);
        }
        for (qsizetype i = 1; i < names.size(); ++i) {
            QVERIFY2(collator.compare(names[i - 1], names[i]) <= 0, qPrintable(names[i - 1] + u" > "_s + names[i]));
        }
        names.sort();
        expected.sort();
        QCOMPARE(names, expected);
    }
}

void tst_Streaming::longListResortedInHalves_data()
{
    QTest::addColumn<bool>("longTexts");
    QTest::newRow("short texts") << false;
    // Texts long enough that parts end before they are full, some where a reader's run begins,
    // and one longer than the memory a reader sets aside at a time.
    QTest::newRow("long texts") << true;
}

void tst_Streaming::longListResortedInHalves()
{
    // Keys far apart make the book large enough to be read by two readers at once, from either
    // end in spans of keys, each reader many parts of rows: a re-sort by phone shows every
    // contact's own phone, in order.
    QFETCH(bool, longTexts);
    QHash<QString, QString> phones;
    for (const QString& name : Names(u"a"_s) + Names(u"b"_s)) {
        phones.insert(name, {}); // read below
    }
    {
        Transaction transaction(Conn);
        for (int i = 0; i < 20000; ++i) {
            if (i % 1000 == 0) { // a thousand contacts in every span of 25,000 keys
                Conn.Execute(u"UPDATE sqlite_sequence SET seq = ? WHERE name = 'PWDTable'"_s, {25000 * (i / 1000)});
            }
            const QString name = u"p"_s + QString::number(i);
            QString phone = QString::number(100000 + (i * 7919LL) % 20000);
            if (longTexts && (i % 97 == 0 || i % 1000 == 999)) {
                phone += QString(20000 + (i * 131) % 60000, QChar(u'0' + i % 10));
            }
            if (longTexts && i == 12345) {
                phone += QString(3 << 20, u'7');
            }
            phones.insert(name, phone);
            AddRecord(m_types.alpha, name, {phone});
        }
        transaction.Commit();
    }
    frmMain* w = Open();
    ClickNode(w, u"SearchResult"_s);
    WaitForAll(w);
    for (int row = 0; row < w->ListModel()->rowCount(); ++row) {
        const QString name = w->ListModel()->index(row, 0).data().toString();
        if (phones.value(name).isEmpty()) {
            phones.insert(name, w->ListModel()->index(row, 1).data().toString());
        }
    }
    ClickHeader(w, 1);
    WaitForAll(w);
    QCOMPARE(w->ListView1->header()->sortIndicatorSection(), 1);
    QCOMPARE(w->ListModel()->rowCount(), phones.size());
    QCollator collator(ReadingLocale());
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const QStringList names = Column(w, 0);
    const QStringList shown = Column(w, 1);
    for (qsizetype row = 0; row < names.size(); ++row) {
        QVERIFY2(shown[row] == phones.value(names[row]), qPrintable(names[row]));
        if (row > 0) {
            QVERIFY2(collator.compare(shown[row - 1], shown[row]) <= 0,
                     qPrintable(shown[row - 1] + u" > "_s + shown[row]));
        }
    }
}

QTEST_MAIN(tst_Streaming)
#include "tst_streaming.moc"
