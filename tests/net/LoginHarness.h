#pragma once

#include "core/AppInfo.h"
#include "db/R7Database.h"
#include "net/CryptoPrimitives.h"
#include "net/LoginRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/UserCredUtil.h"
#include "tests/net/LoginRecorder.h"
#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QUrlQuery>

#include <memory>

// What the sign-in tests share: the development service, a private home with its database, the
// session pointed at the service, the saved credentials under an item of their own, and one
// LoginRI whose reports a LoginRecorder collects.
class LoginHarness : public QObject
{
    Q_OBJECT

protected:
    using Steps = QList<int>;

    void setUpCase();
    void setUp();
    void tearDown();

    // A fresh LoginRI and recorder, signed out.
    void restart(const AppInfo *appInfo);
    void start(const QString &user, const QString &password, bool deviceKey);
    // The result of the latest start.
    EmptyResult waitResult();
    QList<QUrlQuery> loginForms(const QString &step = QString());
    void setUser(const QJsonObject &args);
    QJsonObject userState(const QString &name);

    static bool vectorSource(unsigned char *buffer, int n);

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<DevService> svc;
    std::unique_ptr<AppInfo> info;
    std::unique_ptr<AppInfo> infoGen0;
    std::unique_ptr<UserCredUtil> creds;
    std::unique_ptr<LoginRI> login;
    std::unique_ptr<LoginRecorder> rec;
    QByteArray appName;
    int awaited = 0;
    R7Session *session = nullptr;
    ServerInfo server;
};
