#include "tests/passwords/ModalAnswer.h"
#include "tests/passwords/ServiceFixture.h"
#include "tests/support/AwaitResult.h"
#include "tests/support/LogCapture.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QProcess>
#include <QSettings>
#include <QToolTip>
#include <QtTest>

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
        m_fx.info.apiGeneration = 2;
        QVERIFY2(m_fx.start("tst_passwordcontroller"), qPrintable(m_fx.svc.errorString()));
        QDesktopServices::setUrlHandler("http", this, "openedUrl");
        QDesktopServices::setUrlHandler("https", this, "openedUrl");
    }
    void init()
    {
        QVERIFY(m_fx.signIn());
        m_ctl = m_fx.controller;
        m_ctl->setClearIntervalOverride(3000);
        QSettings().clear();
        m_fx.svc.requests(true);
    }
    void cleanup()
    {
        cancelModalAnswers();
        m_fx.signOut();
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
        m_fx.stop();
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
        QCOMPARE(made.payload().id(), m_fx.idOf("Forum"));
        QCOMPARE(m_fx.entry("Forum").value("password").toString(), QString("Grün-42!"));

        entry->setId(made.payload().id());
        entry->setTitle("Forum 2");
        entry->setPassword("anders");
        QVERIFY(awaitResult<EmptyPasswordTO>([&](auto cb) { m_ctl->updatePassword(entry, cb); }).isOk());
        QCOMPARE(m_fx.idOf("Forum 2"), made.payload().id());
        QCOMPARE(m_fx.entry("Forum 2").value("password").toString(), QString("anders"));

        const auto secret = awaitResult<SinglePasswordTO>(
                [&](auto cb) { m_ctl->getPassword(m_fx.idOf("Wi-Fi at home").toLongLong(), cb); });
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
                 (QSet<qint64>{m_fx.idOf("Mail").toLongLong(), m_fx.idOf("Shop").toLongLong()}));

        QVERIFY(awaitResult<Nothing>([&](auto cb) { m_ctl->deletePassword(made.payload().id(), cb); }).isOk());
        QVERIFY(m_fx.idOf("Forum 2").isEmpty());

        m_fx.svc.control("user", {{"name", "demo"}, {"passwords_max", 4}});
        QCOMPARE(awaitResult<EmptyPasswordTO>([&](auto cb) { m_ctl->createPassword(entry, cb); }).code(),
                 EC_QUOTA_EXCEEDED);
    }

    void failedEncryptionSendsNothing()
    {
        R7Session::instance()->setTransportKey("not a key");
        auto entry = QSharedPointer<PasswordViewModel>::create("T", "Geheim-123", "", "", "", PasswordViewModel::Edit);
        entry->setId(m_fx.idOf("Shop"));
        LogCapture log;
        QStringList outcomes;
        const auto note = [&](const auto &r) { outcomes << QString("%1 %2").arg(r.code()).arg(r.message()); };
        m_ctl->createPassword(entry, note);
        m_ctl->updatePassword(entry, note);
        m_ctl->checkBreached("Geheim-123", note);
        // Answered at once, not through the event loop.
        QCOMPARE(outcomes, QStringList(QVector<QString>(3, "25 Unable to encrypt password").toList()));
        QCOMPARE(m_fx.requestsTo("passwords"), 0);
        QVERIFY(!QSettings().contains("password/lastOperationTimestamp"));
        QCOMPARE(log.count("Failed to encrypt password"), 2);
        QCOMPARE(log.count("Geheim-123"), 0);
    }

    // Fetched, decrypted, marked for clipboard managers, and gone after the time-out even though a
    // late notification of our own copy arrives while the timer runs.
    void fetchedPasswordClearedAfterTimeout()
    {
        LogCapture log;
        m_ctl->loadPasswordForClipboard(QPoint(10, 10), m_fx.idOf("Wi-Fi at home"));
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
        m_ctl->copyPasswordToClipboard("Geheim-123", QPoint(10, 10));
        QCOMPARE(QToolTip::text(), QString("Password copied to clipboard"));
        m_owner = std::make_unique<QProcess>();
        m_owner->start("xclip", {"-quiet", "-i", "-selection", "clipboard"});
        QVERIFY(m_owner->waitForStarted());
        m_owner->write(text);
        m_owner->closeWriteChannel();
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8(text));
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
        QTRY_COMPARE(QToolTip::text(), QString(requests ? "Failed to retrieve password from server!"
                                                        : "Password copied to clipboard"));
        QVERIFY(m_ctl->isClearPending()); // the earlier password is still cleared
        QCOMPARE(m_fx.requestsTo("passwords"), requests);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("Geheim-123"));
    }

    void onlyWebAddressesOpen_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("opened");
        const auto row = [](const char *tag, const char *text, const char *opened) {
            QTest::newRow(tag) << QString(text) << QString(opened);
        };
        row("bare host", "forum.example/login", "http://forum.example/login");
        row("https", " https://bank.example ", "https://bank.example");
        row("local file", "/etc/passwd", "");
        row("file url", "file:///usr/bin/xterm", "");
        row("launcher scheme", "steam://run/1", "");
        row("script", "javascript:alert(1)", "");
        row("host-less http", "http://", "");
    }
    void onlyWebAddressesOpen()
    {
        QFETCH(QString, text);
        QFETCH(QString, opened);
        QString title, boxText;
        if (opened.isEmpty())
            answerNextBox(QMessageBox::Ok, &title, &boxText);
        m_opened.clear();
        m_ctl->openUrlInBrowser(QPoint(5, 5), text);
        if (opened.isEmpty()) {
            QVERIFY(m_opened.isEmpty());
            QCOMPARE(title, QString("Unable to open address"));
            QVERIFY2(boxText.contains(text), qPrintable(boxText));
        } else {
            QCOMPARE(m_opened, QList<QUrl>{QUrl(opened)});
        }
    }

    void lockExpiry()
    {
        QSettings settings;
        QCOMPARE(m_ctl->lockMinutes(), 1);
        for (const auto &[minutes, stored] : {std::pair{0, -1}, {-5, -1}, {3, 180}}) {
            m_ctl->setLockMinutes(minutes);
            QCOMPARE(settings.value("password/lockSeconds").toInt(), stored);
        }
        QVERIFY(m_ctl->isLockExpired()); // never used
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        settings.setValue("password/lastOperationTimestamp", now - 180);
        QVERIFY(!m_ctl->isLockExpired());
        settings.setValue("password/lastOperationTimestamp", now - 181);
        QVERIFY(m_ctl->isLockExpired());
        m_ctl->setLocked(false); // unlocking counts as use
        QVERIFY(!m_ctl->isLockExpired());
        m_ctl->setLockMinutes(-1);
        settings.setValue("password/lastOperationTimestamp", 0);
        QVERIFY(!m_ctl->isLockExpired());
    }

private:
    // What another program reads from the clipboard; empty when nobody offers it.
    QByteArray clipboard(const QString &target = QString())
    {
        QProcess xclip;
        xclip.start("xclip", QStringList{"-o", "-selection", "clipboard"} +
                                     (target.isEmpty() ? QStringList() : QStringList{"-t", target}));
        // We may own the clipboard ourselves, so our event loop must answer while xclip asks.
        QElapsedTimer t;
        t.start();
        while (xclip.state() != QProcess::NotRunning && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return xclip.exitCode() == 0 ? xclip.readAllStandardOutput() : QByteArray();
    }

    ServiceFixture m_fx;
    PasswordController *m_ctl = nullptr;
    std::unique_ptr<QProcess> m_owner; // an xclip holding the clipboard
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestPasswordController)
#include "tst_passwordcontroller.moc"
