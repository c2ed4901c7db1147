#include "db/FileSafeDao.h"

#include "db/R7Database.h"
#include "net/FilesafeRI.h"
#include "net/R7Session.h"

#include <QPointer>
#include <QSet>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

namespace {
// SyncSetting::RemoteState: the safe is gone on the service.
constexpr int kRemoteSafeGone = 1;

const char kSelectSafe[] = "SELECT safe_id, safe_name, safe_type, access, storage_quota, storage_used, has_trash, "
                           "root_folder_id, role_type, last_event FROM file_safe ";

qint64 currentUserId()
{
    return R7Session::instance()->userId();
}

FilesafeTO_v2 readSafe(const QSqlQuery &query)
{
    FilesafeTO_v2 safe;
    safe.safeId = query.value(0).toString();
    safe.name = query.value(1).toString();
    safe.type = query.value(2).toString();
    safe.access = query.value(3).toString();
    safe.storageQuota = query.value(4).toLongLong();
    safe.storageUsed = query.value(5).toLongLong();
    safe.hasTrash = query.value(6).toBool();
    safe.rootFolderId = query.value(7).toString();
    safe.roleType = query.value(8).toInt();
    safe.lastEvent = query.value(9).toString();
    return safe;
}

// The values an inserted and an updated row share; the type is written on insertion only.
void bindSafe(QSqlQuery &query, const FilesafeTO_v2 &safe)
{
    query.bindValue(QStringLiteral(":safe_id"), safe.safeId);
    query.bindValue(QStringLiteral(":safe_name"), safe.name);
    query.bindValue(QStringLiteral(":access"), safe.access);
    query.bindValue(QStringLiteral(":storage_quota"), safe.storageQuota);
    query.bindValue(QStringLiteral(":storage_used"), safe.storageUsed);
    query.bindValue(QStringLiteral(":has_trash"), safe.hasTrash ? 1 : 0);
    query.bindValue(QStringLiteral(":user_id"), currentUserId());
    query.bindValue(QStringLiteral(":root_folder_id"), safe.rootFolderId);
    query.bindValue(QStringLiteral(":role_type"), safe.roleType);
    query.bindValue(QStringLiteral(":last_event"), safe.lastEvent);
    query.bindValue(QStringLiteral(":expiry_date"), safe.expiryDate);
}
} // namespace

FileSafeDao::FileSafeDao(const AppInfo *appInfo, FilesafeRI *filesafeRI, QObject *parent)
    : QObject(parent)
    , m_appInfo(appInfo)
    , m_filesafeRI(filesafeRI)
{
    qRegisterMetaType<QList<FilesafeTO_v2>>();
}

void FileSafeDao::add(const FilesafeTO_v2 &safe)
{
    QSqlQuery query;
    query.prepare(QStringLiteral(
            "INSERT INTO file_safe (safe_id, safe_name, safe_type, access, storage_quota, storage_used, has_trash, "
            "user_id, root_folder_id, role_type, last_event, expiry_date) VALUES (:safe_id, :safe_name, :safe_type, "
            ":access, :storage_quota, :storage_used, :has_trash, :user_id, :root_folder_id, :role_type, :last_event, "
            ":expiry_date)"));
    bindSafe(query, safe);
    query.bindValue(QStringLiteral(":safe_type"), safe.type);
    R7Database::execQuery(query);
}

void FileSafeDao::update(const FilesafeTO_v2 &safe)
{
    QSqlQuery query;
    // The type stays the one the safe was inserted with.
    query.prepare(QStringLiteral(
            "UPDATE file_safe SET safe_name = :safe_name, access = :access, storage_quota = :storage_quota, "
            "storage_used = :storage_used, has_trash = :has_trash, root_folder_id = :root_folder_id, role_type = "
            ":role_type, last_event = :last_event, expiry_date = :expiry_date WHERE user_id = :user_id AND "
            "safe_id = :safe_id"));
    bindSafe(query, safe);
    R7Database::execQuery(query);
    query.clear();

    // Whole-safe settings migrated from before root folder ids hold "0": give them the real one.
    query.prepare(QStringLiteral(
            "UPDATE sync_setting SET root_folder_id = (SELECT fs.root_folder_id FROM file_safe AS fs WHERE fs.id = "
            "sync_setting.file_safe_id) WHERE remote_dir = '/' AND root_folder_id = '0' AND file_safe_id IN "
            "(SELECT id FROM file_safe WHERE safe_id = :safe_id AND user_id = :user_id)"));
    query.bindValue(QStringLiteral(":safe_id"), safe.safeId);
    query.bindValue(QStringLiteral(":user_id"), currentUserId());
    R7Database::execQuery(query);
}

