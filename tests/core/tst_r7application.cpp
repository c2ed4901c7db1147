#include "core/AppInfo.h"
#include "core/R7Application.h"
#include "db/FileSafeDao.h"
#include "db/R7Database.h"
#include "db/SyncHistoryDao.h"
#include "db/SyncSettingsDao.h"
#include "net/R7Session.h"
#include "net/ServerList.h"
#include "net/UserCredUtil.h"
#include "sync/MultiSyncher.h"
#include "sync/ProgressInfo.h"
#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"
#include "ui/LoginView.h"
#include "ui/MainWindow.h"
#include "ui/StatusAction.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include <functional>

namespace {

R7Application *app()
{
    return R7Application::instance();
}

// Answers the next modal box with the given button, after running the optional step inside it.
void answerModal(QMessageBox::StandardButton button, std::function<void()> inside = {})
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, inside] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        poll->deleteLater();
        if (inside)
            inside();
        box->button(button)->click();
    });
    poll->start(20);
}

// Windows the application shows over the main window under that name (a replaced one is gone).
QList<QWidget *> notices(const QString &name)
{
    QList<QWidget *> shown;
    for (QWidget *w : app()->mainWindow()->findChildren<QWidget *>(name))
        if (w->isVisible())
            shown << w;
    return shown;
}

QString labelTexts(QWidget *w)
{
    QStringList texts;
    for (QLabel *l : w->findChildren<QLabel *>())
        texts << l->text();
    return texts.join('\n');
}

int requestsTo(const DevService &svc, const QString &pathPart)
{
    int n = 0;
    for (const QJsonValue &r : svc.requests())
        n += r.toObject().value("path").toString().contains(pathPart) ? 1 : 0;
    return n;
}

} // namespace

