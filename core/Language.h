#pragma once

#include <QString>

// The text of key in section of the language file, or defaultValue when the file, section or key
// is missing. "\n" written in the file (backslash, n) becomes a line break. The file is read on
// every call, so an edited language file shows in the next form opened.
QString GetLangString(const QString& section, const QString& key, const QString& defaultValue);
// A text about a number of things, with %count% replaced: the key's text for any number but one,
// the key followed by "a" for exactly one ("1 contact", "2 contacts"). Languages without plural
// forms give both the same text.
QString GetCountString(const QString& section, const QString& key, const QString& many, const QString& one,
                       qint64 count);
