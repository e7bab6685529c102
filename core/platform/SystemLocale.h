#pragma once

#include <QByteArray>
#include <QString>

// What the operating system tells about the user's language and text encoding. This folder is
// the one place where the program asks the platform directly.

// The locale name the language is chosen from: LC_ALL, else LC_MESSAGES, else LANG.
QString SystemLocaleName();

// The Windows locale identifier for a POSIX locale name ("zh_TW.UTF-8" gives 1028).
int LcidFromLocaleName(const QString& localeName);

// The system default locale identifier.
int GetSystemDefaultLCID();

// The character set of the process locale, as iconv names it; UTF-8 for a plain C/POSIX locale.
QByteArray SystemCodePageName();
