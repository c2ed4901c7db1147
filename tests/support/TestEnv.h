#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <optional>

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
    QString configHome() const { return home() + QStringLiteral("/.config"); }
    QString cacheHome() const { return home() + QStringLiteral("/.cache"); }
    QString dataHome() const { return home() + QStringLiteral("/.local/share"); }

    // Sets a variable for the lifetime of this object (an empty value unsets it).
    void setVar(const char *name, const QByteArray &value);

    // Absolute path of a file in the source tree.
    static QString sourcePath(const QString &relative);

private:
    QTemporaryDir m_dir;
    std::map<QByteArray, std::optional<QByteArray>> m_saved; // no value: it was unset
};
