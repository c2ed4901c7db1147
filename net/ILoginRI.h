#pragma once

#include "net/LogoutTO_v1.h"
#include "net/Result.h"

#include <QMetaType>
#include <QString>

#include <functional>

// Signing in to the service and signing out, as the application object and the login view see it.
class ILoginRI
{
public:
    // The progress of a sign-in; the login view shows a text for each value.
    enum Step {
        STEP_CONTACTING_SERVER = 0,
        STEP_PREPARE_LOGIN = 1,
        STEP_LOGGING_IN = 2,
        STEP_LOGIN_SUCCESSFUL = 3,
        STEP_CALCULATING_KEYS = 4,
        STEP_LOADING_ACCOUNT = 5,
        STEP_CHECKING_NOTIFICATIONS = 6,
        STEP_LOAD_PASSWORDS = 7,
        STEP_AUTHENTICATION = 8,
        STEP_TWO_FACTOR = 9,
        STEP_MOBILE_TAN = 10,
        STEP_INITIAL_DEVICEKEY = 11,
        STEP_DEVICEKEY = 12,
        STEP_INIT_MOBILE_DEVICE = 13,
        STEP_LOGGING_IN_SENT = 14,
        STEP_SIGN_UP = 15,
        STEP_SECURE_CONNECTION = 16,
        STEP_SIGNED_UP = 17,
        STEP_TWO_FACTOR_OFF = 18,
        STEP_LOGOUT = 19,
        STEP_LOGGED_OUT = 20,
        STEP_FAILED_K = 21,
        STEP_FAILED_M1 = 22,
        STEP_FAILED_PUB_A = 23,
        STEP_FAILED_USERKEY = 24,
        STEP_FAILED_XSRF = 25,
    };

    virtual ~ILoginRI();

    virtual void doLogin(QString userName, QString password, bool useDeviceKey,
                         std::function<void(const EmptyResult &)> callback) = 0;
    virtual void logout(std::function<void(const Result<LogoutTO_v1> &)> callback) = 0;
    // The code the user typed after smsCodeRequired.
    virtual void supplyMtanCode(QString code) = 0;
};

Q_DECLARE_METATYPE(ILoginRI::Step)
