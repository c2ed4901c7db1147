#include "db/FileObjectDao.h"

#include "core/MessageHandler.h"
#include "core/StringUtil.h"
#include "db/FileObjectCursor.h"
#include "db/R7Database.h"

#include <QSqlQuery>
#include <QVariant>

#include <limits>

namespace {

const QString kSelect = QStringLiteral(
        "SELECT object_id, path, size, local_mtime, remote_mtime, type, checksum FROM fs_object WHERE setting_id = "
        ":settingsId");

// A time that was not known is stored as NULL and read back as unknown, not as the epoch.
QVariant timeValue(const QDateTime &time)
{
    return time.isValid() ? QVariant(time.toMSecsSinceEpoch()) : QVariant(QVariant::LongLong);
}

// In UTC: the same instant as local time, without a time-zone look-up for every row of a setting.
QDateTime readTime(const QVariant &value)
{
    return value.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(value.toLongLong(), Qt::UTC);
}

FsObject readEntry(const QSqlQuery &query)
{
    return FsObject(query.value(0).toString(), query.value(1).toString(), query.value(2).toLongLong(),
                    readTime(query.value(3)), readTime(query.value(4)), QString(), query.value(5).toString(),
                    query.value(6).toString());
}

} // namespace

FileObjectDao::FileObjectDao()
    : QObject(nullptr)
{}

FileObjectDao *FileObjectDao::instance()
{
    static FileObjectDao *s_instance = new FileObjectDao();
    return s_instance;
}

QHash<QString, FsObject> FileObjectDao::loadAll(qint64 settingId, int *files, int *dirs)
{
    QHash<QString, FsObject> objects;
    int fileCount = 0;
    int dirCount = 0;
    FileObjectCursor rows(settingId);
    rows.read(std::numeric_limits<int>::max(), [&](const FsObject &object) {
        const auto it = objects.find(object.path());
        if (it != objects.end()) {
            fileCount -= it->isFile();
            dirCount -= it->isDir();
            objects.erase(it);
        }
        objects.insert(object.path(), object);
        fileCount += object.isFile();
        dirCount += object.isDir();
    });
    // Nothing of a load that failed on its way: the caller must not take part of a state for all.
    if (rows.state() == FileObjectCursor::Failed) {
        objects.clear();
        fileCount = dirCount = 0;
    }
    if (files)
        *files = fileCount;
    if (dirs)
        *dirs = dirCount;
    return objects;
}

const QString &FileObjectDao::loadAllStatement()
{
    return kSelect;
}

FsObject FileObjectDao::loadByPath(qint64 settingId, const QString &path)
{
    QSqlQuery &query = R7Database::instance()->preparedQuery(kSelect + QStringLiteral(" AND path = :path"));
    query.bindValue(QStringLiteral(":settingsId"), settingId);
    query.bindValue(QStringLiteral(":path"), path);
    FsObject object;
    if (R7Database::execQuery(query) && query.next())
        object = readEntry(query);
    query.finish();
    return object;
}

bool FileObjectDao::remove(const QString &path, qint64 settingId)
{
    QSqlQuery &query = R7Database::instance()->preparedQuery(
            QStringLiteral("DELETE FROM fs_object WHERE setting_id = :setting_id AND path = :path"));
    query.bindValue(QStringLiteral(":setting_id"), settingId);
    query.bindValue(QStringLiteral(":path"), path);
    const bool ok = R7Database::execQuery(query);
    query.finish();
    return ok;
}

bool FileObjectDao::store(const FsObject &object, qint64 settingId)
{
    QSqlQuery &query = R7Database::instance()->preparedQuery(QStringLiteral(
            "INSERT INTO fs_object (object_id, path, setting_id, checksum, local_mtime, remote_mtime, type, size) "
            "VALUES (:object_id, :path, :setting_id, :checksum, :local_mtime, :remote_mtime, :type, :size)"));
    query.bindValue(QStringLiteral(":object_id"), object.objectId());
    query.bindValue(QStringLiteral(":path"), object.path());
    query.bindValue(QStringLiteral(":setting_id"), settingId);
    query.bindValue(QStringLiteral(":checksum"), object.checksum());
    query.bindValue(QStringLiteral(":local_mtime"), timeValue(object.localMtime()));
    query.bindValue(QStringLiteral(":remote_mtime"), timeValue(object.remoteMtime()));
    query.bindValue(QStringLiteral(":type"), object.type());
    query.bindValue(QStringLiteral(":size"), object.size());
    const bool ok = R7Database::execQuery(query);
    // Written once per file of a run: build the line only when it is wanted.
    if (ok && isDebugLogged())
        qDebug("FileObjectDao::store: insert into fs_object: oid:%lld syncsettings[s%lld] path:'%s'",
               query.lastInsertId().toLongLong(), settingId,
               StringUtil::escapeNonPrintable(object.path()).toLocal8Bit().constData());
    query.finish();
    return ok;
}
