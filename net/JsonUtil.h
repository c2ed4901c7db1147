#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Readers of one key of a JSON object. Every getter sets both ok and error (either may be null)
// and returns the type's default on failure. An empty object fails even for optional keys, so a
// reader notices a reply that lost its content.
class JsonUtil
{
public:
    JsonUtil() = delete;

    static QString getString(QJsonObject object, const QString &key, bool required, bool *ok, QString *error);
    // Numbers are truncated toward zero; integers the text spells out are read exactly, beyond
    // 2^53 too. A value outside the target type's range fails rather than wrapping.
    static int getInt(QJsonObject object, const QString &key, bool required, bool *ok, QString *error);
    static qint64 getInt64(QJsonObject object, const QString &key, bool required, bool *ok, QString *error);
    static bool getBool(QJsonObject object, const QString &key, bool required, bool *ok, QString *error);
    static QJsonArray getArray(QJsonObject object, const QString &key, bool required, bool *ok, QString *error);
    static QJsonObject getObject(QJsonObject object, const QString &key, bool required, bool *ok, QString *error);

    static QJsonObject parseDocument(const QByteArray &bytes, bool *ok, QString *error);
    static QJsonObject toObject(QJsonValue value, bool *ok, QString *error);
};
