#include "app/AppState.h"

QString AppFolder;
QString LangFile;
QString IniFile;
bool SoundEnabled = false;
bool LoginEnabled = false;
QString CreditText;
QString CurrentUser;
bool LoginPassed = false;
Connection Conn;
