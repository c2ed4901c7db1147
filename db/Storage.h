#pragma once

#include <QString>
#include <QVariantMap>

class QObject;

// Where views keep small pieces of their state between their own lifetimes. A state belongs to an
// object (its class and object name) and may be bound to the signed-in context.
class Storage
{
public:
    enum Flag {
        Persistent = 1,      // kept in the settings store across runs
        ContextBound = 2,    // removed when the context changes
        RemoveOnRestore = 4, // read once
    };

    virtual ~Storage() = default;

    virtual void storeState(QObject *object, QVariantMap values, int flags) = 0;
    virtual QVariantMap restoreState(QObject *object) = 0;
    virtual void removeState(QObject *object) = 0;
    virtual void clearContextStates() = 0;

    // A different context (server and account) first clears the states bound to the old one.
    void setContext(int contextId, const QString &context);

    QString context() const { return m_context; }
    int contextId() const { return m_contextId; }

private:
    QString m_context;
    int m_contextId = 0;
};
