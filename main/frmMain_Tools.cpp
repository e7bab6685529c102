// The Options and About dialogs, the help, and the maintenance commands as the window runs them.
#include "main/frmMain.h"

#include <QAction>

#include "core/Language.h"
#include "core/TextUtil.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmOptions.h"
#include "main/BackgroundListing.h"
#include "main/BackgroundSearch.h"
#include "main/MaintenanceCommands.h"
#include "main/RecordListModel.h"
#include "main/SyncCommands.h"
#include "store/Connection.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"

void frmMain::OpenOptions()
{
    Form<frmOptions>().exec();
    SyncCmds->Start(false); // the sync interval may have changed
}

void frmMain::OpenAbout()
{
    Form<frmAbout>().exec();
}

void frmMain::OpenHelp()
{
    ShowHelp(HelpPage::Contents);
}

QString frmMain::CommandTitle(const QAction* action)
{
    return PlainCaption(action->text());
}

void frmMain::RefreshViews()
{
    m_search->Forget(); // the book may be another file now
    m_listing->Forget();
    if (Conn.IsOpen()) {
        m_listing->Prepare(Conn, m_collator);
        Refresh();
        return;
    }
    // The book did not reopen: show nothing rather than contacts that may be gone.
    TreeView1->Clear();
    m_model->Clear();
    SetPanel(1, GetLangString(QStringLiteral("General"), QStringLiteral("10001"), QStringLiteral("Error")));
    UpdateCommandState();
}

void frmMain::BackupDatabase()
{
    MaintenanceCommands(this).Backup(CommandTitle(mnuBackup));
}

void frmMain::RestoreDatabase()
{
    if (MaintenanceCommands(this).Restore(CommandTitle(mnuRestore))) {
        RefreshViews();
    }
}

void frmMain::CompactDatabase()
{
    MaintenanceCommands(this).Compact(CommandTitle(mnuClearupDB));
    RefreshViews();
}
