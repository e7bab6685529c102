// Database maintenance (backup, restore, compact) and the Options and About dialogs.
#include "main/frmMain.h"

void frmMain::OpenOptions() {}
void frmMain::OpenAbout() {}
void frmMain::BackupDatabase() {}
void frmMain::RestoreDatabase() {}
void frmMain::CompactDatabase() {}
