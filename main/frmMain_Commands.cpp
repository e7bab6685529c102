// The command layer of the main window: menus, pop-up menu, toolbar, keys and mouse.
#include "main/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "main/ListViewEnh.h"
#include "main/RecordListModel.h"
#include "store/Database.h"
#include "ui/Common.h"
#include "ui/Platform.h"

using Mode = RecordListModel::Mode;
using NodeKind = TypeTree::NodeKind;

bool frmMain::TreeHasFocus() const
{
    return focusWidget() == TreeView1;
}

int frmMain::CurrentRow() const
{
    const QItemSelectionModel* selection = ListView1->selectionModel();
    const QModelIndex current = ListView1->currentIndex();
    // Rows are selected whole, so the current cell tells of its row: asking about the row would
    // copy and walk the selection once per column, 6 ms for a selection of 90,000 ranges.
    if (current.isValid() && selection->isSelected(current)) {
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
    for (const auto& [action, handler] :
         {std::pair{mnuNewPWD, &frmMain::NewRecord}, {mnuNewPWD2, &frmMain::NewRecord},
          {mnuNewPWDType, &frmMain::NewType},        {mnuNewPWDType2, &frmMain::NewType},
          {mnuEditRec, &frmMain::EditCommand},       {mnuEditRec2, &frmMain::EditCommand},
          {mnuDeleteRec, &frmMain::DeleteCommand},   {mnuDeleteRec2, &frmMain::DeleteCommand},
          {mnuRefresh, &frmMain::Refresh},           {mnuRefresh2, &frmMain::RefreshFromPopup},
          {mnuUrl, &frmMain::OpenWebAddress},        {mnuSelectAll, &frmMain::SelectAll},
          {mnuUnSelectAll, &frmMain::UnselectAll},   {mnuFind, &frmMain::FindCommand},
          {mnuUser, &frmMain::OpenUserAccount},      {mnuOptions, &frmMain::OpenOptions},
          {mnuHelpAbout, &frmMain::OpenAbout},       {mnuHelpContents, &frmMain::OpenHelp},
          {mnuBackup, &frmMain::BackupDatabase},     {mnuRestore, &frmMain::RestoreDatabase},
          {mnuClearupDB, &frmMain::CompactDatabase}, {mnuImport, &frmMain::ImportContacts},
          {mnuExport, &frmMain::ExportContacts},     {mnuPrint, &frmMain::PrintList}}) {
        connect(action, &QAction::triggered, this, handler);
    }
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    // Every toolbar button clicks before it acts.
    for (const auto& [action, handler] : {std::pair{Toolbar1_New, &frmMain::NewRecord},
                                          {Toolbar1_NewPWD, &frmMain::NewRecord},
                                          {Toolbar1_NewPWDType, &frmMain::NewType},
                                          {Toolbar1_Edit, &frmMain::EditCommand},
                                          {Toolbar1_Delete, &frmMain::DeleteCommand},
                                          {Toolbar1_Options, &frmMain::OpenOptions},
                                          {Toolbar1_Refresh, &frmMain::Refresh},
                                          {Toolbar1_Url, &frmMain::OpenWebAddress},
                                          {Toolbar1_Print, &frmMain::PrintList},
                                          {Toolbar1_Help, &frmMain::OpenHelp}}) {
        connect(action, &QAction::triggered, this, [this, handler = handler] {
            PlaySoundRes(SoundClick);
            (this->*handler)();
        });
    }
    connect(Toolbar1_Close, &QAction::triggered, this, [this] {
        PlaySoundRes(SoundClick);
        close();
    });
    Mark->installEventFilter(this);
}

void frmMain::UpdateCommandState()
{
    // The web address is read with the list, so following every click costs no query.
    const bool edit = TreeHasFocus() ? TreeView1->CurrentKind() == NodeKind::Type : CurrentRow() >= 0;
    const bool url = !TreeHasFocus() && m_model->HasWebAddress(CurrentRow());
    for (QAction* action : {mnuEditRec, mnuEditRec2, Toolbar1_Edit, mnuDeleteRec, mnuDeleteRec2, Toolbar1_Delete}) {
        action->setEnabled(edit);
    }
    mnuUrl->setEnabled(url);
    Toolbar1_Url->setEnabled(url);
    mnuSelectAll->setEnabled(m_model->rowCount() > 0 &&
                             ListView1->selectionMode() == QAbstractItemView::ExtendedSelection);
    mnuUnSelectAll->setEnabled(CurrentRow() >= 0);
    Toolbar1_Delete->setToolTip(DeleteHint());
}

QString frmMain::DeleteHint() const
{
    // What Delete would remove, named; the general hint when nothing is selected.
    auto text = [this](const char* key, const char* english) {
        return GetLangString(objectName(), QLatin1String(key), QLatin1String(english));
    };
    QString hint;
    if (TreeHasFocus() ? TreeView1->CurrentKind() == NodeKind::Type : CurrentRow() >= 0 && ListMode() == Mode::Types) {
        const QString name = TreeHasFocus() ? TreeView1->currentItem()->text(0) : m_model->Text(CurrentRow(), 0);
        hint = text("50052", "Delete the type “%name%”").replace(QLatin1String("%name%"), name);
    } else if (!TreeHasFocus() && CurrentRow() >= 0 && ListMode() == Mode::Records) {
        qint64 count = 0;
        for (const QItemSelectionRange& range : ListView1->selectionModel()->selection()) {
            count += range.height();
        }
        hint = GetCountString(objectName(), QStringLiteral("50053"), QStringLiteral("Delete %count% contacts"),
                              QStringLiteral("Delete the contact “%name%”"), count)
                   .replace(QLatin1String("%name%"), m_model->Text(CurrentRow(), 0));
    } else {
        hint = text("20003b", "Delete the selected items");
    }
    return hint;
}

void frmMain::NewRecord()
{
    // The type to propose: the type row of the list, else the type node of the tree.
    QString typeName;
    const int row = CurrentRow();
    if (!TreeHasFocus() && row >= 0 && ListMode() == Mode::Types) {
        typeName = m_model->Text(row, 0);
    } else if (TreeView1->CurrentKind() == NodeKind::Type) {
        typeName = TreeView1->currentItem()->text(0);
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
    if (TreeHasFocus()) {
        if (TreeView1->CurrentKind() == NodeKind::Type) {
            EditType(TypeTree::NumberOf(TreeView1->CurrentKey()));
        }
        return;
    }
    const int row = CurrentRow();
    if (row < 0) {
        return;
    }
    if (ListMode() == Mode::Types) {
        EditType(m_model->Id(row));
    } else if (ListMode() == Mode::Records) {
        OpenRecordEditor(true, m_model->Id(row), QString());
    }
}

bool frmMain::DeleteType(qint64 typeNo, bool* moved)
{
    // The question names the type and says what becomes of its contacts: they stay in the book
    // without a type (search finds them), unless the user moves them to another type first.
    *moved = false;
    QString name;
    QList<qint64> otherTypes;
    QStringList otherNames;
    {
        Recordset rs;
        OpenTypes(rs, Conn, LockType::ReadOnly);
        for (; !rs.IsEOF(); rs.MoveNext()) {
            if (rs.Integer(u"TypeNo") == typeNo) {
                name = rs.Text(u"TypeName");
            } else {
                otherTypes.append(rs.Integer(u"TypeNo"));
                otherNames.append(rs.Text(u"TypeName"));
            }
        }
        ReleaseRecordset(rs);
    }
    const qint64 count = CountRecords(Conn, typeNo);
    QString question =
        count == 0 ? GetLangString(objectName(), QStringLiteral("50050"),
                                   QStringLiteral("Delete the type “%name%”? It holds no contacts."))
                   : GetCountString(objectName(), QStringLiteral("50051"),
                                    QStringLiteral("Delete the type “%name%”? Its %count% contacts stay in the "
                                                   "address book without a type, and search still finds them."),
                                    QStringLiteral("Delete the type “%name%”? Its one contact stays in the address "
                                                   "book without a type, and search still finds it."),
                                    count);
    question.replace(QLatin1String("%name%"), name);
    if (count == 0 || otherTypes.isEmpty()) {
        // Nothing to move, or nowhere to move it.
        const bool confirmed = MsgConfirm(this, question);
        PlaySoundRes(SoundClick);
        if (!confirmed) {
            return false;
        }
        TheBook().DeleteType(typeNo);
        return true;
    }
    // Sentences follow each other after a blank, except after a Chinese full stop.
    if (!question.endsWith(u'。')) {
        question += QLatin1Char(' ');
    }
    question += GetCountString(objectName(), QStringLiteral("50054"),
                               QStringLiteral("To keep them in a type, choose Move Contacts to move them to another "
                                              "type first."),
                               QStringLiteral("To keep it in a type, choose Move Contacts to move it to another type "
                                              "first."),
                               count);
    const MsgResult answer = MsgConfirmWithOther(
        this, question, GetLangString(objectName(), QStringLiteral("50055"), QStringLiteral("&Move Contacts...")));
    PlaySoundRes(SoundClick);
    if (answer == MsgResult::Cancel) {
        return false;
    }
    if (answer == MsgResult::Ok) {
        TheBook().DeleteType(typeNo);
        return true;
    }
    const std::optional<int> chosen = ThePlatform().ChooseItem(
        this, GetLangString(objectName(), QStringLiteral("50056"), QStringLiteral("Move Contacts")),
        GetLangString(objectName(), QStringLiteral("50057"), QStringLiteral("Move the contacts of “%name%” to:"))
            .replace(QLatin1String("%name%"), name),
        otherNames);
    if (!chosen) {
        return false;
    }
    const qint64 target = otherTypes.value(*chosen);
    Recordset type;
    OpenType(type, Conn, target, LockType::ReadOnly);
    const bool targetExists = type.RecordCount() > 0;
    ReleaseRecordset(type);
    if (!targetExists) {
        // Another copy of the program deleted it while the chooser was open.
        MsgWarning(this, GetLangString(objectName(), QStringLiteral("50045"),
                                       QStringLiteral("The type no longer exists. Nothing was moved.")));
        return false;
    }
    // The move and the delete together, in one short write: the contacts show under the target at
    // once, and their rows are rewritten in the background.
    StopListing(); // its reader would hold the book against the write; the caller lists again
    TheBook().DeleteTypeMovingContacts(typeNo, target);
    *moved = true;
    return true;
}

void frmMain::DeleteCommand()
{
    try {
        if (TreeHasFocus()) {
            QTreeWidgetItem* node = TreeView1->currentItem();
            bool moved = false;
            if (TypeTree::KindOf(node) != NodeKind::Type) {
                return;
            }
            // The tree moves on before the type goes, so that the list and the commands never
            // stay on a type that is gone: to the next type, else the one before, else the root.
            QTreeWidgetItem* parent = node->parent();
            const int index = parent != nullptr ? parent->indexOfChild(node) : -1;
            QTreeWidgetItem* next = parent != nullptr ? parent->child(index + 1) : nullptr;
            if (next == nullptr && parent != nullptr) {
                next = index > 0 ? parent->child(index - 1) : parent;
            }
            if (!DeleteType(TypeTree::TypeNoOf(node), &moved)) {
                return;
            }
            // The book has taken the node out; next is a node that stays.
            SelectNode(next);
            LoadListData(TreeView1->currentItem(), QString());
            return;
        }
        const int row = CurrentRow();
        if (row < 0) {
            return;
        }
        if (ListMode() == Mode::Types) {
            bool moved = false;
            if (!DeleteType(m_model->Id(row), &moved)) {
                return;
            }
            SelectListItemAt(ListView1, row + 1);
            UpdateCommandState();
        } else if (ListMode() == Mode::Records) {
            DeleteRecords();
        }
    } catch (...) {
        ShowError(this);
        // Whatever happened, show what the database holds now.
        Refresh();
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
    const QList<int> rows = SelectedRows(ListView1);
    QList<qint64> ids;
    ids.reserve(rows.size());
    for (const int row : rows) {
        ids.append(m_model->Id(row));
    }
    // A listing still being read holds the book against the write: it is read again after.
    const bool relist = StopListing();
    // All of them or none, in one short write: every reader skips them from now on, and their rows
    // are removed in the background once the step can no longer be undone. The book has taken the
    // rows out of the list.
    TheBook().DeleteContacts(ids);
    if (relist) {
        LoadListData(TreeView1->currentItem(), QString());
    }
    // The lowest position deleted, or 0 (the first row) when nothing was selected.
    SelectListItemAt(ListView1, rows.isEmpty() ? 0 : rows.first() + 1);
    UpdateCommandState();
}

void frmMain::Refresh()
{
    const QString key = TreeView1->CurrentKey();
    LoadTreeData(key.isEmpty() ? QStringLiteral("Root") : key);
}

void frmMain::RefreshFromPopup()
{
    if (TreeHasFocus()) {
        LoadListData(TreeView1->currentItem(), QString());
    } else {
        Refresh();
    }
}

void frmMain::OpenWebAddress()
{
    const int row = CurrentRow();
    if (row < 0 || ListMode() != Mode::Records) {
        return;
    }
    try {
        // Read again: the command acts on what is stored now.
        Recordset rs;
        OpenRecordUrl(rs, Conn, m_model->Id(row));
        const QString address = rs.IsEOF() ? QString() : WebAddressOf(rs.Text(u"Url"));
        ReleaseRecordset(rs);
        if (!address.isEmpty()) {
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
    if (focusWidget() != ListView1) {
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

void frmMain::FindCommand()
{
    txtValue->setFocus(Qt::ShortcutFocusReason);
    txtValue->selectAll();
}

void frmMain::ListView1_DblClick()
{
    const int row = CurrentRow();
    if (row < 0) {
        if (ListMode() != Mode::Types) {
            NewRecord();
        }
        return;
    }
    if (ListMode() == Mode::Types) {
        // Open the type: select it in the tree and list its records.
        QTreeWidgetItem* node = TreeView1->NodeOfType(m_model->Id(row));
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
