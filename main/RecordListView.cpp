#include "main/RecordListView.h"

#include <QDrag>
#include <QMimeData>
#include <QPainter>

RecordListView::RecordListView(QWidget* parent) : QTreeView(parent)
{
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::MoveAction);
}

void RecordListView::startDrag(Qt::DropActions)
{
    const QString text = DragText ? DragText() : QString();
    if (text.isEmpty()) {
        return;
    }
    auto* mime = new QMimeData;
    mime->setText(text);
    QDrag drag(this);
    drag.setMimeData(mime);
    drag.exec(Qt::MoveAction, Qt::MoveAction);
    if (DragFinished) {
        DragFinished();
    }
}

void RecordListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (alternatingRowColors() && (index.row() & 1) != 0) {
        painter->fillRect(QRect(0, option.rect.y(), viewport()->width(), option.rect.height()),
                          palette().alternateBase());
    }
    QTreeView::drawRow(painter, option, index);
}
