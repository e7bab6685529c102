// The main window's commands over a real address book: which commands the focus and the selection
// allow, deleting records and types, the list's double-click and right-click, opening a web
// address, and moving records onto a type by drag and drop, including drags from other programs.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <optional>

#include "access/frmLogin.h"
#include "core/AppState.h"
#include "editors/frmPWD.h"
#include "editors/frmPWDType.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/BusyProgress.h"
#include "ui/Forms.h"

using namespace Qt::StringLiterals;

namespace {

QHash<QString, qint64> Ids; // record and type names -> their numbers, per test

qint64 AddType(const QString& name)
{
    return Ids[name] = Book::AddType(name);
}

void AddRecords(qint64 typeNo, const QStringList& names, const QString& url = {})
{
    for (const QString& name : names) {
        Ids.insert(name, Book::AddRecord(typeNo, name, {{}, {}, {}, {}, {}, {}, {}, url}));
    }
}

// The key of a type or record by its name; "Root" and "SearchResult" as they are.
QString Key(const QString& name)
{
    return Ids.contains(name) ? Book::Key(Ids.value(name)) : name;
}

// Behind the window's back: another copy of the program deletes type T ("typeGone:T"), or the
// file refuses to change or delete record x ("refuse:x").
void Meanwhile(const QString& what)
{
    const qint64 id = Ids.value(what.section(u':', 1));
    if (what.startsWith("typeGone")) {
        Conn.Execute(u"DELETE FROM PWDType WHERE TypeNo = ?"_s, {id});
    }
    for (const char* statement : {"UPDATE", "DELETE"}) {
        if (what.startsWith("refuse")) {
            Conn.Execute(u"CREATE TRIGGER refuse%1 BEFORE %1 ON PWDTable WHEN OLD.PWDID = %2 "
                         "BEGIN SELECT RAISE(ABORT, 'record locked'); END"_s.arg(QLatin1String(statement))
                             .arg(id));
        }
    }
    // Deletes and moves are first written as the contacts' keys in tables of their own.
    for (const char* table : {"PWDDeleted", "PWDMoving"}) {
        if (what.startsWith("refuse")) {
            Conn.Execute(u"CREATE TRIGGER refuse%1 BEFORE INSERT ON %1 WHEN NEW.PWDID = %2 "
                         "BEGIN SELECT RAISE(ABORT, 'record locked'); END"_s.arg(QLatin1String(table))
                             .arg(id));
        }
    }
}

// The list's rows top to bottom by their first column, "*" after a selected one, the current one
// in brackets.
QString ListState(const frmMain* w)
{
    QStringList rows;
    for (int row = 0; row < w->ListModel()->rowCount(); ++row) {
        const QString text = w->ListModel()->Text(row, 0) +
                             (w->ListView1->selectionModel()->isRowSelected(row, {}) ? u"*"_s : QString());
        rows.append(row == w->CurrentRow() ? u'[' + text + u']' : text);
    }
    return rows.join(u' ');
}

QString NodeKey(const frmMain* w)
{
    return w->TreeView1->currentItem() ? w->TreeView1->currentItem()->data(0, frmMain::NodeKeyRole).toString() : "";
}

// The middle of a row, or for "" a point of the list below its rows.
QPoint RowPoint(frmMain* w, const QString& name)
{
    QApplication::processEvents(); // the list lays itself out after a load
    const QModelIndex index = w->ListModel()->index(w->ListModel()->RowOfKey(Key(name)), 0);
    return index.isValid() ? w->ListView1->visualRect(index).center()
                           : QPoint(5, w->ListView1->viewport()->height() - 3);
}

// The middle of a node, or for "" a point of the tree below its nodes.
QPoint NodePoint(frmMain* w, const QString& name)
{
    QTreeWidgetItem* node = w->NodeByKey(Key(name));
    return node ? w->TreeView1->visualItemRect(node).center() : QPoint(5, w->TreeView1->viewport()->height() - 3);
}

void ClickNode(frmMain* w, const QString& name)
{
    QTest::mouseClick(w->TreeView1->viewport(), Qt::LeftButton, {}, NodePoint(w, name));
}

// Clicks the rows of these names in turn, the first plainly and the others with Ctrl held, so the
// last one becomes the current row; no names: a click on the empty space below the rows.
void ClickRows(frmMain* w, const QStringList& names)
{
    if (names.isEmpty()) {
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, RowPoint(w, QString()));
    }
    for (const QString& name : names) {
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton,
                          name == names.first() ? Qt::NoModifier : Qt::ControlModifier, RowPoint(w, name));
    }
}

