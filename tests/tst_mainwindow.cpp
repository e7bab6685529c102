// The main window over a real address book: the type tree, the list of types and records, the
// column layout kept per list mode, sorting by a header click, the search bar, junk in the
// settings file, database errors during a load, and the window and splitter kept across runs.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <optional>
#include <tuple>

#include "core/AppState.h"
#include "core/OperateIni.h"
#include "main/BackgroundSearch.h"
#include "main/MsgBar.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/ContactDetails.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/RecordPurge.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/Colours.h"
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

// The contrast of a text drawn in rect of a rendered widget: its background (the colour at the
// rect's right end, where no text reaches) against the pixel that stands out from it most.
double RenderedContrast(const QImage& image, const QRect& rect)
{
    const QColor background = image.pixelColor(rect.right() - 1, rect.center().y());
    double best = 1.0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x < rect.right(); ++x) {
            best = std::max(best, ContrastRatio(image.pixelColor(x, y), background));
        }
    }
    return best;
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
    void readableOnEveryScheme_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void readableOnEveryScheme();
    void columnsFitOnFirstShow_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void columnsFitOnFirstShow();
    void dividerDoubleClickFits();
    void fitFollowsTheWindowUntilSized();
    // The keys of the list act on whole rows, and its stripes reach past the last column.
    void listKeysAndStripes();
    void listPaintedOnce();
    void searchAsYouType_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void searchAsYouType();
    void searchDetails_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void searchDetails();
    void noEnglishLeft_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void noEnglishLeft();
    void keysShownInMenus_data() { Book::AddRows(u"mainwindow.txt"_s); }
    void keysShownInMenus();

private:
    static frmMain* Open() { return new frmMain(); } // closed when the test world goes

    std::optional<TestWorld> m_world;
};

