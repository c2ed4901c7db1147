#include "db/R7Database.h"

#include "core/AppInfo.h"
#include "core/PrivateFiles.h"
#include "core/StringUtil.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QVariant>

const char *const R7Database::SchemaVersion = "1.0.1";

namespace {

R7Database *s_instance = nullptr;

struct TableDefinition
{
    const char *name;
    const char *create;
};

// Creation order matters only for readability of the file; every table is checked on each start.
const TableDefinition kTables[] = {
        {"db_info", "create table db_info (id INTEGER PRIMARY KEY, db_version TEXT, device_id TEXT, device_name "
                    "TEXT, creation_time TEXT)"},
        {"file_safe", "create table file_safe (id INTEGER PRIMARY KEY AUTOINCREMENT, user_id INTEGER, safe_id TEXT, "
                      "safe_name TEXT, safe_type TEXT, access TEXT, storage_quota INTEGER, storage_used INTEGER, "
                      "has_trash INTEGER, root_folder_id TEXT, role_type INTEGER, last_event TEXT, expiry_date TEXT)"},
        {"user", "create table user (id INTEGER PRIMARY KEY AUTOINCREMENT, server_id TEXT, account_name TEXT, "
                 "last_login INTEGER)"},
        {"fs_object", "create table fs_object (id INTEGER PRIMARY KEY AUTOINCREMENT, setting_id INTEGER, path TEXT, "
                      "checksum TEXT, local_mtime INTEGER, remote_mtime INTEGER, type TEXT, size INTEGER, object_id "
                      "TEXT)"},
        {"sync_history", "create table sync_history (id INTEGER PRIMARY KEY AUTOINCREMENT, start_time INTEGER, "
                         "end_time INTEGER, state INTEGER, user_id INTEGER)"},
        {"sync_setting", "CREATE TABLE sync_setting (id INTEGER PRIMARY KEY AUTOINCREMENT, file_safe_id INTEGER, "
                         "remote_dir TEXT, local_dir TEXT, last_sync INTEGER, mode INTEGER, remote_state INTEGER, "
                         "root_folder_id TEXT, synced_last_event TEXT)"},
        {"sync_history_object", "CREATE TABLE sync_history_object (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                "sync_history_id INTEGER, local_dir TEXT, remote_dir TEXT, type TEXT, state INTEGER, "
                                "action INTEGER, timestamp INTEGER)"},
};

const char *const kUserTable = kTables[2].create;

const char *const kTimestampIndex =
        "CREATE INDEX IF NOT EXISTS sync_history_object_timestamp ON sync_history_object(timestamp)";

// Every state write and upload looks a row up by setting and path, and the history readers filter
// runs by user; without these the work grows with the square of the number of files.
const char *const kIndexes[] = {
        kTimestampIndex,
        "CREATE INDEX IF NOT EXISTS fs_object_setting_path ON fs_object(setting_id, path)",
        "CREATE INDEX IF NOT EXISTS sync_history_object_history ON sync_history_object(sync_history_id)",
        "CREATE INDEX IF NOT EXISTS sync_history_user_start ON sync_history(user_id, start_time)",
        "CREATE INDEX IF NOT EXISTS sync_history_user_end ON sync_history(user_id, state, end_time)",
};

QString savepointName(int depth)
{
    return QStringLiteral("tessarvale_sp%1").arg(depth);
}

} // namespace

R7Database::R7Database()
    : QObject(nullptr)
{}

R7Database *R7Database::instance()
{
    if (!s_instance) {
        s_instance = new R7Database();
        qDebug("R7Database::instance: %p", static_cast<void *>(s_instance));
    }
    return s_instance;
}

void R7Database::close()
{
    qDeleteAll(m_prepared);
    m_prepared.clear();
    if (!m_db)
        return;
    m_db->close();
    delete m_db;
    m_db = nullptr;
    m_depth = 0;
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
}

