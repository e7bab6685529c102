#pragma once

#include <QColor>
#include <QList>

class QAbstractItemView;
class QWidget;

// Row operations of the main window's list, each one call for the whole list.
void SelectAllItems(QAbstractItemView* list);
void UnselectAllItems(QAbstractItemView* list);
// The rows whose every column is selected, from the top of the list down. Read range by range:
// after a re-sort the selection is many small ranges, and asking row by row would be quadratic.
QList<int> SelectedRows(const QAbstractItemView* list);
// Alternating row colours, first for the first row; colours are 0x00BBGGRR values.
void SetStripedBackground(QWidget* form, QAbstractItemView* list, unsigned firstColour, unsigned secondColour);

// A colour value 0x00BBGGRR as a colour; 0x80000000 + index names a system colour, resolved from
// the widget's palette.
QColor ColourFromValue(unsigned value, const QWidget* widget = nullptr);
