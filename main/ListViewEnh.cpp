#include "main/ListViewEnh.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QItemSelection>
#include <QItemSelectionModel>

#include <algorithm>
#include <vector>

#include "ui/Colours.h"

void SelectAllItems(QAbstractItemView* list)
{
    QAbstractItemModel* model = list->model();
    if (model == nullptr || model->rowCount() == 0 || model->columnCount() == 0) {
        return;
    }
    const QItemSelection all(model->index(0, 0), model->index(model->rowCount() - 1, model->columnCount() - 1));
    list->selectionModel()->select(all, QItemSelectionModel::Select);
}

void UnselectAllItems(QAbstractItemView* list)
{
    if (list->selectionModel() != nullptr) {
        list->selectionModel()->clearSelection();
    }
}

QList<int> SelectedRows(const QAbstractItemView* list)
{
    const QAbstractItemModel* model = list->model();
    const QItemSelectionModel* selection = list->selectionModel();
    if (model == nullptr || selection == nullptr) {
        return {};
    }
    const int rows = model->rowCount(list->rootIndex());
    const int lastColumn = model->columnCount(list->rootIndex()) - 1;
    std::vector<char> selected(static_cast<std::size_t>(rows), 0);
    for (const QItemSelectionRange& range : selection->selection()) {
        if (range.parent() != list->rootIndex()) {
            continue;
        }
        const int top = std::max(range.top(), 0);
        const int bottom = std::min(range.bottom(), rows - 1);
        // A range over some columns only (never made by this list's row selection) leaves it to
        // the selection model to say whether its rows are whole.
        const bool whole = range.left() == 0 && range.right() == lastColumn;
        for (int row = top; row <= bottom; ++row) {
            if (!selected[static_cast<std::size_t>(row)] &&
                (whole || selection->isRowSelected(row, list->rootIndex()))) {
                selected[static_cast<std::size_t>(row)] = 1;
            }
        }
    }
    QList<int> result;
    for (int row = 0; row < rows; ++row) {
        if (selected[static_cast<std::size_t>(row)]) {
            result.append(row);
        }
    }
    return result;
}

void SetStripedBackground(QAbstractItemView* list)
{
    // Both bands come from the window's palette, so a dark desktop scheme gets dark stripes with
    // its light text; on the usual light palette they are white and light grey.
    const QPalette window = list->window() != list ? list->window()->palette() : QApplication::palette(list);
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, window.color(QPalette::Base));
    palette.setColor(QPalette::AlternateBase, StripeColour(window));
    list->setPalette(palette);
    list->setAlternatingRowColors(true);
}
