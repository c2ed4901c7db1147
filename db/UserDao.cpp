#include "db/UserDao.h"

#include "db/R7Database.h"

#include <QSqlQuery>
#include <QVariant>

UserDao::UserDao()
    : QObject(nullptr)
{}

UserDao *UserDao::instance()
{
    static UserDao *s_instance = new UserDao();
    return s_instance;
}

User UserDao::storeLogin(const QString &accountName, const QString &serverId)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QSqlQuery query;
    query.prepare(
            QStringLiteral("SELECT   id,   server_id,   account_name,   last_login FROM user WHERE account_name = "
                           ":account_name AND server_id =:server_id"));
    query.bindValue(QStringLiteral(":account_name"), accountName);
    query.bindValue(QStringLiteral(":server_id"), serverId);
    const bool found = R7Database::execQuery(query) && query.next();
    if (found) {
        const qint64 id = query.value(0).toLongLong();
        query.finish();
        query.prepare(QStringLiteral("UPDATE user SET last_login = :last_login WHERE id = :id"));
        query.bindValue(QStringLiteral(":last_login"), now);
        query.bindValue(QStringLiteral(":id"), id);
    } else {
        query.finish();
        query.prepare(QStringLiteral("INSERT INTO user (  server_id,   account_name,   last_login) VALUES (  "
                                     ":server_id,   :account_name,   :last_login)"));
        query.bindValue(QStringLiteral(":server_id"), serverId);
        query.bindValue(QStringLiteral(":account_name"), accountName);
        query.bindValue(QStringLiteral(":last_login"), now);
    }
    R7Database::execQuery(query);

    query.prepare(
            QStringLiteral("SELECT   id,   account_name,   server_id,   last_login FROM user WHERE account_name = "
                           ":account_name AND server_id =:server_id"));
    query.bindValue(QStringLiteral(":account_name"), accountName);
    query.bindValue(QStringLiteral(":server_id"), serverId);
    if (!R7Database::execQuery(query) || !query.next())
        return User();
    return User(query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
                QDateTime::fromMSecsSinceEpoch(query.value(3).toLongLong()));
}
