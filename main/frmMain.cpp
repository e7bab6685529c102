#include "main/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <tuple>
#include <utility>

#include "access/frmLogin.h"
#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "core/OperateIni.h"
#include "main/BackgroundListing.h"
#include "main/BackgroundSearch.h"
#include "main/ContactPane.h"
#include "main/ListViewEnh.h"
#include "main/ListViewSort.h"
#include "main/MsgBar.h"
#include "main/RecordListModel.h"
#include "main/SyncCommands.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/DialogKit.h"
#include "ui/FormState.h"
#include "ui/Forms.h"

namespace {

constexpr int DesignSplitterLeft = 2190; // twips
constexpr int SplitterMargin = 1500;     // twips the splitter keeps from either edge
constexpr int DesignClientWidth = 9600;  // twips
constexpr int DesignClientHeight = 6510; // twips
constexpr int SearchPause = 120;         // milliseconds after the last key before searching

QIcon ActionIcon(const QString& name)
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/%1-16.png").arg(name), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/%1-22.png").arg(name), QSize(22, 22));
    return icon;
}

} // namespace

frmMain::frmMain()
{
    setObjectName(QStringLiteral("frmMain"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(QIcon(QStringLiteral(":/icons/mark.png")));
    m_model = new RecordListModel(this);
    m_collator = QCollator(ReadingLocale());
    m_model->SetCollator(m_collator);
    BuildMenus();
    BuildToolbars();
    BuildPanes();
    WireCommands();
    WireBook();
    const int tx = TwipsPerPixelX(this);
    const int ty = TwipsPerPixelY(this);
    resize(TwipsToPixels(DesignClientWidth, tx),
           TwipsToPixels(DesignClientHeight, ty) + menuBar()->sizeHint().height());
    Form_Load();
}

frmMain::~frmMain() = default;

QAction* frmMain::MenuItem(QMenu* menu, const char* name, const char* key)
{
    QAction* action = menu->addAction(QLatin1String(key));
    action->setObjectName(QLatin1String(name));
    action->setProperty("Tag", QLatin1String(key));
    return action;
}

QMenu* frmMain::SubMenu(QMenu* parent, const char* name, const char* key)
{
    auto* menu = new QMenu(QLatin1String(key), this);
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    menu->menuAction()->setProperty("Tag", QLatin1String(key));
    if (parent != nullptr) {
        parent->addMenu(menu);
    } else {
        menuBar()->addMenu(menu);
    }
    return menu;
}

void frmMain::BuildMenus()
{
    auto separator = [](QMenu* menu, const char* name) { menu->addSeparator()->setObjectName(QLatin1String(name)); };

    QMenu* mnuFile = SubMenu(nullptr, "mnuFile", "10001");
    QMenu* mnuNew = SubMenu(mnuFile, "mnuNew", "11001");
    mnuNewPWD = MenuItem(mnuNew, "mnuNewPWD", "11101");
    mnuNewPWD->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuNewPWDType = MenuItem(mnuNew, "mnuNewPWDType", "11102");
    mnuNewPWDType->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    mnuNewPWDType->setIcon(ActionIcon(QStringLiteral("newtype")));
    mnuNew->menuAction()->setIcon(ActionIcon(QStringLiteral("new")));
    separator(mnuFile, "mnuFileSplit1");
    mnuUrl = MenuItem(mnuFile, "mnuUrl", "11008");
    mnuUrl->setIcon(ActionIcon(QStringLiteral("url")));
    mnuUser = MenuItem(mnuFile, "mnuUser", "11004");
    separator(mnuFile, "mnuFileSplit2");
    mnuBackup = MenuItem(mnuFile, "mnuBackup", "11006");
    mnuRestore = MenuItem(mnuFile, "mnuRestore", "11007");
    separator(mnuFile, "mnuFileSplit4");
    mnuImport = MenuItem(mnuFile, "mnuImport", "11009");
    mnuExport = MenuItem(mnuFile, "mnuExport", "11010");
    mnuPrint = MenuItem(mnuFile, "mnuPrint", "11011");
    mnuPrint->setIcon(ActionIcon(QStringLiteral("print")));
    mnuPrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    AddCardPrintMenu(mnuFile, "mnuPrintCards");
    separator(mnuFile, "mnuFileSplit3");
    mnuExit = MenuItem(mnuFile, "mnuExit", "11005");
    mnuExit->setIcon(ActionIcon(QStringLiteral("close")));
    mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* mnuEdit = SubMenu(nullptr, "mnuEdit", "10002");
    // Their captions name the step (UpdateUndoActions), so they carry no language tag.
    mnuUndo = mnuEdit->addAction(QString());
    mnuUndo->setObjectName(QStringLiteral("mnuUndo"));
    mnuUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    mnuRedo = mnuEdit->addAction(QString());
    mnuRedo->setObjectName(QStringLiteral("mnuRedo"));
    mnuRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    separator(mnuEdit, "mnuEditSplit0");
    mnuEditRec = MenuItem(mnuEdit, "mnuEditRec", "12001");
    mnuEditRec->setShortcut(QKeySequence(Qt::Key_F2));
    mnuEditRec->setIcon(ActionIcon(QStringLiteral("edit")));
    separator(mnuEdit, "mnuEditSplit1");
    mnuDeleteRec = MenuItem(mnuEdit, "mnuDeleteRec", "12002");
    mnuDeleteRec->setIcon(ActionIcon(QStringLiteral("delete")));
    // Shown in the menu; the key itself is taken by the tree and the list (on its release).
    mnuDeleteRec->setShortcut(QKeySequence(Qt::Key_Delete));
    mnuDeleteRec->setShortcutContext(Qt::WidgetShortcut);
    mnuSelectAll = MenuItem(mnuEdit, "mnuSelectAll", "12004");
    mnuSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    mnuUnSelectAll = MenuItem(mnuEdit, "mnuUnSelectAll", "12005");
    mnuUnSelectAll->setVisible(false);
    mnuFind = MenuItem(mnuEdit, "mnuFind", "12006");
    mnuFind->setIcon(QIcon(QStringLiteral(":/icons/search.png")));
    // "/" as in browsers and mail readers; a text box still takes it as a character.
    mnuFind->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_F), QKeySequence(Qt::Key_Slash)});
    separator(mnuEdit, "mnuEditSplit2");
    mnuRefresh = MenuItem(mnuEdit, "mnuRefresh", "12003");
    mnuRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    mnuRefresh->setIcon(ActionIcon(QStringLiteral("refresh")));

    BuildContactPane(SubMenu(nullptr, "mnuView", "72001"));

    QMenu* mnuToolS = SubMenu(nullptr, "mnuToolS", "10003");
    mnuOptions = MenuItem(mnuToolS, "mnuOptions", "13001");
    mnuOptions->setIcon(ActionIcon(QStringLiteral("options")));
    separator(mnuToolS, "mnuToolSplit1");
    mnuClearupDB = MenuItem(mnuToolS, "mnuClearupDB", "13002");
    SyncCmds = new SyncCommands(this, [this] { Refresh(); });
    SyncCmds->AddTo(mnuToolS);
    // The sync writes from a thread of its own. A listing still being read would hold the book
    // against it, and a write waiting to commit keeps out every other reader, the window's too:
    // the listing gives way for the sync and is read again when the sync has ended, unless what
    // the sync handed over has had it read again already.
    connect(SyncCmds, &SyncCommands::Starting, this, [this] {
        if (StopListing()) {
            m_relistAfterWrite = true;
        }
    });
    connect(SyncCmds, &SyncCommands::Ended, this, [this] {
        if (m_relistAfterWrite) {
            RestartListing();
        }
    });

    QMenu* mnuHelp = SubMenu(nullptr, "mnuHelp", "10004");
    mnuHelpContents = MenuItem(mnuHelp, "mnuHelpContents", "14001");
    mnuHelpContents->setShortcut(QKeySequence(Qt::Key_F1));
    mnuHelpContents->setIcon(ActionIcon(QStringLiteral("help")));
    separator(mnuHelp, "mnuHelpSplit1");
    mnuHelpAbout = MenuItem(mnuHelp, "mnuHelpAbout", "14003");
    mnuHelpAbout->setIcon(ActionIcon(QStringLiteral("help")));

    // The pop-up menu lives outside the menu bar.
    mnuPM = new QMenu(QStringLiteral("PopupMenu"), this);
    mnuPM->setObjectName(QStringLiteral("mnuPM"));
    QMenu* mnuNew2 = SubMenu(mnuPM, "mnuNew2", "11001");
    mnuNewPWD2 = MenuItem(mnuNew2, "mnuNewPWD2", "11101");
    mnuNewPWDType2 = MenuItem(mnuNew2, "mnuNewPWDType2", "11102");
    mnuNewPWDType2->setIcon(mnuNewPWDType->icon());
    separator(mnuPM, "mnuPMSplit1");
    mnuEditRec2 = MenuItem(mnuPM, "mnuEditRec2", "12001");
    mnuDeleteRec2 = MenuItem(mnuPM, "mnuDeleteRec2", "12002");
    AddCardPrintMenu(mnuPM, "mnuPrintCards2");
    separator(mnuPM, "mnuPMSplit2");
    mnuRefresh2 = MenuItem(mnuPM, "mnuRefresh2", "12003");
}

