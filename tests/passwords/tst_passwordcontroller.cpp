#include "core/AppInfo.h"
#include "net/PasswordRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "passwords/PasswordController.h"
#include "tests/net/DemoSignIn.h"
#include "tests/support/AwaitResult.h"
#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QJsonArray>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QToolTip>

#include <QtTest>

#include <memory>

// The controller against the development service, on the real X11 clipboard of the test session;
// xclip plays the other programs that read and write the clipboard.
class TestPasswordController : public QObject
{
    Q_OBJECT

public slots:
    void openedUrl(const QUrl &url) { m_opened << url; }

private slots:
    void initTestCase()
    {
        m_env = new TestEnv;
        QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
        R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", m_svc.httpUrl(), false));
        m_info.apiGeneration = 2;
        AppInfo::publish(&m_info);
        QDesktopServices::setUrlHandler("http", this, "openedUrl");
        QDesktopServices::setUrlHandler("https", this, "openedUrl");
    }

    void init()
    {
        QVERIFY(m_svc.reset());
        const EmptyResult signedIn = signInDemoFresh(&m_info);
        QVERIFY2(signedIn.isOk(), qPrintable(signedIn.message()));
        m_ri = std::make_unique<PasswordRI>(&m_info, R7Session::instance());
        m_ctl = std::make_unique<PasswordController>(R7Session::instance(), m_ri.get());
        m_ctl->setClearIntervalOverride(300);
        QSettings().clear();
        m_svc.requests(true);
    }

    void cleanup()
    {
        m_ctl.reset();
        m_ri.reset();
        if (m_owner) {
            m_owner->kill();
            m_owner->waitForFinished();
            m_owner.reset();
        }
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
        AppInfo::publish(nullptr);
        m_svc.stop();
        delete m_env;
    }

    void serverRoundTrip()
    {
        const auto list = awaitResult<EmptyPasswordsTO>([&](auto cb) { m_ctl->loadPasswords(cb); });
        QVERIFY2(list.isOk(), qPrintable(list.message()));
        QCOMPARE(list.payload().passwords().size(), 4);
        QCOMPARE(list.payload().passwordsMax(), 100);
        QVERIFY(QSettings().value("password/lastOperationTimestamp").toLongLong() >=
                QDateTime::currentSecsSinceEpoch() - 5);

        auto entry = QSharedPointer<PasswordViewModel>::create("Forum", "Grün-42!", "https://forum.example", "me", "c",
                                                               PasswordViewModel::Add);
        const auto made = awaitResult<EmptyPasswordTO>([&](auto cb) { m_ctl->createPassword(entry, cb); });
        QVERIFY2(made.isOk(), qPrintable(made.message()));
        QCOMPARE(made.payload().id(), idOf("Forum"));
        QCOMPARE(stored("Forum").value("password").toString(), QString("Grün-42!"));

        entry->setId(made.payload().id());
        entry->setTitle("Forum 2");
        entry->setPassword("anders");
        QVERIFY(awaitResult<EmptyPasswordTO>([&](auto cb) { m_ctl->updatePassword(entry, cb); }).isOk());
        QCOMPARE(idOf("Forum 2"), made.payload().id());
        QCOMPARE(stored("Forum 2").value("password").toString(), QString("anders"));

        const auto secret = awaitResult<SinglePasswordTO>(
                [&](auto cb) { m_ctl->getPassword(idOf("Wi-Fi at home").toLongLong(), cb); });
        QVERIFY2(secret.isOk(), qPrintable(secret.message()));
        QString error;
        QCOMPARE(m_ctl->decryptPassword(secret.payload().password(), secret.payload().transportIv(), &error),
                 QString("Küchentisch-42"));
        QVERIFY(error.isEmpty());
        QVERIFY(m_ctl->decryptPassword(secret.payload().password(), "00", &error).isEmpty());
        QVERIFY(!error.isEmpty());

        const auto breached =
                awaitResult<QList<qint64>>([&](auto cb) { m_ctl->checkBreached("correct horse battery staple", cb); });
        QVERIFY2(breached.isOk(), qPrintable(breached.message()));
        QCOMPARE(QSet<qint64>(breached.payload().begin(), breached.payload().end()),
                 (QSet<qint64>{idOf("Mail").toLongLong(), idOf("Shop").toLongLong()}));

        QVERIFY(awaitResult<Nothing>([&](auto cb) { m_ctl->deletePassword(made.payload().id(), cb); }).isOk());
        QVERIFY(idOf("Forum 2").isEmpty());

        m_svc.control("user", {{"name", "demo"}, {"passwords_max", 4}});
        QCOMPARE(awaitResult<EmptyPasswordTO>([&](auto cb) { m_ctl->createPassword(entry, cb); }).code(),
                 EC_QUOTA_EXCEEDED);
    }

