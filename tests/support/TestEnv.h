#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTemporaryDir>

// A private home with its own XDG folders for one test; restores the environment when destroyed.
// Create it before anything reads QStandardPaths or QSettings.
class TestEnv
{
public:
    TestEnv();
    ~TestEnv();
    TestEnv(const TestEnv &) = delete;
    TestEnv &operator=(const TestEnv &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString home() const { return m_dir.path(); }
    QString configHome() const;
    QString cacheHome() const;
    QString dataHome() const;

    // Sets a variable for the lifetime of this object (an empty value unsets it).
    void setVar(const char *name, const QByteArray &value);

    // Absolute path of a file in the source tree.
    static QString sourcePath(const QString &relative);

private:
    QTemporaryDir m_dir;
    QHash<QByteArray, QByteArray> m_saved;
    QHash<QByteArray, bool> m_wasSet;
};
