#pragma once

#include <QCollator>
#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <optional>
#include <utility>

#include "main/RecordListModel.h"
#include "main/RecordListView.h"
#include "main/RecordSearch.h"
#include "main/TypeTree.h"

class ColumnLayout;
class ContactPane;
class MsgBar;
class QAction;
class QComboBox;
class QDropEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QPushButton;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeWidgetItem;
class BackgroundListing;
class BackgroundSearch;
class BusyProgress;
class CarriedRows;
class QCheckBox;
class QTimer;
class Recordset;
class SyncCommands;

// The main window: the type tree on the left, the list of types or records on the right, the
// search bar, toolbar, menus and status bar. It follows the changes of the address book (its
// own and those of other forms or a sync) row by row; LoadTreeData rebuilds it all.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int NodeKeyRole = TypeTree::KeyRole; // the key of a node of TreeView1

    frmMain();
    ~frmMain() override;

    // Rebuilds the tree, selects the node with this key (if any) and fills the list for the
    // selected node.
    void LoadTreeData(const QString& selectKey);
    // Refills the list for node ("Root": the types; "SearchResult": the search; a type: its
    // records) and selects the row with this key. Does nothing at all for no node.
    void LoadListData(QTreeWidgetItem* node, const QString& selectKey);

    // Records (of a type or found) or the types; None before the first load.
    RecordListModel::Mode ListMode() const;
    QTreeWidgetItem* NodeByKey(const QString& key) const { return TreeView1->NodeByKey(key); }
    RecordListModel* ListModel() const { return m_model; }
    QString PanelText(int panel) const; // status bar panel 1 or 2
    void ShowUser();                    // the account in use, in the status bar's user panel

    // Enables the commands that fit the focus and the selection.
    void UpdateCommandState();
    // List events that the message bar passes on.
    void ListView1_DblClick();
    void ListView1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& globalPos);

    // Commands (frmMain_Commands.cpp)
    void NewRecord();
    void NewType();
    void EditCommand();
    void DeleteCommand();
    void Refresh();
    void RefreshFromPopup();
    void OpenWebAddress();
    void SelectAll();
    void UnselectAll();
    // The last step of the book's history undone, or (forward) the last undone step done again.
    void StepHistory(bool forward);
    // Puts the cursor in the search box, its text selected so typing replaces it.
    void FindCommand();
    // The row the list commands act on: the current row when it is selected, else the first
    // selected row (after select-all that follows a click on empty space); -1 for none.
    int CurrentRow() const;
    // Contacts in and out (frmMain_Exchange.cpp; the commands themselves in ExchangeCommands)
    void ImportContacts();
    // Imports this file as the Import command does once its file is chosen (a file handed over
    // on the command line).
    void ImportFile(const QString& fileName);
    // Imports several files with one question for all.
    void ImportFiles(const QStringList& fileNames);
    void ExportContacts();
    void PrintList();
    // The selected contacts as address cards, perPage (1, 2 or 4) a page.
    void PrintCards(int perPage);
    // Database maintenance, started from the File and Tools menus (MaintenanceCommands).
    void BackupDatabase();
    void RestoreDatabase();
    void CompactDatabase();

    // Drag and drop of records onto a type (frmMain_DragDrop.cpp; the text itself in DragText.h)
    QString DragText() const; // the selected rows' drag text, in list order
    QTreeWidgetItem* DropHighlight() const { return TreeView1->DropHighlight(); }

    QString SearchPrompt; // the search box's prompt: while it shows it, nothing is searched
    // A listing or re-sort in a book with more keys than this is read in the background: the
    // window shows the first rows at once and takes the rest when they are read and placed.
    qint64 StreamFrom = 20000;
    bool FillingFieldList = false; // true while start-up fills the field chooser

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Construction (frmMain.cpp)
    void BuildMenus();
    void BuildToolbars();
    void BuildPanes();
    void Form_Load();
    void Form_Unload();
    void LayoutMsgBar();
    void NameTheParts();
    // The list's stripes and the colours of its coloured columns, from the window's palette.
    void ApplyColours();
    int SplitterLeftTwips() const;
    void SetSplitterLeftTwips(int twips);
    QAction* MenuItem(QMenu* menu, const char* name, const char* key);
    QMenu* SubMenu(QMenu* parent, const char* name, const char* key);
    void AddCardPrintMenu(QMenu* parent, const char* name);

    // Tree and list (frmMain_Data.cpp)
    void SelectNode(QTreeWidgetItem* node);
    void SelectListItem(int row);
    void SetPanel(int panel, const QString& text);
    void AddRecordColumns(bool searchWidths);
    // The stored field of a record column; the columns a search reads for the chosen field
    // (every one for "All fields").
    static QString RecordFieldName(int column);
    SearchFields SearchedFields() const;
    // Fills the list with the records of a type (typeNo) or the search result (typeNo -1).
    void FillRecordRows(qint64 typeNo, BusyProgress& progress);
    // After the record editor saved pwdId under typeNo: its type shown and its row selected alone.
    void ShowSavedRecord(qint64 pwdId, qint64 typeNo);
    // The row of the record just saved, selected alone and the list focused.
    void SelectSavedRow(qint64 pwdId);

    // Following the book (frmMain_Book.cpp): each change shown where it shows, nothing read that
    // the change itself says.
    void WireBook();
    void Book_ContactsShown(const QList<qint64>& ids); // added or changed
    void Book_ContactsMoved(const QList<qint64>& ids, qint64 typeNo);
    void Book_ContactsRemoved(const QList<qint64>& ids);
    void Book_TypesChanged();
    void Book_CountsChanged();
    // The Undo and Redo entries name the step they would take.
    void UpdateUndoActions();
    void RunSearch();
    // Search as you type (frmMain_Search.cpp): after a pause in typing, or at once on Enter, the
    // book is searched on a thread of its own and the list shows the records as they are found.
    void SearchAsYouType();
    void StartSearch(); // of the search box's text, on the search's thread
    void ShowFound(bool finished);
    // Escape in the search box: the prompt back, and the node shown before the search.
    void ClearSearch();
    void StopSearch();
    void TreeView1_NodeClick(QTreeWidgetItem* node);
    // Listing in the background (frmMain_Data.cpp): whether a listing of this book is read so, and
    // the rows it handed over shown (the first screen, or all), selection and current row kept.
    bool Streams();
    void ShowListed(bool finished, const QString& error);
    // A re-sort whose column was read in the background: the rows re-ordered by it.
    void FinishResort(const QString& error);
    // After a change while a listing is read: read again from the change on. False when none is.
    bool RestartListing();
    // Abandons the listing or re-sort being read; true when a listing was, whose rows are partial.
    bool StopListing();
    void ImportFrom(const QStringList& fileNames); // no names: the user chooses the file

    // Commands (frmMain_Commands.cpp)
    void WireCommands();
    bool TreeHasFocus() const;
    // A stored web address as it is opened: trimmed; empty when there is nothing to open.
    static QString WebAddressOf(const QString& stored);
    void EditType(qint64 typeNo);
    // The editors (frmMain_Editors.cpp): a new record (-1) or an existing one, a new type (-1) or
    // an existing one, each shown modally; the book tells the views what they saved.
    void OpenRecordEditor(bool editMode, qint64 pwdId, const QString& preselectType);
    void OpenTypeEditor(bool editMode, qint64 typeNo);
    // True when the type went; moved says its contacts went to another type first.
    bool DeleteType(qint64 typeNo, bool* moved);
    QString DeleteHint() const; // the Delete button's tooltip: what it would delete
    void DeleteRecords();
    void OpenOptions();
    void OpenUserAccount();
    void OpenAbout();
    void OpenHelp();
    // A menu command's caption as a title: no access key, no ellipsis.
    static QString CommandTitle(const QAction* action);
    // After maintenance: the views rebuilt, or emptied when the book did not reopen.
    void RefreshViews();
    void TreeView1_MouseDown(Qt::MouseButton button, const QPoint& viewportPos, const QPoint& globalPos);

    // Drag and drop (frmMain_DragDrop.cpp): the records dropped on a type move to it.
    void TreeView1_OLEDragDrop(const QList<qint64>& ids, const QString& typeKey);

    // The contact pane beside the list (frmMain_Pane.cpp): built with the list, shown or hidden
    // from the View menu, following the list's selection; reread reads the shown contact again.
    void BuildContactPane(QMenu* view);
    void FollowSelection(bool reread = false);
    void RestorePaneState();
    std::pair<QString, QString> PaneShownSetting() const;
    std::pair<QString, QString> PaneWidthSetting() const;

    // Columns (frmMain_Columns.cpp)
    ColumnLayout Layout() const; // of the current list mode
    void SaveColumnState();
    // Sizes the columns to their captions and values within the list's width, the last taking
    // what is left; only values wider than a third of the list are shortened.
    void FitColumns();
    void LoadColumnState();
    void ListView1_ColumnClick(int column);
    void SetSorted(bool sorted);
    bool IsSorted() const;