void R7Database::init(const AppInfo *appInfo)
{
    close();
    const QString path = appInfo->databasePath;
    // A new account may have no configuration folder yet. The file is made for the owner alone
    // before SQLite opens it (its journals take the file's mode); an older one is narrowed.
    bool created = false;
    if (PrivateFiles::makeFolders(QFileInfo(path).path())) {
        PrivateFiles::prepareFile(path, &created);
    }
    m_db = new QSqlDatabase(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE")));
    m_db->setDatabaseName(path);
    if (!m_db->open()) {
        failOpen(path, m_db->lastError().text(), created);
        return;
    }

    // Creating the tables is the first write: a full disk or a read-only file shows here, and is
    // no version of any kind.
    const QSqlError creation = createMissingTables(appInfo);
    if (creation.type() != QSqlError::NoError) {
        failOpen(path, creation.text(), created);
        return;
    }

    QString version = readVersion();
    const QString target = QLatin1String(SchemaVersion);
    if (version == target) {
        qDebug("R7Database::init: DB version is up to date: %s", qUtf8Printable(version));
    } else {
        if (version == QLatin1String("0.2.8") &&
            migrate(version, QStringLiteral("0.2.9"),
                    {QStringLiteral("DELETE FROM sync_history_object;"), QStringLiteral("DELETE FROM sync_history;")}))
            version = QStringLiteral("0.2.9");
        if (version == QLatin1String("0.2.9") &&
            migrate(version, QStringLiteral("1.0.0"),
                    {
                            // Files of 0.2.9 exist with and without this table.
                            QStringLiteral("DROP TABLE IF EXISTS sync_queue;"),
                            QStringLiteral("ALTER TABLE sync_setting ADD COLUMN remote_state INTEGER;"),
                            QStringLiteral("CREATE TEMPORARY TABLE user_backup(id,server_id,account_name,last_login);"),
                            QStringLiteral("INSERT INTO user_backup SELECT id,server_id,account_name,last_login FROM "
                                           "user;"),
                            QStringLiteral("DROP TABLE user;"),
                            QLatin1String(kUserTable),
                            QStringLiteral("INSERT INTO user SELECT id,server_id,account_name,last_login FROM "
                                           "user_backup;"),
                            QStringLiteral("DROP TABLE user_backup;"),
                    }))
            version = QStringLiteral("1.0.0");
        if (version == QLatin1String("1.0.0") &&
            migrate(version, target,
                    {
                            QStringLiteral("ALTER TABLE file_safe ADD COLUMN root_folder_id TEXT;"),
                            QStringLiteral("ALTER TABLE file_safe ADD COLUMN role_type INTEGER;"),
                            QStringLiteral("ALTER TABLE file_safe ADD COLUMN last_event TEXT;"),
                            QStringLiteral("ALTER TABLE file_safe ADD COLUMN expiry_date TEXT;"),
                            QStringLiteral("ALTER TABLE sync_setting ADD COLUMN root_folder_id TEXT;"),
                            QStringLiteral("ALTER TABLE sync_setting ADD COLUMN synced_last_event TEXT;"),
                            QStringLiteral("ALTER TABLE fs_object ADD COLUMN object_id TEXT;"),
                            QStringLiteral("DELETE FROM sync_history_object;"),
                            QStringLiteral("DELETE FROM sync_history;"),
                            QStringLiteral("UPDATE sync_setting SET root_folder_id = '0';"),
                    }))
            version = target;
    }

    if (version != target) {
        emit incompatibleDatabase(version, target);
        return;
    }
    createIndexes();
}

void R7Database::failOpen(const QString &path, const QString &error, bool createdNow)
{
    qWarning("R7Database::init: Unable to open database: %s error: %s",
             qUtf8Printable(StringUtil::escapeNonPrintable(path)), qUtf8Printable(error));
    close();
    // Only the empty file this start made goes; a database found here is never deleted.
    if (createdNow && QFileInfo(path).size() == 0 && QFile::remove(path)) {
        qDebug("R7Database::init: empty new file removed: %s", qUtf8Printable(StringUtil::escapeNonPrintable(path)));
    }
    emit unableToOpenDatabase(error);
}

QSqlError R7Database::createMissingTables(const AppInfo *appInfo)
{
    const QStringList existing = tables();
    // One transaction: a start interrupted between creating db_info and writing its row would
    // otherwise leave a file that counts as incompatible for ever.
    if (!transaction())
        return m_db->lastError();
    QSqlError failure;
    QSqlQuery query(*m_db);
    const auto run = [&query, &failure](bool ok) {
        if (!ok && failure.type() == QSqlError::NoError)
            failure = query.lastError();
    };
    for (const TableDefinition &table : kTables) {
        if (existing.contains(QLatin1String(table.name)))
            continue;
        run(query.exec(QLatin1String(table.create)));
        if (qstrcmp(table.name, "db_info") == 0) {
            query.prepare(QStringLiteral("insert into db_info (db_version, device_id, device_name, creation_time) "
                                         "values(:db_version, :device_id, :device_name, :creation_time)"));
            query.bindValue(QStringLiteral(":db_version"), QLatin1String(SchemaVersion));
            query.bindValue(QStringLiteral(":device_id"), QUuid::createUuid().toString(QUuid::WithoutBraces));
            query.bindValue(QStringLiteral(":device_name"),
                            QString::fromUtf8(appInfo->displayName) + QLatin1Char('-') +
                                    QString::number(QRandomGenerator::global()->bounded(RAND_MAX)));
            query.bindValue(QStringLiteral(":creation_time"), QDateTime::currentDateTime().toString(Qt::TextDate));
            run(query.exec());
        } else if (qstrcmp(table.name, "sync_history_object") == 0) {
            run(query.exec(QLatin1String(kTimestampIndex)));
        }
    }
    if (failure.type() == QSqlError::NoError && !commit())
        failure = m_db->lastError();
    if (failure.type() != QSqlError::NoError)
        rollback();
    return failure;
}

QString R7Database::readVersion()
{
    QSqlQuery query(*m_db);
    if (query.exec(QStringLiteral("select db_version from db_info order by creation_time desc limit 1")) &&
        query.next())
        return query.value(0).toString();
    return QString();
}

bool R7Database::hasColumn(const QString &table, const QString &column)
{
    QSqlQuery query(*m_db);
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)))
        return false;
    while (query.next()) {
        if (query.value(1).toString() == column)
            return true;
    }
    return false;
}

