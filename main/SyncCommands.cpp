#include "main/SyncCommands.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QProgressDialog>
#include <QSet>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "core/OperateIni.h"
#include "dialogs/frmSync.h"
#include "dialogs/frmSyncPassword.h"
#include "store/Connection.h"
#include "store/SyncPasswords.h"
#include "sync/SyncEngine.h"
#include "sync/SyncError.h"
#include "sync/SyncWorker.h"
#include "ui/Common.h"
#include "ui/Forms.h"
#include "ui/Skin.h"

namespace {

QIcon ActionIcon(const QString& name)
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/%1-16.png").arg(name), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/%1-22.png").arg(name), QSize(22, 22));
    return icon;
}

QString MainText(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("frmMain"), QLatin1String(key), QLatin1String(english));
}

} // namespace

SyncCommands::SyncCommands(QMainWindow* window, std::function<void()> reload)
    : QObject(window), m_window(window), m_reload(std::move(reload))
{
    connect(&m_timer, &QTimer::timeout, this, [this] { SyncNow(true); });
    m_progressTimer.setInterval(100);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] {
        if (m_progress != nullptr && (m_progress->maximum() != m_total || m_progress->value() != m_done)) {
            m_progress->setMaximum(m_total);
            m_progress->setValue(m_done);
        }
    });
    window->installEventFilter(this);
}

SyncCommands::~SyncCommands()
{
    StopWorker();
}

void SyncCommands::AddTo(QMenu* tools)
{
    tools->addSeparator()->setObjectName(QStringLiteral("mnuToolSplit2"));
    auto item = [tools](const char* name, const char* key) {
        QAction* action = tools->addAction(QLatin1String(key));
        action->setObjectName(QLatin1String(name));
        action->setProperty("Tag", QLatin1String(key));
        return action;
    };
    mnuSyncAccounts = item("mnuSyncAccounts", "70000");
    mnuSyncNow = item("mnuSyncNow", "70001");
    mnuSyncNow->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(mnuSyncAccounts, &QAction::triggered, this, &SyncCommands::OpenAccounts);
    connect(mnuSyncNow, &QAction::triggered, this, [this] { SyncNow(false); });
}

void SyncCommands::AddTo(QToolBar* toolbar)
{
    Toolbar1_Sync = toolbar->addAction(ActionIcon(QStringLiteral("sync")), QStringLiteral("Sync"));
    Toolbar1_Sync->setObjectName(QStringLiteral("Toolbar1_Sync"));
    Toolbar1_Sync->setProperty("Key", QStringLiteral("Sync"));
    Toolbar1_Sync->setProperty("Tag", QStringLiteral("70002"));
    connect(Toolbar1_Sync, &QAction::triggered, this, [this] { SyncNow(false); });
}

void SyncCommands::Start(bool atStartUp)
{
    if (m_status == nullptr) {
        m_status = new QLabel(m_window->statusBar());
        m_status->setObjectName(QStringLiteral("StatusBar1_Sync"));
        m_window->statusBar()->addPermanentWidget(m_status);
        m_notices = new QToolButton(m_window->statusBar());
        m_notices->setObjectName(QStringLiteral("StatusBar1_Notices"));
        m_notices->setAutoRaise(true);
        m_window->statusBar()->addPermanentWidget(m_notices);
        connect(m_notices, &QToolButton::clicked, this, [this] {
            ShowSyncNotices(m_window);
            ShowNotices();
        });
    }
    ShowNotices();
    const bool syncAtStart =
        IniToBool(ReadIni(QStringLiteral("General"), QStringLiteral("SyncAtStart"), QStringLiteral("False"), IniFile))
            .value_or(false);
    const int minutes =
        IniToInt(ReadIni(QStringLiteral("General"), QStringLiteral("SyncMinutes"), QStringLiteral("0"), IniFile))
            .value_or(0);
    m_timer.stop();
    if (minutes > 0) {
        m_timer.start(std::chrono::minutes(qMin(minutes, 24 * 60)));
    }
    if (atStartUp && syncAtStart) {
        QTimer::singleShot(0, this, [this] { SyncNow(true); });
    }
}