public:
    // Controls, named as their object names.
    QToolBar* Toolbar1 = nullptr;
    QToolButton* NewButton = nullptr;
    QLabel* Mark = nullptr;
    QWidget* Bar1 = nullptr;
    QLabel* lblSearch = nullptr;
    QComboBox* txtField = nullptr;
    QLineEdit* txtValue = nullptr;
    QPushButton* CmdSearch = nullptr;
    QCheckBox* chkMatchCase = nullptr;
    QSplitter* Splitter = nullptr;
    TypeTree* TreeView1 = nullptr;
    RecordListView* ListView1 = nullptr;
    QSplitter* PaneSplitter = nullptr; // the list and the contact pane
    ContactPane* Pane = nullptr;
    MsgBar* m_msgBar = nullptr;
    QMenu* mnuPM = nullptr;
    // Menu items, pop-up items and toolbar buttons, named as their object names.
    QAction* mnuNewPWD = nullptr;
    QAction* mnuNewPWDType = nullptr;
    QAction* mnuUrl = nullptr;
    QAction* mnuUser = nullptr;
    QAction* mnuBackup = nullptr;
    QAction* mnuRestore = nullptr;
    QAction* mnuImport = nullptr;
    QAction* mnuExport = nullptr;
    QAction* mnuPrint = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuUndo = nullptr;
    QAction* mnuRedo = nullptr;
    QAction* mnuEditRec = nullptr;
    QAction* mnuDeleteRec = nullptr;
    QAction* mnuSelectAll = nullptr;
    QAction* mnuUnSelectAll = nullptr;
    QAction* mnuFind = nullptr;
    QAction* mnuContactPane = nullptr;
    QAction* mnuRefresh = nullptr;
    QAction* mnuOptions = nullptr;
    QAction* mnuClearupDB = nullptr;
    QAction* mnuHelpAbout = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuNewPWD2 = nullptr;
    QAction* mnuNewPWDType2 = nullptr;
    QAction* mnuEditRec2 = nullptr;
    QAction* mnuDeleteRec2 = nullptr;
    QAction* mnuRefresh2 = nullptr;
    QAction* Toolbar1_New = nullptr;
    QAction* Toolbar1_NewPWD = nullptr;
    QAction* Toolbar1_NewPWDType = nullptr;
    QAction* Toolbar1_Edit = nullptr;
    QAction* Toolbar1_Delete = nullptr;
    QAction* Toolbar1_Print = nullptr;
    QAction* Toolbar1_Refresh = nullptr;
    QAction* Toolbar1_Url = nullptr;
    QAction* Toolbar1_Options = nullptr;
    QAction* Toolbar1_Help = nullptr;
    QAction* Toolbar1_Close = nullptr;
    SyncCommands* SyncCmds = nullptr; // Tools -> sync, its toolbar button and status (SyncCommands.h)