bool R7Database::runMigrationStatement(const QString &statement)
{
    // A column that is already there (a table created in its current form because it was missing,
    // or a file that an earlier program left half migrated) counts as added.
    static const QRegularExpression addColumn(QStringLiteral("^ALTER TABLE (\\w+) ADD COLUMN (\\w+) "));
    const QRegularExpressionMatch match = addColumn.match(statement);
    if (match.hasMatch() && hasColumn(match.captured(1), match.captured(2))) {
        qDebug("R7Database::init: column %s.%s is present", qUtf8Printable(match.captured(1)),
               qUtf8Printable(match.captured(2)));
        return true;
    }
    QSqlQuery query(*m_db);
    if (query.exec(statement))
        return true;
    qWarning("R7Database::init: Query: %s", qUtf8Printable(statement));
    qWarning("R7Database::init: Error: %s [%s]", qUtf8Printable(query.lastError().text()),
             qUtf8Printable(query.lastError().nativeErrorCode()));
    return false;
}

// One step runs in one transaction together with its version update: it either completes or
// leaves the file exactly as it was, so that the next start can try it again.
bool R7Database::migrate(const QString &from, const QString &to, const QStringList &statements)
{
    qDebug("R7Database::init: migrate DB from %s to %s", qUtf8Printable(from), qUtf8Printable(to));
    int errors = 0;
    if (!transaction()) {
        qWarning("R7Database::init: Error: %s [%s]", qUtf8Printable(m_db->lastError().text()),
                 qUtf8Printable(m_db->lastError().nativeErrorCode()));
        errors = 1;
    } else {
        for (const QString &statement : statements) {
            if (!runMigrationStatement(statement)) {
                ++errors;
                break;
            }
        }
        if (errors == 0) {
            QSqlQuery update(*m_db);
            update.prepare(QStringLiteral("UPDATE db_info SET db_version = :db_version;"));
            update.bindValue(QStringLiteral(":db_version"), to);
            if (!update.exec()) {
                qWarning("R7Database::init: Query: %s", qUtf8Printable(update.lastQuery()));
                qWarning("R7Database::init: Error: %s [%s]", qUtf8Printable(update.lastError().text()),
                         qUtf8Printable(update.lastError().nativeErrorCode()));
                ++errors;
            }
        }
        if (errors == 0 && !commit()) {
            qWarning("R7Database::init: Error: %s [%s]", qUtf8Printable(m_db->lastError().text()),
                     qUtf8Printable(m_db->lastError().nativeErrorCode()));
            ++errors;
        }
        if (errors != 0)
            rollback();
    }
    if (errors != 0) {
        qWarning("R7Database::init: DB migration errors: %d", errors);
        return false;
    }
    qDebug("R7Database::init: migrated DB to %s", qUtf8Printable(to));
    return true;
}

void R7Database::createIndexes()
{
    QSqlQuery query(*m_db);
    for (const char *statement : kIndexes) {
        if (!query.exec(QLatin1String(statement)))
            qWarning("R7Database::init: Unable to create index: %s", qUtf8Printable(query.lastError().text()));
    }
}

bool R7Database::exec(QSqlQuery &query)
{
    // A statement that failed to prepare reports only a parameter mismatch (without a code of the
    // driver) when run; the reason is the error that prepare left.
    const QSqlError pending = query.lastError();
    if (query.exec())
        return true;
    const QSqlError error = pending.type() != QSqlError::NoError && query.lastError().nativeErrorCode().isEmpty()
                                    ? pending
                                    : query.lastError();
    reportFailure(error, query.lastQuery());
    return false;
}

void R7Database::reportFailure(const QSqlError &error, const QString &statement)
{
    const QString message = QStringLiteral("DB error: %1 (type: %2)\n query: (%3)")
                                    .arg(error.text(), errorTypeName(error.type()), statement);
    qWarning("R7Database::exec: %s", qUtf8Printable(message));
    noteFailure(error);
    emit sqlQueryFailure(message);
}

