#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>

// Starts the development service (tools/devservice/devservice.py) on ephemeral loopback ports for one
// test and stops it again when destroyed. The control calls are synchronous and need no event loop.
class DevService
{
public:
    DevService();
    ~DevService();
    DevService(const DevService &) = delete;
    DevService &operator=(const DevService &) = delete;

    // Starts python3 and waits (at most 10 s) for the ready line. Extra arguments go to the service.
    bool start(const QStringList &extraArgs = {});
    void stop();
    QString errorString() const { return m_error; }

    QString httpUrl() const;  // "http://127.0.0.1:<port>"
    QString httpsUrl() const; // "https://localhost:<port>"
    int httpPort() const { return m_httpPort; }
    int httpsPort() const { return m_httpsPort; }

    // Adds the test CA to QSslConfiguration::defaultConfiguration(). Call it before the session (or
    // anything else that copies the default configuration) is created. Certificate errors are never
    // ignored: an untrusted service still fails.
    bool trustTestCa() const;

    // POST /__control/<command> with the JSON body; the decoded reply ({"ok":false,...} on failure).
    // `waitMs` bounds each wait for the reply (a seed of a large tree takes a while).
    QJsonObject control(const QString &command, const QJsonObject &args = {}, int waitMs = 10000) const;
    bool reset() const;
    QJsonArray requests(bool clear = false) const;
    QJsonObject state() const;
    // The fault knobs: see tools/devservice/README.md. Returns the fault's id, or -1.
    int fault(const QJsonObject &rule) const;

    // Demo accounts of every reset.
    static QString demoUser() { return QStringLiteral("demo"); }
    static QString demoPassword() { return QStringLiteral("Demo-Passw0rd"); }
    static QString smsUser() { return QStringLiteral("demo-sms"); }
    static QString smsPassword() { return QStringLiteral("Sms-Passw0rd"); }
    static QString smsCode() { return QStringLiteral("2468"); }

private:
    QProcess m_process;
    QString m_error;
    QString m_caPath;
    int m_httpPort = -1;
    int m_httpsPort = -1;
};
