// The main window's commands over a real address book: which commands the focus and the selection
// allow, deleting records and types, the list's double-click and right-click, opening a web
// address, and moving records onto a type by drag and drop, including drags from other programs.
#include "access/frmLogin.h"
#include "app/AppState.h"
#include "app/Forms.h"
#include "editors/frmPWD.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QHash<QString, qint64> Ids; // record and type names -> their numbers, per test

qint64 AddType(const QString& name)
{
    Conn.Execute(u"INSERT INTO PWDType (TypeName) VALUES (?)"_s, {name});
    return Ids[name] = Conn.LastInsertId();
}

void AddRecords(qint64 typeNo, const QStringList& names, const QVariant& url = {})
{
    for (const QString& name : names) {
        Conn.Execute(u"INSERT INTO PWDTable (TypeNo, Name, Url) VALUES (?, ?, ?)"_s, {typeNo, Encrypt(name), url});
        Ids.insert(name, Conn.LastInsertId());
    }
}

// The key of a type or record by its name; "Root" and "SearchResult" as they are.
QString Key(const QString& name)
{
    return Ids.contains(name) ? u'_' + QString::number(Ids.value(name)) : name;
}

// Every record as "name/type" ("name/" once its type is gone), sorted; then "|" and the types.
QStringList Book()
{
    QStringList book;
    Recordset rs;
    for (rs.Open(u"SELECT Name, TypeName FROM VPWDTable"_s, Conn); !rs.IsEOF(); rs.MoveNext()) {
        book.append(Decrypt(rs.Text(u"Name")) + u'/' + rs.Text(u"TypeName"));
    }
    book.sort();
    book.append(u"|"_s);
    for (rs.Open(u"SELECT TypeName FROM PWDType ORDER BY TypeNo"_s, Conn); !rs.IsEOF(); rs.MoveNext()) {
        book.append(rs.Text(u"TypeName"));
    }
    return book;
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

// Selects the rows of these names (the last one becomes the current row) and focuses a widget.
void SelectAndFocus(frmMain* w, const QStringList& names, QWidget* focus)
{
    w->UnselectAll();
    for (const QString& name : names) {
        w->ListView1->selectionModel()->setCurrentIndex(w->ListModel()->index(w->ListModel()->RowOfKey(Key(name)), 0),
                                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    w->activateWindow();
    QApplication::setActiveWindow(w);
    focus->setFocus();
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

} // namespace

class tst_Commands : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        Ids.clear();
        m_platform = std::make_unique<RecordingPlatform>();
        m_folder = std::make_unique<TestProgramFolder>();
    }
    void cleanup();
    void commandState_data();
    void commandState();
    void deleteRecords_data();
    void deleteRecords();
    void deleteType_data();
    void deleteType();
    void doubleClick_data();
    void doubleClick();
    void drop_data();
    void drop();
    void cancelledDragClearsHighlight();

private:
    frmMain* Open(const QString& node) // the main window, showing the node of this name
    {
        m_window = new frmMain();
        m_window->LoadTreeData(Key(node));
        return m_window;
    }

    std::unique_ptr<RecordingPlatform> m_platform;
    std::unique_ptr<TestProgramFolder> m_folder;
    QPointer<frmMain> m_window;
};

void tst_Commands::cleanup()
{
    if (m_window) {
        m_window->mnuPM->close();
        m_window->close();
        delete m_window.data();
    }
    FormInstance<frmPWD>::Unload();
    FormInstance<frmLogin>::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
    m_folder.reset();
    m_platform.reset();
}

void tst_Commands::commandState_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("row");   // the list's current row, "" for none
    QTest::addColumn<QString>("focus"); // "tree", "list" or "search" (the search box)
    QTest::addColumn<QString>("url");   // Ann's web address
    QTest::addColumn<QString>("enabled");
    auto row = [](const char* name, const char* node, const char* current, const char* focus, const char* enabled,
                  const char* url = "https://ann.example.org/") {
        QTest::newRow(name) << QString(node) << QString(current) << QString(focus) << QString(url) << QString(enabled);
    };
    row("tree on root", "Root", "", "tree", "");
    row("tree on search node", "SearchResult", "Ann", "tree", "SelectAll");
    row("tree on a type", "Friends", "Ann", "tree", "EditRec DeleteRec SelectAll");
    row("list, record without address (Null)", "Friends", "Ben", "list", "EditRec DeleteRec SelectAll");
    row("list, no current row", "Friends", "", "list", "SelectAll");
    row("list, type row", "Root", "Friends", "list", "EditRec DeleteRec");
    row("search box acts on the list", "Friends", "Ann", "search", "EditRec DeleteRec Url SelectAll");
    row("address only a scheme", "Friends", "Ann", "list", "EditRec DeleteRec SelectAll", " hTtP:// ");
    row("address with blanks", "Friends", "Ann", "list", "EditRec DeleteRec Url SelectAll", "  http://x.org/a?b=1 ");
}

