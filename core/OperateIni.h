#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

// The settings and language files are Windows-style INI files. The rules match the profile-string
// calls of the original platform: section and key names compared without regard to ASCII case,
// blanks around names and values ignored, one pair of matching quotes around a value removed,
// ';' lines are comments, the first matching section and key win, values are cut at 2047 bytes.

// The value of key in section of file, or defaultValue when the file, section or key is missing.
// An empty stored value reads as the empty string.
QString ReadIni(const QString& section, const QString& key, const QString& defaultValue, const QString& file);

// Sets key in section of file, keeping every other line; creates the section, key or file when
// needed; replaces the file atomically. Returns false (and leaves the file as it was) on failure.
bool WriteIni(const QString& section, const QString& key, const QString& value, const QString& file);
// Several keys of one section in one replacement of the file, as if written one by one. On failure
// error (when given) receives the cause in the system's words.
bool WriteIniValues(const QString& section, const QList<std::pair<QString, QString>>& values, const QString& file,
                    QString* error = nullptr);

// A settings value as an integer, rounded half to even; nullopt when it is not a number or too big.
std::optional<int> IniToInt(const QString& value);
// A settings value as a Boolean ("True"/"False" in any case, or a number: 0 is False).
std::optional<bool> IniToBool(const QString& value);
// How the program writes a Boolean.
QString IniFromBool(bool value);
