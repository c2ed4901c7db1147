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
#include <QSystemTrayIcon>
#include <QWindow>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

public:
    explicit TestMainWindow(R7Application* app) : m_app(app) {}

private slots:
    void initTestCase()
    {
        QVERIFY(window());
        LoginView::setSuccessPauseForTesting(0);
    }

    void wrongPasswordShowsTheMessage()
    {
        QSignalSpy failed(m_app, &R7Application::loginFailed);
        signIn(QStringLiteral("wrong-password"));
        QVERIFY(failed.wait(20000));
        QCOMPARE(window()->findChild<QLabel*>("progressInfoError")->text(), QStringLiteral("Invalid username or password"));
    }

    void signInShowsTheMainPage()
    {
        signIn(DevService::demoPassword());
        QTRY_VERIFY_WITH_TIMEOUT(window()->mainView(), 20000);
        QCOMPARE(R7Session::instance()->userName(), DevService::demoUser());
        MainTab* fileSafeTab = window()->mainView()->findChild<MainTab*>(QStringLiteral("fileSafeTab"));
        m_app->setSyncSettingsAttention(3);
        QCOMPARE(fileSafeTab->attentionCount(), 3);
        m_app->setSyncSettingsAttention(0);
        m_firstMainView = window()->mainView();
    }

    void wizardIsDeletedAfterItsFinishClick()
    {
        window()->setCurrentPage(MainWindow::PAGE_WIZARD);
        QPointer<WizardView> wizard = window()->wizardView();
        bool aliveAfterSignal = false;
        connect(wizard.data(), &WizardView::wizardFinished, this, [&]() {
            aliveAfterSignal = !wizard.isNull();
        });
        QTest::mouseClick(wizard->findChild<QPushButton*>(QStringLiteral("finishButton")), Qt::LeftButton);
        // The click has returned: the wizard is out of the page but not yet deleted.
        QVERIFY(aliveAfterSignal);
        QVERIFY(!window()->wizardView());
        QTRY_VERIFY(wizard.isNull());
    }

    void signOutAndSignInAgain()
    {
        window()->mainView()->selectTab(MainView::MAIN_TAB_SETTINGS);
        window()->setCurrentPage(MainWindow::PAGE_WIZARD);
        QPointer<WizardView> wizard = window()->wizardView();
        signOut();
        QCOMPARE(window()->currentPage(), int(MainWindow::PAGE_LOGIN));
        QTRY_VERIFY(m_firstMainView.isNull());
        QTRY_VERIFY(wizard.isNull());

        // A fresh main view, with the tab chosen in the last period.
        signIn(DevService::demoPassword());
        QTRY_VERIFY_WITH_TIMEOUT(window()->mainView(), 20000);
        QCOMPARE(window()->mainView()->currentTab(), int(MainView::MAIN_TAB_SETTINGS));
    }

    void signedInTwiceBuildsOneMainView()
    {
        QVERIFY(window()->mainView());
        // The signed-in state announced again (the application did once): still one main view.
        window()->on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
        window()->on_appStateChanged(R7Application::APP_STATE_LOGGED_IN);
        QTRY_COMPARE(window()->findChildren<MainView*>().size(), 1);
        signOut();
        QTRY_COMPARE(window()->findChildren<MainView*>().size(), 0);
    }

    // Closed by the window manager with no tray host (as offscreen): an accepted close would take
    // the native window with it and leave a client nobody can reach; it is iconified instead.
    void closeWithoutTrayHostIconifies()
    {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        window()->show();
        QWindow* handle = window()->windowHandle();
        QVERIFY(handle && handle->handle());
        QCloseEvent close;
        QApplication::sendEvent(handle, &close);
        QVERIFY(!close.isAccepted());
        QVERIFY(window()->windowHandle() && window()->windowHandle()->handle());
        QVERIFY(window()->isVisible());
        QTRY_VERIFY(window()->isMinimized());
        window()->showNormal();
    }

private:
    void signIn(const QString& password)
    {
        QLineEdit* user = window()->findChild<QLineEdit*>("usernameInput");
        QLineEdit* pass = window()->findChild<QLineEdit*>("passwordInput");
        user->clear();
        pass->clear();
        // Typed in capitals: the sign-in lower-cases the account name.
        QTest::keyClicks(user, DevService::demoUser().toUpper());
        QTest::keyClicks(pass, password);
        QTest::mouseClick(window()->findChild<QPushButton*>("loginButton"), Qt::LeftButton);
    }

    void signOut()
    {
        QSignalSpy state(m_app, &R7Application::appStateChanged);
        m_app->doLogout();
        QTRY_VERIFY_WITH_TIMEOUT(!state.isEmpty()
                                     && state.last().at(0).value<R7Application::AppState>()
                                            == R7Application::APP_STATE_LOGGED_OUT,
                                 20000);
    }

    MainWindow* window() const { return m_app->mainWindow(); }

    R7Application* m_app;
    QPointer<MainView> m_firstMainView;
};

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
