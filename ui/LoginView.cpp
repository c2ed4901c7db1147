#include "ui/LoginView.h"
#include "ui_LoginView.h"

#include "core/AppInfo.h"
#include "core/StringUtil.h"
#include "net/crypto/Codec.h"
#include "net/LoginRI.h"
#include "net/ServerInfo.h"
#include "net/ServerList.h"
#include "net/SslUtil.h"
#include "net/UserCredUtil.h"
#include "platform/KeyboardState.h"
#include "ui/PermanentPlaceholderOverlay.h"

#include <QAction>
#include <QDesktopServices>
#include <QMessageBox>
#include <QNetworkReply>
#include <QRegExpValidator>
#include <QSettings>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace {

bool s_autoLoginArmed = true;

const char* const kSaveUsername = "account/save_username";
const char* const kSavedUsername = "account/saved_username";
const char* const kSavePassword = "account/save_password";
const char* const kAutoLogin = "app/auto_login";
const char* const kUseDeviceKey = "app/use_devicekey";

} // namespace

int LoginView::s_successPauseMs = 1200;

LoginView::LoginView(AppInfo* appInfo, UserCredUtil* userCredUtil, ServerList* serverList, LoginRI* loginRI,
                     QWidget* parent)
    : QFrame(parent), ui(new Ui::LoginView), m_appInfo(appInfo), m_userCredUtil(userCredUtil),
      m_serverList(serverList), m_loginRI(loginRI)
{
    ui->setupUi(this);
    const QString brand = m_appInfo ? m_appInfo->brandKey : QString();

    if (brand == QLatin1String("sorel")) {
        // The overlays are the placeholders here; the fields' own would show the word twice.
        ui->usernameInput->setPlaceholderText(QString());
        ui->passwordInput->setPlaceholderText(QString());
        PermanentPlaceholderOverlay::create(tr("Username"), ui->usernameInput);
        PermanentPlaceholderOverlay::create(tr("Password"), ui->passwordInput);
    }
    ui->capsLockLabel->setVisible(isCapsLockOn());
    setFocusPolicy(Qt::StrongFocus);

    ui->usernameInput->setValidator(
        new QRegExpValidator(QRegExp(QStringLiteral("\\S{%1,%2}").arg(4).arg(50), Qt::CaseSensitive), this));
    ui->passwordInput->setValidator(
        new QRegExpValidator(QRegExp(QStringLiteral(".{1,%1}").arg(50), Qt::CaseSensitive), this));
    ui->smsCodeInput->setValidator(
        new QRegExpValidator(QRegExp(QStringLiteral("[A-Za-z0-9]{4,4}"), Qt::CaseSensitive), this));

    auto addAction = [this](QWidget* host, const QString& text, void (LoginView::*slot)(bool)) {
        auto* action = new QAction(text, this);
        action->setCheckable(true);
        host->addAction(action);
        host->setContextMenuPolicy(Qt::ActionsContextMenu);
        connect(action, &QAction::toggled, this, slot);
        return action;
    };
    addAction(ui->usernameIconLabel, tr("Show Character Codes"), &LoginView::on_toggleUsernameCharCodes);
    addAction(ui->passwordIconLabel, tr("Show Password"), &LoginView::on_togglePasswordCleartext);
    addAction(ui->passwordIconLabel, tr("Show Character Codes"), &LoginView::on_togglePasswordCharCodes);
    addAction(ui->loginOptionsFrame, tr("Extended login options"), &LoginView::on_toggleExtendedLoginOptions);

    if (R7Application* app = R7Application::instance()) {
        connect(app, &R7Application::appModeChanged, this, &LoginView::on_appModeChanged, Qt::UniqueConnection);
        connect(app, &R7Application::serverConnectionConfirmed, this, &LoginView::on_readyForLogin);
        connect(app, &R7Application::appStateChanged, this, &LoginView::on_appStateChanged, Qt::UniqueConnection);
    }
    if (m_loginRI) {
        connect(m_loginRI, &LoginRI::loginProgress, this, &LoginView::on_loginProgress);
        connect(m_loginRI, &LoginRI::smsCodeRequired, this, &LoginView::on_smsCodeRequired);
    }

    resetForm();
    on_usernameInput_textChanged(ui->usernameInput->text());

    // The failure texts carry links; whatever came from the service is escaped before it gets here.
    ui->progressInfo->setTextFormat(Qt::RichText);
    ui->progressInfo->setOpenExternalLinks(true);

    ui->usernameInput->setAttribute(Qt::WA_MacShowFocusRect, false);
    ui->passwordInput->setAttribute(Qt::WA_MacShowFocusRect, false);
    ui->smsCodeInput->setAttribute(Qt::WA_MacShowFocusRect, false);

    ui->usernameCharCodesLabel->clear();
    ui->passwordCharCodesLabel->clear();

    m_capsLockTimer = new QTimer(this);
    connect(m_capsLockTimer, &QTimer::timeout, this, &LoginView::updateCapsLockState);

    if (brand == QLatin1String("sorel") || brand == QLatin1String("tamsel"))
        ui->signupButton->hide();
}