void frmMain::BuildToolbars()
{
    // Band 1: the commands.
    Toolbar1 = new QToolBar(QStringLiteral("Toolbar1"), this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    Toolbar1->setIconSize(QSize(22, 22));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    addToolBar(Qt::TopToolBarArea, Toolbar1);
    auto button = [this](const char* key, const char* tag, const char* caption, const char* icon) {
        QAction* action = Toolbar1->addAction(ActionIcon(QLatin1String(icon)), QLatin1String(caption));
        action->setObjectName(QStringLiteral("Toolbar1_") + QLatin1String(key));
        action->setProperty("Key", QLatin1String(key));
        action->setProperty("Tag", QLatin1String(tag));
        return action;
    };
    Toolbar1_New = button("New", "20001", "New", "new");
    auto* dropDown = new QMenu(this);
    dropDown->setObjectName(QStringLiteral("Toolbar1_NewMenu"));
    auto entry = [dropDown](const char* key, const char* tag, const char* text) {
        QAction* action = dropDown->addAction(QLatin1String(text));
        action->setObjectName(QStringLiteral("Toolbar1_") + QLatin1String(key));
        action->setProperty("Key", QLatin1String(key));
        action->setProperty("Tag", QLatin1String(tag));
        return action;
    };
    Toolbar1_NewPWD = entry("NewPWD", "11101", "Password data");
    Toolbar1_NewPWDType = entry("NewPWDType", "11102", "New password type");
    Toolbar1_NewPWDType->setIcon(ActionIcon(QStringLiteral("newtype")));
    Toolbar1_New->setMenu(dropDown);
    NewButton = qobject_cast<QToolButton*>(Toolbar1->widgetForAction(Toolbar1_New));
    if (NewButton != nullptr) {
        NewButton->setPopupMode(QToolButton::MenuButtonPopup);
    }
    Toolbar1_Edit = button("Edit", "20002", "Edit", "edit");
    Toolbar1_Delete = button("Delete", "20003", "Delete", "delete");
    // The Edit menu's own entries: their hints name the step.
    mnuUndo->setIcon(QIcon::fromTheme(QStringLiteral("edit-undo"), style()->standardIcon(QStyle::SP_ArrowBack)));
    mnuRedo->setIcon(QIcon::fromTheme(QStringLiteral("edit-redo"), style()->standardIcon(QStyle::SP_ArrowForward)));
    Toolbar1->addAction(mnuUndo);
    Toolbar1->addAction(mnuRedo);
    Toolbar1->addSeparator();
    Toolbar1_Print = button("Print", "20004", "Print", "print");
    Toolbar1->addSeparator();
    Toolbar1_Refresh = button("Refresh", "20005", "Refresh", "refresh");
    Toolbar1_Url = button("Url", "20009", "Url", "url");
    SyncCmds->AddTo(Toolbar1);
    Toolbar1->addSeparator();
    Toolbar1_Options = button("Options", "20008", "Options", "options");
    Toolbar1_Help = button("Help", "20006", "Help", "help");
    Toolbar1_Close = button("Close", "20007", "Close", "close");

    // Band 2: the mark, on the same row.
    auto* band2 = new QToolBar(QStringLiteral("Mark"), this);
    band2->setObjectName(QStringLiteral("CoolBar1_Band2"));
    band2->setMovable(false);
    Mark = new QLabel(band2);
    Mark->setObjectName(QStringLiteral("Mark"));
    Mark->setProperty("Kind", QStringLiteral("PictureBox"));
    Mark->setPixmap(QPixmap(QStringLiteral(":/icons/mark.png")));
    Mark->setContentsMargins(8, 0, 8, 0);
    band2->addWidget(Mark);
    addToolBar(Qt::TopToolBarArea, band2);

    // Band 3: the search bar, on a row of its own.
    addToolBarBreak(Qt::TopToolBarArea);
    auto* band3 = new QToolBar(QStringLiteral("Search"), this);
    band3->setObjectName(QStringLiteral("CoolBar1_Band3"));
    band3->setMovable(false);
    Bar1 = new QWidget(band3);
    Bar1->setObjectName(QStringLiteral("Bar1"));
    auto* layout = new QHBoxLayout(Bar1);
    layout->setContentsMargins(4, 2, 4, 2);
    lblSearch = new QLabel(QStringLiteral("Search:"), Bar1);
    lblSearch->setObjectName(QStringLiteral("lblSearch"));
    lblSearch->setProperty("Tag", QStringLiteral("30001"));
    txtField = new QComboBox(Bar1);
    txtField->setObjectName(QStringLiteral("txtField"));
    txtField->setEditable(false);
    txtField->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // Ticked, the search matches letter for letter as it always has; unticked it ignores case
    // and accents.
    chkMatchCase = new QCheckBox(QStringLiteral("Match case"), Bar1);
    chkMatchCase->setObjectName(QStringLiteral("chkMatchCase"));
    chkMatchCase->setProperty("Tag", QStringLiteral("30016"));
    chkMatchCase->setChecked(true);
    // Selects its whole text on focus, so typing replaces the prompt.
    auto* value = new TextBox(Bar1);
    value->setWidthChars(0);
    txtValue = value;
    txtValue->setText(QStringLiteral("<Search Value>"));
    txtValue->setObjectName(QStringLiteral("txtValue"));
    txtValue->setProperty("Tag", QStringLiteral("30000"));
    CmdSearch = new QPushButton(QStringLiteral("Search"), Bar1);
    CmdSearch->setObjectName(QStringLiteral("CmdSearch"));
    CmdSearch->setProperty("Tag", QStringLiteral("30002"));
    CmdSearch->setAutoDefault(false);
    layout->addWidget(lblSearch);
    layout->addWidget(txtField);
    layout->addWidget(chkMatchCase);
    layout->addWidget(txtValue, 1);
    layout->addWidget(CmdSearch);
    band3->addWidget(Bar1);
    addToolBar(Qt::TopToolBarArea, band3);

    connect(CmdSearch, &QPushButton::clicked, this, &frmMain::RunSearch);
    connect(chkMatchCase, &QCheckBox::toggled, this, [this] {
        if (!FillingFieldList) {
            RunSearch();
        }
    });
    m_search = new BackgroundSearch(this);
    m_search->setObjectName(QStringLiteral("BackgroundSearch"));
    connect(m_search, &BackgroundSearch::Found, this, [this] { ShowFound(false); });
    connect(m_search, &BackgroundSearch::Finished, this, [this] { ShowFound(true); });
    m_listing = new BackgroundListing(this);
    m_listing->setObjectName(QStringLiteral("BackgroundListing"));
    connect(m_listing, &BackgroundListing::FirstRows, this, [this] { ShowListed(false, QString()); });
    connect(m_listing, &BackgroundListing::Finished, this, [this](const QString& error) { ShowListed(true, error); });
    if (Conn.IsOpen()) {
        m_listing->Prepare(Conn, m_collator); // a large book's first listing finds its reader open
    }
    m_searchTimer = new QTimer(this);
    m_searchTimer->setSingleShot(true);
    m_searchTimer->setInterval(SearchPause);
    connect(m_searchTimer, &QTimer::timeout, this, &frmMain::SearchAsYouType);
    connect(txtValue, &QLineEdit::textEdited, m_searchTimer, qOverload<>(&QTimer::start));
    connect(txtValue, &QLineEdit::returnPressed, this, &frmMain::SearchAsYouType);
    txtValue->installEventFilter(this);
    connect(txtField, &QComboBox::activated, this, [this] {
        if (!FillingFieldList) {
            RunSearch();
        }
    });
}

void frmMain::BuildPanes()
{
    const int tx = TwipsPerPixelX(this);
    Splitter = new QSplitter(Qt::Horizontal, this);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setProperty("Tag", QStringLiteral("30003"));
    Splitter->setOpaqueResize(false); // the panes follow when the mouse is released
    Splitter->setChildrenCollapsible(false);
    Splitter->setHandleWidth(std::max(3, TwipsToPixels(45, tx)));

    TreeView1 = new TypeTree(Splitter);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setMinimumWidth(TwipsToPixels(SplitterMargin, tx) + 1);
    TreeView1->installEventFilter(this);
    // Keys move the current node and load its list here; a click loads through itemPressed, so
    // that a click on the node that is already current reloads too, and a click loads only once.
    connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
        if (!m_loadingTree && !m_treePressed) {
            TreeView1_NodeClick(node);
        }
    });
    connect(TreeView1, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* node) {
        if (std::exchange(m_treePressed, false)) {
            TreeView1_NodeClick(node);
        }
    });

    PaneSplitter = new QSplitter(Qt::Horizontal, Splitter);
    PaneSplitter->setObjectName(QStringLiteral("PaneSplitter"));
    PaneSplitter->setChildrenCollapsible(false);
    PaneSplitter->setHandleWidth(Splitter->handleWidth());
    auto* list = new RecordListView(PaneSplitter);
    list->DragText = [this]() -> QString {
        // Types are not dragged, and nothing without a current row.
        return ListMode() == RecordListModel::Mode::Records && CurrentRow() >= 0 ? DragText() : QString();
    };
    list->DragFinished = [this] { TreeView1->ClearDropHighlight(); };
    ListView1 = list;
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setHeader(new SortHeader(ListView1));
    ListView1->setModel(m_model);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setMinimumWidth(TwipsToPixels(SplitterMargin, tx));
    ListView1->header()->setSectionsMovable(true);
    ListView1->header()->setSectionsClickable(true);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSortIndicatorShown(true);
    ListView1->installEventFilter(this);
    connect(ListView1->header(), &QHeaderView::sectionClicked, this, &frmMain::ListView1_ColumnClick);
    connect(ListView1->header(), &QHeaderView::sectionResized, this, [this] {
        if (!m_sizingColumns) {
            m_columnsFitted = false; // the user sized a column: the widths are theirs from now on
        }
    });
    // Clicks, keys and code move the current row and the selection; the commands follow both. A
    // click moves the current row before it selects, so the current row alone would be too early.
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        UpdateCommandState();
        FollowSelection();
    });
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        UpdateCommandState();
        FollowSelection();
    });
    PaneSplitter->addWidget(Pane);
    PaneSplitter->setStretchFactor(0, 1);
    PaneSplitter->setStretchFactor(1, 0);
    ListView1->viewport()->installEventFilter(this);
    TreeView1->viewport()->installEventFilter(this);
    connect(TreeView1, &TypeTree::RecordsDropped, this, &frmMain::TreeView1_OLEDragDrop);

    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);
    setCentralWidget(Splitter);

    m_msgBar = new MsgBar(ListView1);
    m_msgBar->hide();
    connect(m_msgBar, &MsgBar::DoubleClicked, this, &frmMain::ListView1_DblClick);
    connect(m_msgBar, &MsgBar::MousePressed, this, &frmMain::ListView1_MouseDown);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    m_panel1 = new QLabel(status);
    m_panel1->setObjectName(QStringLiteral("StatusBar1_Panel1"));
    m_panel2 = new QLabel(status);
    m_panel2->setObjectName(QStringLiteral("StatusBar1_Panel2"));
    status->addWidget(m_panel1, 1);
    status->addPermanentWidget(m_panel2);
    setStatusBar(status);
}

