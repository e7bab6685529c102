#pragma once

#include <QDialog>
#include <QList>

#include "sync/CardDavClient.h"
#include "ui_frmSync.h"

class SyncError;
struct SyncSummary;

// Adds a CardDAV account, finds its address books and links each chosen one with a type (a new
// type named after it unless another is chosen); lists the links and removes them.
class frmSync : public QDialog, private Ui::frmSync
{
    Q_OBJECT

public:
    frmSync();

public slots:
    void reject() override;

private:
    void CmdDiscover_Click();
    void CmdOK_Click();
    void CmdUnlink_Click();
    void CmdAccount_Click();
    void LoadLinks();
    QUrl ServerUrl() const;

    QList<RemoteBook> m_found;
    QUrl m_foundAt;
};

// The sync texts of the language file, for the main window's sync command too.
QString SyncText(const char* key, const char* english);
// Why a sync or a discovery failed, in a sentence; never a credential.
QString SyncFaultText(const SyncError& error);
// What a sync did, in a few lines; empty parts are left out.
QString SyncSummaryText(const SyncSummary& summary);
// The lines of a summary the user should not miss: conflicts, and every card not taken as it is.
QStringList SyncNoticeLines(const SyncSummary& summary);
// Shows the sync notices not seen yet, and takes them as seen; false when there are none.
bool ShowSyncNotices(QWidget* parent);
