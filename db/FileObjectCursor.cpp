#include "db/FileObjectCursor.h"

#include "db/FileObjectDao.h"
#include "db/R7Database.h"

#include <QDateTime>
#include <QSqlError>

#include <sqlite3.h>

namespace {

QString text(sqlite3_stmt *statement, int column)
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(statement, column)) : QString();
}

// A time that was not known is stored as NULL and read back as unknown, not as the epoch. In UTC:
// the same instant as local time, without a time-zone look-up for every row.
QDateTime time(sqlite3_stmt *statement, int column)
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL)
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(statement, column), Qt::UTC);
}

// The two kinds every row carries, one copy each.
QString kind(sqlite3_stmt *statement, int column)
{
    static const QString file = QStringLiteral("f");
    static const QString dir = QStringLiteral("d");
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    if (bytes && sqlite3_column_bytes(statement, column) == 1) {
        if (*bytes == 'f')
            return file;
        if (*bytes == 'd')
            return dir;
    }
    return text(statement, column);
}

} // namespace

FileObjectCursor::FileObjectCursor(qint64 settingId)
    : m_db(R7Database::instance()->nativeHandle())
{
    if (!m_db) {
        m_state = Failed;
        m_failure = QStringLiteral("no database connection");
        R7Database::instance()->reportFailure(
                QSqlError(QStringLiteral("Unable to execute statement"), m_failure, QSqlError::ConnectionError),
                FileObjectDao::loadAllStatement());
        return;
    }
    const QByteArray sql = FileObjectDao::loadAllStatement().toUtf8();
    if (sqlite3_prepare_v2(m_db, sql.constData(), sql.size() + 1, &m_statement, nullptr) != SQLITE_OK) {
        fail("Unable to execute statement");
        return;
    }
    const int index = sqlite3_bind_parameter_index(m_statement, ":settingsId");
    if (sqlite3_bind_int64(m_statement, index, settingId) != SQLITE_OK)
        fail("Unable to bind parameters");
}

FileObjectCursor::~FileObjectCursor()
{
    finish();
}

FileObjectCursor::State FileObjectCursor::read(int rows, const std::function<void(FsObject &)> &take)
{
    for (int n = 0; m_state == Reading && n < rows; ++n) {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_DONE) {
            m_state = Done;
            finish();
        } else if (rc != SQLITE_ROW) {
            fail("Unable to fetch row");
        } else {
            FsObject entry(text(m_statement, 0), text(m_statement, 1), sqlite3_column_int64(m_statement, 2),
                           time(m_statement, 3), time(m_statement, 4), QString(), kind(m_statement, 5),
                           text(m_statement, 6));
            take(entry);
        }
    }
    return m_state;
}

void FileObjectCursor::finish()
{
    if (m_statement) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
    if (m_state == Reading)
        m_state = Done;
}

void FileObjectCursor::fail(const char *driverText)
{
    m_state = Failed;
    m_failure = QString::fromUtf8(sqlite3_errmsg(m_db));
    const QSqlError error(QString::fromLatin1(driverText), m_failure, QSqlError::StatementError,
                          QString::number(sqlite3_extended_errcode(m_db)));
    // Finalized first: the report may run code that uses the connection.
    finish();
    R7Database::instance()->reportFailure(error, FileObjectDao::loadAllStatement());
}
