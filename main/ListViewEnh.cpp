#include "main/ListViewEnh.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QItemSelection>
#include <QItemSelectionModel>

#include <algorithm>
#include <vector>

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

QColor ColourFromValue(unsigned value, const QWidget* widget)
{
    if (value <= 0xFFFFFFu && (value & 0x80000000u) == 0) {
        return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                      static_cast<int>((value >> 16) & 0xFF));
    }
    const QPalette palette = widget != nullptr ? widget->palette() : QApplication::palette();
    switch (value & 0xFFFFFFu) {
    case 5: // window background
        return palette.color(QPalette::Base);
    case 8: // window text
        return palette.color(QPalette::Text);
    case 12: // application workspace
        return palette.color(QPalette::Dark);
    case 15: // button face
        return palette.color(QPalette::Button);
    case 18: // button text
        return palette.color(QPalette::ButtonText);
    default:
        return palette.color(QPalette::Window);
    }
}

void SetStripedBackground(QWidget* form, QAbstractItemView* list, unsigned firstColour, unsigned secondColour)
{
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, ColourFromValue(firstColour, form));
    palette.setColor(QPalette::AlternateBase, ColourFromValue(secondColour, form));
    list->setPalette(palette);
    list->setAlternatingRowColors(true);
}
