// The command layer of the main window: menus, pop-up menu, toolbar, keys and mouse.
#include "main/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>

#include "core/AppState.h"
#include "core/Language.h"
#include "main/ListViewEnh.h"
#include "main/RecordListModel.h"
#include "store/Database.h"
#include "ui/Common.h"
#include "ui/Platform.h"

namespace {

qint64 KeyNumber(const QString& key)
{
    return QStringView(key).mid(1).toLongLong();
}

} // namespace

QAction* frmMain::Item(const char* name) const
{
    return findChild<QAction*>(QLatin1String(name));
}

QString frmMain::ActiveControlName() const
{
    const QWidget* focus = focusWidget();
    return focus != nullptr ? focus->objectName() : QString();
}

int frmMain::CurrentRow() const
{
    const QItemSelectionModel* selection = ListView1->selectionModel();
    const QModelIndex current = ListView1->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), {})) {
        return current.row();
    }
    int first = -1;
    for (const QItemSelectionRange& range : selection->selection()) {
        if (first < 0 || range.top() < first) {
            first = range.top();
        }
    }
    return first;
}

void frmMain::WireCommands()
{
    auto on = [this](const char* name, auto handler) {
        if (QAction* action = Item(name)) {
            connect(action, &QAction::triggered, this, handler);
        }
    };
    on("mnuNewPWD", &frmMain::NewRecord);
    on("mnuNewPWD2", &frmMain::NewRecord);
    on("mnuNewPWDType", &frmMain::NewType);
    on("mnuNewPWDType2", &frmMain::NewType);
    on("mnuEditRec", &frmMain::EditCommand);
    on("mnuEditRec2", &frmMain::EditCommand);
    on("mnuDeleteRec", &frmMain::DeleteCommand);
    on("mnuDeleteRec2", &frmMain::DeleteCommand);
    on("mnuRefresh", &frmMain::Refresh);
    on("mnuRefresh2", &frmMain::RefreshFromPopup);
    on("mnuUrl", &frmMain::OpenWebAddress);
    on("mnuSelectAll", &frmMain::SelectAll);
    on("mnuUnSelectAll", &frmMain::UnselectAll);
    on("mnuUser", &frmMain::OpenUserAccount);
    on("mnuOptions", &frmMain::OpenOptions);
    on("mnuHelpAbout", &frmMain::OpenAbout);
    on("mnuBackup", &frmMain::BackupDatabase);
    on("mnuRestore", &frmMain::RestoreDatabase);
    on("mnuClearupDB", &frmMain::CompactDatabase);
    on("mnuImport", &frmMain::ImportContacts);
    on("mnuExport", &frmMain::ExportContacts);
    on("mnuPrint", &frmMain::PrintList);
    on("mnuExit", &QWidget::close);

    // Every toolbar button clicks before it acts.
    auto button = [this](const char* name, auto handler) {
        if (QAction* action = Item(name)) {
            connect(action, &QAction::triggered, this, [this, handler] {
                PlaySoundRes(SoundClick);
                (this->*handler)();
            });
        }
    };
    button("Toolbar1_New", &frmMain::NewRecord);
    button("Toolbar1_NewPWD", &frmMain::NewRecord);
    button("Toolbar1_NewPWDType", &frmMain::NewType);
    button("Toolbar1_Edit", &frmMain::EditCommand);
    button("Toolbar1_Delete", &frmMain::DeleteCommand);
    button("Toolbar1_Options", &frmMain::OpenOptions);
    button("Toolbar1_Refresh", &frmMain::Refresh);
    button("Toolbar1_Url", &frmMain::OpenWebAddress);
    button("Toolbar1_Print", &frmMain::PrintList);
    if (QAction* close = Item("Toolbar1_Close")) {
        connect(close, &QAction::triggered, this, [this] {
            PlaySoundRes(SoundClick);
            this->close();
        });
    }
    Mark->installEventFilter(this);
}

bool frmMain::WebAddressUsable(int row) const
{
    if (row < 0 || m_model->Tag() != QLatin1String("List")) {
        return false;
    }
    Recordset rs;
    OpenRecordUrl(rs, Conn, m_model->Id(row));
    const QString address = rs.IsEOF() ? QString() : rs.Text(u"Url").trimmed();
    return !address.isEmpty() && address.compare(QLatin1String("http://"), Qt::CaseInsensitive) != 0;
}