// Clicks into the search box, which selects its text, and types over it.
void TypeSearch(frmMain* w, const QString& text)
{
    QTest::mouseClick(w->txtValue, Qt::LeftButton);
    QTRY_COMPARE(w->txtValue->selectedText(), w->txtValue->text());
    QTest::keyClicks(w->txtValue, text);
}

// What the next modal editor shows: "record:<name>", "type:<name>" or "new:<type chosen>"; the
// editor is then cancelled. Empty when none opened.
QString EditorOpened(QObject* guard, const std::function<void()>& action)
{
    QString opened;
    QTimer::singleShot(0, guard, [&] {
        if (frmPWD* form = FormInstance<frmPWD>::IfLoaded(); form && form->isVisible()) {
            opened = form->EditMode() ? "record:" + form->findChild<QLineEdit*>("txtName")->text()
                                      : "new:" + form->findChild<QComboBox*>("txtTypeNo")->currentText();
            form->reject();
        } else if (frmPWDType* type = FormInstance<frmPWDType>::IfLoaded(); type && type->isVisible()) {
            opened = "type:" + type->findChild<QLineEdit*>("txtTypeName")->text();
            type->reject();
        }
    });
    action();
    QCoreApplication::processEvents(); // the timer goes off here when no dialog ran
    return opened;
}

// The selection-dependent commands that are on; the pop-up and toolbar copies must agree.
// (mnuUnSelectAll is a hidden item, and Qt keeps hidden actions disabled.)
QString EnabledCommands(frmMain* w)
{
    auto on = [w](const QString& name) { return w->findChild<QAction*>(name)->isEnabled(); };
    QStringList names;
    for (const QString& name : {u"EditRec"_s, u"DeleteRec"_s, u"Url"_s, u"SelectAll"_s}) {
        if (on("mnu" + name)) {
            names.append(name);
        }
    }
    if (on("mnuEditRec2") != on("mnuEditRec") || on("Toolbar1_Edit") != on("mnuEditRec") ||
        on("mnuDeleteRec2") != on("mnuDeleteRec") || on("Toolbar1_Delete") != on("mnuDeleteRec") ||
        on("Toolbar1_Url") != on("mnuUrl")) {
        names.append(u"copies differ"_s);
    }
    return names.join(u' ');
}

// Sends the tree what the system's drag loop does for a drag of this text over a point (a null
// text: a drag of other data), and with drop a drop there too, whatever the drag-over said.
QString DragOver(frmMain* w, const QString& text, const QPoint& pos, bool drop = false)
{
    QMimeData data;
    text.isNull() ? data.setData(u"application/octet-stream"_s, "Morvanta:1") : data.setText(text);
    QDragEnterEvent enter(pos, Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(w->TreeView1->viewport(), &enter);
    QDragMoveEvent move(pos, Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(w->TreeView1->viewport(), &move);
    QString result = enter.isAccepted() != move.isAccepted()                    ? u"enter and move disagree"_s
                     : move.isAccepted() && move.dropAction() == Qt::MoveAction ? u"accepted"_s
                                                                                : u"refused"_s;
    if (drop) {
        QDropEvent dropEvent(pos, Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w->TreeView1->viewport(), &dropEvent);
        result += dropEvent.isAccepted() ? u", dropped"_s : u", drop refused"_s;
    }
    return result;
}

// A mouse click on the middle of a column's header.
void ClickHeader(frmMain* w, int column)
{
    QApplication::processEvents(); // the view lays out its header after a reset
    QHeaderView* header = w->ListView1->header();
    const int middle = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(middle, header->height() / 2));
}

} // namespace