void frmMain::Form_Load()
{
    RestoreFormState(this);
    const int storedSplitter =
        IniToInt(ReadIni(objectName(), QStringLiteral("Splitter"), QString::number(DesignSplitterLeft), IniFile))
            .value_or(DesignSplitterLeft);
    ApplyLanguage(this);
    NameTheParts();
    SearchPrompt = txtValue->text();
    setWindowTitle(QStringLiteral("Tavoren"));
    show();
    activateWindow(); // keys work at once, also where no window manager hands out the focus
    // The splitter goes where it was left once the panes have their real width.
    SetSplitterLeftTwips(storedSplitter);
    RestorePaneState();
    QApplication::processEvents(); // paint before the data loads
    ListSorter().ListView = ListView1;
    ShowUser();
    // A window opened on the book starts its history afresh: steps of a book opened before are
    // not offered.
    TheBook().ClearHistory();
    FillingFieldList = true;
    static const char* const fields[][2] = {{"60001", "Name"},   {"60002", "FPhone"}, {"60003", "MobilePhone"},
                                            {"60004", "CPhone"}, {"60005", "Mail"},   {"60006", "QQ"},
                                            {"60007", "MSN"},    {"60008", "ICQ"}};
    for (const auto& field : fields) {
        txtField->addItem(GetLangString(objectName(), QLatin1String(field[0]), QLatin1String(field[1])));
    }
    txtField->addItem(GetLangString(objectName(), QStringLiteral("60009"), QStringLiteral("All fields")));
    for (const SearchChoice& choice : DetailSearchChoices()) {
        txtField->addItem(GetLangString(objectName(), QLatin1String(choice.key), QLatin1String(choice.english)));
    }
    txtField->setCurrentIndex(0);
    FillingFieldList = false;
    LoadTreeData(QStringLiteral("Root"));
    ApplyColours();
    SyncCmds->Start(true);
}