void frmMain::UpdateCommandState()
{
    bool edit = false;
    if (ActiveControlName() == QLatin1String("TreeView1")) {
        const QTreeWidgetItem* node = TreeView1->currentItem();
        edit = node != nullptr && node->data(0, NodeTagRole).toString() == QLatin1String("Type");
    } else {
        edit = CurrentRow() >= 0;
    }
    bool url = false;
    try {
        url = ActiveControlName() != QLatin1String("TreeView1") && WebAddressUsable(CurrentRow());
    } catch (...) {
        url = false; // a failed look-up only leaves the command off
    }
    for (const char* name :
         {"mnuEditRec", "mnuEditRec2", "Toolbar1_Edit", "mnuDeleteRec", "mnuDeleteRec2", "Toolbar1_Delete"}) {
        Item(name)->setEnabled(edit);
    }
    Item("mnuUrl")->setEnabled(url);
    Item("Toolbar1_Url")->setEnabled(url);
    Item("mnuSelectAll")
        ->setEnabled(m_model->rowCount() > 0 && ListView1->selectionMode() == QAbstractItemView::ExtendedSelection);
    Item("mnuUnSelectAll")->setEnabled(CurrentRow() >= 0);
}

void frmMain::NewRecord()
{
    // The type to propose: the type row of the list, else the type node of the tree.
    QString typeName;
    const int row = CurrentRow();
    if (ActiveControlName() != QLatin1String("TreeView1") && row >= 0 && m_model->Tag() == QLatin1String("Type")) {
        typeName = m_model->Text(row, 0);
    } else if (const QTreeWidgetItem* node = TreeView1->currentItem();
               node != nullptr && node->data(0, NodeTagRole).toString() == QLatin1String("Type")) {
        typeName = node->text(0);
    }
    OpenRecordEditor(false, -1, typeName);
}

void frmMain::NewType()
{
    OpenTypeEditor(false, -1);
}

void frmMain::EditType(qint64 typeNo)
{
    OpenTypeEditor(true, typeNo);
}

void frmMain::EditCommand()
{
    if (ActiveControlName() == QLatin1String("TreeView1")) {
        const QTreeWidgetItem* node = TreeView1->currentItem();
        if (node != nullptr && node->data(0, NodeTagRole).toString() == QLatin1String("Type")) {
            EditType(KeyNumber(node->data(0, NodeKeyRole).toString()));
        }
        return;
    }
    const int row = CurrentRow();
    if (row < 0) {
        return;
    }
    if (m_model->Tag() == QLatin1String("Type")) {
        EditType(m_model->Id(row));
    } else if (m_model->Tag() == QLatin1String("List")) {
        OpenRecordEditor(true, m_model->Id(row), QString());
    }
}

bool frmMain::DeleteType(qint64 typeNo)
{
    const bool confirmed =
        MsgConfirm(this, GetLangString(objectName(), QStringLiteral("50001"), QStringLiteral("Delete the type name?")));
    PlaySoundRes(SoundClick);
    if (!confirmed) {
        return false;
    }
    ::DeleteType(Conn, typeNo);
    return true;
}

void frmMain::DeleteCommand()
{
    try {
        if (ActiveControlName() == QLatin1String("TreeView1")) {
            QTreeWidgetItem* node = TreeView1->currentItem();
            if (node == nullptr || node->data(0, NodeTagRole).toString() != QLatin1String("Type") ||
                !DeleteType(KeyNumber(node->data(0, NodeKeyRole).toString()))) {
                return;
            }
            QTreeWidgetItem* parent = node->parent();
            const int index = parent != nullptr ? parent->indexOfChild(node) : -1;
            QTreeWidgetItem* next = parent != nullptr ? parent->child(index + 1) : nullptr;
            if (next == nullptr && parent != nullptr) {
                // The last type: the tree moves to the type before it, or to the root, so that
                // the list and the commands never stay on a type that is gone.
                next = index > 0 ? parent->child(index - 1) : parent;
            }
            SelectNode(next);
            delete node;
            LoadListData(TreeView1->currentItem(), QString());
            return;
        }
        const int row = CurrentRow();
        if (row < 0) {
            return;
        }
        if (m_model->Tag() == QLatin1String("Type")) {
            const QString key = m_model->Key(row);
            if (!DeleteType(m_model->Id(row))) {
                return;
            }
            delete NodeByKey(key);
            m_model->RemoveRowAt(row);
            SelectListItemAt(ListView1, row + 1);
            UpdateCommandState();
        } else if (m_model->Tag() == QLatin1String("List")) {
            DeleteRecords();
        }
    } catch (...) {
        ShowError(this);
        // Whatever happened, show what the database holds now.
        LoadTreeData(TreeView1->currentItem() != nullptr ? TreeView1->currentItem()->data(0, NodeKeyRole).toString()
                                                         : QStringLiteral("Root"));
    }
}

