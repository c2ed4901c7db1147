#pragma once

#include "net/JsonRecord.h"

#include <QJsonObject>
#include <QString>

// One password entry without its secret.
class EmptyPasswordTO : public JsonRecord<EmptyPasswordTO>
{
public:
    bool fromJson(const QJsonObject &json);
    using JsonRecord<EmptyPasswordTO>::fromJson;

    const QString &id() const { return m_id; }
    const QString &title() const { return m_title; }
    const QString &username() const { return m_username; }
    const QString &url() const { return m_url; }
    const QString &comment() const { return m_comment; }
    const QString &error() const { return m_error; }

    void setTitle(const QString &title) { m_title = title; }
    void setUsername(const QString &username) { m_username = username; }
    void setUrl(const QString &url) { m_url = url; }
    void setComment(const QString &comment) { m_comment = comment; }

    // By title, code unit by code unit, case-sensitive.
    bool operator<(const EmptyPasswordTO &other) const { return m_title < other.m_title; }

protected:
    QString m_id;
    QString m_title;
    QString m_username;
    QString m_url;
    QString m_comment;
};
