#include "core/DataLocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include "core/Errors.h"
#include "core/Version.h"

namespace {

QString WithSeparator(const QString& folder)
{
    return folder.endsWith(u'/') ? folder : folder + QLatin1Char('/');
}

// The XDG rules: an unset, empty or relative variable falls back to the folder below home.
QString XdgFolder(const QString& variable, const QString& home, const char* fallback)
{
    if (!variable.isEmpty() && QDir::isAbsolutePath(variable)) {
        return WithSeparator(QDir::cleanPath(variable));
    }
    return WithSeparator(QDir::cleanPath(home + QLatin1Char('/') + QLatin1String(fallback)));
}

// Makes folder and any missing parent readable by their owner only; folders that exist keep
// the permissions their owner gave them.
void MakePrivateFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(folder);
    if (QFileInfo(clean).isDir()) {
        return;
    }
    MakePrivateFolder(QFileInfo(clean).absolutePath());
    if (!QDir().mkdir(clean, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner) &&
        !QFileInfo(clean).isDir()) {
        throw AppError(76, QStringLiteral("Could not create the folder '%1'.").arg(QDir::toNativeSeparators(clean)));
    }
}

// Copies the empty book into place under a temporary name first, so an interrupted first start
// never leaves half a book, and renames it without replacing a book that is there by then.
void CopyTemplateBook(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        throw AppError(53, QStringLiteral("The empty address book of the install, '%1', cannot be read: %2")
                               .arg(QDir::toNativeSeparators(from), source.errorString()));
    }
    QTemporaryFile work(to + QStringLiteral(".XXXXXX")); // made readable by its owner only
    work.setAutoRemove(false);
    bool written = work.open();
    while (written && !source.atEnd()) {
        const QByteArray block = source.read(1 << 20);
        written = !block.isEmpty() && work.write(block) == block.size();
    }
    written = written && work.flush();
    const QString reason = work.errorString();
    work.close();
    if (!written || !QFile::rename(work.fileName(), to)) {
        QFile::remove(work.fileName());
        if (written && QFileInfo(to).isFile()) {
            return; // another start made it first; that one is the book
        }
        throw AppError(75, QStringLiteral("Could not create the address book '%1': %2")
                               .arg(QDir::toNativeSeparators(to), written ? QStringLiteral("rename failed") : reason));
    }
}

} // namespace

DataEnvironment SystemDataEnvironment()
{
    DataEnvironment environment;
    environment.executableFolder = QCoreApplication::applicationDirPath();
    environment.executableBaseName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    environment.home = QDir::homePath();
    environment.xdgConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    environment.xdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    environment.documentsFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    environment.installedShareFolder =
        QDir::cleanPath(environment.executableFolder + QStringLiteral("/" TAVOREN_SHARE_FROM_BIN));
    return environment;
}

DataLocations ResolveDataLocations(const DataEnvironment& environment)
{
    DataLocations locations;
    const QString programFolder = WithSeparator(environment.executableFolder);
    const QFileInfo program(programFolder);
    locations.portable = program.isWritable() && QFileInfo(programFolder + QStringLiteral("Datas")).isDir();
    if (locations.portable) {
        locations.dataFolder = programFolder;
        locations.settingsFile = programFolder + environment.executableBaseName + QStringLiteral(".ini");
        locations.resourceFolder = programFolder;
        return locations;
    }
    const QString config = XdgFolder(environment.xdgConfigHome, environment.home, ".config");
    const QString data = XdgFolder(environment.xdgDataHome, environment.home, ".local/share");
    locations.dataFolder = data + QStringLiteral("tavoren/");
    locations.settingsFile = config + QStringLiteral("tavoren/Tavoren.ini");
    // A copy unpacked where it cannot write (read-only media, say) has no install around it: it
    // brings its own language files and book.
    const QString share = WithSeparator(environment.installedShareFolder);
    const bool installed = QFileInfo(share + QStringLiteral("Language")).isDir() ||
                           !QFileInfo(programFolder + QStringLiteral("Language")).isDir();
    locations.resourceFolder = installed ? share : programFolder;
    locations.templateBook =
        installed ? share + QStringLiteral("address.mdb") : programFolder + QStringLiteral("Datas/address.mdb");
    locations.backupFolder = environment.documentsFolder.isEmpty() ? environment.home : environment.documentsFolder;
    return locations;
}

QString BookPath(const DataLocations& locations)
{
    return locations.dataFolder + QStringLiteral("Datas/address.mdb");
}

void PrepareDataFolders(const DataLocations& locations)
{
    if (locations.portable) {
        return;
    }
    MakePrivateFolder(QFileInfo(locations.settingsFile).absolutePath());
    const QString book = BookPath(locations);
    MakePrivateFolder(QFileInfo(book).absolutePath());
    if (!QFileInfo::exists(book)) {
        CopyTemplateBook(locations.templateBook, book);
    }
}
