#include "net/SslUtil.h"

#include "core/StringUtil.h"

#include <QCryptographicHash>
#include <QHostInfo>
#include <QRegularExpression>
#include <QSslCertificateExtension>

#include <openssl/crypto.h>

namespace {
QString esc(const QString &text)
{
    return StringUtil::escapeNonPrintable(text);
}

const char *const kErrorNames[] = {
        "UnspecifiedError",
        "NoError",
        "UnableToGetIssuerCertificate",
        "UnableToDecryptCertificateSignature",
        "UnableToDecodeIssuerPublicKey",
        "CertificateSignatureFailed",
        "CertificateNotYetValid",
        "CertificateExpired",
        "InvalidNotBeforeField",
        "InvalidNotAfterField",
        "SelfSignedCertificate",
        "SelfSignedCertificateInChain",
        "UnableToGetLocalIssuerCertificate",
        "UnableToVerifyFirstCertificate",
        "CertificateRevoked",
        "InvalidCaCertificate",
        "PathLengthExceeded",
        "InvalidPurpose",
        "CertificateUntrusted",
        "CertificateRejected",
        "SubjectIssuerMismatch",
        "AuthorityIssuerSerialNumberMismatch",
        "NoPeerCertificate",
        "HostNameMismatch",
        "NoSslSupport",
        "CertificateBlacklisted",
};
} // namespace

SslUtil::SslUtil(QObject *parent)
    : QObject(parent)
{}

SslUtil::~SslUtil()
{
    delete m_socket;
}

QString SslUtil::sslErrorName(int error)
{
    if (error >= -1 && error <= 24) {
        return QString::fromLatin1(kErrorNames[error + 1]);
    }
    return QStringLiteral("Unknown(%1)").arg(error);
}

QString SslUtil::protocolName(int protocol)
{
    switch (protocol) {
    case -1:
        return QStringLiteral("UnknownProtocol");
    case 0:
        return QStringLiteral("SslV3");
    case 1:
        return QStringLiteral("Sslv2");
    case 2:
        return QStringLiteral("TlsV1_0");
    case 3:
        return QStringLiteral("TlsV1_1");
    case 4:
        return QStringLiteral("TlsV1_2");
    case 5:
        return QStringLiteral("AnyProtocol");
    case 6:
        return QStringLiteral("TlsV1SslV3");
    case 7:
        return QStringLiteral("SecureProtocols");
    default:
        return QStringLiteral("Unknown(%1)").arg(protocol);
    }
}

QString SslUtil::peerVerifyModeName(int mode)
{
    switch (mode) {
    case 0:
        return QStringLiteral("VerifyNone");
    case 1:
        return QStringLiteral("QueryPeer");
    case 2:
        return QStringLiteral("VerifyPeer");
    case 3:
        return QStringLiteral("AutoVerifyPeer");
    default:
        return QStringLiteral("Undefined[%1]").arg(mode);
    }
}

QString SslUtil::sslModeName(int mode)
{
    switch (mode) {
    case 0:
        return QStringLiteral("UnencryptedMode");
    case 1:
        return QStringLiteral("SslClientMode");
    case 2:
        return QStringLiteral("SslServerMode");
    default:
        return QStringLiteral("Undefined[%1]").arg(mode);
    }
}

QString SslUtil::sslLibraryInfo()
{
    // OpenSSL 3 names the version texts; the old numeric types are gone.
    auto text = [](int type) {
        const char *s = OpenSSL_version(type);
        return s ? QString::fromLatin1(s) : QString();
    };
    return QStringLiteral("%1 [%2;%3;%4;%5]")
            .arg(text(OPENSSL_VERSION), text(OPENSSL_BUILT_ON), text(OPENSSL_PLATFORM), text(OPENSSL_DIR),
                 text(OPENSSL_CFLAGS));
}

