#pragma once

#include <QObject>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QStringList>
#include <QUrl>

// TLS diagnostics: a connection check that only logs what it sees, the library's version line, and
// names for the framework's TLS enumerations. It never accepts or ignores a certificate error.
class SslUtil : public QObject
{
    Q_OBJECT
public:
    explicit SslUtil(QObject *parent = nullptr);
    ~SslUtil() override;

    void checkConnection(const QString &prefix, const QUrl &url, const QSslConfiguration &config);

    static QString sslLibraryInfo();
    static QString cipherToString(const QSslCipher &cipher);
    static QString sslErrorName(int error);
    static QString protocolName(int protocol);
    static QString peerVerifyModeName(int mode);
    static QString sslModeName(int mode);

    // The socket of the last check, null before the first.
    QSslSocket *socket() const { return m_socket; }

public slots:
    void sslSocketModeChanged(QSslSocket::SslMode sslMode);
    void sslSocketStateChanged(QAbstractSocket::SocketState socketState);
    void sslSocketHostFound();
    void sslSocketEncrypted();
    void sslSocketConnected();
    void sslSocketSslErrors(QList<QSslError> errors);
    void sslSocketDisconnected();
    void sslSocketPeerVerifyError(QSslError error);
    QStringList dumpCertificate(QSslCertificate cert);
    void sslReadPeerCertificate(QString prefix);
    void sslReadPeerCertificateChain(QString prefix);
    void sslReadCaCertificates(QString prefix);

private:
    static QString errorsText(const QList<QSslError> &errors);

    QSslSocket *m_socket = nullptr;
    QString m_prefix;
};
