#include "db/SyncSettingsDao.h"

#include "core/StringUtil.h"
#include "db/R7Database.h"
#include "net/R7Session.h"

#include <QDir>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString kColumns = QStringLiteral(
        "SELECT s.id, f.safe_id, f.safe_name, f.safe_type, s.remote_dir, s.local_dir, s.last_sync, s.mode, "
        "s.remote_state, s.root_folder_id, f.role_type, s.synced_last_event, f.expiry_date, f.access ");

SyncSetting readSetting(const QSqlQuery &query)
{
    SyncSetting setting;
    setting.setId(query.value(0).toLongLong());
    setting.setSafeId(query.value(1).toString());
    setting.setSafeName(query.value(2).toString());
    setting.setSafeType(query.value(3).toString());
    setting.setRemoteDir(query.value(4).toString());
    setting.setLocalDir(query.value(5).toString());
    setting.setLastSync(QDateTime::fromMSecsSinceEpoch(query.value(6).toLongLong()));
    setting.setMode(query.value(7).toInt());
    setting.setRemoteState(query.value(8).toInt());
    setting.setRootFolderId(query.value(9).toString());
    setting.setRoleType(query.value(10).toInt());
    setting.setSyncedLastEvent(query.value(11).toString());
    setting.setExpiryDate(query.value(12).toString());
    setting.setAccess(query.value(13).toString());
    return setting;
}

QStringList readColumn(QSqlQuery &query)
{
    QStringList values;
    if (R7Database::execQuery(query)) {
        while (query.next())
            values << query.value(0).toString();
    }
    return values;
}

} // namespace

SyncSettingsDao::SyncSettingsDao()
    : QObject(nullptr)
{}

SyncSettingsDao *SyncSettingsDao::instance()
{
    static SyncSettingsDao *s_instance = new SyncSettingsDao();
    return s_instance;
}

QString SyncSettingsDao::normalizedLocalDir(const QString &localDir)
{
    QString dir = QDir::fromNativeSeparators(localDir);
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

bool SyncSettingsDao::add(const SyncSetting &setting)
{
    QSqlQuery query;
    // The safe's row is looked up inside the statement; without one nothing is inserted.
    query.prepare(QStringLiteral(
            "INSERT INTO sync_setting (file_safe_id, remote_dir, local_dir, mode, remote_state, root_folder_id) "
            "SELECT f.id, :remote_dir, :local_dir, :mode, :remote_state, :root_folder_id FROM file_safe AS f WHERE "
            "f.safe_id = :safe_id AND f.user_id = :user_id ORDER BY f.id LIMIT 1"));
    query.bindValue(QStringLiteral(":safe_id"), setting.safeId());
    query.bindValue(QStringLiteral(":remote_dir"), setting.remoteDir());
    query.bindValue(QStringLiteral(":root_folder_id"), setting.rootFolderId());
    query.bindValue(QStringLiteral(":local_dir"), normalizedLocalDir(setting.localDir()));
    query.bindValue(QStringLiteral(":mode"), setting.mode());
    query.bindValue(QStringLiteral(":user_id"), R7Session::instance()->userId());
    query.bindValue(QStringLiteral(":remote_state"), setting.remoteState());
    if (!R7Database::execQuery(query)) {
        qWarning("SyncSettingsDao::add: query failed: %s", query.lastQuery().toLocal8Bit().constData());
        return false;
    }
    if (query.numRowsAffected() != 1) {
        qWarning("SyncSettingsDao::add: no file safe %s (%s) for user %lld: setting not added",
                 qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeId())),
                 qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeName())), R7Session::instance()->userId());
        return false;
    }
    qDebug("SyncSettingsDao::add: new setting for safe %s (%s)",
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeId())),
           qUtf8Printable(StringUtil::escapeNonPrintable(setting.safeName())));
    emit settingsChanged();
    return true;
}

