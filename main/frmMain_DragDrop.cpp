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

std::optional<QList<qint64>> frmMain::ParseDragText(const QString& text)
{
    return ::ParseDragText(text);
}

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

void frmMain::SetDropHighlight(QTreeWidgetItem* node)
{
    if (m_dropNode == node) {
        return;
    }
    if (m_dropNode != nullptr) {
        m_dropNode->setData(0, Qt::BackgroundRole, QVariant());
        m_dropNode->setData(0, Qt::ForegroundRole, QVariant());
    }
    m_dropNode = node;
    if (node != nullptr) {
        node->setBackground(0, TreeView1->palette().highlight());
        node->setForeground(0, TreeView1->palette().highlightedText());
    }
}

bool frmMain::TreeView1_OLEDragOver(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (data == nullptr || !data->hasText() || !ParseDragText(data->text())) {
        return false;
    }
    QTreeWidgetItem* node = TreeView1->itemAt(event->position().toPoint());
    if (node == nullptr || node->data(0, NodeTagRole).toString() != QLatin1String("Type")) {
        return false; // the root, the search node and empty space take nothing
    }
    if (!(event->possibleActions() & Qt::MoveAction)) {
        return false;
    }
    SetDropHighlight(node);
    event->setDropAction(Qt::MoveAction);
    event->accept();
    return true;
}

void frmMain::TreeView1_OLEDragDrop(QDropEvent* event)
{
    QTreeWidgetItem* node = TreeView1->itemAt(event->position().toPoint());
    const std::optional<QList<qint64>> ids =
        event->mimeData() != nullptr ? ParseDragText(event->mimeData()->text()) : std::nullopt;
    SetDropHighlight(nullptr);
    if (node == nullptr || node->data(0, NodeTagRole).toString() != QLatin1String("Type") || !ids) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    const QString key = node->data(0, NodeKeyRole).toString();
    const qint64 typeNo = QStringView(key).mid(1).toLongLong();
    try {
        Recordset type;
        OpenType(type, Conn, typeNo, LockType::Unspecified);
        const bool typeExists = type.RecordCount() > 0;
        ReleaseRecordset(type);
        if (typeExists) {
            // One move, all or nothing.
            Transaction transaction(Conn);
            for (const qint64 id : *ids) {
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
