#include "tests/support/DevService.h"

#include "tests/support/TestEnv.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpSocket>

DevService::DevService() = default;

DevService::~DevService()
{
    stop();
}

bool DevService::start(const QStringList &extraArgs)
{
    if (m_process.state() == QProcess::Running)
        return true;
    const QString script = TestEnv::sourcePath(QStringLiteral("tools/devservice/devservice.py"));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // --exit-with-stdin: the service ends with this process even when a test crashes.
    m_process.start(QStringLiteral("python3"), QStringList{script, QStringLiteral("--exit-with-stdin")} + extraArgs);
    static const QRegularExpression ready(
            QStringLiteral("^DEVSERVICE READY http_port=(\\d+) https_port=(-?\\d+) proxy_port=-?\\d+ ca=(.*)$"));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        if (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(qMax(1, int(10000 - timer.elapsed()))) &&
                m_process.state() != QProcess::Running)
                break;
            continue;
        }
        const auto m = ready.match(QString::fromUtf8(m_process.readLine()).trimmed());
        if (m.hasMatch()) {
            m_httpPort = m.captured(1).toInt();
            m_httpsPort = m.captured(2).toInt();
            m_caPath = m.captured(3);
            return true;
        }
    }
    m_error = QStringLiteral("no ready line from %1 (%2)").arg(script, m_process.errorString());
    stop();
    return false;
}

void DevService::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QString DevService::httpUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_httpPort);
}

QString DevService::httpsUrl() const
{
    return QStringLiteral("https://localhost:%1").arg(m_httpsPort);
}

bool DevService::trustTestCa() const
{
    const QList<QSslCertificate> certs = QSslCertificate::fromPath(m_caPath, QSsl::Pem);
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.addCaCertificates(certs);
    QSslConfiguration::setDefaultConfiguration(conf);
    return !certs.isEmpty();
}

QJsonObject DevService::control(const QString &command, const QJsonObject &args, int waitMs) const
{
    // Plain blocking HTTP/1.0 on the socket, so that no event loop is needed.
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_httpPort));
    if (m_httpPort <= 0 || !socket.waitForConnected(10000))
        return QJsonObject{{"ok", false}, {"error", "not started"}};
    const QByteArray body = QJsonDocument(args).toJson(QJsonDocument::Compact);
    socket.write("POST /__control/" + command.toUtf8() +
                 " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    QByteArray reply;
    while (socket.waitForReadyRead(waitMs))
        reply += socket.readAll();
    reply += socket.readAll();
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(reply.mid(reply.indexOf("\r\n\r\n") + 4), &err);
    if (!reply.contains("\r\n\r\n") || !doc.isObject())
        return QJsonObject{{"ok", false}, {"error", QStringLiteral("bad control reply: %1").arg(err.errorString())}};
    return doc.object();
}

bool DevService::reset() const
{
    return control(QStringLiteral("reset")).value("ok").toBool();
}

QJsonArray DevService::requests(bool clear) const
{
    return control(QStringLiteral("requests"), QJsonObject{{"clear", clear}}).value("requests").toArray();
}

QJsonObject DevService::state() const
{
    return control(QStringLiteral("state"));
}

int DevService::fault(const QJsonObject &rule) const
{
    const QJsonObject r = control(QStringLiteral("fault"), rule);
    return r.value("ok").toBool() ? r.value("fault_id").toInt() : -1;
}
