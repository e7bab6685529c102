// The main window over a real address book: the type tree, the list of types and records, the
// column layout kept per list mode, sorting by a header click, the search bar, junk in the
// settings file, database errors during a load, and the window and splitter kept across runs.
#include "app/AppState.h"
#include "app/FormState.h"
#include "app/OperateIni.h"
#include "main/MsgBar.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const QString Section = QStringLiteral("frmMain");

qint64 AddType(const QString& name, const QVariant& description = {})
{
    Conn.Execute(QStringLiteral("INSERT INTO PWDType (TypeName, Description) VALUES (?, ?)"), {name, description});
    return Conn.LastInsertId();
}

// fields: home phone, mobile, work phone, mail, QQ, MSN, ICQ; a null string (or a missing entry)
// is stored as Null, an empty string as the empty cipher text.
qint64 AddRecord(qint64 typeNo, const QString& name, const QStringList& fields = {})
{
    QVariantList values{typeNo, Encrypt(name)};
    for (int i = 0; i < 7; ++i) {
        const QString value = fields.value(i);
        values.append(value.isNull() ? QVariant() : QVariant(Encrypt(value)));
    }
    Conn.Execute(QStringLiteral("INSERT INTO PWDTable (TypeNo, Name, F_Phone1, F_MobilePhone1, C_Phone1, EMailList, "
                                "QQ, MSN, ICQ) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 values);
    return Conn.LastInsertId();
}

QString Key(qint64 number)
{
    return QLatin1Char('_') + QString::number(number);
}

QString Setting(const QString& key)
{
    return ReadIni(Section, key, QStringLiteral("<missing>"), IniFile);
}

QString Cell(const frmMain* w, int row, int column, int role = Qt::DisplayRole)
{
    return w->ListModel()->index(row, column).data(role).toString();
}

// The texts of one column in the order the list shows them.
QStringList ColumnTexts(const frmMain* w, int column)
{
    QStringList texts;
    for (int row = 0; row < w->ListModel()->rowCount(); ++row) {
        texts.append(Cell(w, row, column));
    }
    return texts;
}

QStringList RowTexts(const frmMain* w, int row)
{
    QStringList texts;
    for (int column = 0; column < w->ListModel()->columnCount(); ++column) {
        texts.append(Cell(w, row, column));
    }
    return texts;
}

QStringList Sorted(QStringList texts)
{
    texts.sort();
    return texts;
}

// A node's key, tag and text.
QStringList Describe(const QTreeWidgetItem* node)
{
    return {node->data(0, frmMain::NodeKeyRole).toString(), node->data(0, frmMain::NodeTagRole).toString(),
            node->text(0)};
}

QString CurrentNodeKey(const frmMain* w)
{
    const QTreeWidgetItem* node = w->TreeView1->currentItem();
    return node != nullptr ? Describe(node).first() : QString();
}

// A mouse click on a tree node, the way the user changes the list.
void ClickNode(frmMain* w, const QString& key)
{
    QTreeWidgetItem* node = w->NodeByKey(key);
    QVERIFY2(node != nullptr, qPrintable(key));
    w->TreeView1->scrollToItem(node);
    QTest::mouseClick(w->TreeView1->viewport(), Qt::LeftButton, {}, w->TreeView1->visualItemRect(node).center());
    QCOMPARE(CurrentNodeKey(w), key);
}

// A mouse click on the middle of a column's header, scrolled into view first.
void ClickHeader(frmMain* w, int column)
{
    QApplication::processEvents(); // the view lays out its header after a reset
    QHeaderView* header = w->ListView1->header();
    w->ListView1->horizontalScrollBar()->setValue(header->sectionPosition(column));
    const int left = header->sectionViewportPosition(column);
    const int right = std::min(left + header->sectionSize(column), header->viewport()->width());
    QVERIFY2(right - left > 10, "column not on screen");
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint((left + right) / 2, header->height() / 2));
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void treeShape_data();
    void treeShape();
    void loadTreeDataSelects_data();
    void loadTreeDataSelects();
    void rootListsTypesWithCounts();
    void typeListsItsRecords();
    void columnLayoutKeptPerMode();
    void columnClickSorts_data();
    void columnClickSorts();
    void search_data();
    void search();
    void badSettingsKeepTheListUsable_data();
    void badSettingsKeepTheListUsable();
    void databaseErrorDuringLoad_data();
    void databaseErrorDuringLoad();
    void windowAndSplitterKeptAcrossRuns();

private:
    frmMain* Open();
    void Close(frmMain* w);

    std::unique_ptr<RecordingPlatform> m_platform;
    std::unique_ptr<TestProgramFolder> m_folder;
    QList<QPointer<frmMain>> m_windows;
};

void tst_MainWindow::init()
{
    m_platform = std::make_unique<RecordingPlatform>();
    m_folder = std::make_unique<TestProgramFolder>();
}

void tst_MainWindow::cleanup()
{
    for (const QPointer<frmMain>& w : std::as_const(m_windows)) {
        Close(w);
    }
    m_windows.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    m_folder.reset();
    m_platform.reset();
}

frmMain* tst_MainWindow::Open()
{
    auto* w = new frmMain();
    m_windows.append(w);
    return w;
}

void tst_MainWindow::Close(frmMain* w)
{
    const QPointer<frmMain> guard(w);
    if (guard) {
        guard->close(); // saves the window, splitter and column state
    }
    delete guard.data();
}

void tst_MainWindow::treeShape_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::newRow("no types") << QStringList();
    QTest::newRow("types, not in name order") << QStringList{"Work", "Family", "élan", "Family"};
}

