#include "main/ListViewSort.h"

#include <QPainter>
#include <QStyleOptionHeader>
#include <QTreeView>

SortHeader::SortHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

void SortHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    const auto alignment = Qt::Alignment(
        model() != nullptr ? model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole).toInt() : 0);
    if (!(alignment & Qt::AlignRight) || !isSortIndicatorShown() || sortIndicatorSection() != logicalIndex) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    QStyleOptionHeader option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
    const QStyleOptionHeader::SortIndicator indicator = option.sortIndicator;
    option.sortIndicator = QStyleOptionHeader::None;
    const int arrowWidth = style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, this);
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    // The style leaves the painter clipped to nothing after a header section when it was not
    // clipped before, so the section's own state is put back before the image is drawn.
    painter->save();
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
    painter->restore();
    QStyleOptionHeader arrow = option;
    arrow.sortIndicator = indicator;
    arrow.rect = QRect(rect.left() + margin, rect.top(), arrowWidth, rect.height());
    style()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &arrow, painter, this);
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