QString SslUtil::cipherToString(const QSslCipher &cipher)
{
    if (cipher.isNull()) {
        return QString();
    }
    return QStringLiteral("%1[protocol:%2,keyexcmeth:%3,authmeth:%4,encmeth:%5,suppbits:%6,usedbits:%7]")
            .arg(cipher.name(), cipher.protocolString(), cipher.keyExchangeMethod(), cipher.authenticationMethod(),
                 cipher.encryptionMethod())
            .arg(cipher.supportedBits())
            .arg(cipher.usedBits());
}

QString SslUtil::errorsText(const QList<QSslError> &errors)
{
    QStringList items;
    for (const QSslError &e : errors) {
        items << QStringLiteral("'%1'[enum:%2]").arg(esc(e.errorString())).arg(int(e.error()));
    }
    return items.join(QLatin1Char(','));
}

QStringList SslUtil::dumpCertificate(QSslCertificate cert)
{
    if (cert.isNull()) {
        return {QStringLiteral("null")};
    }
    QStringList lines;
    auto join = [](const QStringList &l) { return l.join(QLatin1Char(',')); };
    const struct
    {
        QSslCertificate::SubjectInfo info;
        const char *subject;
        const char *issuer;
    } attrs[] = {
            {QSslCertificate::Organization, "subject:   O: '%1'", "issuer:    O: '%1'"},
            {QSslCertificate::CommonName, "subject:  CN: '%1'", "issuer:   CN: '%1'"},
            {QSslCertificate::OrganizationalUnitName, "subject:  OU: '%1'", "issuer:   OU: '%1'"},
            {QSslCertificate::CountryName, "subject:   C: '%1'", "issuer:    C: '%1'"},
            {QSslCertificate::SerialNumber, "subject:  sn: '%1'", "issuer:   sn: '%1'"},
            {QSslCertificate::EmailAddress, "subject: dea: '%1'", "issuer:  dea: '%1'"},
    };
    for (const auto &a : attrs) {
        lines << QString::fromLatin1(a.subject).arg(join(cert.subjectInfo(a.info)));
    }
    for (const auto &a : attrs) {
        lines << QString::fromLatin1(a.issuer).arg(join(cert.issuerInfo(a.info)));
    }
    lines << QStringLiteral("snr:  '%1'").arg(QString::fromLatin1(cert.serialNumber()));
    lines << QStringLiteral("eff:  '%1'").arg(cert.effectiveDate().toString());
    lines << QStringLiteral("exp:  '%1'").arg(cert.expiryDate().toString());
    lines << QStringLiteral("ver:  '%1'").arg(QString::fromLatin1(cert.version()));
    lines << QStringLiteral("md5:  '%1'").arg(QString::fromLatin1(cert.digest(QCryptographicHash::Md5).toHex()));
    lines << QStringLiteral("sha1: '%1'").arg(QString::fromLatin1(cert.digest(QCryptographicHash::Sha1).toHex()));
    for (const QSslCertificateExtension &ext : cert.extensions()) {
        lines << QStringLiteral("ext: oid:'%1' name:'%2' value:'%3' crit:%4 supp:%5")
                         .arg(ext.oid(), ext.name(), ext.value().toString())
                         .arg(ext.isCritical() ? 1 : 0)
                         .arg(ext.isSupported() ? 1 : 0);
    }
    return lines;
}

