#pragma once

#include <QHeaderView>
#include <QPointer>

class RecordListView;

// A header that shows the sort direction beside the caption: right of it, or left of it on a
// right-aligned column, where the right edge belongs to the numbers.
class SortHeader : public QHeaderView
{
public:
    explicit SortHeader(QWidget* parent = nullptr);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

// Marks the sorted column of the bound list in its header.
class ListViewSort
{
public:
    QPointer<RecordListView> ListView;

    // Shows the ascending (sortOrder 0) or descending image on column sortKey and clears it from
    // the others. False, changing nothing, when no list is bound, it has no header or its
    // automatic sorting (the list's "Sorted" property) is off.
    bool SetHeaderIcons(int sortKey, int sortOrder);
};

// The one sorter of the main window's list, created on first use.
ListViewSort& ListSorter();
