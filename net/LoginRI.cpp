#include "net/LoginRI.h"

#include "core/AppInfo.h"
#include "core/StringUtil.h"
#include "db/DbInfo.h"
#include "db/R7Database.h"
#include "db/User.h"
#include "db/UserDao.h"
#include "net/ISession.h"
#include "net/Request.h"
#include "net/ResponseTO.h"
#include "net/SrpClient.h"
#include "net/UserCredUtil.h"

#include <QMetaEnum>

namespace {

const QString FormContentType = QStringLiteral("application/x-www-form-urlencoded");

const char *yesNo(bool value)
{
    return value ? "yes" : "no";
}

// Every byte but the unreserved characters as %XX, before the name enters the form; the form
// encoding leaves these escapes as they are, so the service reads the name intact.
QString percentEncodedName(const QString &name)
{
    return QString::fromLatin1(name.toUtf8().toPercentEncoding(QByteArray(), QByteArray(), '%'));
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

LoginRI::LoginRI(UserCredUtil *credUtil, const AppInfo *info, ISession *session, QObject *parent)
    : GenericRI(session, parent)
    , appInfo(info)
    , userCredUtil(credUtil)
{
    qRegisterMetaType<ILoginRI::Step>("ILoginRI::Step");
}

LoginRI::~LoginRI() = default;

QString LoginRI::loginPath() const
{
    return QStringLiteral("/login");
}

QString LoginRI::logoutPath() const
{
    return appInfo->apiGeneration != 0 ? QStringLiteral("/rest/loggedin/logout")
                                       : QStringLiteral("/api/sync/1/account/logout");
}

QString LoginRI::xsrfTokenPath() const
{
    return appInfo->apiGeneration == 1 ? QString() : QStringLiteral("/api/sync/1/account/xsrfToken");
}

LoginRI::State LoginRI::stateFromString(const QString &text)
{
    if (text.isEmpty()) {
        return INVALID;
    }
    const QMetaEnum meta = QMetaEnum::fromType<State>();
    bool ok = false;
    const int value = meta.keyToValue(text.toUpper().toLatin1().constData(), &ok);
    return ok ? static_cast<State>(value) : INVALID;
}

bool LoginRI::stepRunning() const
{
    return preparingStep || !currentRequest.isNull();
}

void LoginRI::doLogin(QString userName, QString password, bool deviceKey,
                      std::function<void(const EmptyResult &)> callback)
{
    if (session->isLoggedIn()) {
        qCritical("Already logged in");
        if (callback) {
            callback(EmptyResult(EC_LOGIN_FAILED, QStringLiteral("Already logged in")));
        }
        return;
    }
    if (srpClient && stepRunning()) {
        // The running step still uses the SRP state (a credential-store call may be waiting in a
        // nested event loop): the new sign-in is refused, the running one goes on.
        qCritical("LoginRI::doLogin: a login is already in progress");
        if (callback) {
            callback(EmptyResult(EC_LOGIN_FAILED, QStringLiteral("Login already in progress")));
        }
        return;
    }
    if (srpClient) {
        // Only the wait for an SMS code is left of the earlier sign-in: it ends here.
        qWarning("LoginRI::doLogin: the login waiting for a code is replaced by a new one");
        auto earlier = std::move(loginCallback);
        endSignIn();
        if (earlier) {
            earlier(EmptyResult(EC_ABORTED, QStringLiteral("Aborted")));
        }
    }
    qDebug("LoginRI::doLogin: useDoublsec: %s", yesNo(deviceKey));
    userNameLower = userName.toLower();
    srpClient = std::make_unique<SrpClient>();
    // A failed draw leaves the secret zero; computing A refuses that in step 1.
    (void)srpClient->init(userNameLower, password);
    useDeviceKey = deviceKey;
    _mtanRequired = false;
    secondFactor = false;
    waitingForCode = false;
    tanVersion.clear();
    mtanCode.clear();
    loginCallback = std::move(callback);
    srpStep0();
}

void LoginRI::sendStep(const QUrlQuery &form, void (LoginRI::*onSuccess)())
{
    Request *request = Request::createPostForm(loginPath(), form, FormContentType);
    request->setTimeout(StepTimeoutMs);
    connect(request, &Request::success, this, onSuccess);
    connect(request, &Request::error, this, &LoginRI::onLoginError);
    currentRequest = request;
    request->send(session);
}

bool LoginRI::isCurrentReply() const
{
    // A reply of an exchange that has since ended (or been replaced) finds no sign-in to act on.
    return srpClient && sender() && sender() == currentRequest.data();
}

bool LoginRI::takeStepReply(int step, QUrlQuery &form)
{
    if (!isCurrentReply()) {
        return false;
    }
    qDebug("SRP-%d Finished", step);
    auto *request = qobject_cast<Request *>(sender());
    // An empty body is reported by the request itself and reaches onLoginError.
    if (!request || !request->parseFormResponse(form)) {
        return false;
    }
    currentRequest.clear();
    return true;
}

bool LoginRI::stepSucceeded(int step, const QUrlQuery &form)
{
    const QString success = form.queryItemValue(QStringLiteral("success"));
    if (success == QLatin1String("true")) {
        return true;
    }
    failStep(step, QStringLiteral("Error: Server response: Param success='%1'").arg(success));
    return false;
}

QString LoginRI::requiredParam(int step, const QUrlQuery &form, const QString &name)
{
    const QString value = form.queryItemValue(name);
    if (value.isEmpty()) {
        failStep(step, QStringLiteral("Error: Server response: Param %1 is empty").arg(name));
    }
    return value;
}

void LoginRI::fail(ErrorCode code, const QString &message)
{
    if (!srpClient) {
        return;
    }
    qWarning("Login error: %d (%s)", int(code), qUtf8Printable(StringUtil::escapeNonPrintable(message)));
    sessionKey.clear();
    session->setTransportKey(sessionKey);
    session->setLoggedIn(false);
    endSignIn();
    if (loginCallback) {
        loginCallback(EmptyResult(code, message));
    }
}

void LoginRI::failStep(int step, const QString &text)
{
    fail(EC_LOGIN_FAILED, QStringLiteral("Login step %1: %2").arg(step).arg(text));
}

void LoginRI::srpStep0()
{
    qDebug("SRP-0 Started");
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("step"), QStringLiteral("0"));
    form.addQueryItem(QStringLiteral("client"), QStringLiteral("SYNC"));
    form.addQueryItem(QStringLiteral("version"), QString::fromUtf8(appInfo->version));
    // A protocol value the service knows, whatever the platform.
    form.addQueryItem(QStringLiteral("ostype"), QStringLiteral("win32"));
    emit loginProgress(STEP_CONTACTING_SERVER);
    sendStep(form, &LoginRI::onSrpStep0Success);
}

void LoginRI::onSrpStep0Success()
{
    QUrlQuery form;
    if (!takeStepReply(0, form)) {
        return;
    }
    const QString success = form.queryItemValue(QStringLiteral("success"));
    if (success == QLatin1String("false")) {
        failStep(0, QStringLiteral("Error: Server response: Param success=false"));
    } else if (success == QLatin1String("unsupportedClient")) {
        fail(EC_UNSUPPORTED_CLIENT, QStringLiteral("Login step 0: Error: Server response: Unsupported client type"));
    } else if (success == QLatin1String("unsupportedVersion")) {
        fail(EC_UNSUPPORTED_VERSION,
             QStringLiteral("Login step 0: Error: Server response: Unsupported client version"));
    } else if (success == QLatin1String("true") || success == QLatin1String("supportedNotLatestVersion")) {
        emit loginProgress(STEP_CONTACTING_SERVER);
        srpStep1();
    } else {
        failStep(0, QStringLiteral("Error: Server response: Param success='%1'").arg(success));
    }
}

void LoginRI::srpStep1()
{
    qDebug("SRP-1 Started");
    emit loginProgress(STEP_PREPARE_LOGIN);
    QString aText;
    QString error;
    if (!srpClient->computeA(aText, error)) {
        qCritical("SRP-1 Internal Error: calculatePubA failed (%s)", qUtf8Printable(error));
        emit loginProgress(STEP_FAILED_PUB_A);
        fail(EC_LOGIN_FAILED, error);
        return;
    }
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("step"), QStringLiteral("1"));
    form.addQueryItem(QStringLiteral("username"), percentEncodedName(userNameLower));
    form.addQueryItem(QStringLiteral("A"), aText);
    sendStep(form, &LoginRI::onSrpStep1Success);
}