LoginView::~LoginView()
{
    m_capsLockTimer->stop();
    delete ui;
}

QString LoginView::uiStateName(int state)
{
    switch (state) {
    case Initial:
        return QStringLiteral("Initial");
    case EnterUsernamePassword_Invalid:
        return QStringLiteral("EnterUsernamePassword_Invalid");
    case EnterUsernamePassword_Valid:
        return QStringLiteral("EnterUsernamePassword_Valid");
    case Wait4UsernamePasswordLoginResponse:
        return QStringLiteral("Wait4UsernamePasswordLoginResponse");
    case BadUsernamePasswordResponse:
        return QStringLiteral("BadUsernamePasswordResponse");
    case EnterMtan_Invalid:
        return QStringLiteral("EnterMtan_Invalid");
    case EnterMtan_Valid:
        return QStringLiteral("EnterMtan_Valid");
    case Wait4MtanResponse:
        return QStringLiteral("Wait4MtanResponse");
    case BadMtanResponse:
        return QStringLiteral("BadMtanResponse");
    case LoginFailed:
        return QStringLiteral("LoginFailed");
    case LoginSuccessful:
        return QStringLiteral("LoginSuccessful");
    default:
        return QStringLiteral("Undefined");
    }
}

QString LoginView::statusText(int step)
{
    static const char* const texts[] = {
        QT_TRANSLATE_NOOP("QObject", "Contacting server..."),
        QT_TRANSLATE_NOOP("QObject", "Prepare to log in..."),
        QT_TRANSLATE_NOOP("QObject", "Logging in..."),
        QT_TRANSLATE_NOOP("QObject", "Login successful"),
        QT_TRANSLATE_NOOP("QObject", "Calculating keys..."),
        QT_TRANSLATE_NOOP("QObject", "Loading account data..."),
        QT_TRANSLATE_NOOP("QObject", "Checking for notifications..."),
        QT_TRANSLATE_NOOP("QObject", "Load passwords..."),
        QT_TRANSLATE_NOOP("QObject", "Performing authentication..."),
        QT_TRANSLATE_NOOP("QObject", "Performing 2-factor authentication..."),
        QT_TRANSLATE_NOOP("QObject", "Performing mobile TAN authentication..."),
        QT_TRANSLATE_NOOP("QObject", "Performing initial DeviceKey authentication..."),
        QT_TRANSLATE_NOOP("QObject", "Performing DeviceKey authentication..."),
        QT_TRANSLATE_NOOP("QObject", "Initializing mobile device..."),
        QT_TRANSLATE_NOOP("QObject", "Logging in..."),
        QT_TRANSLATE_NOOP("QObject", "Sign up..."),
        QT_TRANSLATE_NOOP("QObject", "Establishing secure connection..."),
        QT_TRANSLATE_NOOP("QObject", "Signed up for new account"),
        QT_TRANSLATE_NOOP("QObject", "2-factor authentication is off..."),
        QT_TRANSLATE_NOOP("QObject", "Logout..."),
        QT_TRANSLATE_NOOP("QObject", "Logged out"),
        QT_TRANSLATE_NOOP("QObject", "Login failed (K)"),
        QT_TRANSLATE_NOOP("QObject", "Login failed (M1)"),
        QT_TRANSLATE_NOOP("QObject", "Login failed (PUB_A)"),
        QT_TRANSLATE_NOOP("QObject", "Login failed (USERKEY)"),
        QT_TRANSLATE_NOOP("QObject", "Login failed (XSRF)"),
    };
    if (step < 0 || step >= int(sizeof(texts) / sizeof(texts[0])))
        return QString();
    return QCoreApplication::translate("QObject", texts[step]);
}

