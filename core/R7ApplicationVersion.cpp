#include "core/R7Application.h"

#include "core/AppInfo.h"
#include "core/R7ApplicationDetail.h"
#include "core/StringUtil.h"
#include "net/ServerList.h"

#include <QTimer>

using namespace R7ApplicationDetail;

// ---------------------------------------------------------------------------------------------
// Client version check

void R7Application::doGetClientVersion()
{
    R7Session *session = R7Session::instance();
    session->setServer(m_serverList->currentServer());
    setStatusText(tr("Check version"));
    session->getClientVersion(bindResult(this, &R7Application::on_getClientVersion));
}

void R7Application::doGetClientVersionRetry()
{
    R7Session::instance()->getClientVersion(bindResult(this, &R7Application::on_getClientVersion));
}

void R7Application::on_getClientVersion(const Result<ClientVersionTO_v1> &result)
{
    if (!result.isOk()) {
        m_versionRetryCount = m_versionRetryCount == -1 ? 1 : m_versionRetryCount + 1;
        setStatusText(tr("Failed to connect%1").arg(QStringLiteral("...").left(m_versionRetryCount % 3 + 1)));
        qDebug("R7Application::on_getClientVersion: failed to get remote version info (%d): %s", m_versionRetryCount,
               qUtf8Printable(escaped(result.message())));
        // One retry chain, however many checks failed meanwhile.
        if (!m_versionRetryTimer) {
            m_versionRetryTimer = new QTimer(this);
            m_versionRetryTimer->setSingleShot(true);
            connect(m_versionRetryTimer, &QTimer::timeout, this, &R7Application::doGetClientVersionRetry);
        }
        m_versionRetryTimer->start(m_delays.versionRetryMs);
        return;
    }
    if (m_versionRetryTimer) {
        m_versionRetryTimer->stop();
    }
    m_versionRetryCount = 0;
    setStatusText(QString());
    const ClientVersionTO_v1 &version = result.payload();
    const QString running = QString::fromLatin1(m_appInfo->version);
    qDebug("R7Application::on_getClientVersion: current: '%s' latest: '%s' compatible: '%s'", qUtf8Printable(running),
           qUtf8Printable(escaped(version.versionLatest())), qUtf8Printable(escaped(version.versionCompatible())));
    if (StringUtil::isVersionGreater(version.versionCompatible(), running)) {
        qDebug("R7Application::on_getClientVersion: Version not supported");
        newClientAvailable(version, true);
    } else if (StringUtil::isVersionGreater(version.versionLatest(), running)) {
        qDebug("R7Application::on_getClientVersion: New Version available");
        newClientAvailable(version, false);
    } else {
        setStatusText(tr("Client version is up to date"));
    }
    emit serverConnectionConfirmed();
}

void R7Application::newClientAvailable(const ClientVersionTO_v1 &version, bool mandatory)
{
    qDebug("R7Application::newClientAvailable: My version: %s new version: %s", m_appInfo->version,
           qUtf8Printable(escaped(version.versionLatest())));
    const QString text = upgradeNoticeText(version.versionLatest(), mandatory);
    showUpgradeNotice(text);
}
