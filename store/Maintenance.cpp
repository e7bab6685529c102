#include "store/Maintenance.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <sqlite3.h>
#include <system_error>

#include "core/Errors.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/RecordPurge.h"

namespace {

// About 4 MB of pages per step of a copy: small enough to report progress often.
constexpr int PagesPerStep = 4096;

std::filesystem::path FsPath(const QString& path)
{
    return std::filesystem::path(path.toStdU16String());
}

// Renames from over to in one step, replacing to when it exists.
void RenameOver(const QString& from, const QString& to)
{
    std::error_code error;
    std::filesystem::rename(FsPath(from), FsPath(to), error);
    if (error) {
        throw AppError(75,
                       QStringLiteral("Could not replace '%1': %2").arg(to, QString::fromLocal8Bit(error.message())));
    }
}

// The replacement takes the mode of the file it replaces: a book the user shared stays shared, a
// private one private. A new file keeps the owner-only mode it was created with.
void KeepModeOf(const QString& target, const QString& work)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(FsPath(target), error);
    if (error || !std::filesystem::is_regular_file(status)) {
        return;
    }
    std::filesystem::permissions(FsPath(work), status.permissions(), error);
    if (error) {
        throw AppError(75, QStringLiteral("Could not set the permissions of '%1': %2")
                               .arg(work, QString::fromLocal8Bit(error.message())));
    }
}

// A work file and the engine's companions of it, which would otherwise be taken for part of the
// next file of that name.
void RemoveWorkFile(const QString& path)
{
    for (const QString& suffix :
         {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        const QString file = path + suffix;
        if (QFileInfo(file).exists() && !QFile::remove(file)) {
            throw AppError(75, QStringLiteral("Could not remove '%1'.").arg(file));
        }
    }
}

void RemoveWorkFileQuietly(const QString& path) noexcept
{
    try {
        RemoveWorkFile(path);
    } catch (...) { // NOLINT(bugprone-empty-catch): the first failure is the one worth reporting
    }
}

QString FirstRowText(Connection& conn, const char* sql)
{
    sqlite3* db = conn.Handle();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        conn.Throw(sqlite3_extended_errcode(db));
    }
    const int rc = sqlite3_step(stmt);
    QString text;
    if (rc == SQLITE_ROW) {
        text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        conn.Throw(sqlite3_extended_errcode(db));
    }
    return text;
}

// Throws unless path opens with the program's password and holds every table and view of the
// address book; thorough also reads every page, which finds a truncated or damaged file.
void CheckAddressBook(const QString& path, bool thorough, const QString& passphrase = BookPassphrase())
{
    Connection conn;
    conn.Open(ConnectionStringForFile(path, passphrase));
    const QStringList missing = MissingSchemaObjects(conn);
    if (!missing.isEmpty()) {
        throw DbError(SQLITE_CORRUPT, QStringLiteral("'%1' is not an address book: %2 is missing.")
                                          .arg(path, missing.join(QStringLiteral(", "))));
    }
    if (thorough) {
        const QString verdict = FirstRowText(conn, "PRAGMA quick_check");
        if (verdict != QLatin1String("ok")) {
            throw DbError(SQLITE_CORRUPT, QStringLiteral("'%1' is damaged: %2").arg(path, verdict));
        }
    }
}

// Writes a copy of the database open on source into work with the engine's online backup, which
// reads a consistent state even while the source stays in use. work must not exist. The copy
// page for page needs the source's page size; only compaction rewrites a book with a new one.
void CopyDatabase(Connection& from, const QString& work, const MaintenanceProgress& progress)
{
    sqlite3* source = from.Handle();
    Connection target;
    target.Create(ConnectionStringForFile(work), from.PageSize());
    // Nothing to roll back into in a new work file, and no journal left behind if we are stopped.
    target.Execute(QStringLiteral("PRAGMA journal_mode = OFF"));
    sqlite3_backup* backup = sqlite3_backup_init(target.Handle(), "main", source, "main");
    if (backup == nullptr) {
        target.Throw(sqlite3_extended_errcode(target.Handle()));
    }
    int rc = SQLITE_OK;
    try {
        while (rc == SQLITE_OK) {
            rc = sqlite3_backup_step(backup, PagesPerStep);
            if (rc == SQLITE_OK && progress) {
                const int total = sqlite3_backup_pagecount(backup);
                progress(total - sqlite3_backup_remaining(backup), total);
            }
        }
    } catch (...) {
        sqlite3_backup_finish(backup); // the target cannot close while a backup holds it
        throw;
    }
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        throw DbError(rc, QString::fromUtf8(sqlite3_errstr(rc)));
    }
    if (finished != SQLITE_OK) {
        target.Throw(finished);
    }
    // The copy is read by whatever opens it next, an earlier version too: contacts deleted but not
    // yet removed leave with it, and moves are written.
    SettlePending(target);
}

