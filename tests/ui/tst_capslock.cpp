// The Caps Lock state asked of the X server (Xvfb), and the sign-in page's hint following it.
#include "core/AppInfo.h"
#include "net/ServerList.h"
#include "net/UserCredUtil.h"
#include "tests/support/TestEnv.h"
#include "ui/LoginView.h"

#include <QLabel>
#include <QtTest>

#include <X11/XKBlib.h>

class TestCapsLock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        m_display = XOpenDisplay(nullptr);
        QVERIFY(m_display);
    }

    void cleanupTestCase()
    {
        setCapsLock(false);
        XCloseDisplay(m_display);
    }

    void hintAppearsWhenShown()
    {
        TestEnv env;
        AppInfo info = AppInfo::forThisBuild();
        ServerList servers(info);
        UserCredUtil creds(&info);
        LoginView view(&info, &creds, &servers, nullptr);
        QLabel* hint = view.findChild<QLabel*>(QStringLiteral("capsLockLabel"));
        setCapsLock(false);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(!hint->isVisible());
        // Toggled while hidden: shown within the check period once the page shows again.
        view.hide();
        setCapsLock(true);
        view.show();
        QTRY_VERIFY_WITH_TIMEOUT(hint->isVisible(), 1000);
        setCapsLock(false);
        QTRY_VERIFY_WITH_TIMEOUT(!hint->isVisible(), 1000);
    }

private:
    void setCapsLock(bool on)
    {
        XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, on ? LockMask : 0);
        XSync(m_display, False);
    }

    Display* m_display = nullptr;
};

QTEST_MAIN(TestCapsLock)
#include "tst_capslock.moc"