void tst_Commands::commandState()
{
    QFETCH(QString, node);
    QFETCH(QString, row);
    QFETCH(QString, focus);
    QFETCH(QString, url);
    QFETCH(QString, enabled);
    AddRecords(AddType("Friends"), {"Ann"}, url);
    AddRecords(Ids.value("Friends"), {"Ben"});
    const QStringList before = Book();

    frmMain* w = Open(node);
    QWidget* target = focus == "tree" ? static_cast<QWidget*>(w->TreeView1)
                                      : (focus == "list" ? static_cast<QWidget*>(w->ListView1) : w->txtValue);
    SelectAndFocus(w, row.isEmpty() ? QStringList() : QStringList{row}, target);
    QCOMPARE(w->focusWidget(), target);
    QCOMPARE(EnabledCommands(w), enabled);

    // The address goes to the desktop as stored, without the blanks around it.
    w->findChild<QAction*>("Toolbar1_Url")->trigger();
    const bool opens = enabled.contains("Url");
    QCOMPARE(m_platform->Sequence(), opens ? u"104,url"_s : QString());
    QCOMPARE(m_platform->calls.value(1).text, opens ? url.trimmed() : QString());

    // The Delete key asks exactly when the delete command is on; Cancel changes nothing.
    m_platform->calls.clear();
    m_platform->answers = {MsgResult::Cancel};
    QTest::keyRelease(target, Qt::Key_Delete);
    QCOMPARE(m_platform->Boxes().size(), focus != "search" && enabled.contains("DeleteRec") ? 1 : 0);
    QCOMPARE(Book(), before);
    QCOMPARE(EnabledCommands(w), enabled);
}

void tst_Commands::deleteRecords_data()
{
    QTest::addColumn<QStringList>("selected"); // of a to f; the last one is the current row
    QTest::addColumn<QString>("rightClick");   // before the delete: "" none, or the row clicked
    QTest::addColumn<QString>("meanwhile");    // see Meanwhile()
    QTest::addColumn<QString>("after");        // see ListState()
    QTest::newRow("scattered") << QStringList{"e", "b", "d"} << ""
                               << ""
                               << "a [c*] f";
    QTest::newRow("last row") << QStringList{"f"} << ""
                              << ""
                              << "a b c d [e*]";
    QTest::newRow("every row") << QStringList{"a", "b", "c", "d", "e", "f"} << ""
                               << ""
                               << "";
    // Nothing half-done: b goes first, then d fails and b comes back.
    QTest::newRow("database refuses one") << QStringList{"b", "d"} << ""
                                          << "refuse:d"
                                          << "a b c d e f";
    // The pop-up's Delete acts on what the right-click left selected.
    QTest::newRow("right-click on a selected row") << QStringList{"b", "d"} << "b"
                                                   << ""
                                                   << "a [c*] e f";
    QTest::newRow("right-click on another row") << QStringList{"b", "d"} << "c"
                                                << ""
                                                << "a b [d*] e f";
}