void frmMain::DeleteRecords()
{
    const bool confirmed = MsgConfirm(
        this, GetLangString(objectName(), QStringLiteral("50002"), QStringLiteral("Delete the selected records?")));
    PlaySoundRes(SoundClick);
    if (!confirmed) {
        return;
    }
    QList<int> rows;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    // All of them or none: a failure half-way would leave the list and the book apart.
    Transaction transaction(Conn);
    for (const int row : rows) {
        DeleteRecord(Conn, m_model->Id(row));
    }
    transaction.Commit();
    m_model->RemoveRows(rows);
    // The lowest position deleted, or 0 (the first row) when nothing was selected.
    SelectListItemAt(ListView1, rows.isEmpty() ? 0 : rows.first() + 1);
    UpdateCommandState();
}

void frmMain::Refresh()
{
    const QTreeWidgetItem* node = TreeView1->currentItem();
    LoadTreeData(node != nullptr ? node->data(0, NodeKeyRole).toString() : QStringLiteral("Root"));
}

void frmMain::RefreshFromPopup()
{
    if (ActiveControlName() == QLatin1String("TreeView1")) {
        LoadListData(TreeView1->currentItem(), QString());
    } else {
        Refresh();
    }
}

void frmMain::OpenWebAddress()
{
    const int row = CurrentRow();
    if (row < 0 || m_model->Tag() != QLatin1String("List")) {
        return;
    }
    try {
        Recordset rs;
        OpenRecordUrl(rs, Conn, m_model->Id(row));
        const QString address = rs.IsEOF() ? QString() : rs.Text(u"Url").trimmed();
        ReleaseRecordset(rs);
        if (!address.isEmpty() && address.compare(QLatin1String("http://"), Qt::CaseInsensitive) != 0) {
            ThePlatform().OpenUrl(QUrl::fromUserInput(address));
        }
    } catch (...) {
        ShowError(this);
    }
}

void frmMain::SelectAll()
{
    SelectAllItems(ListView1);
    // With no selected current row (a click on empty space cleared it), the first row becomes
    // current, so the keys and the commands start from there.
    const int row = CurrentRow();
    if (row >= 0 && row != ListView1->currentIndex().row()) {
        ListView1->selectionModel()->setCurrentIndex(m_model->index(row, 0), QItemSelectionModel::NoUpdate);
    }
    if (ActiveControlName() != QLatin1String("ListView1")) {
        ListView1->setFocus();
    }
    UpdateCommandState();
}

void frmMain::UnselectAll()
{
    UnselectAllItems(ListView1);
    ListView1->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    UpdateCommandState();
}

void frmMain::ListView1_DblClick()
{
    const int row = CurrentRow();
    if (row < 0) {
        if (ListMode() != QLatin1String("Type")) {
            NewRecord();
        }
        return;
    }
    if (ListMode() == QLatin1String("Type")) {
        // Open the type: select it in the tree and list its records.
        QTreeWidgetItem* node = NodeByKey(m_model->Key(row));
        if (node != nullptr) {
            SelectNode(node);
            LoadListData(TreeView1->currentItem(), QString());
        }
        return;
    }
    EditCommand();
}

void frmMain::ListView1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint& globalPos)
{
    if (button != Qt::RightButton) {
        return;
    }
    const QModelIndex hit = ListView1->indexAt(ListView1->viewport()->mapFromGlobal(globalPos));
    if (hit.isValid() && !ListView1->selectionModel()->isRowSelected(hit.row(), {})) {
        // An unselected row becomes the only selected one; a selected row keeps the selection.
        UnselectAllItems(ListView1);
        SelectListItem(hit.row());
        UpdateCommandState();
    } else if (hit.isValid()) {
        ListView1->selectionModel()->setCurrentIndex(hit, QItemSelectionModel::NoUpdate);
    }
    ListView1->setFocus();
    mnuPM->popup(globalPos);
}

void frmMain::TreeView1_MouseDown(Qt::MouseButton button, const QPoint& viewportPos, const QPoint& globalPos)
{
    if (button != Qt::RightButton) {
        return;
    }
    QTreeWidgetItem* node = TreeView1->itemAt(viewportPos);
    TreeView1->setFocus();
    if (node != nullptr) {
        SelectNode(node);
        LoadListData(node, QString());
    }
    mnuPM->popup(globalPos);
}
