#include "net/ClientVersionTO_v1.h"

#include "net/JsonUtil.h"

bool ClientVersionTO_v1::fromJson(const QJsonObject &json, QString &errorText)
{
    bool ok = false;
    const QString name = JsonUtil::getString(json, QStringLiteral("name"), true, &ok, &m_errorText);
    if (ok) {
        const QString compatible =
                JsonUtil::getString(json, QStringLiteral("version_compatible"), true, &ok, &m_errorText);
        if (ok) {
            const QString latest = JsonUtil::getString(json, QStringLiteral("version_latest"), true, &ok, &m_errorText);
            if (ok) {
                m_name = name;
                m_versionCompatible = compatible;
                m_versionLatest = latest;
            }
        }
    }
    errorText = m_errorText;
    return ok;
}

QString ClientVersionTO_v1::toString() const
{
    return QStringLiteral("{name:'%1',version_compatible:'%2',version_latest:'%3'}")
            .arg(m_name, m_versionCompatible, m_versionLatest);
}