void SyncCommands::OpenAccounts()
{
    Form<frmSync>().exec();
    m_reload();
}

bool SyncCommands::AskMissingPasswords(QStringList& forget)
{
    QSet<qint64> linked;
    for (const SyncLink& link : SyncLinks(Conn)) {
        linked.insert(link.account);
    }
    for (const SyncAccountInfo& account : SyncAccounts(Conn)) {
        if (!linked.contains(account.no) || !account.password.isEmpty()) {
            continue;
        }
        const SyncPasswordLookup lookup = FindSyncPassword(account.instance);
        if (lookup.password) {
            continue;
        }
        const auto answer =
            AskSyncPassword(m_window, account.user, account.url.host(), lookup.keyringAnswered, lookup.keyringTrouble);
        if (!answer) {
            return false;
        }
        if (lookup.keyringAnswered) {
            SaveSyncPassword(account.instance, answer->password); // the keyring had lost it
        } else {
            RememberSyncPasswordForSession(account.instance, answer->password);
            if (!answer->remember) {
                forget.append(account.instance);
            }
        }
    }
    return true;
}

void SyncCommands::SyncNow(bool automatic)
{
    // A timed sync waits while a dialog is open: the record being edited must not change under it.
    if (m_worker != nullptr || m_asking || !Conn.IsOpen() ||
        (automatic && QApplication::activeModalWidget() != nullptr)) {
        return;
    }
    if (SyncLinks(Conn).isEmpty()) {
        if (!automatic) {
            OpenAccounts();
        }
        return;
    }
    // A password no keyring holds is asked for now; one not to be remembered is forgotten after.
    QStringList forget;
    m_asking = true;
    const bool asked = AskMissingPasswords(forget);
    m_asking = false;
    if (!asked) {
        for (const QString& instance : std::as_const(forget)) {
            ForgetSessionSyncPassword(instance);
        }
        return;
    }
    m_forget = forget;
    m_automatic = automatic;
    m_startedAt = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    m_worker = new SyncWorker(Conn.ConnectionString, this);
    m_worker->SetConfirmRemoval([this](const QStringList& names) {
        return MsgConfirm(m_window, MainText("70008", "These contacts were moved to a type that is not synced. "
                                                      "Remove them from the server?\n%1")
                                        .arg(names.join(QLatin1Char('\n'))));
    });
    m_worker->SetConfirmDeletions([this](const QString& book, int count, bool onServer) {
        const QString text =
            onServer ? SyncText("20015", "Deleted here, and about to be deleted on the server: %1 of the contacts of "
                                         "\"%2\".\nGo on?\n\nCancel stops the sync; nothing changes on either side.")
                     : SyncText("20014", "The server no longer has %1 of the contacts of \"%2\". Delete them here "
                                         "too?\n\nCancel stops the sync; nothing changes on either side.");
        return MsgConfirm(m_window, text.arg(count).arg(book));
    });
    m_worker->SetAskLostBook([this](const QString& book, int count) {
        if (MsgConfirm(m_window, SyncText("20016", "The address book \"%1\" on the server is empty, although %2 of the "
                                                   "contacts here were synced with it. It may have been deleted and "
                                                   "made again.\n\nOK sends the contacts here to it again; Cancel "
                                                   "offers to delete them here instead.")
                                     .arg(book)
                                     .arg(count))) {
            return LostBookChoice::UploadAgain;
        }
        if (MsgConfirm(m_window, SyncText("20017", "Delete the contacts synced with \"%1\" here too (%2 in all)?\n\n"
                                                   "Cancel stops the sync; nothing changes on either side.")
                                     .arg(book)
                                     .arg(count))) {
            return LostBookChoice::EmptyHere;
        }
        return LostBookChoice::Cancel;
    });
    // Shown at once: the window stays live, and Cancel reaches the worker from here.
    m_progress =
        new QProgressDialog(MainText("70006", "Syncing contacts..."), MainText("70007", "Cancel"), 0, 0, m_window);
    m_progress->setAttribute(Qt::WA_DeleteOnClose);
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoReset(false);
    m_progress->setAutoClose(false);
    connect(m_progress, &QProgressDialog::canceled, m_worker, &SyncWorker::Cancel);
    // The worker's steps come fast; the window shows the latest a few times a second. (A modal
    // progress window serves events inside setValue, so it is never called once per step.)
    m_done = 0;
    m_total = 0;
    connect(m_worker, &SyncWorker::Progress, this, [this](int done, int total) {
        m_done = done;
        m_total = total;
    });
    connect(m_worker, &SyncWorker::Finished, this, &SyncCommands::Finish);
    m_progress->show();
    m_progressTimer.start();
    emit Starting();
    m_worker->Start();
}

