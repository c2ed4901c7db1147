#include "db/SyncHistoryDao.h"

#include "core/MessageHandler.h"
#include "core/StringUtil.h"
#include "db/R7Database.h"
#include "net/R7Session.h"
#include "sync/SyncAction.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

qint64 currentUserId()
{
    return R7Session::instance()->userId();
}

QDateTime readTime(const QVariant &value)
{
    return value.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(value.toLongLong());
}

void bindRow(QSqlQuery &query, const SyncAction *action, qint64 historyId)
{
    query.bindValue(QStringLiteral(":sync_history_id"), historyId);
    query.bindValue(QStringLiteral(":local_dir"), action->localFilePath());
    query.bindValue(QStringLiteral(":remote_dir"), action->displayPath());
    query.bindValue(QStringLiteral(":type"), action->type());
    query.bindValue(QStringLiteral(":state"), action->status());
    query.bindValue(QStringLiteral(":action"), action->action());
    query.bindValue(QStringLiteral(":timestamp"), QDateTime::currentMSecsSinceEpoch());
}

} // namespace

SyncHistoryDao::SyncHistoryDao()
    : QObject(nullptr)
{}

SyncHistoryDao *SyncHistoryDao::instance()
{
    static SyncHistoryDao *s_instance = nullptr;
    if (!s_instance) {
        s_instance = new SyncHistoryDao();
        qDebug("SyncHistoryDao::instance: new SyncHistoryDao %p", static_cast<void *>(s_instance));
    }
    return s_instance;
}

SyncHistory SyncHistoryDao::startSync(qint64 startTimeMs)
{
    QSqlQuery query;
    query.prepare(
            QStringLiteral("INSERT INTO sync_history (start_time, state, user_id) VALUES (:start, :state, :user_id)"));
    query.bindValue(QStringLiteral(":start"), startTimeMs > 0 ? startTimeMs : QDateTime::currentMSecsSinceEpoch());
    query.bindValue(QStringLiteral(":state"), int(SyncHistory::Running));
    query.bindValue(QStringLiteral(":user_id"), currentUserId());
    const qint64 id = R7Database::execQuery(query) ? query.lastInsertId().toLongLong() : 0;
    qDebug("SyncHistoryDao::startSync: created sync_history histid:%lld", id);
    return SyncHistory(id, SyncHistory::Running);
}

bool SyncHistoryDao::endSync(qint64 historyId, int state)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE sync_history SET state = :state, end_time = :end  WHERE id = :historyId"));
    query.bindValue(QStringLiteral(":state"), state);
    query.bindValue(QStringLiteral(":end"), QDateTime::currentMSecsSinceEpoch());
    query.bindValue(QStringLiteral(":historyId"), historyId);
    int changed = 0;
    return R7Database::execQuery(query) && R7Database::changes(&changed) && changed == 1;
}

bool SyncHistoryDao::cancelSync(qint64 historyId)
{
    return endSync(historyId, SyncHistory::Cancelled);
}

bool SyncHistoryDao::finishSync(qint64 historyId)
{
    return endSync(historyId, SyncHistory::Finished);
}

int SyncHistoryDao::closeInterruptedRuns()
{
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE sync_history SET state = :cancelled, end_time = :end WHERE state = :running "
                                 "AND user_id = :user_id"));
    query.bindValue(QStringLiteral(":cancelled"), int(SyncHistory::Cancelled));
    query.bindValue(QStringLiteral(":end"), QDateTime::currentMSecsSinceEpoch());
    query.bindValue(QStringLiteral(":running"), int(SyncHistory::Running));
    query.bindValue(QStringLiteral(":user_id"), currentUserId());
    const int closed = R7Database::execQuery(query) ? query.numRowsAffected() : 0;
    if (closed > 0)
        qWarning("SyncHistoryDao::closeInterruptedRuns: %d interrupted runs closed", closed);
    return closed;
}

SyncHistory SyncHistoryDao::lastSync()
{
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT id, start_time, end_time, state FROM sync_history WHERE user_id = :user_id "
                                 "AND state = :state AND end_time IS NOT NULL ORDER BY end_time DESC LIMIT 1"));
    query.bindValue(QStringLiteral(":user_id"), currentUserId());
    query.bindValue(QStringLiteral(":state"), int(SyncHistory::Finished));
    if (!R7Database::execQuery(query) || !query.next())
        return SyncHistory();
    return SyncHistory(query.value(0).toLongLong(), readTime(query.value(1)), readTime(query.value(2)),
                       query.value(3).toInt());
}