class tst_Commands : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        Ids.clear();
        m_world.emplace();
        // The progress of a bulk command shows at its first step, so a test can cancel it.
        BusyProgress::SetShowDelay(0);
    }
    void cleanup()
    {
        m_world.reset();
        BusyProgress::SetShowDelay(300);
    }
    void commandState_data() { Book::AddRows(u"commands.txt"_s); }
    void commandState();
    void nodeClick_data() { Book::AddRows(u"commands.txt"_s); }
    void nodeClick();
    void deleteSelection_data() { Book::AddRows(u"commands.txt"_s); }
    void deleteSelection();
    void doubleClick_data() { Book::AddRows(u"commands.txt"_s); }
    void doubleClick();
    void drop_data() { Book::AddRows(u"commands.txt"_s); }
    void drop();
    void cancelledDragClearsHighlight();
    void fragmentedSelection_data();
    void fragmentedSelection();
    void deleteTypeSaysWhatHappens_data() { Book::AddRows(u"commands.txt"_s); }
    void deleteTypeSaysWhatHappens();
    void deleteTypeMovesContacts_data() { Book::AddRows(u"commands.txt"_s); }
    void deleteTypeMovesContacts();
    void deleteHintNamesTheSelection_data() { Book::AddRows(u"commands.txt"_s); }
    void deleteHintNamesTheSelection();
    void cancelledDeleteKeepsSelection_data();
    void cancelledDeleteKeepsSelection();
    void savedRecordUpdatesItsRow_data();
    void savedRecordUpdatesItsRow();

private:
    // The main window as it opens, then a click on the node of this name (Root is shown already).
    frmMain* Open(const QString& node)
    {
        m_window = new frmMain();
        if (!QTest::qWaitForWindowActive(m_window)) {
            qFatal("the main window did not become active");
        }
        if (node != "Root") {
            ClickNode(m_window, node);
        }
        return m_window;
    }
    // Does what the steps say, as the user would: "node:X" / "row:X" / "ctrl:X" click a node, a
    // row, a row with Ctrl; "space" clicks the list below its rows; "search" clicks the search box;
    // "ctrl+a", "F5" and "delete" (answered OK) are keys on the focused widget.
    void Do(frmMain* w, const QString& steps)
    {
        for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
            const QString name = step.section(u':', 1);
            if (step.startsWith("node:")) {
                ClickNode(w, name);
            } else if (step.startsWith("row:") || step.startsWith("ctrl:")) {
                QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton,
                                  step.startsWith("ctrl") ? Qt::ControlModifier : Qt::NoModifier, RowPoint(w, name));
            } else if (step == "space") {
                ClickRows(w, {});
            } else if (step == "search") {
                QTest::mouseClick(w->txtValue, Qt::LeftButton);
            } else if (step == "ctrl+a") {
                QTest::keyClick(w->focusWidget(), Qt::Key_A, Qt::ControlModifier);
            } else if (step == "F5") {
                QTest::keyClick(w->focusWidget(), Qt::Key_F5);
            } else if (step == "delete") {
                m_world->platform.answers = {MsgResult::Ok};
                QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
                QTRY_VERIFY(w->isActiveWindow()); // back from the progress dialog
            } else {
                QFAIL(qPrintable("unknown step " + step));
            }
        }
    }

    std::optional<TestWorld> m_world;
    QPointer<frmMain> m_window;
};