class TestR7Application : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(svc.start(), qPrintable(svc.errorString()));
        QVERIFY(svc.control("version", {{"version_compatible", "2.0.0"}, {"version_latest", "2.2.4"}})["ok"].toBool());
        app()->serverList()->setCustomServerUrl(svc.httpUrl());
        app()->setDelaysForTesting({50, 50, 50});
        app()->openDatabase();
        QSignalSpy confirmed(app(), &R7Application::serverConnectionConfirmed);
        app()->initApp();
        QVERIFY(confirmed.count() == 1 || confirmed.wait());

        // No tray here: closing the window minimises it instead of hiding it beyond reach.
        QVERIFY(!app()->trayIcon());
        app()->on_lastWindowClosed();
        QVERIFY(app()->mainWindow()->isVisible());
        QVERIFY(app()->mainWindow()->windowState() & Qt::WindowMinimized);
        app()->mainWindow()->showNormal();
    }

    void syncInterval_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("minutes");
        QTest::newRow("missing") << QVariant() << 5;
        QTest::newRow("0 would run back to back") << QVariant(0) << 1;
        QTest::newRow("overflowing") << QVariant(99999999) << 1440;
        QTest::newRow("text") << QVariant("often") << 5;
    }

    void syncInterval()
    {
        QFETCH(QVariant, stored);
        if (stored.isValid())
            QSettings().setValue("app/sync_interval_minutes", stored);
        QTEST(R7Application::syncIntervalMinutes(), "minutes");
        QSettings().remove("app/sync_interval_minutes");
    }

    void nothingToSyncBeforeSignIn()
    {
        LogCapture log;
        QSignalSpy done(app(), &R7Application::syncDone);
        app()->syncAll();
        app()->syncOne(1);
        app()->autoSync();
        app()->requestToStopSync();
        QCOMPARE(log.count("no synchronisation before the first sign-in"), 2);
        QCOMPARE(done.count(), 0);
        app()->updateTrayState(R7Application::TRAY_LOGGED_OUT);
    }

    void raisingKeepsTheWindowState_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<bool>("signOut"); // raised by a sign-out instead of an activation
        QTest::addColumn<int>("after");
        const int normal = Qt::WindowNoState, maximised = Qt::WindowMaximized, minimised = Qt::WindowMinimized;
        QTest::newRow("maximised, activated") << maximised << false << maximised;
        QTest::newRow("maximised, signed out") << maximised << true << maximised;
        QTest::newRow("minimised, activated") << minimised << false << normal;
        QTest::newRow("minimised from maximised, activated") << (minimised | maximised) << false << maximised;
    }

    // A focus change or a sign-out brings a minimised window back and leaves the size the user chose.
    void raisingKeepsTheWindowState()
    {
        QFETCH(int, before);
        QFETCH(bool, signOut);
        QFETCH(int, after);
        MainWindow *window = app()->mainWindow();
        const auto state = [window] {
            return int(window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
        };
        if (signOut)
            signIn("alice", "password123");
        window->setWindowState(Qt::WindowStates(before));
        QCOMPARE(state(), before);
        if (signOut)
            this->signOut();
        else
            app()->on_applicationStateChanged(Qt::ApplicationActive);
        QCOMPARE(state(), after);
        QVERIFY(window->isVisible());
        window->showNormal();
    }

    void versionCheckRetriesInOneChain()
    {
        svc.requests(true);
        app()->setDelaysForTesting({50, 50, 300});
        svc.fault({{"path", "version"}, {"http_status", 503}, {"count", 3}});
        QSignalSpy confirmed(app(), &R7Application::serverConnectionConfirmed);
        LogCapture log;
        app()->doGetClientVersion();
        QTRY_VERIFY(log.contains("failed to get remote version info (1)"));
        // A second check while the retry waits restarts the one retry timer instead of adding a chain.
        app()->doGetClientVersion();
        QVERIFY(confirmed.wait());
        QTest::qWait(700);
        QCOMPARE(confirmed.count(), 1);
        QCOMPARE(requestsTo(svc, "version"), 4);
        app()->setDelaysForTesting({50, 50, 50});
    }

    void upgradeNotices_data()
    {
        QTest::addColumn<QString>("compatible");
        QTest::addColumn<QString>("latest");
        QTest::addColumn<QString>("notice"); // the one open afterwards
        QTest::newRow("mandatory") << "2.3.0" << "2.3.1" << "2.3.1 is now available - your Tessarvale version 2.2.4 is not";
        QTest::newRow("optional") << "2.0.0" << "2.3.1" << "2.3.1 is now available - you have 2.2.4";
        // Up to date: no new notice, the one of the row before stays.
        QTest::newRow("up to date") << "2.0.0" << "2.2.4" << "2.3.1 is now available - you have 2.2.4";
    }

    void upgradeNotices()
    {
        QFETCH(QString, compatible);
        QFETCH(QString, latest);
        QFETCH(QString, notice);
        QVERIFY(svc.control("version", {{"version_compatible", compatible}, {"version_latest", latest}})["ok"].toBool());
        QSignalSpy confirmed(app(), &R7Application::serverConnectionConfirmed);
        app()->doGetClientVersion();
        QVERIFY(confirmed.wait());
        // A second notice replaces the first.
        const QList<QWidget *> open = notices("UpgradeClientDialog");
        QCOMPARE(open.size(), 1);
        QVERIFY2(labelTexts(open.first()).contains(notice), qPrintable(labelTexts(open.first())));
    }

    void signInRunsTheCoordinator()
    {
        QVERIFY(svc.control("version", {{"version_compatible", "2.0.0"}, {"version_latest", "2.2.4"}})["ok"].toBool());
        svc.requests(true);
        // No settings yet: the state follows the first safe list, with the wizard.
        LogCapture signInLog;
        signIn("DEMO", DevService::demoPassword());
        // The session cookie never reaches the log whole.
        for (const QJsonValue &s : svc.state().value("sessions").toArray()) {
            const QString sid = s.toObject().value("sid").toString();
            QVERIFY(sid.size() > 8);
            QVERIFY2(!signInLog.messages().join('\n').contains(sid), qPrintable(sid));
        }
        QStringList names; // the service gets the name in lower case
        for (const QJsonValue &r : svc.requests())
            names << QUrlQuery(r.toObject().value("body").toString()).queryItemValue("username");
        QVERIFY(names.contains("demo") && !names.contains("DEMO"));
        QTRY_VERIFY(app()->syncTimerInterval() == 5 * 60000);

        const QList<FilesafeTO_v2> safes = app()->fileSafeDao()->list();
        QVERIFY(!safes.isEmpty());
        SyncSetting setting;
        setting.setSafeId(safes.first().safeId);
        setting.setRootFolderId(safes.first().rootFolderId);
        setting.setRemoteDir("/");
        setting.setLocalDir(localDir.path());
        QVERIFY(SyncSettingsDao::instance()->add(setting));
        signOut();

        // With a setting: signed in at once, then the safe list, the first run and the timer.
        QSignalSpy done(app(), &R7Application::syncDone);
        signIn("demo", DevService::demoPassword());
        QVERIFY(done.wait(5000));
        QCOMPARE(done.first().first().toString(), QString("Up to date (0 errors)"));
        QCOMPARE(app()->syncTimerInterval(), 5 * 60000);

        // An unknown id starts nothing.
        LogCapture log;
        app()->syncOne(987654);
        QVERIFY(log.contains("unknown sync setting id 987654 ignored"));

        // A cancellation the user did not ask for (a full quota) still ends the syncing look.
        app()->updateTrayState(R7Application::TRAY_SYNCING);
        emit app()->multiSyncher()->syncCanceled();
        QCOMPARE(app()->trayStatus(), R7Application::TRAY_SYNC_CANCELED);
        app()->updateSyncTimer();
    }

    void signOutCancelsThePeriodsTimers()
    {
        signOut();
        // A long first wait, cut short by the sign-out: no safe list, no run, no timer afterwards.
        // Long enough for a sign-out round trip on a loaded machine.
        app()->setDelaysForTesting({1500, 50, 50});
        QSignalSpy done(app(), &R7Application::syncDone);
        signIn("demo", DevService::demoPassword());
        svc.requests(true);
        signOut();
        signIn("demo", DevService::demoPassword());
        signOut();
        QTest::qWait(1800);
        QCOMPARE(requestsTo(svc, "filesafe"), 0);
        QCOMPARE(done.count(), 0);
        QCOMPARE(app()->syncTimerInterval(), 0);
        app()->setDelaysForTesting({50, 50, 50});
    }

    void failedFirstRefreshEndsTheSignIn()
    {
        signOut();
        svc.fault({{"path", "filesafe"}, {"http_status", 503}});
        QSignalSpy failed(app(), &R7Application::loginFailed);
        app()->doLogin("alice", "password123");
        QVERIFY(failed.wait(15000));
        QCOMPARE(app()->appState(), R7Application::APP_STATE_LOGGED_OUT);
        QTRY_VERIFY(!R7Session::instance()->isLoggedIn());

        // Nothing is left half done: the next sign-in goes through, a further one is refused.
        signIn("alice", "password123");
        failed.clear();
        app()->doLogin("alice", "password123");
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(1).toString(), QString("Already logged in"));
    }

    void oneNoticeForTwoTimeouts()
    {
        QVERIFY(!app()->autoLogin());
        app()->on_sessionTimeout(R7Session::SERVER_SESSION_TIMEOUT, EC_HTTP_STATUS);
        app()->on_sessionTimeout(R7Session::SERVER_SESSION_TIMEOUT, EC_HTTP_STATUS);
        QTRY_COMPARE(app()->appState(), R7Application::APP_STATE_LOGGED_OUT);
        QCOMPARE(notices("SessionTerminatedDialog").size(), 1);
        notices("SessionTerminatedDialog").first()->close();
        // A closed notice does not keep the next time-out from showing one.
        signIn("alice", "password123");
        app()->on_sessionTimeout(R7Session::SERVER_SESSION_TIMEOUT, EC_HTTP_STATUS);
        QTRY_COMPARE(notices("SessionTerminatedDialog").size(), 1);
        notices("SessionTerminatedDialog").first()->close();
        QTRY_COMPARE(app()->appState(), R7Application::APP_STATE_LOGGED_OUT);
    }

    void automaticSignIn()
    {
        QSettings settings;
        settings.setValue("app/auto_login", true);
        settings.remove("account/saved_username");
        QVERIFY(!app()->decideAutoLogin());
        settings.setValue("account/saved_username", "demo");
        UserCredUtil creds(app()->appInfo());
        const QString server = app()->serverList()->currentServer().prefix();
        creds.clearPassword(server, "demo");
        QVERIFY(!app()->decideAutoLogin());
        QVERIFY(creds.storePassword(server, "demo", DevService::demoPassword()));
        QVERIFY(app()->decideAutoLogin());

        // A time-out then shows no notice; the server is asked again, which lets the login view sign in.
        signIn("demo", DevService::demoPassword());
        QSignalSpy confirmed(app(), &R7Application::serverConnectionConfirmed);
        app()->on_sessionTimeout(R7Session::CLIENT_SESSION_TIMEOUT, EC_CLIENT);
        QVERIFY(confirmed.wait(10000));
        QVERIFY(notices("SessionTerminatedDialog").isEmpty());
        settings.setValue("app/auto_login", false);
        QTRY_VERIFY_WITH_TIMEOUT(
                app()->appState() == R7Application::APP_STATE_LOGGED_IN || !R7Session::instance()->isLoggedIn(), 10000);
        signOut();
    }

    void timeoutWhileTheFirstListLoads_data()
    {
        QTest::addColumn<bool>("automatic");
        QTest::newRow("without automatic sign-in") << false;
        QTest::newRow("with automatic sign-in") << true;
    }

    // A new user's session is signed in while the first safe list loads, the application is not:
    // a time-out then has no sign-out to start, so it must neither report the session as ended
    // over a sign-in that goes on, nor leave a sign-in pending for the user's next own sign-out.
    void timeoutWhileTheFirstListLoads()
    {
        QFETCH(bool, automatic);
        signOut();
        auto *view = app()->mainWindow()->findChild<LoginView *>();
        QVERIFY(view);
        const bool wasAutomatic = app()->autoLogin();
        const QStringList keys{"account/save_username", "account/saved_username", "account/save_password",
                               "app/auto_login"};
        QSettings settings;
        QVariantList before;
        for (const QString &key : keys)
            before << settings.value(key);
        UserCredUtil creds(app()->appInfo());
        const QString server = app()->serverList()->currentServer().prefix();
        // The login view's boxes: with all three it signs in by itself once the server answers.
        for (const QString &key : {keys[0], keys[2], keys[3]})
            settings.setValue(key, automatic);
        settings.setValue(keys[1], "alice");
        QVERIFY(creds.storePassword(server, "alice", "password123"));
        QCOMPARE(app()->decideAutoLogin(), automatic);
        view->resetForm();

        if (automatic) {
            // A sign-in that is pending does come back here: a time-out while signed in.
            signIn("alice", "password123");
            QSignalSpy states(app(), &R7Application::appStateChanged);
            app()->on_sessionTimeout(R7Session::SERVER_SESSION_TIMEOUT, EC_HTTP_STATUS);
            QTRY_COMPARE_WITH_TIMEOUT(states.count(), 2, 15000);
            QCOMPARE(app()->appState(), R7Application::APP_STATE_LOGGED_IN);
            signOut();
        }

        // alice has no setting: the application is signed in only once the list has come.
        svc.fault({{"path", "filesafe"}, {"delay_ms", 2000}});
        app()->doLogin("alice", "password123");
        QTRY_VERIFY_WITH_TIMEOUT(R7Session::instance()->isLoggedIn(), 15000);
        QCOMPARE(app()->appState(), R7Application::APP_STATE_LOGGED_OUT);
        app()->on_sessionTimeout(R7Session::SERVER_SESSION_TIMEOUT, EC_HTTP_STATUS);
        QVERIFY(notices("SessionTerminatedDialog").isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(app()->appState(), R7Application::APP_STATE_LOGGED_IN, 10000);
        QVERIFY(notices("SessionTerminatedDialog").isEmpty());

        svc.requests(true);
        QSignalSpy confirmed(app(), &R7Application::serverConnectionConfirmed);
        signOut();
        // A sign-in again would start with the version check, within a round trip.
        confirmed.wait(2000);
        QCOMPARE(confirmed.count(), 0);
        QCOMPARE(requestsTo(svc, "/login"), 0);
        QCOMPARE(app()->appState(), R7Application::APP_STATE_LOGGED_OUT);

        // What the other tests met: the same decision, the same settings.
        settings.setValue(keys[1], "alice");
        settings.setValue(keys[3], wasAutomatic);
        QCOMPARE(app()->decideAutoLogin(), wasAutomatic);
        creds.clearPassword(server, "alice");
        for (int i = 0; i < keys.size(); ++i) {
            if (before[i].isValid())
                settings.setValue(keys[i], before[i]);
            else
                settings.remove(keys[i]);
        }
        view->resetForm();
    }

    // A run whose state the database refused: one box that names the driver's cause.
    void runThatCannotStoreItsStateSaysWhy()
    {
        signIn("demo", DevService::demoPassword());
        MultiSyncher *ms = nullptr;
        QTRY_VERIFY((ms = app()->findChild<MultiSyncher *>()) != nullptr);
        QStringList shown;
        answerModal(QMessageBox::Ok,
                    [&shown] { shown << static_cast<QMessageBox *>(QApplication::activeModalWidget())->text(); });
        emit ms->stateWriteFailed("database or disk is full");
        QTRY_COMPARE(shown, QStringList{"SQL query failure. (database or disk is full)"});
        QTest::qWait(100);
        QCOMPARE(shown.size(), 1);
        signOut();
    }

    // A run's history row is closed after the run reports its actions done: the status bar reads
    // the history again when the coordinator ends the run, and shows that run, not the one before.
    void lastSyncShowsTheRunJustEnded()
    {
        signOut();
        QSignalSpy done(app(), &R7Application::syncDone);
        signIn("demo", DevService::demoPassword());
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000); // the first run after the sign-in
        // Earlier runs a day back, so that the minutes shown tell them from the next one.
        QSqlQuery back;
        QVERIFY(back.exec("UPDATE sync_history SET end_time = end_time - 86400000 WHERE end_time IS NOT NULL"));
        app()->syncAll();
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 10000);
        const SyncHistory last = SyncHistoryDao::instance()->lastSync();
        QVERIFY(qAbs(last.endTime().secsTo(QDateTime::currentDateTime())) < 600);
        QCOMPARE(app()->mainWindow()->findChild<QLabel *>("statusLabel")->text(),
                 "Last sync: " + QLocale::system().toString(last.endTime(), QLocale::ShortFormat));
        signOut();
    }

    void runEndingAfterSignOut_data()
    {
        QTest::addColumn<int>("activity");
        QTest::addColumn<QString>("end"); // the coordinator's signal after the progress
        QTest::addColumn<bool>("signedInAgain"); // the next period began before the signals came
        for (bool again : {false, true}) {
            const char *when = again ? " after the next sign-in" : "";
            QTest::addRow("started%s", when) << int(ProgressInfo::Activity_GetRemoteObjects_Started) << "started" << again;
            QTest::addRow("finished%s", when)
                    << int(ProgressInfo::Activity_ProcessSyncActions_Finished) << "finished" << again;
            QTest::addRow("canceled%s", when) << int(ProgressInfo::Activity_User_Canceled) << "canceled" << again;
        }
    }

    // A run stops at its next check, which may come after the sign-out has finished, or after the
    // next sign-in while the replaced coordinator waits for its deferred deletion: what it reports
    // then changes nothing in the tray or the status bar.
    void runEndingAfterSignOut()
    {
        QFETCH(int, activity);
        QFETCH(QString, end);
        QFETCH(bool, signedInAgain);
        signOut();
        signIn("demo", DevService::demoPassword());
        QPointer<MultiSyncher> ms = app()->multiSyncher();
        signOut();
        QSignalSpy done(app(), &R7Application::syncDone);
        bool reported = false;
        const auto report = [&] {
            reported = true;
            ProgressInfo pi;
            pi.activity = activity;
            pi.safeName = QStringLiteral("Mine");
            pi.safeType = QStringLiteral("PRIVATE");
            if (end == "started")
                emit ms->syncStarted();
            emit ms->syncProgress(true, pi);
            if (end == "finished")
                emit ms->syncFinished(1, 0, {});
            else if (end == "canceled")
                emit ms->syncCanceled();
        };
        const auto statusEntry = [] { return app()->findChild<StatusAction *>(); };
        QVERIFY(statusEntry());
        if (!signedInAgain) {
            report();
            QCOMPARE(app()->trayStatus(), R7Application::TRAY_LOGGED_OUT);
            for (QAction *action : app()->findChildren<QAction *>()) {
                if (QStringList{"Logout", "Sync All", "Cancel Sync", "Settings"}.contains(action->text()) ||
                    action == statusEntry())
                    QVERIFY2(!action->isEnabled() && !action->isVisible(), qPrintable(action->text()));
            }
        } else {
            // The new period's first run waits; the old coordinator reports while the sign-in's
            // turn goes on, which is as long as it is sure to exist.
            app()->setDelaysForTesting({1500, 50, 50});
            const auto hook = connect(app(), &R7Application::appStateChanged, this, [&](R7Application::AppState state) {
                if (state == R7Application::APP_STATE_LOGGED_IN && ms && ms != app()->multiSyncher()) {
                    // Stands for the new period's run, whose entry the old run's end must leave alone.
                    if (end == "canceled")
                        statusEntry()->setVisible(true);
                    report();
                }
            });
            signIn("demo", DevService::demoPassword());
            disconnect(hook);
            QVERIFY(reported);
            QCOMPARE(app()->trayStatus(), R7Application::TRAY_IDLE);
            QCOMPARE(statusEntry()->isVisible(), end == "canceled");
            for (QAction *action : app()->findChildren<QAction *>()) {
                if (action->text() == "Cancel Sync")
                    QVERIFY(!action->isEnabled() && !action->isVisible());
            }
        }
        QCOMPARE(app()->mainWindow()->findChild<QLabel *>("statusLabel")->text(), QString());
        QCOMPARE(done.count(), 0);
        if (signedInAgain) {
            signOut();
            app()->setDelaysForTesting({50, 50, 50});
        }
    }

    // A statement failing while a run goes on opens no box of its own: the run tells the user once
    // when it ends (above), the log keeps each failure.
    void databaseFailureDuringARunIsLogged()
    {
        signIn("demo", DevService::demoPassword());
        MultiSyncher *ms = nullptr;
        QTRY_VERIFY((ms = app()->findChild<MultiSyncher *>()) != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(!ms->isSyncing(), 20000);
        QStringList boxes;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&boxes] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxes << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        poll.start(20);
        LogCapture log;
        bool during = false;
        const auto started = connect(ms, &MultiSyncher::syncStarted, [&during, ms] {
            during = ms->isSyncing();
            emit R7Database::instance()->sqlQueryFailure("during the run");
        });
        QSignalSpy done(app(), &R7Application::syncDone);
        app()->syncAll();
        QVERIFY(done.wait(20000));
        disconnect(started);
        QVERIFY(during);
        QVERIFY(log.contains("R7Application::on_sqlQueryFailure: during the run"));
        QCOMPARE(boxes, QStringList{});
        signOut();
    }

    void failedFirstRefreshKeepsTheTimer()
    {
        // demo has a setting (signInRunsTheCoordinator): signed in at once, the safe list later.
        signOut();
        svc.fault({{"path", "filesafe"}, {"http_status", 503}});
        QSignalSpy done(app(), &R7Application::syncDone);
        LogCapture log;
        signIn("demo", DevService::demoPassword());
        QTRY_VERIFY(log.contains("initial filesafe list failed"));
        // The period goes on: every timed run refreshes the list itself. No first run, though.
        QCOMPARE(app()->appState(), R7Application::APP_STATE_LOGGED_IN);
        QCOMPARE(app()->syncTimerInterval(), 5 * 60000);
        QTest::qWait(300); // the first run would follow 50 ms after a good list
        QCOMPARE(done.count(), 0);
        // The timer's run does synchronise.
        app()->autoSync();
        QVERIFY(done.wait(5000));
        signOut();
    }

    void unusableDatabaseStartsNoRun()
    {
        signIn("demo", DevService::demoPassword());
        LogCapture log;
        // A failing query while the notice is open goes to the log, not into a second box.
        answerModal(QMessageBox::Ok, [] { emit R7Database::instance()->sqlQueryFailure("second failure"); });
        emit R7Database::instance()->unableToOpenDatabase("disk gone");
        QVERIFY(log.contains("R7Application::on_sqlQueryFailure: second failure"));
        QVERIFY(!app()->isDatabaseUsable());
        QSignalSpy done(app(), &R7Application::syncDone);
        app()->syncAll();
        app()->autoSync();
        QTest::qWait(200);
        QCOMPARE(done.count(), 0);
    }

