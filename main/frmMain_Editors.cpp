// Opening the record and type editors from the main window.
#include "main/frmMain.h"

void frmMain::OpenRecordEditor(bool, qint64, const QString&) {}

void frmMain::OpenTypeEditor(bool, qint64) {}
