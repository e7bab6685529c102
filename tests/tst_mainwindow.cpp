// The main window over a real address book: the type tree, the list of types and records, the
// column layout kept per list mode, sorting by a header click, the search bar, junk in the
// settings file, database errors during a load, and the window and splitter kept across runs.
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <optional>
#include <tuple>

#include "core/AppState.h"
#include "core/OperateIni.h"
#include "main/MsgBar.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/FormState.h"

using namespace Qt::StringLiterals;

namespace {

using namespace Book;

// The texts of one column in the order the list shows them, or with row >= 0 those of one row.
QStringList Texts(const frmMain* w, int column, int row = -1)
{
    QStringList texts;
    for (int i = 0; i < (row < 0 ? w->ListModel()->rowCount() : w->ListModel()->columnCount()); ++i) {
        texts.append(w->ListModel()->index(row < 0 ? i : row, row < 0 ? column : i).data().toString());
    }
    return texts;
}

// A node's key, tag and text.
QStringList Describe(const QTreeWidgetItem* node)
{
    static const char* const kinds[] = {"None", "Root", "Type", "Search"};
    return {TypeTree::KeyOf(node), QLatin1String(kinds[static_cast<int>(TypeTree::KindOf(node))]), node->text(0)};
}

QString CurrentNodeKey(const frmMain* w)
{
    return w->TreeView1->currentItem() ? Describe(w->TreeView1->currentItem()).first() : QString();
}

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
    void init() { m_world.emplace(); }
    void cleanup();
    void startUp();
    void typeListsItsRecords();
    void listingAgainShowsChanges();
    void layoutKeptPerModeAndAcrossRuns();
    void columnClickSorts_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void columnClickSorts();
    void sortImageBesideTheCaption_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void sortImageBesideTheCaption();
    void choosersTakePlainTitles_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void choosersTakePlainTitles();
    void search_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void search();
    void badSettingsKeepTheListUsable_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void badSettingsKeepTheListUsable();
    void databaseErrorDuringLoad_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void databaseErrorDuringLoad();

private:
    static frmMain* Open() { return new frmMain(); } // closed when the test world goes

    std::optional<TestWorld> m_world;
};

void tst_MainWindow::cleanup()
{
    QVERIFY(QApplication::overrideCursor() == nullptr);
    m_world.reset();
}

