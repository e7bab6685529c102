#pragma once

#include <QList>

class CodePage;
class QDialog;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Pieces every dialog is built from, named and tagged so the language file reaches them.

// A button with its object name and language key (caption under key+"a", tooltip under key+"c").
QPushButton* CommandButton(QWidget* parent, const char* name, const char* tag, const char* caption);
// CmdOK (the default button, key "10001") and CmdCancel (key "10002") in the platform's order.
QDialogButtonBox* OkCancelButtons(QDialog* dialog, QPushButton** ok, QPushButton** cancel);
// A row of a localisable label "SkinLabel<n>" (its caption under `tag`) and its field; the label
// is the field's buddy, so its "&" shortcut moves the focus there.
QLabel* AddLabelledRow(QFormLayout* form, int labelNumber, const char* tag, const char* caption, QWidget* field);
// The first box whose text the code page cannot hold unchanged, or nullptr.
QLineEdit* FirstUnstorable(const QList<QLineEdit*>& boxes, const CodePage& codePage);