void tst_MainWindow::cleanup()
{
    QApplication::setPalette(QApplication::style()->standardPalette());
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
    QHeaderView* header = w->ListView1->header();
    const int countWidth = header->sectionSize(1); // fitted on first show, then kept
    ClickNode(w, Key(friends));
    header->resizeSection(1, 211);
    header->moveSection(header->visualIndex(3), 0);
    ClickHeader(w, 2);

    ClickNode(w, u"Root"_s);
    QCOMPARE(header->count(), 3);
    QCOMPARE(header->sectionSize(1), countWidth);
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

// Every colour the window sets follows the desktop's scheme: on a dark palette, from the start or
// switched to while the window is open, the list's rows (both stripes), the red counts and the
// search node read with at least the contrast WCAG asks of body text.
void tst_MainWindow::readableOnEveryScheme()
{
    QFETCH(QString, scheme);
    const qint64 friends = AddType(u"Friends"_s, u"people I know"_s);
    for (int i = 0; i < 12; ++i) {
        AddRecord(friends, u"Person %1"_s.arg(i), {u"555-01%1"_s.arg(i, 2, 10, QChar(u'0'))});
    }
    if (scheme == "dark"_L1) {
        QApplication::setPalette(DarkDesktopPalette());
    }
    frmMain* w = Open();
    if (scheme == "switched to dark"_L1) {
        QApplication::setPalette(DarkDesktopPalette());
        QApplication::processEvents();
    }
    const bool dark = scheme != "light"_L1;
    QCOMPARE(IsDarkPalette(w->ListView1->palette()), dark);
    const QPalette list = w->ListView1->palette();
    QVERIFY(list.color(QPalette::Base) != list.color(QPalette::AlternateBase)); // still striped

    // The types: the description in the list's text colour, the count in red.
    QApplication::processEvents();
    QImage image = w->ListView1->viewport()->grab().toImage();
    for (int column : {1, 2}) {
        const QRect rect = w->ListView1->visualRect(w->ListModel()->index(0, column));
        const double contrast = RenderedContrast(image, rect);
        QVERIFY2(contrast >= 4.5, qPrintable(u"column %1: %2"_s.arg(column).arg(contrast)));
    }
    const QColor count = w->ListModel()->index(0, 1).data(Qt::ForegroundRole).value<QColor>();
    QVERIFY(count.red() > count.green() + 60 && count.red() > count.blue() + 60); // red still

    // A type's records: the first and the second row, one on each stripe.
    ClickNode(w, Key(friends));
    QApplication::processEvents();
    image = w->ListView1->viewport()->grab().toImage();
    for (int row : {0, 1}) {
        const QRect rect = w->ListView1->visualRect(w->ListModel()->index(row, 1));
        const double contrast = RenderedContrast(image, rect);
        QVERIFY2(contrast >= 4.5, qPrintable(u"row %1: %2"_s.arg(row).arg(contrast)));
    }

    // The search node, past its icon.
    QTreeWidgetItem* search = w->NodeByKey(u"SearchResult"_s);
    const QRect node = w->TreeView1->visualItemRect(search);
    const int icon = w->TreeView1->iconSize().isValid() ? w->TreeView1->iconSize().width() : 16;
    image = w->TreeView1->viewport()->grab().toImage();
    const double contrast = RenderedContrast(image, node.adjusted(icon + 6, 0, 0, 0));
    QVERIFY2(contrast >= 4.5, qPrintable(u"search node: %1"_s.arg(contrast)));
}

// With no widths stored, the columns show what they hold within the window, the last one taking
// the rest; values wider than the window leave the narrow columns whole and share what is left.
void tst_MainWindow::columnsFitOnFirstShow()
{
    QFETCH(int, mailLength);
    QFETCH(int, windowWidth);
    QFETCH(bool, fitsWindow);
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Maximilian Alexander Fitzgerald-Worthington"_s,
              {u"555-0100"_s, u"555-0101"_s, u"555-0102"_s,
               u"maximilian@example.org"_s.rightJustified(mailLength, u'm'), u"12345"_s});
    AddRecord(friends, u"Bo"_s);
    frmMain* w = Open();
    w->resize(windowWidth, w->height());
    QApplication::processEvents();
    ClickNode(w, Key(friends));
    QApplication::processEvents();
    QHeaderView* header = w->ListView1->header();
    auto* list = w->ListView1;
    const int available =
        w->ListView1->width() - 2 * w->ListView1->frameWidth() - w->ListView1->verticalScrollBar()->sizeHint().width();
    int total = 0;
    for (int column = 0; column < header->count(); ++column) {
        total += header->sectionSize(column);
        const int wanted = std::max(header->sectionSizeHint(column), list->ContentsWidth(column));
        // Whole where the window has room; in any case never below a third of the list, the name
        // never below half of it.
        const int least = fitsWindow ? wanted : std::min(wanted, available / (column == 0 ? 2 : 3));
        QVERIFY2(header->sectionSize(column) >= least,
                 qPrintable(u"column %1: %2 < %3"_s.arg(column).arg(header->sectionSize(column)).arg(least)));
    }
    if (fitsWindow) {
        QCOMPARE(total, available); // the last column takes the rest
    } else {
        QVERIFY(header->sectionSize(4) < list->ContentsWidth(4)); // the long mail list is shortened
    }

    // Kept from then on: the user's widths win over the fit.
    header->resizeSection(0, 77);
    ClickNode(w, u"Root"_s);
    ClickNode(w, Key(friends));
    QCOMPARE(header->sectionSize(0), 77);
}

// A double-click on the divider at a column's right edge fits that column to its contents.
void tst_MainWindow::dividerDoubleClickFits()
{
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Maximilian Alexander Fitzgerald-Worthington"_s);
    frmMain* w = Open();
    ClickNode(w, Key(friends));
    QApplication::processEvents();
    QHeaderView* header = w->ListView1->header();
    header->resizeSection(0, 40);
    QApplication::processEvents();
    const QPoint divider(header->sectionViewportPosition(0) + header->sectionSize(0) - 1, header->height() / 2);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, divider);
    const int wanted = std::max(header->sectionSizeHint(0), w->ListView1->ContentsWidth(0));
    QCOMPARE(header->sectionSize(0), wanted);
}

