#include "sync/CardDavClient.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkReply>
#include <QSslError>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include "sync/SyncError.h"

namespace {

// Cards asked for in one multiget: large enough to keep requests few, small enough that one
// answer stays a few megabytes.
constexpr int FetchBatch = 250;
// Parts of one sync report followed before the server is taken to be going round in circles.
constexpr int MaxReportParts = 1000;
// The most a listing's reader holds of one unfinished piece (a text, a tag).
constexpr qint64 MaxListingPiece = 4 * 1024 * 1024;

QString Prop(const DavResponse& response, const QString& ns, const char* name)
{
    return response.found.value(DavName(ns, QLatin1String(name))).text.trimmed();
}

bool HasType(const DavResponse& response, const QString& ns, const char* type)
{
    return response.found.value(DavName(DavNs, QStringLiteral("resourcetype")))
        .names.contains(DavName(ns, QLatin1String(type)));
}

// An ETag or address with a control character would be sent back raw in a header or a path.
bool HasControl(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QString Checked(const QString& text)
{
    if (HasControl(text)) {
        throw SyncError(SyncFault::Malformed, QStringLiteral("an ETag or address with control characters"));
    }
    return text;
}

// Read by every worker's client, set by the window's thread.
std::atomic<QThread*> WindowThread = nullptr;

bool SamePath(QString a, QString b)
{
    if (!a.endsWith(QLatin1Char('/'))) {
        a += QLatin1Char('/');
    }
    if (!b.endsWith(QLatin1Char('/'))) {
        b += QLatin1Char('/');
    }
    return a == b;
}

} // namespace

CardDavClient::CardDavClient(const QUrl& url, const QString& user, const QString& password)
    : m_url(url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment)),
      m_authorization("Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64())
{
    m_manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

void CardDavClient::SetWindowThread(QThread* thread)
{
    WindowThread = thread;
}

void CardDavClient::Cancel()
{
    m_cancelled = true;
    // The reply belongs to the client's thread: aborted there, at once when that is this one. A
    // write under way is let finish (its time-outs still hold): cut off, the server might have
    // taken it without the sync knowing.
    const auto abort = [this] {
        if (m_current != nullptr && !m_writing) {
            m_current->abort();
        }
    };
    if (QThread::currentThread() == m_manager.thread()) {
        abort();
    } else {
        QMetaObject::invokeMethod(&m_manager, abort, Qt::QueuedConnection);
    }
}

bool CardDavClient::IsAllowed(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    if (url.scheme() == QLatin1String("https")) {
        return true;
    }
    if (url.scheme() != QLatin1String("http")) {
        return false;
    }
    // The password travels in the clear over plain HTTP, so only as far as this computer.
    const QHostAddress address(url.host());
    return url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || address.isLoopback();
}

CardDavClient::Reply CardDavClient::Send(const QByteArray& method, const QUrl& url, const QByteArray& body,
                                         const QList<std::pair<QByteArray, QByteArray>>& headers, qint64 limit,
                                         const Sink& sink)
{
    if (limit <= 0) {
        limit = m_limit;
    }
    if (m_cancelled) {
        throw SyncError(SyncFault::Cancelled, {});
    }
    if (!IsAllowed(url)) {
        throw SyncError(SyncFault::Insecure, url.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath).toString());
    }
    if (m_before) {
        m_before();
    }
    Reply result = Exchange(method, url, body, headers, limit, sink);
    if (m_after) {
        m_after();
    }
    return result;
}

CardDavClient::Reply CardDavClient::Exchange(const QByteArray& method, const QUrl& url, const QByteArray& body,
                                             const QList<std::pair<QByteArray, QByteArray>>& headers, qint64 limit,
                                             const Sink& sink)
{
    // Waiting here would freeze every window for as long as the server takes, and let events in
    // that the window's code does not expect in the middle of a call.
    if (QThread::currentThread() == WindowThread.load()) {
        qFatal("A CardDAV request was made on the window's thread; it belongs on a worker");
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeout);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader("Authorization", m_authorization);
    request.setRawHeader("User-Agent", "Tavoren");
    for (const auto& [name, value] : headers) {
        request.setRawHeader(name, value);
    }
    ++m_requests;
    QNetworkReply* reply = m_manager.sendCustomRequest(request, method, body);
    m_current = reply;
    m_writing = method == "PUT" || method == "DELETE";
    // The network's own buffer ahead of us stays small too: the server waits while we read.
    reply->setReadBufferSize(512 * 1024);
    QStringList sslErrors;
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [&sslErrors](const QList<QSslError>& errors) {
        for (const QSslError& e : errors) {
            sslErrors.append(e.errorString());
        }
    });
    // The answer is read as it comes, so one larger than the limit is stopped at the limit; and a
    // server dripping a byte now and then, never idle long enough for the time-out, meets the deadline.
    // A multistatus goes to the sink as it comes, so only what the caller keeps of it stays.
    QByteArray received;
    qint64 total = 0;
    bool tooLarge = false;
    bool late = false;
    bool broken = false; // the sink found the answer unreadable
    const auto take = [&] {
        if (tooLarge || broken) {
            return;
        }
        const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        const bool streamed = sink && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 207;
        if (declared > limit) {
            tooLarge = true;
        }
        while (!tooLarge && reply->bytesAvailable() > 0) {
            QByteArray chunk = reply->read(std::min<qint64>(limit + 1 - total, 256 * 1024));
            total += chunk.size();
            if (total > limit) {
                tooLarge = true;
            } else if (!streamed) {
                received += chunk;
            } else if (!sink(chunk)) {
                broken = true;
                reply->abort();
                return;
            }
        }
        if (tooLarge) {
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, take);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, take);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, [&] {
        late = true;
        reply->abort();
    });
    deadline.start(m_deadline);
    if (!reply->isFinished()) {
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    deadline.stop();
    m_current = nullptr;
    const std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> owner(reply,
                                                                         [](QNetworkReply* r) { r->deleteLater(); });
    const QNetworkReply::NetworkError error = reply->error();
    // A request the cancel came too late for keeps its answer: a card written is one to record.
    if (m_cancelled && error == QNetworkReply::OperationCanceledError) {
        throw SyncError(SyncFault::Cancelled, {});
    }
    if (tooLarge) {
        throw SyncError(SyncFault::TooLarge, QStringLiteral("%1, over %2 MB").arg(url.host()).arg(limit >> 20));
    }
    if (late) {
        throw SyncError(SyncFault::Timeout, url.host());
    }
    if (broken) {
        Reply unreadable; // the caller's sink says what is wrong with it
        unreadable.status = 207;
        unreadable.url = url;
        return unreadable;
    }
    if (!sslErrors.isEmpty() || error == QNetworkReply::SslHandshakeFailedError) {
        throw SyncError(SyncFault::Certificate, sslErrors.isEmpty() ? reply->errorString() : sslErrors.join(u"; "));
    }
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
        throw SyncError(SyncFault::Timeout, url.host());
    }
    // Errors of the connection or the protocol (a dropped or cut-short answer) end the exchange;
    // HTTP error statuses are the caller's to judge.
    const bool httpStatus =
        (error >= QNetworkReply::ContentAccessDenied && error < QNetworkReply::ProtocolUnknownError) ||
        error >= QNetworkReply::InternalServerError;
    if (error != QNetworkReply::NoError && !httpStatus) {
        throw SyncError(SyncFault::Network, reply->errorString());
    }
    Reply result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    take();
    result.body = std::move(received);
    // A connection closed part-way through the body can still finish without an error; the
    // declared length tells (unless the body was unpacked, which changes its size).
    bool declared = false;
    const qint64 length = reply->rawHeader("Content-Length").toLongLong(&declared);
    if (declared && !reply->hasRawHeader("Content-Encoding") && total < length) {
        throw SyncError(SyncFault::Network, url.host());
    }
    result.etag = reply->rawHeader("ETag");
    result.url = url;
    const QByteArray location = reply->rawHeader("Location");
    if (!location.isEmpty()) {
        result.location = url.resolved(QUrl::fromEncoded(location));
    }
    if (result.status == 0) {
        throw SyncError(SyncFault::Network, reply->errorString());
    }
    return result;
}

