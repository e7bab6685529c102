#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

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