SyncSetting SyncSettingsDao::get(qint64 settingId)
{
    QSqlQuery query;
    query.prepare(kColumns + QStringLiteral("FROM file_safe AS f JOIN sync_setting AS s ON s.file_safe_id = f.id "
                                            "WHERE s.id = :setting_id"));
    query.bindValue(QStringLiteral(":setting_id"), settingId);
    if (!R7Database::execQuery(query) || !query.next())
        return SyncSetting();
    return readSetting(query);
}

QStringList SyncSettingsDao::getAllLocalDirs()
{
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT local_dir FROM sync_setting"));
    return readColumn(query);
}

QStringList SyncSettingsDao::getLocalDirs()
{
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT ss.local_dir FROM sync_setting AS ss JOIN file_safe AS f ON "
                                 "ss.file_safe_id = f.id WHERE f.user_id = :user_id"));
    query.bindValue(QStringLiteral(":user_id"), R7Session::instance()->userId());
    return readColumn(query);
}

QList<DuplicatedSyncPath> SyncSettingsDao::getDuplicatedSynchedPaths(const QString &localDir)
{
    QList<DuplicatedSyncPath> duplicates;
    QString proposed = QDir::cleanPath(QDir::fromNativeSeparators(localDir));
    if (!proposed.endsWith(QLatin1Char('/')))
        proposed += QLatin1Char('/');
    // A stored folder is compared with its trailing "/" too, so that /a/b and /a/bc never overlap.
    QSqlQuery query;
    query.prepare(QStringLiteral(
            "SELECT u.account_name, fs.safe_name, ss.local_dir, ss.id FROM sync_setting AS ss LEFT JOIN file_safe AS "
            "fs ON fs.id = ss.file_safe_id LEFT JOIN user AS u ON u.id = fs.user_id WHERE instr(:new_local_path, "
            "CASE WHEN substr(ss.local_dir, -1) = '/' THEN ss.local_dir ELSE ss.local_dir || '/' END) == 1 OR "
            "instr(CASE WHEN substr(ss.local_dir, -1) = '/' THEN ss.local_dir ELSE ss.local_dir || '/' END, "
            ":new_local_path) == 1"));
    query.bindValue(QStringLiteral(":new_local_path"), proposed);
    if (!R7Database::execQuery(query))
        return duplicates;
    while (query.next()) {
        const QString stored = query.value(2).toString();
        qDebug("SyncSettingsDao::getDuplicatedSynchedPaths: stored path: '%s'",
               qUtf8Printable(StringUtil::escapeNonPrintable(stored)));
        duplicates << DuplicatedSyncPath(query.value(0).toString(), query.value(1).toString(), stored,
                                         query.value(3).toLongLong());
    }
    return duplicates;
}

QList<SyncSetting> SyncSettingsDao::getList(bool currentUserOnly, bool autoSyncOnly)
{
    QList<SyncSetting> settings;
    const QString userFilter = currentUserOnly ? QStringLiteral("AND f.user_id = :user_id AND u.account_name = "
                                                                ":account_name AND u.server_id = :server_id")
                                               : QString();
    const QString modeFilter = autoSyncOnly ? QStringLiteral("AND s.mode = 0") : QString();
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(kColumns + QStringLiteral("FROM file_safe AS f JOIN sync_setting AS s ON s.file_safe_id = f.id "
                                            "JOIN user AS u ON u.id = f.user_id WHERE 1 %1 %2 ORDER BY f.safe_name")
                                     .arg(userFilter, modeFilter));
    if (currentUserOnly) {
        R7Session *session = R7Session::instance();
        query.bindValue(QStringLiteral(":user_id"), session->userId());
        query.bindValue(QStringLiteral(":account_name"), session->userName());
        query.bindValue(QStringLiteral(":server_id"), session->serverKey());
        qDebug("SyncSettingsDao::list: server: '%s' userid: %lld username: '%s'",
               qUtf8Printable(StringUtil::escapeNonPrintable(session->serverKey())), session->userId(),
               qUtf8Printable(StringUtil::escapeNonPrintable(session->userName())));
    }
    if (R7Database::execQuery(query)) {
        while (query.next())
            settings << readSetting(query);
    } else {
        qWarning("SyncSettingsDao::list: query failed: %s", "failed");
    }
    qDebug("SyncSettingsDao::getList: loaded %d entries (%s)", int(settings.size()), autoSyncOnly ? "autosync" : "all");
    return settings;
}

