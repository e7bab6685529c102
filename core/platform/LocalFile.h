#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// File names as the system has them, which on Linux are bytes, not necessarily UTF-8: a name that
// is not is kept in its text with each byte UTF-8 cannot read as a lone low surrogate
// (U+DC80..U+DCFF), so it comes back unchanged when the file is opened.
QString FileNameFromLocal(const QByteArray& bytes);
QByteArray FileNameToLocal(const QString& name);
// The name for a message: a byte kept as a surrogate shows as U+FFFD.
QString FileNameForDisplay(const QString& name);

enum class OpenFileResult { Opened, NotFound, NotRegular, Unreadable };

// Opens a regular file for reading, by its exact name; anything else (a named pipe, a device, a
// folder, a socket) is refused before it is read, so that opening it can never block.
OpenFileResult OpenRegularFile(const QString& name, QFile& file);