void SslUtil::checkConnection(const QString &prefix, const QUrl &url, const QSslConfiguration &config)
{
    delete m_socket;
    m_socket = nullptr;
    m_prefix = prefix;
    const char *p = nullptr;
    const QByteArray pb = prefix.toUtf8();
    p = pb.constData();

    qDebug("%sSSL support: %s", p, QSslSocket::supportsSsl() ? "yes" : "no");
    QString lib = sslLibraryInfo();
    lib.remove(QRegularExpression(QStringLiteral(" \\[.*$")));
    qDebug("%sSSL library: %s", p, qUtf8Printable(esc(lib)));

    const QHostInfo info = QHostInfo::fromName(url.host());
    if (info.error() != QHostInfo::NoError) {
        qWarning("%sFailed to get host info: %s", p, qUtf8Printable(esc(info.errorString())));
    } else {
        QStringList addresses;
        for (const QHostAddress &a : info.addresses()) {
            addresses << a.toString();
        }
        qDebug("%saddresses for %s: [%d] %s", p, qUtf8Printable(esc(url.host())), int(addresses.size()),
               qUtf8Printable(esc(addresses.join(QLatin1Char(',')))));
    }

    m_socket = new QSslSocket();
    m_socket->setSslConfiguration(config);
    if (url.scheme() != QLatin1String("https")) {
        qDebug("%sScheme not supported: %s", p, qUtf8Printable(esc(url.scheme())));
        return;
    }
    qDebug("%sconfig SSL protocol: %s", p, qUtf8Printable(protocolName(config.protocol())));
    qDebug("%ssocket SSL protocol: %s", p, qUtf8Printable(protocolName(m_socket->protocol())));
    qDebug("%scertificates in original default ca: %d", p,
           int(QSslConfiguration::defaultConfiguration().caCertificates().size()));
    qDebug("%scertificates in original ca: %d", p, int(m_socket->sslConfiguration().caCertificates().size()));

    connect(m_socket, &QSslSocket::modeChanged, this, &SslUtil::sslSocketModeChanged);
    connect(m_socket, &QSslSocket::stateChanged, this, &SslUtil::sslSocketStateChanged);
    connect(m_socket, &QSslSocket::hostFound, this, &SslUtil::sslSocketHostFound);
    connect(m_socket, &QSslSocket::connected, this, &SslUtil::sslSocketConnected);
    connect(m_socket, &QSslSocket::encrypted, this, &SslUtil::sslSocketEncrypted);
    connect(m_socket, QOverload<const QList<QSslError> &>::of(&QSslSocket::sslErrors), this,
            &SslUtil::sslSocketSslErrors);
    connect(m_socket, &QSslSocket::disconnected, this, &SslUtil::sslSocketDisconnected);
    connect(m_socket, &QSslSocket::peerVerifyError, this, &SslUtil::sslSocketPeerVerifyError);

    qDebug("%speer verify mode: %s", p, qUtf8Printable(peerVerifyModeName(m_socket->peerVerifyMode())));
    qDebug("%speer verify depth: %d", p, m_socket->peerVerifyDepth());
    // The built-in servers name their port; 443 is the scheme's own.
    m_socket->connectToHostEncrypted(url.host(), quint16(url.port(443)), QIODevice::ReadWrite,
                                     QAbstractSocket::AnyIPProtocol);
}

void SslUtil::sslSocketModeChanged(QSslSocket::SslMode sslMode)
{
    static const char *const names[] = {"UnencryptedMode", "SslClientMode", "SslServerMode"};
    const int m = int(sslMode);
    qDebug("%smode_changed: %s", qUtf8Printable(m_prefix), m >= 0 && m <= 2 ? names[m] : "UndefinedMode");
}

void SslUtil::sslSocketStateChanged(QAbstractSocket::SocketState socketState)
{
    static const char *const names[] = {"UnconnectedState", "HostLookupState", "ConnectingState", "ConnectedState",
                                        "BoundState",       "ListeningState",  "ClosingState"};
    const int s = int(socketState);
    qDebug("%sstate_changed: %s", qUtf8Printable(m_prefix), s >= 0 && s <= 6 ? names[s] : "UndefinedState");
}

void SslUtil::sslSocketHostFound()
{
    qDebug("%shost found", qUtf8Printable(m_prefix));
}

void SslUtil::sslSocketConnected()
{
    qDebug("%sconnected", qUtf8Printable(m_prefix));
    const QString sub = m_prefix + QStringLiteral("connected: ");
    if (!m_socket) {
        return;
    }
    qDebug("%ssocket mode: %s", qUtf8Printable(sub), qUtf8Printable(sslModeName(m_socket->mode())));
    sslReadCaCertificates(sub);
    sslReadPeerCertificate(sub);
    sslReadPeerCertificateChain(sub);
}

