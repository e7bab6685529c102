#pragma once

#include <QList>

class QAbstractItemView;
class QWidget;

// Row operations of the main window's list, each one call for the whole list.
void SelectAllItems(QAbstractItemView* list);
void UnselectAllItems(QAbstractItemView* list);
// The rows whose every column is selected, from the top of the list down. Read range by range:
// after a re-sort the selection is many small ranges, and asking row by row would be quadratic.
QList<int> SelectedRows(const QAbstractItemView* list);
// Alternating row colours from the window's palette: its base for the first row, a shade toward
// its text for the second. Called again when the palette changes.
void SetStripedBackground(QAbstractItemView* list);