private:
    void signIn(const QString &user, const QString &password)
    {
        QSignalSpy states(app(), &R7Application::appStateChanged);
        QSignalSpy failed(app(), &R7Application::loginFailed);
        app()->doLogin(user, password);
        QTRY_VERIFY_WITH_TIMEOUT(states.count() == 1 || failed.count() == 1, 15000);
        QVERIFY2(failed.isEmpty(), failed.isEmpty() ? "" : qPrintable(failed.first().at(1).toString()));
        QCOMPARE(app()->appState(), R7Application::APP_STATE_LOGGED_IN);
    }

    void signOut()
    {
        if (app()->appState() != R7Application::APP_STATE_LOGGED_IN)
            return;
        app()->doLogout();
        QTRY_COMPARE_WITH_TIMEOUT(app()->appState(), R7Application::APP_STATE_LOGGED_OUT, 10000);
        QCOMPARE(app()->trayStatus(), R7Application::TRAY_LOGGED_OUT);
        QCOMPARE(app()->syncTimerInterval(), 0);
    }

    DevService svc;
    QTemporaryDir localDir;
};

int main(int argc, char *argv[])
{
    TestEnv env;
    // The single-instance lock of this process must not stop a client started by another test.
    const QString runtime = env.home() + "/runtime";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.setVar("XDG_RUNTIME_DIR", runtime.toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static AppInfo info = AppInfo::forThisBuild();
    QCoreApplication::setOrganizationName(info.organizationName);
    QCoreApplication::setApplicationName(info.appName);
    R7Application application(argc, argv, &info);
    R7Application::initTranslations(&info);
    TestR7Application test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_r7application.moc"
