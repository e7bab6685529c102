// Undo and redo in the main window, driven as the user does: each change made with the mouse and
// keys, undone with Ctrl+Z and done again with Ctrl+Y or Ctrl+Shift+Z, the stored rows compared
// with what they were, and the views compared with what a rebuild shows.
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>
#include <QUndoStack>
#include <QtTest>

#include <algorithm>
#include <optional>

#include "app/Application.h"
#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/Errors.h"
#include "editors/frmPWD.h"
#include "editors/frmPWDType.h"
#include "main/ContactPane.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/BookRows.h"
#include "store/ContactDetails.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/RecordPurge.h"
#include "store/Recordset.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/Forms.h"

using namespace Qt::StringLiterals;

namespace {

QHash<QString, qint64> Ids; // names -> numbers, per test

// Every stored row but the key counters, which never go back: a key is never given twice. Contacts
// hidden as deleted or moving count by key (the batch number of a delete is new each time).
QStringList Rows()
{
    QStringList rows = Book::Dump();
    rows.removeIf([](const QString& row) { return row.startsWith(u"sqlite_sequence"); });
    for (const QString& table : ContactDetailTables()) {
        if (Conn.HasTable(table.toLatin1().constData())) {
            Recordset rs;
            for (rs.Open(u"SELECT * FROM %1 ORDER BY 1, 2"_s.arg(table), Conn, LockType::ReadOnly); !rs.IsEOF();
                 rs.MoveNext()) {
                QStringList cells{table};
                for (int i = 0; i < rs.FieldCount(); ++i) {
                    cells.append(rs.IsNull(i) ? u"<null>"_s : rs.Text(i));
                }
                rows.append(cells.join(u'|'));
            }
        }
    }
    for (const QString& pending : {u"PWDDeleted"_s, u"PWDMoving"_s}) {
        if (Conn.HasTable(pending.toLatin1().constData())) {
            Conn.ForEachRow(u"SELECT PWDID, quote(%1) FROM %2 ORDER BY PWDID"_s.arg(
                                pending == u"PWDMoving" ? u"TypeNo"_s : u"NULL"_s, pending),
                            {}, [&](const RowView& row) {
                                rows.append(pending + u'|' + QString::number(row.Integer(0)) + u'|' +
                                            QString::fromUtf8(row.Bytes(1)));
                            });
        }
    }
    return rows;
}

QTreeWidgetItem* Node(frmMain* w, const QString& name)
{
    return name == u"Root" ? w->NodeByKey(u"Root"_s) : w->NodeByKey(Book::Key(Ids.value(name)));
}

void ClickNode(frmMain* w, const QString& name)
{
    QTest::mouseClick(w->TreeView1->viewport(), Qt::LeftButton, {},
                      w->TreeView1->visualItemRect(Node(w, name)).center());
}

// Clicks these rows, the first plainly, the others with Ctrl.
void ClickRows(frmMain* w, const QStringList& names)
{
    QApplication::processEvents(); // the list lays itself out after a load
    for (const QString& name : names) {
        const QModelIndex index = w->ListModel()->index(w->ListModel()->RowOf(Ids.value(name)), 0);
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton,
                          name == names.first() ? Qt::NoModifier : Qt::ControlModifier,
                          w->ListView1->visualRect(index).center());
    }
}

// The list's first column, top to bottom; sorted: what it shows, whatever the order.
QString Shown(const frmMain* w, bool sorted = true)
{
    QStringList rows;
    for (int row = 0; row < w->ListModel()->rowCount(); ++row) {
        rows.append(w->ListModel()->Text(row, 0));
    }
    if (sorted) {
        rows.sort();
    }
    return rows.join(u' ');
}

// Types the texts into the boxes of the next modal editor and clicks OK.
void FillNextEditor(QObject* guard, const QList<std::pair<QString, QString>>& boxes)
{
    QTimer::singleShot(0, guard, [boxes] {
        QWidget* editor = QApplication::activeModalWidget();
        QVERIFY(editor != nullptr);
        for (const auto& [box, text] : boxes) {
            auto* edit = editor->findChild<QLineEdit*>(box);
            edit->selectAll();
            QTest::keyClicks(edit, text);
        }
        QTest::mouseClick(editor->findChild<QPushButton*>(u"CmdOK"_s), Qt::LeftButton);
    });
}

} // namespace

