#pragma once

#include "net/EmptyPasswordTO.h"
#include "net/JsonRecord.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// The password list with the most entries the account may hold; sorted by title after reading.
class EmptyPasswordsTO : public JsonRecord<EmptyPasswordsTO>
{
public:
    bool fromJson(const QJsonObject &json);
    using JsonRecord<EmptyPasswordsTO>::fromJson;

    int passwordsMax() const { return m_passwordsMax; }
    const QList<EmptyPasswordTO> &passwords() const { return m_passwords; }
    const QString &error() const { return m_error; }

private:
    int m_passwordsMax = 0;
    QList<EmptyPasswordTO> m_passwords;
};
