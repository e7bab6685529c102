#include "dialogs/frmSync.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>

#include <algorithm>

#include "core/Language.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Recordset.h"
#include "sync/SyncEngine.h"
#include "sync/SyncError.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"
#include "ui/Platform.h"
#include "ui/Skin.h"

namespace {

// A type name not yet taken, compared as the type editor compares names.
QString FreeTypeName(const QString& wanted)
{
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? wanted : QStringLiteral("%1 (%2)").arg(wanted).arg(n);
        Recordset rs;
        OpenTypesNamedExcept(rs, Conn, name, 0);
        if (rs.RecordCount() == 0) {
            return name;
        }
    }
}

QString FieldLabel(const QString& field)
{
    static const char* const fields[][2] = {{"name", "40001"},       {"home phone", "40002"}, {"mobile phone", "40003"},
                                            {"work phone", "40004"}, {"QQ", "40005"},         {"MSN", "40006"},
                                            {"ICQ", "40007"},        {"web address", "40008"}};
    for (const auto& f : fields) {
        if (field == QLatin1String(f[0])) {
            return SyncText(f[1], f[0]);
        }
    }
    // The kinds of details, each merged as one field.
    static const char* const details[][2] = {
        {"address", "76001"},      {"birthday", "76002"},     {"anniversary", "76003"},         {"nickname", "76004"},
        {"organisation", "76005"}, {"department", "76006"},   {"job title", "76007"},           {"role", "76008"},
        {"note", "76009"},         {"other phones", "76010"}, {"other web addresses", "76011"}, {"messengers", "76012"},
        {"photo", "76013"}};
    for (const auto& d : details) {
        if (field == QLatin1String(d[0])) {
            return SyncText(d[1], d[0]);
        }
    }
    return field;
}

} // namespace

QString SyncText(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("frmSync"), QLatin1String(key), QLatin1String(english));
}

QString SyncFaultText(const SyncError& error)
{
    switch (error.Fault()) {
    case SyncFault::Insecure:
        return SyncText("20007", "Only a secure (https) address can be used; plain http only to this computer. (%1)")
            .arg(error.Detail());
    case SyncFault::Certificate:
        return SyncText("20006", "The server's certificate is not trusted: %1").arg(error.Detail());
    case SyncFault::Network:
        return SyncText("20001", "The server cannot be reached: %1").arg(error.Detail());
    case SyncFault::Timeout:
        return SyncText("20002", "The server stopped answering (%1).").arg(error.Detail());
    case SyncFault::Refused:
        return SyncText("20003", "The server refused the user name or password.");
    case SyncFault::Http:
        return SyncText("20004", "The server answered with an error: %1").arg(error.Detail());
    case SyncFault::Malformed:
        return SyncText("20005", "The server's answer could not be read: %1").arg(error.Detail());
    case SyncFault::NoAddressBook:
        return SyncText("20008", "No address book was found at this address.");
    case SyncFault::Changed:
        return SyncText("20009", "A contact changed on the server during the sync (%1). Sync again.")
            .arg(error.Detail());
    case SyncFault::AlreadyLinked:
        return SyncText("20018", "The address book \"%1\" is linked already.").arg(error.Detail());
    case SyncFault::TooLarge:
        return SyncText("20019", "The server's answer is larger than this address book could need; it was refused "
                                 "(%1).")
            .arg(error.Detail());
    case SyncFault::Cancelled:
        break;
    }
    return SyncText("60000",
                    "The sync was cancelled. Contacts it had finished stay synced; the next sync goes on from there.");
}

QStringList SyncNoticeLines(const SyncSummary& s)
{
    QStringList lines;
    if (!s.conflicts.isEmpty()) {
        QStringList conflicts;
        for (const SyncConflict& c : s.conflicts) {
            conflicts.append(
                SyncText("30005", "%1: %2 was \"%3\" here").arg(c.name, FieldLabel(c.field), c.localValue));
        }
        lines.append(SyncText("30004", "Changed on both sides, the server's value kept: %1")
                         .arg(conflicts.join(QStringLiteral("; "))));
    }
    auto list = [&lines](const QStringList& names, const char* key, const char* english) {
        if (!names.isEmpty()) {
            lines.append(SyncText(key, english).arg(names.join(QStringLiteral(", "))));
        }
    };
    list(s.kept, "30006", "Deleted on one side and changed on the other, kept: %1");
    list(s.duplicates, "30007", "On the server but not added, the name is taken here: %1");
    list(s.namesKept, "30017", "Renamed on the server to a name another contact has here, the name kept here: %1");
    list(s.leftAlone, "30011", "Moved out of sync but left on the server: %1");
    list(s.unreadable, "30018", "Cards on the server that could not be read, left alone: %1");
    list(s.tooLarge, "30020", "Cards larger than 1 MB, left on the server: %1");
    list(s.retryLater, "30019", "Changed on the server again during the sync, left for the next sync: %1");
    return lines;
}

