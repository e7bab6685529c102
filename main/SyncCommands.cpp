#include "main/SyncCommands.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QSet>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "core/AppState.h"
#include "core/Language.h"
#include "core/OperateIni.h"
#include "dialogs/frmSync.h"
#include "dialogs/frmSyncPassword.h"
#include "store/Connection.h"
#include "store/SyncPasswords.h"
#include "sync/SyncEngine.h"
#include "sync/SyncError.h"
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
    if (m_running || !Conn.IsOpen() || (automatic && QApplication::activeModalWidget() != nullptr)) {
        return;
    }
    m_running = true;
    const auto done = qScopeGuard([this] { m_running = false; });
    if (SyncLinks(Conn).isEmpty()) {
        if (!automatic) {
            OpenAccounts();
        }
        return;
    }
    // A password no keyring holds is asked for now; one not to be remembered is forgotten after.
    QStringList forget;
    const auto forgetAfter = qScopeGuard([&forget] {
        for (const QString& instance : std::as_const(forget)) {
            ForgetSessionSyncPassword(instance);
        }
    });
    if (!AskMissingPasswords(forget)) {
        return;
    }
    SyncEngine engine(Conn);
    QProgressDialog progress(MainText("70006", "Syncing contacts..."), MainText("70007", "Cancel"), 0, 0, m_window);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    connect(&progress, &QProgressDialog::canceled, this, [&engine] { engine.Cancel(); });
    engine.SetProgress([&progress](int step, int total) {
        progress.setMaximum(total);
        progress.setValue(step);
    });
    engine.SetConfirmRemoval([this](const QStringList& names) {
        return MsgConfirm(m_window, MainText("70008", "These contacts were moved to a type that is not synced. "
                                                      "Remove them from the server?\n%1")
                                        .arg(names.join(QLatin1Char('\n'))));
    });
    engine.SetConfirmDeletions([this](const QString& book, int count, bool onServer) {
        const QString text =
            onServer ? SyncText("20015", "Deleted here, and about to be deleted on the server: %1 of the contacts of "
                                         "\"%2\".\nGo on?\n\nCancel stops the sync; nothing changes on either side.")
                     : SyncText("20014", "The server no longer has %1 of the contacts of \"%2\". Delete them here "
                                         "too?\n\nCancel stops the sync; nothing changes on either side.");
        return MsgConfirm(m_window, text.arg(count).arg(book));
    });
    engine.SetAskLostBook([this](const QString& book, int count) {
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
    const QString when = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    try {
        const SyncSummary summary = engine.Run();
        progress.reset();
        m_status->setText(MainText("70003", "Last sync %1: %2").arg(when, MainText("70004", "done")));
        if (!automatic || !summary.conflicts.isEmpty()) {
            MsgInformation(m_window, SyncSummaryText(summary));
        } else if (const QStringList notices = SyncNoticeLines(summary); !notices.isEmpty()) {
            // Nobody saw this sync's summary: what must not pass unnoticed waits in the status bar.
            AddSyncNotices(Conn, {when + QLatin1Char(' ') + notices.join(QLatin1Char('\n'))});
        }
    } catch (const SyncError& e) {
        progress.reset();
        m_status->setText(MainText("70003", "Last sync %1: %2").arg(when, MainText("70005", "failed")));
        if (!automatic || e.Fault() != SyncFault::Cancelled) {
            MsgWarning(m_window, SyncFaultText(e));
        }
    } catch (...) {
        progress.reset();
        m_status->setText(MainText("70003", "Last sync %1: %2").arg(when, MainText("70005", "failed")));
        ShowError(m_window);
    }
    ShowNotices();
    m_reload();
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