class tst_Undo : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        Ids.clear();
        m_world.emplace();
        Ids[u"Home"_s] = Book::AddType(u"Home"_s, u"family"_s);
        Ids[u"Work"_s] = Book::AddType(u"Work"_s);
        for (const QString& name : {u"Ann"_s, u"Ben"_s, u"Cal"_s}) {
            Ids[name] = Book::AddRecord(Ids[u"Home"_s], name, {u"+49 30 1"_s, {}, u""_s, u"a@b.example"_s});
        }
        Ids[u"Dan"_s] = Book::AddRecord(Ids[u"Work"_s], u"Dan"_s, {}, nullptr);
    }
    void cleanup() { m_world.reset(); }
    void undoRedo_data();
    void undoRedo();
    void importIsOneStep();
    void importedDetailsComeBack();
    void notOfferedAfterRestart();
    void compactionClearsSteps();
    void externalChangesReachTheViews();
    void editsKeepTheSelection();
    void largeDrop_data();
    void largeDrop();
    void detailsComeBack(); // last: the table it registers stays registered

private:
    frmMain* Open()
    {
        auto* w = new frmMain();
        if (!QTest::qWaitForWindowActive(w)) {
            qFatal("the main window did not become active");
        }
        return w;
    }
    std::optional<TestWorld> m_world;
};

void tst_Undo::undoRedo_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("hint");  // the Undo entry after the action
    QTest::addColumn<QString>("shown"); // the list after the action, on the node it ends on
    QTest::addColumn<bool>("shiftZ");   // redo with Ctrl+Shift+Z instead of Ctrl+Y
    QTest::newRow("add contact") << "add contact"
                                 << "&Undo new contact “Eve”"
                                 << "Ann Ben Cal Eve" << false;
    QTest::newRow("edit contact") << "edit contact"
                                  << "&Undo edit of “Bea”"
                                  << "Ann Bea Cal" << true;
    QTest::newRow("delete one") << "delete one"
                                << "&Undo delete of 1 contact"
                                << "Ann Cal" << false;
    QTest::newRow("delete two") << "delete two"
                                << "&Undo delete of 2 contacts"
                                << "Ben" << true;
    QTest::newRow("drag two") << "drag two"
                              << "&Undo move of 2 contacts"
                              << "Ann Cal Dan" << false;
    // Out of search results, whose rows are of different types: each goes back to its own.
    QTest::newRow("drag found") << "drag found"
                                << "&Undo move of 2 contacts"
                                << "Ann Dan" << true;
    QTest::newRow("add type") << "add type"
                              << "&Undo new type “Club”"
                              << "" << false;
    QTest::newRow("rename type") << "rename type"
                                 << "&Undo edit of type “Home”"
                                 << "Ann Ben Cal" << true;
    QTest::newRow("delete type") << "delete type"
                                 << "&Undo delete of type “Home”"
                                 << "Dan" << false;
    QTest::newRow("delete type, contacts moved") << "delete type moving"
                                                 << "&Undo delete of type “Home”"
                                                 << "Ann Ben Cal Dan" << true;
}