namespace {

// What the server keeps that the book cannot show, in words: "2 photos, 1 postal address".
QString UnshownText(const QMap<QString, int>& unshown)
{
    static const char* const words[][4] = {
        {"PHOTO", "50001", "%1 photo", "%1 photos"},
        {"ADR", "50002", "%1 postal address", "%1 postal addresses"},
        {"BDAY", "50003", "%1 birthday", "%1 birthdays"},
        {"NOTE", "50004", "%1 note", "%1 notes"},
        {"ORG", "50005", "%1 organisation", "%1 organisations"},
        {"TITLE", "50006", "%1 job title", "%1 job titles"},
        {"NICKNAME", "50007", "%1 nickname", "%1 nicknames"},
        {"ANNIVERSARY", "50008", "%1 anniversary", "%1 anniversaries"},
        {"fax", "50009", "%1 fax number", "%1 fax numbers"},
        {"pager", "50010", "%1 pager number", "%1 pager numbers"},
        {"other phone", "50011", "%1 other phone number", "%1 other phone numbers"},
        {"URL", "50012", "%1 other web address", "%1 other web addresses"},
        {"ROLE", "50013", "%1 role", "%1 roles"},
        {"GEO", "50014", "%1 location", "%1 locations"},
        {"LOGO", "50015", "%1 logo", "%1 logos"},
        {"CATEGORIES", "50016", "%1 category", "%1 categories"},
        {"second category", "50017", "%1 second category", "%1 second categories"},
    };
    QStringList kinds;
    for (auto it = unshown.constBegin(); it != unshown.constEnd(); ++it) {
        const auto word = std::find_if(std::begin(words), std::end(words),
                                       [&it](const auto& w) { return it.key() == QLatin1String(w[0]); });
        if (word == std::end(words)) {
            kinds.append(QStringLiteral("%1 (%2)").arg(it.key()).arg(it.value()));
            continue;
        }
        const bool one = it.value() == 1;
        const QString key = QLatin1String((*word)[1]) + QLatin1Char(one ? 'a' : 'b');
        kinds.append(
            GetLangString(QStringLiteral("frmSync"), key, QLatin1String((*word)[one ? 2 : 3])).arg(it.value()));
    }
    return kinds.join(QStringLiteral(", "));
}

} // namespace

QString SyncSummaryText(const SyncSummary& s)
{
    QStringList lines{SyncText("30001", "Sync finished.")};
    lines.append(SyncText("30002", "Here: %1 added, %2 changed, %3 deleted.")
                     .arg(s.addedHere)
                     .arg(s.changedHere)
                     .arg(s.deletedHere));
    lines.append(SyncText("30003", "On the server: %1 added, %2 changed, %3 deleted.")
                     .arg(s.addedThere)
                     .arg(s.changedThere)
                     .arg(s.deletedThere));
    lines += SyncNoticeLines(s);
    if (!s.joined.isEmpty()) {
        lines.append(SyncText("30008", "Found on both sides and joined: %1").arg(s.joined.join(QStringLiteral(", "))));
    }
    if (s.unnamed > 0) {
        lines.append(SyncText("30016", "Cards without a name, left on the server: %1").arg(s.unnamed));
    }
    if (!s.unshown.isEmpty()) {
        lines.append(SyncText("30009", "Kept on the server, not shown here: %1").arg(UnshownText(s.unshown)));
    }
    return lines.join(QLatin1Char('\n'));
}

