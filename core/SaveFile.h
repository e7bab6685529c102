#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes: written to a temporary file beside it, every write and the
// flush checked, and renamed over path only when all of it reached the disk. On failure path is
// left exactly as it was and error (when given) receives the cause in the system's words ("No
// space left on device", "Permission denied", ...). With FileAccess::Keep an existing file keeps its
// permissions and a new one gets what the user's umask allows; with FileAccess::OwnerOnly the file
// ends readable and writable by its owner only, whatever it was before.
enum class FileAccess { Keep, OwnerOnly };
bool ReplaceFileContents(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                         FileAccess access = FileAccess::Keep);
