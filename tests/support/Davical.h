#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include "tests/support/Radicale.h"

// A third real CardDAV server: DAViCal, run by PHP's built-in web server on a free loopback port,
// over a PostgreSQL cluster of its own in a temporary folder (reached by a socket there only).
// PostgreSQL refuses to run as root, so when the tests do, the cluster runs as "nobody". The
// account is "admin", with one address book; everything stops when this goes.
class DavicalServer
{
public:
    DavicalServer() = default;
    ~DavicalServer();
    DavicalServer(const DavicalServer&) = delete;
    DavicalServer& operator=(const DavicalServer&) = delete;

    // Starts the database and the server and waits until it answers; false with Reason() when
    // it cannot (not installed, or it would not start).
    bool Start();
    QString Reason() const { return m_reason; }
    QUrl Root() const;
    QString User() const { return QStringLiteral("admin"); }
    QString Password() const { return QStringLiteral("tavoren"); }
    // The address book it starts with.
    QString Book() const { return QStringLiteral("/caldav.php/admin/contacts/"); }
    DavReply Request(const QByteArray& method, const QString& path, const QByteArray& body = {})
    {
        return DavRequest(Root(), User(), Password(), method, path, body);
    }
    QStringList Cards() { return DavCards(Root(), User(), Password(), Book()); }

private:
    // Runs a program to its end, as the cluster's owner when asOwner; false with m_reason.
    bool Run(const QString& program, const QStringList& arguments, bool asOwner, int milliseconds);
    QProcessEnvironment Environment() const;

    QTemporaryDir m_dir;
    QString m_bin; // PostgreSQL's programs
    QProcess m_php;
    bool m_clusterRunning = false;
    quint16 m_port = 0;
    QString m_reason;
};