bool LoginView::autoLoginArmed()
{
    return s_autoLoginArmed;
}

void LoginView::setAutoLoginArmed(bool armed)
{
    s_autoLoginArmed = armed;
}

void LoginView::setSuccessPauseForTesting(int ms)
{
    s_successPauseMs = ms;
}

bool LoginView::isCapsLockOn()
{
    return KeyboardState::capsLock() == KeyboardState::On;
}

void LoginView::setUiState(int state)
{
    if (state == _uiState)
        return;
    qDebug("LoginView::setUiState: %s -> %s", qUtf8Printable(uiStateName(_uiState)), qUtf8Printable(uiStateName(state)));
    const bool waiting = state == Wait4UsernamePasswordLoginResponse || state == Wait4MtanResponse
                         || state == LoginSuccessful;
    ui->loginBox->setEnabled(!waiting);
    ui->horizontalLayout->setEnabled(!waiting);
    ui->mtanFrame->setEnabled(!waiting);
    if (state == EnterUsernamePassword_Valid || state == EnterMtan_Invalid)
        showProgress(QString(), false);
    if (state == BadUsernamePasswordResponse)
        ui->usernameInput->setFocus(Qt::OtherFocusReason);
    if (state == BadMtanResponse)
        ui->smsCodeInput->setFocus(Qt::OtherFocusReason);
    _uiState = state;
}

void LoginView::resetForm()
{
    setUiState(Initial);
    // clear() is an edit that Undo takes back; setText() starts the field's history anew, so the
    // next person at the page gets back neither the user name nor the password nor the code.
    ui->usernameInput->setText(QString());
    ui->passwordInput->setText(QString());
    ui->smsCodeInput->setText(QString());
    loadFromSettings();
    ui->mtanFrame->hide();
    ui->loginFrame->show();
    ui->cancelButton->hide();
    ui->helpButton->show();
    ui->progressInfo->hide();
    ui->usernameHelperFrame->hide();
    ui->passwordHelperFrame->hide();
    ui->rememberUsernameCheckBox->hide();
    ui->rememberPasswordCheckBox->hide();
    ui->autoLoginAtStartCheckBox->hide();
}

QString LoginView::charCodes(const QString& text)
{
    return QStringLiteral("[%1] UTF-8: ").arg(text.size()) + Codec::utf8ToHex(text, QStringLiteral(" "));
}

void LoginView::updateCredentialState()
{
    if (ui->usernameInput->hasAcceptableInput() && ui->passwordInput->hasAcceptableInput())
        setUiState(EnterUsernamePassword_Valid);
    else
        setUiState(EnterUsernamePassword_Invalid);
}

void LoginView::on_usernameInput_textChanged(const QString& text)
{
    updateCredentialState();
    ui->usernameCharCodesLabel->setText(charCodes(text));
}

void LoginView::on_passwordInput_textChanged(const QString& text)
{
    if (text.isEmpty() && m_passwordFromStore) {
        m_passwordFromStore = false;
        // Undo would otherwise bring the saved password back, now shown.
        ui->passwordInput->setText(QString());
        applyPasswordEchoMode();
    }
    updateCredentialState();
    // Shown to the user who asked for it; never written to the log.
    ui->passwordCharCodesLabel->setText(m_passwordFromStore ? QString() : charCodes(text));
}

