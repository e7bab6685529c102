// Database maintenance (backup, restore, compact) and the Options and About dialogs.
#include "main/frmMain.h"

#include <QAction>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProgressDialog>
#include <QTreeWidget>

#include <memory>

#include "core/AppState.h"
#include "core/Errors.h"
#include "core/Language.h"
#include "core/TextUtil.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmOptions.h"
#include "main/RecordListModel.h"
#include "main/SyncCommands.h"
#include "store/Database.h"
#include "store/Maintenance.h"
#include "ui/Common.h"
#include "ui/Forms.h"
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

// The views show the address book as it is now; with no book open they show nothing at all
// rather than contacts that are no longer there.
} // namespace

void frmMain::OpenOptions()
{
    Form<frmOptions>().exec();
    SyncCmds->Start(false); // the sync interval may have changed
}

void frmMain::OpenAbout()
{
    Form<frmAbout>().exec();
}

QString frmMain::CommandTitle(const QAction* action)
{
    return PlainCaption(action->text());
}

void frmMain::RefreshViews()
{
    if (Conn.IsOpen()) {
        Refresh();
        return;
    }
    // The book did not reopen: show nothing rather than contacts that may be gone.
    TreeView1->Clear();
    m_model->Clear();
    SetPanel(1, GetLangString(QStringLiteral("General"), QStringLiteral("10001"), QStringLiteral("Error")));
    UpdateCommandState();
}

void frmMain::BackupDatabase()
{
    PlaySoundRes(SoundInformation);
    const QString folder = ThePlatform().ChooseFolder(this, Text("50004", "Select a folder:"));
    PlaySoundRes(SoundClick);
    if (folder.isEmpty()) {
        return;
    }
    try {
        MaintenanceFeedback feedback(this, DatabaseFile(), CommandTitle(mnuBackup));
        ::BackupDatabase(Conn, folder, QDate::currentDate(), feedback.Callback());
    } catch (const AppError&) {
        // A failed backup says nothing: the missing completion message tells. Nothing is left
        // behind, and an earlier backup of the day stays as it was.
        return;
    }
    MsgInformation(this, Text("50005", "Backup complete!"));
}

void frmMain::RestoreDatabase()
{
    PlaySoundRes(SoundInformation);
    const QString file =
        ThePlatform().ChooseOpenFile(this, QString(), Text("50006", "backup file") + QStringLiteral(" (*.mvb)"));
    PlaySoundRes(SoundClick);
    if (file.isEmpty()) {
        return;
    }
    // Copying some other file over the address book would lose every contact: look first.
    bool usable = false;
    {
        WaitCursor wait;
        usable = IsAddressBookFile(file);
    }
    if (!usable) {
        MsgWarning(this, Text("50009", "The file is not a backup of this address book."));
        return;
    }
    const bool confirmed = MsgConfirm(this, Text("50008", "Overwrite current database?"));
    PlaySoundRes(SoundClick);
    if (!confirmed) {
        return;
    }
    const QString database = DatabaseFile();
    Conn.Close();
    bool replaced = false;
    try {
        MaintenanceFeedback feedback(this, file, CommandTitle(mnuRestore));
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
        ShowError(error, this);
    }
    if (replaced) {
        try {
            DiscardPreviousDatabase(database);
        } catch (const AppError&) { // NOLINT(bugprone-empty-catch): the next restore clears it away
        }
        MsgInformation(this, Text("50007", "Restore database complete!"));
    }
    RefreshViews();
}

void frmMain::CompactDatabase()
{
    const QString database = DatabaseFile();
    Conn.Close();
    try {
        MaintenanceFeedback feedback(this, database, CommandTitle(mnuClearupDB));
        const CompactOutcome outcome = CompactDatabaseFile(database, feedback.Callback());
        if (outcome == CompactOutcome::DatabaseMissing) {
            ThePlatform().MessageBox(this, QDir::toNativeSeparators(database) + QStringLiteral("File not fond\uFF01"),
                                     QCoreApplication::applicationName(), MsgIcon::Warning, MsgButtons::Ok);
        }
    } catch (const AppError& e) {
        ThePlatform().MessageBox(this, e.Description() + QString::number(e.Number()), QStringLiteral("error"),
                                 MsgIcon::Critical, MsgButtons::Ok);
    }
    MsgInformation(this, Text("50003", "Complete"));
    try {
        Conn.Open();
    } catch (...) {
        ShowError(this);
    }
    RefreshViews();
}
