#include "tests/support/Davical.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpServer>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Htdocs = QStringLiteral("/usr/share/davical/htdocs");
const QString CreateDatabase = QStringLiteral("/usr/share/davical/dba/create-database.sh");
const QString SocketPort = QStringLiteral("5432"); // names the socket file in the private folder only

bool AsRoot()
{
    return geteuid() == 0;
}

} // namespace

DavicalServer::~DavicalServer()
{
    if (m_php.state() != QProcess::NotRunning) {
        m_php.terminate();
        if (!m_php.waitForFinished(5000)) {
            m_php.kill();
            m_php.waitForFinished(5000);
        }
    }
    if (m_clusterRunning) {
        Run(m_bin + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), m_dir.path() + QStringLiteral("/pg"), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
            true, 30000);
    }
}

QProcessEnvironment DavicalServer::Environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGHOST"), m_dir.path() + QStringLiteral("/socket"));
    environment.insert(QStringLiteral("PGPORT"), SocketPort);
    environment.insert(QStringLiteral("PGUSER"), QStringLiteral("postgres"));
    environment.insert(QStringLiteral("PGOPTIONS"), QStringLiteral("--client-min-messages=warning"));
    return environment;
}

bool DavicalServer::Run(const QString& program, const QStringList& arguments, bool asOwner, int milliseconds)
{
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (asOwner && AsRoot()) {
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), program} +
                          arguments);
    } else {
        process.start(program, arguments);
    }
    if (!process.waitForFinished(milliseconds) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(5000);
        m_reason = QFileInfo(program).fileName() + QStringLiteral(" failed: ") +
                   QString::fromUtf8(process.readAll().right(2000));
        return false;
    }
    return true;
}

bool DavicalServer::Start()
{
    const QStringList initdbs =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& version : initdbs) {
        if (QFileInfo::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/initdb").arg(version))) {
            m_bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(version);
        }
    }
    const QString php = QStandardPaths::findExecutable(QStringLiteral("php"));
    if (m_bin.isEmpty() || php.isEmpty() || !QFileInfo::exists(Htdocs + QStringLiteral("/caldav.php")) ||
        !QFileInfo::exists(CreateDatabase) || QStandardPaths::findExecutable(QStringLiteral("psql")).isEmpty()) {
        m_reason = QStringLiteral("DAViCal, PHP or PostgreSQL is not installed (tools/install-deps.sh installs them)");
        return false;
    }
    // The cluster's owner must reach its folders; nobody else needs to.
    const QString pg = m_dir.path() + QStringLiteral("/pg");
    const QString socket = m_dir.path() + QStringLiteral("/socket");
    QDir().mkpath(pg);
    QDir().mkpath(socket);
    if (AsRoot()) {
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr || chmod(QFile::encodeName(m_dir.path()).constData(), 0711) != 0 ||
            chown(QFile::encodeName(pg).constData(), nobody->pw_uid, nobody->pw_gid) != 0 ||
            chown(QFile::encodeName(socket).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_reason = QStringLiteral("the database's folder cannot be given to the user nobody");
            return false;
        }
    }
    if (!Run(m_bin + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), pg, QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-U"),
              QStringLiteral("postgres"), QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync")},
             true, 60000)) {
        return false;
    }
    const QString options =
        QStringLiteral("-k %1 -p %2 -c listen_addresses= -c fsync=off -c full_page_writes=off").arg(socket, SocketPort);
    if (!Run(m_bin + QStringLiteral("/pg_ctl"),
             {QStringLiteral("-D"), pg, QStringLiteral("-l"), pg + QStringLiteral("/server.log"), QStringLiteral("-w"),
              QStringLiteral("-o"), options, QStringLiteral("start")},
             true, 60000)) {
        return false;
    }
    m_clusterRunning = true;
    if (!Run(QStringLiteral("sh"), {CreateDatabase, QStringLiteral("davical"), Password()}, false, 120000)) {
        return false;
    }

    for (int attempt = 0; attempt < 5; ++attempt) {
        {
            QTcpServer probe;
            m_port = probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
        }
        // The package's configuration names the database only; PGHOST and PGPORT lead to this one.
        m_php.setProcessEnvironment(Environment());
        m_php.setWorkingDirectory(Htdocs);
        m_php.setProcessChannelMode(QProcess::MergedChannels);
        m_php.setStandardOutputFile(m_dir.path() + QStringLiteral("/php.log"));
        m_php.start(php,
                    {QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(m_port), QStringLiteral("-t"), Htdocs});
        if (!m_php.waitForStarted(10000)) {
            m_reason = QStringLiteral("php did not start: ") + m_php.errorString();
            return false;
        }
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && m_php.state() == QProcess::Running) {
            if (Request("PROPFIND", QStringLiteral("/caldav.php/admin/")).status == 207) {
                // Its first address book, made as a client makes one (extended MKCOL).
                const int made =
                    Request(
                        "MKCOL", Book(),
                        "<?xml version=\"1.0\"?><d:mkcol xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\">"
                        "<d:set><d:prop><d:resourcetype><d:collection/><c:addressbook/></d:resourcetype>"
                        "<d:displayname>Contacts</d:displayname></d:prop></d:set></d:mkcol>")
                        .status;
                if (made == 201) {
                    return true;
                }
                m_reason = QStringLiteral("DAViCal did not make the address book (%1)").arg(made);
                return false;
            }
            if (m_php.waitForFinished(100)) {
                break; // it gave up, perhaps over the port: the log says why
            }
        }
        m_php.kill();
        m_php.waitForFinished(5000);
    }
    QFile log(m_dir.path() + QStringLiteral("/php.log"));
    m_reason = QStringLiteral("DAViCal did not answer: ") +
               (log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll().right(2000)) : QString());
    return false;
}

QUrl DavicalServer::Root() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/caldav.php/").arg(m_port));
}
