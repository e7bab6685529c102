#include "main/ListViewSort.h"

#include <QPainter>
#include <QStyleOptionHeader>

#include <algorithm>

#include "main/RecordListView.h"

SortHeader::SortHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

void SortHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    const auto alignment = Qt::Alignment(
        model() != nullptr ? model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole).toInt() : 0);
    if (!(alignment & Qt::AlignRight) || !isSortIndicatorShown() || sortIndicatorSection() != logicalIndex) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    QStyleOptionHeaderV2 option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
    const QStyleOptionHeader::SortIndicator indicator = option.sortIndicator;
    option.sortIndicator = QStyleOptionHeader::None;
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    // About the image's own width (the style centres it in its box), so the caption keeps its room.
    const int arrowWidth = style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, this) / 2 + 2;
    const QRect arrowRect(rect.left() + margin, rect.top(), arrowWidth, rect.height());
    // The section, then the image at its left edge, then the caption in what is left of it, cut
    // short when the column is narrow: the image never hides under the caption.
    painter->save();
    style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
    QStyleOptionHeader arrow = option;
    arrow.sortIndicator = indicator;
    arrow.rect = arrowRect;
    style()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &arrow, painter, this);
    QStyleOptionHeaderV2 label = option;
    label.rect = style()->subElementRect(QStyle::SE_HeaderLabel, &option, this);
    label.rect.setLeft(std::max(label.rect.left(), arrowRect.right() + 1));
    label.textElideMode = Qt::ElideRight;
    style()->drawControl(QStyle::CE_HeaderLabel, &label, painter, this);
    painter->restore();
}

bool ListViewSort::SetHeaderIcons(int sortKey, int sortOrder)
{
    if (ListView.isNull() || ListView->header() == nullptr || !ListView->property("Sorted").toBool()) {
        return false;
    }
    QHeaderView* header = ListView->header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(sortKey, sortOrder != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    return true;
}

ListViewSort& ListSorter()
{
    static ListViewSort sorter;
    return sorter;
}
