#pragma once

#include <QJsonObject>
#include <QString>

// The service's answer to the version query: the oldest client version it accepts and the newest.
class ClientVersionTO_v1
{
public:
    bool fromJson(const QJsonObject &json, QString &errorText);

    const QString &name() const { return m_name; }
    const QString &versionCompatible() const { return m_versionCompatible; }
    const QString &versionLatest() const { return m_versionLatest; }
    const QString &errorText() const { return m_errorText; }

    QString toString() const;

private:
    QString m_name;
    QString m_versionCompatible;
    QString m_versionLatest;
    QString m_errorText;
};
