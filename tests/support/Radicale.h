#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

// What a test server answered.
struct DavReply
{
    int status = 0;
    QByteArray body;
    QMap<QByteArray, QByteArray> headers; // lower-case names
};

// One request to a test server as user, waited for (trusting the server's own certificate);
// status 0 when the server did not answer.
DavReply DavRequest(const QUrl& root, const QString& user, const QString& password, const QByteArray& method,
                    const QString& path, const QByteArray& body = {}, const QMap<QByteArray, QByteArray>& headers = {});
// The paths of the cards in an address book of a test server, sorted.
QStringList DavCards(const QUrl& root, const QString& user, const QString& password, const QString& bookPath);

// A real CardDAV server for the tests: radicale on a free loopback port, with its storage, its
// configuration and its password file in a temporary folder of its own, stopped when this goes.
class RadicaleServer
{
public:
    using Reply = DavReply;

    RadicaleServer();
    ~RadicaleServer();
    RadicaleServer(const RadicaleServer&) = delete;
    RadicaleServer& operator=(const RadicaleServer&) = delete;

    // Serves HTTPS with a self-signed certificate made for it (openssl); call before Start().
    void UseTls() { m_tls = true; }
    // Starts the server and waits until it answers; false with Reason() when it cannot.
    bool Start();
    void Stop();
    bool IsRunning() const { return m_process.state() == QProcess::Running; }
    QString Reason() const { return m_reason; }

    QString User() const { return QStringLiteral("alice"); }
    QString Password() const { return QStringLiteral("Wonder land 7"); }
    // The server's root, "http://127.0.0.1:<port>/" (https with UseTls).
    QUrl Root() const;
    // A new address book below the user's home; its path ("/alice/<name>/").
    QString AddAddressBook(const QString& name, const QString& displayName);

    Reply Request(const QByteArray& method, const QString& path, const QByteArray& body = {},
                  const QMap<QByteArray, QByteArray>& headers = {})
    {
        return DavRequest(Root(), User(), Password(), method, path, body, headers);
    }
    // Where the server keeps an address book's cards: files written there are cards it serves,
    // the quickest way to give it thousands.
    QString StorageFolder(const QString& bookPath) const;
    QStringList Cards(const QString& bookPath) { return DavCards(Root(), User(), Password(), bookPath); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_tls = false;
    QString m_reason;
};

// Skips nothing: a test that needs the server fails, naming the reason, when it cannot start.
#define REQUIRE_RADICALE(server) QVERIFY2((server).Start(), qPrintable((server).Reason()))