void SyncCommands::Finish()
{
    m_progressTimer.stop();
    if (m_progress != nullptr) {
        m_progress->close();
    }
    std::unique_ptr<SyncWorker> worker(std::exchange(m_worker, nullptr));
    worker->Wait();
    for (const QString& instance : std::as_const(m_forget)) {
        ForgetSessionSyncPassword(instance);
    }
    m_forget.clear();
    const auto status = [this](const char* key, const char* english) {
        m_status->setText(MainText("70003", "Last sync %1: %2").arg(m_startedAt, MainText(key, english)));
    };
    try {
        const SyncSummary summary = worker->Result();
        status("70004", "done");
        if (!m_automatic || !summary.conflicts.isEmpty()) {
            MsgInformation(m_window, SyncSummaryText(summary));
        } else if (const QStringList notices = SyncNoticeLines(summary); !notices.isEmpty()) {
            // Nobody saw this sync's summary: what must not pass unnoticed waits in the status bar.
            AddSyncNotices(Conn, {m_startedAt + QLatin1Char(' ') + notices.join(QLatin1Char('\n'))});
        }
    } catch (const SyncError& e) {
        status("70005", "failed");
        if (!m_automatic || e.Fault() != SyncFault::Cancelled) {
            MsgWarning(m_window, SyncFaultText(e));
        }
    } catch (...) {
        status("70005", "failed");
        ShowError(m_window);
    }
    ShowNotices();
    HandBack(worker->Changes());
    emit Ended();
}

void SyncCommands::HandBack(const SyncChanges& changes)
{
    // The views bring up to date only the contacts the sync touched, as after any other change.
    if (changes.IsEmpty()) {
        return;
    }
    const auto list = [](const QSet<qint64>& keys) { return QList<qint64>(keys.cbegin(), keys.cend()); };
    TheBook().NoteExternalChanges(list(changes.added), list(changes.changed), list(changes.removed),
                                  !changes.typesAdded.isEmpty());
}

void SyncCommands::StopWorker()
{
    if (m_worker == nullptr) {
        return;
    }
    m_progressTimer.stop();
    disconnect(m_worker, nullptr, this, nullptr);
    m_worker->Cancel();
    // A question the worker waits on is declined by the cancel, so this wait ends.
    delete std::exchange(m_worker, nullptr);
    if (m_progress != nullptr) {
        m_progress->close();
    }
    for (const QString& instance : std::as_const(m_forget)) {
        ForgetSessionSyncPassword(instance);
    }
    m_forget.clear();
}

bool SyncCommands::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Close) {
        StopWorker();
    }
    return QObject::eventFilter(watched, event);
}

void SyncCommands::ShowNotices()
{
    if (m_notices == nullptr) {
        return;
    }
    const qsizetype count = Conn.IsOpen() ? SyncNotices(Conn).size() : 0;
    m_notices->setText(MainText("70009", "Sync notices (%1)").arg(count));
    m_notices->setVisible(count > 0);
}
