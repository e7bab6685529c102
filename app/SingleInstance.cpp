#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#include "core/platform/PrivateFolder.h"

namespace {

constexpr quint32 Greeting = 0x54415630; // "TAV0": what a later start of this program says first
constexpr qint64 LongestRequest = 1 << 20;
const QByteArray Answer = QByteArrayLiteral("OK");

} // namespace

QString InstanceSocketFolder()
{
    // Another user who could make the folder first could stand in for the running copy and be
    // handed the user's files, so only a folder that is ours alone will do.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (IsPrivateFolder(runtime)) {
        return runtime;
    }
    const QString own = QDir::tempPath() + QStringLiteral("/tavoren-") + CurrentUserTag();
    return MakePrivateFolder(own) ? own : QString();
}

QString InstanceSocketName(const QString& bookPath)
{
    const QString folder = InstanceSocketFolder();
    if (folder.isEmpty()) {
        return {};
    }
    const QFileInfo book(bookPath);
    const QString canonical = book.canonicalFilePath().isEmpty() ? book.absoluteFilePath() : book.canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return folder + QStringLiteral("/tavoren-") + QString::fromLatin1(hash);
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceServer::Accept);
}

bool InstanceServer::Listen(const QString& bookPath)
{
    const QString name = InstanceSocketName(bookPath);
    if (name.isEmpty()) {
        return false; // no folder of our own: later starts are refused by the lock instead
    }
    QLocalServer::removeServer(name);
    return m_server.listen(name);
}

void InstanceServer::Accept()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > LongestRequest) {
                socket->abort();
                return;
            }
            QDataStream in(socket);
            in.startTransaction();
            quint32 greeting = 0;
            QStringList files;
            in >> greeting >> files;
            if (!in.commitTransaction()) {
                return; // the rest is still on its way
            }
            if (greeting != Greeting) {
                socket->abort();
                return;
            }
            socket->write(Answer);
            socket->flush();
            socket->disconnectFromServer();
            emit Requested(files);
        });
    }
}

bool HandToRunningCopy(const QString& bookPath, const QStringList& files, int timeoutMs)
{
    const QString name = InstanceSocketName(bookPath);
    if (name.isEmpty()) {
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The running copy takes the book before it listens: give it a moment to start listening.
    for (;;) {
        socket.connectToServer(name);
        if (socket.waitForConnected(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
            break;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(100);
    }
    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out << Greeting << files;
    }
    socket.write(request);
    QByteArray reply;
    while (reply.size() < Answer.size() && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
            break;
        }
        reply += socket.read(Answer.size() - reply.size());
    }
    return reply == Answer;
}
