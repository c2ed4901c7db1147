#include "net/JsonUtil.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QVariant>

#include <cmath>
#include <limits>

namespace {

void report(bool *ok, QString *error, bool success, const QString &text)
{
    if (ok) {
        *ok = success;
    }
    if (error) {
        *error = text;
    }
}

// Steps shared by all getters: the value when it may be converted, otherwise an undefined value
// with ok and error already set (an absent optional key is a success without a value).
QJsonValue lookUp(const QJsonObject &object, const QString &key, bool required, bool *ok, QString *error)
{
    if (object.isEmpty()) {
        report(ok, error, false, QStringLiteral("json object is empty"));
        return QJsonValue(QJsonValue::Undefined);
    }
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) {
        if (required) {
            report(ok, error, false, QStringLiteral("json object: missing key: '") + key + QLatin1Char('\''));
        } else {
            report(ok, error, true, QString());
        }
    }
    return value;
}

void wrongType(const QString &key, const char *suffix, bool *ok, QString *error)
{
    report(ok, error, false, QStringLiteral("json object: key '") + key + QLatin1String(suffix));
}

// A JSON number as a whole number in [min, max], truncated toward zero.
template<typename Int>
bool toInteger(const QJsonValue &value, Int *out)
{
    const QVariant variant = value.toVariant();
    if (variant.userType() == QMetaType::LongLong) {
        // Integer literals the parser kept exactly.
        const qlonglong n = variant.toLongLong();
        if (n < std::numeric_limits<Int>::min() || n > std::numeric_limits<Int>::max()) {
            return false;
        }
        *out = static_cast<Int>(n);
        return true;
    }
    const double d = std::trunc(value.toDouble());
    // Both bounds are powers of two (exact as doubles): -2^(b-1) <= d < 2^(b-1).
    const double lower = static_cast<double>(std::numeric_limits<Int>::min());
    const double upper = -lower;
    if (!(d >= lower && d < upper)) {
        return false;
    }
    *out = static_cast<Int>(d);
    return true;
}

template<typename Int>
Int getInteger(const QJsonObject &object, const QString &key, bool required, bool *ok, QString *error)
{
    const QJsonValue value = lookUp(object, key, required, ok, error);
    if (value.isUndefined()) {
        return 0;
    }
    if (!value.isDouble()) {
        wrongType(key, "': value is not a number", ok, error);
        return 0;
    }
    Int n = 0;
    if (!toInteger(value, &n)) {
        wrongType(key, "': value is out of range", ok, error);
        return 0;
    }
    report(ok, error, true, QString());
    return n;
}

} // namespace

QString JsonUtil::getString(QJsonObject object, const QString &key, bool required, bool *ok, QString *error)
{
    const QJsonValue value = lookUp(object, key, required, ok, error);
    if (value.isUndefined()) {
        return QString();
    }
    if (!value.isString()) {
        wrongType(key, "': value is not a string", ok, error);
        return QString();
    }
    report(ok, error, true, QString());
    return value.toString();
}

int JsonUtil::getInt(QJsonObject object, const QString &key, bool required, bool *ok, QString *error)
{
    return getInteger<int>(object, key, required, ok, error);
}

qint64 JsonUtil::getInt64(QJsonObject object, const QString &key, bool required, bool *ok, QString *error)
{
    return getInteger<qint64>(object, key, required, ok, error);
}

bool JsonUtil::getBool(QJsonObject object, const QString &key, bool required, bool *ok, QString *error)
{
    const QJsonValue value = lookUp(object, key, required, ok, error);
    if (value.isUndefined()) {
        return false;
    }
    if (!value.isBool()) {
        wrongType(key, "': value is not a bool", ok, error);
        return false;
    }
    report(ok, error, true, QString());
    return value.toBool();
}

QJsonArray JsonUtil::getArray(QJsonObject object, const QString &key, bool required, bool *ok, QString *error)
{
    const QJsonValue value = lookUp(object, key, required, ok, error);
    if (value.isUndefined()) {
        return QJsonArray();
    }
    if (!value.isArray()) {
        wrongType(key, "': value is not a json array", ok, error);
        return QJsonArray();
    }
    report(ok, error, true, QString());
    return value.toArray();
}

QJsonObject JsonUtil::getObject(QJsonObject object, const QString &key, bool required, bool *ok, QString *error)
{
    const QJsonValue value = lookUp(object, key, required, ok, error);
    if (value.isUndefined()) {
        return QJsonObject();
    }
    if (!value.isObject()) {
        wrongType(key, "': value is not a json object", ok, error);
        return QJsonObject();
    }
    report(ok, error, true, QString());
    return value.toObject();
}

QJsonObject JsonUtil::parseDocument(const QByteArray &bytes, bool *ok, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (document.isNull()) {
        report(ok, error, false,
               QStringLiteral("json document parse error: %1 (code=%2, pos=%3)")
                       .arg(parseError.errorString(), QString::number(static_cast<int>(parseError.error)),
                            QString::number(parseError.offset)));
        return QJsonObject();
    }
    if (!document.isObject()) {
        report(ok, error, false, QStringLiteral("json document is not an object"));
        return QJsonObject();
    }
    const QJsonObject object = document.object();
    if (object.isEmpty()) {
        report(ok, error, false, QStringLiteral("json document is an empty object"));
        return object;
    }
    report(ok, error, true, QString());
    return object;
}

QJsonObject JsonUtil::toObject(QJsonValue value, bool *ok, QString *error)
{
    if (value.isUndefined()) {
        report(ok, error, false, QStringLiteral("json value: undefinded"));
        return QJsonObject();
    }
    if (!value.isObject()) {
        report(ok, error, false, QStringLiteral("json value: is not a json object"));
        return QJsonObject();
    }
    report(ok, error, true, QString());
    return value.toObject();
}