void tst_MainWindow::startUp()
{
    // Names, numbers and counts each in a different order, and a gap in the numbers.
    const qint64 work = AddType(u"Work"_s);
    Conn.Execute(u"DELETE FROM PWDType WHERE TypeNo = ?"_s, {AddType(u"Gone"_s)});
    const qint64 family = AddType(u"family"_s, u"relatives"_s);
    const qint64 archive = AddType(u"Archive"_s, u"old stuff"_s);
    for (int i = 0; i < 19; ++i) {
        AddRecord(i < 9 ? work : family, u"r%1"_s.arg(i));
    }

    frmMain* w = Open();
    QCOMPARE(w->TreeView1->topLevelItemCount(), 2);
    QTreeWidgetItem* root = w->TreeView1->topLevelItem(0);
    QCOMPARE(Describe(root), (QStringList{"Root", "Root", "Tavoren"}));
    QVERIFY(root->isExpanded() && root->isSelected());
    QCOMPARE(root->childCount(), 3);
    QCOMPARE(Describe(root->child(2)), (QStringList{Key(archive), "Type", "Archive"}));
    QTreeWidgetItem* search = w->TreeView1->topLevelItem(1);
    QCOMPARE(Describe(search), (QStringList{"SearchResult", "Search", "Search results"}));
    QCOMPARE(w->PanelText(1), u"Ready"_s);
    QVERIFY(m_world->platform.calls.isEmpty()); // filling the field chooser searched nothing
    QCOMPARE(w->Splitter->sizes().first(), TwipsToPixels(2190, TwipsPerPixelX(w)));

    // Root lists the types, first sorted by name without regard to case.
    QCOMPARE(CurrentNodeKey(w), u"Root"_s);
    QCOMPARE(w->ListMode(), RecordListModel::Mode::Types);
    QCOMPARE(w->ListView1->selectionMode(), QAbstractItemView::SingleSelection);
    QHeaderView* header = w->ListView1->header();
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(Texts(w, 0), (QStringList{"Archive", "family", "Work"}));
    QCOMPARE(Texts(w, 0, 1), (QStringList{"family", "10", "relatives"}));

    // The count sorts as a number: 9 before 10.
    ClickHeader(w, 1);
    QCOMPARE(Texts(w, 0), (QStringList{"Archive", "Work", "family"}));
    ClickHeader(w, 1);
    QCOMPARE(Texts(w, 1), (QStringList{"10", "9", "0"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // Loading the tree on a key selects that node; a key not found (they are case-sensitive)
    // selects nothing and leaves the list as it was.
    for (const auto& [key, selected, rows] : {std::tuple{Key(work), Key(work), 9},
                                              {u"_99"_s, QString(), 9},
                                              {u"root"_s, QString(), 9},
                                              {u"SearchResult"_s, u"SearchResult"_s, 19},
                                              {u"Root"_s, u"Root"_s, 3}}) {
        w->LoadTreeData(key);
        QCOMPARE(CurrentNodeKey(w), selected);
        QCOMPARE(w->TreeView1->selectedItems().size(), selected.isEmpty() ? 0 : 1);
        QCOMPARE(w->ListMode(), key == "Root"_L1 ? RecordListModel::Mode::Types : RecordListModel::Mode::Records);
        QCOMPARE(w->ListModel()->rowCount(), rows);
        QCOMPARE(w->TreeView1->topLevelItem(0)->childCount(), 3);
    }
}

void tst_MainWindow::typeListsItsRecords()
{
    const qint64 friends = AddType(u"Friends"_s);
    const QStringList full{"01 23", "06 11", "09 87", "zoe@example.org; z@example.net", "12345", "zoe@msn", "777"};
    AddRecord(friends, u"Zoë Ünal"_s, full);
    AddRecord(friends, u"Bare"_s);                               // every field Null
    AddRecord(friends, u"Blank"_s, QStringList(7, QString(""))); // every field empty
    AddRecord(AddType(u"Other"_s), u"Not listed"_s, full);

    frmMain* w = Open();
    ClickNode(w, Key(friends));
    QCOMPARE(Texts(w, 0), (QStringList{"Bare", "Blank", "Zoë Ünal"}));
    QCOMPARE(Texts(w, 0, 2), QStringList{"Zoë Ünal"} + full);
    QCOMPARE(Texts(w, 1) + Texts(w, 7), (QStringList{"", "", "01 23", "", "", "777"})); // Null and empty alike
}

// Listing the same type again may reuse what was read, but never past a change to the book:
// one of the window's own connection or one another connection committed.
void tst_MainWindow::listingAgainShowsChanges()
{
    const qint64 type = AddType(u"T"_s);
    AddRecord(type, u"a"_s);
    frmMain* w = Open();
    ClickNode(w, Key(type));
    QCOMPARE(Texts(w, 0), QStringList{"a"});
    ClickNode(w, u"Root"_s);
    ClickNode(w, Key(type));
    QCOMPARE(Texts(w, 0), QStringList{"a"});
    ClickNode(w, u"Root"_s);
    AddRecord(type, u"b"_s);
    ClickNode(w, Key(type));
    QCOMPARE(Texts(w, 0), (QStringList{"a", "b"}));
    ClickNode(w, u"Root"_s);
    {
        Connection other;
        other.Open(ConnectionStringForFile(m_world->folder.DatabasePath()));
        AddRecord(type, u"c"_s, {}, &other);
    }
    ClickNode(w, Key(type));
    QCOMPARE(Texts(w, 0), (QStringList{"a", "b", "c"}));
}

void tst_MainWindow::layoutKeptPerModeAndAcrossRuns()
{
    const qint64 friends = AddType(u"Friends"_s);
    const qint64 few = AddType(u"Few"_s);
    AddType(u"None"_s);
    AddRecord(friends, u"Carol"_s, {"", "300"});
    AddRecord(friends, u"alice"_s, {"", "100"});
    AddRecord(friends, u"Bob"_s, {"", "200"});
    AddRecord(few, u"Dan"_s, {"", "050"});

    frmMain* w = Open();
    const int tx = TwipsPerPixelX(w);
    QHeaderView* header = w->ListView1->header();
    QCOMPARE(header->sectionSize(1), TwipsToPixels(800, tx));
    ClickNode(w, Key(friends));
    QCOMPARE(header->sectionSize(4), TwipsToPixels(3000, tx)); // the mail column of a type's list
    header->resizeSection(1, 211);
    header->moveSection(header->visualIndex(3), 0);
    ClickHeader(w, 2);

    ClickNode(w, u"Root"_s);
    QCOMPARE(header->count(), 3);
    QCOMPARE(header->sectionSize(1), TwipsToPixels(800, tx));
    QCOMPARE(header->visualIndex(0), 0);
    QCOMPARE(header->sortIndicatorSection(), 0);
    header->resizeSection(2, 177);
    ClickHeader(w, 1);
    ClickHeader(w, 1);

    // Records of a type and the search results share one layout.
    ClickNode(w, u"SearchResult"_s);
    QCOMPARE(header->count(), 8);
    QCOMPARE(header->sectionSize(1), 211);
    QCOMPARE(header->logicalIndex(0), 3);
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(Texts(w, 2).first(), u"050"_s);
    ClickNode(w, Key(few));
    w->Splitter->setSizes({300, w->Splitter->width() - 300});
    w->showMaximized();
    QTRY_VERIFY(w->isMaximized());
    const QPointer<frmMain> closing(w);
    w->close(); // saves the window, splitter and column state
    delete closing.data();
    // A new window comes back with both layouts, the window state and the splitter.
    w = Open();
    QVERIFY(w->isMaximized());
    QCOMPARE(w->Splitter->sizes().first(), 300);
    header = w->ListView1->header();
    QCOMPARE(header->sectionSize(2), 177);
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(Texts(w, 1), (QStringList{"3", "1", "0"}));
    ClickNode(w, Key(friends));
    QCOMPARE(header->sectionSize(1), 211);
    QCOMPARE(header->logicalIndex(0), 3);
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(Texts(w, 2), (QStringList{"100", "200", "300"}));
}

void tst_MainWindow::columnClickSorts()
{
    QFETCH(int, column);
    QFETCH(QStringList, values);
    QFETCH(QStringList, ascending);
    ascending.replaceInStrings(u"<empty>"_s, QString());
    const qint64 type = AddType(u"T"_s);
    for (int i = 0; i < values.size(); ++i) {
        QStringList fields(7);
        const QString& value = values[i];
        fields[std::max(column - 1, 0)] = value == u"<null>"    ? QString()
                                          : value == u"<empty>" ? QStringLiteral("")
                                                                : value;
        AddRecord(type, column == 0 ? values[i] : u"r%1"_s.arg(i), fields);
    }

    frmMain* w = Open();
    ClickNode(w, Key(type));
    ClickHeader(w, 7); // the list starts sorted by its first column: make the next click a first click
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        ClickHeader(w, column);
        QCOMPARE(Texts(w, column), ascending);
        QCOMPARE(w->ListView1->header()->sortIndicatorSection(), column);
        QCOMPARE(w->ListView1->header()->sortIndicatorOrder(), order);
        std::reverse(ascending.begin(), ascending.end());
    }
}

// The sort image stands right of a left-aligned caption and left of the right-aligned count, and
// turns over on the second click.
void tst_MainWindow::sortImageBesideTheCaption()
{
    QFETCH(QString, language);
    m_world->folder.UseLanguage(language);
    AddRecord(AddType(u"Friends"_s, u"close ones"_s), u"Ann"_s);
    AddType(u"Work"_s);
    frmMain* w = Open();
    QHeaderView* header = w->ListView1->header();
    auto section = [&](int column) {
        QApplication::processEvents();
        return header
            ->grab(QRect(header->sectionViewportPosition(column), 0, header->sectionSize(column), header->height()))
            .toImage();
    };
    for (int column = 0; column < 3; ++column) {
        ClickHeader(w, (column + 1) % 3);
        const QImage plain = section(column);
        ClickHeader(w, column);
        const QImage ascending = section(column);
        ClickHeader(w, column);
        const QImage descending = section(column);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QVERIFY2(plain != ascending, qPrintable(u"column %1: no sort image"_s.arg(column)));
        // Where the image is: the pixels that differ between the two directions.
        int left = plain.width(), right = -1;
        for (int y = 0; y < plain.height(); ++y) {
            for (int x = 0; x < plain.width(); ++x) {
                if (descending.pixel(x, y) != ascending.pixel(x, y)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        }
        QVERIFY2(right >= 0, qPrintable(u"column %1: the image does not turn over"_s.arg(column)));
        const bool rightAligned = column == 1;
        QVERIFY2(rightAligned ? right < plain.width() / 2 : left > plain.width() / 2,
                 qPrintable(u"column %1: image at %2..%3 of %4"_s.arg(column).arg(left).arg(right).arg(plain.width())));
    }
}

// The file choosers of import and export are titled by their menu command, without the access key
// and the dots.
void tst_MainWindow::choosersTakePlainTitles()
{
    QFETCH(QString, language);
    m_world->folder.UseLanguage(language);
    frmMain* w = Open();
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto* file = w->findChild<QMenu*>(u"mnuFile"_s);
    QStringList titles;
    for (const char* name : {"mnuImport", "mnuExport"}) {
        QTest::keyClick(w, Qt::Key_F, Qt::AltModifier); // the File menu opens, as the user opens it
        QTRY_VERIFY(file->isVisible());
        auto* item = w->findChild<QAction*>(QLatin1String(name));
        QTest::mouseClick(file, Qt::LeftButton, {}, file->actionGeometry(item).center());
        QTRY_VERIFY(!file->isVisible());
        titles.append(m_world->platform.calls.last().title);
    }
    QTEST(titles, "titles");
}

void tst_MainWindow::search()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    QFETCH(bool, chooseField);
    const qint64 first = AddType(u"First"_s);
    AddRecord(first, u"Alice Smith"_s, {"555-1234"});
    AddRecord(first, u"Bob"_s, {"", "", "", "bob@example.com"});
    AddRecord(first, u"Carol"_s, {QString(), "", "", "carol@EXAMPLE.com"});
    AddRecord(AddType(u"Second"_s), u"Dave"_s, {"777"});
    const qint64 empty = AddType(u"Empty"_s);

    frmMain* w = Open();
    QVERIFY(QTest::qWaitForWindowActive(w));
    w->txtField->setCurrentIndex(field - (chooseField ? 1 : 0)); // choosing from the program does not search
    if (!text.isNull()) {
        // A click selects the prompt; what is typed replaces it.
        QTest::mouseClick(w->txtValue, Qt::LeftButton);
        QTRY_COMPARE(w->txtValue->selectedText(), w->txtValue->text());
        text.isEmpty() ? QTest::keyClick(w->txtValue, Qt::Key_Backspace) : QTest::keyClicks(w->txtValue, text);
    }
    QCOMPARE(CurrentNodeKey(w), u"Root"_s);
    if (chooseField) {
        QTest::keyClick(w->txtField, Qt::Key_Down); // the user picks the next field
    } else {
        QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    }

    QCOMPARE(m_world->platform.Sounds(), QList<int>{104});
    QCOMPARE(CurrentNodeKey(w), u"SearchResult"_s);
    QCOMPARE(w->ListMode(), RecordListModel::Mode::Records);
    QStringList shown = Texts(w, 0);
    shown.sort();
    QCOMPARE(shown, found);
    QCOMPARE(w->PanelText(1), u"Ready"_s);
    auto* bar = w->findChild<MsgBar*>(u"MsgBar"_s);
    QCOMPARE(bar->isVisible(), found.isEmpty());
    QVERIFY(!found.isEmpty() || (bar->Text() == u"No matching contacts"_s && bar->height() > 0));
    // Any other node hides the bar again; an empty type shows none.
    ClickNode(w, Key(empty));
    QCOMPARE(w->ListModel()->rowCount(), 0);
    QCOMPARE(w->ListModel()->columnCount(), 8);
    QVERIFY(!bar->isVisible());
}

void tst_MainWindow::badSettingsKeepTheListUsable()
{
    QFETCH(QString, settings);
    QVERIFY(Book::WriteFile(IniFile, "[frmMain]\n" + settings.toUtf8()));
    const qint64 type = AddType(u"T"_s);
    for (const char* digit : {"2", "3", "1"}) {
        AddRecord(type, u"r"_s + QLatin1String(digit), {QLatin1String(digit)});
    }

    frmMain* w = Open();
    QCOMPARE(Texts(w, 0), QStringList{"T"});
    const int left = w->Splitter->sizes().first();
    QVERIFY(left > 0 && w->Splitter->sizes().last() > 0);
    QTEST(qAbs(left - w->Splitter->width() / 2) <= w->Splitter->handleWidth(), "splitterMiddle");
    ClickNode(w, Key(type));
    ClickHeader(w, 1);
    QCOMPARE(Texts(w, 1), (QStringList{"1", "2", "3"}));
    QCOMPARE(w->PanelText(1), u"Ready"_s);
    QVERIFY(m_world->platform.Boxes().isEmpty());
}

void tst_MainWindow::databaseErrorDuringLoad()
{
    QFETCH(QString, action);
    const qint64 type = AddType(u"T"_s);
    AddRecord(type, u"a"_s);
    AddRecord(type, u"b"_s);

    frmMain* w = Open();
    const bool tree = action == "tree"_L1;
    Conn.Execute(tree ? u"DROP TABLE PWDType"_s : u"DROP TABLE PWDTable"_s);
    if (tree) {
        w->LoadTreeData(u"Root"_s);
    } else if (action == "search"_L1) {
        QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    } else {
        ClickNode(w, action);
    }

    // The search's own click sound, then the error report.
    QCOMPARE(m_world->platform.Sequence(), action == "search"_L1 ? u"104,103,box,104"_s : u"103,box,104"_s);
    QVERIFY(!m_world->platform.Boxes().first().text.isEmpty()); // the report itself is ShowError's test
    QCOMPARE(w->PanelText(1), u"Error"_s);
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // The list not reloaded still shows the types and still sorts; a failed list load turns
    // sorting off.
    ClickHeader(w, 1);
    QCOMPARE(w->ListView1->header()->sortIndicatorSection(), tree ? 1 : 0);
    QVERIFY(!tree || w->ListModel()->rowCount() == 1);
    QCOMPARE(m_world->platform.Boxes().size(), 1);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
