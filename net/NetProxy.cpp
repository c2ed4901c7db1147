#include "net/NetProxy.h"

#include "net/crypto/CredCrypt.h"

#include <QAuthenticator>
#include <QDateTime>
#include <QFile>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QSettings>
#include <QUrl>

namespace {
const char kUrl[] = "net/proxy_url";
const char kUser[] = "net/proxy_user";
const char kPassword[] = "net/proxy_password";
const char kCreated[] = "net/proxy_created_ts";

// The file holds the proxy password (encrypted with a key built into the program): no one but the
// user may read it.
void restrictToOwner(QSettings &settings)
{
    settings.sync();
    if (settings.format() != QSettings::NativeFormat && settings.format() != QSettings::IniFormat) {
        return;
    }
    const QString file = settings.fileName();
    if (QFile::exists(file)) {
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}
} // namespace

QString NetProxy::key(const QString &host, int port)
{
    return host + QLatin1Char(':') + QString::number(port);
}

void NetProxy::setUrl(const QString &host, int port)
{
    m_url = key(host, port);
}

bool NetProxy::loadFromSettings(const QString &host, int port)
{
    return loadFromSettings(key(host, port));
}

bool NetProxy::loadFromSettings(const QString &proxyUrl)
{
    QSettings settings;
    const QString saved = settings.value(QLatin1String(kUrl)).toString();
    if (saved != proxyUrl) {
        return false;
    }
    QString password;
    if (!CredCrypt::decryptStored(settings.value(QLatin1String(kPassword)).toString(), &password)) {
        qWarning("NetProxy::loadFromSettings: unable to load proxy settings");
        return false;
    }
    m_password = password;
    m_url = saved;
    m_user = settings.value(QLatin1String(kUser)).toString();
    return true;
}

void NetProxy::saveToSettings() const
{
    QString encrypted;
    if (!CredCrypt::encryptStored(m_password, &encrypted)) {
        qWarning("NetProxy::saveToSettings: unable to save proxy settings");
        return;
    }
    QSettings settings;
    settings.setValue(QLatin1String(kCreated), QDateTime::currentDateTimeUtc());
    settings.setValue(QLatin1String(kUrl), m_url);
    settings.setValue(QLatin1String(kUser), m_user);
    settings.setValue(QLatin1String(kPassword), encrypted);
    restrictToOwner(settings);
}

bool NetProxy::removeFromSettings(const QString &host, int port)
{
    return removeFromSettings(key(host, port));
}

bool NetProxy::removeFromSettings(const QString &proxyUrl)
{
    QSettings settings;
    if (settings.value(QLatin1String(kUrl)).toString() != proxyUrl) {
        return false;
    }
    settings.remove(QLatin1String(kCreated));
    settings.remove(QLatin1String(kUrl));
    settings.remove(QLatin1String(kUser));
    settings.remove(QLatin1String(kPassword));
    settings.sync();
    return true;
}

void NetProxy::checkNetworkProxy(const QString &serverUrl)
{
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(serverUrl)));
    if (proxies.isEmpty()) {
        qDebug("NetProxy::checkNetworkProxy: no system proxies found");
        return;
    }
    if (proxies.size() == 1 && proxies.first().type() == QNetworkProxy::NoProxy) {
        qDebug("NetProxy::checkNetworkProxy: no system proxy required");
        return;
    }
    const int n = proxies.size();
    for (int i = 0; i < n; ++i) {
        const QNetworkProxy &p = proxies.at(i);
        qDebug("NetProxy::checkNetworkProxy: system proxy[%d of %d]: type:%s(%d) host:'%s' port:%d caching:%s "
               "transparent:%s",
               i, n, qUtf8Printable(proxyTypeName(p.type())), int(p.type()), qUtf8Printable(p.hostName()),
               int(p.port()), p.isCachingProxy() ? "true" : "false", p.isTransparentProxy() ? "true" : "false");
    }
}

QString NetProxy::toString(const QNetworkProxy &proxy)
{
    return QStringLiteral("proxy host: %1").arg(proxy.hostName()) + QStringLiteral(" port: %1").arg(proxy.port()) +
           QStringLiteral(" type: %1").arg(proxyTypeName(proxy.type())) +
           QStringLiteral(" caching: %1").arg(proxy.isCachingProxy() ? "true" : "false") +
           QStringLiteral(" transparent: %1").arg(proxy.isTransparentProxy() ? "true" : "false");
}

QString NetProxy::authenticatorToString(const QAuthenticator &auth)
{
    QString text = QStringLiteral("auth realm:'%1'").arg(auth.realm());
    const QVariantHash options = auth.options();
    if (options.isEmpty()) {
        return text + QStringLiteral(" options: none");
    }
    text += QStringLiteral(" options [%1]: ").arg(options.size());
    for (auto it = options.constBegin(); it != options.constEnd(); ++it) {
        const QVariant &v = it.value();
        text += QLatin1Char(',');
        switch (v.type()) {
        case QVariant::Bool:
            text += QStringLiteral("%1:'%2'").arg(it.key(), v.toBool() ? "true" : "false");
            break;
        case QVariant::Int:
        case QVariant::LongLong:
        case QVariant::UInt:
        case QVariant::ULongLong:
        case QVariant::String:
            text += QStringLiteral("%1:'%2'").arg(it.key(), v.toString());
            break;
        default:
            text += QStringLiteral("%1:(type:%2)").arg(it.key(), QString::fromLatin1(v.typeName()));
            break;
        }
    }
    return text;
}

QString NetProxy::proxyTypeName(int type)
{
    switch (type) {
    case 0:
        return QStringLiteral("DefaultProxy");
    case 1:
        return QStringLiteral("Socks5Proxy");
    case 2:
        return QStringLiteral("NoProxy");
    case 3:
        return QStringLiteral("HttpProxy");
    case 4:
        return QStringLiteral("HttpCachingProxy");
    case 5:
        return QStringLiteral("FtpCachingProxy");
    default:
        return QStringLiteral("Unknown(%1)").arg(type);
    }
}
