#include "net/PasswordRI.h"

#include "core/AppInfo.h"
#include "net/JsonUtil.h"
#include "net/Request.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

#include <cmath>

PasswordRI::PasswordRI(const AppInfo *appInfo, ISession *session, QObject *parent)
    : GenericRI(session, parent)
    , m_appInfo(appInfo)
{}

QString PasswordRI::basePath() const
{
    if (!m_appInfo || m_appInfo->apiGeneration == 1) {
        return QStringLiteral("/rest/loggedin/2/passwords");
    }
    return QStringLiteral("/api/sync/1/passwords");
}

void PasswordRI::getPasswords(ResultCallback<EmptyPasswordsTO> callback)
{
    sendJsonRequest<EmptyPasswordsTO>(Request::createGet(basePath()), session, std::move(callback));
}

void PasswordRI::getSinglePassword(qint64 id, ResultCallback<SinglePasswordTO> callback)
{
    sendJsonRequest<SinglePasswordTO>(Request::createGet(basePath() + QLatin1Char('/') + QString::number(id)), session,
                                      std::move(callback));
}

void PasswordRI::createPassword(PasswordTO password, ResultCallback<EmptyPasswordTO> callback)
{
    sendJsonRequest<EmptyPasswordTO>(Request::createPostJson(basePath(), password.toJson()), session,
                                     std::move(callback));
}

void PasswordRI::deletePassword(QString id, ResultCallback<Nothing> callback)
{
    const QString trimmed = id.trimmed();
    if (refuseBadId(trimmed, callback, QStringLiteral("password"))) {
        return;
    }
    sendJsonRequest<Nothing>(Request::createDelete(basePath() + QLatin1Char('/') + Request::pathSegment(trimmed)),
                             session, std::move(callback));
}

void PasswordRI::updatePassword(PasswordTO password, ResultCallback<EmptyPasswordTO> callback)
{
    if (refuseBadId(password.id(), callback, QStringLiteral("password"))) {
        return;
    }
    sendJsonRequest<EmptyPasswordTO>(
            Request::createPutJson(basePath() + QLatin1Char('/') + Request::pathSegment(password.id()),
                                   password.toJson()),
            session, std::move(callback));
}

QList<qint64> PasswordRI::readIdList(const QJsonArray &array)
{
    QList<qint64> ids;
    ids.reserve(array.size());
    for (const QJsonValue &value : array) {
        qint64 id = 0;
        if (value.isDouble()) {
            const QVariant variant = value.toVariant();
            if (variant.userType() == QMetaType::LongLong) {
                id = variant.toLongLong();
            } else {
                const double d = std::trunc(value.toDouble());
                if (d >= -9223372036854775808.0 && d < 9223372036854775808.0) {
                    id = qint64(d);
                }
            }
        }
        ids.append(id);
    }
    return ids;
}

void PasswordRI::checkBreached(SinglePasswordTO password, ResultCallback<QList<qint64>> callback)
{
    const QJsonObject body{{QStringLiteral("password"), password.password()},
                           {QStringLiteral("transportIv"), password.transportIv()}};
    Request *request = Request::createPostJson(basePath() + QStringLiteral("/breached"), QJsonDocument(body));
    const auto readIds = [](const QJsonObject &data, QList<qint64> &ids, QString &errorText) {
        bool ok = false;
        const QJsonArray array = JsonUtil::getArray(data, QStringLiteral("password-ids"), true, &ok, &errorText);
        if (ok) {
            ids = readIdList(array);
        }
        return ok;
    };
    sendJsonRequest<QList<qint64>>(request, session, readIds, std::move(callback));
}
