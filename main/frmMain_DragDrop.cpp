// Moving records to another type by dragging their rows onto the type's node.
#include "main/frmMain.h"

#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTreeWidget>

#include <algorithm>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "main/DragText.h"
#include "main/ListViewEnh.h"
#include "main/RecordListModel.h"
#include "store/Database.h"
#include "ui/Common.h"

namespace {

QString Text(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("frmMain"), QLatin1String(key), QLatin1String(english));
}

} // namespace

QString frmMain::DragText() const
{
    QList<qint64> ids;
    for (const int row : SelectedRows(ListView1)) {
        ids.append(m_model->Id(row));
    }
    return FormatDragText(ids);
}

void frmMain::TreeView1_OLEDragDrop(const QList<qint64>& ids, const QString& key)
{
    const qint64 typeNo = TypeTree::NumberOf(key);
    try {
        Recordset type;
        OpenType(type, Conn, typeNo, LockType::Unspecified);
        const bool typeExists = type.RecordCount() > 0;
        ReleaseRecordset(type);
        if (typeExists) {
            // One move, all or nothing, in one short write: every reader sees the contacts under
            // the target at once, and their rows are rewritten in the background.
            // Rows dragged out of a type's own list are of that type: the undo step need not
            // read it again, which at a million contacts costs a pass over the index of types.
            qint64 fromType = -1;
            if (ListMode() == RecordListModel::Mode::Records && TreeView1->CurrentKind() == TypeTree::NodeKind::Type &&
                std::all_of(ids.cbegin(), ids.cend(), [this](qint64 id) { return m_model->RowOf(id) >= 0; })) {
                fromType = TreeView1->CurrentTypeNo();
            }
            StopListing(); // its reader would hold the book against the write
            TheBook().MoveContacts(ids, typeNo, fromType);
            // The book has told the list which rows left it and the tree stays; the target is
            // shown, with what it holds now.
            if (QTreeWidgetItem* node = TreeView1->NodeOfType(typeNo)) {
                SelectNode(node);
                LoadListData(node, QString());
            }
        } else {
            // The type went away meanwhile (another copy of the program): say so, move nothing
            // and show what is there now.
            MsgWarning(this, Text("50045", "The type no longer exists. Nothing was moved."));
            LoadTreeData(QStringLiteral("Root"));
        }
    } catch (...) {
        ShowError(this);
        LoadTreeData(key);
    }
}