bool ShowSyncNotices(QWidget* parent)
{
    const QStringList notices = SyncNotices(Conn);
    if (notices.isEmpty()) {
        return false;
    }
    MsgInformation(parent, SyncText("30021", "Since the last summary you saw:") + QLatin1Char('\n') +
                               notices.join(QLatin1Char('\n')));
    ClearSyncNotices(Conn);
    return true;
}

frmSync::frmSync()
{
    setupUi(this);
    connect(buttons->Ok(), &QPushButton::clicked, this, &frmSync::CmdOK_Click);
    connect(buttons->Cancel(), &QPushButton::clicked, this, &frmSync::reject);
    connect(CmdDiscover, &QPushButton::clicked, this, &frmSync::CmdDiscover_Click);
    connect(CmdStop, &QPushButton::clicked, this, [this] {
        PlaySoundRes(SoundClick);
        if (m_worker != nullptr) {
            m_worker->Cancel(); // its end comes as any other, and says it was cancelled
            CmdStop->setEnabled(false);
        }
    });
    connect(CmdUnlink, &QPushButton::clicked, this, &frmSync::CmdUnlink_Click);
    connect(CmdAccount, &QPushButton::clicked, this, &frmSync::CmdAccount_Click);
    connect(CmdNotices, &QPushButton::clicked, this, [this] {
        PlaySoundRes(SoundClick);
        ShowSyncNotices(this);
        CmdNotices->setEnabled(false);
    });
    ApplyLanguage(this);
    lstBooks->setAccessibleName(lblBooks->text()); // what a screen reader says for each list
    lstLinks->setAccessibleName(lblLinks->text());
    prgBusy->setAccessibleName(SyncText("78007", "Waiting for the server"));
    prgBusy->hide();
    CmdStop->hide();
    InstallHelpKey(this, HelpPage::Sync);
    TheSkin().ApplySkin(this);
    lstBooks->setHeaderLabels({SyncText("10010", "Address book"), SyncText("10011", "Type")});
    lstLinks->setHeaderLabels(
        {SyncText("10010", "Address book"), SyncText("10011", "Type"), SyncText("10013", "Server")});
    lstBooks->header()->setSectionResizeMode(QHeaderView::Stretch);
    lstLinks->header()->setSectionResizeMode(QHeaderView::Stretch);
    LoadLinks();
}

QUrl frmSync::ServerUrl() const
{
    const QString text = txtUrl->text().trimmed();
    // A bare host name means the secure address; plain http must be asked for.
    return QUrl(text.contains(QLatin1String("://")) ? text : QStringLiteral("https://") + text);
}

void frmSync::CmdDiscover_Click()
{
    PlaySoundRes(SoundClick);
    const QUrl url = ServerUrl();
    if (txtUrl->text().trimmed().isEmpty() || txtUser->text().isEmpty() || !url.isValid()) {
        MsgWarning(this, SyncText("20012", "Enter the server address and the user name."));
        return;
    }
    lstBooks->clear();
    m_found.clear();
    m_linkable = false;
    StartRequest(Request::Discover, url, txtUser->text(), txtPassword->text(),
                 SyncText("78002", "Looking for the address books on %1...").arg(url.host()));
}

void frmSync::StartRequest(Request request, const QUrl& url, const QString& user, const QString& password,
                           const QString& status)
{
    Q_ASSERT(m_worker == nullptr);
    m_request = request;
    m_worker = std::make_unique<DiscoveryWorker>(url, user, password);
    connect(m_worker.get(), &DiscoveryWorker::Finished, this, &frmSync::RequestFinished);
    lblStatus->setText(status);
    prgBusy->show();
    CmdStop->setEnabled(true);
    CmdStop->show();
    EnableButtons();
    m_worker->Start();
}

void frmSync::RequestFinished()
{
    if (m_worker == nullptr) {
        return;
    }
    const std::unique_ptr<DiscoveryWorker> worker = std::move(m_worker);
    worker->Wait(); // its thread has ended already: Finished comes after
    const Request request = std::exchange(m_request, Request::None);
    const QString password = std::exchange(m_newPassword, QString());
    prgBusy->hide();
    CmdStop->hide();
    lblStatus->clear();
    EnableButtons();
    QList<RemoteBook> books;
    try {
        books = worker->Result();
    } catch (const SyncError& e) {
        if (e.Fault() == SyncFault::Cancelled) {
            lblStatus->setText(request == Request::Discover
                                   ? SyncText("78004", "Finding the address books was cancelled.")
                                   : SyncText("78005", "Trying the account was cancelled; it was not changed."));
        } else {
            MsgWarning(this, SyncFaultText(e));
        }
        return;
    }
    if (request == Request::Discover) {
        try {
            ShowBooks(worker->Url(), books);
        } catch (...) {
            ShowError(this);
        }
    } else {
        ChangeAccount(worker->Url(), password);
    }
}