// The columns' fit follows the room the list has, in this run and the next, until the user drags a
// divider: a fit made in the small window first opened must not cut every value once it is
// maximised. The widths the user gave stay whatever the window's size.
void tst_MainWindow::fitFollowsTheWindowUntilSized()
{
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Maximilian Alexander Fitzgerald-Worthington"_s, {u"555-0100"_s});
    AddRecord(friends, u"Bo"_s);
    frmMain* w = Open();
    w->resize(600, w->height());
    QApplication::processEvents();
    ClickNode(w, Key(friends));
    QApplication::processEvents();
    QHeaderView* header = w->ListView1->header();
    const int whole = std::max(header->sectionSizeHint(0), w->ListView1->ContentsWidth(0));
    QVERIFY2(header->sectionSize(0) < whole, "the long name fits even the small window");
    // Closed (which saves the layout) and opened again in a large window, on the type's list.
    const auto reopenLarge = [&] {
        const QPointer<frmMain> closing(w);
        w->close();
        delete closing.data();
        w = Open();
        w->resize(1600, w->height());
        QApplication::processEvents();
        ClickNode(w, Key(friends));
        QApplication::processEvents();
        header = w->ListView1->header();
    };

    w->resize(1600, w->height());
    QApplication::processEvents();
    QCOMPARE(header->sectionSize(0), whole);
    // Back in the small window, and on the next run in the large one: fitted again each time.
    w->resize(600, w->height());
    QApplication::processEvents();
    QVERIFY(header->sectionSize(0) < whole);
    reopenLarge();
    QCOMPARE(header->sectionSize(0), whole);

    // The user drags the name column's divider 60 pixels to the left.
    const QPoint divider(header->sectionViewportPosition(0) + header->sectionSize(0) - 1, header->height() / 2);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, divider);
    QTest::mouseMove(header->viewport(), divider - QPoint(30, 0));
    QTest::mouseMove(header->viewport(), divider - QPoint(60, 0));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, divider - QPoint(60, 0));
    const int dragged = header->sectionSize(0);
    QCOMPARE(dragged, whole - 60);
    w->resize(900, w->height());
    QApplication::processEvents();
    QCOMPARE(header->sectionSize(0), dragged);
    ClickNode(w, u"Root"_s);
    ClickNode(w, Key(friends));
    QCOMPARE(header->sectionSize(0), dragged);
    reopenLarge();
    QCOMPARE(header->sectionSize(0), dragged);
}

