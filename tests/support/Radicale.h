#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

// A real CardDAV server for the tests: radicale on a free loopback port, with its storage, its
// configuration and its password file in a temporary folder of its own, stopped when this goes.
class RadicaleServer
{
public:
    struct Reply
    {
        int status = 0;
        QByteArray body;
        QMap<QByteArray, QByteArray> headers; // lower-case names
    };

    RadicaleServer();
    ~RadicaleServer();
    RadicaleServer(const RadicaleServer&) = delete;
    RadicaleServer& operator=(const RadicaleServer&) = delete;

    // Starts the server and waits until it answers; false with Reason() when it cannot.
    bool Start();
    void Stop();
    bool IsRunning() const { return m_process.state() == QProcess::Running; }
    QString Reason() const { return m_reason; }

    QString User() const { return QStringLiteral("alice"); }
    QString Password() const { return QStringLiteral("Wonder land 7"); }
    // The server's root, "http://127.0.0.1:<port>/".
    QUrl Root() const;
    // A new address book below the user's home; its path ("/alice/<name>/").
    QString AddAddressBook(const QString& name, const QString& displayName);

    // One request as the user, waited for; status 0 when the server did not answer.
    Reply Request(const QByteArray& method, const QString& path, const QByteArray& body = {},
                  const QMap<QByteArray, QByteArray>& headers = {});
    // Where the server keeps an address book's cards: files written there are cards it serves,
    // the quickest way to give it thousands.
    QString StorageFolder(const QString& bookPath) const;
    // The paths of the cards in an address book, sorted.
    QStringList Cards(const QString& bookPath);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_reason;
};

// Skips nothing: a test that needs the server fails, naming the reason, when it cannot start.
#define REQUIRE_RADICALE(server) QVERIFY2((server).Start(), qPrintable((server).Reason()))
