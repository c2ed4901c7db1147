#include "net/UserCredList.h"

#include "net/JsonUtil.h"

#include <QJsonArray>

bool UserCredList::fromJsonDocument(const QByteArray &bytes)
{
    bool ok = false;
    const QJsonObject object = JsonUtil::parseDocument(bytes, &ok, &m_error);
    if (!ok) {
        return false;
    }
    return fromJson(object);
}

bool UserCredList::fromJson(const QJsonObject &object)
{
    QList<UserCred> list;
    // A failed entry's own text says which member failed; the list's text is what gets logged.
    if (!JsonUtil::getList(object, QStringLiteral("uclist"), false, &UserCred::error, &list, &m_error)) {
        return false;
    }
    m_list = list;
    return true;
}

UserCred UserCredList::find(const QString &server, const QString &name) const
{
    const UserCred key(server, name, QString(), QString());
    for (const UserCred &entry : m_list) {
        if (entry.sameKey(key)) {
            return entry;
        }
    }
    return UserCred();
}

bool UserCredList::replace(const UserCred &entry)
{
    QList<UserCred> list;
    bool found = false;
    for (const UserCred &current : m_list) {
        if (current.sameKey(entry)) {
            if (!found) {
                list.append(entry);
                found = true;
            }
        } else {
            list.append(current);
        }
    }
    if (found) {
        m_list = list;
    }
    return found;
}

QByteArray UserCredList::toJsonDocument(QJsonDocument::JsonFormat format) const
{
    return QJsonDocument(toJson()).toJson(format);
}

QJsonObject UserCredList::toJson() const
{
    QJsonArray array;
    for (const UserCred &entry : m_list) {
        array.append(entry.toJson());
    }
    QJsonObject object;
    object.insert(QStringLiteral("uclist"), array);
    return object;
}
