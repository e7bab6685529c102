#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QtEndian>

#include <memory>
#include <utility>

#include "core/platform/PrivateFolder.h"

namespace {

constexpr quint32 Greeting = 0x54415630; // "TAV0": what a later start of this program says first
// A path is at most PATH_MAX bytes on the systems we run on; in UTF-16 at most twice as many.
constexpr quint32 LongestPath = 2 * 4096 * 2;
constexpr quint32 MostFiles = 10'000'000;
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
        // The request is read as it comes, a path at a time, so any number of files can be handed
        // over while no single path may take more than LongestPath.
        struct Request
        {
            bool started = false;
            quint32 count = 0;
            QStringList files;
        };
        auto request = std::make_shared<Request>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, request] {
            QDataStream in(socket);
            if (!request->started) {
                if (socket->bytesAvailable() < 8) {
                    return; // the rest is still on its way
                }
                quint32 greeting = 0;
                in >> greeting >> request->count;
                if (greeting != Greeting || request->count > MostFiles) {
                    socket->abort();
                    return;
                }
                request->started = true;
            }
            while (static_cast<quint32>(request->files.size()) < request->count) {
                QByteArray length = socket->peek(4);
                if (length.size() < 4) {
                    return;
                }
                const quint32 bytes = qFromBigEndian<quint32>(length.constData());
                if (bytes != 0xFFFFFFFF && bytes > LongestPath) {
                    socket->abort();
                    return;
                }
                if (socket->bytesAvailable() < 4 + (bytes == 0xFFFFFFFF ? 0 : qint64(bytes))) {
                    return;
                }
                QString file;
                in >> file;
                request->files.append(file);
            }
            socket->write(Answer);
            socket->flush();
            socket->disconnectFromServer();
            emit Requested(std::exchange(request->files, {}));
        });
    }
}

bool HandToRunningCopy(const QString& bookPath, const QStringList& files, int timeoutMs)
{
    const QString name = InstanceSocketName(bookPath);
    if (name.isEmpty()) {
        return false;
    }
    QDeadlineTimer deadline(timeoutMs);
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
    // A long list takes a while to pass: the time allowed runs from the last bytes that did.
    QDeadlineTimer quiet(timeoutMs);
    while (socket.bytesToWrite() > 0 && !quiet.hasExpired()) {
        if (socket.waitForBytesWritten(static_cast<int>(qMax<qint64>(1, quiet.remainingTime())))) {
            quiet.setRemainingTime(timeoutMs);
        } else if (socket.state() != QLocalSocket::ConnectedState) {
            return false;
        }
    }
    deadline = QDeadlineTimer(timeoutMs);
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
