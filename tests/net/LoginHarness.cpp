#include "tests/net/LoginHarness.h"
#include "tests/net/LoginVectors.h"

#include <QSignalSpy>
#include <QUuid>
#include <QtTest>

using namespace vec;

void LoginHarness::setUpCase()
{
    env = std::make_unique<TestEnv>();
    svc = std::make_unique<DevService>();
    QVERIFY2(svc->start(), qPrintable(svc->errorString()));
    // Its own credential-store item, apart from other tests of the same session.
    appName = "tessarvale-login-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
    auto makeInfo = [this](int generation) {
        return std::make_unique<AppInfo>("Tessarvale", appName.constData(), "2.2.4", "", "", "Varnel", "varnel.example",
                                         "example.varnel", "https://www.varnel.example", "Tessarvale", generation,
                                         "varnel");
    };
    info = makeInfo(1);
    infoGen0 = makeInfo(0);
    R7Database::instance()->init(info.get());
    QVERIFY(!R7Database::instance()->getDbInfo().deviceId().isEmpty());
    creds = std::make_unique<UserCredUtil>(info.get());
    session = R7Session::instance();
    server = ServerInfo(QStringLiteral("dev"), QStringLiteral("dev"), QStringLiteral("Development"), svc->httpUrl(),
                        false);
    session->setServer(server);
}

void LoginHarness::setUp()
{
    QVERIFY(svc->reset());
    // No remembered device at the service unless a test gives one.
    setUser({{"name", DevService::smsUser()}, {"devices", QJsonValue::Null}});
    session->setTransportKey(QString());
    session->setXsrfToken(QByteArray());
    session->resetSession();
    restart(info.get());
}

void LoginHarness::tearDown()
{
    setRandomSourceForTesting(nullptr);
    login.reset();
    rec.reset();
}

void LoginHarness::restart(const AppInfo *appInfo)
{
    session->setLoggedIn(false);
    login.reset();
    rec = std::make_unique<LoginRecorder>();
    login = std::make_unique<LoginRI>(creds.get(), appInfo, session);
    connect(login.get(), &LoginRI::loginProgress, rec.get(), &LoginRecorder::onProgress);
    connect(login.get(), &LoginRI::smsCodeRequired, rec.get(), &LoginRecorder::onSms);
}

void LoginHarness::start(const QString &user, const QString &password, bool deviceKey)
{
    awaited = rec->results.size() + 1;
    login->doLogin(user, password, deviceKey, rec->callback());
}

EmptyResult LoginHarness::waitResult()
{
    if (rec->results.size() < awaited) {
        QSignalSpy spy(rec.get(), &LoginRecorder::finished);
        spy.wait(15000);
    }
    return rec->results.size() < awaited ? EmptyResult(EC_CLIENT, QStringLiteral("no result"))
                                         : rec->results.at(awaited - 1);
}

QList<QUrlQuery> LoginHarness::loginForms(const QString &step)
{
    QList<QUrlQuery> forms;
    for (const QJsonValue &v : svc->requests()) {
        const QJsonObject r = v.toObject();
        if (r.value("path").toString() != QLatin1String("/login")) {
            continue;
        }
        QUrlQuery form(r.value("body").toString());
        if (step.isEmpty() || form.queryItemValue("step") == step) {
            forms.append(form);
        }
    }
    return forms;
}

void LoginHarness::setUser(const QJsonObject &args)
{
    const QJsonObject reply = svc->control("user", args);
    QVERIFY2(reply.value("ok").toBool(), qPrintable(QJsonDocument(reply).toJson()));
}

QJsonObject LoginHarness::userState(const QString &name)
{
    for (const QJsonValue &u : svc->state().value("users").toArray()) {
        if (u.toObject().value("name").toString() == name) {
            return u.toObject();
        }
    }
    return QJsonObject();
}

bool LoginHarness::vectorSource(unsigned char *buffer, int n)
{
    // Makes the client's secret a the known one.
    const QByteArray a = QByteArray::fromHex(VecA.toLatin1());
    if (n != a.size()) {
        return false;
    }
    memcpy(buffer, a.constData(), size_t(n));
    return true;
}
