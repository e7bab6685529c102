#pragma once

#include <QColor>

class QAbstractItemView;
class QWidget;

// Row operations of the main window's list, each one call for the whole list.
void SelectAllItems(QAbstractItemView* list);
void UnselectAllItems(QAbstractItemView* list);
// Alternating row colours, first for the first row; colours are 0x00BBGGRR values.
void SetStripedBackground(QWidget* form, QAbstractItemView* list, unsigned firstColour, unsigned secondColour);

// A colour value 0x00BBGGRR as a colour; 0x80000000 + index names a system colour, resolved from
// the widget's palette.
QColor ColourFromValue(unsigned value, const QWidget* widget = nullptr);
