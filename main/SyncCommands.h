#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QToolBar;
class QToolButton;

// The main window's sync commands: Tools -> Sync Accounts... and Sync Now, the toolbar button,
// the sync at start-up and every few minutes as the options say, and the last sync's time and
// result in the status bar.
class SyncCommands : public QObject
{
    Q_OBJECT

public:
    // reload is called after a sync or a change of links, so the window shows the book as it is.
    SyncCommands(QMainWindow* window, std::function<void()> reload);

    void AddTo(QMenu* tools);
    void AddTo(QToolBar* toolbar);
    // Reads the options; syncs now when atStartUp and the options ask for it.
    void Start(bool atStartUp);

    // Runs a sync of every linked type; a sync started by the timer reports only faults and conflicts.
    void SyncNow(bool automatic = false);
    void OpenAccounts();

    QAction* mnuSyncAccounts = nullptr;
    QAction* mnuSyncNow = nullptr;
    QAction* Toolbar1_Sync = nullptr;

private:
    // Asks for the password of each linked account that neither the keyring nor this session
    // holds; those the user did not ask to remember are added to forget. False when cancelled.
    bool AskMissingPasswords(QStringList& forget);

    // The status bar's button to the sync notices not seen yet, shown while there are some.
    void ShowNotices();

    QMainWindow* m_window;
    std::function<void()> m_reload;
    QTimer m_timer;
    QLabel* m_status = nullptr;
    QToolButton* m_notices = nullptr;
    bool m_running = false;
};
