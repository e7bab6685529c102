#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include "tests/support/Radicale.h"

// A second real CardDAV server, so the sync is not only right for radicale: xandikos on a free
// loopback port, serving a temporary folder with one address book. It asks for no password.
class XandikosServer
{
public:
    XandikosServer() = default;
    ~XandikosServer();
    XandikosServer(const XandikosServer&) = delete;
    XandikosServer& operator=(const XandikosServer&) = delete;

    // Starts the server and waits until it answers; false with Reason() when it cannot.
    bool Start();
    QString Reason() const { return m_reason; }
    QUrl Root() const;
    // The address book it starts with.
    QString Book() const { return QStringLiteral("/user/contacts/addressbook/"); }
    DavReply Request(const QByteArray& method, const QString& path, const QByteArray& body = {})
    {
        return DavRequest(Root(), {}, {}, method, path, body);
    }
    QStringList Cards() { return DavCards(Root(), {}, {}, Book()); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_reason;
};