bool SyncSettingsDao::remove(qint64 settingId)
{
    R7Database *database = R7Database::instance();
    if (!database->transaction())
        return false;
    int count = 0;
    QSqlQuery query;
    query.prepare(QStringLiteral("DELETE FROM fs_object WHERE setting_id = :setting_id"));
    query.bindValue(QStringLiteral(":setting_id"), settingId);
    bool ok = database->exec(query) && R7Database::changes(&count);
    query.clear();
    if (ok) {
        query.prepare(QStringLiteral("DELETE FROM sync_setting WHERE id = :setting_id"));
        query.bindValue(QStringLiteral(":setting_id"), settingId);
        ok = database->exec(query) && R7Database::changes(&count) && count > 0;
    }
    if (!ok) {
        database->rollback();
        return false;
    }
    if (!database->commit()) {
        database->rollback();
        return false;
    }
    emit settingsChanged();
    return true;
}

bool SyncSettingsDao::removeAll()
{
    R7Database *database = R7Database::instance();
    if (!database->transaction())
        return false;
    int count = 0;
    QSqlQuery query;
    // No file state at all is no failure: a setting that never ran owns none.
    bool ok = query.prepare(QStringLiteral("DELETE FROM fs_object")) && database->exec(query) &&
              R7Database::changes(&count);
    query.clear();
    ok = ok && query.prepare(QStringLiteral("DELETE FROM sync_setting")) && database->exec(query) &&
         R7Database::changes(&count);
    if (!ok || !database->commit()) {
        database->rollback();
        return false;
    }
    emit settingsChanged();
    return true;
}

bool SyncSettingsDao::updateLastSync(qint64 settingId, const QString &lastEvent)
{
    QSqlQuery query;
    query.prepare(QStringLiteral(
            "UPDATE sync_setting SET last_sync = :lastSync, synced_last_event = :lastEvent WHERE id=:setting_id"));
    query.bindValue(QStringLiteral(":setting_id"), settingId);
    query.bindValue(QStringLiteral(":lastSync"), QDateTime::currentMSecsSinceEpoch());
    query.bindValue(QStringLiteral(":lastEvent"), lastEvent);
    R7Database::execQuery(query);
    return true;
}

void SyncSettingsDao::setMode(qint64 settingId, int mode)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE sync_setting SET mode = :mode WHERE id = :setting_id"));
    query.bindValue(QStringLiteral(":mode"), mode);
    query.bindValue(QStringLiteral(":setting_id"), settingId);
    R7Database::execQuery(query);
}

void SyncSettingsDao::setRemoteState(qint64 settingId, SyncSetting::RemoteState remoteState)
{
    if (get(settingId).remoteState() == remoteState)
        return;
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE sync_setting SET remote_state = :remote_state WHERE id = :setting_id"));
    query.bindValue(QStringLiteral(":remote_state"), int(remoteState));
    query.bindValue(QStringLiteral(":setting_id"), settingId);
    R7Database::execQuery(query);
    emit remoteStateChanged(settingId, remoteState);
}

void SyncSettingsDao::setRootFolderId(qint64 settingId, const QString &rootFolderId)
{
    if (get(settingId).rootFolderId() == rootFolderId)
        return;
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE sync_setting SET root_folder_id = :root_folder_id WHERE id = :setting_id"));
    query.bindValue(QStringLiteral(":root_folder_id"), rootFolderId);
    query.bindValue(QStringLiteral(":setting_id"), settingId);
    R7Database::execQuery(query);
}
