#include "tests/support/DevService.h"

#include "tests/support/TestEnv.h"

#include <QElapsedTimer>
#include <QFile>
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
    if (isRunning())
        return true;
    const QString script = TestEnv::sourcePath(QStringLiteral("tools/devservice/devservice.py"));
    if (!QFile::exists(script)) {
        m_error = QStringLiteral("missing %1").arg(script);
        return false;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // --exit-with-stdin: the service ends with this process even when a test crashes.
    m_process.start(QStringLiteral("python3"), QStringList{script, QStringLiteral("--exit-with-stdin")} + extraArgs);
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("python3 did not start: %1").arg(m_process.errorString());
        return false;
    }
    static const QRegularExpression ready(
            QStringLiteral("^DEVSERVICE READY http_port=(\\d+) https_port=(-?\\d+) proxy_port=(-?\\d+) ca=(.*)$"));
    QElapsedTimer timer;
    timer.start();
    QByteArray pending;
    while (timer.elapsed() < 10000) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(int(10000 - timer.elapsed()))) {
            if (m_process.state() != QProcess::Running)
                break;
            continue;
        }
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            const auto m = ready.match(line);
            if (m.hasMatch()) {
                m_httpPort = m.captured(1).toInt();
                m_httpsPort = m.captured(2).toInt();
                m_proxyPort = m.captured(3).toInt();
                m_caPath = m.captured(4);
                return true;
            }
        }
    }
    m_error = QStringLiteral("no ready line from the development service");
    stop();
    return false;
}

void DevService::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3000)) {
        m_process.terminate();
        if (!m_process.waitForFinished(2000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}

bool DevService::isRunning() const
{
    return m_process.state() == QProcess::Running && m_httpPort > 0;
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
    if (certs.isEmpty())
        return false;
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.addCaCertificates(certs);
    QSslConfiguration::setDefaultConfiguration(conf);
    return true;
}

QByteArray DevService::httpPost(const QByteArray &path, const QByteArray &body, int timeoutMs) const
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_httpPort));
    if (!socket.waitForConnected(timeoutMs))
        return {};
    QByteArray request = "POST " + path +
                         " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                         "Content-Length: " +
                         QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    socket.write(request);
    QByteArray reply;
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < timeoutMs) {
        if (socket.waitForReadyRead(int(timeoutMs - timer.elapsed())))
            reply += socket.readAll();
    }
    reply += socket.readAll();
    const int split = reply.indexOf("\r\n\r\n");
    return split < 0 ? QByteArray() : reply.mid(split + 4);
}

QJsonObject DevService::control(const QString &command, const QJsonObject &args) const
{
    if (m_httpPort <= 0)
        return QJsonObject{{"ok", false}, {"error", "not started"}};
    const QByteArray body =
            httpPost("/__control/" + command.toUtf8(), QJsonDocument(args).toJson(QJsonDocument::Compact), 10000);
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
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
