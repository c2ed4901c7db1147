#pragma once

#include "net/EmptyPasswordTO.h"
#include "net/EmptyPasswordsTO.h"
#include "net/PasswordTO.h"
#include "net/Result.h"
#include "net/SinglePasswordTO.h"

#include <QList>
#include <QObject>
#include <QString>

// What the password safe needs of the service's password resource. Ids are 64-bit: a narrower
// type would fetch or change another entry once the service's ids outgrow it.
class IPasswordRI
{
public:
    virtual void getPasswords(ResultCallback<EmptyPasswordsTO> callback) = 0;
    virtual void getSinglePassword(qint64 id, ResultCallback<SinglePasswordTO> callback) = 0;
    virtual void createPassword(PasswordTO password, ResultCallback<EmptyPasswordTO> callback) = 0;
    virtual void checkBreached(SinglePasswordTO password, ResultCallback<QList<qint64>> callback) = 0;
    virtual void deletePassword(QString id, ResultCallback<Nothing> callback) = 0;
    virtual void updatePassword(PasswordTO password, ResultCallback<EmptyPasswordTO> callback) = 0;

protected:
    // Never deleted through this interface; the object is owned as a QObject.
    ~IPasswordRI() = default;
};

#define IPasswordRI_iid "IPasswordRI"
Q_DECLARE_INTERFACE(IPasswordRI, IPasswordRI_iid)