void tst_Commands::deleteRecords()
{
    QFETCH(QStringList, selected);
    QFETCH(QString, rightClick);
    QFETCH(QString, meanwhile);
    QFETCH(QString, after);
    AddRecords(AddType("T"), {"a", "b", "c", "d", "e", "f"});
    AddRecords(AddType("Other"), {"x"});

    frmMain* w = Open("T");
    SelectAndFocus(w, selected, w->ListView1);
    Meanwhile(meanwhile);
    if (rightClick.isEmpty()) {
        QTest::keyRelease(w->ListView1, Qt::Key_Delete);
    } else {
        QTest::mousePress(w->ListView1->viewport(), Qt::RightButton, {}, RowPoint(w, rightClick));
        QVERIFY(w->mnuPM->isVisible());
        w->mnuPM->close();
        w->findChild<QAction*>("mnuDeleteRec2")->trigger();
    }

    const bool refused = !meanwhile.isEmpty();
    QCOMPARE(m_platform->Sequence(), refused ? u"101,box,104,103,box,104"_s : u"101,box,104"_s);
    QCOMPARE(m_platform->Boxes().last().icon, refused ? MsgIcon::Critical : MsgIcon::Warning);
    QStringList book{"x/Other"};
    for (const QString& record :
         QString(after).remove(u'[').remove(u']').remove(u'*').split(u' ', Qt::SkipEmptyParts)) {
        book.append(record + u"/T"_s);
    }
    book.sort();
    QCOMPARE(Book(), (book + QStringList{"|", "T", "Other"}));
    QCOMPARE(NodeKey(w), Key("T"));
    QCOMPARE(ListState(w), after);
    QCOMPARE(EnabledCommands(w).contains("DeleteRec"), after.contains(u'['));
}

void tst_Commands::deleteType_data()
{
    QTest::addColumn<QString>("from"); // "tree": the type's node; "list": its row in the root's list
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("meanwhile"); // see Meanwhile()
    QTest::addColumn<QString>("node");      // the tree's current node afterwards
    QTest::addColumn<QString>("list");      // see ListState()
    const QStringList abc{"A", "B", "C"};
    QTest::newRow("tree, middle type") << "tree" << abc << "B"
                                       << ""
                                       << "C"
                                       << "c1";
    QTest::newRow("tree, last type") << "tree" << abc << "C"
                                     << ""
                                     << "B"
                                     << "b1";
    QTest::newRow("tree, only type") << "tree" << QStringList{"A"} << "A"
                                     << ""
                                     << "Root"
                                     << "";
    QTest::newRow("list, last row") << "list" << abc << "C"
                                    << ""
                                    << "Root"
                                    << "A [B*]";
    QTest::newRow("list, gone meanwhile") << "list" << abc << "A"
                                          << "typeGone:A"
                                          << "Root"
                                          << "[B*] C";
}

void tst_Commands::deleteType()
{
    QFETCH(QString, from);
    QFETCH(QStringList, types);
    QFETCH(QString, type);
    QFETCH(QString, meanwhile);
    QFETCH(QString, node);
    QStringList book;
    for (const QString& name : std::as_const(types)) {
        AddRecords(AddType(name), {name.toLower() + u'1'});
        book.append(name.toLower() + u"1/"_s + (name == type ? QString() : name));
    }

    frmMain* w = Open(from == "tree" ? type : u"Root"_s);
    SelectAndFocus(w, from == "list" ? QStringList{type} : QStringList(),
                   from == "tree" ? static_cast<QWidget*>(w->TreeView1) : w->ListView1);
    Meanwhile(meanwhile);
    m_platform->answers = {MsgResult::Ok};
    w->findChild<QAction*>("mnuDeleteRec")->trigger();

    QCOMPARE(m_platform->Sequence(), u"101,box,104"_s);
    types.removeOne(type);
    QCOMPARE(Book(), book + QStringList{"|"} + types); // the records stay, whatever became of their type
    QVERIFY(w->NodeByKey(Key(type)) == nullptr);
    QCOMPARE(NodeKey(w), Key(node));
    QVERIFY(w->TreeView1->currentItem()->isSelected());
    QTEST(ListState(w), "list");
    // Edit and Delete follow what is now selected.
    QCOMPARE(EnabledCommands(w).contains("DeleteRec"), from == "list" || node != "Root");
}