void tst_Commands::commandState()
{
    QFETCH(QString, steps);
    QFETCH(QString, url);
    QFETCH(QString, enabled);
    AddRecords(AddType("Friends"), {"Ben"});
    AddRecords(Ids.value("Friends"), {"Ann"}, url);

    frmMain* w = Open("Root");
    Do(w, steps);
    const QStringList before = Book::Contents();
    QCOMPARE(EnabledCommands(w), enabled);

    // F2 edits what the commands offer to edit.
    QTEST(EditorOpened(this, [&] { QTest::keyClick(w->focusWidget(), Qt::Key_F2); }), "f2");

    // The toolbar's Url button gives the address to the desktop as stored, without the blanks.
    QWidget* urlButton = w->Toolbar1->widgetForAction(w->findChild<QAction*>("Toolbar1_Url"));
    m_world->platform.calls.clear();
    QTest::mouseClick(urlButton, Qt::LeftButton);
    const bool opens = enabled.contains("Url");
    QCOMPARE(m_world->platform.Sequence(), opens ? u"104,url"_s : QString());
    QCOMPARE(m_world->platform.calls.value(1).text, opens ? url.trimmed() : QString());

    // The Delete key asks exactly when the delete command is on (and the focus is on the tree or
    // the list); Cancel changes nothing.
    m_world->platform.calls.clear();
    m_world->platform.answers = {MsgResult::Cancel};
    QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
    QCOMPARE(m_world->platform.Boxes().size(), !steps.endsWith("search") && enabled.contains("DeleteRec") ? 1 : 0);
    QCOMPARE(Book::Contents(), before);
    QCOMPARE(EnabledCommands(w), enabled);
}

void tst_Commands::nodeClick()
{
    QFETCH(QString, node);
    AddRecords(AddType("Friends"), {"Anna"});
    frmMain* w = Open("Root");
    TypeSearch(w, "zzz");
    QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    QCOMPARE(NodeKey(w), u"SearchResult"_s);
    QCOMPARE(ListState(w), QString());
    ClickNode(w, node);

    // The database and the search bar change behind the selected node; a click on it shows them.
    AddRecords(Ids.value("Friends"), {"Zoe"});
    TypeSearch(w, "Anna");
    ClickNode(w, node);
    QCOMPARE(NodeKey(w), Key(node));
    QTEST(ListState(w), "list");
}

void tst_Commands::deleteSelection()
{
    QFETCH(QStringList, types);
    QFETCH(QString, node);
    QFETCH(QStringList, selected);
    QFETCH(QString, rightClick);
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, gone);
    QFETCH(QString, nodeAfter);
    const QStringList records[]{{"a", "b", "c", "d", "e", "f"}, {"g"}, {"h"}};
    for (int i = 0; i < types.size(); ++i) {
        AddRecords(AddType(types[i]), records[i]);
    }
    QStringList book = Book::Contents();

    frmMain* w = Open(node);
    if (!selected.isEmpty()) {
        ClickRows(w, selected);
    }
    Meanwhile(meanwhile);
    if (rightClick.isEmpty()) {
        QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
    } else {
        QTest::mousePress(w->ListView1->viewport(), Qt::RightButton, {}, RowPoint(w, rightClick));
        QVERIFY(w->mnuPM->isVisible());
        w->mnuPM->close();
        w->findChild<QAction*>("mnuDeleteRec2")->trigger();
    }

    const bool refused = meanwhile.startsWith("refuse");
    QCOMPARE(m_world->platform.Sequence(), refused ? u"101,box,104,103,box,104"_s : u"101,box,104"_s);
    QCOMPARE(m_world->platform.Boxes().last().icon, refused ? MsgIcon::Critical : MsgIcon::Question);
    for (QString& entry : book) { // deleted records and types go; a deleted type's records stay
        const QString type = entry.section(u'/', 1);
        gone.contains(entry.section(u'/', 0, 0)) ? entry.clear() : entry.chop(gone.contains(type) ? type.size() : 0);
    }
    book.removeAll(QString());
    QCOMPARE(Book::Contents(), book);
    QVERIFY(!types.contains(gone.value(0)) || w->NodeByKey(Key(gone.value(0))) == nullptr);
    QCOMPARE(NodeKey(w), Key(nodeAfter));
    QVERIFY(w->TreeView1->currentItem()->isSelected());
    QTEST(ListState(w), "list");
    // Edit and Delete follow what is now selected.
    QCOMPARE(EnabledCommands(w).contains("DeleteRec"),
             ListState(w).contains(u'[') || (selected.isEmpty() && nodeAfter != "Root"));
}