void tst_Undo::undoRedo()
{
    QFETCH(QString, action);
    QFETCH(QString, hint);
    QFETCH(QString, shown);
    QFETCH(bool, shiftZ);
    frmMain* w = Open();
    ClickNode(w, u"Home"_s);
    // Sorted by name, Z to A: a row that comes back has its place to find.
    QHeaderView* header = w->ListView1->header();
    for (int click = 0; click < 2 && Shown(w, false) != u"Cal Ben Ann"; ++click) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    }
    QCOMPARE(Shown(w, false), u"Cal Ben Ann"_s);
    const QStringList before = Rows();
    auto key = [w](int k, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(w->focusWidget(), static_cast<Qt::Key>(k), modifiers);
    };
    if (action == u"add contact") {
        FillNextEditor(this, {{u"txtName"_s, u"Eve"_s}, {u"txtMobile"_s, u"+49 170 2"_s}});
        key(Qt::Key_N, Qt::ControlModifier);
    } else if (action == u"edit contact") {
        ClickRows(w, {u"Ben"_s});
        FillNextEditor(this, {{u"txtName"_s, u"Bea"_s}});
        key(Qt::Key_F2, {});
    } else if (action.startsWith(u"delete") && !action.contains(u"type")) {
        ClickRows(w, action == u"delete one" ? QStringList{u"Ben"_s} : QStringList{u"Ann"_s, u"Cal"_s});
        key(Qt::Key_Delete, {});
    } else if (action.startsWith(u"drag")) {
        if (action == u"drag found") {
            key(Qt::Key_F, Qt::ControlModifier);
            QTest::keyClicks(w->txtValue, u"n"_s);
            QTest::keyClick(w->txtValue, Qt::Key_Return);
            QTRY_COMPARE(w->TreeView1->CurrentKey(), u"SearchResult"_s);
            QTRY_COMPARE(Shown(w), u"Ann Ben Dan"_s);
            ClickRows(w, {u"Ann"_s, u"Dan"_s});
        } else {
            ClickRows(w, {u"Ann"_s, u"Cal"_s});
        }
        QMimeData data;
        data.setText(w->ListView1->DragText());
        const QPoint at = w->TreeView1->visualItemRect(Node(w, u"Work"_s)).center();
        QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w->TreeView1->viewport(), &enter);
        QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w->TreeView1->viewport(), &drop);
    } else if (action == u"add type") {
        FillNextEditor(this, {{u"txtTypeName"_s, u"Club"_s}});
        key(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    } else if (action == u"rename type") {
        ClickNode(w, u"Home"_s);
        FillNextEditor(this, {{u"txtTypeName"_s, u"Family"_s}});
        key(Qt::Key_F2, {});
    } else if (action.startsWith(u"delete type")) {
        ClickNode(w, u"Home"_s);
        if (action == u"delete type moving") {
            m_world->platform.answers = {MsgResult::Other};
            m_world->platform.items = {0}; // Work
        }
        key(Qt::Key_Delete, {});
    }
    // Back from an editor the window manager activates the window again; offscreen, the test does.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    const QStringList after = Rows();
    QVERIFY(after != before);
    QCOMPARE(w->mnuUndo->text(), hint);
    QVERIFY(w->mnuUndo->isEnabled() && !w->mnuRedo->isEnabled());
    QCOMPARE(Shown(w), shown);
    const QString node = w->TreeView1->CurrentKey();

    key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Rows(), before); // the same keys, cipher texts and Nulls
    QCOMPARE(w->mnuRedo->text(), QString(hint).replace(u"&Undo"_s, u"&Redo"_s));
    // The views show what a rebuild of the same node shows.
    const QString undone = Shown(w, false);
    const QString undoneNode = w->TreeView1->CurrentKey();
    w->Refresh();
    QCOMPARE(w->TreeView1->CurrentKey(), undoneNode);
    QCOMPARE(Shown(w, false), undone); // the same rows in the same order
    QCOMPARE(w->TreeView1->topLevelItem(0)->childCount(), 2);

    ClickNode(w, node.startsWith(u'_') && Node(w, u"Home"_s) == nullptr ? u"Root"_s : u"Home"_s);
    shiftZ ? key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier) : key(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(Rows(), after);
    QCOMPARE(w->mnuUndo->text(), hint);
    const QString redone = Shown(w, false);
    w->Refresh();
    QCOMPARE(Shown(w, false), redone);
}

