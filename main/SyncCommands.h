#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

#include "sync/SyncEngine.h"

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QProgressDialog;
class QToolBar;
class QToolButton;
class SyncWorker;

// The main window's sync commands: Tools -> Sync Accounts... and Sync Now, the toolbar button,
// the sync at start-up and every few minutes as the options say, and the last sync's time and
// result in the status bar. The sync itself runs on a worker thread; the window stays live, its
// progress window offers Cancel, and closing the window cancels the sync and waits for its end.
class SyncCommands : public QObject
{
    Q_OBJECT

public:
    // reload is called after a sync or a change of links, so the window shows the book as it is.
    SyncCommands(QMainWindow* window, std::function<void()> reload);
    ~SyncCommands() override;

    void AddTo(QMenu* tools);
    void AddTo(QToolBar* toolbar);
    // Reads the options; syncs now when atStartUp and the options ask for it.
    void Start(bool atStartUp);

    // Starts a sync of every linked type and returns; a sync started by the timer reports only
    // faults and conflicts.
    void SyncNow(bool automatic = false);
    // True from SyncNow until the sync's result was handed to the window.
    bool IsSyncing() const { return m_worker != nullptr; }
    void OpenAccounts();

signals:
    // The worker is about to start writing the book from its thread, and it has ended (its
    // changes handed over, if any).
    void Starting();
    void Ended();

public:
    QAction* mnuSyncAccounts = nullptr;
    QAction* mnuSyncNow = nullptr;
    QAction* Toolbar1_Sync = nullptr;

private:
    // Asks for the password of each linked account that neither the keyring nor this session
    // holds; those the user did not ask to remember are added to forget. False when cancelled.
    bool AskMissingPasswords(QStringList& forget);

    // The status bar's button to the sync notices not seen yet, shown while there are some.
    void ShowNotices();
    // The worker ended: its summary or fault told, its changes handed to the window.
    void Finish();
    // Where what a sync changed here reaches the window's views.
    void HandBack(const SyncChanges& changes);
    // Cancels a sync under way and waits for its worker (the window is closing).
    void StopWorker();
    bool eventFilter(QObject* watched, QEvent* event) override;

    QMainWindow* m_window;
    std::function<void()> m_reload;
    QTimer m_timer;
    QLabel* m_status = nullptr;
    QToolButton* m_notices = nullptr;
    bool m_asking = false; // passwords are being asked for before a sync
    // The sync under way: its worker, its progress window, and what its end needs to know.
    SyncWorker* m_worker = nullptr;
    QPointer<QProgressDialog> m_progress;
    QTimer m_progressTimer;
    int m_done = 0;
    int m_total = 0;
    bool m_automatic = false;
    QString m_startedAt;
    QStringList m_forget; // passwords kept for this sync only
};
