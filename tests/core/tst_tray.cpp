#include "core/AppInfo.h"
#include "core/R7Application.h"
#include "net/ServerList.h"
#include "tests/support/TestEnv.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QtTest>

#include <memory>

namespace {

R7Application *app()
{
    return R7Application::instance();
}

QImage imageOf(const QIcon &icon)
{
    return icon.pixmap(QSize(22, 22)).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage resourceImage(const QString &name)
{
    return imageOf(QIcon(":/res/tray/" + name));
}

// Which of the known icons the tray shows.
QString shownIcon()
{
    const QImage shown = imageOf(app()->trayIcon()->icon());
    for (const QString &name : {QString("idle.png"), QString("logged_out.png")})
        if (shown == resourceImage(name))
            return name;
    for (int i = 1; i <= 6; ++i)
        if (shown == resourceImage(QString("syncing_%1.png").arg(i, 2, 10, QChar('0'))))
            return "frame";
    return "other";
}

// "on" or "off" for each action that the tray status switches, in the order of the table below.
QString actionStates()
{
    QStringList states;
    for (const char *name : {"loginAction", "logoutAction", "syncAllAction", "cancelSyncAction", "settingsAction",
                             "activityAction", "passwordsAction", "showLogAction"}) {
        const QAction *action = app()->findChild<QAction *>(name);
        if (!action)
            return QString("no %1").arg(name);
        if (action->isEnabled() != action->isVisible())
            return QString("%1 half on").arg(name);
        states << (action->isVisible() ? "on" : "off");
    }
    return states.join(' ');
}

// A private session bus with a tray host on it, made before the application: the framework asks
// once per process whether a host is there.
struct TrayHostBus
{
    QProcess daemon;
    QProcess watcher;

    bool start()
    {
        daemon.start("dbus-daemon", {"--nofork", "--print-address=1",
                                     "--config-file=" + TestEnv::sourcePath("scripts/test-session-bus.conf")});
        if (!daemon.waitForReadyRead(10000))
            return false;
        const QByteArray address = daemon.readLine().trimmed();
        if (address.isEmpty())
            return false;
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        watcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        watcher.start(TRAY_WATCHER, QStringList());
        return watcher.waitForReadyRead(10000) && watcher.readLine().trimmed() == "ready";
    }

    ~TrayHostBus()
    {
        watcher.closeWriteChannel();
        watcher.waitForFinished(5000);
        daemon.terminate();
        daemon.waitForFinished(5000);
    }
};

} // namespace

// The tray icon and its menu on a desktop with a tray host: what each status shows and offers.
class TestTray : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        app()->serverList()->setCustomServerUrl("http://127.0.0.1:9");
        app()->setDelaysForTesting({50, 50, 60000});
        app()->openDatabase();
        app()->initApp();
        QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
        QVERIFY(app()->trayIcon());
        QVERIFY(app()->trayIcon()->isVisible());
        QCOMPARE(app()->trayStatus(), R7Application::TRAY_LOGGED_OUT);
    }

    void registeredWithTheHost()
    {
        QDBusInterface host("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                            "org.kde.StatusNotifierWatcher");
        QTRY_COMPARE(host.property("RegisteredStatusNotifierItems").toStringList().size(), 1);
        QStringList entries;
        for (QAction *action : app()->trayMenu()->actions())
            entries << (action->isSeparator()              ? QString("-")
                        : action->objectName().isEmpty() ? QString(action->metaObject()->className())
                                                         : action->objectName());
        QCOMPARE(entries, QStringList({"StatusAction", "-", "passwordsAction", "-", "cancelSyncAction", "syncAllAction",
                                       "activityAction", "-", "loginAction", "logoutAction", "settingsAction",
                                       "helpAction", "showLogAction", "-", "quitAction"}));
        QCOMPARE(app()->trayMenu()->title(), QString(app()->appInfo()->displayName));
    }

    void statuses_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("debugMode");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("toolTip");
        // login logout syncAll cancelSync settings activity passwords showLog
        QTest::addColumn<QString>("actions");
        using R = R7Application;
        QTest::newRow("signed in") << int(R::TRAY_LOGGED_OUT) << int(R::TRAY_IDLE) << false << "idle.png" << ""
                                   << "off on on off on on on off";
        QTest::newRow("signed out") << int(R::TRAY_IDLE) << int(R::TRAY_LOGGED_OUT) << false << "logged_out.png" << ""
                                    << "on off off off off off off off";
        QTest::newRow("syncing") << int(R::TRAY_IDLE) << int(R::TRAY_SYNCING) << false << "frame" << "Syncing ..."
                                 << "off on off on on on on off";
        // The activities and the password safe keep the state of the status before.
        QTest::newRow("syncing, signed out before")
                << int(R::TRAY_LOGGED_OUT) << int(R::TRAY_SYNCING) << false << "frame" << "Syncing ..."
                << "off on off on on off off off";
        QTest::newRow("done") << int(R::TRAY_SYNCING) << int(R::TRAY_SYNC_DONE) << false << "idle.png" << ""
                              << "off on on off on on on off";
        QTest::newRow("canceled") << int(R::TRAY_SYNCING) << int(R::TRAY_SYNC_CANCELED) << false << "idle.png" << ""
                                  << "off on on off on on on off";
        QTest::newRow("debug mode shows the log") << int(R::TRAY_IDLE) << int(R::TRAY_LOGGED_OUT) << true
                                                  << "logged_out.png" << "" << "on off off off off off off on";
    }

    void statuses()
    {
        QFETCH(int, from);
        QFETCH(int, status);
        QFETCH(bool, debugMode);
        app()->updateTrayState(R7Application::TrayStatus(from));
        app()->setAppMode(debugMode ? R7Application::APP_MODE_DEBUG : R7Application::APP_MODE_NORMAL);
        app()->updateTrayState(R7Application::TrayStatus(status));
        QTEST(shownIcon(), "icon");
        QTEST(app()->trayIcon()->toolTip(), "toolTip");
        QTEST(actionStates(), "actions");
        app()->setAppMode(R7Application::APP_MODE_NORMAL);
        app()->updateTrayState(R7Application::TRAY_LOGGED_OUT);
    }

    void passwordSafeHiddenBySetting()
    {
        QSettings().setValue("app/show_pwd_safe", false);
        for (auto status : {R7Application::TRAY_IDLE, R7Application::TRAY_SYNC_DONE, R7Application::TRAY_SYNCING}) {
            app()->updateTrayState(status);
            QVERIFY(!app()->findChild<QAction *>("passwordsAction")->isVisible());
        }
        QSettings().remove("app/show_pwd_safe");
        app()->updateTrayState(R7Application::TRAY_LOGGED_OUT);
    }

    void animation()
    {
        // The frames follow each other while syncing...
        app()->updateTrayState(R7Application::TRAY_SYNCING);
        const QImage first = imageOf(app()->trayIcon()->icon());
        QTRY_VERIFY(imageOf(app()->trayIcon()->icon()) != first);
        QCOMPARE(shownIcon(), QString("frame"));
        // ...and stop with the next status.
        app()->updateTrayState(R7Application::TRAY_SYNC_DONE);
        QTest::qWait(400); // two frames' time
        QCOMPARE(shownIcon(), QString("idle.png"));
        app()->updateTrayState(R7Application::TRAY_LOGGED_OUT);
    }

    void noFramesKeepTheIdleIcon()
    {
        app()->setTrayFramesForTesting({});
        app()->updateTrayState(R7Application::TRAY_SYNCING);
        QCOMPARE(shownIcon(), QString("idle.png"));
        QTest::qWait(400);
        QCOMPARE(shownIcon(), QString("idle.png"));
        QCOMPARE(app()->trayIcon()->toolTip(), QString("Syncing ..."));
        app()->updateTrayState(R7Application::TRAY_LOGGED_OUT);
    }
};

int main(int argc, char *argv[])
{
    TestEnv env;
    const QString runtime = env.home() + "/runtime";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.setVar("XDG_RUNTIME_DIR", runtime.toUtf8());
    TrayHostBus bus;
    if (!bus.start()) {
        qCritical("tst_tray: no private bus with a tray host");
        return 1;
    }
    static AppInfo info = AppInfo::forThisBuild();
    QCoreApplication::setOrganizationName(info.organizationName);
    QCoreApplication::setApplicationName(info.appName);
    R7Application application(argc, argv, &info);
    R7Application::initTranslations(&info);
    TestTray test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tray.moc"
