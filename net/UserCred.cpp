#include "net/UserCred.h"

#include "net/JsonUtil.h"

UserCred::UserCred(const QString &server, const QString &name, const QString &pw, const QString &dkey)
    : m_server(server)
    , m_name(name)
    , m_pw(pw)
    , m_dkey(dkey)
{}

bool UserCred::fromJson(const QJsonObject &object)
{
    bool ok = false;
    const QString server = JsonUtil::getString(object, QStringLiteral("server"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString name = JsonUtil::getString(object, QStringLiteral("name"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString pw = JsonUtil::getString(object, QStringLiteral("pw"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString dkey = JsonUtil::getString(object, QStringLiteral("dkey"), false, &ok, &m_error);
    if (!ok) {
        return false;
    }
    m_server = server;
    m_name = name;
    m_pw = pw;
    m_dkey = dkey;
    return true;
}

QJsonObject UserCred::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("server"), m_server);
    object.insert(QStringLiteral("name"), m_name);
    object.insert(QStringLiteral("pw"), m_pw);
    if (!m_dkey.isEmpty()) {
        object.insert(QStringLiteral("dkey"), m_dkey);
    }
    return object;
}