void tst_MainWindow::listKeysAndStripes()
{
    const qint64 friends = AddType(u"Friends"_s);
    for (int i = 0; i < 60; ++i) {
        AddRecord(friends, u"Person %1"_s.arg(i, 2, 10, QChar(u'0')));
    }
    frmMain* w = Open();
    ClickNode(w, Key(friends));
    QApplication::processEvents();
    RecordListView* list = w->ListView1;
    const auto click = [&](int row) {
        const QModelIndex index = w->ListModel()->index(row, 0);
        list->scrollTo(index);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
        QCOMPARE(list->currentIndex().row(), row);
    };
    const auto selectedRows = [&] {
        QList<int> rows;
        for (const QModelIndex& index : list->selectionModel()->selectedRows()) {
            rows.append(index.row());
        }
        return rows;
    };

    // One line of text and the row's icon fit a row.
    const QRect first = list->visualRect(w->ListModel()->index(0, 0));
    QVERIFY(first.height() >= list->fontMetrics().height());
    QVERIFY(first.height() >= list->iconSize().height());

    // End and Home go to the last and first row, not along the columns of this one.
    click(5);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QCOMPARE(list->currentIndex().row(), 59);
    QCOMPARE(selectedRows(), QList<int>{59});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    QCOMPARE(list->currentIndex().row(), 0);
    QCOMPARE(selectedRows(), QList<int>{0});

    // Left and Right show the columns off screen and keep the row.
    list->header()->resizeSection(0, list->viewport()->width() * 2);
    QApplication::processEvents();
    click(3);
    QCOMPARE(list->horizontalScrollBar()->value(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QVERIFY(list->horizontalScrollBar()->value() > 0);
    QCOMPARE(list->currentIndex().row(), 3);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    QCOMPARE(list->horizontalScrollBar()->value(), 0);
    QCOMPARE(selectedRows(), QList<int>{3});

    // The second row's stripe runs on past the last column to the list's edge; the first row
    // there is plain.
    w->resize(1000, w->height());
    for (int column = 0; column < list->header()->count(); ++column) {
        list->header()->resizeSection(column, 30);
    }
    QApplication::processEvents();
    const QImage image = list->viewport()->grab().toImage();
    const int x = list->viewport()->width() - 3;
    const int y0 = list->visualRect(w->ListModel()->index(0, 0)).center().y();
    const int y1 = list->visualRect(w->ListModel()->index(1, 0)).center().y();
    QVERIFY(list->header()->length() < x);
    QCOMPARE(image.pixelColor(x, y1), list->palette().color(QPalette::AlternateBase));
    QCOMPARE(image.pixelColor(x, y0), list->palette().color(QPalette::Base));

    // Tab leaves the list rather than walking its cells.
    click(2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != list);
    QCOMPARE(list->currentIndex().row(), 2);
}

// A list refilled by a click is painted once, at its final size: the view would lay it out and
// take the widths given to its columns from zero timers after its first paint, painting it first
// without its scroll bar and then whole again. Both on the first listing, whose columns are
// fitted, and on the next, whose widths are restored.
void tst_MainWindow::listPaintedOnce()
{
    const qint64 many = AddType(u"Many"_s);
    for (int i = 0; i < 150; ++i) {
        AddRecord(many, u"Person %1"_s.arg(i, 3, 10, QChar(u'0')), {u"555-%1"_s.arg(i)});
    }
    frmMain* w = Open();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    struct Paints : QObject
    {
        QList<QSize> sizes;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                sizes.append(static_cast<QPaintEvent*>(event)->rect().size());
            }
            return false;
        }
    } paints;
    QWidget* viewport = w->ListView1->viewport();
    viewport->installEventFilter(&paints);
    for (int pass = 0; pass < 2; ++pass) {
        ClickNode(w, u"Root"_s);
        QTest::qWait(50);
        paints.sizes.clear();
        ClickNode(w, Key(many));
        QTest::qWait(100); // whatever the view left for later has happened
        QVERIFY(w->ListView1->verticalScrollBar()->isVisible());
        QCOMPARE(paints.sizes.count(viewport->size()), 1);
        for (const QSize& size : std::as_const(paints.sizes)) {
            QVERIFY2(
                size.width() <= viewport->width(),
                qPrintable(
                    u"pass %1: painted %2 wide, %3 at the end"_s.arg(pass).arg(size.width()).arg(viewport->width())));
        }
    }
    // So is a list sorted again by a click on a column.
    QTest::qWait(50);
    paints.sizes.clear();
    ClickHeader(w, 1);
    QTest::qWait(100);
    QCOMPARE(w->ListModel()->index(0, 1).data().toString(), u"555-0"_s);
    QCOMPARE(paints.sizes.count(viewport->size()), 1);
}

