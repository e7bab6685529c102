#pragma once

#include <QList>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "sync/CardDavClient.h"
#include "sync/CardText.h"

class Connection;
class Transaction;

// An account on a CardDAV server, as stored (deciphered).
struct SyncAccountInfo
{
    qint64 no = 0;
    QUrl url;
    QString user;
    QString password;
    QString instance; // names the cards this book creates, so a retried upload finds its own card
};

// A server address book linked with a type.
struct SyncLink
{
    qint64 no = 0;
    qint64 account = 0;
    QString path;
    QString displayName;
    qint64 typeNo = 0;
    bool syncReport = false;
    QString token;
};

QList<SyncAccountInfo> SyncAccounts(Connection& conn);
qint64 AddSyncAccount(Connection& conn, const QUrl& url, const QString& user, const QString& password);
void RemoveSyncAccount(Connection& conn, qint64 accountNo);
// A new address or password for an account (the server moved, the password changed); its links
// and what was synced through them stay as they are.
void ChangeSyncAccount(Connection& conn, qint64 accountNo, const QUrl& url, const QString& password);
QList<SyncLink> SyncLinks(Connection& conn);
// The link of the address book at path on the server of url (the same scheme, host and port), if any.
std::optional<SyncLink> LinkOf(Connection& conn, const QUrl& url, const QString& path);
// Throws SyncError (AlreadyLinked) when the address book is linked already: two types tied to one
// address book would each take the other's cards for their own.
qint64 LinkAddressBook(Connection& conn, qint64 accountNo, const RemoteBook& book, qint64 typeNo);
void UnlinkAddressBook(Connection& conn, qint64 linkNo);

// What syncs whose summary was not shown (at start-up, on the timer) reported, kept until seen.
void AddSyncNotices(Connection& conn, const QStringList& notices);
QStringList SyncNotices(Connection& conn);
void ClearSyncNotices(Connection& conn);

// A field changed on both sides: the server's value was taken, the local one is named here.
struct SyncConflict
{
    QString name;
    // "name", "home phone", "mobile phone", "work phone", "QQ", "MSN", "ICQ", "web address", or of the
    // details: "address", "birthday", "anniversary", "nickname", "organisation", "department",
    // "job title", "role", "note", "other phones", "other web addresses", "messengers", "photo"
    QString field;
    QString localValue;
};

// The keys of what a sync changed here, so the window refreshes just those.
struct SyncChanges
{
    QSet<qint64> added, changed, removed; // contacts (PWDID)
    QSet<qint64> typesAdded;              // types (TypeNo); a sync links existing types only, so far
    bool IsEmpty() const { return added.isEmpty() && changed.isEmpty() && removed.isEmpty() && typesAdded.isEmpty(); }
};

// What one sync did.
struct SyncSummary
{
    int addedHere = 0, changedHere = 0, deletedHere = 0;
    int addedThere = 0, changedThere = 0, deletedThere = 0;
    QList<SyncConflict> conflicts;
    QStringList kept;           // deleted on one side and changed on the other: kept, with the change
    QStringList duplicates;     // on the server, not added here: the name is taken by another contact
    QStringList namesKept;      // renamed on the server to a name another contact has here: "here → there"
    QStringList joined;         // found on both sides by name and joined
    QStringList leftAlone;      // moved to a type that is not linked, and the removal was declined
    QStringList unreadable;     // server cards that could not be read (bad text, control characters): left alone
    QStringList tooLarge;       // server cards over the size a card may have: left alone
    QStringList retryLater;     // changed on the server again while this sync wrote them: left for the next sync
    int unnamed = 0;            // server cards without a name, left on the server
    QMap<QString, int> unshown; // values the server keeps that the address book cannot show
    int requests = 0;
    SyncChanges changes;
};

// What one side did to a contact since the last sync.
enum class SyncSide { Unchanged, Changed, Deleted };

// What a sync does with a contact synced before, from what each side did since.
enum class SyncAction {
    Nothing,
    Download,     // changed there only: the server's card is taken here
    Upload,       // changed here only
    Merge,        // changed on both sides: field by field, the server's value where both changed one
    DeleteHere,   // deleted there, unchanged here
    DeleteThere,  // deleted here, unchanged there
    RestoreHere,  // deleted here, changed there: it comes back here, with the change
    RestoreThere, // deleted there, changed here: it goes back to the server, with the change
    Forget,       // deleted on both sides: only the record of the last sync goes
};
SyncAction PlanContact(SyncSide here, SyncSide there);

