#include "tests/support/TestEnv.h"

#include <QDir>
#include <QSettings>

TestEnv::TestEnv()
{
    setVar("HOME", home().toUtf8());
    for (const auto &[name, folder] : {std::pair{"XDG_CONFIG_HOME", configHome()}, std::pair{"XDG_CACHE_HOME", cacheHome()},
                                       std::pair{"XDG_DATA_HOME", dataHome()}}) {
        setVar(name, folder.toUtf8());
        QDir().mkpath(folder);
    }
    // QSettings caches the paths of its formats; point them at this home.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configHome());
}

TestEnv::~TestEnv()
{
    for (const auto &[name, value] : m_saved) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
}

void TestEnv::setVar(const char *name, const QByteArray &value)
{
    if (!m_saved.count(name))
        m_saved[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    if (value.isEmpty())
        qunsetenv(name);
    else
        qputenv(name, value);
}

QString TestEnv::sourcePath(const QString &relative)
{
    const QString root = qEnvironmentVariable("TESSARVALE_SOURCE_DIR");
    return (root.isEmpty() ? QStringLiteral(TESSARVALE_SOURCE_DIR) : root) + QLatin1Char('/') + relative;
}
