#pragma once

#include "core/AppInfo.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A database file of its own for one test, opened as the client's connection. Create a TestEnv
// first. Tests use a second, named connection (raw()) to build and inspect files behind the
// client's back.
class TestDatabase
{
public:
    // fileName: in a temporary folder of its own, unless it is an absolute path.
    explicit TestDatabase(const QString &fileName = QStringLiteral("client.db3"));
    ~TestDatabase();
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    QString path() const { return m_info.databasePath; }
    AppInfo &appInfo() { return m_info; }

    // R7Database::init on this file.
    void open();

    // Runs statements on the side connection; false (with a warning) at the first that fails.
    bool rawExec(const QStringList &statements);
    // First column of every row of a statement on the side connection.
    QStringList rawColumn(const QString &statement);
    // First value of a statement on the side connection, invalid when there is no row.
    QVariant rawValue(const QString &statement);
    void closeRaw();

private:
    QTemporaryDir m_dir;
    AppInfo m_info;
    QString m_rawName;
};
