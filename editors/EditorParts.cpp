#include "editors/EditorParts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

#include <limits>

#include "core/CodePage.h"
#include "ui/Common.h"

FieldBox::FieldBox(const char* name, bool selectOnFocus, QWidget* parent)
    : QLineEdit(parent), m_selectOnFocus(selectOnFocus)
{
    setObjectName(QLatin1String(name));
    // The stock limit of 32,767 characters would cut a longer stored value on load and save it cut.
    setMaxLength(std::numeric_limits<int>::max());
}

QSize FieldBox::sizeHint() const
{
    QSize size = QLineEdit::sizeHint();
    // A mix of letters and digits, as phone numbers, addresses and names have, plus the frame.
    const int text = fontMetrics().horizontalAdvance(QStringLiteral("abcdefghij0123456789ABCDEFGHIJ"));
    size.setWidth(qMax(size.width(), text + 4 * fontMetrics().averageCharWidth()));
    return size;
}

void FieldBox::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    m_clickFocused = false;
    if (m_selectOnFocus) {
        SelectAllText(this);
        // The press that gave the focus moves the caret; the release selects again.
        m_clickFocused = event->reason() == Qt::MouseFocusReason;
        return;
    }
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason) {
        deselect(); // undo the selection QLineEdit makes on keyboard focus
    }
}

void FieldBox::mouseReleaseEvent(QMouseEvent* event)
{
    QLineEdit::mouseReleaseEvent(event);
    if (m_clickFocused && !hasSelectedText()) {
        SelectAllText(this);
    }
    m_clickFocused = false;
}

QFormLayout* FieldLayout(QWidget* frame)
{
    auto* form = new QFormLayout(frame);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    return form;
}
