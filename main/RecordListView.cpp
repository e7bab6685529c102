#include "main/RecordListView.h"

#include <QPainter>

RecordListView::RecordListView(QWidget* parent) : QTreeView(parent) {}

void RecordListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (alternatingRowColors() && (index.row() & 1) != 0) {
        painter->fillRect(QRect(0, option.rect.y(), viewport()->width(), option.rect.height()),
                          palette().alternateBase());
    }
    QTreeView::drawRow(painter, option, index);
}
