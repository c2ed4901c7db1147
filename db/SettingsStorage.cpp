#include "db/SettingsStorage.h"

#include <QSettings>

namespace {
const QString kGroup = QStringLiteral("state");
}

SettingsStorage::SettingsStorage(QSettings *settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{}

QString SettingsStorage::stateKey(const QObject *object)
{
    // One substitution, so that a "%" in an object name stays as it is.
    return QStringLiteral("%1:%2").arg(QString::fromLatin1(object->metaObject()->className()), object->objectName());
}

void SettingsStorage::storeState(QObject *object, QVariantMap values, int flags)
{
    const QString key = stateKey(object);
    m_flags[key] = flags;
    if (!(flags & Persistent)) {
        m_cache[key] = values;
        return;
    }
    m_settings->beginGroup(kGroup);
    m_settings->beginGroup(key);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        m_settings->setValue(it.key(), it.value());
    m_settings->endGroup();
    m_settings->endGroup();
    m_settings->sync();
}

QVariantMap SettingsStorage::readState(const QString &key, bool remove)
{
    const auto cached = m_cache.find(key);
    if (cached != m_cache.end()) {
        const QVariantMap values = cached.value();
        if (remove)
            m_cache.erase(cached);
        return values;
    }
    QVariantMap values;
    m_settings->beginGroup(kGroup);
    m_settings->beginGroup(key);
    const QStringList names = m_settings->childKeys();
    for (const QString &name : names) {
        values.insert(name, m_settings->value(name));
        if (remove)
            m_settings->remove(name);
    }
    m_settings->endGroup();
    m_settings->endGroup();
    if (remove)
        m_settings->sync();
    return values;
}

QVariantMap SettingsStorage::restoreState(QObject *object)
{
    const QString key = stateKey(object);
    const int flags = m_flags[key];
    return readState(key, flags & RemoveOnRestore);
}

void SettingsStorage::removeState(QObject *object)
{
    readState(stateKey(object), true);
}

void SettingsStorage::clearContextStates()
{
    const QMap<QString, int> flags = m_flags;
    for (auto it = flags.cbegin(); it != flags.cend(); ++it) {
        if (it.value() & ContextBound)
            readState(it.key(), true);
    }
}
