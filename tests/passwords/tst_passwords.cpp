#include "core/AppInfo.h"
#include "core/Style.h"
#include "db/SettingsStorage.h"
#include "net/PasswordRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "passwords/CreateViewEditPasswordDialog.h"
#include "passwords/PasswordCellDelegate.h"
#include "passwords/LockedOverlay.h"
#include "passwords/PasswordController.h"
#include "passwords/PasswordsView.h"
#include "passwords/SuggestPasswordDialog.h"
#include "tests/net/DemoSignIn.h"
#include "tests/support/AwaitResult.h"
#include "tests/support/DevService.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPlainTextEdit>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTextDocument>
#include <QToolTip>
#include <QTranslator>
#include <QHeaderView>
#include <QtTest>

#include <functional>
#include <memory>

using EntryPtr = QSharedPointer<PasswordViewModel>;

// Hands the next modal widget of type T to fn as soon as it is up; gives up after about timeoutMs.
// Tests answer every box this way instead of letting it wait for a user.
template<typename T>
void onNextModal(std::function<void(T *)> fn, int timeoutMs = 5000)
{
    auto *timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("onNextModal"));
    QObject::connect(timer, &QTimer::timeout, [timer, fn, ticks = timeoutMs / 10]() mutable {
        T *widget = qobject_cast<T *>(QApplication::activeModalWidget());
        if (widget || --ticks < 0) {
            timer->stop();
            timer->deleteLater();
        }
        if (widget)
            fn(widget);
    });
    timer->start(10);
}

// Answers the next message box with button and records its title.
void answerNextBox(QMessageBox::StandardButton button, QString *title = nullptr)
{
    onNextModal<QMessageBox>([button, title](QMessageBox *box) {
        if (title)
            *title = box->windowTitle();
        box->button(button)->click();
    });
}

// The password controller, page and dialogs against the development service with the demo account
// signed in: loading and quota, the search modes, the dialogs, the lock, the cases where
// replies, rows and restored entries must not get mixed up, and the real clipboard of the test
// session's X display, where xclip plays the other programs.
class TestPasswords : public QObject
{
    Q_OBJECT

public slots:
    void openedUrl(const QUrl &url) { m_opened << url; }

private slots:
    void initTestCase()
    {
        m_db.open();
        QCoreApplication::setOrganizationName("tessarvale-test");
        QCoreApplication::setApplicationName("tst_passwords");
        AppInfo::publish(&m_info);
        QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
        R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", m_svc.httpUrl(), false));
        QVERIFY(R7Application::instance()->storeLocalPasswordHash(DevService::demoPassword()));
        QDesktopServices::setUrlHandler("http", this, "openedUrl");
        QDesktopServices::setUrlHandler("https", this, "openedUrl");
    }
    // A fresh service state, sign-in and controller; the lock never expires on its own.
    void init()
    {
        m_info.apiGeneration = 1;
        QVERIFY(m_svc.reset() && signInDemoFresh(&m_info).isOk());
        m_ri = std::make_unique<PasswordRI>(&m_info, R7Session::instance());
        m_ctl = new PasswordController(R7Session::instance(), m_ri.get());
        m_ctl->setLockMinutes(-1);
        m_ctl->setLocked(false);
        m_ctl->setClearIntervalOverride(3000);
        QSettings().clear();
        m_svc.requests(true);
        m_settings = new QSettings(m_env.configHome() + "/state.ini", QSettings::IniFormat);
        m_storage = new SettingsStorage(m_settings, nullptr);
    }
    void cleanup()
    {
        // No answer still waiting may outlive the locals of its test function.
        qDeleteAll(qApp->findChildren<QTimer *>(QStringLiteral("onNextModal"), Qt::FindDirectChildrenOnly));
        for (const QPointer<PasswordsView> &page : qAsConst(m_pages))
            delete page.data();
        m_pages.clear();
        delete m_storage;
        delete m_settings;
        delete m_ctl;
        m_ctl = nullptr;
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
    }

    void serverRoundTrip_data()
    {
        QTest::addColumn<int>("generation");
        QTest::newRow("generation 1") << 1;
        QTest::newRow("generation 2") << 2;
    }
    void serverRoundTrip()
    {
        QFETCH(int, generation);
        m_info.apiGeneration = generation;
        QVERIFY(signInDemoFresh(&m_info).isOk()); // a generation 2 sign-in brings the anti-forgery token
        const auto list = awaitResult<EmptyPasswordsTO>([&](auto cb) { m_ctl->loadPasswords(cb); });
        QVERIFY2(list.isOk(), qPrintable(list.message()));
        QCOMPARE(list.payload().passwords().size(), 4);
        QCOMPARE(list.payload().passwordsMax(), 100);

        auto entry = QSharedPointer<PasswordViewModel>::create("Forum", "Grün-42!", "https://forum.example", "me", "c",
                                                               PasswordViewModel::Add);
        const auto made = awaitResult<EmptyPasswordTO>([&](auto cb) { m_ctl->createPassword(entry, cb); });
        QVERIFY2(made.isOk(), qPrintable(made.message()));
        QCOMPARE(made.payload().id(), idOf("Forum"));
        QCOMPARE(storedEntry("Forum").value("password").toString(), QString("Grün-42!"));

        entry->setId(made.payload().id());
        entry->setTitle("Forum 2");
        entry->setPassword("anders");
        QVERIFY(awaitResult<EmptyPasswordTO>([&](auto cb) { m_ctl->updatePassword(entry, cb); }).isOk());
        QCOMPARE(storedEntry("Forum 2").value("password").toString(), QString("anders"));

        const auto secret = awaitResult<SinglePasswordTO>(
                [&](auto cb) { m_ctl->getPassword(idOf("Wi-Fi at home").toLongLong(), cb); });
        QVERIFY2(secret.isOk(), qPrintable(secret.message()));
        QString error;
        QCOMPARE(m_ctl->decryptPassword(secret.payload().password(), secret.payload().transportIv(), &error),
                 QString("Küchentisch-42"));

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
        QCOMPARE(requestsTo("passwords"), 0);
        QCOMPARE(log.count("Geheim-123"), 0);
    }

