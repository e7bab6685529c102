// Creates the empty address book for the program folder at build time. An existing file is left
// exactly as it is: rebuilding must never wipe anybody's contacts.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

#include "core/Errors.h"
#include "store/Database.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkdb <database file>\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (QFileInfo::exists(path)) {
        return 0;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    try {
        CreateDatabase(path);
    } catch (const AppError& e) {
        std::fprintf(stderr, "mkdb: %s (%d)\n", qPrintable(e.Description()), e.Number());
        return 1;
    }
    std::printf("mkdb: created %s\n", qPrintable(path));
    return 0;
}
