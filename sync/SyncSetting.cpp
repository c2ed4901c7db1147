#include "sync/SyncSetting.h"

#include "core/StringUtil.h"

#include <QDir>

bool SyncSetting::isActive() const
{
    if (m_localDir.isEmpty() || !QDir(m_localDir).exists() || !QDir(m_localDir).isReadable())
        return false;
    if (!m_access.contains(QLatin1Char('r')))
        return false;
    return !isExpired(m_expiryDate);
}

bool SyncSetting::isExpired(const QString &expiryDate, const QDateTime &now)
{
    if (expiryDate.isEmpty())
        return false;
    // A date that cannot be read counts as expired: better to pause than to act on a safe whose
    // state is unclear.
    const QDateTime expiry = StringUtil::parseTimestamp(expiryDate);
    return !expiry.isValid() || !(now < expiry);
}

QString SyncSetting::roleName() const
{
    switch (m_roleType) {
    case 1:
        return tr("Administrator");
    case 2:
        return tr("Editor");
    case 3:
        return tr("Restricted Viewer");
    case 4:
        return tr("Viewer");
    default:
        return QString();
    }
}
