#include "net/FilesafeTO_v2.h"

#include "net/JsonUtil.h"

bool FilesafeTO_v2::fromJson(const QJsonObject &json)
{
    bool ok = false;
    const QString id = JsonUtil::getString(json, QStringLiteral("safe_id"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString safeType = JsonUtil::getString(json, QStringLiteral("safe_type"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString safeName = JsonUtil::getString(json, QStringLiteral("safe_name"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString acc = JsonUtil::getString(json, QStringLiteral("access"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const qint64 quota = JsonUtil::getInt64(json, QStringLiteral("storage_quota"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const qint64 used = JsonUtil::getInt64(json, QStringLiteral("storage_used"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString expiry = JsonUtil::getString(json, QStringLiteral("expiry_date"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const bool trash = JsonUtil::getBool(json, QStringLiteral("has_trash"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString root = JsonUtil::getString(json, QStringLiteral("root_folder_id"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const int role = JsonUtil::getInt(json, QStringLiteral("role_type"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString event = JsonUtil::getString(json, QStringLiteral("last_event"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString mod = JsonUtil::getString(json, QStringLiteral("last_mod"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    safeId = id;
    type = safeType;
    name = safeName;
    access = acc;
    storageQuota = quota;
    storageUsed = used;
    expiryDate = expiry;
    hasTrash = trash;
    rootFolderId = root;
    roleType = role;
    lastEvent = event;
    lastMod = mod;
    return true;
}

int FilesafeTO_v2::typeRank(const QString &type)
{
    if (type == QLatin1String("PRIVATE")) {
        return 4;
    }
    if (type == QLatin1String("TEAMSAFE")) {
        return 3;
    }
    if (type == QLatin1String("MAIL_IN")) {
        return 2;
    }
    if (type == QLatin1String("INBOX")) {
        return 1;
    }
    return 0;
}

bool FilesafeTO_v2::operator<(const FilesafeTO_v2 &other) const
{
    const int rank = typeRank(type);
    const int otherRank = typeRank(other.type);
    if (rank != otherRank) {
        return rank > otherRank;
    }
    if (rank == 0) {
        return type < other.type;
    }
    return name < other.name;
}

bool FilesafeTO_v2::hasFullAccess() const
{
    return access.contains(QLatin1Char('c')) && access.contains(QLatin1Char('u')) &&
           access.contains(QLatin1Char('r')) && access.contains(QLatin1Char('d'));
}

QString FilesafeTO_v2::toString() const
{
    // Concatenated rather than arg()-chained: a name holding "%1" must not be substituted again.
    QString text = QStringLiteral("{safeId:'") + safeId;
    text += QStringLiteral("',type:'") + type;
    text += QStringLiteral("',name:'") + name;
    text += QStringLiteral("',access:'") + access;
    text += QStringLiteral("',storageQuota:'") + QString::number(storageQuota);
    text += QStringLiteral("',storageUsed:'") + QString::number(storageUsed);
    text += QStringLiteral("',expiry_date:'") + expiryDate;
    text += QStringLiteral("',hasTrash:'") + QString::number(hasTrash ? 1 : 0);
    text += QStringLiteral("',rootFolderId:'") + rootFolderId;
    text += QStringLiteral("',roleType:'") + QString::number(roleType);
    text += QStringLiteral("',last_event:'") + lastEvent;
    text += QStringLiteral("',last_mod:'") + lastMod;
    text += QStringLiteral("'}");
    return text;
}
