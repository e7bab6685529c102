#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QNetworkAccessManager>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <functional>

#include "sync/Dav.h"

class QNetworkReply;

// One address book on a server, as discovery finds it. Paths are decoded URL paths.
struct RemoteBook
{
    QString path;
    QString displayName;
    bool syncCollection = false; // offers incremental sync reports
    QString ctag;
};

struct RemoteCard
{
    QString path;
    QString etag;
    QByteArray data; // empty when the server no longer has the card
    enum Problem { None, BadText, TooLarge };
    Problem problem = None; // a card that cannot be taken: data is empty, the card left alone
};

// What changed in an address book since a sync token (or everything, when full).
struct RemoteChanges
{
    QMap<QString, QString> etags; // path -> ETag of every card changed (or, when full, of every card)
    QSet<QString> removed;        // paths of cards deleted since the token
    QString token;
    bool full = false;      // etags lists every card: any card not in it is gone
    bool restarted = false; // the server refused the sync token: the address book may be another now
};

class QThread;

// Talks CardDAV to one account. Blocking by design: every call waits for its answer in a local
// event loop of the thread the client lives on (a sync's or a discovery's worker, never the
// window's), and throws SyncError when the exchange fails.
class CardDavClient
{
public:
    CardDavClient(const QUrl& url, const QString& user, const QString& password);

    // The thread whose event loop must never be nested to wait for a server: the window's. A
    // request made on it is a fault in the program and stops it at once (nullptr: no such thread).
    static void SetWindowThread(QThread* thread);

    // Milliseconds without progress before a request is given up.
    void SetTimeout(int milliseconds) { m_timeout = milliseconds; }
    // Milliseconds one request may take in all, however steadily the answer trickles in.
    void SetDeadline(int milliseconds) { m_deadline = milliseconds; }
    // The largest answer to a listing taken, in bytes; a multiget may bring MaxCard per card.
    void SetAnswerLimit(qint64 bytes) { m_limit = bytes; }
    // The largest card taken; a larger one is left on the server.
    static constexpr qint64 MaxCard = 1024 * 1024;
    // Aborts the request under way and every later one; callable from any thread.
    void Cancel();
    // Called before every request goes out and after it ended, however: the sync commits its local
    // writes before, so none is held open while the network is waited for, and opens the next after.
    void SetAroundRequest(std::function<void()> before, std::function<void()> after)
    {
        m_before = std::move(before);
        m_after = std::move(after);
    }
    // Requests sent so far.
    int Requests() const { return m_requests; }
    // Cards written or deleted so far.
    int Writes() const { return m_writes; }

    // Whether a URL may carry the password: HTTPS, or plain HTTP to this computer only.
    static bool IsAllowed(const QUrl& url);

    // The address books of the account: the URL's own, or those of the user's home.
    QList<RemoteBook> Discover();
    // Changes since token, by sync report when offered (an expired token falls back to a full
    // listing), else a full listing of ETags.
    RemoteChanges Changes(const RemoteBook& book, const QString& token);
    // The cards at the given paths, in batches.
    QList<RemoteCard> Fetch(const QString& bookPath, const QStringList& paths);
    // Writes a card: over etag, or only when nothing is there yet when etag is empty. Returns the
    // new ETag (empty when the server gives none), or nothing when the condition failed (a card
    // written over that is gone counts so too).
    std::optional<QString> Put(const QString& path, const QByteArray& card, const QString& etag);
    // Deletes a card if it is still etag; false when it changed since. A card already gone counts as deleted.
    bool Remove(const QString& path, const QString& etag);

private:
    struct Reply
    {
        int status = 0;
        QByteArray body;
        QByteArray etag;
        QUrl location;
        QUrl url;
    };

    // Takes the chunks of a 207 answer as they arrive; false stops reading (the answer is broken).
    using Sink = std::function<bool(QByteArrayView)>;

    Reply Send(const QByteArray& method, const QUrl& url, const QByteArray& body,
               const QList<std::pair<QByteArray, QByteArray>>& headers, qint64 limit = 0, const Sink& sink = {});
    Reply Exchange(const QByteArray& method, const QUrl& url, const QByteArray& body,
                   const QList<std::pair<QByteArray, QByteArray>>& headers, qint64 limit, const Sink& sink);
    // Sends a request whose 207 answer is read as it arrives, each response handed to each, and
    // the sync token it ends with to *token; throws when such an answer cannot be read. An answer
    // of another status is returned as it is. With damaged, bytes that are not UTF-8 are marked
    // (U+FFFD) instead of making the whole answer unreadable, and *damaged tells there were some.
    Reply Stream(const QByteArray& method, const QUrl& url, const QByteArray& body,
                 const QList<std::pair<QByteArray, QByteArray>>& headers, qint64 limit,
                 const std::function<void(DavResponse&&)>& each, QString* token = nullptr, bool* damaged = nullptr);
    Multistatus Read(const Reply& reply);
    [[noreturn]] void Fail(const Reply& reply);
    // A PROPFIND that follows redirects on the same server; status 0 when the resource is missing.
    Reply Propfind(QUrl url, int depth, const QByteArray& body);
    QUrl UrlOf(const QString& path) const;
    QString PathOf(const QUrl& base, const QString& href) const;

    QNetworkAccessManager m_manager;
    QUrl m_url;
    QByteArray m_authorization;
    int m_timeout = 30000;
    int m_deadline = 10 * 60 * 1000;
    qint64 m_limit = 16 * 1024 * 1024;
    std::atomic<bool> m_cancelled = false;
    std::function<void()> m_before;
    std::function<void()> m_after;
    int m_requests = 0;
    int m_writes = 0;
    QNetworkReply* m_current = nullptr;
    bool m_writing = false; // m_current writes to the server
};
