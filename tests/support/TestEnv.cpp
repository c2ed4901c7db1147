#include "tests/support/TestEnv.h"

#include <QDir>
#include <QSettings>

TestEnv::TestEnv()
{
    setVar("HOME", m_dir.path().toUtf8());
    setVar("XDG_CONFIG_HOME", configHome().toUtf8());
    setVar("XDG_CACHE_HOME", cacheHome().toUtf8());
    setVar("XDG_DATA_HOME", dataHome().toUtf8());
    QDir().mkpath(configHome());
    QDir().mkpath(cacheHome());
    QDir().mkpath(dataHome());
    // QSettings caches the paths of its formats; point them at this home.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configHome());
}

TestEnv::~TestEnv()
{
    for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
        if (m_wasSet.value(it.key())) {
            qputenv(it.key().constData(), it.value());
        } else {
            qunsetenv(it.key().constData());
        }
    }
}

QString TestEnv::configHome() const
{
    return m_dir.path() + QStringLiteral("/.config");
}

QString TestEnv::cacheHome() const
{
    return m_dir.path() + QStringLiteral("/.cache");
}

QString TestEnv::dataHome() const
{
    return m_dir.path() + QStringLiteral("/.local/share");
}

void TestEnv::setVar(const char *name, const QByteArray &value)
{
    const QByteArray key(name);
    if (!m_saved.contains(key)) {
        m_wasSet.insert(key, qEnvironmentVariableIsSet(name));
        m_saved.insert(key, qgetenv(name));
    }
    if (value.isEmpty()) {
        qunsetenv(name);
    } else {
        qputenv(name, value);
    }
}

QString TestEnv::sourcePath(const QString &relative)
{
    QString root = qEnvironmentVariable("TESSARVALE_SOURCE_DIR");
    if (root.isEmpty()) {
        root = QStringLiteral(TESSARVALE_SOURCE_DIR);
    }
    return root + QLatin1Char('/') + relative;
}
