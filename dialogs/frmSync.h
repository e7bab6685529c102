#pragma once

#include <QDialog>
#include <QList>

#include <memory>

#include "sync/CardDavClient.h"
#include "sync/DiscoveryWorker.h"
#include "ui_frmSync.h"

class SyncError;
struct SyncSummary;

// Adds a CardDAV account, finds its address books and links each chosen one with a type (a new
// type named after it unless another is chosen); lists the links and removes them. The server is
// asked on a worker: the window shows the request under way and keeps answering; Cancel stops
// the request, closing the window too.
class frmSync : public QDialog, private Ui::frmSync
{
    Q_OBJECT

public:
    frmSync();

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Request { None, Discover, CheckAccount };

    void CmdDiscover_Click();
    void CmdOK_Click();
    void CmdUnlink_Click();
    void CmdAccount_Click();
    void LoadLinks();
    QUrl ServerUrl() const;
    void StartRequest(Request request, const QUrl& url, const QString& user, const QString& password,
                      const QString& status);
    void RequestFinished();
    // Cancels the request under way and waits for its worker to end.
    void DropRequest();
    void ShowBooks(const QUrl& url, const QList<RemoteBook>& books);
    void ChangeAccount(const QUrl& url, const QString& password);
    // The buttons that would start another request, or act on a list a request is refilling.
    void EnableButtons();

    QList<RemoteBook> m_found;
    QUrl m_foundAt;
    bool m_linkable = false; // a found address book can be linked
    Request m_request = Request::None;
    std::unique_ptr<DiscoveryWorker> m_worker;
    qint64 m_account = 0;  // the account a check is for
    QString m_newPassword; // kept for the account once the check succeeds
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
