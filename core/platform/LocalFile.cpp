#include "core/platform/LocalFile.h"

#include <QFile>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

bool IsEscapedByte(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

// The length of the valid UTF-8 sequence at the start of bytes, 0 when there is none.
qsizetype Utf8SequenceAt(QByteArrayView bytes)
{
    const auto lead = static_cast<unsigned char>(bytes[0]);
    const qsizetype length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
    if (length == 0 || length > bytes.size()) {
        return 0;
    }
    return bytes.first(length).isValidUtf8() ? length : 0;
}

} // namespace

QString FileNameFromLocal(const QByteArray& bytes)
{
    if (bytes.isValidUtf8()) {
        return QString::fromUtf8(bytes);
    }
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = Utf8SequenceAt(QByteArrayView(bytes).sliced(i));
        if (length > 0) {
            name += QString::fromUtf8(QByteArrayView(bytes).sliced(i, length));
            i += length;
        } else {
            name += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i])));
            ++i;
        }
    }
    return name;
}

QByteArray FileNameToLocal(const QString& name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        // A low surrogate after a high one is half of a character, not an escaped byte.
        if (IsEscapedByte(c) && !(i > 0 && name[i - 1].isHighSurrogate())) {
            bytes += QStringView(name).sliced(start, i - start).toUtf8();
            bytes += static_cast<char>(c - 0xDC00);
            start = i + 1;
        }
    }
    bytes += QStringView(name).sliced(start).toUtf8();
    return bytes;
}

QString FileNameForDisplay(const QString& name)
{
    QString shown = name;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (IsEscapedByte(shown[i].unicode()) && !(i > 0 && shown[i - 1].isHighSurrogate())) {
            shown[i] = QChar::ReplacementCharacter;
        }
    }
    return shown;
}

OpenFileResult OpenRegularFile(const QString& name, QFile& file)
{
#ifdef _WIN32
    file.setFileName(name);
    return file.open(QIODevice::ReadOnly) ? OpenFileResult::Opened : OpenFileResult::Unreadable;
#else
    const QByteArray path = FileNameToLocal(name);
    // Without blocking: opening a named pipe for reading waits for a writer.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return errno == ENOENT || errno == ENOTDIR ? OpenFileResult::NotFound : OpenFileResult::Unreadable;
    }
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0) {
        ::close(fd);
        return OpenFileResult::Unreadable;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return OpenFileResult::NotRegular;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return OpenFileResult::Unreadable;
    }
    return OpenFileResult::Opened;
#endif
}