void tst_Undo::importIsOneStep()
{
    frmMain* w = Open();
    const QStringList before = Rows();
    m_world->platform.files = {SourceDir() + u"/tests/data/hundred.vcf"_s};
    w->mnuImport->trigger();
    const QStringList after = Rows();
    QVERIFY(after.size() > before.size() + 100);
    QCOMPARE(TheBook().History()->count(), 1);
    QVERIFY(w->mnuUndo->text().startsWith(u"&Undo import of "_s));
    QTest::keyClick(w->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Rows(), before);
    QCOMPARE(w->TreeView1->topLevelItem(0)->childCount(), 2); // the types it made went too
    QTest::keyClick(w->focusWidget(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(Rows(), after);
    // Copied when first undone: a second round goes the same way.
    QTest::keyClick(w->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Rows(), before);
    QTest::keyClick(w->focusWidget(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(Rows(), after);
}

// An import's addresses, dates and notes go with its undo and come back whole with its redo.
void tst_Undo::importedDetailsComeBack()
{
    frmMain* w = Open();
    const QString path = m_world->folder.Path() + u"/details.vcf"_s;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Dora Diaz\r\nN:Diaz;Dora;;;\r\n"
               "ADR;TYPE=HOME:;;1 Main St;Springfield;;12345;USA\r\nBDAY:1980-02-29\r\n"
               "NOTE:first line\\nsecond line\r\nORG:Acme;Sales\r\nEND:VCARD\r\n");
    file.close();
    const QStringList before = Rows();
    m_world->platform.files = {path};
    w->mnuImport->trigger();
    const QStringList after = Rows();
    QVERIFY(std::any_of(after.cbegin(), after.cend(),
                        [](const QString& row) { return row.startsWith(u"ContactAddress|"); }));
    QTest::keyClick(w->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Rows(), before);
    QTest::keyClick(w->focusWidget(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(Rows(), after);
}

void tst_Undo::notOfferedAfterRestart()
{
    frmMain* w = Open();
    ClickNode(w, u"Home"_s);
    ClickRows(w, {u"Ann"_s});
    QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
    QVERIFY(w->mnuUndo->isEnabled());
    // The program ends and starts again on the same book.
    w->close();
    CloseEveryWindow();
    Conn.Close();
    Conn.Open(BuildConnectionString(AppFolder));
    w = Open();
    QVERIFY(!w->mnuUndo->isEnabled());
    QCOMPARE(w->mnuUndo->text(), u"&Undo"_s);
    const QStringList rows = Rows();
    QTest::keyClick(w->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Rows(), rows);
}

// Compaction rewrites the book: the steps go, and the message after it says so.
void tst_Undo::compactionClearsSteps()
{
    frmMain* w = Open();
    ClickNode(w, u"Home"_s);
    ClickRows(w, {u"Ann"_s});
    QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
    QVERIFY(w->mnuUndo->isEnabled());
    w->mnuClearupDB->trigger();
    QVERIFY(m_world->platform.Boxes().last().text.endsWith(u"\nWhat was done before can no longer be undone."_s));
    QVERIFY(!w->mnuUndo->isEnabled());
    // With nothing to undo there is nothing to say.
    w->mnuClearupDB->trigger();
    QCOMPARE(m_world->platform.Boxes().last().text, u"Database compaction finished."_s);
}

// A table of further details keyed by the contact's key goes and comes back with the contact.
void tst_Undo::detailsComeBack()
{
    Conn.Execute(u"CREATE TABLE Extra (PWDID INTEGER, Label TEXT, Value BLOB)"_s);
    AddressBook::AddContactTable(u"Extra"_s);
    for (const QString& name : {u"Ann"_s, u"Ben"_s}) {
        Conn.Execute(u"INSERT INTO Extra VALUES (?, 'tel', x'00ff')"_s, {Ids[name]});
        Conn.Execute(u"INSERT INTO Extra VALUES (?, NULL, '')"_s, {Ids[name]});
    }
    const auto extra = [] {
        QStringList rows;
        Conn.ForEachRow(u"SELECT PWDID, quote(Label), quote(Value) FROM Extra ORDER BY rowid"_s, {},
                        [&](const RowView& row) {
                            rows.append(QString::number(row.Integer(0)) + u' ' + QString::fromUtf8(row.Bytes(1)) +
                                        u' ' + QString::fromUtf8(row.Bytes(2)));
                        });
        return rows;
    };
    const QStringList before = extra();
    frmMain* w = Open();
    ClickNode(w, u"Home"_s);
    ClickRows(w, {u"Ann"_s, u"Ben"_s});
    QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
    QCOMPARE(Shown(w), u"Cal"_s);
    // The deleted contacts' rows, details with them, wait hidden while the step can be undone.
    QCOMPARE(extra(), before);
    QTest::keyClick(w->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(extra(), before);
    QCOMPARE(Shown(w), u"Ann Ben Cal"_s);
}

// Changes made on another connection (a sync) reach the list and the tree once announced.
void tst_Undo::externalChangesReachTheViews()
{
    frmMain* w = Open();
    ClickNode(w, u"Home"_s);
    Connection other;
    other.Open(Conn.ConnectionString);
    const qint64 eve = Book::AddRecord(Ids[u"Home"_s], u"Eve"_s, {}, &other);
    other.Execute(u"UPDATE PWDTable SET Name = ? WHERE PWDID = ?"_s, {Encrypt(u"Bea"), Ids[u"Ben"_s]});
    other.Execute(u"DELETE FROM PWDTable WHERE PWDID = ?"_s, {Ids[u"Cal"_s]});
    other.Execute(u"INSERT INTO PWDType (TypeName) VALUES ('Club')"_s);
    QCOMPARE(Shown(w), u"Ann Ben Cal"_s); // nothing announced yet
    ClickRows(w, {u"Ann"_s});
    TheBook().NoteExternalChanges({eve}, {Ids[u"Ben"_s]}, {Ids[u"Cal"_s]}, true);
    QCOMPARE(Shown(w), u"Ann Bea Eve"_s);
    // The user's selection stays where it was.
    QCOMPARE(w->ListModel()->Id(w->CurrentRow()), Ids[u"Ann"_s]);
    QCOMPARE(w->ListView1->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(w->TreeView1->topLevelItem(0)->childCount(), 3);
    QCOMPARE(w->TreeView1->CurrentKey(), Book::Key(Ids[u"Home"_s]));
    QCOMPARE(TheBook().History()->count(), 0); // not a step of this window
}

// A saved contact finds its new place in the sorted list without the list being read again, and
// what the user selected stays selected: the rows moved, not the selection.
void tst_Undo::editsKeepTheSelection()
{
    // More rows than a reload would keep selected.
    QStringList names;
    for (int i = 0; i < 1500; ++i) {
        names.append(u"Guest %1"_s.arg(i, 4, 10, QLatin1Char('0')));
    }
    QList<qint64> guests;
    {
        Transaction transaction(Conn); // one write for the lot
        guests = Book::AddRecords(Ids[u"Work"_s], names);
        transaction.Commit();
    }
    frmMain* w = Open();
    ClickNode(w, u"Work"_s);
    QTRY_COMPARE(w->ListModel()->rowCount(), 1501);
    QHeaderView* header = w->ListView1->header();
    while (!header->isSortIndicatorShown() || header->sortIndicatorSection() != 0 ||
           header->sortIndicatorOrder() != Qt::AscendingOrder) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    }
    // Dan first, then the guests in order: Dan and the first 1,200 guests selected.
    ClickRows(w, {u"Dan"_s});
    const QModelIndex last = w->ListModel()->index(w->ListModel()->RowOf(guests[1199]), 0);
    w->ListView1->scrollTo(last);
    QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      w->ListView1->visualRect(last).center());
    QCOMPARE(w->ListView1->selectionModel()->selectedRows().size(), 1201);
    auto selected = [w] {
        QList<qint64> ids;
        for (const QModelIndex& index : w->ListView1->selectionModel()->selectedRows()) {
            ids.append(w->ListModel()->Id(index.row()));
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    const QList<qint64> before = selected();
    // A sync renames a selected guest so that it sorts last, and one not selected so that it
    // sorts first: the same contacts stay selected, the current row on its contact.
    Conn.Execute(u"UPDATE PWDTable SET Name = ? WHERE PWDID = ?"_s, {Encrypt(u"Zoe"), guests[10]});
    Conn.Execute(u"UPDATE PWDTable SET Name = ? WHERE PWDID = ?"_s, {Encrypt(u"Abe"), guests[1400]});
    TheBook().NoteExternalChanges({}, {guests[10], guests[1400]}, {}, false);
    QCOMPARE(w->ListModel()->Text(0, 0), u"Abe"_s);
    QCOMPARE(w->ListModel()->Text(1500, 0), u"Zoe"_s);
    QCOMPARE(selected(), before);
    QCOMPARE(w->ListModel()->Id(w->ListView1->currentIndex().row()), guests[1199]);

    // The user edits one row so that it sorts first: it stays the one selected and current.
    w->ListView1->scrollToTop();
    ClickRows(w, {u"Dan"_s});
    FillNextEditor(this, {{u"txtName"_s, u"Aaron"_s}});
    QTest::keyClick(w->focusWidget(), Qt::Key_F2);
    QCOMPARE(w->ListModel()->Text(0, 0), u"Aaron"_s);
    QCOMPARE(selected(), QList<qint64>{Ids[u"Dan"_s]});
    QCOMPARE(w->CurrentRow(), 0);
    QCOMPARE(w->Pane->ShownTexts().first(), u"Aaron"_s);
}

// A drop of many contacts out of every contact listed returns before their earlier types are read.
// Undone at once, it waits for them and puts each contact back where it was, also those whose
// earlier move was still being written (a large one too); the window closed at once leaves the
// book whole; types that cannot be read are said so, and the move stays until they can.
void tst_Undo::largeDrop_data()
{
    QTest::addColumn<QString>("then");
    QTest::newRow("undone at once") << "undo";
    QTest::newRow("window closed at once") << "close";
    QTest::newRow("types unreadable for a while") << "unreadable";
    QTest::newRow("dropped again at once") << "again";
}

void tst_Undo::largeDrop()
{
    QFETCH(QString, then);
    QStringList names;
    for (int i = 0; i < 2400; ++i) {
        names.append(u"Guest %1"_s.arg(i, 4, 10, QLatin1Char('0')));
    }
    QList<qint64> all;
    {
        Transaction transaction(Conn);
        all = Book::AddRecords(Ids[u"Work"_s], names.mid(0, 1200)) + Book::AddRecords(Ids[u"Home"_s], names.mid(1200));
        transaction.Commit();
    }
    MarkRecordsMoved(Conn, all.mid(0, 300), Ids[u"Home"_s]); // still on their way from Work
    all += {Ids[u"Ann"_s], Ids[u"Ben"_s], Ids[u"Cal"_s], Ids[u"Dan"_s]};
    Ids[u"Club"_s] = Book::AddType(u"Club"_s);
    const auto before = TypesOfRecords(Conn, all);
    QCOMPARE(before.size(), std::size_t(all.size()));
    QCOMPARE(before.front().second, Ids[u"Home"_s]);

    frmMain* w = Open();
    const QString book = Conn.ConnectionString;
    // Every contact listed, all selected, dropped on target.
    const auto dropAll = [&](const QString& target) {
        QTest::mouseClick(w->TreeView1->viewport(), Qt::LeftButton, {},
                          w->TreeView1->visualItemRect(w->NodeByKey(u"SearchResult"_s)).center());
        QTRY_COMPARE(w->ListModel()->rowCount(), int(all.size()));
        ClickRows(w, {u"Ann"_s});
        QTest::keyClick(w->focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w->ListView1->selectionModel()->selectedRows().size(), all.size());
        QMimeData data;
        data.setText(w->ListView1->DragText());
        const QPoint at = w->TreeView1->visualItemRect(Node(w, target)).center();
        QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w->TreeView1->viewport(), &enter);
        QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w->TreeView1->viewport(), &drop);
    };
    if (then == u"unreadable") {
        // A key that does not open the book: nothing but the window's connection can read it.
        Conn.ConnectionString = ConnectionStringForFile(m_world->folder.DatabasePath(), u"not the key"_s);
    }
    dropAll(u"Club"_s);
    Conn.ConnectionString = book;
    QCOMPARE(CountRecords(Conn, Ids[u"Club"_s]), qint64(all.size()));

    if (then == u"unreadable") {
        Purger().WaitForMovedTypes(); // failed
        Connection blocker;           // and for a while not even the window's connection reads
        blocker.Open(book);
        blocker.Execute(u"BEGIN EXCLUSIVE"_s);
        Conn.Execute(u"PRAGMA busy_timeout = 50"_s);
        QString said;
        try {
            TheBook().History()->undo();
        } catch (const AppError& error) {
            said = error.Description();
        }
        blocker.Execute(u"ROLLBACK"_s);
        Conn.Execute(u"PRAGMA busy_timeout = 5000"_s);
        QVERIFY2(said.startsWith(u"The contacts cannot be moved back: the types they had before the move could not "
                                 u"be read. Nothing was changed.\n"_s),
                 qPrintable(said));
        QCOMPARE(CountRecords(Conn, Ids[u"Club"_s]), qint64(all.size()));
        QVERIFY(w->mnuUndo->isEnabled() && !w->mnuRedo->isEnabled());
    }
    if (then == u"again") {
        // The first move's types may still be read; its marks are the second's earlier types.
        dropAll(u"Work"_s);
        QCOMPARE(CountRecords(Conn, Ids[u"Work"_s]), qint64(all.size()));
        QTest::keyClick(w->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(CountRecords(Conn, Ids[u"Club"_s]), qint64(all.size()));
    }
    if (then == u"close") {
        w->close();
        FinishPendingWrites(); // as the program does once its window is gone
        QCOMPARE(PendingRecordCount(Conn), 0);
        QCOMPARE(StoredTypesOfRecords(Conn, all), TypesOfRecords(Conn, all));
        QCOMPARE(CountRecords(Conn, Ids[u"Club"_s]), qint64(all.size()));
        return;
    }
    QTest::keyClick(w->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(TypesOfRecords(Conn, all), before);
    QCOMPARE(w->mnuRedo->text(), u"&Redo move of %1 contacts"_s.arg(all.size()));
    QTest::keyClick(w->focusWidget(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(CountRecords(Conn, Ids[u"Club"_s]), qint64(all.size()));
    QTest::keyClick(w->focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(TypesOfRecords(Conn, all), before);
}

QTEST_MAIN(tst_Undo)
#include "tst_undo.moc"
