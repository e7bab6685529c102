// The account dialog, opened from the File menu, and the account shown in the status bar.
#include "main/frmMain.h"

#include <QLabel>

#include "access/frmUsers.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "ui/Forms.h"

void frmMain::OpenUserAccount()
{
    Form<frmUsers>().exec();
}

void frmMain::ShowUser()
{
    m_panel2->setText(GetLangString(objectName(), QStringLiteral("30004"), QStringLiteral("User:%name%"))
                          .replace(QLatin1String("%name%"), CurrentUser));
}