// What to do with an address book the server lists empty although contacts were synced with it:
// it was most likely deleted and made again, or the server lost its contents.
enum class LostBookChoice {
    Cancel,      // stop the sync; nothing changes on either side
    UploadAgain, // send the contacts here to the server again as new cards
    EmptyHere,   // the server is right: delete them here too
};

// Syncs every linked type with its server address book, both ways. No local transaction stays open
// while the server is waited for: what a write to the server changed here (the contact, its ETag
// and card as stored) is committed before the next request goes out, so a sync cut short (killed,
// cancelled, the network gone) resumes where it stopped, sending nothing twice and losing nothing.
// A question declined before anything was written leaves both sides as they were.
class SyncEngine
{
public:
    explicit SyncEngine(Connection& conn);
    ~SyncEngine();

    void SetTimeout(int milliseconds) { m_timeout = milliseconds; }
    // Milliseconds one request may take in all.
    void SetDeadline(int milliseconds) { m_deadline = milliseconds; }
    // Called with the contacts moved to a type that is not linked; true removes them from the server.
    void SetConfirmRemoval(std::function<bool(const QStringList&)> confirm) { m_confirm = std::move(confirm); }
    // Asked before a sync deletes many of an address book's contacts (all of them, or more than a
    // fifth and at least 20): with the book's name, the count and whether on the server (else
    // here). false cancels the sync before anything is written on either side. Unset, it refuses.
    void SetConfirmDeletions(std::function<bool(const QString&, int, bool)> confirm)
    {
        m_confirmDeletions = std::move(confirm);
    }
    // Asked when a linked address book comes back empty, or when most of its cards turn out gone as
    // this sync writes to them, with its name and the contacts linked. Unset, the sync is cancelled.
    void SetAskLostBook(std::function<LostBookChoice(const QString&, int)> ask) { m_askLostBook = std::move(ask); }
    // done out of total steps of the current address book.
    void SetProgress(std::function<void(int, int)> progress) { m_progress = std::move(progress); }
    // Callable from any thread: the sync stops at its next step or request.
    void Cancel();

    // Throws SyncError or DbError.
    SyncSummary Run();
    // What the last Run changed here, also when it ended in an error (what it committed then).
    const SyncChanges& Changes() const { return m_changes; }

    struct State; // what one run knows of both sides

private:
    SyncSummary RunOnce();
    // After a write found a card of this book gone from the server: stops the sync with the
    // question about a lost book when most of the book's cards are gone.
    void CheckLost(State& state, const QString& bookPath);
    void Gather(State& state);
    void FollowMoves(State& state);
    void Reconcile(State& state);
    void AddFromServer(State& state);
    void AddToServer(State& state);
    void GuardDeletions(State& state);
    // Writes a contact's card; a card changed on the server meanwhile is merged and written once
    // more. The new ETag, or nothing when the contact is left for the next sync.
    std::optional<QString> Deliver(State& state, CardDavClient& client, const QString& bookPath, const QString& path,
                                   CardText& card, const QString& etag, qint64 pwdId, const ContactCard& base);
    std::optional<QString> DeliverOnce(State& state, CardDavClient& client, const QString& bookPath,
                                       const QString& path, CardText& card, const QString& etag, qint64 pwdId,
                                       const ContactCard& base);
    // The ETag of a card just written; without one, the card is read back, and nothing is returned
    // (the contact left for the next sync) when the server did not keep what was sent.
    std::optional<QString> Confirm(State& state, CardDavClient& client, const QString& bookPath, const QString& path,
                                   CardText& card, const QString& tag, qint64 pwdId);
    void TakeTokens(State& state);
    // Commits what was written here so far; before every request, and when the sync stops.
    void Settle();
    // Commits at once what a write the server confirmed changed here (the contact, its ETag and
    // card): killed right after, the sync still knows the server has it.
    void Checkpoint();
    // Settles and stops with Cancelled when the user cancelled.
    void CheckCancelled();

    Connection& m_conn;
    int m_timeout = 30000;
    int m_deadline = 10 * 60 * 1000;
    std::atomic<bool> m_cancelled = false;
    QMutex m_clientsMutex; // Cancel comes from another thread while Run makes clients
    std::unique_ptr<Transaction> m_pending;
    SyncChanges m_changes;
    std::function<bool(const QStringList&)> m_confirm;
    std::function<void(int, int)> m_progress;
    std::function<bool(const QString&, int, bool)> m_confirmDeletions;
    std::function<LostBookChoice(const QString&, int)> m_askLostBook;
    QMap<qint64, std::shared_ptr<CardDavClient>> m_clients;
    QMap<qint64, LostBookChoice> m_lostChoices; // by link: the answer about a lost book, this run
};
