#include "ui/DialogParts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/CodePage.h"

QPushButton* CommandButton(QWidget* parent, const char* name, const char* tag, const char* caption)
{
    auto* button = new QPushButton(QLatin1String(caption), parent);
    button->setObjectName(QLatin1String(name));
    button->setProperty("Tag", QLatin1String(tag));
    return button;
}

QDialogButtonBox* OkCancelButtons(QDialog* dialog, QPushButton** ok, QPushButton** cancel)
{
    auto* buttons = new QDialogButtonBox(dialog);
    *ok = CommandButton(buttons, "CmdOK", "10001", "&Ok");
    *cancel = CommandButton(buttons, "CmdCancel", "10002", "&Cancel");
    (*ok)->setDefault(true);
    buttons->addButton(*ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(*cancel, QDialogButtonBox::RejectRole);
    return buttons;
}

QLabel* AddLabelledRow(QFormLayout* form, int labelNumber, const char* tag, const char* caption, QWidget* field)
{
    auto* label = new QLabel(QLatin1String(caption), field->parentWidget());
    label->setObjectName(QStringLiteral("SkinLabel%1").arg(labelNumber));
    label->setProperty("Tag", QLatin1String(tag));
    label->setBuddy(field);
    form->addRow(label, field);
    return label;
}

QLineEdit* FirstUnstorable(const QList<QLineEdit*>& boxes, const CodePage& codePage)
{
    for (QLineEdit* box : boxes) {
        if (!codePage.CanEncode(box->text())) {
            return box;
        }
    }
    return nullptr;
}
