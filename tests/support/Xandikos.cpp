#include "tests/support/Xandikos.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>

XandikosServer::~XandikosServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

bool XandikosServer::Start()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xandikos"));
    if (program.isEmpty()) {
        m_reason = QStringLiteral("xandikos is not installed (tools/install-deps.sh installs it)");
        return false;
    }
    const QString folder = m_dir.path() + QLatin1Char('/');
    for (int attempt = 0; attempt < 5; ++attempt) {
        {
            QTcpServer probe;
            m_port = probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
        }
        m_process.setProgram(program);
        m_process.setArguments({QStringLiteral("-d"), folder + QStringLiteral("root"), QStringLiteral("--defaults"),
                                QStringLiteral("-l"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                                QString::number(m_port)});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(folder + QStringLiteral("log"));
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_reason = QStringLiteral("xandikos did not start: ") + m_process.errorString();
            return false;
        }
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            if (Request("PROPFIND", Book()).status == 207) {
                return true;
            }
            if (m_process.waitForFinished(100)) {
                break; // it gave up, perhaps over the port: the log says why
            }
        }
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QFile log(folder + QStringLiteral("log"));
    m_reason = QStringLiteral("xandikos did not answer: ") +
               (log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll().right(2000)) : QString());
    return false;
}

QUrl XandikosServer::Root() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_port));
}
