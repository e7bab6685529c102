// Moving records to another type by dragging their rows onto the type's node.
#include "main/frmMain.h"

#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTreeView>
#include <QTreeWidget>

#include "core/AppState.h"
#include "core/Language.h"
#include "main/DragText.h"
#include "main/RecordListModel.h"
#include "store/Database.h"
#include "ui/Common.h"

QString frmMain::DragText() const
{
    QList<int> rows;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    QList<qint64> ids;
    for (const int row : rows) {
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
            // One move, all or nothing.
            Transaction transaction(Conn);
            for (const qint64 id : ids) {
                MoveRecordToType(Conn, id, typeNo);
            }
            transaction.Commit();
            LoadTreeData(key);
        } else {
            // The type went away meanwhile (another copy of the program): say so, move nothing
            // and show what is there now.
            MsgWarning(this, GetLangString(objectName(), QStringLiteral("50045"),
                                           QStringLiteral("The type no longer exists. Nothing was moved.")));
            LoadTreeData(QStringLiteral("Root"));
        }
    } catch (...) {
        ShowError(this);
        LoadTreeData(key);
    }
}
