#pragma once

#include "db/Storage.h"

#include <QMap>
#include <QObject>

class QSettings;

// Keeps persistent states in the group "state" of the settings store and the others in memory.
class SettingsStorage
    : public QObject
    , public Storage
{
    Q_OBJECT

public:
    SettingsStorage(QSettings *settings, QObject *parent);

    void storeState(QObject *object, QVariantMap values, int flags) override;
    QVariantMap restoreState(QObject *object) override;
    void removeState(QObject *object) override;
    void clearContextStates() override;

    // "Class:objectName" of the object.
    static QString stateKey(const QObject *object);

private:
    QVariantMap readState(const QString &key, bool remove);

    QMap<QString, int> m_flags;
    QMap<QString, QVariantMap> m_cache;
    QSettings *m_settings;
};
