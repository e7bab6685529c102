#pragma once

#include <QLineEdit>
#include <QList>

#include "core/TextUtil.h"
#include "ui/DialogParts.h"

class CodePage;
class QDialog;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QPushButton;

// Pieces the record and type editors share: their text boxes, rows, buttons and checks.

// A one-line text box. Boxes that select on focus select their whole text however they get the
// focus, so typing replaces the value; the others keep a plain caret, even when tabbed into.
class FieldBox : public QLineEdit
{
public:
    FieldBox(const char* name, bool selectOnFocus, QWidget* parent);

    // Wide enough for a 30-character value in the dialog's font, whichever language set it.
    QSize sizeHint() const override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_selectOnFocus;
    bool m_clickFocused = false;
};

// The layout for the fields inside a dialog's frame: right-aligned labels, fields that grow.
QFormLayout* FieldLayout(QWidget* frame);
