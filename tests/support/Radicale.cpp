#include "tests/support/Radicale.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

DavReply DavRequest(const QUrl& root, const QString& user, const QString& password, const QByteArray& method,
                    const QString& path, const QByteArray& body, const QMap<QByteArray, QByteArray>& headers)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(root.resolved(QUrl(path)));
    request.setRawHeader("Authorization", "Basic " + (user + u':' + password).toUtf8().toBase64());
    request.setTransferTimeout(600000);
    for (auto it = headers.constBegin(); it != headers.constEnd(); ++it) {
        request.setRawHeader(it.key(), it.value());
    }
    if (!body.isEmpty() && !headers.contains("Content-Type")) {
        request.setRawHeader("Content-Type", method == "PUT" ? "text/vcard; charset=utf-8" : "application/xml");
    }
    QNetworkReply* reply = manager.sendCustomRequest(request, method, body);
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [reply] { reply->ignoreSslErrors(); });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    DavReply result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    for (const auto& [name, value] : reply->rawHeaderPairs()) {
        result.headers.insert(name.toLower(), value);
    }
    reply->deleteLater();
    return result;
}

QStringList DavCards(const QUrl& root, const QString& user, const QString& password, const QString& bookPath)
{
    const DavReply reply = DavRequest(
        root, user, password, "PROPFIND", bookPath,
        "<?xml version=\"1.0\"?><propfind xmlns=\"DAV:\"><prop><getetag/></prop></propfind>", {{"Depth", "1"}});
    QStringList cards;
    static const QRegularExpression href(QStringLiteral("<(?:\\w+:)?href>([^<]*\\.vcf)</(?:\\w+:)?href>"));
    for (const QRegularExpressionMatch& m : href.globalMatch(QString::fromUtf8(reply.body))) {
        cards.append(QUrl::fromPercentEncoding(m.captured(1).toUtf8()));
    }
    cards.sort();
    return cards;
}

RadicaleServer::RadicaleServer() = default;

RadicaleServer::~RadicaleServer()
{
    Stop();
}

bool RadicaleServer::Start()
{
    if (IsRunning()) {
        return true;
    }
    const QString program = QStandardPaths::findExecutable(QStringLiteral("radicale"));
    if (program.isEmpty()) {
        m_reason = QStringLiteral("radicale is not installed (tools/install-deps.sh installs it)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_reason = QStringLiteral("no temporary folder");
        return false;
    }
    const QString folder = m_dir.path() + QLatin1Char('/');
    QString tls;
    if (m_tls) {
        const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        QProcess make;
        make.start(openssl,
                   {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                    QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"),
                    QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-keyout"),
                    folder + QStringLiteral("key.pem"), QStringLiteral("-out"), folder + QStringLiteral("cert.pem")});
        if (openssl.isEmpty() || !make.waitForFinished(60000) || make.exitCode() != 0) {
            m_reason = QStringLiteral("cannot make a certificate with openssl (tools/install-deps.sh installs it)");
            return false;
        }
        tls = QStringLiteral("ssl = True\ncertificate = %1cert.pem\nkey = %1key.pem\n").arg(folder);
    }
    // Several tries: another program may take the port between the probe and the start.
    // A restarted server keeps its port, so the accounts that point to it still find it.
    const quint16 previous = m_port;
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = attempt == 0 && previous != 0 ? previous : FreePort();
        const QByteArray config = QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n%3"
                                                 "[auth]\ntype = htpasswd\nhtpasswd_filename = %2users\n"
                                                 "htpasswd_encryption = plain\ndelay = 0\n"
                                                 "[rights]\ntype = owner_only\n"
                                                 "[storage]\nfilesystem_folder = %2storage\n"
                                                 "[web]\ntype = none\n"
                                                 "[logging]\nlevel = warning\n")
                                      .arg(m_port)
                                      .arg(folder, tls)
                                      .toUtf8();
        if (!Write(folder + QStringLiteral("config"), config) ||
            !Write(folder + QStringLiteral("users"), (User() + u':' + Password() + u'\n').toUtf8())) {
            m_reason = QStringLiteral("cannot write the server's configuration");
            return false;
        }
        m_process.setProgram(program);
        m_process.setArguments({QStringLiteral("--config"), folder + QStringLiteral("config")});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(folder + QStringLiteral("log"));
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_reason = QStringLiteral("radicale did not start: ") + m_process.errorString();
            return false;
        }
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(200)) {
                // A first request makes the user's home, as a client's first visit would.
                if (Request("PROPFIND", QStringLiteral("/%1/").arg(User()), {}, {{"Depth", "0"}}).status == 207) {
                    return true;
                }
            }
            if (m_process.waitForFinished(50)) {
                break; // it gave up: the log says why
            }
        }
        Stop();
    }
    QFile log(folder + QStringLiteral("log"));
    m_reason = QStringLiteral("radicale did not answer: ") +
               (log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll().right(2000)) : QString());
    return false;
}

void RadicaleServer::Stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

QUrl RadicaleServer::Root() const
{
    return QUrl(
        QStringLiteral("%1://127.0.0.1:%2/").arg(m_tls ? QStringLiteral("https") : QStringLiteral("http")).arg(m_port));
}

QString RadicaleServer::AddAddressBook(const QString& name, const QString& displayName)
{
    const QString path = QStringLiteral("/%1/%2/").arg(User(), name);
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                      "<mkcol xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><set><prop>"
                      "<resourcetype><collection/><C:addressbook/></resourcetype><displayname>" +
                      displayName.toHtmlEscaped().toUtf8() + "</displayname></prop></set></mkcol>";
    const Reply reply = Request("MKCOL", path, body, {{"Content-Type", "application/xml; charset=utf-8"}});
    return reply.status == 201 ? path : QString();
}

QString RadicaleServer::StorageFolder(const QString& bookPath) const
{
    return m_dir.path() + QStringLiteral("/storage/collection-root") + bookPath;
}
