#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <functional>

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

    // The array under key, each element an object read by T::fromJson(const QJsonObject &). Where an
    // element fails, error takes that element's own text, errorOf(element), and list stays as it was.
    template<typename T, typename ErrorOf>
    static bool getList(const QJsonObject &object, const QString &key, bool required, ErrorOf errorOf, QList<T> *list,
                        QString *error)
    {
        bool ok = false;
        const QJsonArray array = getArray(object, key, required, &ok, error);
        if (!ok) {
            return false;
        }
        QList<T> read;
        read.reserve(array.size());
        for (const QJsonValue &value : array) {
            const QJsonObject element = toObject(value, &ok, error);
            if (!ok) {
                return false;
            }
            T entry;
            if (!entry.fromJson(element)) {
                if (error) {
                    *error = std::invoke(errorOf, entry);
                }
                return false;
            }
            read.append(entry);
        }
        *list = read;
        return true;
    }
};
