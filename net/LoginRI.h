#pragma once

#include "net/GenericRI.h"
#include "net/ILoginRI.h"

#include <QPointer>
#include <QString>
#include <QUrlQuery>

#include <functional>
#include <memory>

class AppInfo;
class Request;
class SrpClient;
class UserCredUtil;

// The client side of the SRP sign-in (four form posts on "/login", then the anti-forgery token of
// the older path generation) and of the sign-out. On success the session holds the user record,
// the transport key and the logged-in flag.
class LoginRI
    : public GenericRI
    , public ILoginRI
{
    Q_OBJECT
public:
    // The service's "loginState" values.
    enum State {
        INVALID = -1,
        INITIAL = 0,
        IDENTIFIED = 1,
        PRE_AUTHENTICATED = 2,
        PRE_AUTHENTICATED_SMS = 3,
        LOGGED_IN = 4,
        EXPIRED = 5,
        INHERITANCE_EXECUTED = 6,
        LOCKED = 7,
    };
    Q_ENUM(State)

    LoginRI(UserCredUtil *userCredUtil, const AppInfo *appInfo, ISession *session, QObject *parent = nullptr);
    ~LoginRI() override;

    void doLogin(QString userName, QString password, bool useDeviceKey,
                 std::function<void(const EmptyResult &)> callback) override;
    void logout(std::function<void(const Result<LogoutTO_v1> &)> callback) override;
    void supplyMtanCode(QString code) override;

    static State stateFromString(const QString &text);

    QString loginPath() const;
    QString logoutPath() const;
    QString xsrfTokenPath() const;

    static const int StepTimeoutMs = 8000;

signals:
    void smsCodeRequired(QString smsRef, bool deviceKey);
    void loginProgress(ILoginRI::Step loginStep);

public slots:
    void srpStep0();
    void onSrpStep0Success();
    void srpStep1();
    void onSrpStep1Success();
    void srpStep2();
    void onSrpStep2Success();
    void srpStep3();
    void onSrpStep3Success();
    void requestXsrfToken();
    void onXsrfTokenRetrieved();

private slots:
    void onLoginError(ErrorCode code, QString message);

private:
    void onLoginSuccessful();
    void mtanRequired();
    // The single exit of every failed sign-in.
    void fail(ErrorCode code, const QString &message);
    void failStep(int step, const QString &text);
    void sendStep(const QUrlQuery &form, void (LoginRI::*onSuccess)());
    bool isCurrentReply() const;
    // The form of this step's reply; false when the reply is stale or unreadable.
    bool takeStepReply(int step, QUrlQuery &form);
    // Both fail the sign-in where the reply does not hold what the step needs.
    bool stepSucceeded(int step, const QUrlQuery &form);
    QString requiredParam(int step, const QUrlQuery &form, const QString &name);
    bool stepRunning() const;
    void endSignIn();

    const AppInfo *appInfo;
    UserCredUtil *userCredUtil;
    std::unique_ptr<SrpClient> srpClient;
    std::function<void(const EmptyResult &)> loginCallback;
    QPointer<Request> currentRequest;
    QString sessionKey;
    bool _mtanRequired = false;
    bool useDeviceKey = false;
    QString tanVersion;
    QString mtanCode;

    QString userNameLower;
    // Step 2 asked for a second factor: only then can a refused step 3 be answered with a code.
    bool secondFactor = false;
    // Waiting for supplyMtanCode, with no request outstanding.
    bool waitingForCode = false;
    // Inside a step that runs nested event loops (the credential store).
    bool preparingStep = false;
};