void LoginRI::onSrpStep1Success()
{
    QUrlQuery form;
    if (!takeStepReply(1, form)) {
        return;
    }
    if (!stepSucceeded(1, form)) {
        return;
    }
    const QString state = form.queryItemValue(QStringLiteral("loginState"));
    if (stateFromString(state) != IDENTIFIED) {
        failStep(1, QStringLiteral("Error: Server response: Param loginState='%1'").arg(state));
        return;
    }
    const QString B = requiredParam(1, form, QStringLiteral("B"));
    if (B.isEmpty()) {
        return;
    }
    srpClient->setB(B);
    const QString salt = requiredParam(1, form, QStringLiteral("salt"));
    if (salt.isEmpty()) {
        return;
    }
    srpClient->setSalt(salt);
    emit loginProgress(STEP_PREPARE_LOGIN);
    srpStep2();
}

void LoginRI::srpStep2()
{
    qDebug("SRP-2 Started");
    emit loginProgress(STEP_LOGGING_IN);
    QString error;
    if (!srpClient->checkServerValue(error)) {
        qCritical("SRP-2 refused the server's value: %s", qUtf8Printable(StringUtil::escapeNonPrintable(error)));
        failStep(2, QStringLiteral("Error: Server response: %1").arg(error));
        return;
    }
    QString kText;
    if (!srpClient->computeSessionKey(kText, error)) {
        qCritical("Internal Error: calculateK failed: %s", qUtf8Printable(error));
        emit loginProgress(STEP_FAILED_K);
        fail(EC_LOGIN_FAILED, error);
        return;
    }
    // The transport key is the whole 32-byte digest, so that every AES key built from it is too.
    sessionKey = srpClient->keyHex();
    QString m1Text;
    if (!srpClient->computeM1(m1Text, error)) {
        qCritical("Internal Error: calculateM1 failed: %s", qUtf8Printable(error));
        emit loginProgress(STEP_FAILED_M1);
        fail(EC_LOGIN_FAILED, error);
        return;
    }
    session->setTransportKey(sessionKey);
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("step"), QStringLiteral("2"));
    form.addQueryItem(QStringLiteral("M1"), m1Text);
    sendStep(form, &LoginRI::onSrpStep2Success);
    if (srpClient) {
        emit loginProgress(STEP_LOGGING_IN_SENT);
    }
}

