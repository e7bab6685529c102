// The account dialog, opened from the File menu, and the account shown in the status bar.
#include "main/frmMain.h"

#include "access/frmUsers.h"
#include "app/AppState.h"
#include "app/Forms.h"
#include "app/Language.h"

#include <QLabel>

void frmMain::OpenUserAccount()
{
    Form<frmUsers>().exec();
}

void frmMain::ShowUser()
{
    m_panel2->setText(GetLangString(objectName(), QStringLiteral("30004"), QStringLiteral("User:%name%"))
                          .replace(QLatin1String("%name%"), CurrentUser));
}