void LoginView::on_smsCodeInput_textChanged(const QString& mtan)
{
    const QString upper = mtan.toUpper();
    if (upper != mtan) {
        ui->smsCodeInput->setText(upper);
        return;
    }
    setUiState(ui->smsCodeInput->hasAcceptableInput() ? EnterMtan_Valid : EnterMtan_Invalid);
}

void LoginView::on_loginButton_clicked()
{
    startOrProceedLogin();
}

void LoginView::on_usernameInput_returnPressed()
{
    startOrProceedLogin();
}

void LoginView::on_passwordInput_returnPressed()
{
    startOrProceedLogin();
}

void LoginView::on_smsCodeInput_returnPressed()
{
    startOrProceedLogin();
}

void LoginView::on_cancelButton_clicked()
{
    resetForm();
}

void LoginView::on_helpButton_clicked()
{
    QDesktopServices::openUrl(QUrl(tr("${URL_HELP}")));
}

void LoginView::on_signupButton_clicked()
{
    QDesktopServices::openUrl(QUrl(tr("${APP_BASE_URL}/en/signup")));
}

void LoginView::on_toggleUsernameCharCodes(bool show)
{
    ui->usernameHelperFrame->setVisible(show);
}

void LoginView::on_togglePasswordCharCodes(bool show)
{
    ui->passwordHelperFrame->setVisible(show);
}

void LoginView::on_togglePasswordCleartext(bool show)
{
    m_cleartextWanted = show;
    applyPasswordEchoMode();
}

void LoginView::applyPasswordEchoMode()
{
    // Whoever can reach the sign-in page (sign-out stays open while the password safe is locked)
    // must not read the saved password there.
    const bool show = m_cleartextWanted && !m_passwordFromStore;
    ui->passwordInput->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password);
}

void LoginView::on_toggleExtendedLoginOptions(bool show)
{
    ui->rememberUsernameCheckBox->setVisible(show);
    ui->rememberPasswordCheckBox->setVisible(show);
    ui->autoLoginAtStartCheckBox->setVisible(show);
}

void LoginView::updateCapsLockState()
{
    ui->capsLockLabel->setVisible(isCapsLockOn());
}

void LoginView::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    if (ui->usernameInput->text().isEmpty())
        ui->usernameInput->setFocus(Qt::OtherFocusReason);
    else
        ui->passwordInput->setFocus(Qt::OtherFocusReason);
    updateCapsLockState();
    m_capsLockTimer->start(500);
}

void LoginView::hideEvent(QHideEvent* event)
{
    m_capsLockTimer->stop();
    QFrame::hideEvent(event);
}

void LoginView::showProgress(const QString& msg, bool isError)
{
    if (msg.isEmpty()) {
        ui->progressInfo->clear();
        ui->progressInfo->setStyleSheet(QString());
        ui->progressInfo->hide();
        return;
    }
    ui->progressInfo->setText(msg);
    ui->progressInfo->show();
    ui->progressInfo->setObjectName(isError ? QStringLiteral("progressInfoError") : QStringLiteral("progressInfo"));
    ui->progressInfo->style()->unpolish(ui->progressInfo);
    ui->progressInfo->style()->polish(ui->progressInfo);
}

void LoginView::connectLoginResult()
{
    R7Application* app = R7Application::instance();
    if (!app)
        return;
    connect(app, &R7Application::loginFailed, this, &LoginView::on_loginFailed, Qt::UniqueConnection);
    connect(app, &R7Application::sslErrors, this, &LoginView::on_sslErrors, Qt::UniqueConnection);
}

void LoginView::startOrProceedLogin()
{
    R7Application* app = R7Application::instance();
    if (app)
        app->setStatusText(QString());
    if (_uiState == EnterUsernamePassword_Valid || _uiState == LoginFailed) {
        if (app && !app->storeLocalPasswordHash(ui->passwordInput->text()))
            qCritical("LoginView::startOrProceedLogin: Unable to save password hash in memory");
        s_autoLoginArmed = false;
        connectLoginResult();
        setUiState(Wait4UsernamePasswordLoginResponse);
        qDebug("LoginView::startOrProceedLogin: user: '%s'",
               qUtf8Printable(StringUtil::escapeNonPrintable(ui->usernameInput->text().toLower())));
        if (app)
            app->doLogin(ui->usernameInput->text().toLower(), ui->passwordInput->text());
    } else if (_uiState == EnterMtan_Valid) {
        connectLoginResult();
        setUiState(Wait4MtanResponse);
        if (m_loginRI)
            static_cast<ILoginRI*>(m_loginRI)->supplyMtanCode(ui->smsCodeInput->text());
    }
}

