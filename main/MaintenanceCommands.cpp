#include "main/MaintenanceCommands.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressDialog>

#include <memory>

#include "core/AppState.h"
#include "core/Errors.h"
#include "core/Language.h"
#include "store/Connection.h"
#include "store/Maintenance.h"
#include "ui/Common.h"
#include "ui/Platform.h"

namespace {

// Files larger than this get a progress dialog; smaller ones are done before anyone would look.
constexpr qint64 ProgressDialogBytes = 4 * 1024 * 1024;

// What the user sees while a copy or compaction runs: the wait pointer, and for a large file a
// progress dialog. It has no Cancel button: stopping half-way would gain nothing.
class MaintenanceFeedback
{
public:
    MaintenanceFeedback(QWidget* parent, const QString& file, const QString& label)
    {
        if (QFileInfo(file).size() > ProgressDialogBytes) {
            m_dialog = std::make_unique<QProgressDialog>(parent);
            m_dialog->setWindowTitle(parent->windowTitle());
            m_dialog->setLabelText(label);
            m_dialog->setWindowModality(Qt::WindowModal);
            m_dialog->setCancelButton(nullptr);
            m_dialog->setMinimumDuration(0);
            m_dialog->setRange(0, 0);
            m_dialog->setValue(0);
        }
        m_clock.start();
    }

    MaintenanceProgress Callback()
    {
        return [this](qint64 done, qint64 total) { Report(done, total); };
    }

private:
    void Report(qint64 done, qint64 total)
    {
        if (!m_dialog || m_clock.elapsed() < 50) {
            return;
        }
        m_clock.restart();
        if (total > 0) {
            m_dialog->setRange(0, 1000);
            m_dialog->setValue(static_cast<int>(done * 1000 / total));
        } else {
            // No measure of the work: a busy bar, and the window kept painted.
            m_dialog->setRange(0, 0);
            m_dialog->setValue(++m_ticks);
        }
    }

    WaitCursor m_wait;
    std::unique_ptr<QProgressDialog> m_dialog;
    QElapsedTimer m_clock;
    int m_ticks = 0;
};

QString Text(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("frmMain"), QLatin1String(key), QLatin1String(english));
}

// The address book's file, whether the connection is open or not.
QString DatabaseFile()
{
    return ConnectionStringValue(Conn.ConnectionString, QStringLiteral("Data Source"));
}
} // namespace

MaintenanceCommands::MaintenanceCommands(QWidget* window) : m_window(window) {}

void MaintenanceCommands::Backup(const QString& title)
{
    PlaySoundRes(SoundInformation);
    const QString folder = ThePlatform().ChooseFolder(m_window, Text("50004", "Select a folder:"), BackupFolder);
    PlaySoundRes(SoundClick);
    if (folder.isEmpty()) {
        return;
    }
    try {
        MaintenanceFeedback feedback(m_window, DatabaseFile(), title);
        ::BackupDatabase(Conn, folder, QDate::currentDate(), feedback.Callback());
    } catch (const AppError&) {
        // A failed backup says nothing: the missing completion message tells. Nothing is left
        // behind, and an earlier backup of the day stays as it was.
        return;
    }
    MsgInformation(m_window, Text("50005", "Backup complete!"));
}

bool MaintenanceCommands::Restore(const QString& title)
{
    PlaySoundRes(SoundInformation);
    const QString file =
        ThePlatform().ChooseOpenFile(m_window, QString(), Text("50006", "backup file") + QStringLiteral(" (*.mvb)"));
    PlaySoundRes(SoundClick);
    if (file.isEmpty()) {
        return false;
    }
    // Copying some other file over the address book would lose every contact: look first.
    bool usable = false;
    {
        WaitCursor wait;
        usable = IsAddressBookFile(file);
    }
    if (!usable) {
        MsgWarning(m_window, Text("50009", "The file is not a backup of this address book."));
        return false;
    }
    const bool confirmed = MsgConfirm(m_window, Text("50008", "Overwrite current database?"));
    PlaySoundRes(SoundClick);
    if (!confirmed) {
        return false;
    }
    const QString database = DatabaseFile();
    Conn.Close();
    bool replaced = false;
    try {
        MaintenanceFeedback feedback(m_window, file, title);
        ReplaceDatabaseFile(file, database, feedback.Callback());
        replaced = true;
    } catch (const AppError&) { // NOLINT(bugprone-empty-catch)
        // As with a backup, a failed copy says nothing; the address book was not touched.
    }
    try {
        Conn.Open();
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        if (replaced) {
            // The restored file does not open here: the address book goes back as it was.
            try {
                RevertDatabaseFile(database);
                Conn.Open();
            } catch (...) { // NOLINT(bugprone-empty-catch): the first failure is the one to report
            }
            replaced = false;
        }
        ShowError(error, m_window);
    }
    if (replaced) {
        try {
            DiscardPreviousDatabase(database);
        } catch (const AppError&) { // NOLINT(bugprone-empty-catch): the next restore clears it away
        }
        MsgInformation(m_window, Text("50007", "Restore database complete!"));
    }
    return true;
}

void MaintenanceCommands::Compact(const QString& title)
{
    const QString database = DatabaseFile();
    Conn.Close();
    try {
        MaintenanceFeedback feedback(m_window, database, title);
        const CompactOutcome outcome = CompactDatabaseFile(database, feedback.Callback());
        if (outcome == CompactOutcome::DatabaseMissing) {
            ThePlatform().MessageBox(m_window,
                                     QDir::toNativeSeparators(database) + QStringLiteral("File not fond\uFF01"),
                                     QCoreApplication::applicationName(), MsgIcon::Warning, MsgButtons::Ok);
        }
    } catch (const AppError& e) {
        ThePlatform().MessageBox(m_window, e.Description() + QString::number(e.Number()), QStringLiteral("error"),
                                 MsgIcon::Critical, MsgButtons::Ok);
    }
    MsgInformation(m_window, Text("50003", "Complete"));
    try {
        Conn.Open();
    } catch (...) {
        ShowError(m_window);
    }
}