QList<SyncHistoryObject> SyncHistoryDao::loadHistory(const QDateTime &from, const QDateTime &to)
{
    QList<SyncHistoryObject> rows;
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
            "SELECT sho.id, sho.sync_history_id, sho.local_dir, sho.remote_dir, sho.type, sho.state, sho.action, "
            "sho.timestamp FROM sync_history_object AS sho JOIN sync_history AS sh ON sh.id = sho.sync_history_id "
            "WHERE sh.user_id = :user_id AND sh.start_time <= :toDate AND sh.start_time >= :fromDate AND sho.action "
            ">= :firstWork ORDER BY sho.timestamp DESC"));
    query.bindValue(QStringLiteral(":user_id"), currentUserId());
    query.bindValue(QStringLiteral(":toDate"), to.toMSecsSinceEpoch());
    query.bindValue(QStringLiteral(":fromDate"), from.toMSecsSinceEpoch());
    query.bindValue(QStringLiteral(":firstWork"), int(SyncAction::Resolve));
    if (!R7Database::execQuery(query))
        return rows;
    while (query.next()) {
        rows << SyncHistoryObject(query.value(0).toLongLong(), query.value(1).toLongLong(), query.value(2).toString(),
                                  query.value(3).toString(), query.value(4).toString(), query.value(5).toInt(),
                                  query.value(6).toInt(), readTime(query.value(7)));
    }
    return rows;
}

qint64 SyncHistoryDao::storeSyncHistoryObject(const SyncAction *action, qint64 historyId)
{
    // Once per executed action: prepared once, and its line built only when it is written.
    QSqlQuery &query = R7Database::instance()->preparedQuery(QStringLiteral(
            "INSERT INTO sync_history_object (sync_history_id, local_dir, remote_dir, type, state, action, timestamp) "
            "VALUES (:sync_history_id, :local_dir, :remote_dir, :type, :state, :action, :timestamp);"));
    bindRow(query, action, historyId);
    const qint64 id = R7Database::execQuery(query) ? query.lastInsertId().toLongLong() : 0;
    query.finish();
    if (isDebugLogged())
        qDebug("SyncHistoryDao::storeSyncHistoryObject: oid:%lld histid:%lld action:%s status:%s path: '%s'", id,
               historyId, qUtf8Printable(action->actionTypeName()), qUtf8Printable(action->statusName()),
               qUtf8Printable(StringUtil::escapeNonPrintable(action->relPath())));
    return id;
}

bool SyncHistoryDao::updateSyncHistoryObject(const SyncAction *action, qint64 historyId)
{
    const qint64 rowId = action->syncHistoryObjectId();
    const QString path = StringUtil::escapeNonPrintable(action->relPath());
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE sync_history_object SET action = :action, state = :state , timestamp = "
                                 ":timestamp WHERE id = :sho_id AND sync_history_id = :sync_history_id AND local_dir "
                                 "= :local_dir AND remote_dir = :remote_dir AND type = :type ;"));
    bindRow(query, action, historyId);
    query.bindValue(QStringLiteral(":sho_id"), rowId);

    R7Database *database = R7Database::instance();
    const bool began = database->transaction();
    if (!began || !database->exec(query)) {
        if (began)
            database->rollback();
        qWarning("SyncHistoryDao::updateSyncHistoryObject: exec query failed: oid:%lld histid:%lld action:%s "
                 "status:%s path: '%s'",
                 rowId, historyId, qUtf8Printable(action->actionTypeName()), qUtf8Printable(action->statusName()),
                 qUtf8Printable(path));
        return false;
    }
    const int changed = query.numRowsAffected();
    if (changed != 1) {
        database->rollback();
        qWarning("SyncHistoryDao::updateSyncHistoryObject: too many rows #%d affected: oid:%lld histid:%lld "
                 "action:%s status:%s path: '%s'",
                 changed, rowId, historyId, qUtf8Printable(action->actionTypeName()),
                 qUtf8Printable(action->statusName()), qUtf8Printable(path));
        return false;
    }
    if (!database->commit()) {
        database->rollback();
        return false;
    }
    if (isDebugLogged())
        qDebug("SyncHistoryDao::updateSyncHistoryObject: oid:%lld histid:%lld action:%s status:%s path: '%s'", rowId,
               historyId, qUtf8Printable(action->actionTypeName()), qUtf8Printable(action->statusName()),
               qUtf8Printable(path));
    return true;
}
