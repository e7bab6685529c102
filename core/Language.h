#pragma once

#include <QString>

// The text of key in section of the language file, or defaultValue when the file, section or key
// is missing. "\n" written in the file (backslash, n) becomes a line break. The file is read on
// every call, so an edited language file shows in the next form opened.
QString GetLangString(const QString& section, const QString& key, const QString& defaultValue);