void tst_Commands::doubleClick()
{
    QFETCH(QString, node);
    QFETCH(QString, row);
    QFETCH(QString, nodeAfter);
    AddRecords(AddType("Work"), {"Cid"}); // the first type
    AddRecords(AddType("Friends"), {"Ann", "Ben"});
    const QStringList before = Book::Contents();

    frmMain* w = Open(node);
    const QPoint at = RowPoint(w, row);
    QVERIFY(w->ListView1->indexAt(at).isValid() != row.isEmpty());
    QTEST(EditorOpened(this,
                       [&] { // the first click of a double-click, then the second
                           QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, at);
                           QTest::mouseDClick(w->ListView1->viewport(), Qt::LeftButton, {}, at);
                       }),
          "editor");
    QCOMPARE(NodeKey(w), Key(nodeAfter));
    QCOMPARE(w->ListModel()->rowCount(), nodeAfter == "SearchResult" ? 3 : 2);
    QCOMPARE(Book::Contents(), before);
}

void tst_Commands::drop()
{
    QFETCH(QString, source);
    QFETCH(QStringList, rows);
    QFETCH(QString, text);
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, moved);
    AddRecords(AddType("Home"), {"Ann", "Ben", "Cid"});
    AddRecords(AddType("Work"), {"Dora"});
    AddType("Spare");

    frmMain* w = Open(source);
    if (rows == QStringList{"ctrl+a"}) {
        Do(w, "space ctrl+a");
    } else if (!rows.isEmpty()) {
        ClickRows(w, rows);
    }
    if (!rows.isEmpty()) { // what a drag of the list's selection carries
        QCOMPARE(w->ListView1->DragText(), text);
    }
    const QPoint at = NodePoint(w, "Spare");
    QCOMPARE(DragOver(w, text, at), u"accepted"_s);
    QVERIFY(w->DropHighlight() == w->NodeByKey(Key("Spare")));
    Meanwhile(meanwhile);
    QCOMPARE(DragOver(w, text, at, true), u"accepted, dropped"_s);
    QVERIFY(w->DropHighlight() == nullptr);
    // Only the records moved are under Spare (or under no type), and none is lost.
    const QStringList book = Book::Contents();
    QCOMPARE(book.indexOf(u"|"_s), 4);
    QCOMPARE(book.filter(QRegularExpression(u"/(Spare)?$"_s)).replaceInStrings(QRegularExpression(u"/.*"_s), {}),
             moved);
    QCOMPARE(m_world->platform.Sequence(), meanwhile.startsWith("refuse")     ? u"103,box,104"_s
                                           : meanwhile.startsWith("typeGone") ? u"101,box,104"_s
                                                                              : QString());
    // The tree shows the target, and the list what the database holds under it.
    QCOMPARE(NodeKey(w), Key(meanwhile.startsWith("typeGone") ? "Root" : "Spare"));
    if (!meanwhile.startsWith("typeGone")) {
        QCOMPARE(ListState(w).remove(u'[').remove(u']').remove(u'*'), moved.join(u' '));
    }
}