CardDavClient::Reply CardDavClient::Stream(const QByteArray& method, const QUrl& url, const QByteArray& body,
                                           const QList<std::pair<QByteArray, QByteArray>>& headers, qint64 limit,
                                           const std::function<void(DavResponse&&)>& each, QString* token,
                                           bool* damaged)
{
    // A listing's pieces are short (an address, an ETag); a multiget's are cards, whose size is
    // judged card by card once read.
    MultistatusStream stream(each, damaged == nullptr ? MaxListingPiece : 0);
    QStringDecoder decoder(QStringDecoder::Utf8);
    std::exception_ptr failure; // thrown by each, carried out of the network's signals
    const Reply reply = Send(method, url, body, headers, limit, [&](QByteArrayView chunk) {
        try {
            if (damaged == nullptr) {
                return stream.Feed(chunk);
            }
            const QString text = decoder(chunk);
            *damaged = *damaged || decoder.hasError();
            return stream.Feed(text.toUtf8());
        } catch (...) {
            failure = std::current_exception();
            return false;
        }
    });
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (stream.Overflowed()) {
        throw SyncError(SyncFault::TooLarge,
                        QStringLiteral("%1, over %2 MB").arg(url.host()).arg(MaxListingPiece >> 20));
    }
    if (reply.status != 207) {
        return reply;
    }
    if (!stream.Finish()) {
        throw SyncError(SyncFault::Malformed, stream.Error());
    }
    if (token != nullptr) {
        *token = stream.SyncToken();
    }
    return reply;
}