    // Fetched, decrypted, marked for clipboard managers, and gone after the time-out even though a
    // late notification of our own copy arrives while the timer runs.
    void fetchedPasswordClearedAfterTimeout()
    {
        LogCapture log;
        // Time for the fetch and two reads by another program while the timer runs, on a busy machine.
        m_ctl->setClearIntervalOverride(5000);
        m_ctl->loadPasswordForClipboard(QPoint(10, 10), idOf("Wi-Fi at home"));
        QTRY_VERIFY(m_ctl->isClearPending() && QGuiApplication::clipboard()->text() == "Küchentisch-42");
        QCOMPARE(QString::fromUtf8(clipboard()), QString("Küchentisch-42"));
        QCOMPARE(clipboard("x-kde-passwordManagerHint"), QByteArray("secret"));
        emit QGuiApplication::clipboard()->dataChanged();
        QVERIFY(m_ctl->isClearPending());
        QTRY_VERIFY_WITH_TIMEOUT(!m_ctl->isClearPending(), 10000);
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
        m_owner = std::make_unique<QProcess>();
        m_owner->start("xclip", {"-quiet", "-i", "-selection", "clipboard"});
        QVERIFY(m_owner->waitForStarted());
        m_owner->write(text);
        m_owner->closeWriteChannel();
        // Taken over once the X server says we lost the clipboard: the second row's text is ours
        // too, so the text alone would pass before the other program took it.
        QTRY_VERIFY(!QGuiApplication::clipboard()->ownsClipboard());
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8(text));
        QTRY_VERIFY_WITH_TIMEOUT(!m_ctl->isClearPending(), 8000);
        QCOMPARE(clipboard(), left);
    }

    void clipboardClearedOnlyWhileOurs_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<bool>("reported");
        const auto row = [](const char *tag, const char *trigger, bool replaced, bool reported) {
            QTest::newRow(tag) << QString(trigger) << replaced << reported;
        };
        row("time-out, replaced in this program", "time-out", true, true);
        row("time-out, replaced, change not yet reported", "time-out", true, false);
        row("sign-out, our copy", "sign-out", false, false);
        row("sign-out, replaced, change not yet reported", "sign-out", true, false);
        row("quit, our copy", "quit", false, false);
        row("quit, replaced, change not yet reported", "quit", true, false);
    }
    // Our copy goes at the time-out, at sign-out and at quit; whatever replaced it stays, even when
    // the clipboard's change report has not reached us yet.
    void clipboardClearedOnlyWhileOurs()
    {
        QFETCH(QString, trigger);
        QFETCH(bool, replaced);
        QFETCH(bool, reported);
        m_ctl->setClearIntervalOverride(60000);
        m_ctl->copyPasswordToClipboard("Geheim-123", QPoint(10, 10));
        QTRY_COMPARE(clipboard(), QByteArray("Geheim-123"));
        // Another program's read of it can take longer than the short time-out on a busy machine:
        // the copy that times out follows the one read back.
        if (trigger == "time-out") {
            m_ctl->setClearIntervalOverride(500);
            m_ctl->copyPasswordToClipboard("Geheim-123", QPoint(10, 10));
        }
        QVERIFY(m_ctl->isClearPending());
        {
            std::unique_ptr<QSignalBlocker> unreported;
            if (!reported)
                unreported = std::make_unique<QSignalBlocker>(QGuiApplication::clipboard());
            if (replaced) {
                m_ctl->copyUsernameToClipboard(QPoint(10, 10), "the user's name");
                QCOMPARE(m_ctl->isClearPending(), !reported);
            }
            if (trigger == "time-out") {
                if (m_ctl->isClearPending())
                    QTRY_VERIFY(!m_ctl->isClearPending());
                else
                    QTest::qWait(800); // past the time-out the copy had
            } else if (trigger == "sign-out") {
                emit R7Application::instance()->appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
            } else {
                QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
            }
        }
        QCOMPARE(clipboard(), QByteArray(replaced ? "the user's name" : ""));
        QVERIFY(!m_ctl->isClearPending());
    }

    void unusableIdOrFailedFetch_data()
    {
        QTest::addColumn<QString>("pwdId");
        QTest::addColumn<int>("requests");
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
        QCOMPARE(requestsTo("passwords"), requests);
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
        row("file url", "file:///usr/bin/xterm", "");
        row("launcher scheme", "steam://run/1", "");
        row("host-less http", "http://", "");
    }
    void onlyWebAddressesOpen()
    {
        QFETCH(QString, text);
        QFETCH(QString, opened);
        QString title;
        if (opened.isEmpty())
            answerNextBox(QMessageBox::Ok, &title);
        m_opened.clear();
        m_ctl->openUrlInBrowser(QPoint(5, 5), text);
        QCOMPARE(m_opened, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(opened)});
        QCOMPARE(title, QString(opened.isEmpty() ? "Unable to open address" : ""));
    }

    // When no launcher takes the address, the tool tip says so instead of claiming it opened.
    void launcherOutcomeShown_data()
    {
        QTest::addColumn<bool>("fromDialog");
        QTest::addColumn<bool>("launches");
        QTest::newRow("table button, launched") << false << true;
        QTest::newRow("table button, no launcher") << false << false;
        QTest::newRow("dialog Open, launched") << true << true;
        QTest::newRow("dialog Open, no launcher") << true << false;
    }
    void launcherOutcomeShown()
    {
        QFETCH(bool, fromDialog);
        QFETCH(bool, launches);
        // A handler that cannot be invoked makes QDesktopServices::openUrl report false.
        if (!launches) {
            QDesktopServices::setUrlHandler("https", this, "noLauncher");
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("invokeMethod: No such method .*noLauncher"));
        }
        m_opened.clear();
        if (fromDialog) {
            CreateViewEditPasswordDialog dialog(m_ctl, EntryPtr::create("Bank", "", "https://bank.example"));
            dialog.show();
            dialog.findChild<QAbstractButton *>("urlOpenBtn")->click();
        } else {
            m_ctl->openUrlInBrowser(QPoint(5, 5), "https://bank.example");
        }
        QDesktopServices::setUrlHandler("https", this, "openedUrl");
        QCOMPARE(m_opened.size(), launches ? 1 : 0);
        QTRY_COMPARE(QToolTip::text(), QString(launches ? "Opening Web Address in browser"
                                                        : "Unable to open the Web Address"));
    }

    // Under every brand's sheet, the German comment header is not cut: where the page has room the
    // other columns keep their widths; in a main window at its first size of 800 px they are narrowed
    // so that every column shows, none scrolled out of the table.
    void commentHeaderFits_data()
    {
        QTest::addColumn<QString>("brand");
        for (const char *brand : {"varnel", "sorel", "tamsel"})
            QTest::newRow(brand) << QString(brand);
    }
    void commentHeaderFits()
    {
        QFETCH(QString, brand);
        AppInfo styled = AppInfo::forThisBuild();
        styled.brandKey = brand;
        applyBrandStyle(qApp, &styled);
        QTranslator german;
        QVERIFY(german.load(QStringLiteral(":/trl/r7trl_de.qm")));
        QCoreApplication::installTranslator(&german);
        PasswordsView *page = makePage();
        QCoreApplication::removeTranslator(&german);
        QTRY_COMPARE(page->passwordCount(), 4);
        QHeaderView *header = table(page)->horizontalHeader();
        QCOMPARE(table(page)->model()->headerData(4, Qt::Horizontal).toString(), QString("Bemerkung"));
        for (int width : {594, 821}) {
            page->resize(width, 487);
            QCoreApplication::processEvents();
            QVERIFY2(header->sectionSize(4) >= header->sectionSizeHint(4),
                     qPrintable(QString("%1 of %2 at %3").arg(header->sectionSize(4)).arg(header->sectionSizeHint(4)).arg(width)));
            if (width == 821)
                QCOMPARE(QList<int>({header->sectionSize(0), header->sectionSize(1), header->sectionSize(3)}),
                         QList<int>({200, 180, 120}));
            else
                QVERIFY2(header->length() <= table(page)->viewport()->width(),
                         qPrintable(QString("%1 of %2").arg(header->length()).arg(table(page)->viewport()->width())));
        }
        qApp->setStyleSheet(QString());
    }

    // The page locks once the minutes of inactivity have passed, not before.
    void lockExpiry()
    {
        QSettings settings;
        m_ctl->setLockMinutes(3);
        // The controller reads the clock itself: an answer counts only when the second did not
        // change while it was asked for (1 expired, 0 not, -1 never asked within one second).
        const auto expiredAfter = [&](int seconds) {
            for (int attempt = 0; attempt < 5; ++attempt) {
                const qint64 now = QDateTime::currentSecsSinceEpoch();
                settings.setValue("password/lastOperationTimestamp", now - seconds);
                const bool expired = m_ctl->isLockExpired();
                if (QDateTime::currentSecsSinceEpoch() == now) {
                    return expired ? 1 : 0;
                }
            }
            return -1;
        };
        QCOMPARE(expiredAfter(180), 0);
        QCOMPARE(expiredAfter(181), 1);
    }

    void loadAndQuota_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QString>("usage");
        QTest::newRow("limited") << 100 << 0 << "Used 4 passwords of 100 available";
        QTest::newRow("one used") << 50 << 3 << "Used 1 password of 50 available";
        QTest::newRow("10000 and above is no limit") << 10000 << 1 << "Number of passwords: 3";
    }
    void loadAndQuota()
    {
        QFETCH(int, maximum);
        QFETCH(int, removed);
        QFETCH(QString, usage);
        QVERIFY(m_svc.control("user", {{"name", "demo"}, {"passwords_max", maximum}}).value("ok").toBool());
        const QStringList all{"Bank", "Mail", "Shop", "Wi-Fi at home"};
        for (int i = 0; i < removed; ++i) {
            const QString id = idOf(all[i]);
            QVERIFY(awaitResult<Nothing>([&](auto cb) { m_ri->deletePassword(id, cb); }).isOk());
        }
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->findChild<QLabel *>("passwordRestrictionsLabel")->text(), usage);
        QCOMPARE(titles(page), all.mid(removed));
        for (int row = 0; row < all.size() - removed; ++row) // the mask only
            QCOMPARE(table(page)->model()->index(row, 2).data().toString(), QString("******"));
    }

    void addOnlyWithinQuota()
    {
        QVERIFY(m_svc.control("user", {{"name", "demo"}, {"passwords_max", 4}}).value("ok").toBool());
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        QString title;
        answerNextBox(QMessageBox::Ok, &title);
        page->addNewPassword();
        QCOMPARE(title, QString("Password quota exceeded"));
    }

    void searchModes_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("all fields, address and user") << 0 << "example" << QStringList{"Bank", "Mail", "Shop"};
        QTest::newRow("all fields, never the mask") << 0 << "**" << QStringList{"Bank", "Mail", "Shop", "Wi-Fi at home"};
        QTest::newRow("title") << 1 << "a" << QStringList{"Bank", "Mail", "Wi-Fi at home"};
        QTest::newRow("web address") << 2 << "example.com" << QStringList{"Bank"};
    }
    void searchModes()
    {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        auto *box = page->findChild<QComboBox *>("searchFieldsComboBox");
        auto *edit = page->findChild<QLineEdit *>("searchEdit");
        box->setCurrentIndex(field);
        edit->setText(text);
        QCOMPARE(titles(page), shown);
        edit->clear();
        QCOMPARE(titles(page).size(), 4);
    }

    // A reload replaces every row: the search that is on and the order by title apply to the new ones.
    void reloadKeepsSearchAndOrder()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        page->findChild<QComboBox *>("searchFieldsComboBox")->setCurrentIndex(1);
        page->findChild<QLineEdit *>("searchEdit")->setText("entry 0");
        QCOMPARE(titles(page), QStringList{});
        QCOMPARE(m_svc.control("seed_passwords", {{"user", "demo"}, {"count", 3}}).value("passwords").toInt(), 7);
        page->requestPasswords();
        QTRY_COMPARE(page->passwordCount(), 7);
        QCOMPARE(titles(page), (QStringList{"Entry 00005", "Entry 00006", "Entry 00007"}));
        page->findChild<QLineEdit *>("searchEdit")->clear();
        QCOMPARE(titles(page),
                 (QStringList{"Bank", "Entry 00005", "Entry 00006", "Entry 00007", "Mail", "Shop", "Wi-Fi at home"}));
    }

    void searchByPassword()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        auto *edit = page->findChild<QLineEdit *>("searchEdit");
        page->findChild<QComboBox *>("searchFieldsComboBox")->setCurrentIndex(3);
        m_svc.requests(true);
        LogCapture log;
        for (const char *typed : {"c", "co", "cor", "corr", "correct horse battery staple"})
            edit->setText(typed);
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QTRY_COMPARE(titles(page), (QStringList{"Mail", "Shop"}));
        QCOMPARE(requestsTo("breached", "POST"), 1); // one for the pause, not one per keystroke

        edit->setText("no entry has this one");
        QTRY_COMPARE(titles(page), QStringList{});
        QVERIFY(!log.contains("correct horse") && !log.contains("no entry has this one"));
    }

    void fieldChangeCancelsPasswordSearch()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        auto *box = page->findChild<QComboBox *>("searchFieldsComboBox");
        auto *edit = page->findChild<QLineEdit *>("searchEdit");
        m_svc.requests(true);
        // Waiting for the pause: nothing is sent.
        box->setCurrentIndex(3);
        edit->setText("correct horse battery staple");
        box->setCurrentIndex(1);
        QTest::qWait(1300);
        QCOMPARE(requestsTo("breached", "POST"), 0);
        // Already sent: its reply no longer replaces the filter of the new field.
        QVERIFY(m_svc.fault({{"path", "breached$"}, {"delay_ms", 500}}) >= 0);
        box->setCurrentIndex(3);
        edit->setText("correct horse battery staple");
        QTRY_COMPARE(requestsTo("breached", "POST"), 1);
        box->setCurrentIndex(0);
        QTest::qWait(800);
        QCOMPARE(titles(page).size(), 4);
    }

    void editHistoryHoldsNoSecret_data()
    {
        QTest::addColumn<QString>("field"); // the search box left for another field, or the unlock field
        QTest::addColumn<int>("nextField");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("typedAfter"); // all the field may hold at the end, besides nothing
        QTest::newRow("search by password, then title, undone, redone")
                << "search" << 1 << QStringList{"Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+Z"} << "";
        QTest::newRow("search by password, then all fields, typed, undone twice")
                << "search" << 0 << QStringList{"X", "Ctrl+Z", "Ctrl+Z"} << "x";
        QTest::newRow("unlock field after the unlock, undone") << "unlock" << -1 << QStringList{"Ctrl+Z", "Ctrl+Z"} << "";
    }
    // A field the page empties itself keeps no edit history: Undo brings back neither a password
    // typed for the search, then shown in clear text once another field is chosen, nor the one
    // that unlocked the page.
    void editHistoryHoldsNoSecret()
    {
        QFETCH(QString, field);
        QFETCH(QStringList, keys);
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        QLineEdit *edit = nullptr;
        QString secret = "correct horse";
        if (field == "search") {
            edit = page->findChild<QLineEdit *>("searchEdit");
            auto *box = page->findChild<QComboBox *>("searchFieldsComboBox");
            box->setCurrentIndex(3);
            QTest::keyClicks(edit, secret);
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
            QFETCH(int, nextField);
            box->setCurrentIndex(nextField);
            QCOMPARE(edit->echoMode(), QLineEdit::Normal);
        } else {
            page->lockImmediate();
            edit = unlockField(page);
            QVERIFY(edit);
            secret = DevService::demoPassword();
            QTest::keyClicks(edit, secret);
            QTest::keyClick(edit, Qt::Key_Return);
            QVERIFY(page->findChild<QPropertyAnimation *>()); // fading out, the field still there
            // Its echo mode lets Undo only empty it; what the history holds shows once it echoes.
            edit->setEchoMode(QLineEdit::Normal);
        }
        QCOMPARE(edit->text(), QString());
        for (const QString &key : keys) {
            QTest::keySequence(edit, QKeySequence(key));
            const QString shown = edit->echoMode() == QLineEdit::Normal ? edit->text() : QString();
            QVERIFY2(!shown.contains(secret) && !edit->text().contains(secret), qPrintable(key + ": " + shown));
        }
        QFETCH(QString, typedAfter);
        QVERIFY2(edit->text().isEmpty() || edit->text() == typedAfter, qPrintable(edit->text()));
    }

    // Opening a second entry before the first secret arrives: the first reply must not open the
    // second entry with the first entry's password.
    void supersededReplyDropped()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        const QString wifi = idOf("Wi-Fi at home");
        QVERIFY(m_svc.fault({{"path", "passwords/" + wifi + "$"}, {"method", "GET"}, {"delay_ms", 700}}) >= 0);
        QStringList opened;
        std::function<void(CreateViewEditPasswordDialog *)> record = [&](CreateViewEditPasswordDialog *dialog) {
            opened << dialog->windowTitle() + "|" + text(dialog, "titleEdit") + "|" + text(dialog, "pwdEdit");
            dialog->reject();
        };
        onNextModal<CreateViewEditPasswordDialog>(record);
        page->on_doubleClickRow(proxyIndexOf(page, "Bank"));
        page->on_titleEditButtonClicked(QPoint(), wifi);
        QTRY_COMPARE(opened.size(), 1);
        QCOMPARE(opened.first(), QString::fromUtf8("Edit password|Wi-Fi at home|Küchentisch-42"));
        onNextModal<CreateViewEditPasswordDialog>(record, 1500);
        QTest::qWait(1000);
        QCOMPARE(opened.size(), 1);
    }

    // Saving an entry opened with an empty password would overwrite the stored one.
    void undecryptableSecretOpensNothing()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        const QString bank = idOf("Bank");
        const QString body = QString(R"({"status":0,"message":"","data":{"id":"%1","password":"00ff","transportIv":"%2"}})")
                                     .arg(bank, QString(32, '0'));
        QVERIFY(m_svc.fault({{"path", "passwords/" + bank + "$"}, {"method", "GET"}, {"body", body}}) >= 0);
        bool opened = false;
        onNextModal<CreateViewEditPasswordDialog>([&opened](CreateViewEditPasswordDialog *dialog) {
            opened = true;
            dialog->reject();
        });
        QString title;
        answerNextBox(QMessageBox::Ok, &title);
        page->on_titleEditButtonClicked(QPoint(), bank);
        QTRY_COMPARE(title, QString("Error"));
        QTest::qWait(100);
        QVERIFY(!opened);
    }

    // A reload while the editor is open moves the rows; the edit must land on its own entry.
    void editFindsRowById()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        const QString shop = idOf("Shop");
        bool saved = false;
        onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
            auto first = EntryPtr::create("Aardvark", "x", "", "", "", 2);
            QVERIFY(awaitResult<EmptyPasswordTO>([&](auto cb) { m_ctl->createPassword(first, cb); }).isOk());
            page->requestPasswords();
            QVERIFY(QTest::qWaitFor([&] { return page->passwordCount() == 5; }));
            dialog->findChild<QLineEdit *>("titleEdit")->setText("Shop renamed");
            dialog->findChild<QPushButton *>("saveButton")->click();
            saved = true;
        });
        page->on_titleEditButtonClicked(QPoint(), shop);
        QTRY_VERIFY(saved);
        QTRY_COMPARE(titles(page), (QStringList{"Aardvark", "Bank", "Mail", "Shop renamed", "Wi-Fi at home"}));
        QCOMPARE(page->findIndexById(shop).data().toString(), QString("Shop renamed"));
        QCOMPARE(idOf("Shop renamed"), shop);
    }

    // Two confirmed deletions in flight each remove their own row.
    void twoDeletionsInFlight()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        QVERIFY(m_svc.fault({{"path", "passwords/" + idOf("Bank") + "$"}, {"method", "DELETE"}, {"delay_ms", 600}}) >=
                0);
        table(page)->selectRow(proxyIndexOf(page, "Bank").row());
        answerNextBox(QMessageBox::Yes);
        page->deleteSelectedPassword();
        table(page)->selectRow(proxyIndexOf(page, "Mail").row());
        answerNextBox(QMessageBox::Yes);
        page->deleteSelectedPassword();
        QTRY_COMPARE(page->passwordCount(), 2);
        QTest::qWait(100);
        QCOMPARE(titles(page), (QStringList{"Shop", "Wi-Fi at home"}));
        QCOMPARE(stored().size(), 2);
    }

    void entryTextShownAsIs_data()
    {
        QTest::addColumn<QString>("how"); // the entry reached the table by the list, the dialog's add or edit
        QTest::addColumn<QString>("comment");
        const QString prompt = "<h1 style='color:red'>Session expired</h1><p>Type your master password at "
                               "https://evil.example</p>";
        QTest::newRow("loaded") << "loaded" << prompt;
        QTest::newRow("loaded, no comment") << "loaded" << "";
        QTest::newRow("added") << "added" << prompt;
        QTest::newRow("edited") << "edited" << prompt;
    }
    // Whoever can write entries (another device, the service) writes their titles and comments: the
    // comment cell's tool tip, in the table's data, and the delete question show them as they stand,
    // never drawn as markup; the question stays a message box.
    void entryTextShownAsIs()
    {
        QFETCH(QString, how);
        QFETCH(QString, comment);
        const QString title = "<b>Bank</b><br>moved, <a href='https://evil.example'>sign in again</a>";
        if (how == "loaded") {
            auto entry = EntryPtr::create(title, "x", "", "", comment, PasswordViewModel::Add);
            QVERIFY(awaitResult<EmptyPasswordTO>([&](auto cb) { m_ctl->createPassword(entry, cb); }).isOk());
        }
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), how == "loaded" ? 5 : 4);
        if (how != "loaded") {
            bool saved = false;
            onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
                dialog->findChild<QLineEdit *>("titleEdit")->setText(title);
                dialog->findChild<QLineEdit *>("pwdEdit")->setText("x");
                dialog->findChild<QPlainTextEdit *>("commentEdit")->setPlainText(comment);
                dialog->findChild<QPushButton *>("saveButton")->click();
                saved = true;
            });
            if (how == "added")
                page->addNewPassword();
            else
                page->on_titleEditButtonClicked(QPoint(), idOf("Bank"));
            QTRY_VERIFY(saved);
            QTRY_VERIFY(titles(page).contains(title));
        }
        const QModelIndex cell = proxyIndexOf(page, title).siblingAtColumn(PasswordsView::CommentColumn);
        QCOMPARE(cell.data().toString(), comment);
        const QString tip = cell.data(Qt::ToolTipRole).toString();
        QVERIFY2(comment.isEmpty() ? tip.isEmpty() : readsAs(tip, Qt::AutoText) == comment, qPrintable(tip));

        table(page)->selectRow(proxyIndexOf(page, title).row());
        QString question;
        onNextModal<QMessageBox>([&question](QMessageBox *box) {
            question = readsAs(box->text(), box->textFormat());
            box->button(QMessageBox::No)->click();
        });
        page->deleteSelectedPassword();
        QCOMPARE(question, "Are you sure you want to delete password " + title + " ?");
        QCOMPARE(page->passwordCount(), how == "added" || how == "loaded" ? 5 : 4);
    }

    // An entry open at sign-out comes back on the next page, with what was typed, but never before
    // that page is built and unlocked.
    void restoredEntryWaitsForUnlock()
    {
        PasswordsView *first = makePage();
        QTRY_COMPARE(first->passwordCount(), 4);
        onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
            dialog->findChild<QLineEdit *>("titleEdit")->setText("Draft");
            dialog->findChild<QLineEdit *>("userEdit")->setText("typed user");
            dialog->findChild<QLineEdit *>("pwdEdit")->setText("draft secret");
            emit R7Application::instance()->appStateChanged(R7Application::APP_STATE_LOGGED_OUT);
        });
        first->addNewPassword();
        delete first;
        m_ctl->setLocked(true);

        QStringList opened;
        onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
            opened << text(dialog, "titleEdit") + "|" + text(dialog, "userEdit") + "|" + text(dialog, "pwdEdit");
            dialog->reject();
        });
        PasswordsView *second = makePage();
        QVERIFY(second->isPageLocked());
        QTest::qWait(300);
        for (QAction *action : second->actions()) // shortcuts act on nothing behind the overlay
            action->trigger();
        QTest::qWait(100);
        QVERIFY(opened.isEmpty() && second->isPageLocked());
        second->unlock();
        QTRY_COMPARE(opened, QStringList{"Draft|typed user|draft secret"});
    }

    // The overlay covers the page and stays above later children; a wrong password and the Return
    // typed while it shakes leave the page locked; the right one, checked by the application, unlocks.
    void lockAndUnlock()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        page->findChild<QPushButton *>("lockButton")->click();
        QVERIFY(page->isPageLocked() && m_ctl->isLocked());
        auto *overlay = page->findChild<LockedOverlay *>();
        (new QPushButton("late", page))->show();
        QCOMPARE(page->childAt(QPoint(10, 10)), overlay);

        auto *input = overlay->findChild<QLineEdit *>();
        QTest::keyClicks(input, "wrong");
        QTest::keyClick(input, Qt::Key_Return);
        QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(input, DevService::demoPassword());
        QTest::keyClick(input, Qt::Key_Return);
        QTRY_VERIFY(!overlay->findChild<QPropertyAnimation *>("shakeAnimation"));
        QVERIFY(page->isPageLocked());

        QTest::keyClick(input, Qt::Key_Return);
        QTRY_VERIFY(!page->isPageLocked());
        QVERIFY(!m_ctl->isLocked());
    }

    void lockEndsTheWindowsOfThePage_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("reopened");
        const QString typed = "Typed title|typed user|typed secret|shop.example";
        QTest::newRow("entry dialog") << "entry" << typed;
        QTest::newRow("suggestion over the entry dialog") << "suggestion" << typed;
        QTest::newRow("message box over the entry dialog") << "invalid" << "|typed user|typed secret|shop.example";
        QTest::newRow("context menu over the entry dialog") << "menu" << typed;
        QTest::newRow("combo list of the suggestion over the entry dialog") << "combo" << typed;
        QTest::newRow("suggestion over the entry reopened by an unlock") << "reopened" << typed;
        QTest::newRow("combo list of the page") << "search field"
                                                << "";
        QTest::newRow("delete question") << "delete" << "";
        QTest::newRow("refused address from the table") << "address" << "";
    }
    // The lock time runs out while a modal window or a pop-up of the page is open, however deep:
    // nothing stays readable, the real keyboard (no window manager here) reaches only the unlock
    // field, and what was typed into the entry comes back after the unlock.
    void lockEndsTheWindowsOfThePage()
    {
        QFETCH(QString, window);
        QFETCH(QString, reopened);
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        page->activateWindow();
        QTRY_VERIFY(page->isActiveWindow());
        const auto fill = [](CreateViewEditPasswordDialog *dialog, const QString &title) {
            dialog->findChild<QLineEdit *>("titleEdit")->setText(title);
            dialog->findChild<QLineEdit *>("userEdit")->setText("typed user");
            dialog->findChild<QLineEdit *>("pwdEdit")->setText("typed secret");
            auto *url = dialog->findChild<QLineEdit *>("urlEdit");
            url->setText("shop.example");
            url->setFocus(); // where the unlock password landed before
        };
        QStringList leftOpen{"(not looked at yet)"};
        windowsLeftByLock(page, &leftOpen);
        if (window == "delete") {
            table(page)->selectRow(proxyIndexOf(page, "Bank").row());
            onNextModal<QMessageBox>([this](QMessageBox *) { expireLock(); });
            page->deleteSelectedPassword();
        } else if (window == "address") {
            auto *cell = qobject_cast<PasswordCellDelegate *>(table(page)->itemDelegateForColumn(PasswordsView::UrlColumn));
            QVERIFY(cell);
            // In the client the active window is the page's main window, not the page.
            QWidget frame;
            frame.show();
            frame.activateWindow();
            QTRY_VERIFY(frame.isActiveWindow());
            onNextModal<QMessageBox>([this](QMessageBox *) { expireLock(); });
            emit cell->selected(QPoint(5, 5), "file:///etc/passwd");
        } else if (window == "search field") {
            page->findChild<QComboBox *>("searchFieldsComboBox")->showPopup();
            QVERIFY(QApplication::activePopupWidget());
            expireLock();
            QTRY_VERIFY(page->isPageLocked());
        } else if (window == "reopened") {
            // The unlock reopens the entry while the old overlay is still on its way out.
            onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
                fill(dialog, "Typed title");
                expireLock();
            });
            page->addNewPassword();
            QVERIFY(page->isPageLocked());
            QLineEdit *first = unlockField(page);
            QTRY_VERIFY(first && QApplication::focusWidget() == first);
            bool suggested = false;
            onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
                onNextModal<SuggestPasswordDialog>([&](SuggestPasswordDialog *) {
                    suggested = true;
                    expireLock();
                });
                dialog->findChild<QPushButton *>("suggestBtn")->click();
            });
            // Unlocked from an event loop as in the client: what that loop defers waits for it.
            QEventLoop loop;
            QTimer::singleShot(0, &loop, [&] {
                first->setText(DevService::demoPassword());
                QTest::keyClick(first, Qt::Key_Return);
            });
            QTimer poll;
            connect(&poll, &QTimer::timeout, &loop, [&] {
                if (suggested && page->isPageLocked() && !QApplication::activeModalWidget())
                    loop.quit();
            });
            poll.start(20);
            QTimer::singleShot(8000, &loop, &QEventLoop::quit);
            loop.exec();
            QVERIFY(suggested && page->isPageLocked());
        } else {
            onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
                if (window == "entry") {
                    fill(dialog, "Typed title");
                    expireLock();
                } else if (window == "suggestion" || window == "combo") {
                    fill(dialog, "Typed title");
                    onNextModal<SuggestPasswordDialog>([this, window](SuggestPasswordDialog *suggestion) {
                        if (window == "combo")
                            suggestion->findChild<QComboBox *>("typeComboBox")->showPopup();
                        expireLock();
                    });
                    dialog->findChild<QPushButton *>("suggestBtn")->click();
                } else if (window == "menu") {
                    fill(dialog, "Typed title");
                    auto *edit = dialog->findChild<QLineEdit *>("titleEdit");
                    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), edit->mapToGlobal(QPoint(5, 5)));
                    QApplication::sendEvent(edit, &event);
                    QVERIFY(QApplication::activePopupWidget());
                    expireLock();
                } else {
                    fill(dialog, "");
                    onNextModal<QMessageBox>([this](QMessageBox *) { expireLock(); });
                    dialog->findChild<QPushButton *>("saveButton")->click();
                }
            });
            page->addNewPassword();
        }
        QVERIFY(page->isPageLocked());
        m_ctl->setLockMinutes(-1);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!QApplication::activePopupWidget());
        // Looked at a moment after the lock, which on a busy machine comes after the lock returns.
        QTRY_COMPARE(leftOpen, QStringList());
        QLineEdit *input = unlockField(page);
        QTRY_VERIFY(input && QApplication::focusWidget() == input);

        QStringList seen;
        // Answered after the focus, the typing and the unlock below, each of which a busy machine slows.
        onNextModal<CreateViewEditPasswordDialog>(
                [&](CreateViewEditPasswordDialog *dialog) {
                    seen << QStringList{text(dialog, "titleEdit"), text(dialog, "userEdit"), text(dialog, "pwdEdit"),
                                        text(dialog, "urlEdit")}.join('|');
                    dialog->reject();
                },
                20000);
        // The X server's focus can follow Qt's a moment later on a slow machine.
        QTRY_COMPARE_WITH_TIMEOUT(xdotoolOutput({"getwindowfocus"}), QString::number(page->window()->winId()), 5000);
        // Typed as a person would, through the X server to whatever window has the focus.
        xdotool({"type", "--delay", "10", DevService::demoPassword()});
        xdotool({"key", "Return"});
        QTRY_VERIFY_WITH_TIMEOUT(!page->isPageLocked(), 8000);
        if (!reopened.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty(), 5000);
        QTest::qWait(300); // a second entry, or one where none belongs, would be open by now
        QCOMPARE(seen, reopened.isEmpty() ? QStringList() : QStringList{reopened});
        QCOMPARE(stored().size(), 4); // nothing saved, nothing deleted
    }

    // A failed deletion answered while the page is locked: its message would take the keys typed
    // for the unlock, so it waits for the unlock.
    void messageWaitsForUnlock()
    {
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        QVERIFY(m_svc.fault({{"path", "passwords/" + idOf("Bank") + "$"},
                             {"method", "DELETE"},
                             {"delay_ms", 300},
                             {"http_status", 503}}) >= 0);
        table(page)->selectRow(proxyIndexOf(page, "Bank").row());
        answerNextBox(QMessageBox::Yes);
        page->deleteSelectedPassword();
        page->lockAnimated();
        QStringList shown; // locked at the time | title
        onNextModal<QMessageBox>(
                [&](QMessageBox *box) {
                    shown << QString("%1|%2").arg(page->isPageLocked()).arg(box->windowTitle());
                    box->button(QMessageBox::Ok)->click();
                },
                8000);
        LogCapture log;
        QTRY_VERIFY(log.contains("PasswordsView::on_deletePassword"));
        QTest::qWait(200);
        QCOMPARE(shown, QStringList());
        page->unlock();
        QTRY_COMPARE(shown, QStringList{"0|Delete failed"});
        QCOMPARE(page->passwordCount(), 4);
    }

    void lockDuringSaveStoresOnce_data()
    {
        QTest::addColumn<int>("httpStatus"); // of the save's answer
        QTest::addColumn<int>("countWhileLocked");
        QTest::newRow("stored") << 200 << 5;
        QTest::newRow("refused") << 503 << 4;
    }
    // The lock ends the dialog while its save travels: the answer still counts, the entry is stored
    // once, and the reopened entry updates it (or, refused, adds it then).
    void lockDuringSaveStoresOnce()
    {
        QFETCH(int, httpStatus);
        QJsonObject fault{{"path", "passwords$"}, {"method", "POST"}, {"delay_ms", 1500}};
        if (httpStatus != 200)
            fault.insert("http_status", httpStatus);
        QVERIFY(m_svc.fault(fault) >= 0);
        PasswordsView *page = makePage();
        QTRY_COMPARE(page->passwordCount(), 4);
        onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
            dialog->findChild<QLineEdit *>("titleEdit")->setText("In flight");
            dialog->findChild<QPushButton *>("saveButton")->click();
            page->lockAnimated();
        });
        page->addNewPassword();
        QVERIFY(page->isPageLocked());
        QTRY_VERIFY_WITH_TIMEOUT(!page->findChild<CreateViewEditPasswordDialog *>(), 5000);
        QTEST(page->passwordCount(), "countWhileLocked");
        QString reopenedAs;
        onNextModal<CreateViewEditPasswordDialog>([&](CreateViewEditPasswordDialog *dialog) {
            reopenedAs = text(dialog, "titleEdit");
            dialog->findChild<QLineEdit *>("titleEdit")->setText("In flight, renamed");
            dialog->findChild<QPushButton *>("saveButton")->click();
        });
        page->unlock();
        QTRY_COMPARE(reopenedAs, QString("In flight"));
        QTRY_VERIFY(!idOf("In flight, renamed").isEmpty());
        QCOMPARE(stored().size(), 5);
        QVERIFY(titles(page).contains("In flight, renamed"));
    }

    void blankTitleRejectedThenSaved()
    {
        auto entry = EntryPtr::create("", "", "", "", "", 2);
        CreateViewEditPasswordDialog dialog(m_ctl, entry);
        auto *titleEdit = dialog.findChild<QLineEdit *>("titleEdit");
        titleEdit->setText("   ");
        dialog.findChild<QLineEdit *>("pwdEdit")->setText("fresh secret");
        m_svc.requests(true);
        answerNextBox(QMessageBox::Ok);
        dialog.findChild<QPushButton *>("saveButton")->click();
        QCOMPARE(requestsTo("passwords", "POST"), 0);

        titleEdit->setText("Forum");
        dialog.findChild<QPushButton *>("saveButton")->click();
        QTRY_COMPARE(dialog.result(), 1);
        QCOMPARE(idOf("Forum"), entry->id());
        QCOMPARE(storedEntry("Forum").value("password").toString(), QString("fresh secret"));
    }

    // A second click while the creation travels must not create the entry twice.
    void saveDisabledWhilePending()
    {
        QVERIFY(m_svc.fault({{"path", "passwords$"}, {"method", "POST"}, {"delay_ms", 600}}) >= 0);
        CreateViewEditPasswordDialog dialog(m_ctl, EntryPtr::create("", "", "", "", "", 2));
        dialog.show();
        dialog.findChild<QLineEdit *>("titleEdit")->setText("Twice?");
        auto *save = dialog.findChild<QPushButton *>("saveButton");
        save->click();
        save->click();
        QTest::mouseClick(save, Qt::LeftButton);
        QTRY_COMPARE(dialog.result(), 1);
        QTest::qWait(200);
        int copies = 0;
        for (const QJsonValue &v : stored())
            copies += v.toObject().value("title").toString() == "Twice?";
        QCOMPARE(copies, 1);
    }

    void failedUpdateKeepsDialogOpen()
    {
        QVERIFY(m_svc.fault({{"path", "passwords/"}, {"method", "PUT"}, {"envelope_status", 10904}}) >= 0);
        auto entry = EntryPtr::create("Gone", "typed-secret-7", "", "", "", 1);
        entry->setId("999999");
        CreateViewEditPasswordDialog dialog(m_ctl, entry);
        LogCapture log;
        auto *save = dialog.findChild<QPushButton *>("saveButton");
        save->click();
        auto *error = dialog.findChild<QLabel *>("errorLabel");
        QTRY_VERIFY(!error->isHidden());
        QVERIFY(save->isEnabled());
        QCOMPARE(dialog.result(), 0);
        QVERIFY(!log.contains("typed-secret-7"));
    }

    void destructionBlanksPassword()
    {
        QString last = "unchanged";
        const auto watch = [&last](QLineEdit *edit) {
            connect(edit, &QLineEdit::textChanged, [&last](const QString &t) { last = t; });
            return edit->text().size();
        };
        {
            CreateViewEditPasswordDialog dialog(m_ctl, EntryPtr::create("T", "s3cret", "", "", "", 0));
            watch(dialog.findChild<QLineEdit *>("pwdEdit"));
        }
        QCOMPARE(last, QString(6, ' '));
        int shown = 0;
        {
            SuggestPasswordDialog dialog;
            shown = watch(dialog.findChild<QLineEdit *>("pwdLineEdit"));
        }
        QCOMPARE(last, QString(shown, ' '));
    }