void tst_Commands::cancelledDragClearsHighlight()
{
    AddRecords(AddType("Home"), {"Ann", "Ben"});
    AddType("Spare");
    const QStringList before = Book::Contents();

    frmMain* w = Open("Home");
    QTreeWidgetItem* spare = w->NodeByKey(Key("Spare"));
    const QBrush plain = spare->background(0);
    const QString text = "Morvanta:" + QString::number(Ids.value("Ann"));
    QCOMPARE(DragOver(w, text, NodePoint(w, "Spare")), u"accepted"_s);
    QVERIFY(w->DropHighlight() == spare && spare->background(0) != plain);

    // The user drags a row out of the list and lets go outside any target (the offscreen drag
    // ends at once, with no drop).
    QWidget* viewport = w->ListView1->viewport();
    const QPoint start = RowPoint(w, "Ann");
    QTest::mousePress(viewport, Qt::LeftButton, {}, start);
    for (const QPoint& to : {start + QPoint(1, 0), start + QPoint(5 * QApplication::startDragDistance(), 0)}) {
        QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &move);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, start);
    QVERIFY(w->DropHighlight() == nullptr);
    QCOMPARE(spare->background(0), plain);
    QCOMPARE(Book::Contents(), before);
}

void tst_Commands::fragmentedSelection_data()
{
    QTest::addColumn<QString>("command"); // "delete" (the Delete key) or "drag" (onto Spare)
    QTest::newRow("delete") << "delete";
    QTest::newRow("drag") << "drag";
}

void tst_Commands::fragmentedSelection()
{
    QFETCH(QString, command);
    // Home phones that sort the records apart from their names: by phone d b f h a g c e.
    const qint64 home = AddType("Home");
    const QString phones = "52718364";
    for (int i = 0; i < phones.size(); ++i) {
        const QString name(QChar(u'a' + i));
        Ids.insert(name, Book::AddRecord(home, name, {phones.mid(i, 1)}));
    }
    AddType("Spare");

    // a to d selected by name, then sorted by the phone, then h added: rows 0-1, 3-4 and 6.
    frmMain* w = Open("Home");
    QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, RowPoint(w, "a"));
    QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, Qt::ShiftModifier, RowPoint(w, "d"));
    ClickHeader(w, 1);
    QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, Qt::ControlModifier, RowPoint(w, "h"));
    const QString list = "d* b* f [h*] a* g c* e";
    QCOMPARE(ListState(w), list);
    const QString text =
        "Morvanta:" + QStringList{QString::number(Ids["d"]), QString::number(Ids["b"]), QString::number(Ids["h"]),
                                  QString::number(Ids["a"]), QString::number(Ids["c"])}
                          .join(u',');
    QCOMPARE(w->ListView1->DragText(), text);

    if (command == "delete") {
        m_world->platform.answers = {MsgResult::Ok};
        QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
    } else {
        QCOMPARE(DragOver(w, text, NodePoint(w, "Spare"), true), u"accepted, dropped"_s);
    }

    if (command == "delete") {
        QCOMPARE(ListState(w), u"[f*] g e"_s);
        QCOMPARE(Book::Contents().join(u' '), u"e/Home f/Home g/Home | Home Spare"_s);
    } else {
        QCOMPARE(NodeKey(w), Key("Spare"));
        QCOMPARE(Book::Contents().join(u' '),
                 u"a/Spare b/Spare c/Spare d/Spare e/Home f/Home g/Home h/Spare | Home Spare"_s);
    }
}

// Deleting a type asks with its name and what becomes of its contacts, in the plural that fits.
void tst_Commands::deleteTypeSaysWhatHappens()
{
    QFETCH(QString, language);
    QFETCH(int, contacts);
    QFETCH(QStringList, others);
    m_world->folder.UseLanguage(language);
    QStringList names;
    for (int i = 0; i < contacts; ++i) {
        names.append(u"r%1"_s.arg(i));
    }
    AddRecords(AddType("Work"), names);
    for (const QString& other : others) {
        AddType(other);
    }
    const QStringList before = Book::Contents();
    frmMain* w = Open("Work");
    ClickNode(w, "Work"); // the tree has the focus
    m_world->platform.answers = {MsgResult::Cancel};
    QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
    const RecordingPlatform::Call box = m_world->platform.Boxes().last();
    QCOMPARE(box.icon, MsgIcon::Question);
    QTEST(box.text, "text");
    // The third button is there exactly when there are contacts and somewhere to move them.
    QCOMPARE(!box.other.isEmpty(), contacts > 0 && !others.isEmpty());
    QVERIFY(w->NodeByKey(Key("Work")) != nullptr);
    QCOMPARE(Book::Contents(), before);
}