void CardDavClient::Fail(const Reply& reply)
{
    if (reply.status == 401) {
        throw SyncError(SyncFault::Refused, {});
    }
    throw SyncError(SyncFault::Http, QStringLiteral("HTTP %1 (%2)").arg(reply.status).arg(reply.url.path()));
}

Multistatus CardDavClient::Read(const Reply& reply)
{
    if (reply.status != 207) {
        Fail(reply);
    }
    QString error;
    std::optional<Multistatus> result = ReadMultistatus(reply.body, &error);
    if (!result) {
        throw SyncError(SyncFault::Malformed, error);
    }
    return *result;
}

CardDavClient::Reply CardDavClient::Propfind(QUrl url, int depth, const QByteArray& body)
{
    for (int hop = 0; hop < 5; ++hop) {
        Reply reply = Send("PROPFIND", url, body,
                           {{"Depth", QByteArray::number(depth)}, {"Content-Type", "application/xml; charset=utf-8"}});
        if (reply.status >= 300 && reply.status < 400 && reply.location.isValid()) {
            // Only within the same server: the password goes with every request.
            if (reply.location.host() != url.host() || reply.location.port() != url.port() ||
                (url.scheme() == QLatin1String("https") && reply.location.scheme() != url.scheme())) {
                return {};
            }
            url = reply.location;
            continue;
        }
        if (reply.status == 404 || reply.status == 405 || reply.status == 501) {
            return {};
        }
        if (reply.status != 207) {
            Fail(reply);
        }
        return reply;
    }
    return {};
}

QUrl CardDavClient::UrlOf(const QString& path) const
{
    QUrl url = m_url;
    url.setPath(path, QUrl::DecodedMode);
    return url;
}

QString CardDavClient::PathOf(const QUrl& base, const QString& href) const
{
    return Checked(base.resolved(QUrl(Checked(href))).path(QUrl::FullyDecoded));
}

