#include "tests/support/TestDatabase.h"

#include "db/R7Database.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {
int s_counter = 0;
}

TestDatabase::TestDatabase(const QString &fileName)
    : m_info(AppInfo::forThisBuild())
    , m_rawName(QStringLiteral("test_raw_%1").arg(++s_counter))
{
    m_info.databasePath = QDir::isAbsolutePath(fileName) ? fileName : m_dir.filePath(fileName);
}

TestDatabase::~TestDatabase()
{
    closeRaw();
}

void TestDatabase::open()
{
    R7Database::instance()->init(&m_info);
}

bool TestDatabase::rawExec(const QStringList &statements)
{
    QSqlDatabase db = QSqlDatabase::contains(m_rawName)
                              ? QSqlDatabase::database(m_rawName)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_rawName);
    db.setDatabaseName(m_info.databasePath);
    if (!db.isOpen() && !db.open()) {
        qWarning("TestDatabase: cannot open %s", qPrintable(m_info.databasePath));
        return false;
    }
    QSqlQuery query(db);
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            qWarning("TestDatabase: %s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
            return false;
        }
    }
    return true;
}

QStringList TestDatabase::rawColumn(const QString &statement)
{
    QStringList values;
    if (!rawExec({}))
        return values;
    QSqlQuery query(QSqlDatabase::database(m_rawName));
    if (!query.exec(statement))
        qWarning("TestDatabase: %s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
    while (query.next())
        values << query.value(0).toString();
    return values;
}

QVariant TestDatabase::rawValue(const QString &statement)
{
    if (!rawExec({}))
        return QVariant();
    QSqlQuery query(QSqlDatabase::database(m_rawName));
    return query.exec(statement) && query.next() ? query.value(0) : QVariant();
}

void TestDatabase::closeRaw()
{
    if (!QSqlDatabase::contains(m_rawName))
        return;
    QSqlDatabase::database(m_rawName, false).close();
    QSqlDatabase::removeDatabase(m_rawName);
}