// Keeps the background purge of the book off the file while it is copied.
struct PurgePaused
{
    PurgePaused() { Purger().Pause(); }
    ~PurgePaused() { Purger().Resume(); }
    PurgePaused(const PurgePaused&) = delete;
    PurgePaused& operator=(const PurgePaused&) = delete;
};

bool SameFile(const QString& a, const QString& b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

void ReportComplete(const QString& work, const MaintenanceProgress& progress)
{
    if (progress) {
        const qint64 size = qMax<qint64>(1, QFileInfo(work).size());
        progress(size, size);
    }
}

// The progress of a statement: what the callback throws is kept to be thrown again once the
// engine has stopped the statement, since it cannot pass through the engine's frames.
struct StatementProgress
{
    const MaintenanceProgress& progress;
    std::exception_ptr stopped;
};

int ProgressHandler(void* context)
{
    auto* state = static_cast<StatementProgress*>(context);
    try {
        state->progress(0, 0);
        return 0;
    } catch (...) {
        state->stopped = std::current_exception();
        return 1; // stops the statement, which then fails
    }
}

} // namespace

QString BackupFileName(const QDate& date)
{
    return QStringLiteral("MVBackup") + date.toString(QStringLiteral("MMdd")) + QStringLiteral(".mvb");
}

QString BackupFilePath(const QString& folder, const QDate& date)
{
    if (folder.endsWith(u'/') || folder.endsWith(u'\\')) {
        return folder + BackupFileName(date);
    }
    return folder + QLatin1Char('/') + BackupFileName(date);
}

QString BackupDatabase(Connection& conn, const QString& folder, const QDate& date, const MaintenanceProgress& progress)
{
    if (folder.isEmpty() || !date.isValid()) {
        throw AppError(76, QStringLiteral("Path not found"));
    }
    const QString target = BackupFilePath(folder, date);
    // Not "*.mvb": an interrupted backup must not look like one.
    const QString work = target + QStringLiteral(".part");
    RemoveWorkFile(work);
    try {
        const PurgePaused paused;
        CopyDatabase(conn, work, progress);
        CheckAddressBook(work, false);
        ReportComplete(work, progress);
        RenameOver(work, target);
    } catch (...) {
        RemoveWorkFileQuietly(work);
        throw;
    }
    return target;
}

bool IsAddressBookFile(const QString& path)
{
    return IsAddressBookFile(path, BookPassphrase());
}

bool IsAddressBookFile(const QString& path, const QString& passphrase)
{
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    try {
        CheckAddressBook(path, true, passphrase);
        return true;
    } catch (const AppError&) {
        return false;
    }
}

QString PreviousDatabasePath(const QString& target)
{
    return target + QStringLiteral(".previous");
}

void ReplaceDatabaseFile(const QString& source, const QString& target, const MaintenanceProgress& progress)
{
    if (!IsAddressBookFile(source)) {
        throw DbError(SQLITE_NOTADB, QStringLiteral("The file is not a backup of this address book."));
    }
    const QString work = target + QStringLiteral(".restore");
    const QString previous = PreviousDatabasePath(target);
    if (SameFile(source, work) || SameFile(source, previous)) {
        // Those names are cleared away below; the user's file must not go with them.
        throw AppError(75, QStringLiteral("'%1' is in use by the restore; copy it elsewhere first.").arg(source));
    }
    RemoveWorkFile(work);
    RemoveWorkFile(previous);
    try {
        {
            Connection from;
            from.Open(ConnectionStringForFile(source));
            CopyDatabase(from, work, progress);
        }
        CheckAddressBook(work, false);
        KeepModeOf(target, work);
        ReportComplete(work, progress);
        if (QFileInfo(target).isFile()) {
            // A second name for the current file costs nothing and survives the rename below;
            // where the file system has no links, a copy does the same.
            std::error_code error;
            std::filesystem::create_hard_link(FsPath(target), FsPath(previous), error);
            if (error && !QFile::copy(target, previous)) {
                throw AppError(75, QStringLiteral("Could not keep a copy of '%1'.").arg(target));
            }
        }
        RenameOver(work, target);
    } catch (...) {
        RemoveWorkFileQuietly(work);
        RemoveWorkFileQuietly(previous);
        throw;
    }
}