private:
    // The lock time ran out a while ago; the page's timer notices it within a second.
    void expireLock()
    {
        QSettings settings;
        settings.setValue("password/lockSeconds", 1);
        settings.setValue("password/lastOperationTimestamp", QDateTime::currentSecsSinceEpoch() - 100);
    }
    // What is still open a moment after the lock; then closes it, so that a failing test ends.
    static void windowsLeftByLock(PasswordsView *page, QStringList *leftOpen)
    {
        auto *timer = new QTimer(qApp);
        timer->setObjectName(QStringLiteral("onNextModal"));
        QObject::connect(timer, &QTimer::timeout, [timer, page, leftOpen, ticks = 30]() mutable {
            if (!page->isPageLocked() || --ticks > 0)
                return;
            timer->stop();
            timer->deleteLater();
            *leftOpen = visibleDialogs();
            while (QWidget *popup = QApplication::activePopupWidget())
                popup->close();
            for (QWidget *window : QApplication::topLevelWidgets())
                if (auto *dialog = qobject_cast<QDialog *>(window))
                    dialog->reject();
        });
        timer->start(10);
    }
    static QStringList visibleDialogs()
    {
        QStringList out;
        for (QWidget *window : QApplication::topLevelWidgets())
            if ((qobject_cast<QDialog *>(window) || window->windowType() == Qt::Popup) && window->isVisible())
                out << window->metaObject()->className() + QString(":") + window->windowTitle();
        return out;
    }
    // The text a label, tool tip or message box of that format shows.
    static QString readsAs(const QString &text, Qt::TextFormat format)
    {
        if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
            return text;
        QTextDocument document;
        document.setHtml(text);
        return document.toPlainText();
    }
    // The input of the overlay that is shown; none while no overlay is.
    static QLineEdit *unlockField(PasswordsView *page)
    {
        for (LockedOverlay *overlay : page->findChildren<LockedOverlay *>())
            if (overlay->isVisible())
                return overlay->findChild<QLineEdit *>();
        return nullptr;
    }
    static QString xdotoolOutput(const QStringList &args)
    {
        QProcess process;
        process.start("xdotool", args);
        process.waitForFinished(10000);
        return QString::fromLatin1(process.readAllStandardOutput()).trimmed();
    }
    static void xdotool(const QStringList &args)
    {
        QProcess process;
        process.start("xdotool", args);
        QVERIFY(process.waitForFinished(10000) && process.exitCode() == 0);
    }
    PasswordsView *makePage()
    {
        auto *page = new PasswordsView(m_ctl, m_storage, nullptr);
        m_pages << page;
        page->resize(821, 487);
        page->show();
        return page;
    }
    static QTableView *table(PasswordsView *page) { return page->findChild<QTableView *>("passwordsTableView"); }
    static QString text(QWidget *dialog, const char *edit) { return dialog->findChild<QLineEdit *>(edit)->text(); }
    static QStringList titles(PasswordsView *page)
    {
        QStringList out;
        for (int row = 0; row < table(page)->model()->rowCount(); ++row)
            out << table(page)->model()->index(row, 0).data().toString();
        return out;
    }
    static QModelIndex proxyIndexOf(PasswordsView *page, const QString &title)
    {
        return table(page)->model()->index(titles(page).indexOf(title), 0);
    }
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

    // The demo account's entries as the service stores them, secrets decrypted.
    QJsonArray stored() const
    {
        for (const QJsonValue &user : m_svc.state().value("users").toArray())
            if (user.toObject().value("name").toString() == DevService::demoUser())
                return user.toObject().value("passwords").toArray();
        return {};
    }
    QJsonObject storedEntry(const QString &title) const
    {
        for (const QJsonValue &v : stored())
            if (v.toObject().value("title").toString() == title)
                return v.toObject();
        return {};
    }
    QString idOf(const QString &title) const { return storedEntry(title).value("id").toVariant().toString(); }
    // Requests whose path holds fragment, of one method or of any.
    int requestsTo(const QString &fragment, const QString &method = QString()) const
    {
        int count = 0;
        for (const QJsonValue &v : m_svc.requests()) {
            const QJsonObject r = v.toObject();
            count += r.value("path").toString().contains(fragment) &&
                     (method.isEmpty() || r.value("method").toString() == method);
        }
        return count;
    }

    TestEnv m_env;
    TestDatabase m_db; // sign-in records the account
    DevService m_svc;
    AppInfo m_info = AppInfo::forThisBuild();
    std::unique_ptr<PasswordRI> m_ri;
    PasswordController *m_ctl = nullptr;
    QSettings *m_settings = nullptr;
    SettingsStorage *m_storage = nullptr;
    QList<QPointer<PasswordsView>> m_pages;
    std::unique_ptr<QProcess> m_owner; // an xclip holding the clipboard
    QList<QUrl> m_opened;
};

// The application object, as in the client: it checks the unlock password and announces sign-outs.
int main(int argc, char **argv)
{
    TestEnv env;
    AppInfo info = AppInfo::forThisBuild();
    R7Application app(argc, argv, &info);
    TestPasswords test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_passwords.moc"