void frmSync::DropRequest()
{
    if (m_worker == nullptr) {
        return;
    }
    m_worker->Cancel();
    m_worker->Wait(); // an aborted request ends at once; nothing is left running behind the window
    m_worker.reset();
    m_request = Request::None;
    m_newPassword.clear();
    prgBusy->hide();
    CmdStop->hide();
    lblStatus->clear();
    EnableButtons();
}

void frmSync::EnableButtons()
{
    const bool idle = m_worker == nullptr;
    const bool links = lstLinks->topLevelItemCount() > 0;
    CmdDiscover->setEnabled(idle);
    CmdAccount->setEnabled(idle && links);
    CmdUnlink->setEnabled(idle && links);
    buttons->Ok()->setEnabled(idle && m_linkable);
}

void frmSync::ShowBooks(const QUrl& url, const QList<RemoteBook>& books)
{
    m_found = books;
    m_foundAt = url;
    lstBooks->clear();
    // The types already linked are not offered again: a type syncs with one address book.
    QSet<qint64> linked;
    for (const SyncLink& link : SyncLinks(Conn)) {
        linked.insert(link.typeNo);
    }
    QList<std::pair<QString, qint64>> types;
    Recordset rs;
    OpenTypes(rs, Conn, LockType::ReadOnly);
    QMap<qint64, QString> linkedTypes;
    for (; !rs.IsEOF(); rs.MoveNext()) {
        if (!linked.contains(rs.Integer(u"TypeNo"))) {
            types.append({rs.Text(u"TypeName"), rs.Integer(u"TypeNo")});
        } else {
            linkedTypes.insert(rs.Integer(u"TypeNo"), rs.Text(u"TypeName"));
        }
    }
    bool linkable = false;
    for (const RemoteBook& book : m_found) {
        auto* item = new QTreeWidgetItem(lstBooks, {book.displayName.isEmpty() ? book.path : book.displayName});
        if (const std::optional<SyncLink> link = LinkOf(Conn, url, book.path)) {
            // Shown, so the list is the server's whole, but it cannot be ticked and linked twice.
            item->setFlags(item->flags() & ~(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled));
            item->setText(1, SyncText("10014", "Linked with \"%1\"").arg(linkedTypes.value(link->typeNo)));
            continue;
        }
        linkable = true;
        item->setCheckState(0, Qt::Checked);
        auto* combo = new QComboBox(lstBooks);
        combo->setObjectName(QStringLiteral("cboType"));
        combo->addItem(SyncText("10012", "New type \"%1\"").arg(item->text(0)), -1);
        for (const auto& [name, typeNo] : types) {
            combo->addItem(name, typeNo);
        }
        lstBooks->setItemWidget(item, 1, combo);
    }
    m_linkable = linkable;
    EnableButtons();
}

void frmSync::CmdOK_Click()
{
    PlaySoundRes(SoundClick);
    QList<std::pair<int, qint64>> chosen; // found book, type (-1: a new one)
    QSet<qint64> taken;
    for (int i = 0; i < lstBooks->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lstBooks->topLevelItem(i);
        if (item->checkState(0) != Qt::Checked || lstBooks->itemWidget(item, 1) == nullptr) {
            continue;
        }
        const qint64 typeNo = qobject_cast<QComboBox*>(lstBooks->itemWidget(item, 1))->currentData().toLongLong();
        if (typeNo >= 0 && taken.contains(typeNo)) {
            MsgWarning(this, SyncText("20013", "Each type can be linked with one address book only."));
            return;
        }
        taken.insert(typeNo);
        chosen.append({i, typeNo});
    }
    if (chosen.isEmpty()) {
        MsgWarning(this, SyncText("20011", "Choose at least one address book."));
        return;
    }
    try {
        Transaction transaction(Conn);
        const qint64 account = AddSyncAccount(Conn, m_foundAt, txtUser->text(), txtPassword->text());
        for (const auto& [index, wanted] : chosen) {
            const RemoteBook& book = m_found[index];
            const qint64 typeNo =
                wanted >= 0 ? wanted
                            : InsertType(Conn, FreeTypeName(lstBooks->topLevelItem(index)->text(0)), QString());
            LinkAddressBook(Conn, account, book, typeNo);
        }
        transaction.Commit();
    } catch (const SyncError& e) {
        MsgWarning(this, SyncFaultText(e));
        return;
    } catch (...) {
        ShowError(this);
        return;
    }
    txtPassword->clear();
    lstBooks->clear();
    m_found.clear();
    m_linkable = false;
    LoadLinks();
}