void tst_Commands::doubleClick_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("row");    // "" for empty space
    QTest::addColumn<QString>("editor"); // what opened: "new:<type chosen>", "edit:<record>", "" nothing
    QTest::addColumn<QString>("nodeAfter");
    QTest::newRow("record list, empty space") << "Friends"
                                              << ""
                                              << "new:Friends"
                                              << "Friends";
    QTest::newRow("search results, empty space") << "SearchResult"
                                                 << ""
                                                 << "new:Work"
                                                 << "SearchResult";
    QTest::newRow("type list, a type") << "Root"
                                       << "Friends"
                                       << ""
                                       << "Friends";
    QTest::newRow("record list, a record") << "Friends"
                                           << "Ben"
                                           << "edit:Ben"
                                           << "Friends";
}

void tst_Commands::doubleClick()
{
    QFETCH(QString, node);
    QFETCH(QString, row);
    QFETCH(QString, nodeAfter);
    AddRecords(AddType("Work"), {"Cid"}); // the first type
    AddRecords(AddType("Friends"), {"Ann", "Ben"});
    const QStringList before = Book();

    frmMain* w = Open(node);
    const QPoint at = RowPoint(w, row);
    QVERIFY(w->ListView1->indexAt(at).isValid() != row.isEmpty());
    QString opened;
    QTimer::singleShot(0, this, [&] {
        if (frmPWD* form = FormInstance<frmPWD>::IfLoaded(); form && form->isVisible()) {
            opened = form->EditMode() ? "edit:" + Ids.key(form->PWDID())
                                      : "new:" + form->findChild<QComboBox*>("txtTypeNo")->currentText();
            form->reject();
        }
    });
    // The first click of a double-click, then the second.
    QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w->ListView1->viewport(), Qt::LeftButton, {}, at);

    QTEST(opened, "editor");
    QCOMPARE(NodeKey(w), Key(nodeAfter));
    QCOMPARE(w->ListModel()->rowCount(), nodeAfter == "SearchResult" ? 3 : 2);
    QCOMPARE(Book(), before);
}

void tst_Commands::drop_data()
{
    // Home holds Ann (1), Ben (2) and Cid (3), Work holds Dora (4); Spare is empty.
    QTest::addColumn<QString>("source");    // the node whose selected rows are dragged
    QTest::addColumn<QStringList>("rows");  // the rows dragged, or {text} for text from elsewhere
    QTest::addColumn<QString>("target");    // a node, "" for empty space
    QTest::addColumn<QString>("meanwhile"); // see Meanwhile()
    QTest::addColumn<QStringList>("moved"); // the records now in Spare, {"refused"} when the drag is refused
    auto row = [](const char* name, const char* source, const QStringList& rows, const char* target,
                  const char* meanwhile, const QStringList& moved) {
        QTest::newRow(name) << QString(source) << rows << QString(target) << QString(meanwhile) << moved;
    };
    row("rows of a type", "Home", {"Cid", "Ann"}, "Spare", "", {"Ann", "Cid"});
    row("search results", "SearchResult", {"Dora", "Ben"}, "Spare", "", {"Ben", "Dora"});
    row("onto the root", "Home", {"Ann"}, "Root", "", {"refused"});
    row("onto empty space", "Home", {"Ann"}, "", "", {"refused"});
    row("type gone meanwhile", "Home", {"Ann"}, "Spare", "typeGone:Spare", {});
    row("database refuses one", "Home", {"Ann", "Cid"}, "Spare", "refuse:Cid", {});
    row("text: two records", "Root", {"Morvanta:1,3"}, "Spare", "", {"Ann", "Cid"});
    // Anything else another program may drag; none of it is a record drag.
    for (const QString& text :
         {u"Morvanta:"_s, u"Morvanta:3,x"_s, u"Morvanta:1;2"_s, u"Morvanta:99999999999"_s, u"Morvanta:2147483648"_s,
          u"morvanta:3"_s, u"Morvanta:3,"_s, u"Morvanta:1 OR 1=1"_s, u"Hello from another program"_s, QString()}) {
        const QByteArray name = text.isNull() ? "no text" : "text: " + text.toUtf8();
        QTest::newRow(name.constData()) << u"Root"_s << QStringList{text} << u"Spare"_s << QString()
                                        << QStringList{"refused"};
    }
}