// Typing searches after a short pause (Enter at once) on a thread of its own, in the chosen field
// or in all of them, letter for letter or, with Match case off, ignoring case and accents; the
// button finds the same. Escape brings the prompt back and the node shown before.
void tst_MainWindow::searchAsYouType()
{
    QFETCH(int, field);
    QFETCH(bool, matchCase);
    QFETCH(QString, text);
    QFETCH(bool, enter);
    QFETCH(QStringList, found);
    const qint64 first = AddType(u"First"_s);
    AddRecord(first, u"José Núñez"_s, {"555-1234"});
    AddRecord(first, u"Bob"_s, {"", "", "", "bob@example.com", "", u"Straße@msn"_s});
    AddRecord(first, u"STRASSE"_s);
    AddRecord(first, u"Σίσυφος"_s);
    AddRecord(first, u"王小明"_s, {"", "", "", "wang@EXAMPLE.com"});
    frmMain* w = Open();
    ClickNode(w, Key(first));
    // The field picked with the keys on the chooser: the first, then down to the one wanted.
    QTest::keyClick(w->txtField, Qt::Key_Home);
    for (int i = 0; i < field; ++i) {
        QTest::keyClick(w->txtField, Qt::Key_Down);
    }
    QCOMPARE(w->txtField->currentIndex(), field);
    if (w->chkMatchCase->isChecked() != matchCase) {
        QTest::mouseClick(w->chkMatchCase, Qt::LeftButton);
    }
    ClickNode(w, Key(first)); // what the choices above searched is left behind
    m_world->platform.calls.clear();

    QTest::keyClick(w->focusWidget(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(w->focusWidget(), w->txtValue);
    for (const QChar c : text) { // letters beyond ASCII as an input method hands them over
        QTest::sendKeyEvent(QTest::Click, w->txtValue,
                            c.unicode() < 0x80 ? QTest::asciiToKey(char(c.unicode())) : Qt::Key_unknown, QString(c),
                            Qt::NoModifier);
    }
    QCOMPARE(CurrentNodeKey(w), Key(first)); // nothing yet: the search waits for a pause
    if (enter) {
        QTest::keyClick(w->txtValue, Qt::Key_Return);
    }
    QTRY_COMPARE(CurrentNodeKey(w), u"SearchResult"_s);
    auto shown = [w] {
        QStringList names = Texts(w, 0);
        names.sort();
        return names;
    };
    QTRY_COMPARE(shown(), found);
    QVERIFY(m_world->platform.Sounds().isEmpty()); // typing is not a click
    QCOMPARE(w->focusWidget(), w->txtValue);

    // The button finds the same, from the same box.
    QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    QCOMPARE(shown(), found);

    // Escape: the prompt again and the type's records.
    QTest::keyClick(w->txtValue, Qt::Key_Escape);
    QCOMPARE(w->txtValue->text(), w->SearchPrompt);
    QCOMPARE(CurrentNodeKey(w), Key(first));
    QCOMPARE(w->ListModel()->rowCount(), 5);
}

// A contact is found by what only its details hold (street, note, birthday, organisation, further
// phones, web address, messenger ids), chosen one kind at a time or with "All fields"; the search
// while typing and the button find the same, and a deleted contact is found by neither.
void tst_MainWindow::searchDetails()
{
    QFETCH(int, field);
    QFETCH(bool, matchCase);
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    const qint64 type = AddType(u"People"_s);
    auto with = [type](const QString& name, auto fill, const QStringList& fields = {}) {
        ContactDetails d;
        fill(d);
        WriteContactDetails(Conn, AddRecord(type, name, fields), d);
    };
    with(u"Ann"_s, [](ContactDetails& d) {
        d.addresses = {{u"home"_s, u"12 Elm Street"_s, {}, {}, u"Springfield"_s, {}, u"62701"_s, {}}};
    });
    with(u"Ben"_s, [](ContactDetails& d) { d.note = u"Met at the harbour\nCall after six"_s; });
    with(u"Cid"_s, [](ContactDetails& d) { d.birthday = {1985, 4, 12}; });
    with(u"Dee"_s, [](ContactDetails& d) {
        d.organisation = u"Initech"_s;
        d.title = u"Analyst"_s;
    });
    with(u"Eve"_s,
         [](ContactDetails& d) {
             d.phones = {{u"fax"_s, u"555-0199"_s}};
         },
         {"", "", "", "", "", "", "", u"https://eve.example"_s});
    with(u"Gus"_s, [](ContactDetails& d) {
        d.nicknames = {u"Gussie"_s};
        d.messengers = {{u"skype"_s, u"gus.live"_s}};
    });
    AddRecord(type, u"Hal"_s, {u"555-0199"_s}); // the phone of the record itself
    // Deleted with every detail the others hold: waits for its rows to go, and is never found.
    const qint64 gone = AddRecord(type, u"Zed"_s, {u"555-0199"_s, "", "", "", u"gus.live"_s});
    ContactDetails all;
    all.addresses = {{u"home"_s, u"12 Elm Street"_s, {}, {}, u"Springfield"_s, {}, {}, {}}};
    all.note = u"harbour"_s;
    all.birthday = {1985, 4, 12};
    all.organisation = u"Initech Analyst"_s;
    all.nicknames = {u"Gussie"_s};
    all.urls = {{{}, u"https://eve.example"_s}};
    WriteContactDetails(Conn, gone, all);
    MarkRecordsDeleted(Conn, {gone});

    frmMain* w = Open();
    ClickNode(w, Key(type));
    QTest::keyClick(w->txtField, Qt::Key_Home);
    for (int i = 0; i < field; ++i) {
        QTest::keyClick(w->txtField, Qt::Key_Down);
    }
    QCOMPARE(w->txtField->currentIndex(), field);
    if (w->chkMatchCase->isChecked() != matchCase) {
        QTest::mouseClick(w->chkMatchCase, Qt::LeftButton);
    }
    ClickNode(w, Key(type));
    QTest::keyClick(w->focusWidget(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(w->txtValue, text);
    QTest::keyClick(w->txtValue, Qt::Key_Return);
    QTRY_COMPARE(CurrentNodeKey(w), u"SearchResult"_s);
    auto shown = [w] {
        QStringList names = Texts(w, 0);
        names.sort();
        return names;
    };
    QTRY_COMPARE(shown(), found);
    QTRY_VERIFY(!w->findChild<BackgroundSearch*>(u"BackgroundSearch"_s)->IsRunning());
    QCOMPARE(shown(), found);
    QTest::mouseClick(w->CmdSearch, Qt::LeftButton);
    QCOMPARE(shown(), found);
}

// Every text the Chinese window shows comes from its language file: labels, buttons, menu items,
// toolbar buttons and the list's captions hold no English word (names such as QQ aside).
void tst_MainWindow::noEnglishLeft()
{
    QFETCH(QString, language);
    m_world->folder.UseLanguage(language);
    AddRecord(AddType(u"朋友"_s), u"王小明"_s);
    frmMain* w = Open();
    QStringList texts;
    for (const QLabel* label : w->findChildren<QLabel*>()) {
        texts.append(label->text());
    }
    for (const QAbstractButton* button : w->findChildren<QAbstractButton*>()) {
        texts.append(button->text());
    }
    for (const QAction* action : w->findChildren<QAction*>()) {
        texts.append(action->text());
    }
    for (int column = 0; column < w->ListModel()->columnCount(); ++column) {
        texts.append(w->ListModel()->headerData(column, Qt::Horizontal).toString());
    }
    static const QRegularExpression word(u"[A-Za-z]{2,}"_s);
    static const QStringList names{u"QQ"_s, u"MSN"_s, u"ICQ"_s, u"Tavoren"_s, u"PopupMenu"_s};
    for (QString text : texts) {
        for (const QString& name : names) {
            text.remove(name);
        }
        QVERIFY2(!word.match(text).hasMatch(), qPrintable(text));
    }
    QCOMPARE(w->lblSearch->text(), language == "chs"_L1 ? u"搜索："_s : u"搜尋："_s);
}

// The keys people know from other programs, each shown beside its menu item and doing its work
// when pressed in the list.
void tst_MainWindow::keysShownInMenus()
{
    QFETCH(QString, action);
    QFETCH(QString, keys);
    QFETCH(QString, effect);
    const qint64 friends = AddType(u"Friends"_s);
    AddRecord(friends, u"Alice"_s);
    frmMain* w = Open();
    ClickNode(w, Key(friends));
    const QRect row = w->ListView1->visualRect(w->ListModel()->index(0, 0));
    QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, row.center());
    QAction* item = w->findChild<QAction*>(action);
    QVERIFY(item != nullptr);
    QVERIFY2(item->shortcuts().contains(QKeySequence::fromString(keys)), qPrintable(item->shortcut().toString()));
    m_world->platform.printFile = m_world->folder.Path() + u"list.pdf"_s;
    const QKeySequence pressed = QKeySequence::fromString(keys);
    const QPointer<frmMain> window(w);
    if (effect == "type editor"_L1) {
        QString opened;
        QTimer::singleShot(0, w, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened = modal->objectName();
                modal->close();
            }
        });
        QTest::keyClick(w->ListView1, pressed[0].key(), pressed[0].keyboardModifiers());
        QCOMPARE(opened, u"frmPWDType"_s);
        return;
    }
    QTest::keyClick(w->ListView1, pressed[0].key(), pressed[0].keyboardModifiers());
    if (effect == "closed"_L1) {
        QTRY_VERIFY(window.isNull() || !window->isVisible());
    } else if (effect == "printed"_L1) {
        QVERIFY(QFileInfo(m_world->platform.printFile).size() > 0);
    } else if (effect == "search box"_L1) {
        QCOMPARE(QApplication::focusWidget(), w->txtValue);
        QCOMPARE(w->txtValue->selectedText(), w->txtValue->text()); // typing replaces it
    } else {
        QFAIL(qPrintable(effect));
    }
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