void frmMain::NameTheParts()
{
    // The bars' titles (the toolbar's context menu lists them) and what a screen reader says for
    // each part of the window, from the language file.
    auto text = [this](const char* key, const char* english) {
        return GetLangString(objectName(), QLatin1String(key), QLatin1String(english));
    };
    for (const auto& [bar, key, english] : {std::tuple{static_cast<QWidget*>(Toolbar1), "30006", "Toolbar"},
                                            {Mark->parentWidget(), "30007", "Logo"},
                                            {Bar1->parentWidget(), "30008", "Search bar"}}) {
        bar->setWindowTitle(text(key, english));
        bar->setAccessibleName(text(key, english));
    }
    for (const auto& [widget, key, english] : {std::tuple{static_cast<QWidget*>(TreeView1), "30009", "Contact types"},
                                               {ListView1, "30010", "Contacts"},
                                               {statusBar(), "30011", "Status bar"},
                                               {txtValue, "30012", "Search text"},
                                               {txtField, "30013", "Field to search"},
                                               {m_panel1, "30014", "Status"},
                                               {m_panel2, "30015", "User"},
                                               {Mark, "30007", "Logo"}}) {
        widget->setAccessibleName(text(key, english));
    }
    mnuPM->setTitle(QString()); // a pop-up has no title of its own to show
    lblSearch->setBuddy(txtValue);
}