void tst_Commands::drop()
{
    QFETCH(QString, source);
    QFETCH(QStringList, rows);
    QFETCH(QString, target);
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, moved);
    AddRecords(AddType("Home"), {"Ann", "Ben", "Cid"});
    AddRecords(AddType("Work"), {"Dora"});
    AddType("Spare");
    const QStringList before = Book();
    const bool accepted = moved != QStringList{"refused"};

    frmMain* w = Open(source);
    QString text = rows.first();
    if (source != "Root") {
        // The rows' numbers from the top of the list down, whatever order they were selected in.
        SelectAndFocus(w, rows, w->ListView1);
        std::sort(rows.begin(), rows.end());
        QStringList numbers;
        for (const QString& name : std::as_const(rows)) {
            numbers.append(QString::number(Ids.value(name)));
        }
        text = w->DragText();
        QCOMPARE(text, "Morvanta:" + numbers.join(u','));
    }
    const QPoint at = NodePoint(w, target);
    QCOMPARE(w->TreeView1->itemAt(at) == nullptr, target.isEmpty());
    QCOMPARE(DragOver(w, text, at), accepted ? u"accepted"_s : u"refused"_s);
    QVERIFY(w->DropHighlight() == (accepted ? w->NodeByKey(Key("Spare")) : nullptr));
    QCOMPARE(frmMain::ParseDragText(text).has_value(), accepted || target != "Spare");

    // A drop that arrives although refused (a careless source) takes nothing either.
    Meanwhile(meanwhile);
    QCOMPARE(DragOver(w, text, at, true), accepted ? u"accepted, dropped"_s : u"refused, drop refused"_s);
    QVERIFY(w->DropHighlight() == nullptr);
    QStringList after = before;
    for (QString& record : after) {
        if (moved.contains(record.section(u'/', 0, 0))) {
            record = record.section(u'/', 0, 0) + u"/Spare"_s;
        }
    }
    if (meanwhile.startsWith("typeGone")) {
        after.removeLast();
    }
    QCOMPARE(Book(), after);
    QCOMPARE(m_platform->Sequence(), meanwhile.startsWith("refuse")     ? u"103,box,104"_s
                                     : meanwhile.startsWith("typeGone") ? u"101,box,104"_s
                                                                        : QString());
    // The tree shows the target, and the list what the database holds under it.
    if (!accepted || meanwhile.startsWith("typeGone")) {
        QCOMPARE(NodeKey(w), Key(accepted ? u"Root"_s : source));
    } else {
        QCOMPARE(NodeKey(w), Key("Spare"));
        QCOMPARE(ListState(w).remove(u'[').remove(u']').remove(u'*'), moved.join(u' '));
    }
}

void tst_Commands::cancelledDragClearsHighlight()
{
    AddRecords(AddType("Home"), {"Ann", "Ben"});
    AddType("Spare");
    const QStringList before = Book();

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
    QCOMPARE(Book(), before);
}

QTEST_MAIN(tst_Commands)
#include "tst_commands.moc"
