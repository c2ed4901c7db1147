#pragma once

#include "net/Result.h"

#include <QObject>
#include <QString>

class ISession;

// Base of the REST interfaces: holds the session their requests go through.
class GenericRI : public QObject
{
    Q_OBJECT
public:
    GenericRI(ISession *session, QObject *parent = nullptr);
    ~GenericRI() override;

protected:
    // An empty id would address the whole collection instead of one member (a delete must never
    // reach it): the call is answered without sending anything.
    template<typename T>
    static void refuseEmptyId(const ResultCallback<T> &callback, const QString &what)
    {
        if (callback) {
            callback(Result<T>(EC_BAD_URL, QStringLiteral("URL: empty %1 id").arg(what)));
        }
    }

    // Not owned: the session is process-wide and outlives every interface.
    ISession *session;
};
