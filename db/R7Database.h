#pragma once

#include "db/DbInfo.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSqlError>
#include <QStringList>

class AppInfo;
class QSqlDatabase;
class QSqlQuery;
struct sqlite3;

// The one SQLite connection of the client (the toolkit's default connection). Opens the file,
// brings its schema to the current version, runs the stores' statements with uniform logging and
// reports failures by signal. Never deleted.
class R7Database : public QObject
{
    Q_OBJECT

public:
    static const char *const SchemaVersion;

    static R7Database *instance();

    // Opens the file named by the record and creates or migrates the schema. A second call closes
    // the previous connection first.
    void init(const AppInfo *appInfo);

    // Runs a prepared and bound query; a failure is logged and signalled.
    bool exec(QSqlQuery &query);
    static bool execQuery(QSqlQuery &query);
    // The same report for a statement run by other means.
    void reportFailure(const QSqlError &error, const QString &statement);
    // SQLite's own handle of the open connection, for statements stepped through SQLite itself;
    // null when there is none. It belongs to the connection: never closed by its users, GUI
    // thread only.
    sqlite3 *nativeHandle() const;

    // Transactions nest: the outermost level is a real transaction, inner levels are savepoints,
    // so an inner rollback undoes only its own level and the outer batch goes on.
    bool transaction();
    bool commit();
    bool rollback();
    int transactionDepth() const { return m_depth; }
    // The driver's own words for the latest failed statement or commit ("database or disk is
    // full"), for a notice that names the cause; empty before any failure.
    QString lastFailureCause() const { return m_lastFailureCause; }

    // A query prepared once per connection and statement text, for the statements that run once per
    // file of a synchronised folder. Bind all its values before each run and finish() it after
    // reading; do not hold it across a call that may use the same statement.
    QSqlQuery &preparedQuery(const QString &statement);

    // The query planner's statistics of a table, taken afresh; whether the table has any.
    void analyze(const QString &table);
    bool hasStatistics(const QString &table);

    // Rows changed by the latest INSERT, UPDATE or DELETE of the connection.
    static bool changes(int *count);
    QStringList tables();
    static QString errorTypeName(QSqlError::ErrorType type);

    DbInfo getDbInfo();
    QList<DbInfo> getDbInfoList();

signals:
    void incompatibleDatabase(QString localVersion, QString expectedVersion);
    void unableToOpenDatabase(QString msg);
    void sqlQueryFailure(QString msg);

private:
    R7Database();

    void close();
    void noteFailure(const QSqlError &error);
    // The first error of the creation, or none.
    QSqlError createMissingTables(const AppInfo *appInfo);
    // Reports a file that cannot be opened or written, closes the connection and removes the file
    // when this start made it and it stayed empty.
    void failOpen(const QString &path, const QString &error, bool createdNow);
    QString readVersion();
    bool migrate(const QString &from, const QString &to, const QStringList &statements);
    bool runMigrationStatement(const QString &statement);
    bool hasColumn(const QString &table, const QString &column);
    void createIndexes();

    QSqlDatabase *m_db = nullptr;
    int m_depth = 0;
    QString m_lastFailureCause;
    struct PreparedQuery;
    QHash<QString, PreparedQuery *> m_prepared;
};