void LoginRI::onSrpStep2Success()
{
    QUrlQuery form;
    if (!takeStepReply(2, form)) {
        return;
    }
    if (!stepSucceeded(2, form)) {
        return;
    }
    const QString stateText = form.queryItemValue(QStringLiteral("loginState"));
    switch (stateFromString(stateText)) {
    case INHERITANCE_EXECUTED:
        fail(EC_ACCOUNT_INHERITED, QStringLiteral("Login step 2: Account inherited"));
        return;
    case LOCKED:
        fail(EC_ACCOUNT_LOCKED, QStringLiteral("Login step 2: Account locked"));
        return;
    case PRE_AUTHENTICATED:
        emit loginProgress(STEP_TWO_FACTOR_OFF);
        _mtanRequired = false;
        qDebug("R7Session::on_finishedSrpStep2: _mtanRequired = false");
        useDeviceKey = false;
        secondFactor = false;
        break;
    case PRE_AUTHENTICATED_SMS:
        emit loginProgress(STEP_TWO_FACTOR);
        tanVersion = form.queryItemValue(QStringLiteral("smsTanVersion"));
        _mtanRequired = !tanVersion.isEmpty();
        secondFactor = true;
        if (!_mtanRequired && !useDeviceKey) {
            failStep(2, QStringLiteral("Error: No available two factor"));
            return;
        }
        break;
    default:
        failStep(2, QStringLiteral("Error: Server response: Unexpected login state: '%1'").arg(stateText));
        return;
    }
    const QString M2 = requiredParam(2, form, QStringLiteral("M2"));
    if (M2.isEmpty()) {
        return;
    }
    // Kept, not compared: how the service forms its proof is not fixed beyond this.
    srpClient->setM2(M2);
    if (_mtanRequired) {
        mtanRequired();
    } else {
        srpStep3();
    }
}

