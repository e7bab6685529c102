#include "core/CommandLine.h"

#include <QDir>
#include <QUrl>

#include "core/Language.h"

namespace {

QString Text(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("CommandLine"), QLatin1String(key), QString::fromUtf8(english));
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments, const QString& currentFolder)
{
    CommandLine result;
    bool help = false;
    bool version = false;
    bool optionsEnd = false;
    for (const QString& argument : arguments) {
        if (!optionsEnd && argument.startsWith(u'-') && argument.size() > 1) {
            if (argument == QLatin1String("--")) {
                optionsEnd = true;
            } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
                help = true;
            } else if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
                version = true;
            } else if (result.error.isEmpty()) {
                result.error = argument;
            }
            continue;
        }
        // Desktops may hand over a file:// address instead of a path.
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        result.files.append(QDir::cleanPath(QDir(currentFolder).absoluteFilePath(path)));
    }
    // Asked for help, the user gets it whatever else was typed; nothing is imported then.
    if (help || version) {
        result.action = help ? CommandLine::Action::Help : CommandLine::Action::Version;
    } else if (!result.error.isEmpty()) {
        result.action = CommandLine::Action::Error;
        result.files.clear();
    }
    return result;
}

QString CommandLineHelp(const QString& programName, const QString& bookPath, const QString& settingsFile)
{
    return Text("1001", "Usage: %1 [OPTION] [FILE.vcf | FILE.csv]...").arg(programName) + QLatin1Char('\n') +
           Text("1002", "Opens the address book and imports the contacts of each vCard or CSV file given, "
                        "after the usual confirmation.") +
           QStringLiteral("\n\n  ") + Text("1003", "-h, --help       show this help and exit") +
           QStringLiteral("\n  ") + Text("1004", "-v, --version    show the version and exit") +
           QStringLiteral("\n\n") + Text("1005", "Address book: %1").arg(QDir::toNativeSeparators(bookPath)) +
           QLatin1Char('\n') + Text("1006", "Settings: %1").arg(QDir::toNativeSeparators(settingsFile)) +
           QLatin1Char('\n');
}

QString CommandLineErrorText(const QString& programName, const QString& argument)
{
    return Text("1007", "Unknown option: %1").arg(argument) + QLatin1Char('\n') +
           Text("1008", "Try '%1 --help' for more information.").arg(programName) + QLatin1Char('\n');
}
