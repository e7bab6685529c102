#pragma once

#include "store/Connection.h"

#include <QString>

// The application-wide state, set up once by start-up and read by every form.

extern QString AppFolder;   // folder of the executable, always ending in a separator
extern QString LangFile;    // full path of the language file chosen from the locale
extern QString IniFile;     // full path of the settings file beside the executable
extern bool SoundEnabled;   // interface sounds play
extern bool LoginEnabled;   // an account must log in at start-up
extern QString CreditText;  // the About box's credit line in the chosen language
extern QString CurrentUser; // plain name of the current account; empty until known
extern bool LoginPassed;    // set by the login and new-user forms when they succeed
extern Connection Conn;     // the one connection every statement runs on