int frmMain::SplitterLeftTwips() const
{
    const QList<int> sizes = Splitter->sizes();
    return sizes.isEmpty() ? DesignSplitterLeft : PixelsToTwips(sizes.first(), TwipsPerPixelX(this));
}

void frmMain::SetSplitterLeftTwips(int twips)
{
    const int total = Splitter->width() - Splitter->handleWidth();
    int left = TwipsToPixels(twips, TwipsPerPixelX(this));
    // A position at or beyond the window's width (a smaller screen, junk in the file) goes to
    // the middle; the splitter's own limits keep it away from both edges.
    if (left >= Splitter->width() || left < 0) {
        left = Splitter->width() / 2;
    }
    Splitter->setSizes({left, std::max(0, total - left)});
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload()
{
    StopSearch();
    m_listing->Stop();
    SaveFormState(this);
    SaveSettings(
        this, objectName(),
        {{QStringLiteral("Splitter"), QString::number(SplitterLeftTwips())}, PaneShownSetting(), PaneWidthSetting()});
    SaveColumnState();
    FormInstance<frmLogin>::Unload();
}

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized()) {
        LayoutMsgBar();
    } else if (event->type() == QEvent::PaletteChange && ListView1 != nullptr) {
        ApplyColours(); // the desktop switched between its light and dark scheme
    }
}

