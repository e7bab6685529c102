#pragma once

#include <QString>

// Where the program keeps its settings and its address book, and where it finds its language
// files. A program folder that is writable and holds Datas/ (the build folder, an unpacked copy)
// keeps everything beside the executable; an installed program keeps the user's files in the XDG
// folders of the user and reads its own files from the install.
struct DataLocations
{
    bool portable = true;
    QString dataFolder;     // holds Datas/address.mdb; ends in a separator
    QString settingsFile;   // Tavoren.ini
    QString resourceFolder; // holds Language/; ends in a separator
    QString templateBook;   // the empty book a first start copies; empty when portable
    QString backupFolder;   // where the backup chooser opens; empty for the chooser's own choice
};

// What the choice depends on, so that tests can name every part of it.
struct DataEnvironment
{
    QString executableFolder;
    QString executableBaseName;
    QString home;
    QString xdgConfigHome; // as set; empty or relative means unset
    QString xdgDataHome;
    QString documentsFolder;
    QString installedShareFolder; // the install's share/tavoren, found from the executable's folder
};

// The environment of this process.
DataEnvironment SystemDataEnvironment();
DataLocations ResolveDataLocations(const DataEnvironment& environment);

// The address book's path for those locations.
QString BookPath(const DataLocations& locations);

// Readies the user's folders of an installed program: the settings and data folders are made
// readable by their owner only, and a missing book is copied from the empty template (an existing
// file is never replaced). Does nothing for a portable folder. Throws AppError when the folders
// or the book cannot be made.
void PrepareDataFolders(const DataLocations& locations);