void tst_MainWindow::treeShape()
{
    QFETCH(QStringList, types);
    QList<qint64> numbers;
    for (const QString& name : types) {
        numbers.append(AddType(name));
    }
    // A gap in the numbers, as after a deleted type.
    if (!types.isEmpty()) {
        Conn.Execute(QStringLiteral("DELETE FROM PWDType WHERE TypeNo = ?"), {numbers.takeAt(1)});
        types.removeAt(1);
    }

    frmMain* w = Open();
    QCOMPARE(w->TreeView1->topLevelItemCount(), 2);
    QTreeWidgetItem* root = w->TreeView1->topLevelItem(0);
    QCOMPARE(Describe(root), (QStringList{"Root", "Root", "Tavoren"}));
    QVERIFY(root->isExpanded());
    QCOMPARE(root->childCount(), types.size());
    for (int i = 0; i < types.size(); ++i) {
        QCOMPARE(Describe(root->child(i)), (QStringList{Key(numbers[i]), "Type", types[i]}));
    }
    QTreeWidgetItem* search = w->TreeView1->topLevelItem(1);
    QCOMPARE(Describe(search), (QStringList{"SearchResult", "SearchResult", "Search results"}));
    QCOMPARE(search->foreground(0).color(), QColor(0, 0, 255));

    // Start-up selects Root and lists the types; filling the field chooser searched nothing.
    QCOMPARE(CurrentNodeKey(w), QStringLiteral("Root"));
    QVERIFY(root->isSelected());
    QCOMPARE(w->ListMode(), QStringLiteral("Type"));
    QCOMPARE(w->ListModel()->columnCount(), 3);
    QCOMPARE(w->ListModel()->rowCount(), types.size());
    QCOMPARE(w->PanelText(1), QStringLiteral("Ready"));
    QVERIFY(m_platform->calls.isEmpty());
}

void tst_MainWindow::loadTreeDataSelects_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("selects"); // false: no node selected and the list left as it was
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("rows");
    QTest::newRow("empty key") << QString() << false << "List" << 3;
    QTest::newRow("type that no longer exists") << "_99" << false << "List" << 3;
    QTest::newRow("keys are case-sensitive") << "root" << false << "List" << 3;
    QTest::newRow("other type") << "_1" << true << "List" << 2;
    QTest::newRow("root") << "Root" << true << "Type" << 2;
    QTest::newRow("search node") << "SearchResult" << true << "List" << 5;
}