void LoginView::on_appModeChanged(R7Application::AppMode mode)
{
    Q_UNUSED(mode)
}

void LoginView::on_loginProgress(ILoginRI::Step loginStep)
{
    showProgress(statusText(loginStep), false);
    if (loginStep == ILoginRI::STEP_LOGIN_SUCCESSFUL && s_successPauseMs > 0) {
        repaint();
        QThread::msleep(s_successPauseMs);
    }
}

void LoginView::on_smsCodeRequired(const QString& smsRef, bool useDeviceKey)
{
    Q_UNUSED(useDeviceKey)
    setUiState(EnterMtan_Invalid);
    ui->mtanFrame->show();
    ui->loginFrame->hide();
    ui->cancelButton->show();
    ui->helpButton->hide();
    ui->smsRefText->setText(smsRef);
    ui->loginButton->setEnabled(true);
    ui->smsCodeInput->setFocus(Qt::OtherFocusReason);
}

void LoginView::on_loginFailed(ErrorCode errcode, const QString& errmsg)
{
    QString message;
    switch (errcode) {
    case EC_NETWORK:
    case EC_SERVICE_UNAVAILABLE:
    case EC_SSL_HANDSHAKE:
    case EC_EMPTY_RESPONSE:
        message = tr("Unable to connect to ${APP_NAME}");
        break;
    case EC_TIMEOUT:
        message = tr("Timeout while contacting ${APP_NAME}");
        break;
    case EC_UNKNOWN_NETWORK:
    case EC_HOST_NOT_FOUND:
        message = tr("Unable to connect to the Internet");
        break;
    case EC_PROXY_AUTH:
        message = tr("Proxy authentication required");
        break;
    case EC_CONNECTION_REFUSED:
        message = tr("${APP_NAME} service currently not available &nbsp;&nbsp;&nbsp;<a href=\"${URL_HELP}\" "
                     "style=\"color: black;\">More &gt;</a>");
        break;
    case EC_UNSUPPORTED_CLIENT:
        message = tr("Client not supported &nbsp;&nbsp;&nbsp;<a href=\"${APP_BASE_URL}/en/sync\" "
                     "style=\"color: black;\">More &gt;</a>");
        break;
    case EC_UNSUPPORTED_VERSION:
        message = tr("Client outdated &nbsp;&nbsp;&nbsp;<a href=\"${APP_BASE_URL}/en/sync\" "
                     "style=\"color: black;\">More &gt;</a>");
        break;
    case EC_ACCOUNT_EXPIRED:
        message = tr("Account is expired &nbsp;&nbsp;&nbsp;<a href=\"${APP_BASE_URL}/en/faq/acct-mgmt/"
                     "end-of-subscription\" style=\"color: black;\">More &gt;</a>");
        break;
    case EC_ACCOUNT_INHERITED:
        message = tr("Inheritance executed &nbsp;&nbsp;&nbsp;<a href=\"${APP_BASE_URL}/en/faq/inheritance\" "
                     "style=\"color: black;\">More &gt;</a>");
        break;
    case EC_ACCOUNT_LOCKED:
        message = tr("Account locked &nbsp;&nbsp;&nbsp;<a href=\"${APP_BASE_URL}/en/support\" "
                     "style=\"color: black;\">More &gt;</a>");
        break;
    case EC_LOGIN_FAILED:
        if (_uiState == Wait4UsernamePasswordLoginResponse) {
            showProgress(tr("Invalid username or password"), true);
            setUiState(BadUsernamePasswordResponse);
            return;
        }
        if (_uiState == Wait4MtanResponse) {
            showProgress(tr("Invalid SMS code"), true);
            setUiState(BadMtanResponse);
            return;
        }
        message = errmsg.toHtmlEscaped();
        break;
    default:
        // Without a text of our own the failing layer's message is shown: a sign-in must never
        // stay waiting for an answer that has already come.
        message = errmsg.toHtmlEscaped();
        break;
    }
    if (message.isEmpty())
        message = tr("Login failed [code: %1]").arg(int(errcode));
    showProgress(message, true);
    setUiState(LoginFailed);
}

