#pragma once

#include <QString>
#include <QStringList>

// What the program was asked to do on its command line.
struct CommandLine
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QStringList files; // contact files to import, as absolute paths
    QString error;     // for Error: the argument that was not understood
};

// arguments without the program's name; relative file names are taken from currentFolder.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& currentFolder);

// The --help text in the language of the language file, naming where the book and the settings are.
QString CommandLineHelp(const QString& programName, const QString& bookPath, const QString& settingsFile);
// What is printed for an argument that was not understood.
QString CommandLineErrorText(const QString& programName, const QString& argument);