void RevertDatabaseFile(const QString& target)
{
    const QString previous = PreviousDatabasePath(target);
    if (!QFileInfo(previous).isFile()) {
        throw AppError(53, QStringLiteral("The previous address book '%1' is gone.").arg(previous));
    }
    RenameOver(previous, target);
}

void DiscardPreviousDatabase(const QString& target)
{
    RemoveWorkFile(PreviousDatabasePath(target));
}

QString CompactWorkPath(const QString& databasePath)
{
    return QFileInfo(databasePath).absolutePath() + QStringLiteral("/Temp.mdb");
}

CompactOutcome CompactDatabaseFile(const QString& path, const MaintenanceProgress& progress)
{
    return RekeyDatabaseFile(path, BookPassphrase(), progress);
}

CompactOutcome RekeyDatabaseFile(const QString& path, const QString& passphrase, const MaintenanceProgress& progress)
{
    if (!QFileInfo(path).isFile()) {
        return CompactOutcome::DatabaseMissing;
    }
    const QString work = CompactWorkPath(path);
    RemoveWorkFile(work);
    try {
        {
            // An attached file is opened with the flags of the main one, which never create.
            Connection created;
            created.Create(ConnectionStringForFile(work, passphrase));
        }
        {
            Connection conn;
            conn.Open(ConnectionStringForFile(path));
            conn.Execute(QStringLiteral("ATTACH DATABASE ? AS compacted KEY ?"), {work, passphrase});
            // Compaction writes every page anew, so an old book takes the page size of new ones here.
            conn.Execute(QStringLiteral("PRAGMA compacted.cipher_page_size = %1").arg(NewBookPageSize));
            conn.Execute(QStringLiteral("PRAGMA compacted.journal_mode = OFF"));
            StatementProgress state{progress, {}};
            if (progress) {
                sqlite3_progress_handler(conn.Handle(), 10000, &ProgressHandler, &state);
            }
            try {
                // The rewritten book starts with nothing pending, and smaller for it.
                SettlePending(conn);
                conn.Execute(QStringLiteral("SELECT sqlcipher_export('compacted')"));
            } catch (...) {
                sqlite3_progress_handler(conn.Handle(), 0, nullptr, nullptr);
                if (state.stopped) {
                    std::rethrow_exception(state.stopped);
                }
                throw;
            }
            sqlite3_progress_handler(conn.Handle(), 0, nullptr, nullptr);
            conn.Execute(QStringLiteral("PRAGMA compacted.user_version = ") +
                         FirstRowText(conn, "PRAGMA main.user_version"));
            // Every row must have arrived before the copy may stand in for the original.
            const QString complete = FirstRowText(
                conn, "SELECT (SELECT count(*) FROM main.PWDTable) = (SELECT count(*) FROM compacted.PWDTable)"
                      " AND (SELECT count(*) FROM main.PWDType) = (SELECT count(*) FROM compacted.PWDType)"
                      " AND (SELECT count(*) FROM main.Users) = (SELECT count(*) FROM compacted.Users)");
            if (complete != QLatin1String("1")) {
                throw DbError(SQLITE_CORRUPT, QStringLiteral("The compacted copy of '%1' is incomplete.").arg(path));
            }
            conn.Execute(QStringLiteral("DETACH DATABASE compacted"));
        }
        CheckAddressBook(work, false, passphrase);
        KeepModeOf(path, work);
        ReportComplete(work, progress);
        RenameOver(work, path);
    } catch (...) {
        RemoveWorkFileQuietly(work);
        throw;
    }
    return CompactOutcome::Compacted;
}
