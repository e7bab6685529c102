// The account dialog, opened from the File menu.
#include "main/frmMain.h"

void frmMain::OpenUserAccount() {}
