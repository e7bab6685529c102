#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>

#include <functional>
#include <optional>

// The WebDAV XML the client sends and reads: request bodies, and multistatus answers read into
// plain values. Property names are "namespace|local-name".

inline const QString DavNs = QStringLiteral("DAV:");
inline const QString CardDavNs = QStringLiteral("urn:ietf:params:xml:ns:carddav");
inline const QString CalServerNs = QStringLiteral("http://calendarserver.org/ns/");

struct DavProperty
{
    QString text;        // the element's text, whitespace kept
    QStringList hrefs;   // DAV:href elements inside it
    QSet<QString> names; // names of the elements inside it (resource types, reports)
};

struct DavResponse
{
    QString href;
    int status = 0;                    // the response's own status (a removed member of a sync report), or 0
    QHash<QString, DavProperty> found; // properties with a 2xx propstat
};

struct Multistatus
{
    QList<DavResponse> responses;
    QString syncToken;
};

// Reads a multistatus answer as it arrives, chunk by chunk, handing on each response as soon as
// it is complete: a listing of a million cards is never held whole, only what the caller keeps.
class MultistatusStream
{
public:
    // maxPending bounds what the reader holds of one piece of text or markup not yet complete
    // (0: no bound): a listing is short pieces, and an endless run of text is refused early.
    explicit MultistatusStream(std::function<void(DavResponse&&)> each, qint64 maxPending = 0);
    ~MultistatusStream();
    MultistatusStream(const MultistatusStream&) = delete;
    MultistatusStream& operator=(const MultistatusStream&) = delete;

    // False, with Error(), once the XML is broken or not a multistatus.
    bool Feed(QByteArrayView chunk);
    // The answer ended: false, with Error(), when it was cut short.
    bool Finish();
    const QString& Error() const { return m_error; }
    // The error is a piece over maxPending.
    bool Overflowed() const { return m_overflowed; }
    const QString& SyncToken() const { return m_token; }

private:
    bool Read();

    enum class Part { Other, Response, Token };              // what the current child of the root is
    enum class Field { None, Href, Status, PropstatStatus }; // whose text is being gathered

    std::function<void(DavResponse&&)> m_each;
    qint64 m_maxPending = 0;
    bool m_overflowed = false;
    qint64 m_fed = 0;    // bytes given to the reader
    qint64 m_handed = 0; // where its last token ended
    QXmlStreamReader m_xml;
    QString m_error;
    QString m_token;
    int m_depth = 0; // elements open
    bool m_started = false;
    bool m_done = false;
    Part m_part = Part::Other;
    Field m_field = Field::None;
    QString m_text;
    DavResponse m_response;
    bool m_inPropstat = false;
    bool m_inProp = false;
    int m_propstatStatus = 0;
    QHash<QString, DavProperty> m_props;
    QString m_propName;
    DavProperty m_property;
    bool m_inHref = false;
    QString m_href;
};

// Reads a 207 body; nothing, with *error set, when it is not a well-formed multistatus.
std::optional<Multistatus> ReadMultistatus(const QByteArray& xml, QString* error);

// "urn:ietf:params:xml:ns:carddav|addressbook-home-set"
QString DavName(const QString& ns, const QString& localName);

QByteArray PropfindBody(const QStringList& davProps, const QStringList& cardDavProps = {},
                        const QStringList& calServerProps = {});
QByteArray SyncCollectionBody(const QString& token);
QByteArray MultigetBody(const QStringList& paths);

// The 3-digit code of an HTTP status line ("HTTP/1.1 404 Not Found"), 0 when there is none.
int StatusCode(const QString& statusLine);
