#pragma once

#include <QMainWindow>
#include <QPointer>

class MsgBar;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class Recordset;
class RecordListModel;

// The main window: the type tree on the left, the list of types or records on the right, the
// search bar, toolbar, menus and status bar. Other forms rebuild it through LoadTreeData.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    // Data roles of the tree's nodes.
    static constexpr int NodeKeyRole = Qt::UserRole;
    static constexpr int NodeTagRole = Qt::UserRole + 1;

    frmMain();
    ~frmMain() override;

    // Rebuilds the tree, selects the node with this key (if any) and fills the list for the
    // selected node.
    void LoadTreeData(const QString& selectKey);
    // Refills the list for node ("Root": the types; "SearchResult": the search; a type: its
    // records) and selects the row with this key. Does nothing at all for no node.
    void LoadListData(QTreeWidgetItem* node, const QString& selectKey);

    // The list mode: "List" while the list shows records, "Type" while it shows the types, ""
    // before the first load.
    QString ListMode() const;
    QTreeWidgetItem* NodeByKey(const QString& key) const;
    RecordListModel* ListModel() const { return m_model; }
    QString PanelText(int panel) const; // status bar panel 1 or 2

    // Enables the commands that fit the focus and the selection.
    void UpdateCommandState();
    // List events that the message bar passes on.
    void ListView1_DblClick();
    void ListView1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& globalPos);

    QString SearchPrompt;          // the search box's prompt: while it shows it, nothing is searched
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
    int SplitterLeftTwips() const;
    void SetSplitterLeftTwips(int twips);
    QAction* MenuItem(QMenu* menu, const char* name, const char* key);
    QMenu* SubMenu(QMenu* parent, const char* name, const char* key);

    // Tree and list (frmMain_Data.cpp)
    void SelectNode(QTreeWidgetItem* node);
    void SelectListItem(int row);
    void SetPanel(int panel, const QString& text);
    void AddRecordColumns(bool searchWidths);
    void FillRecordRows(Recordset& rs, bool filter);
    bool RecordMatches(const Recordset& rs, int fieldColumn) const;
    void RunSearch();
    void TreeView1_NodeClick(QTreeWidgetItem* node);

    // Columns (frmMain_Columns.cpp)
    void SaveColumnState();
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
    QSplitter* Splitter = nullptr;
    QTreeWidget* TreeView1 = nullptr;
    QTreeView* ListView1 = nullptr;
    MsgBar* m_msgBar = nullptr;
    QMenu* mnuPM = nullptr;

private:
    RecordListModel* m_model = nullptr;
    QLabel* m_panel1 = nullptr;
    QLabel* m_panel2 = nullptr;
    bool m_loadingTree = false;
    QList<int> m_pendingWidths; // default column widths of the list being loaded, in pixels
    int m_sortKey = 0;          // the list's sort column
    int m_sortOrder = 0;        // 0 ascending, 1 descending
};