void SslUtil::sslSocketEncrypted()
{
    qDebug("%sencrypted", qUtf8Printable(m_prefix));
    const QString sub = m_prefix + QStringLiteral("encrypted: ");
    if (!m_socket) {
        return;
    }
    qDebug("%ssocket mode: %s", qUtf8Printable(sub), qUtf8Printable(sslModeName(m_socket->mode())));
    sslReadCaCertificates(sub);
    sslReadPeerCertificate(sub);
    sslReadPeerCertificateChain(sub);
    qDebug("%ssession cipher: %s", qUtf8Printable(sub), qUtf8Printable(esc(cipherToString(m_socket->sessionCipher()))));
    m_socket->close();
}

void SslUtil::sslSocketSslErrors(QList<QSslError> errors)
{
    qDebug("%sssl_errors[%d]: %s", qUtf8Printable(m_prefix), int(errors.size()), qUtf8Printable(errorsText(errors)));
    const QString sub = m_prefix + QStringLiteral("ssl_errors: ");
    if (!m_socket) {
        return;
    }
    qDebug("%ssocket mode: %s", qUtf8Printable(sub), qUtf8Printable(sslModeName(m_socket->mode())));
    qDebug("%sca certificates: %d", qUtf8Printable(sub), int(m_socket->sslConfiguration().caCertificates().size()));
    sslReadPeerCertificate(sub);
    sslReadPeerCertificateChain(sub);
}

void SslUtil::sslSocketDisconnected()
{
    qDebug("%sdisconnected", qUtf8Printable(m_prefix));
    if (m_socket) {
        m_socket->close();
    }
}

void SslUtil::sslSocketPeerVerifyError(QSslError error)
{
    qDebug("%speer verify error: %s", qUtf8Printable(m_prefix), qUtf8Printable(errorsText({error})));
}

void SslUtil::sslReadCaCertificates(QString prefix)
{
    qDebug("%sca certificates: %d", qUtf8Printable(prefix),
           m_socket ? int(m_socket->sslConfiguration().caCertificates().size()) : 0);
}

void SslUtil::sslReadPeerCertificate(QString prefix)
{
    const QByteArray p = prefix.toUtf8();
    qDebug("%sread peer certificate: START", p.constData());
    const QSslCertificate cert = m_socket ? m_socket->peerCertificate() : QSslCertificate();
    if (cert.isNull()) {
        qDebug("%sno peer certificate", p.constData());
    } else {
        for (const QString &line : dumpCertificate(cert)) {
            qDebug("%speer certificate: %s", p.constData(), qUtf8Printable(esc(line)));
        }
    }
    qDebug("%sread peer certificate: END", p.constData());
}

void SslUtil::sslReadPeerCertificateChain(QString prefix)
{
    const QByteArray p = prefix.toUtf8();
    qDebug("%sread peer certificate chain: START", p.constData());
    const QList<QSslCertificate> chain = m_socket ? m_socket->peerCertificateChain() : QList<QSslCertificate>();
    if (chain.isEmpty()) {
        qDebug("%sno peer certificate chain", p.constData());
    } else {
        const int n = chain.size();
        qDebug("%speer certificate chain size: %d", p.constData(), n);
        for (int i = 0; i < n; ++i) {
            for (const QString &line : dumpCertificate(chain.at(i))) {
                qDebug("%speer certificate chain[%dof%d]: %s", p.constData(), i + 1, n, qUtf8Printable(esc(line)));
            }
        }
        const QList<QSslError> errors = QSslCertificate::verify(chain, QString());
        qDebug("%sverify peer certificate chain: %d errors", p.constData(), int(errors.size()));
        if (!errors.isEmpty()) {
            qDebug("%sverify peer certificate chain: ssl_errors[%d]: %s", p.constData(), int(errors.size()),
                   qUtf8Printable(errorsText(errors)));
        }
    }
    qDebug("%sread peer certificate chain: END", p.constData());
}