void frmSync::CmdUnlink_Click()
{
    PlaySoundRes(SoundClick);
    QTreeWidgetItem* item = lstLinks->currentItem();
    if (item == nullptr) {
        return;
    }
    try {
        const qint64 account = item->data(2, Qt::UserRole).toLongLong();
        UnlinkAddressBook(Conn, item->data(0, Qt::UserRole).toLongLong());
        bool used = false;
        for (const SyncLink& link : SyncLinks(Conn)) {
            used = used || link.account == account;
        }
        if (!used) {
            RemoveSyncAccount(Conn, account); // its password goes with its last link
        }
    } catch (...) {
        ShowError(this);
    }
    LoadLinks();
}

void frmSync::CmdAccount_Click()
{
    PlaySoundRes(SoundClick);
    QTreeWidgetItem* item = lstLinks->currentItem();
    const QUrl url = ServerUrl();
    if (item == nullptr || txtUrl->text().trimmed().isEmpty() || !url.isValid()) {
        MsgWarning(this, SyncText("20020", "Choose a linked address book, and enter its account's server address "
                                           "and password above."));
        return;
    }
    m_account = item->data(2, Qt::UserRole).toLongLong();
    QString user;
    for (const SyncAccountInfo& info : SyncAccounts(Conn)) {
        if (info.no == m_account) {
            user = info.user;
        }
    }
    // Tried first, so a mistyped password is caught here rather than at the next sync.
    StartRequest(Request::CheckAccount, url, user, txtPassword->text(),
                 SyncText("78003", "Trying the address and password on %1...").arg(url.host()));
    m_newPassword = txtPassword->text();
}

void frmSync::ChangeAccount(const QUrl& url, const QString& password)
{
    try {
        ChangeSyncAccount(Conn, m_account, url, password);
    } catch (const SyncError& e) {
        MsgWarning(this, SyncFaultText(e));
        return;
    } catch (...) {
        ShowError(this);
        return;
    }
    txtPassword->clear();
    LoadLinks();
    MsgInformation(this, SyncText("20021", "The account was changed; its links stay as they were."));
}

void frmSync::LoadLinks()
{
    lstLinks->clear();
    QMap<qint64, QString> typeNames;
    Recordset rs;
    OpenTypes(rs, Conn, LockType::ReadOnly);
    for (; !rs.IsEOF(); rs.MoveNext()) {
        typeNames.insert(rs.Integer(u"TypeNo"), rs.Text(u"TypeName"));
    }
    QMap<qint64, QString> servers;
    for (const SyncAccountInfo& account : SyncAccounts(Conn)) {
        servers.insert(account.no, account.url.host());
    }
    for (const SyncLink& link : SyncLinks(Conn)) {
        auto* item = new QTreeWidgetItem(lstLinks, {link.displayName.isEmpty() ? link.path : link.displayName,
                                                    typeNames.value(link.typeNo), servers.value(link.account)});
        item->setData(0, Qt::UserRole, link.no);
        item->setData(2, Qt::UserRole, link.account);
    }
    EnableButtons();
    CmdNotices->setEnabled(!SyncNotices(Conn).isEmpty());
}

void frmSync::closeEvent(QCloseEvent* event)
{
    DropRequest();
    QDialog::closeEvent(event);
}

void frmSync::reject()
{
    PlaySoundRes(SoundClick);
    // Closing never leaves a request running behind the window.
    DropRequest();
    QDialog::reject();
    FormInstance<frmSync>::Unload();
}
