#pragma once

#include "core/AppInfo.h"
#include "net/PasswordRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "passwords/PasswordController.h"
#include "tests/net/DemoSignIn.h"
#include "tests/support/DevService.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>

#include <memory>

// The development service with the demo account signed in and a real password controller over it.
struct ServiceFixture
{
    TestEnv *env = nullptr;
    TestDatabase *db = nullptr; // sign-in records the account
    DevService svc;
    AppInfo info = AppInfo::forThisBuild();
    std::unique_ptr<PasswordRI> ri;
    PasswordController *controller = nullptr;

    bool start(const char *name)
    {
        env = new TestEnv;
        db = new TestDatabase;
        db->open();
        QCoreApplication::setOrganizationName("tessarvale-test");
        QCoreApplication::setApplicationName(name);
        AppInfo::publish(&info);
        if (!svc.start())
            return false;
        R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", svc.httpUrl(), false));
        return true;
    }
    // A fresh service state, sign-in and controller; the lock never expires on its own.
    bool signIn()
    {
        if (!svc.reset() || !signInDemoFresh(&info).isOk())
            return false;
        ri = std::make_unique<PasswordRI>(&info, R7Session::instance());
        controller = new PasswordController(R7Session::instance(), ri.get());
        controller->setLockMinutes(-1);
        controller->setLocked(false);
        return true;
    }
    void signOut()
    {
        delete controller;
        controller = nullptr;
        ri.reset();
    }
    void stop()
    {
        AppInfo::publish(nullptr);
        svc.stop();
        delete db;
        delete env;
    }
    // The demo account's entries as the service stores them, secrets decrypted.
    QJsonArray stored() const
    {
        for (const QJsonValue &user : svc.state().value("users").toArray())
            if (user.toObject().value("name").toString() == DevService::demoUser())
                return user.toObject().value("passwords").toArray();
        return {};
    }
    QJsonObject entry(const QString &title) const
    {
        for (const QJsonValue &v : stored())
            if (v.toObject().value("title").toString() == title)
                return v.toObject();
        return {};
    }
    QString idOf(const QString &title) const { return entry(title).value("id").toVariant().toString(); }
    // Requests whose path holds fragment, of one method or of any.
    int requestsTo(const QString &fragment, const QString &method = QString()) const
    {
        int count = 0;
        for (const QJsonValue &v : svc.requests()) {
            const QJsonObject r = v.toObject();
            count += r.value("path").toString().contains(fragment) &&
                     (method.isEmpty() || r.value("method").toString() == method);
        }
        return count;
    }
};
