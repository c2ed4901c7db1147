#include "net/PasswordTO.h"

#include <QJsonObject>

QJsonDocument PasswordTO::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("title"), m_title);
    object.insert(QStringLiteral("username"), m_username);
    object.insert(QStringLiteral("password"), m_password);
    object.insert(QStringLiteral("transportIv"), m_transportIv);
    object.insert(QStringLiteral("url"), m_url);
    object.insert(QStringLiteral("comment"), m_comment);
    return QJsonDocument(object);
}