void tst_MainWindow::loadTreeDataSelects()
{
    QFETCH(QString, key);
    QFETCH(bool, selects);
    QFETCH(QString, mode);
    QFETCH(int, rows);
    const qint64 friends = AddType(QStringLiteral("Friends"));
    const qint64 work = AddType(QStringLiteral("Work"));
    AddRecord(friends, QStringLiteral("Ann"));
    AddRecord(friends, QStringLiteral("Ben"));
    for (const char* name : {"Cid", "Dora", "Eve"}) {
        AddRecord(work, QLatin1String(name));
    }

    frmMain* w = Open();
    w->LoadTreeData(Key(work));
    QCOMPARE(CurrentNodeKey(w), Key(work));

    w->LoadTreeData(key);
    QCOMPARE(CurrentNodeKey(w), selects ? key : QString());
    if (selects) {
        QVERIFY(w->NodeByKey(key)->isSelected());
    } else {
        QVERIFY(w->TreeView1->selectedItems().isEmpty());
        QCOMPARE(Sorted(ColumnTexts(w, 0)), (QStringList{"Cid", "Dora", "Eve"}));
    }
    QCOMPARE(w->TreeView1->topLevelItem(0)->childCount(), 2);
    QCOMPARE(w->ListMode(), mode);
    QCOMPARE(w->ListModel()->rowCount(), rows);
    QCOMPARE(w->PanelText(1), QStringLiteral("Ready"));
}

