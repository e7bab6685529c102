#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class Connection;

// What the tests put into an address book and read back from it, and from files, in one place.
// Every function works on Conn unless a connection is named.
namespace Book {

// A type with this name (and description); its number.
qint64 AddType(const QString& name, const QVariant& description = QString(), Connection* conn = nullptr);
// A record of this type. fields: home phone, mobile, work phone, mail, QQ, MSN, ICQ, web address;
// a null string (or a missing entry) is stored as Null, anything else enciphered as the editor
// stores it (the web address as it is). Its number.
qint64 AddRecord(qint64 typeNo, const QString& name, const QStringList& fields = {}, Connection* conn = nullptr);
// Several records of one type, with nothing but their names.
QList<qint64> AddRecords(qint64 typeNo, const QStringList& names);

// Every row of every table (and the key counters) as text, Null kept apart from "", to compare
// a book before and after.
QStringList Dump(Connection* conn = nullptr);
// Dump of the address book in a file, opened on a connection of its own.
QStringList DumpFile(const QString& path);
// Every record as "name/type" ("name/" when its type is gone), sorted; then "|" and the types in
// order: the contents as the user sees them.
QStringList Contents(Connection* conn = nullptr);

// The names in a folder, hidden ones too, sorted.
QStringList Entries(const QString& folder);
// A whole file, or nothing when it cannot be read.
QByteArray ReadFile(const QString& path);
// Replaces a file's contents; false when it could not be written.
bool WriteFile(const QString& path, const QByteArray& bytes);
// A file of tests/data, whole.
QByteArray Sample(const QString& name);

// The key of a type or record in the main window ("_" and its number).
QString Key(qint64 number);

// The rows of the running data function from a table in a file of tests/data: "[function]" starts
// its table, whose first line names the columns ("name:bytes", ":int", ":bool", ":list" of comma-
// separated items, else a string), then a row a line, its name first. Cells are split at "|" and
// trimmed unless quoted; escapes \n \r \t \0 \xHH \uHHHH \| \" \\; <null> is a null string; # a comment.
void AddRows(const QString& sample);

} // namespace Book
