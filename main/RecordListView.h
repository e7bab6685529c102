#pragma once

#include <QTableView>

#include <array>
#include <functional>

class QHeaderView;

// The list of the main window: a report view of one row per record, whose row stripes run across
// the whole width, also past the last column.
//
// A table view rather than a tree view: a tree view keeps an item of about 40 bytes for every row
// and lays all of them out after each listing, which for a million rows is a pause the user sees
// (mostly the first touch of that memory). A table of fixed-height rows keeps 8 bytes a row in
// its hidden row header. Keys act as they do in a flat tree: Home and End go to the first and
// last row, Left and Right scroll sideways, Tab leaves the list.
class RecordListView : public QTableView
{
public:
    explicit RecordListView(QWidget* parent = nullptr);

    // The column header, under the name the other lists of the program use.
    QHeaderView* header() const { return horizontalHeader(); }
    void setHeader(QHeaderView* header);

    void setModel(QAbstractItemModel* model) override;

    // Runs change, in which the program sets the columns' widths, then lays the view out and
    // repaints it once. The view answers each width from a zero timer, which fires after the next
    // paint: a list just refilled was painted twice.
    void ResizeColumnsAtOnce(const std::function<void()>& change);

    // The width a column needs for its values on screen (the rows shown first). Only a screenful
    // is measured: the view's own measure takes a thousand rows more, 40 to 100 ms for a list's
    // eight columns, too slow for a fit that follows every resize of the window.
    int ContentsWidth(int column) const;

    // Dragging rows carries the text DragText gives (no drag when it is empty), as a move only;
    // DragFinished runs when the drag ends, dropped or cancelled.
    std::function<QString()> DragText;
    std::function<void()> DragFinished;

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void paintEvent(QPaintEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void changeEvent(QEvent* event) override;

private:
    // Every row is as high as a row with the list's icon and a line of its font: set once for all
    // rows rather than measured row by row.
    void FitRowHeight();
    void LayOutBeforePaint();

    std::array<QMetaObject::Connection, 2> m_layoutOnChange;
    bool m_layoutQueued = false;
};