    void failedEncryptionSendsNothing()
    {
        R7Session::instance()->setTransportKey("not a key");
        auto entry = QSharedPointer<PasswordViewModel>::create("T", "Geheim-123", "", "", "", PasswordViewModel::Edit);
        entry->setId(idOf("Shop"));
        LogCapture log;
        QStringList outcomes;
        const auto note = [&](const auto &r) { outcomes << QString("%1 %2").arg(r.code()).arg(r.message()); };
        m_ctl->createPassword(entry, note);
        m_ctl->updatePassword(entry, note);
        m_ctl->checkBreached("Geheim-123", note);
        // Answered at once, not through the event loop.
        QCOMPARE(outcomes, QStringList(QVector<QString>(3, "25 Unable to encrypt password").toList()));
        QCOMPARE(passwordRequests(), 0);
        QVERIFY(!QSettings().contains("password/lastOperationTimestamp"));
        QCOMPARE(log.count("Failed to encrypt password"), 2);
        QCOMPARE(log.count("Geheim-123"), 0);
    }

    // Fetched, decrypted, marked for clipboard managers, and gone after the time-out even though a
    // late notification of our own copy arrives while the timer runs.
    void fetchedPasswordClearedAfterTimeout()
    {
        m_ctl->setClearIntervalOverride(3000);
        LogCapture log;
        m_ctl->loadPasswordForClipboard(QPoint(10, 10), idOf("Wi-Fi at home"));
        QTRY_VERIFY(m_ctl->isClearPending() && QGuiApplication::clipboard()->text() == "Küchentisch-42");
        QCOMPARE(QString::fromUtf8(clipboard()), QString("Küchentisch-42"));
        QCOMPARE(clipboard("x-kde-passwordManagerHint"), QByteArray("secret"));
        emit QGuiApplication::clipboard()->dataChanged();
        QVERIFY(m_ctl->isClearPending());
        QTRY_VERIFY_WITH_TIMEOUT(!m_ctl->isClearPending(), 8000);
        QCOMPARE(clipboard(), QByteArray());
        QCOMPARE(log.count("Küchentisch"), 0);
    }

