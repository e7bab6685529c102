#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QUrl>

#include <atomic>
#include <exception>

#include "sync/CardDavClient.h"

class QThread;

// Asks a server for the address books of an account on a thread of its own, so the window keeps
// painting and answering while the server is waited for. The same request tries an account's new
// address and password before they are kept.
class DiscoveryWorker : public QObject
{
    Q_OBJECT

public:
    DiscoveryWorker(QUrl url, QString user, QString password, QObject* parent = nullptr);
    // Cancels a request under way and waits for its thread to end.
    ~DiscoveryWorker() override;

    void SetTimeout(int milliseconds) { m_timeout = milliseconds; }
    void SetDeadline(int milliseconds) { m_deadline = milliseconds; }

    void Start();
    // From any thread, at any time: the request under way is aborted, Finished still comes.
    void Cancel();
    // Waits for the request's thread to end; false when milliseconds passed first (-1: no limit).
    bool Wait(int milliseconds = -1);
    bool IsRunning() const;

    const QUrl& Url() const { return m_url; }
    // After Finished: the address books found, or the request's error thrown again.
    QList<RemoteBook> Result() const;

signals:
    // On this object's thread, after the worker let go of everything.
    void Finished();

private:
    void Work();

    QUrl m_url;
    QString m_user;
    QString m_password;
    int m_timeout = 30000;
    int m_deadline = 2 * 60 * 1000;

    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancelled = false;
    QMutex m_clientMutex; // guards m_client, which the worker sets and Cancel reaches
    CardDavClient* m_client = nullptr;
    QList<RemoteBook> m_books;
    std::exception_ptr m_error;
};