void frmMain::ApplyColours()
{
    SetStripedBackground(ListView1);
    // The stripe is the band a coloured column reads worse on.
    m_model->SetBackground(ListView1->palette().color(QPalette::AlternateBase));
}

void frmMain::LayoutMsgBar()
{
    if (isMinimized()) {
        return; // nothing is laid out while minimised
    }
    const int top = ListView1->header()->isVisible() ? ListView1->header()->height() : 0;
    const int height = std::max(TwipsToPixels(230, TwipsPerPixelY(this)), fontMetrics().height() + 4);
    m_msgBar->setGeometry(2, top + 2, std::max(0, ListView1->width() - 4), height);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (TreeView1 == nullptr || ListView1 == nullptr || m_msgBar == nullptr) {
        return QMainWindow::eventFilter(watched, event); // still being built
    }
    if (watched == TreeView1->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                TreeView1_MouseDown(mouse->button(), mouse->position().toPoint(), mouse->globalPosition().toPoint());
                return true;
            }
            m_treePressed = TreeView1->itemAt(mouse->position().toPoint()) != nullptr;
            break;
        }
        case QEvent::MouseButtonRelease:
            m_treePressed = false; // a press the tree did not take as a node click
            break;
        default:
            break;
        }
    } else if (watched == ListView1->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                ListView1_MouseDown(mouse->button(), mouse->modifiers(), mouse->globalPosition().toPoint());
                return true;
            }
        } else if (event->type() == QEvent::MouseButtonDblClick &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            ListView1_DblClick();
            return true;
        }
    } else if ((watched == TreeView1 || watched == ListView1) && event->type() == QEvent::KeyRelease &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        DeleteCommand();
        return true;
    }
    if (watched == txtValue && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        ClearSearch();
        return true;
    }
    if (watched == Mark && event->type() == QEvent::MouseButtonRelease) {
        OpenAbout();
        return true;
    }
    if (watched == ListView1 && event->type() == QEvent::Resize) {
        LayoutMsgBar();
        if (m_columnsFitted) {
            FitColumns(); // the fit follows the room the list has
        }
    } else if ((watched == ListView1 || watched == TreeView1) &&
               (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        UpdateCommandState();
    }
    return QMainWindow::eventFilter(watched, event);
}

QString frmMain::PanelText(int panel) const
{
    return panel == 1 ? m_panel1->text() : m_panel2->text();
}

void frmMain::SetPanel(int panel, const QString& text)
{
    (panel == 1 ? m_panel1 : m_panel2)->setText(text);
}