QList<RemoteBook> CardDavClient::Discover()
{
    const QByteArray first = PropfindBody({QStringLiteral("resourcetype"), QStringLiteral("current-user-principal"),
                                           QStringLiteral("displayname"), QStringLiteral("supported-report-set")},
                                          {QStringLiteral("addressbook-home-set")}, {QStringLiteral("getctag")});
    const QByteArray listing = PropfindBody(
        {QStringLiteral("resourcetype"), QStringLiteral("displayname"), QStringLiteral("supported-report-set")}, {},
        {QStringLiteral("getctag")});
    QList<QUrl> candidates{m_url};
    const QUrl wellKnown = m_url.resolved(QUrl(QStringLiteral("/.well-known/carddav")));
    if (m_url.path().isEmpty() || m_url.path() == QLatin1String("/")) {
        candidates.prepend(wellKnown);
    } else {
        candidates.append(wellKnown);
    }
    auto bookOf = [this](const QUrl& base, const DavResponse& r) {
        RemoteBook book;
        book.path = PathOf(base, r.href);
        book.displayName = Prop(r, DavNs, "displayname");
        book.syncCollection = r.found.value(DavName(DavNs, QStringLiteral("supported-report-set")))
                                  .names.contains(DavName(DavNs, QStringLiteral("sync-collection")));
        book.ctag = Prop(r, CalServerNs, "getctag");
        return book;
    };
    for (const QUrl& candidate : candidates) {
        const Reply reply = Propfind(candidate, 0, first);
        if (reply.status == 0) {
            continue;
        }
        const Multistatus ms = Read(reply);
        if (ms.responses.isEmpty()) {
            continue;
        }
        const DavResponse& own = ms.responses.first();
        if (HasType(own, CardDavNs, "addressbook")) {
            return {bookOf(reply.url, own)};
        }
        QStringList homes = own.found.value(DavName(CardDavNs, QStringLiteral("addressbook-home-set"))).hrefs;
        const QStringList principal = own.found.value(DavName(DavNs, QStringLiteral("current-user-principal"))).hrefs;
        QUrl homeBase = reply.url;
        if (homes.isEmpty() && !principal.isEmpty()) {
            const QUrl principalUrl = UrlOf(PathOf(reply.url, principal.first()));
            const Reply p = Propfind(principalUrl, 0, first);
            if (p.status != 0) {
                const Multistatus pm = Read(p);
                if (!pm.responses.isEmpty()) {
                    homes = pm.responses.first()
                                .found.value(DavName(CardDavNs, QStringLiteral("addressbook-home-set")))
                                .hrefs;
                    homeBase = p.url;
                }
            }
        }
        if (homes.isEmpty()) {
            continue;
        }
        const QUrl homeUrl = UrlOf(PathOf(homeBase, homes.first()));
        const Reply list = Propfind(homeUrl, 1, listing);
        if (list.status == 0) {
            continue;
        }
        QList<RemoteBook> books;
        for (const DavResponse& r : Read(list).responses) {
            if (HasType(r, CardDavNs, "addressbook")) {
                books.append(bookOf(list.url, r));
            }
        }
        return books;
    }
    throw SyncError(SyncFault::NoAddressBook, m_url.host());
}

RemoteChanges CardDavClient::Changes(const RemoteBook& book, const QString& token)
{
    RemoteChanges changes;
    const QUrl url = UrlOf(book.path);
    const QList<std::pair<QByteArray, QByteArray>> xml{{"Content-Type", "application/xml; charset=utf-8"}};
    if (book.syncCollection) {
        // A server may answer in parts, marking the collection itself 507 with a token to go on
        // from: the parts are asked for and joined, so no change is left behind and a first
        // listing is not taken for the whole book (which would read the rest as removed).
        changes.full = token.isEmpty();
        QString from = token;
        for (int part = 0; part < MaxReportParts; ++part) {
            bool truncated = false;
            QString next;
            const Reply reply = Stream(
                "REPORT", url, SyncCollectionBody(from), xml, 0,
                [&](DavResponse&& r) {
                    const QString path = PathOf(url, r.href);
                    if (SamePath(path, book.path)) {
                        truncated = truncated || r.status == 507;
                    } else if (r.status == 404) {
                        changes.etags.remove(path);
                        changes.removed.insert(path);
                    } else if (r.found.contains(DavName(DavNs, QStringLiteral("getetag")))) {
                        changes.removed.remove(path);
                        changes.etags.insert(path, Checked(Prop(r, DavNs, "getetag")));
                    }
                },
                &next);
            if (reply.status >= 400 && reply.status != 401 && !token.isEmpty()) {
                // The server refuses the token: it forgot it (403/409, the valid-sync-token
                // precondition), or the address book was made anew and the token is of another
                // lineage (some servers answer that with a 500). A full list starts over; it fails
                // in turn when the server is broken.
                RemoteChanges all = Changes(book, QString());
                all.restarted = true;
                return all;
            }
            if (reply.status != 207) {
                Fail(reply);
            }
            changes.token = next;
            if (!truncated) {
                return changes;
            }
            if (next.isEmpty() || next == from) {
                throw SyncError(SyncFault::Malformed, QStringLiteral("a sync report cut short without a new token"));
            }
            from = next;
        }
        throw SyncError(SyncFault::Malformed,
                        QStringLiteral("a sync report in more than %1 parts").arg(MaxReportParts));
    }
    QList<std::pair<QByteArray, QByteArray>> depth = xml;
    depth.append(std::pair<QByteArray, QByteArray>("Depth", "1"));
    const Reply reply =
        Stream("PROPFIND", url, PropfindBody({QStringLiteral("getetag"), QStringLiteral("resourcetype")}), depth, 0,
               [&](DavResponse&& r) {
                   const QString path = PathOf(url, r.href);
                   if (!SamePath(path, book.path) && !HasType(r, DavNs, "collection")) {
                       changes.etags.insert(path, Checked(Prop(r, DavNs, "getetag")));
                   }
               });
    if (reply.status != 207) {
        Fail(reply);
    }
    changes.full = true;
    return changes;
}