// "Move Contacts..." in the question moves the type's contacts to the type picked, then deletes
// the type, all at once; any cancel on the way keeps the type and its contacts.
void tst_Commands::deleteTypeMovesContacts()
{
    QFETCH(QString, click);
    QFETCH(QString, answer);
    QFETCH(QStringList, records);
    QFETCH(QStringList, types);
    AddRecords(AddType("Work"), {"Ann", "Ben"});
    AddRecords(AddType("Home"), {"Cid"});
    AddType("Spare");
    const QStringList before = Book::Dump();

    frmMain* w = Open("Root");
    if (click == "node") {
        ClickNode(w, "Work");
    } else {
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, RowPoint(w, "Work"));
    }
    RecordingPlatform& platform = m_world->platform;
    const QString target = answer.section(u':', 1).section(u' ', 0, 0);
    platform.answers = {answer == "ok" ? MsgResult::Ok : answer == "cancel" ? MsgResult::Cancel : MsgResult::Other};
    if (!target.isEmpty()) {
        platform.items = {target == "Home" ? 0 : 1};
    }
    QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
    QTRY_VERIFY(w->isActiveWindow()); // back from the progress dialog

    const RecordingPlatform::Call box = platform.Boxes().first();
    QCOMPARE(box.other, u"&Move Contacts..."_s);
    const bool chose = answer.startsWith("move");
    QCOMPARE(platform.Sequence(), chose ? u"101,box,104,item"_s : u"101,box,104"_s);
    if (chose) {
        const RecordingPlatform::Call chooser = platform.calls.last();
        QCOMPARE(chooser.text, u"Move the contacts of “Work” to:"_s);
        QCOMPARE(chooser.other, u"Home\nSpare"_s); // the other types, in the tree's order
    }
    QCOMPARE(Book::Contents(), records + QStringList{"|"} + types);
    const bool deleted = !types.contains("Work");
    if (!deleted) {
        QCOMPARE(Book::Dump(), before);
    }
    // The tree follows the book, the type that received the contacts included.
    QCOMPARE(w->NodeByKey(Key("Work")) == nullptr, deleted);
    if (deleted && chose) {
        ClickNode(w, target);
        QCOMPARE(w->ListModel()->rowCount(), target == "Home" ? 3 : 2);
    }
}

void tst_Commands::deleteHintNamesTheSelection()
{
    QFETCH(QString, steps);
    AddRecords(AddType("A"), {"a", "b", "c"});
    frmMain* w = Open("A");
    Do(w, steps);
    QTEST(w->findChild<QAction*>("Toolbar1_Delete")->toolTip(), "hint");
}

void tst_Commands::cancelledDeleteKeepsSelection_data()
{
    QTest::addColumn<bool>("escape"); // Escape in the real confirmation, else a click on Cancel
    QTest::newRow("Escape") << true;
    QTest::newRow("click on Cancel") << false;
}

// Select All, Delete, and the confirmation cancelled, by key or by mouse: nothing is deleted and
// every row stays selected.
void tst_Commands::cancelledDeleteKeepsSelection()
{
    QFETCH(bool, escape);
    AddRecords(AddType("A"), {"a", "b", "c"});
    frmMain* w = Open("A");
    ClickRows(w, {"b"});
    QTest::keyClick(w->focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(ListState(w), u"a* [b*] c*"_s);
    const QStringList book = Book::Contents();
    // The desktop's own message box this time, answered as the user does.
    SetPlatform(nullptr);
    bool answered = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, w, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || answered) {
            return;
        }
        answered = true;
        QCOMPARE(box->icon(), QMessageBox::Question);
        if (escape) {
            QTest::keyClick(box, Qt::Key_Escape);
        } else {
            QTest::mouseClick(box->button(QMessageBox::Cancel), Qt::LeftButton);
        }
    });
    poll.start(10);
    QTest::keyClick(w->focusWidget(), Qt::Key_Delete);
    poll.stop();
    SetPlatform(&m_world->platform);
    QVERIFY(answered);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    QApplication::processEvents();
    QCOMPARE(Book::Contents(), book);
    QCOMPARE(ListState(w), u"a* [b*] c*"_s);
    QVERIFY(EnabledCommands(w).contains("DeleteRec"));
}