void FileSafeDao::remove(const FilesafeTO_v2 &safe)
{
    const qint64 userId = currentUserId();
    QSqlQuery query;
    // IN, not "=": every setting of the safe loses its synchronised state, not only the first.
    query.prepare(QStringLiteral(
            "DELETE FROM fs_object WHERE setting_id IN (SELECT s.id FROM sync_setting AS s JOIN file_safe AS f ON "
            "f.id = s.file_safe_id WHERE f.safe_id = :safe_id AND f.user_id = :user_id)"));
    query.bindValue(QStringLiteral(":safe_id"), safe.safeId);
    query.bindValue(QStringLiteral(":user_id"), userId);
    R7Database::execQuery(query);
    query.clear();

    query.prepare(QStringLiteral("UPDATE sync_setting SET remote_state = :remote_state WHERE file_safe_id IN "
                                 "(SELECT id FROM file_safe WHERE safe_id = :safe_id AND user_id = :user_id)"));
    query.bindValue(QStringLiteral(":remote_state"), kRemoteSafeGone);
    query.bindValue(QStringLiteral(":safe_id"), safe.safeId);
    query.bindValue(QStringLiteral(":user_id"), userId);
    R7Database::execQuery(query);
    query.clear();

    // NOT EXISTS rather than NOT IN: one setting with a NULL file_safe_id would make NOT IN never true.
    query.prepare(QStringLiteral("DELETE FROM file_safe WHERE safe_id = :safe_id AND user_id = :user_id AND NOT EXISTS "
                                 "(SELECT 1 FROM sync_setting AS s WHERE s.file_safe_id = file_safe.id)"));
    query.bindValue(QStringLiteral(":safe_id"), safe.safeId);
    query.bindValue(QStringLiteral(":user_id"), userId);
    R7Database::execQuery(query);
}

FilesafeTO_v2 FileSafeDao::get(const QString &safeId)
{
    QSqlQuery query;
    query.prepare(QLatin1String(kSelectSafe) + QStringLiteral("WHERE user_id = :user_id AND safe_id = :safe_id"));
    query.bindValue(QStringLiteral(":user_id"), currentUserId());
    query.bindValue(QStringLiteral(":safe_id"), safeId);
    FilesafeTO_v2 safe;
    if (R7Database::execQuery(query)) {
        while (query.next()) {
            safe = readSafe(query);
        }
    }
    return safe;
}

QList<FilesafeTO_v2> FileSafeDao::list()
{
    QSqlQuery query;
    query.prepare(QLatin1String(kSelectSafe) + QStringLiteral("WHERE user_id = :user_id ORDER BY safe_name"));
    query.bindValue(QStringLiteral(":user_id"), currentUserId());
    QList<FilesafeTO_v2> safes;
    if (R7Database::execQuery(query)) {
        while (query.next()) {
            safes.append(readSafe(query));
        }
    }
    return safes;
}

void FileSafeDao::updateFileSafes(ResultCallback<Nothing> callback)
{
    QPointer<FileSafeDao> self(this);
    m_filesafeRI->getFilesafes([self, callback](const Result<FilesafesTO_v2> &result) {
        if (self) {
            self->syncFileSafes(result, callback);
        }
    });
}

void FileSafeDao::syncFileSafes(const Result<FilesafesTO_v2> &result, const ResultCallback<Nothing> &callback)
{
    if (result.code() != EC_OK) {
        qDebug("FileSafeDao::syncFileSafes: failed to retrieve file safes %s", qUtf8Printable(result.message()));
        // Whoever waits for the refresh (a sign-in, a synchronisation run) must hear of the failure.
        if (callback) {
            callback(EmptyResult(result.code(), result.message()));
        }
        return;
    }
    const QList<FilesafeTO_v2> &listed = result.payload().filesafes;
    qDebug("FileSafeDao::syncFileSafes: Received filesafe list (%d rows)", int(listed.size()));

    QList<FilesafeTO_v2> stored = list();
    QList<FilesafeTO_v2> found;
    QSet<QString> seen;
    for (const FilesafeTO_v2 &safe : listed) {
        const bool known =
                seen.contains(safe.safeId) ||
                std::any_of(stored.cbegin(), stored.cend(), [&safe](const FilesafeTO_v2 &s) { return s == safe; });
        if (known) {
            update(safe);
        } else {
            // A listing that names one safe twice must not store it twice.
            add(safe);
            found.append(safe);
        }
        seen.insert(safe.safeId);
        stored.erase(std::remove(stored.begin(), stored.end(), safe), stored.end());
    }
    for (const FilesafeTO_v2 &gone : qAsConst(stored)) {
        remove(gone);
    }
    if (!found.isEmpty()) {
        emit newFileSafesFound(found);
    }
    if (callback) {
        callback(EmptyResult());
    }
}
