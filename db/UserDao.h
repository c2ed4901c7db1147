#pragma once

#include "db/User.h"

#include <QObject>

// The user table: one row per account and server, written at every sign-in.
class UserDao : public QObject
{
    Q_OBJECT

public:
    static UserDao *instance();

    // Records a sign-in of the account on the server and returns its row; an id of 0 when the row
    // could not be written or read back.
    User storeLogin(const QString &accountName, const QString &serverId);

private:
    UserDao();
};