void tst_Commands::savedRecordUpdatesItsRow_data()
{
    QTest::addColumn<QString>("edit");   // the row edited with F2; "": a new record (Ctrl+N)
    QTest::addColumn<QString>("name");   // typed over the name
    QTest::addColumn<bool>("otherType"); // Spare chosen in the editor
    QTest::addColumn<QString>("shown");  // the list afterwards, sorted by name descending
    QTest::newRow("renamed, moves up") << "Ben"
                                       << "Zed" << false << "[Zed*] Dan Cal Ann";
    QTest::newRow("new, among equals last") << ""
                                            << "cal" << false << "Dan Cal [cal*] Ben Ann";
    QTest::newRow("moved to another type") << "Ben"
                                           << "Ben" << true << "[Ben*]";
}

// A saved record updates its row where it is (the tree stays as it is); the window then shows
// what a rebuild shows (the rows and their order, the node) with the saved row selected alone, the
// list focused, so Edit and Delete act on it.
void tst_Commands::savedRecordUpdatesItsRow()
{
    QFETCH(QString, edit);
    QFETCH(QString, name);
    QFETCH(bool, otherType);
    QFETCH(QString, shown);
    AddRecords(AddType("Home"), {"Dan", "Ben", "Ann", "Cal"});
    AddType("Spare");
    frmMain* w = Open("Home");
    QHeaderView* header = w->ListView1->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    QCOMPARE(ListState(w), u"Dan Cal Ben Ann"_s);
    QTreeWidgetItem* root = w->TreeView1->topLevelItem(0);
    root->setData(0, Qt::UserRole + 7, true); // gone with a rebuilt tree
    if (!edit.isEmpty()) {
        ClickRows(w, {edit});
    }
    QTimer::singleShot(0, w, [&] {
        frmPWD* form = FormInstance<frmPWD>::IfLoaded();
        QVERIFY(form != nullptr && form->isVisible());
        QCOMPARE(form->windowTitle(), edit.isEmpty() ? u"New contact"_s : edit); // whose details these are
        auto* box = form->findChild<QLineEdit*>("txtName");
        box->selectAll();
        QTest::keyClicks(box, name);
        if (otherType) {
            auto* chooser = form->findChild<QComboBox*>("txtTypeNo");
            chooser->setCurrentIndex(chooser->findText("Spare"));
        }
        QTest::mouseClick(form->findChild<QPushButton*>("CmdOK"), Qt::LeftButton);
    });
    QTest::keyClick(w->focusWidget(), edit.isEmpty() ? Qt::Key_N : Qt::Key_F2,
                    edit.isEmpty() ? Qt::ControlModifier : Qt::NoModifier);
    QVERIFY(FormInstance<frmPWD>::IfLoaded() == nullptr);
    const QString state = ListState(w);
    const QString node = NodeKey(w);
    QCOMPARE(state, shown);
    QCOMPARE(node, Key(otherType ? "Spare" : "Home"));
    QVERIFY(w->TreeView1->topLevelItem(0) == root && root->data(0, Qt::UserRole + 7).toBool()); // never rebuilt
    QCOMPARE(w->focusWidget(), w->ListView1);
    QCOMPARE(EnabledCommands(w), u"EditRec DeleteRec SelectAll"_s);
    w->Refresh();
    QCOMPARE(ListState(w), QString(state).remove(u'[').remove(u']').remove(u'*'));
    QCOMPARE(NodeKey(w), node);
}

QTEST_MAIN(tst_Commands)
#include "tst_commands.moc"
