#include "sync/SyncSetting.h"

#include "core/StringUtil.h"

#include <QDir>

bool SyncSetting::isActive() const
{
    if (m_localDir.isEmpty() || !QDir(m_localDir).exists() || !QDir(m_localDir).isReadable())
        return false;
    if (!m_access.contains(QLatin1Char('r')))
        return false;
    if (m_expiryDate.isEmpty())
        return true;
    // A date that cannot be read counts as expired: better to pause than to act on a safe whose
    // state is unclear.
    const QDateTime expiry = StringUtil::parseTimestamp(m_expiryDate);
    return expiry.isValid() && QDateTime::currentDateTime() < expiry;
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
