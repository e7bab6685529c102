#pragma once

#include <QTreeView>

// The list of the main window: a report view whose row stripes run across the whole width,
// also past the last column.
class RecordListView : public QTreeView
{
public:
    explicit RecordListView(QWidget* parent = nullptr);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