QList<RemoteCard> CardDavClient::Fetch(const QString& bookPath, const QStringList& paths)
{
    QList<RemoteCard> cards;
    const QUrl url = UrlOf(bookPath);
    for (qsizetype start = 0; start < paths.size(); start += FetchBatch) {
        const QStringList batch = paths.mid(start, FetchBatch);
        QSet<QString> answered;
        // A card with raw bytes that are not UTF-8 would make the whole answer unreadable: the
        // bytes are marked, and the cards holding them left alone.
        bool damaged = false;
        const Reply reply = Stream(
            "REPORT", url, MultigetBody(batch), {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}},
            m_limit + MaxCard * batch.size(),
            [&](DavResponse&& r) {
                RemoteCard card;
                card.path = PathOf(url, r.href);
                const auto data = r.found.constFind(DavName(CardDavNs, QStringLiteral("address-data")));
                if (data != r.found.constEnd()) {
                    card.data = data->text.toUtf8();
                    card.etag = Checked(Prop(r, DavNs, "getetag"));
                    if (damaged && data->text.contains(QChar::ReplacementCharacter)) {
                        card.problem = RemoteCard::BadText;
                    } else if (card.data.size() > MaxCard) {
                        card.problem = RemoteCard::TooLarge;
                    }
                    if (card.problem != RemoteCard::None) {
                        card.data.clear();
                    }
                } else if (r.status != 404) {
                    throw SyncError(SyncFault::Malformed, QStringLiteral("no address data for %1").arg(card.path));
                }
                answered.insert(card.path);
                cards.append(card);
            },
            nullptr, &damaged);
        if (reply.status != 207) {
            Fail(reply);
        }
        for (const QString& path : batch) {
            if (!answered.contains(path)) {
                cards.append(RemoteCard{path, {}, {}}); // not there any more
            }
        }
    }
    return cards;
}

std::optional<QString> CardDavClient::Put(const QString& path, const QByteArray& card, const QString& etag)
{
    QList<std::pair<QByteArray, QByteArray>> headers{{"Content-Type", "text/vcard; charset=utf-8"}};
    if (etag.isEmpty()) {
        headers.append(std::pair<QByteArray, QByteArray>("If-None-Match", "*"));
    } else {
        headers.append(std::pair<QByteArray, QByteArray>("If-Match", Checked(etag).toUtf8()));
    }
    ++m_writes;
    const Reply reply = Send("PUT", UrlOf(path), card, headers);
    // Some servers answer a write over a card that is gone with 404 rather than 412: the
    // condition failed all the same.
    if (reply.status == 412 || (reply.status == 404 && !etag.isEmpty())) {
        return std::nullopt;
    }
    if (reply.status < 200 || reply.status >= 300) {
        Fail(reply);
    }
    return QString::fromUtf8(reply.etag);
}

bool CardDavClient::Remove(const QString& path, const QString& etag)
{
    QList<std::pair<QByteArray, QByteArray>> headers;
    if (!etag.isEmpty()) {
        headers.append(std::pair<QByteArray, QByteArray>("If-Match", Checked(etag).toUtf8()));
    }
    ++m_writes;
    const Reply reply = Send("DELETE", UrlOf(path), {}, headers);
    if (reply.status == 412) {
        return false;
    }
    if (reply.status == 404 || (reply.status >= 200 && reply.status < 300)) {
        return true;
    }
    Fail(reply);
}
