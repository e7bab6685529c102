#include "ui/Skin.h"

#include <QDialog>
#include <QIcon>
#include <QLayout>

void Skin::ApplySkin(QWidget* window) const
{
    window->setWindowIcon(QIcon(QStringLiteral(":/icons/mark.png")));
    if (qobject_cast<QDialog*>(window) != nullptr) {
        // Dialogs keep the size their contents need: no stray resize grip, no help button.
        window->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        if (window->layout() != nullptr) {
            window->layout()->setSizeConstraint(QLayout::SetFixedSize);
        }
    }
}

Skin& TheSkin()
{
    static Skin skin;
    return skin;
}
