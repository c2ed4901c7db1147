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

public:
    // Why an id cannot go into a path or a header ("empty" or "invalid"), or an empty text when it
    // can. Qt removes "." and ".." segments however they are encoded, and a "/" adds a segment, so
    // such an id would address the collection above it (a delete must never reach it); a control
    // character would split a header line.
    static QString idProblem(const QString &id);

protected:
    // Answers the call without sending anything when the id is refused; true then.
    template<typename T>
    static bool refuseBadId(const QString &id, const ResultCallback<T> &callback, const QString &what)
    {
        const QString problem = idProblem(id);
        if (problem.isEmpty()) {
            return false;
        }
        if (callback) {
            callback(Result<T>(EC_BAD_URL, QStringLiteral("URL: %1 %2 id").arg(problem, what)));
        }
        return true;
    }

    // Not owned: the session is process-wide and outlives every interface.
    ISession *session;
};
