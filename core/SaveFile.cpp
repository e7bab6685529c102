#include "core/SaveFile.h"

#include <QSaveFile>

bool ReplaceFileContents(const QString& path, const QByteArray& bytes, QString* error, FileAccess access)
{
    QSaveFile out(path);
    auto fail = [&] {
        // The cause must be taken before cancelling: closing the file resets it.
        if (error != nullptr) {
            *error = out.errorString();
        }
        out.cancelWriting();
        return false;
    };
    if (!out.open(QIODevice::WriteOnly)) {
        return fail();
    }
    // Set on the temporary file before a byte is written, so no other user ever sees the contents.
    if (access == FileAccess::OwnerOnly && !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        return fail();
    }
    // A buffered write succeeds on a full disk; only the flush finds out, and commit() would
    // rename the short file over the good one all the same.
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        return fail();
    }
    if (!out.commit()) {
        if (error != nullptr) {
            *error = out.errorString();
        }
        return false;
    }
    return true;
}
