#include "core/platform/PrivateFolder.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

bool IsPrivateFolder(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    // lstat: a link placed there by somebody else must not lead us into their folder.
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
#else
    // Elsewhere the folders this is asked about are the user's own profile folders.
    const QFileInfo info(path);
    return !path.isEmpty() && info.isDir() && !info.isSymLink();
#endif
}

bool MakePrivateFolder(const QString& path)
{
#ifdef Q_OS_UNIX
    if (::mkdir(QFile::encodeName(path).constData(), S_IRWXU) != 0 && errno != EEXIST) {
        return false;
    }
#else
    QDir().mkpath(path);
#endif
    return IsPrivateFolder(path);
}

QString CurrentUserTag()
{
#ifdef Q_OS_UNIX
    return QString::number(::geteuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}
