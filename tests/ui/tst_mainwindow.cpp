// The main window inside the real application object, signing in and out against the development
// service: page switching, a fresh main view per period, the attention mark, the wizard's
// deferred deletion and the login view's failure line.
#include "core/AppInfo.h"
#include "core/R7Application.h"
#include "net/R7Session.h"
#include "net/ServerList.h"
#include "tests/support/DevService.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"
#include "ui/LoginView.h"
#include "ui/MainTab.h"
#include "ui/MainView.h"
#include "ui/MainWindow.h"
#include "ui/WizardView.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

public:
    explicit TestMainWindow(R7Application* app) : m_app(app) {}

private slots:
    void initTestCase();
    void wrongPasswordShowsTheMessage();
    void signInShowsTheMainPage();
    void wizardIsDeletedAfterItsFinishClick();
    void signOutAndSignInAgain();
    void signedInTwiceBuildsOneMainView();

private:
    void signIn(const QString& password);
    void signOut();
    MainWindow* window() const { return m_app->mainWindow(); }
    template<typename T>
    T* child(const char* name) const
    {
        T* widget = window()->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }

    R7Application* m_app;
    QPointer<MainView> m_firstMainView;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(window());
    LoginView::setSuccessPauseForTesting(0);
    QCOMPARE(window()->currentPage(), int(MainWindow::PAGE_LOGIN));
    QVERIFY(!window()->mainView());
    QVERIFY(window()->loginView()->isVisible());
}

void TestMainWindow::signIn(const QString& password)
{
    QLineEdit* user = child<QLineEdit>("usernameInput");
    QLineEdit* pass = child<QLineEdit>("passwordInput");
    user->clear();
    pass->clear();
    // Typed in capitals: the sign-in lower-cases the account name.
    QTest::keyClicks(user, DevService::demoUser().toUpper());
    QTest::keyClicks(pass, password);
    QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
}

void TestMainWindow::wrongPasswordShowsTheMessage()
{
    QSignalSpy failed(m_app, &R7Application::loginFailed);
    signIn(QStringLiteral("wrong-password"));
    QVERIFY(failed.wait(20000));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(window()->loginView()->uiState(), int(LoginView::BadUsernamePasswordResponse));
    QCOMPARE(child<QLabel>("progressInfoError")->text(), QStringLiteral("Invalid username or password"));
    QCOMPARE(window()->currentPage(), int(MainWindow::PAGE_LOGIN));
}

void TestMainWindow::signInShowsTheMainPage()
{
    m_app->setSyncSettingsAttention(3);
    QSignalSpy state(m_app, &R7Application::appStateChanged);
    signIn(DevService::demoPassword());
    QTRY_VERIFY_WITH_TIMEOUT(window()->mainView(), 20000);
    QCOMPARE(state.last().at(0).value<R7Application::AppState>(), R7Application::APP_STATE_LOGGED_IN);
    QVERIFY(window()->currentPage() == MainWindow::PAGE_MAIN || window()->currentPage() == MainWindow::PAGE_WIZARD);
    QCOMPARE(R7Session::instance()->userName(), DevService::demoUser());
    MainTab* fileSafeTab = window()->mainView()->findChild<MainTab*>(QStringLiteral("fileSafeTab"));
    // The folders list counts its rows afresh when it is built: the demo account has none.
    QCOMPARE(fileSafeTab->attentionCount(), 0);
    m_app->setSyncSettingsAttention(3);
    QCOMPARE(fileSafeTab->attentionCount(), 3);
    QCOMPARE(fileSafeTab->toolTip(), QStringLiteral("There is an error in your configuration, please review."));
    m_app->setSyncSettingsAttention(0);
    QCOMPARE(fileSafeTab->attentionCount(), 0);
    QVERIFY(fileSafeTab->toolTip().isEmpty());
    // The form was reset behind the main page.
    QCOMPARE(window()->loginView()->uiState(), int(LoginView::EnterUsernamePassword_Invalid));
    m_firstMainView = window()->mainView();
}

void TestMainWindow::wizardIsDeletedAfterItsFinishClick()
{
    window()->setCurrentPage(MainWindow::PAGE_WIZARD);
    QPointer<WizardView> wizard = window()->wizardView();
    QVERIFY(wizard);
    window()->setCurrentPage(MainWindow::PAGE_WIZARD);
    QCOMPARE(window()->wizardView(), wizard.data());

    bool aliveAfterSignal = false;
    connect(wizard.data(), &WizardView::wizardFinished, this, [&]() {
        aliveAfterSignal = !wizard.isNull();
    });
    QTest::mouseClick(wizard->findChild<QPushButton*>(QStringLiteral("finishButton")), Qt::LeftButton);
    // The click has returned: the wizard is out of the page but not yet deleted.
    QVERIFY(aliveAfterSignal);
    QVERIFY(!window()->wizardView());
    QCOMPARE(window()->currentPage(), int(MainWindow::PAGE_MAIN));
    QTRY_VERIFY(wizard.isNull());
}

void TestMainWindow::signOut()
{
    QSignalSpy state(m_app, &R7Application::appStateChanged);
    m_app->doLogout();
    QTRY_VERIFY_WITH_TIMEOUT(!state.isEmpty()
                                 && state.last().at(0).value<R7Application::AppState>()
                                        == R7Application::APP_STATE_LOGGED_OUT,
                             20000);
}

void TestMainWindow::signOutAndSignInAgain()
{
    window()->mainView()->selectTab(MainView::MAIN_TAB_SETTINGS);
    window()->setCurrentPage(MainWindow::PAGE_WIZARD);
    QPointer<WizardView> wizard = window()->wizardView();
    signOut();
    QCOMPARE(window()->currentPage(), int(MainWindow::PAGE_LOGIN));
    QVERIFY(!window()->mainView());
    QVERIFY(!window()->wizardView());
    QTRY_VERIFY(m_firstMainView.isNull());
    QTRY_VERIFY(wizard.isNull());

    // A fresh main view, with the tab chosen in the last period.
    signIn(DevService::demoPassword());
    QTRY_VERIFY_WITH_TIMEOUT(window()->mainView(), 20000);
    QCOMPARE(window()->mainView()->currentTab(), int(MainView::MAIN_TAB_SETTINGS));
    signOut();
}

void TestMainWindow::signedInTwiceBuildsOneMainView()
{
    signIn(DevService::demoPassword());
    QTRY_VERIFY_WITH_TIMEOUT(window()->mainView(), 20000);
    // The signed-in state announced again (the application did once): still one main view.
    window()->on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
    window()->on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
    QTRY_COMPARE(window()->findChildren<MainView*>().size(), 1);
    QCOMPARE(window()->currentPage(), int(MainWindow::PAGE_MAIN));
    signOut();
    QTRY_COMPARE(window()->findChildren<MainView*>().size(), 0);
}

int main(int argc, char** argv)
{
    TestEnv env;
    qRegisterMetaType<R7Application::AppState>("R7Application::AppState");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TestDatabase db;
    AppInfo& info = db.appInfo();
    QCoreApplication::setOrganizationName(QString::fromLatin1(info.organizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(info.appName));
    DevService service;
    if (!service.start()) {
        qCritical("development service: %s", qPrintable(service.errorString()));
        return 1;
    }
    service.trustTestCa();
    R7Application app(argc, argv, &info);
    app.serverList()->setCustomServerUrl(service.httpsUrl());
    app.openDatabase();
    app.initApp();
    TestMainWindow test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