void LoginView::on_sslErrors(QNetworkReply* reply, const QList<QSslError>& errors)
{
    QStringList entries;
    for (const QSslError& error : errors) {
        entries << QStringLiteral("%1 (%2:%3)")
                       .arg(error.errorString(), SslUtil::sslErrorName(int(error.error())))
                       .arg(int(error.error()));
    }
    const QString list = QStringLiteral("[%1]: ").arg(errors.size()) + entries.join(QLatin1Char(','));
    R7Application* app = R7Application::instance();
    if (!app || !app->ignoreSslErrors())
        return;
    const QString url = m_serverList ? m_serverList->currentServer().url() : QString();
    const auto answer = QMessageBox::warning(
        nullptr, tr("SSL"),
        tr("There were problems connecting to '%1' using SSL:\n\n%2\n\nYou should not proceed, especially if "
           "you have never seen this warning before\n\nDo you want to proceed anyway?")
            .arg(url, list),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer == QMessageBox::No)
        return;
    qWarning("LoginView::on_sslErrors: proceeding despite SSL errors: %s",
             qUtf8Printable(StringUtil::escapeNonPrintable(list)));
    if (reply)
        reply->ignoreSslErrors(errors);
}

void LoginView::on_appStateChanged(R7Application::AppState state)
{
    if (state == R7Application::APP_STATE_LOGGED_OUT) {
        resetForm();
    } else if (state == R7Application::APP_STATE_LOGGED_IN) {
        showProgress(tr("logged in"), false);
        setUiState(LoginSuccessful);
        saveToSettings();
        resetForm();
    }
}

QString LoginView::currentServerKey() const
{
    return m_serverList ? m_serverList->currentServer().prefix() : QString();
}

void LoginView::loadFromSettings()
{
    _loadingSettings = true;
    QSettings settings;
    const bool saveUsername = settings.value(kSaveUsername, false).toBool();
    ui->rememberUsernameCheckBox->setChecked(saveUsername);
    QString savedUsername;
    if (saveUsername) {
        savedUsername = settings.value(kSavedUsername).toString();
        if (!savedUsername.isEmpty())
            ui->usernameInput->setText(savedUsername);
    }
    const bool savePassword = settings.value(kSavePassword, false).toBool();
    ui->rememberPasswordCheckBox->setChecked(savePassword);
    if (saveUsername && !savedUsername.isEmpty() && savePassword && m_serverList && m_userCredUtil) {
        const QString password = m_userCredUtil->retrievePassword(currentServerKey(), savedUsername);
        if (!password.isEmpty()) {
            m_passwordFromStore = true;
            applyPasswordEchoMode();
            ui->passwordInput->setText(password);
        }
    }
    ui->autoLoginAtStartCheckBox->setChecked(settings.value(kAutoLogin, false).toBool());
    settings.setValue(kUseDeviceKey, settings.value(kUseDeviceKey, false).toBool());
    updateMasterAutoLoginCheckBox();
    _loadingSettings = false;
}

void LoginView::saveToSettings()
{
    QSettings settings;
    const QString user = ui->usernameInput->text();
    const bool saveUser = settings.value(kSaveUsername, false).toBool() && !user.isEmpty();
    settings.setValue(kSavedUsername, saveUser ? user : QString());
    if (!saveUser || !m_userCredUtil || !m_serverList)
        return;
    if (settings.value(kSavePassword, false).toBool()) {
        if (!m_userCredUtil->storePassword(currentServerKey(), user, ui->passwordInput->text()))
            qWarning("LoginView::saveToSettings: Failed to store password.");
    } else {
        m_userCredUtil->clearPassword(currentServerKey(), user);
    }
}

