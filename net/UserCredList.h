#pragma once

#include "net/UserCred.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

// The saved-credential list, the content of the one credential-store item: {"uclist": [...]}.
class UserCredList
{
public:
    bool fromJsonDocument(const QByteArray &bytes);
    bool fromJson(const QJsonObject &object);

    // A copy of the first entry with the pair, or an empty (invalid) entry.
    UserCred find(const QString &server, const QString &name) const;
    // Puts the entry in the place of the first one with its pair and drops later ones with the
    // same pair; false, and the list unchanged, when there is none.
    bool replace(const UserCred &entry);
    void append(const UserCred &entry) { m_list.append(entry); }

    QByteArray toJsonDocument(QJsonDocument::JsonFormat format) const;
    QJsonObject toJson() const;

    const QList<UserCred> &entries() const { return m_list; }
    const QString &error() const { return m_error; }

private:
    QList<UserCred> m_list;
    QString m_error;
};