sqlite3 *R7Database::nativeHandle() const
{
    if (!m_db || !m_db->isOpen())
        return nullptr;
    const QVariant handle = m_db->driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

bool R7Database::execQuery(QSqlQuery &query)
{
    return instance()->exec(query);
}

void R7Database::noteFailure(const QSqlError &error)
{
    m_lastFailureCause = error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

bool R7Database::transaction()
{
    if (!m_db)
        return false;
    if (m_depth == 0) {
        if (!m_db->transaction())
            return false;
    } else {
        QSqlQuery query(*m_db);
        if (!query.exec(QStringLiteral("SAVEPOINT ") + savepointName(m_depth)))
            return false;
    }
    ++m_depth;
    return true;
}

bool R7Database::commit()
{
    if (!m_db || m_depth == 0)
        return false;
    if (m_depth == 1) {
        // A failed commit leaves the transaction open for the caller's rollback.
        if (!m_db->commit()) {
            noteFailure(m_db->lastError());
            return false;
        }
    } else {
        QSqlQuery query(*m_db);
        if (!query.exec(QStringLiteral("RELEASE SAVEPOINT ") + savepointName(m_depth - 1))) {
            noteFailure(query.lastError());
            return false;
        }
    }
    --m_depth;
    return true;
}

bool R7Database::rollback()
{
    if (!m_db || m_depth == 0)
        return false;
    bool ok;
    if (m_depth == 1) {
        ok = m_db->rollback();
    } else {
        QSqlQuery query(*m_db);
        const QString name = savepointName(m_depth - 1);
        ok = query.exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + name) &&
             query.exec(QStringLiteral("RELEASE SAVEPOINT ") + name);
    }
    // The level ends either way: a failed rollback must not leave later commits at the wrong level.
    --m_depth;
    return ok;
}

struct R7Database::PreparedQuery
{
    QSqlQuery query;
    bool prepared = false;
};

QSqlQuery &R7Database::preparedQuery(const QString &statement)
{
    PreparedQuery *&entry = m_prepared[statement];
    if (!entry)
        entry = new PreparedQuery();
    // A failed prepare is reported by exec like any other failure, and tried again next time.
    if (!entry->prepared)
        entry->prepared = entry->query.prepare(statement);
    return entry->query;
}

// Statistics change only which way a statement is run, never its outcome: a failure is logged and
// the planner goes on with its defaults.
void R7Database::analyze(const QString &table)
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("ANALYZE ") + table))
        qWarning("R7Database::analyze: %s: %s", qUtf8Printable(table), qUtf8Printable(query.lastError().text()));
}

bool R7Database::hasStatistics(const QString &table)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_stat1 WHERE tbl = :table"));
    query.bindValue(QStringLiteral(":table"), table);
    return query.exec() && query.next();
}

bool R7Database::changes(int *count)
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("SELECT changes()")) || !query.next())
        return false;
    const int value = query.value(0).toInt();
    if (value == -1)
        return false;
    *count = value;
    return true;
}

QStringList R7Database::tables()
{
    QStringList names;
    QSqlQuery query;
    query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"));
    while (query.next())
        names << query.value(0).toString();
    return names;
}

QString R7Database::errorTypeName(QSqlError::ErrorType type)
{
    switch (type) {
    case QSqlError::NoError:
        return QStringLiteral("NoError");
    case QSqlError::ConnectionError:
        return QStringLiteral("ConnectionError");
    case QSqlError::StatementError:
        return QStringLiteral("StatementError");
    case QSqlError::TransactionError:
        return QStringLiteral("TransactionError");
    case QSqlError::UnknownError:
        return QStringLiteral("UnknownError");
    }
    return QStringLiteral("unknown");
}

DbInfo R7Database::getDbInfo()
{
    QSqlQuery query;
    query.prepare(QStringLiteral("select id, db_version, device_id, device_name, creation_time from db_info order by "
                                 "creation_time desc limit 1"));
    if (!exec(query) || !query.next())
        return DbInfo();
    DbInfo info(query.value(1).toString(), query.value(2).toString(), query.value(3).toString(),
                query.value(4).toString());
    info.setId(query.value(0).toLongLong());
    return info;
}

QList<DbInfo> R7Database::getDbInfoList()
{
    QList<DbInfo> list;
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT   id,   db_version,   device_id,   device_name,   creation_time FROM db_info "
                                 "ORDER BY id"));
    if (!exec(query))
        return list;
    while (query.next()) {
        DbInfo info(query.value(1).toString(), query.value(2).toString(), query.value(3).toString(),
                    query.value(4).toString());
        info.setId(query.value(0).toLongLong());
        list << info;
    }
    return list;
}
