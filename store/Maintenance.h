#pragma once

#include <QDate>
#include <QString>

#include <functional>

class Connection;

// Work on the address book as a whole file: backup, restore and compaction. Every replacement is
// written to a work file beside its target and renamed over it only once it is complete and
// checked, so an interrupted run never leaves a half-written file under a good name. Failures
// throw AppError or DbError.

// Reports how far a long copy has come: done of total, total 0 while the amount is unknown. It is
// called with done == total > 0 once, when the new file is complete, before it replaces anything.
// To stop the work it throws: the work file goes, nothing is replaced, and the exception comes
// through to the caller.
using MaintenanceProgress = std::function<void(qint64 done, qint64 total)>;

// "MVBackup" followed by the month and day (two digits each) and ".mvb": one backup per day of
// the year, a later one replacing an earlier one of the same day.
QString BackupFileName(const QDate& date);
// That file directly in folder, with one separator between them.
QString BackupFilePath(const QString& folder, const QDate& date);

// Copies the open database into BackupFilePath(folder, date) and returns that path. The copy is
// consistent while the connection stays open and keeps the program's password.
QString BackupDatabase(Connection& conn, const QString& folder, const QDate& date,
                       const MaintenanceProgress& progress = {});

// Whether path is an intact address book that opens with the program's password: the three
// tables and two views are there and the engine finds no damage.
bool IsAddressBookFile(const QString& path);
// The same with another passphrase than the one in force (a backup made under another key).
bool IsAddressBookFile(const QString& path, const QString& passphrase);

// Replaces the address book at target with a copy of the one at source, which must pass
// IsAddressBookFile. Every file made here is readable by its owner only; a replaced book's mode is
// kept. The file it replaces is kept at PreviousDatabasePath(target) until
// DiscardPreviousDatabase or RevertDatabaseFile.
void ReplaceDatabaseFile(const QString& source, const QString& target, const MaintenanceProgress& progress = {});
QString PreviousDatabasePath(const QString& target);
// Puts the kept file back over target, for a replacement that turned out not to open.
void RevertDatabaseFile(const QString& target);
void DiscardPreviousDatabase(const QString& target);

enum class CompactOutcome { Compacted, DatabaseMissing };

// The work file of a compaction: "Temp.mdb" in the database's folder.
QString CompactWorkPath(const QString& databasePath);
// Rewrites the (closed) database at path into CompactWorkPath(path) with the passphrase in force and
// renames the result over it. A leftover work file from an interrupted run goes first. Returns
// DatabaseMissing, having touched nothing, when there is no file at path.
CompactOutcome CompactDatabaseFile(const QString& path, const MaintenanceProgress& progress = {});
// The same, writing the copy under another passphrase: the book is re-keyed by the rename, so an
// interruption at any point leaves it whole under the old key or the new one.
CompactOutcome RekeyDatabaseFile(const QString& path, const QString& passphrase,
                                 const MaintenanceProgress& progress = {});
