#pragma once

#include <QLocale>
#include <QString>

struct DataLocations;

// The application-wide state, set up once by start-up and read by every form.

extern QString AppFolder;    // folder of the executable, always ending in a separator
extern QString LangFile;     // full path of the language file chosen from the locale
extern QString IniFile;      // full path of the settings file (beside the executable when portable)
extern QString DataFolder;   // folder holding Datas/address.mdb, always ending in a separator
extern QString BackupFolder; // where the backup folder chooser opens; empty for its own default
extern bool SoundEnabled;    // interface sounds play
extern bool LoginEnabled;    // an account must log in at start-up
extern QString CreditText;   // the About box's credit line in the chosen language
extern QString CurrentUser;  // plain name of the current account; empty until known
extern bool LoginPassed;     // set by the login and new-user forms when they succeed

// How start-up fills the state; none of it needs a window, so it can be tested on its own.

// The executable's folder, ending in exactly one separator ("/" stays "/", "C:\" stays "C:\").
QString AppFolderFrom(const QString& executableFolder);
// The language file for a locale identifier: 1028 Traditional Chinese, 2052 Simplified Chinese,
// everything else English.
QString LanguageFileFor(int lcid, const QString& appFolder);
// The locale of Qt's own texts (standard buttons, file dialogs) that goes with the language file
// chosen for the same identifier: "zh_TW", "zh_CN", or "" for English.
QString QtLocaleFor(int lcid);
// Loads and installs Qt's translations for that locale; false when there is nothing to install
// (English) or the translations are not on this system, which leaves Qt's texts in English.
bool InstallQtTranslations(int lcid);
// The locale the chosen language's readers expect, for sorting and dates: pinyin order for
// Simplified Chinese, stroke order for Traditional Chinese, the user's own otherwise (English when
// the system's is the plain C locale, which collates by code point and ignores case).
QLocale ReadingLocale();
// The About box's credit line in the same language.
QString CreditTextFor(int lcid);
// Start-up's first steps: AppFolder, DataFolder, BackupFolder, LangFile, CreditText, IniFile and
// the two switches (both True when the settings file, the section or the key is missing, or the
// value is junk).
void InitApplicationState(const QString& executableFolder, const DataLocations& locations, int lcid);
// The same for a program folder that keeps everything beside the executable.
void InitApplicationState(const QString& executableFolder, const QString& executableBaseName, int lcid);
