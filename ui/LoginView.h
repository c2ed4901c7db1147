#pragma once

#include "core/R7Application.h"
#include "net/ErrorCode.h"
#include "net/ILoginRI.h"

#include <QFrame>
#include <QList>
#include <QSslError>

class AppInfo;
class LoginRI;
class QNetworkReply;
class QTimer;
class ServerList;
class UserCredUtil;

namespace Ui {
class LoginView;
}

// The sign-in page: account name and password, the SMS-code step of a second factor, the options
// to remember credentials and sign in automatically, and a progress line for steps and failures.
class LoginView : public QFrame
{
    Q_OBJECT

public:
    enum UiState {
        Initial = 0,
        EnterUsernamePassword_Invalid = 1,
        EnterUsernamePassword_Valid = 2,
        Wait4UsernamePasswordLoginResponse = 3,
        BadUsernamePasswordResponse = 4,
        EnterMtan_Invalid = 5,
        EnterMtan_Valid = 6,
        Wait4MtanResponse = 7,
        BadMtanResponse = 8,
        LoginFailed = 9,
        LoginSuccessful = 10,
    };
    Q_ENUM(UiState)

    LoginView(AppInfo* appInfo, UserCredUtil* userCredUtil, ServerList* serverList, LoginRI* loginRI,
              QWidget* parent = nullptr);
    ~LoginView() override;

    static QString uiStateName(int state);
    static QString statusText(int step);

    int uiState() const { return _uiState; }
    void showProgress(const QString& msg, bool isError);
    void startOrProceedLogin();
    void resetForm();
    void loadFromSettings();
    void saveToSettings();
    void evAutoLogin();

    // Whether a sign-in may still start by itself; set by every confirmed server connection.
    static bool autoLoginArmed();
    static void setAutoLoginArmed(bool armed);
    // The pause that lets "Login successful" be read; tests shorten it.
    static void setSuccessPauseForTesting(int ms);
    static bool isCapsLockOn();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

public slots:
    void on_usernameInput_textChanged(const QString& text);
    void on_passwordInput_textChanged(const QString& text);
    void on_smsCodeInput_textChanged(const QString& mtan);
    void on_loginButton_clicked();
    void on_usernameInput_returnPressed();
    void on_passwordInput_returnPressed();
    void on_smsCodeInput_returnPressed();
    void on_cancelButton_clicked();
    void on_helpButton_clicked();
    void on_signupButton_clicked();
    void on_rememberUsernameCheckBox_clicked(bool checked);
    void on_rememberUsernameCheckBox_toggled(bool checked);
    void on_rememberPasswordCheckBox_clicked(bool checked);
    void on_rememberPasswordCheckBox_toggled(bool checked);
    void on_autoLoginAtStartCheckBox_clicked(bool checked);
    void on_autoLoginAtStartCheckBox_toggled(bool checked);
    void on_masterAutoLoginCheckBox_clicked(bool checked);

public:
    // Reached through connections made in code (context actions, timer, application, login
    // interface); kept out of the slot list so that the form's by-name wiring sees only its own.
    void on_toggleUsernameCharCodes(bool show);
    void on_togglePasswordCharCodes(bool show);
    void on_togglePasswordCleartext(bool show);
    void on_toggleExtendedLoginOptions(bool show);
    void updateCapsLockState();
    void on_appModeChanged(R7Application::AppMode mode);
    void on_appStateChanged(R7Application::AppState state);
    void on_loginProgress(ILoginRI::Step loginStep);
    void on_smsCodeRequired(const QString& smsRef, bool useDeviceKey);
    void on_loginFailed(ErrorCode errcode, const QString& errmsg);
    void on_sslErrors(QNetworkReply* reply, const QList<QSslError>& errors);
    void on_readyForLogin();

private:
    void setUiState(int state);
    void updateCredentialState();
    void updateMasterAutoLoginCheckBox();
    void applyPasswordEchoMode();
    void connectLoginResult();
    QString currentServerKey() const;
    static QString charCodes(const QString& text);

    Ui::LoginView* ui;
    AppInfo* m_appInfo;
    UserCredUtil* m_userCredUtil;
    ServerList* m_serverList;
    LoginRI* m_loginRI;
    int _uiState = Initial;
    bool _loadingSettings = false;
    // The field holds the password filled in from the credential store: it is never shown, neither
    // in clear nor as character codes, until the user has emptied the field.
    bool m_passwordFromStore = false;
    bool m_cleartextWanted = false;
    QTimer* m_capsLockTimer = nullptr;
    static int s_successPauseMs;
};
