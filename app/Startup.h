#pragma once

#include <QString>

// The pieces of start-up that need no window, kept apart so they can be tested on their own.

// The executable's folder, ending in exactly one separator ("/" stays "/", "C:\" stays "C:\").
QString AppFolderFrom(const QString& executableFolder);
// The language file for a locale identifier: 1028 Traditional Chinese, 2052 Simplified Chinese,
// everything else English.
QString LanguageFileFor(int lcid, const QString& appFolder);
// The About box's credit line in the same language.
QString CreditTextFor(int lcid);
// Start-up's first steps: AppFolder, LangFile, CreditText, IniFile and the two switches (both
// True when the settings file, the section or the key is missing, or the value is junk).
void InitApplicationState(const QString& executableFolder, const QString& executableBaseName, int lcid);
