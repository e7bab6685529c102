#include "main/MaintenanceCommands.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QUndoStack>

#include <optional>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/Errors.h"
#include "core/Language.h"
#include "store/BookProtection.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Maintenance.h"
#include "ui/BusyProgress.h"
#include "ui/Common.h"
#include "ui/Platform.h"

namespace {

// What the progress throws when the user cancels: the work file goes and nothing is replaced.
struct Cancelled
{
};

// The progress of a copy or compaction, with a Cancel that stops it before anything is replaced.
MaintenanceProgress Feedback(BusyProgress& busy)
{
    return [&busy](qint64 done, qint64 total) {
        if (!busy.Step(done, total)) {
            throw Cancelled{};
        }
    };
}

QString CancelText()
{
    return GetLangString(QStringLiteral("frmMain"), QStringLiteral("50026"), QStringLiteral("Cancel"));
}

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

QString MaintenanceCommands::ForgetHistory()
{
    // The steps refer to rows of the book as it was: after it is replaced or rewritten they are
    // not offered, and the user is told so when there were any.
    return TheBook().ClearHistory() ? QLatin1Char('\n') + Text("66201", "What was done before can no longer be undone.")
                                    : QString();
}

void MaintenanceCommands::Backup(const QString& title)
{
    PlaySoundRes(SoundInformation);
    // A suggested folder that is gone (another user's, a removed disk) would open the chooser
    // somewhere arbitrary: the home folder is a place the user knows.
    const QString start = !BackupFolder.isEmpty() && QFileInfo(BackupFolder).isDir() ? BackupFolder : QDir::homePath();
    const QString folder = ThePlatform().ChooseFolder(m_window, Text("50004", "Select a folder:"), start);
    PlaySoundRes(SoundClick);
    if (folder.isEmpty()) {
        return;
    }
    QString written;
    try {
        BusyProgress busy(m_window, title, CancelText());
        written = ::BackupDatabase(Conn, folder, QDate::currentDate(), Feedback(busy));
    } catch (const Cancelled&) {
        return;
    } catch (const AppError&) {
        // Said with its reason, as the system's own file copy would: a missing completion message
        // alone is easily taken for a backup made. Nothing is left behind, and an earlier backup
        // of the day stays as it was.
        ShowError(m_window);
        return;
    }
    // The file written, so the user knows where to find it.
    MsgInformation(m_window, Text("50005", "Backup complete!") + QLatin1Char('\n') + QDir::toNativeSeparators(written));
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
    // Copying some other file over the address book would lose every contact: look first. A
    // backup may have been made under another key: the program's own, or another password.
    std::optional<QString> passphrase;
    QString password;
    {
        WaitCursor wait;
        QStringList keys{BookPassphrase()};
        if (keys.first() != QLatin1String(DatabasePassword)) {
            keys.append(QString::fromLatin1(DatabasePassword));
        }
        for (const QString& key : std::as_const(keys)) {
            if (!passphrase && IsAddressBookFile(file, key)) {
                passphrase = key;
            }
        }
    }
    if (!passphrase && MightBeProtectedBook(file)) {
        PlaySoundRes(SoundInformation);
        const std::optional<QString> given = ThePlatform().AskPassword(
            m_window, Text("50060", "Restore"),
            Text("50061", "The backup is protected with another password than the address book. Password of the "
                          "backup:"));
        PlaySoundRes(SoundClick);
        if (!given) {
            return false;
        }
        password = *given;
        WaitCursor wait;
        if (IsAddressBookFile(file, PassphraseForPassword(password))) {
            passphrase = PassphraseForPassword(password);
        }
    }
    if (!passphrase) {
        MsgWarning(m_window, Text("50009", "The file is not a backup of this address book."));
        return false;
    }
    const bool confirmed = MsgConfirm(m_window, Text("50008", "Overwrite current database?"));
    PlaySoundRes(SoundClick);
    if (!confirmed) {
        return false;
    }
    const QString database = DatabaseFile();
    const QString before = BookPassphrase();
    Conn.Close();
    bool replaced = false;
    // The restored book keeps the key it was backed up under; until it opens, the old one stands.
    SetBookPassphrase(*passphrase);
    try {
        BusyProgress busy(m_window, title, CancelText());
        ReplaceDatabaseFile(file, database, Feedback(busy));
        replaced = true;
    } catch (const Cancelled&) { // NOLINT(bugprone-empty-catch): the address book was not touched
    } catch (const AppError&) {
        ShowError(m_window); // the address book was not touched
    }
    if (!replaced) {
        SetBookPassphrase(before);
    }
    try {
        Conn.Open(ConnectionStringForFile(database));
        if (replaced) {
            KeepRecoveryWithRestoredBook(Conn, *passphrase, password);
        }
        // A backup made by an earlier version lacks the indexes this one reads through.
        AddMissingIndexes(Conn);
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        if (replaced) {
            // The restored file does not open here: the address book goes back as it was.
            SetBookPassphrase(before);
            try {
                RevertDatabaseFile(database);
                Conn.Open(ConnectionStringForFile(database));
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
        MsgInformation(m_window, Text("50007", "Restore database complete!") + ForgetHistory());
    }
    return true;
}

void MaintenanceCommands::Compact(const QString& title)
{
    const QString database = DatabaseFile();
    Conn.Close();
    bool cancelled = false;
    try {
        CompactOutcome outcome = CompactOutcome::Compacted;
        {
            BusyProgress busy(m_window, title, CancelText());
            outcome = CompactDatabaseFile(database, Feedback(busy));
        }
        if (outcome == CompactOutcome::DatabaseMissing) {
            ThePlatform().MessageBox(m_window,
                                     QDir::toNativeSeparators(database) + QStringLiteral("File not fond\uFF01"),
                                     QCoreApplication::applicationName(), MsgIcon::Warning, MsgButtons::Ok);
        }
    } catch (const Cancelled&) {
        cancelled = true; // the book stays as it was, and nothing was completed to say so
    } catch (const AppError& e) {
        ThePlatform().MessageBox(
            m_window, e.Description() + QString::number(e.Number()),
            GetLangString(QStringLiteral("General"), QStringLiteral("10001"), QStringLiteral("Error")),
            MsgIcon::Critical, MsgButtons::Ok);
    }
    if (!cancelled) {
        MsgInformation(m_window, Text("50003", "Complete") + ForgetHistory());
    }
    try {
        Conn.Open();
    } catch (...) {
        ShowError(m_window);
    }
}