void tst_MainWindow::rootListsTypesWithCounts()
{
    // Names, numbers and counts each in a different order.
    const qint64 work = AddType(QStringLiteral("Work"));
    const qint64 family = AddType(QStringLiteral("family"), QStringLiteral("relatives"));
    const qint64 archive = AddType(QStringLiteral("Archive"), QStringLiteral("old stuff"));
    for (int i = 0; i < 9; ++i) {
        AddRecord(work, QStringLiteral("w%1").arg(i));
    }
    for (int i = 0; i < 10; ++i) {
        AddRecord(family, QStringLiteral("f%1").arg(i));
    }

    frmMain* w = Open();
    QCOMPARE(w->ListMode(), QStringLiteral("Type"));
    QCOMPARE(w->ListView1->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(w->ListModel()->rowCount(), 3);
    // First start: sorted by the first column, ascending, without regard to case.
    QHeaderView* header = w->ListView1->header();
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(ColumnTexts(w, 0), (QStringList{"Archive", "family", "Work"}));
    QCOMPARE(RowTexts(w, w->ListModel()->RowOfKey(Key(work))), (QStringList{"Work", "9", ""}));
    QCOMPARE(RowTexts(w, w->ListModel()->RowOfKey(Key(family))), (QStringList{"family", "10", "relatives"}));
    const int row = w->ListModel()->RowOfKey(Key(archive));
    QCOMPARE(RowTexts(w, row), (QStringList{"Archive", "0", "old stuff"}));
    QCOMPARE(Cell(w, row, 0, RecordListModel::TagRole), QStringLiteral("Type"));
    const QModelIndex count = w->ListModel()->index(row, 1);
    QVERIFY(Qt::Alignment(count.data(Qt::TextAlignmentRole).toInt()) & Qt::AlignRight);
    QCOMPARE(count.data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));

    // The count sorts as a number: 9 before 10.
    ClickHeader(w, 1);
    QCOMPARE(ColumnTexts(w, 1), (QStringList{"0", "9", "10"}));
    QCOMPARE(ColumnTexts(w, 0), (QStringList{"Archive", "Work", "family"}));
    ClickHeader(w, 1);
    QCOMPARE(ColumnTexts(w, 1), (QStringList{"10", "9", "0"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

void tst_MainWindow::typeListsItsRecords()
{
    const qint64 friends = AddType(QStringLiteral("Friends"));
    const qint64 other = AddType(QStringLiteral("Other"));
    const qint64 mixed = AddType(QStringLiteral("Mixed"));
    const qint64 empty = AddType(QStringLiteral("Empty"));
    const QStringList full{"01 23", "06 11", "09 87", "zoe@example.org; z@example.net", "12345", "zoe@msn", "777"};
    const qint64 zoe = AddRecord(friends, QStringLiteral("Zoë Ünal"), full);
    AddRecord(friends, QStringLiteral("Bare"));                               // every field Null
    AddRecord(friends, QStringLiteral("Blank"), QStringList(7, QString(""))); // every field empty
    AddRecord(other, QStringLiteral("Not listed"), full);
    // Stored texts that are not cipher text: not hexadecimal, lower case, odd length, plain text.
    for (const char* junk : {"ZZ", "4a5b6c", "ABC", "7", "Hello, world"}) {
        Conn.Execute(QStringLiteral("INSERT INTO PWDTable (TypeNo, Name, F_Phone1, EMailList) VALUES (?, ?, ?, ?)"),
                     {mixed, QLatin1String(junk), Encrypt(QStringLiteral("555")), QLatin1String(junk)});
    }

    frmMain* w = Open();
    ClickNode(w, Key(friends));
    QCOMPARE(w->ListMode(), QStringLiteral("List"));
    QCOMPARE(w->ListView1->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(w->PanelText(1), QStringLiteral("Ready"));
    QCOMPARE(w->ListModel()->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const bool isZoe = Cell(w, row, 0, RecordListModel::KeyRole) == Key(zoe);
        QCOMPARE(RowTexts(w, row).mid(1), isZoe ? full : QStringList(7));
        QCOMPARE(Cell(w, row, 0, RecordListModel::TagRole), QStringLiteral("List"));
    }
    QVERIFY(ColumnTexts(w, 0).contains(QStringLiteral("Zoë Ünal")));

    // Junk in a field lists, sorts and searches without harm.
    ClickNode(w, Key(mixed));
    QCOMPARE(ColumnTexts(w, 1), QStringList(5, QStringLiteral("555")));
    ClickHeader(w, 4);
    ClickHeader(w, 0);
    w->txtValue->setText(QStringLiteral("o"));
    QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    QCOMPARE(w->PanelText(1), QStringLiteral("Ready"));

    // An empty type: an empty list, the record columns, and no "no records" bar.
    ClickNode(w, Key(empty));
    QCOMPARE(w->ListModel()->rowCount(), 0);
    QCOMPARE(w->ListModel()->columnCount(), 8);
    QVERIFY(!w->findChild<MsgBar*>(QStringLiteral("MsgBar"))->isVisible());
    QVERIFY(m_platform->Boxes().isEmpty());
}

void tst_MainWindow::columnLayoutKeptPerMode()
{
    const qint64 friends = AddType(QStringLiteral("Friends"));
    const qint64 few = AddType(QStringLiteral("Few"));
    AddType(QStringLiteral("None"));
    AddRecord(friends, QStringLiteral("Carol"), {"", "300"});
    AddRecord(friends, QStringLiteral("alice"), {"", "100"});
    AddRecord(friends, QStringLiteral("Bob"), {"", "200"});
    AddRecord(few, QStringLiteral("Dan"), {"", "050"});

    frmMain* w = Open();
    const int tx = TwipsPerPixelX(w);
    QHeaderView* header = w->ListView1->header();
    QCOMPARE(header->sectionSize(1), TwipsToPixels(800, tx));

    ClickNode(w, Key(friends));
    QCOMPARE(header->sectionSize(0), TwipsToPixels(1440, tx));
    QCOMPARE(header->sectionSize(4), TwipsToPixels(3000, tx)); // the mail column of a type's list
    header->resizeSection(1, 211);
    header->moveSection(header->visualIndex(3), 0);
    ClickHeader(w, 2);
    QCOMPARE(ColumnTexts(w, 0), (QStringList{"alice", "Bob", "Carol"}));

    ClickNode(w, QStringLiteral("Root"));
    QCOMPARE(w->ListView1->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(header->count(), 3);
    QCOMPARE(header->sectionSize(1), TwipsToPixels(800, tx));
    QCOMPARE(header->visualIndex(0), 0);
    QCOMPARE(header->sortIndicatorSection(), 0);
    header->resizeSection(2, 177);
    ClickHeader(w, 1);
    ClickHeader(w, 1);
    QCOMPARE(ColumnTexts(w, 1), (QStringList{"3", "1", "0"}));

    // Records of a type and the search results share one layout.
    for (const QString& key : {Key(friends), QStringLiteral("SearchResult")}) {
        ClickNode(w, key);
        QCOMPARE(header->count(), 8);
        QCOMPARE(header->sectionSize(1), 211);
        QCOMPARE(header->logicalIndex(0), 3);
        QCOMPARE(header->sortIndicatorSection(), 2);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(ColumnTexts(w, 2).first(), key == Key(friends) ? QStringLiteral("100") : QStringLiteral("050"));
    }
    ClickNode(w, QStringLiteral("Root"));
    QCOMPARE(header->sectionSize(2), 177);
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    ClickNode(w, Key(few));

    Close(w);
    // Widths in twips, positions counted from 1.
    QCOMPARE(Setting(QStringLiteral("List_HW2")), QString::number(211 * tx));
    QCOMPARE(Setting(QStringLiteral("List_HP4")), QStringLiteral("1"));
    QCOMPARE(Setting(QStringLiteral("List_SortKey")), QStringLiteral("2"));
    QCOMPARE(Setting(QStringLiteral("Type_HW3")), QString::number(177 * tx));
    QCOMPARE(Setting(QStringLiteral("Type_SortOrder")), QStringLiteral("1"));

    // A new window comes back with both layouts.
    w = Open();
    header = w->ListView1->header();
    QCOMPARE(header->sectionSize(2), 177);
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(ColumnTexts(w, 1), (QStringList{"3", "1", "0"}));
    ClickNode(w, Key(friends));
    QCOMPARE(header->sectionSize(1), 211);
    QCOMPARE(header->logicalIndex(0), 3);
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(ColumnTexts(w, 2), (QStringList{"100", "200", "300"}));
}

void tst_MainWindow::columnClickSorts_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("values");    // in the order the records are stored
    QTest::addColumn<QStringList>("ascending"); // as the list shows them after one click
    QTest::newRow("name, case ignored") << 0 << QStringList{"bob", "Alice", "carol", "Dave"}
                                        << QStringList{"Alice", "bob", "carol", "Dave"};
    QTest::newRow("mail, case ignored") << 4 << QStringList{"b@x.org", "D@x.org", "a@x.org", "C@x.org"}
                                        << QStringList{"a@x.org", "b@x.org", "C@x.org", "D@x.org"};
    QTest::newRow("phone, as text") << 1 << QStringList{"9", "100", "2", "10"} << QStringList{"10", "100", "2", "9"};
    QTest::newRow("empty cells first") << 6 << QStringList{"m", QString(), "K", ""} << QStringList{"", "", "K", "m"};
}

void tst_MainWindow::columnClickSorts()
{
    QFETCH(int, column);
    QFETCH(QStringList, values);
    QFETCH(QStringList, ascending);
    const qint64 type = AddType(QStringLiteral("T"));
    for (int i = 0; i < values.size(); ++i) {
        QStringList fields(7);
        if (column > 0) {
            fields[column - 1] = values[i];
        }
        AddRecord(type, column == 0 ? values[i] : QStringLiteral("r%1").arg(i), fields);
    }

    frmMain* w = Open();
    ClickNode(w, Key(type));
    QHeaderView* header = w->ListView1->header();
    QCOMPARE(header->sortIndicatorSection(), 0); // the list starts sorted by its first column
    ClickHeader(w, 7);                           // so that the next click is a first click
    QCOMPARE(header->sortIndicatorSection(), 7);

    ClickHeader(w, column);
    QCOMPARE(ColumnTexts(w, column), ascending);
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);

    ClickHeader(w, column);
    std::reverse(ascending.begin(), ascending.end());
    QCOMPARE(ColumnTexts(w, column), ascending);
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

void tst_MainWindow::search_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text"); // a null string leaves the prompt untouched
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<bool>("chooseField"); // picking the field runs the search, not the button
    const QStringList all{"Alice Smith", "bob jones", "Carol", "Dave Smith"};
    QTest::newRow("prompt untouched") << 0 << QString() << all << false;
    QTest::newRow("prompt untouched, any field") << 4 << QString() << all << false;
    QTest::newRow("substring") << 0 << "Smith" << QStringList{"Alice Smith", "Dave Smith"} << false;
    QTest::newRow("surrounding spaces trimmed")
        << 0 << "  Smith  " << QStringList{"Alice Smith", "Dave Smith"} << false;
    QTest::newRow("inner space kept") << 0 << "e S" << QStringList{"Alice Smith", "Dave Smith"} << false;
    QTest::newRow("case matters") << 0 << "smith" << QStringList() << false;
    QTest::newRow("case matters in mail") << 4 << "example" << QStringList{"bob jones"} << false;
    QTest::newRow("empty text: field not empty") << 4 << "" << QStringList{"bob jones", "Carol"} << false;
    QTest::newRow("blank text: field not empty") << 1 << "   " << QStringList{"Alice Smith", "Dave Smith"} << false;
    QTest::newRow("deciphered text matched") << 1 << "5-1" << QStringList{"Alice Smith"} << false;
    QTest::newRow("last field") << 7 << "42" << QStringList{"Carol"} << false;
    QTest::newRow("chosen field searches at once") << 1 << "5-1" << QStringList{"Alice Smith"} << true;
    QTest::newRow("prompt plus a space is a text") << 0 << "<Search Value> " << QStringList() << false;
}

void tst_MainWindow::search()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    QFETCH(bool, chooseField);
    const qint64 first = AddType(QStringLiteral("First"));
    const qint64 second = AddType(QStringLiteral("Second"));
    AddRecord(first, QStringLiteral("Alice Smith"), {"555-1234"});
    AddRecord(first, QStringLiteral("bob jones"), {"", "", "", "bob@example.com"});
    AddRecord(first, QStringLiteral("Carol"), {QString(), "", "", "carol@EXAMPLE.com", "", "", "4242"});
    AddRecord(second, QStringLiteral("Dave Smith"), {"777"});

    frmMain* w = Open();
    w->txtField->setCurrentIndex(chooseField ? field - 1 : field); // choosing from the program does not search
    if (!text.isNull()) {
        w->txtValue->setText(text);
    }
    QCOMPARE(CurrentNodeKey(w), QStringLiteral("Root"));
    if (chooseField) {
        QTest::keyClick(w->txtField, Qt::Key_Down); // the user picks the next field
        QCOMPARE(w->txtField->currentIndex(), field);
    } else {
        QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    }

    QCOMPARE(m_platform->Sounds(), QList<int>{104});
    QCOMPARE(CurrentNodeKey(w), QStringLiteral("SearchResult"));
    QVERIFY(w->NodeByKey(QStringLiteral("SearchResult"))->isSelected());
    QCOMPARE(w->ListMode(), QStringLiteral("List"));
    QCOMPARE(w->ListModel()->columnCount(), 8);
    QCOMPARE(w->ListView1->header()->sectionSize(4), TwipsToPixels(1440, TwipsPerPixelX(w)));
    // An empty search text is found in any non-empty field, but not in an empty one.
    QCOMPARE(Sorted(ColumnTexts(w, 0)), Sorted(found));
    QCOMPARE(w->PanelText(1), QStringLiteral("Ready"));
    auto* bar = w->findChild<MsgBar*>(QStringLiteral("MsgBar"));
    QVERIFY(bar != nullptr);
    QCOMPARE(bar->isVisible(), found.isEmpty());
    if (found.isEmpty()) {
        QCOMPARE(bar->Text(), QStringLiteral("No matching contacts"));
        QVERIFY(bar->width() > 0 && bar->height() > 0);
    }

    // Any other node hides the bar again.
    ClickNode(w, Key(first));
    QVERIFY(!bar->isVisible());
    QCOMPARE(w->ListModel()->rowCount(), 3);
}

void tst_MainWindow::badSettingsKeepTheListUsable_data()
{
    QTest::addColumn<QString>("settings");
    QTest::newRow("negative") << "List_HW1=-1440\nList_HW2=-1\nList_HP1=-2\nList_HP2=0\nList_SortKey=-1\n"
                                 "List_SortOrder=-1\nType_HW2=-800\nType_HP1=-1\nType_SortKey=-5\nSplitter=-2000\n";
    QTest::newRow("huge") << "List_HW1=2147483647\nList_HW3=99999999999999999999\nList_HP1=40000\nList_HP2=9\n"
                             "List_SortKey=32768\nList_SortOrder=2\nType_HW1=1e308\nType_SortKey=3\n"
                             "Type_SortOrder=4294967296\nSplitter=2147483647\n";
    QTest::newRow("not numbers") << "List_HW1=wide\nList_HW2=\nList_HP1=first\nList_HP3=0x2\nList_SortKey=Name\n"
                                    "List_SortOrder=down\nType_HW1=\nType_HP2=x\nType_SortKey=??\n"
                                    "Type_SortOrder=NaN\nSplitter=left\n";
    QTest::newRow("every column first") << "List_HP1=1\nList_HP2=1\nList_HP3=1\nList_HP4=1\nList_HP5=1\n"
                                           "List_HP6=1\nList_HP7=1\nList_HP8=1\nType_HP1=3\nType_HP2=3\n"
                                           "Type_HP3=3\n";
}

void tst_MainWindow::badSettingsKeepTheListUsable()
{
    QFETCH(QString, settings);
    QFile file(IniFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[frmMain]\n" + settings.toUtf8());
    file.close();
    const qint64 type = AddType(QStringLiteral("T"));
    AddType(QStringLiteral("U"));
    AddRecord(type, QStringLiteral("b"), {"2"});
    AddRecord(type, QStringLiteral("a"), {"3"});
    AddRecord(type, QStringLiteral("c"), {"1"});

    frmMain* w = Open();
    QCOMPARE(w->ListModel()->rowCount(), 2);
    QCOMPARE(w->PanelText(1), QStringLiteral("Ready"));
    ClickNode(w, Key(type));
    QCOMPARE(w->ListModel()->rowCount(), 3);
    QCOMPARE(w->PanelText(1), QStringLiteral("Ready"));
    QHeaderView* header = w->ListView1->header();
    QList<int> positions;
    for (int i = 0; i < header->count(); ++i) {
        QVERIFY2(header->sectionSize(i) > 0 && header->sectionSize(i) <= 32000,
                 qPrintable(QString::number(header->sectionSize(i))));
        positions.append(header->visualIndex(i));
    }
    std::sort(positions.begin(), positions.end());
    QCOMPARE(positions, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    QVERIFY(header->sortIndicatorSection() >= 0 && header->sortIndicatorSection() < 8);
    ClickHeader(w, 1);
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(ColumnTexts(w, 1), (QStringList{"1", "2", "3"}));
    QVERIFY(w->Splitter->sizes().first() > 0 && w->Splitter->sizes().last() > 0);
    QVERIFY(m_platform->Boxes().isEmpty());
}

void tst_MainWindow::databaseErrorDuringLoad_data()
{
    // The tree reload loses the types table, every list load the records table.
    QTest::addColumn<QString>("action"); // "tree", "search" or the key of the node clicked
    QTest::addColumn<QString>("before"); // the node shown before the table goes (none: Root)
    QTest::newRow("tree") << "tree" << QString();
    QTest::newRow("type list") << "_1" << QString();
    QTest::newRow("type counts") << "Root" << QStringLiteral("_1");
    QTest::newRow("search") << "search" << QString();
}

void tst_MainWindow::databaseErrorDuringLoad()
{
    QFETCH(QString, action);
    QFETCH(QString, before);
    const qint64 type = AddType(QStringLiteral("T"));
    AddRecord(type, QStringLiteral("a"));
    AddRecord(type, QStringLiteral("b"));

    frmMain* w = Open();
    if (!before.isEmpty()) {
        ClickNode(w, before);
    }
    const int rowsBefore = w->ListModel()->rowCount();
    const bool tree = action == QLatin1String("tree");
    const bool search = action == QLatin1String("search");
    Conn.Execute(QStringLiteral("DROP TABLE ") + (tree ? QStringLiteral("PWDType") : QStringLiteral("PWDTable")));
    m_platform->calls.clear();
    if (tree) {
        w->LoadTreeData(QStringLiteral("Root"));
    } else if (search) {
        QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    } else {
        ClickNode(w, action);
    }

    // The search's own click sound, then the error report.
    QCOMPARE(m_platform->Sequence(), search ? QStringLiteral("104,103,box,104") : QStringLiteral("103,box,104"));
    QCOMPARE(m_platform->Boxes().first().icon, MsgIcon::Critical);
    QVERIFY(!m_platform->Boxes().first().text.isEmpty());
    QCOMPARE(w->PanelText(1), QStringLiteral("Error"));
    QVERIFY(QApplication::overrideCursor() == nullptr);

    QHeaderView* header = w->ListView1->header();
    const int sortColumn = header->sortIndicatorSection();
    ClickHeader(w, 1);
    if (tree) {
        // The list was not reloaded: it still shows what it showed and still sorts.
        QCOMPARE(w->ListModel()->rowCount(), rowsBefore);
        QCOMPARE(header->sortIndicatorSection(), 1);
    } else {
        // A list load that failed leaves sorting off: a header click does nothing.
        QCOMPARE(header->sortIndicatorSection(), sortColumn);
    }
    QCOMPARE(m_platform->Boxes().size(), 1);
}

void tst_MainWindow::windowAndSplitterKeptAcrossRuns()
{
    frmMain* w = Open();
    const int tx = TwipsPerPixelX(w);
    QCOMPARE(w->Splitter->sizes().first(), TwipsToPixels(2190, tx)); // nothing stored yet
    const int total = w->Splitter->sizes().first() + w->Splitter->sizes().last();
    w->Splitter->setSizes({300, total - 300});
    w->showMaximized();
    QTRY_VERIFY(w->isMaximized());
    QCOMPARE(w->Splitter->sizes().first(), 300);
    Close(w);
    QCOMPARE(Setting(QStringLiteral("WindowState")), QStringLiteral("2"));
    QCOMPARE(Setting(QStringLiteral("Splitter")), QString::number(300 * tx));

    w = Open();
    QVERIFY(w->isMaximized());
    QCOMPARE(w->Splitter->sizes().first(), 300);
    w->showNormal();
    Close(w);

    // A position beyond the window (a smaller screen since) puts the splitter in the middle.
    QVERIFY(WriteIni(Section, QStringLiteral("Splitter"), QStringLiteral("999999"), IniFile));
    w = Open();
    QVERIFY(!w->isMaximized());
    const int left = w->Splitter->sizes().first();
    QVERIFY2(qAbs(left - w->Splitter->width() / 2) <= w->Splitter->handleWidth(),
             qPrintable(QStringLiteral("%1 of %2").arg(left).arg(w->Splitter->width())));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