void LoginRI::mtanRequired()
{
    qDebug("LoginProgress::mtanRequired: smsCodeRequired: tanVersion: %s useDeviceKey: %s", qUtf8Printable(StringUtil::escapeNonPrintable(tanVersion)),
           yesNo(useDeviceKey));
    waitingForCode = true;
    emit smsCodeRequired(tanVersion, useDeviceKey);
}

void LoginRI::supplyMtanCode(QString code)
{
    if (!srpClient) {
        qCritical("Supplied MTAN code while no authentication is in progress");
        return;
    }
    if (!waitingForCode) {
        // A step is running; a second step 3 would race the first.
        qCritical("Supplied MTAN code while no code was asked for");
        return;
    }
    mtanCode = code;
    srpStep3();
}

void LoginRI::srpStep3()
{
    qDebug("SRP-3 Started");
    waitingForCode = false;
    emit loginProgress(STEP_LOGGING_IN);
    const QByteArray userKey = srpClient->encryptWithDerivedKey();
    if (userKey.isNull() || userKey.isEmpty()) {
        qCritical("Internal Error: Unable to get userkey.");
        emit loginProgress(STEP_FAILED_USERKEY);
        fail(EC_LOGIN_FAILED, QStringLiteral("Internal Error: Unable to get userkey."));
        return;
    }
    const User user = UserDao::instance()->storeLogin(userNameLower, session->serverKey());
    if (user.id() <= 0) {
        qCritical("R7Session::sendSrpStep3: User from settings db is not valid (id:%lld, name:'%s', server:'%s')",
                  static_cast<long long>(user.id()), qUtf8Printable(user.accountName()),
                  qUtf8Printable(user.serverId()));
    }
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("step"), QStringLiteral("3"));
    form.addQueryItem(QStringLiteral("userkey"), hex(userKey));

    // The credential store runs nested event loops from here on: a doLogin meanwhile is refused.
    preparingStep = true;
    const QString server = user.serverId();
    const QString account = user.accountName();
    if (useDeviceKey) {
        QString next;
        Step progress;
        if (_mtanRequired) {
            next = srpClient->nextDeviceKeyValue(QString::fromLatin1(mtanCode.toUpper().toLatin1().toHex()));
            progress = STEP_INITIAL_DEVICEKEY;
        } else {
            const QString previous = userCredUtil->retrieveDeviceKeyValue(server, account);
            if (previous.isEmpty()) {
                qWarning("R7Session::sendSrpStep3: Failed to retrieve previous devicekey value");
            }
            next = srpClient->nextDeviceKeyValue(previous);
            progress = STEP_DEVICEKEY;
        }
        emit loginProgress(progress);
        if (!userCredUtil->storeDeviceKeyValue(server, account, next)) {
            qWarning("R7Session::sendSrpStep3: Failed to store next devicekey value");
        }
        form.addQueryItem(QStringLiteral("tanVal"), hex(srpClient->encryptTanValue(next)));
        const QString deviceName = R7Database::instance()->getDbInfo().deviceName();
        form.addQueryItem(QStringLiteral("deviceName"), hex(srpClient->encryptDeviceName(deviceName)));
        form.addQueryItem(QStringLiteral("deviceIdentifier"), R7Database::instance()->getDbInfo().deviceId());
    } else {
        if (!userCredUtil->clearDeviceKeyValue(server, account)) {
            qWarning("R7Session::sendSrpStep3: Failed to clear devicekey value");
        }
        if (_mtanRequired) {
            form.addQueryItem(QStringLiteral("tanVal"), hex(srpClient->encryptTanValue(mtanCode)));
            emit loginProgress(STEP_MOBILE_TAN);
        } else {
            emit loginProgress(STEP_AUTHENTICATION);
        }
    }
    preparingStep = false;
    if (!srpClient) {
        return;
    }
    session->setUser(user);
    sendStep(form, &LoginRI::onSrpStep3Success);
}