private:
    RecordListModel* m_model = nullptr;
    QLabel* m_panel1 = nullptr;
    QLabel* m_panel2 = nullptr;
    bool m_loadingTree = false;
    bool m_treePressed = false;                   // a mouse button went down on a node; its press loads the list
    QList<int> m_pendingWidths;                   // default column widths of the list being loaded, in pixels
    bool m_columnsFitted = false;                 // the widths are the list's fit, not yet sized by the user
    bool m_sizingColumns = false;                 // while the program sizes the columns itself
    int m_sortKey = 0;                            // the list's sort column
    int m_sortOrder = 0;                          // 0 ascending, 1 descending
    int m_recordSortKey = 0;                      // the sort column of record lists, also while the types are shown
    QTimer* m_searchTimer = nullptr;              // the pause after the last key
    BackgroundSearch* m_search = nullptr;         // the search under way while typing
    const BackgroundSearch* m_streamed = nullptr; // while the list is filled from it
    qsizetype m_shownFound = 0;                   // records of it the list shows
    QElapsedTimer m_foundShownAt;                 // since the list last showed more of them
    QString m_nodeBeforeSearch;                   // the node Escape returns to
    int m_paneTwips = 0;                          // the contact pane's width, kept while it is hidden
    std::shared_ptr<CarriedRows> m_carried;       // what the last move took along, for its target's listing
    BackgroundListing* m_listing = nullptr;       // the listing or re-sort read in the background
    int m_listedStage = 0;                        // while its rows are shown: 1 the first, 2 all
    QString m_listingTag;                         // what the listing under way lists, for keeping it
    int m_resortKey = -1;                         // the column and direction a re-sort under way sorts by
    bool m_relistAfterWrite = false;              // a write stopped the listing under way: listed again after it
    int m_resortOrder = 0;
    QCollator m_collator; // the list's, for the places a background read makes
};
