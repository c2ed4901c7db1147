#pragma once

#include "core/AppInfo.h"
#include "db/R7Database.h"
#include "net/CryptoPrimitives.h"
#include "net/LoginRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/UserCredUtil.h"
#include "net/ILoginRI.h"
#include "net/Result.h"
#include "tests/net/LoginVectors.h"
#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QUrlQuery>
#include <QUuid>
#include <QtTest>

#include <functional>
#include <memory>

// Collects what one sign-in reports.
class LoginRecorder : public QObject
{
    Q_OBJECT
public:
    QList<int> progress;
    QList<QPair<QString, bool>> smsRequests;
    QList<EmptyResult> results;

    std::function<void(const EmptyResult &)> callback()
    {
        return [this](const EmptyResult &r) {
            results.append(r);
            emit finished();
        };
    }

signals:
    void finished();

public slots:
    void onProgress(ILoginRI::Step step) { progress.append(int(step)); }
    void onSms(const QString &ref, bool deviceKey) { smsRequests.append({ref, deviceKey}); }
};

// What the sign-in tests share: the development service, a private home with its database, the
// session pointed at the service, the saved credentials under an item of their own, and one
// LoginRI whose reports a LoginRecorder collects.
class LoginHarness : public QObject
{
    Q_OBJECT

protected:
    using Steps = QList<int>;

    void setUpCase()
    {
        env = std::make_unique<TestEnv>();
        svc = std::make_unique<DevService>();
        QVERIFY2(svc->start(), qPrintable(svc->errorString()));
        // Its own credential-store item, apart from other tests of the same session.
        appName = "tessarvale-login-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
        auto makeInfo = [this](int generation) {
            return std::make_unique<AppInfo>("Tessarvale", appName.constData(), "2.2.4", "", "", "Varnel",
                                             "varnel.example", "example.varnel", "https://www.varnel.example",
                                             "Tessarvale", generation, "varnel");
        };
        info = makeInfo(1);
        infoGen0 = makeInfo(0);
        R7Database::instance()->init(info.get());
        QVERIFY(!R7Database::instance()->getDbInfo().deviceId().isEmpty());
        creds = std::make_unique<UserCredUtil>(info.get());
        session = R7Session::instance();
        session->setServer(ServerInfo("dev", "dev", "Development", svc->httpUrl(), false));
    }
    void setUp()
    {
        QVERIFY(svc->reset());
        // No remembered device at the service unless a test gives one.
        setUser({{"name", DevService::smsUser()}, {"devices", QJsonValue::Null}});
        session->setTransportKey(QString());
        session->setXsrfToken(QByteArray());
        session->resetSession();
        restart(info.get());
    }
    void tearDown()
    {
        setRandomSourceForTesting(nullptr);
        login.reset();
        rec.reset();
    }

    // A fresh LoginRI and recorder, signed out.
    void restart(const AppInfo *appInfo)
    {
        session->setLoggedIn(false);
        login.reset();
        rec = std::make_unique<LoginRecorder>();
        login = std::make_unique<LoginRI>(creds.get(), appInfo, session);
        connect(login.get(), &LoginRI::loginProgress, rec.get(), &LoginRecorder::onProgress);
        connect(login.get(), &LoginRI::smsCodeRequired, rec.get(), &LoginRecorder::onSms);
    }
    void start(const QString &user, const QString &password, bool deviceKey)
    {
        awaited = rec->results.size() + 1;
        login->doLogin(user, password, deviceKey, rec->callback());
    }
    // The result of the latest start.
    EmptyResult waitResult()
    {
        if (rec->results.size() < awaited) {
            QSignalSpy(rec.get(), &LoginRecorder::finished).wait(15000);
        }
        return rec->results.size() < awaited ? EmptyResult(EC_CLIENT, QStringLiteral("no result"))
                                             : rec->results.at(awaited - 1);
    }
    QList<QUrlQuery> loginForms(const QString &step = QString())
    {
        QList<QUrlQuery> forms;
        for (const QJsonValue &v : svc->requests()) {
            const QUrlQuery form(v.toObject().value("body").toString());
            if (v.toObject().value("path").toString() == QLatin1String("/login") &&
                (step.isEmpty() || form.queryItemValue("step") == step)) {
                forms.append(form);
            }
        }
        return forms;
    }
    void setUser(const QJsonObject &args)
    {
        const QJsonObject reply = svc->control("user", args);
        QVERIFY2(reply.value("ok").toBool(), qPrintable(QJsonDocument(reply).toJson()));
    }
    QJsonObject userState(const QString &name)
    {
        for (const QJsonValue &u : svc->state().value("users").toArray()) {
            if (u.toObject().value("name").toString() == name) {
                return u.toObject();
            }
        }
        return QJsonObject();
    }
    // Makes the client's secret a the known one.
    static bool vectorSource(unsigned char *buffer, int n)
    {
        const QByteArray a = QByteArray::fromHex(vec::VecA.toLatin1());
        if (n != a.size()) {
            return false;
        }
        memcpy(buffer, a.constData(), size_t(n));
        return true;
    }

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
};
