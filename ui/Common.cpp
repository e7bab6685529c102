#include "ui/Common.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <new>

#include "core/AppState.h"
#include "core/Errors.h"
#include "core/Language.h"
#include "core/TextUtil.h"
#include "ui/Platform.h"

namespace {

QString Title(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("General"), QLatin1String(key), QLatin1String(english));
}

} // namespace

void PlaySoundRes(int id)
{
    if (!SoundEnabled) {
        return;
    }
    ThePlatform().PlaySound(id);
}

void MsgInformation(QWidget* parent, const QString& text)
{
    PlaySoundRes(SoundInformation);
    ThePlatform().MessageBox(parent, text, Title("10002", "Information"), MsgIcon::Information, MsgButtons::Ok);
    PlaySoundRes(SoundClick);
}

void MsgWarning(QWidget* parent, const QString& text)
{
    PlaySoundRes(SoundWarning);
    ThePlatform().MessageBox(parent, text, Title("10003", "Warning"), MsgIcon::Warning, MsgButtons::Ok);
    PlaySoundRes(SoundClick);
}

bool MsgConfirm(QWidget* parent, const QString& text)
{
    PlaySoundRes(SoundWarning);
    // A question is titled and marked as one, so it is not read as a warning that already happened.
    return ThePlatform().MessageBox(parent, text, Title("10004", "Question"), MsgIcon::Question,
                                    MsgButtons::OkCancel) == MsgResult::Ok;
}

MsgResult MsgConfirmWithOther(QWidget* parent, const QString& text, const QString& other)
{
    PlaySoundRes(SoundWarning);
    return ThePlatform().MessageBoxWithOther(parent, text, Title("10004", "Question"), other);
}

QString ErrorText(const std::exception_ptr& error)
{
    int number = 0;
    QString description;
    try {
        std::rethrow_exception(error);
    } catch (const AppError& e) {
        number = e.Number();
        description = e.Description();
    } catch (const std::bad_alloc&) {
        number = 7;
        description = QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        number = 51;
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        number = 51;
        description = QStringLiteral("Internal error");
    }
    return description + QStringLiteral(" (") + QString::number(number) + QLatin1Char(')');
}

void ShowError(QWidget* parent)
{
    ShowError(std::current_exception(), parent);
}

void ShowError(const std::exception_ptr& error, QWidget* parent)
{
    const QString message = error ? ErrorText(error) : QStringLiteral("Internal error (51)");
    PlaySoundRes(SoundError);
    while (QApplication::overrideCursor() != nullptr) {
        QApplication::restoreOverrideCursor();
    }
    ThePlatform().MessageBox(parent, message, Title("10001", "Error"), MsgIcon::Critical, MsgButtons::Ok);
    PlaySoundRes(SoundClick);
}

void SelectAllText(QWidget* textControl)
{
    if (auto* line = qobject_cast<QLineEdit*>(textControl)) {
        line->selectAll();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(textControl)) {
        plain->selectAll();
    } else if (auto* rich = qobject_cast<QTextEdit*>(textControl)) {
        rich->selectAll();
    }
}

void TrimTextBoxes(QWidget* form)
{
    for (auto* line : form->findChildren<QLineEdit*>()) {
        const QString trimmed = TrimSpaces(line->text());
        if (trimmed != line->text()) {
            line->setText(trimmed);
        }
    }
    for (auto* plain : form->findChildren<QPlainTextEdit*>()) {
        const QString trimmed = TrimSpaces(plain->toPlainText());
        if (trimmed != plain->toPlainText()) {
            plain->setPlainText(trimmed);
        }
    }
}

bool IsFormLoaded(const QString& name)
{
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [&](const QWidget* w) { return w->objectName() == name; });
}

// After rows were removed at position (1-based): position 1 or less selects the first row; past
// the end selects the new last row; otherwise the row that moved up into the gap.
void SelectListItemAt(QAbstractItemView* list, int position)
{
    QAbstractItemModel* model = list->model();
    if (model == nullptr) {
        return;
    }
    const int count = model->rowCount(list->rootIndex());
    int row = -1;
    if (position < 2) {
        row = count >= 1 ? 0 : -1;
    } else if (position > count) {
        row = count - 1;
    } else {
        row = position - 1;
    }
    if (row < 0) {
        return;
    }
    const QModelIndex index = model->index(row, 0, list->rootIndex());
    list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->scrollTo(index);
}

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    // ShowError may already have put the normal pointer back.
    if (QApplication::overrideCursor() != nullptr) {
        QApplication::restoreOverrideCursor();
    }
}