    void otherProgramCopies_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("left");
        QTest::newRow("the user's own text is kept")
                << QByteArray("the user's own text") << QByteArray("the user's own text");
        // Clipboard managers take the clipboard over with the same text: still our copy.
        QTest::newRow("a takeover of our text is cleared") << QByteArray("Geheim-123") << QByteArray();
    }

    void otherProgramCopies()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, left);
        m_ctl->setClearIntervalOverride(3000);
        m_ctl->copyPasswordToClipboard("Geheim-123", QPoint(10, 10));
        QCOMPARE(QToolTip::text(), QString("Password copied to clipboard"));
        copyByOtherProgram(text);
        QTRY_VERIFY_WITH_TIMEOUT(!m_ctl->isClearPending(), 8000);
        QCOMPARE(clipboard(), left);
        m_ctl->clearClipboard(); // a late tick of the timer changes nothing either
        QCOMPARE(clipboard(), left);
    }

    void unusableIdOrFailedFetch_data()
    {
        QTest::addColumn<QString>("pwdId");
        QTest::addColumn<int>("requests");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("not a number") << "12a" << 0;
        QTest::newRow("unknown entry") << "987654321987" << 1;
    }

    // A password waits to be cleared; the user then picks an entry that cannot be copied.
    void unusableIdOrFailedFetch()
    {
        QFETCH(QString, pwdId);
        QFETCH(int, requests);
        m_ctl->setClearIntervalOverride(60000);
        m_ctl->copyPasswordToClipboard("Geheim-123", QPoint(10, 10));
        m_ctl->loadPasswordForClipboard(QPoint(20, 20), pwdId);
        if (requests == 0) {
            QCOMPARE(QToolTip::text(), QString("Password copied to clipboard"));
        } else {
            QTRY_COMPARE(QToolTip::text(), QString("Failed to retrieve password from server!"));
        }
        QVERIFY(m_ctl->isClearPending()); // the earlier password is still cleared
        QCOMPARE(passwordRequests(), requests);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("Geheim-123"));
    }

    void onlyWebAddressesOpen_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("opened");
        QTest::newRow("bare host") << "forum.example/login"
                                   << "http://forum.example/login";
        QTest::newRow("https") << " https://bank.example "
                               << "https://bank.example";
        QTest::newRow("local file") << "/etc/passwd"
                                    << "";
        QTest::newRow("file url") << "file:///usr/bin/xterm"
                                  << "";
        QTest::newRow("launcher scheme") << "steam://run/1"
                                         << "";
        QTest::newRow("script") << "javascript:alert(1)"
                                << "";
        QTest::newRow("host-less http") << "http://"
                                        << "";
    }

    void onlyWebAddressesOpen()
    {
        QFETCH(QString, text);
        QFETCH(QString, opened);
        QString boxText;
        QTimer::singleShot(0, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxText = box->windowTitle() + "|" + box->text();
                box->accept();
            }
        });
        m_opened.clear();
        m_ctl->openUrlInBrowser(QPoint(5, 5), text);
        if (opened.isEmpty()) {
            QVERIFY(m_opened.isEmpty());
            QVERIFY2(boxText.startsWith("Unable to open address|") && boxText.contains(text), qPrintable(boxText));
        } else {
            QCOMPARE(m_opened, QList<QUrl>{QUrl(opened)});
            QVERIFY(boxText.isEmpty());
        }
    }

    void lockSettings()
    {
        QSettings settings;
        QCOMPARE(m_ctl->lockMinutes(), 1);
        QCOMPARE(m_ctl->clipboardTimeoutSeconds(), 10);
        settings.setValue("password/lockSeconds", 90);
        QCOMPARE(m_ctl->lockMinutes(), 1);
        for (const auto &[minutes, stored] : {std::pair{0, -1}, {-5, -1}, {3, 180}}) {
            m_ctl->setLockMinutes(minutes);
            QCOMPARE(settings.value("password/lockSeconds").toInt(), stored);
        }
        QCOMPARE(m_ctl->lockMinutes(), 3);
        m_ctl->setLockMinutes(-1);
        QCOMPARE(m_ctl->lockMinutes(), -1);
        QVERIFY(!m_ctl->isLockExpired());

        settings.setValue("password/lockSeconds", 60);
        QVERIFY(m_ctl->isLockExpired()); // never used
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        settings.setValue("password/lastOperationTimestamp", now - 60);
        QVERIFY(!m_ctl->isLockExpired());
        settings.setValue("password/lastOperationTimestamp", now - 61);
        QVERIFY(m_ctl->isLockExpired());

        m_ctl->setLocked(true);
        QCOMPARE(settings.value("password/lastOperationTimestamp").toLongLong(), now - 61);
        QVERIFY(m_ctl->isLocked());
        m_ctl->setLocked(false);
        QVERIFY(!m_ctl->isLocked() && !m_ctl->isLockExpired());
    }

private:
    QJsonObject stored(const QString &title)
    {
        for (const QJsonValue &user : m_svc.state().value("users").toArray()) {
            for (const QJsonValue &v : user.toObject().value("passwords").toArray()) {
                if (user.toObject().value("name") == "demo" && v.toObject().value("title") == title) {
                    return v.toObject();
                }
            }
        }
        return {};
    }

    QString idOf(const QString &title) { return stored(title).value("id").toString(); }
    int passwordRequests()
    {
        int n = 0;
        for (const QJsonValue &v : m_svc.requests()) {
            n += v.toObject().value("path").toString().contains("passwords") ? 1 : 0;
        }
        return n;
    }

    // What another program reads from the clipboard; empty when nobody offers it.
    QByteArray clipboard(const QString &target = QString())
    {
        QProcess xclip;
        QStringList args{"-o", "-selection", "clipboard"};
        if (!target.isEmpty()) {
            args << "-t" << target;
        }
        xclip.start("xclip", args);
        // We may own the clipboard ourselves, so our event loop must answer while xclip asks.
        QElapsedTimer t;
        t.start();
        while (xclip.state() != QProcess::NotRunning && t.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return xclip.exitCode() == 0 ? xclip.readAllStandardOutput() : QByteArray();
    }

    void copyByOtherProgram(const QByteArray &text)
    {
        m_owner = std::make_unique<QProcess>();
        m_owner->start("xclip", {"-quiet", "-i", "-selection", "clipboard"});
        QVERIFY(m_owner->waitForStarted());
        m_owner->write(text);
        m_owner->closeWriteChannel();
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8(text));
    }

    TestEnv *m_env = nullptr;
    DevService m_svc;
    AppInfo m_info = AppInfo::forThisBuild();
    std::unique_ptr<PasswordRI> m_ri;
    std::unique_ptr<PasswordController> m_ctl;
    std::unique_ptr<QProcess> m_owner; // an xclip holding the clipboard
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestPasswordController)
#include "tst_passwordcontroller.moc"
