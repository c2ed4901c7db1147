#pragma once

#include <QJsonObject>
#include <QString>

// One saved-credential entry: the pair (server, name) and its two secrets as stored, i.e.
// encrypted and in hexadecimal.
class UserCred
{
public:
    UserCred() = default;
    UserCred(const QString &server, const QString &name, const QString &pw, const QString &dkey);

    bool isValid() const { return !m_server.isEmpty() && !m_name.isEmpty(); }
    bool sameKey(const UserCred &other) const { return m_server == other.m_server && m_name == other.m_name; }

    bool fromJson(const QJsonObject &object);
    QJsonObject toJson() const;

    const QString &server() const { return m_server; }
    const QString &name() const { return m_name; }
    const QString &password() const { return m_pw; }
    const QString &dkey() const { return m_dkey; }
    const QString &error() const { return m_error; }

    void setPassword(const QString &pw) { m_pw = pw; }
    void setDkey(const QString &dkey) { m_dkey = dkey; }

private:
    QString m_server;
    QString m_name;
    QString m_pw;
    QString m_dkey;
    QString m_error;
};
