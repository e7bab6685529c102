#pragma once

#include <QTreeView>

#include <functional>

// The list of the main window: a report view whose row stripes run across the whole width,
// also past the last column.
class RecordListView : public QTreeView
{
public:
    explicit RecordListView(QWidget* parent = nullptr);

    // Dragging rows carries the text DragText gives (no drag when it is empty), as a move only;
    // DragFinished runs when the drag ends, dropped or cancelled.
    // The width a column needs for its values on screen (the rows shown first).
    int ContentsWidth(int column) const { return sizeHintForColumn(column); }

    std::function<QString()> DragText;
    std::function<void()> DragFinished;

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