void LoginRI::onSrpStep3Success()
{
    QUrlQuery form;
    if (!takeStepReply(3, form)) {
        return;
    }
    const QString success = form.queryItemValue(QStringLiteral("success"));
    const QString stateText = form.queryItemValue(QStringLiteral("loginState"));
    const State state = stateFromString(stateText);
    if (success == QLatin1String("false")) {
        const QString smsTanVersion = form.queryItemValue(QStringLiteral("smsTanVersion"));
        if (stateText.isEmpty() && useDeviceKey) {
            _mtanRequired = true;
            useDeviceKey = false;
            mtanRequired();
        } else if (state == PRE_AUTHENTICATED_SMS && !smsTanVersion.isEmpty()) {
            useDeviceKey = true;
            tanVersion = smsTanVersion;
            _mtanRequired = true;
            mtanRequired();
        } else if (!useDeviceKey && secondFactor) {
            // Asks for the code again. Without a second factor no code would ever come, so such a
            // refusal ends the sign-in below instead of waiting forever.
            mtanRequired();
        } else {
            fail(EC_LOGIN_FAILED,
                 QStringLiteral("Login step 3: Error: Invalid server response: '%1')").arg(form.query()));
        }
        return;
    }
    if (!stepSucceeded(3, form)) {
        return;
    }
    switch (state) {
    case LOGGED_IN:
        requestXsrfToken();
        return;
    case EXPIRED:
        fail(EC_ACCOUNT_EXPIRED, QStringLiteral("Login step 3: Account expired"));
        return;
    case INHERITANCE_EXECUTED:
        fail(EC_ACCOUNT_INHERITED, QStringLiteral("Account inherited"));
        return;
    default:
        failStep(3, QStringLiteral("Error: Server response: Param loginState='%1'").arg(stateText));
        return;
    }
}

void LoginRI::requestXsrfToken()
{
    qDebug("XSRF token request started");
    session->setXsrfToken(QByteArray());
    const QString path = xsrfTokenPath();
    if (path.isEmpty()) {
        emit loginProgress(STEP_LOGIN_SUCCESSFUL);
        onLoginSuccessful();
        return;
    }
    Request *request = Request::createGet(path);
    connect(request, &Request::success, this, &LoginRI::onXsrfTokenRetrieved);
    connect(request, &Request::error, this, &LoginRI::onLoginError);
    currentRequest = request;
    request->send(session);
}

void LoginRI::onXsrfTokenRetrieved()
{
    if (!isCurrentReply()) {
        return;
    }
    qDebug("XSRF token request finished");
    auto *request = qobject_cast<Request *>(sender());
    ResponseTO envelope;
    if (!request->parseJsonResponse(envelope)) {
        return;
    }
    currentRequest.clear();
    session->setXsrfToken(envelope.message().toUtf8());
    emit loginProgress(STEP_LOGIN_SUCCESSFUL);
    onLoginSuccessful();
}

void LoginRI::endSignIn()
{
    if (currentRequest) {
        currentRequest->disconnect(this);
    }
    currentRequest.clear();
    srpClient.reset();
    waitingForCode = false;
    preparingStep = false;
}

void LoginRI::onLoginSuccessful()
{
    qInfo("Login successful for user '%s'", qUtf8Printable(userNameLower));
    endSignIn();
    session->setLoggedIn(true);
    if (loginCallback) {
        loginCallback(EmptyResult(Nothing()));
    }
}

void LoginRI::onLoginError(ErrorCode code, QString message)
{
    // Failures of requests of an earlier exchange are dropped like their replies.
    if (!isCurrentReply()) {
        return;
    }
    fail(code, message);
}

void LoginRI::logout(std::function<void(const Result<LogoutTO_v1> &)> callback)
{
    if (!session->isLoggedIn()) {
        qCritical("Cannot log out while not logged in");
        return;
    }
    Request *request = Request::createPostForm(logoutPath(), QUrlQuery(), FormContentType);
    request->setTimeout(StepTimeoutMs);
    sendJsonRequest<LogoutTO_v1>(request, session, std::move(callback));
    session->setLoggedIn(false);
}
