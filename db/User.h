#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// One row of the user table. An id of 0 or less means "no user".
class User
{
public:
    User() = default;
    User(qint64 id, const QString &accountName, const QString &serverId, const QDateTime &lastLogin)
        : m_id(id)
        , m_accountName(accountName)
        , m_serverId(serverId)
        , m_lastLogin(lastLogin)
    {}

    qint64 id() const { return m_id; }
    QString accountName() const { return m_accountName; }
    QString serverId() const { return m_serverId; }
    QDateTime lastLogin() const { return m_lastLogin; }
    bool isValid() const { return m_id > 0; }

private:
    qint64 m_id = 0;
    QString m_accountName;
    QString m_serverId;
    QDateTime m_lastLogin;
};