void LoginView::updateMasterAutoLoginCheckBox()
{
    const int checked = int(ui->rememberUsernameCheckBox->isChecked()) + int(ui->rememberPasswordCheckBox->isChecked())
                        + int(ui->autoLoginAtStartCheckBox->isChecked());
    if (checked == 0) {
        ui->masterAutoLoginCheckBox->setCheckState(Qt::Unchecked);
    } else if (checked == 3) {
        ui->masterAutoLoginCheckBox->setCheckState(Qt::Checked);
    } else {
        ui->masterAutoLoginCheckBox->setTristate(true);
        ui->masterAutoLoginCheckBox->setCheckState(Qt::PartiallyChecked);
    }
}

void LoginView::on_rememberUsernameCheckBox_clicked(bool checked)
{
    if (!checked) {
        ui->rememberPasswordCheckBox->setChecked(false);
        ui->autoLoginAtStartCheckBox->setChecked(false);
    }
    updateMasterAutoLoginCheckBox();
}

void LoginView::on_rememberPasswordCheckBox_clicked(bool checked)
{
    if (checked)
        ui->rememberUsernameCheckBox->setChecked(true);
    else
        ui->autoLoginAtStartCheckBox->setChecked(false);
    updateMasterAutoLoginCheckBox();
}

void LoginView::on_autoLoginAtStartCheckBox_clicked(bool checked)
{
    if (checked) {
        ui->rememberUsernameCheckBox->setChecked(true);
        ui->rememberPasswordCheckBox->setChecked(true);
    }
    updateMasterAutoLoginCheckBox();
}

void LoginView::on_masterAutoLoginCheckBox_clicked(bool checked)
{
    ui->masterAutoLoginCheckBox->setTristate(false);
    ui->rememberUsernameCheckBox->setChecked(checked);
    ui->rememberPasswordCheckBox->setChecked(checked);
    ui->autoLoginAtStartCheckBox->setChecked(checked);
    updateMasterAutoLoginCheckBox();
}

void LoginView::on_rememberUsernameCheckBox_toggled(bool checked)
{
    if (_loadingSettings)
        return;
    QSettings settings;
    if (checked) {
        settings.setValue(kSaveUsername, true);
    } else {
        settings.remove(kSaveUsername);
        settings.remove(kSavedUsername);
    }
}

void LoginView::on_rememberPasswordCheckBox_toggled(bool checked)
{
    if (_loadingSettings)
        return;
    QSettings settings;
    if (checked) {
        settings.setValue(kSavePassword, true);
        return;
    }
    settings.remove(kSavePassword);
    // With the field empty the secret of the saved account would stay behind; clear that one.
    QString user = ui->usernameInput->text();
    if (user.isEmpty())
        user = settings.value(kSavedUsername).toString();
    if (!user.isEmpty() && m_userCredUtil && m_serverList)
        m_userCredUtil->clearPassword(currentServerKey(), user);
}

void LoginView::on_autoLoginAtStartCheckBox_toggled(bool checked)
{
    if (_loadingSettings)
        return;
    QSettings settings;
    if (checked)
        settings.setValue(kAutoLogin, true);
    else
        settings.remove(kAutoLogin);
}

void LoginView::on_readyForLogin()
{
    s_autoLoginArmed = true;
    setEnabled(true);
    evAutoLogin();
}

void LoginView::evAutoLogin()
{
    R7Application* app = R7Application::instance();
    if (s_autoLoginArmed && ui->rememberUsernameCheckBox->isChecked() && !ui->usernameInput->text().isEmpty()
        && ui->rememberPasswordCheckBox->isChecked() && !ui->passwordInput->text().isEmpty()
        && ui->autoLoginAtStartCheckBox->isChecked()) {
        if (app)
            app->setStatusText(tr("Login automatically"));
        qDebug("LoginView::evAutoLogin: automatic login");
        startOrProceedLogin();
    } else {
        // Only our own notice goes: the server check has just put its verdict there.
        if (app && app->statusText() == tr("Login automatically"))
            app->setStatusText(QString());
        qDebug("LoginView::evAutoLogin: no automatic login");
    }
}
