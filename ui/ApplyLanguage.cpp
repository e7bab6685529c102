#include "ui/ApplyLanguage.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>

#include "core/Language.h"

namespace {

QString TagOf(const QObject* object)
{
    return object->property("Tag").toString();
}

bool HasTag(const QObject* object)
{
    return object->property("Tag").isValid();
}

void LocaliseMenuAction(const QString& form, QAction* action)
{
    if (action->isSeparator()) {
        return;
    }
    // The design caption of a menu item is its key; it is kept in Tag once the text is localised.
    QString key = TagOf(action);
    if (key.isEmpty()) {
        key = action->text();
        action->setProperty("Tag", key);
    }
    if (key == QLatin1String("-")) {
        return;
    }
    action->setText(GetLangString(form, key, action->text()));
}

void LocaliseToolBar(const QString& form, QToolBar* bar, QSet<QAction*>& done)
{
    for (QAction* action : bar->actions()) {
        done.insert(action);
        if (action->isSeparator() || !HasTag(action)) {
            continue;
        }
        const QString tag = TagOf(action);
        QString caption = GetLangString(form, tag + QLatin1Char('a'), action->text().trimmed());
        if (caption.size() == 2) {
            caption = QLatin1Char(' ') + caption + QLatin1Char(' '); // two Chinese characters look lost otherwise
        }
        action->setText(caption);
        action->setIconText(caption);
        action->setProperty("Description", caption.trimmed());
        action->setToolTip(GetLangString(form, tag + QLatin1Char('b'), action->toolTip()));
        QMenu* dropDown = action->menu();
        if (dropDown == nullptr) {
            if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action))) {
                dropDown = button->menu();
            }
        }
        if (dropDown != nullptr) {
            for (QAction* entry : dropDown->actions()) {
                done.insert(entry);
                if (!entry->isSeparator() && entry->text() != QLatin1String("-") && HasTag(entry)) {
                    entry->setText(GetLangString(form, TagOf(entry), entry->text()));
                }
            }
        }
    }
}

void LocaliseWidget(const QString& form, QWidget* w)
{
    const QString tag = TagOf(w);
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(GetLangString(form, tag + QLatin1Char('a'), button->text()));
        button->setToolTip(GetLangString(form, tag + QLatin1Char('c'), button->toolTip()));
        return;
    }
    if (w->property("Kind").toString() == QLatin1String("PictureBox") || qobject_cast<QSplitter*>(w) != nullptr) {
        const QString tip = GetLangString(form, tag, w->toolTip());
        w->setToolTip(tip);
        if (auto* splitter = qobject_cast<QSplitter*>(w)) {
            for (int i = 0; i < splitter->count(); ++i) {
                splitter->handle(i)->setToolTip(tip);
            }
        }
        return;
    }
    if (!HasTag(w)) {
        return; // plain labels, lists, trees, choosers keep their texts
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(GetLangString(form, tag, label->text()));
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(GetLangString(form, tag, group->title()));
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
        check->setText(GetLangString(form, tag, check->text()));
    } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        radio->setText(GetLangString(form, tag, radio->text()));
    } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->setText(GetLangString(form, tag, line->text()));
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        plain->setPlainText(GetLangString(form, tag, plain->toPlainText()));
    }
}

} // namespace

void ApplyLanguage(QWidget* form)
{
    const QString name = form->objectName();
    form->setWindowTitle(GetLangString(name, QStringLiteral("10000"), form->windowTitle()));

    QFont font = form->font();
    const QString family = GetLangString(QStringLiteral("Info"), QStringLiteral("FontName"), font.family());
    if (!family.isEmpty()) {
        font.setFamilies({family});
    }
    bool ok = false;
    const double size =
        GetLangString(QStringLiteral("Info"), QStringLiteral("FontSize"), QString::number(font.pointSizeF()))
            .toDouble(&ok);
    if (ok && size >= 1.0 && size <= 200.0) {
        font.setPointSizeF(size);
    }
    form->setFont(font); // children inherit it

    QSet<QAction*> done;
    for (QToolBar* bar : form->findChildren<QToolBar*>()) {
        LocaliseToolBar(name, bar, done);
    }
    for (QWidget* w : form->findChildren<QWidget*>()) {
        if (auto* menu = qobject_cast<QMenu*>(w)) {
            menu->setFont(font); // pop-ups are windows of their own and do not inherit it
            continue;
        }
        LocaliseWidget(name, w);
    }
    for (QAction* action : form->findChildren<QAction*>()) {
        if (!done.contains(action) && HasTag(action)) {
            LocaliseMenuAction(name, action);
        }
    }
}
