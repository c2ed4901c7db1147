// The log, debug settings and notice dialogs offscreen: the log's cap and follow mode; the debug
// dialog's custom server; the notices' texts and links, also under German; the settings page's
// sliders with the values they store.
#include "core/AppInfo.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/ServerList.h"
#include "passwords/PasswordController.h"
#include "tests/support/TestEnv.h"
#include "ui/DebugDialog.h"
#include "ui/LogDialog.h"
#include "ui/MainSettingsView.h"
#include "platform/StartOnStartup.h"
#include "ui/QuotaExceededDialog.h"
#include "ui/SessionTerminatedDialog.h"
#include "ui/UpgradeClientDialog.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QSettings>
#include <QSlider>
#include <QTextBrowser>
#include <QTranslator>
#include <QCheckBox>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Answers the next modal dialog of type T once it is up.
template<typename T>
void answerModal(std::function<void(T*)> answer)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer]() {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start();
}

void writeLines(const QString& path, int from, int count, QIODevice::OpenMode mode)
{
    QFile file(path);
    QVERIFY(file.open(mode | QIODevice::Text));
    for (int i = from; i < from + count; ++i)
        file.write(QStringLiteral("line %1 <b>bold</b>\n").arg(i).toUtf8());
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env.reset(new TestEnv);
        QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
        QCoreApplication::setOrganizationDomain(QStringLiteral("varnel.example"));
        QCoreApplication::setApplicationName(QStringLiteral("tessarvale-dialogs-test"));
        m_info.reset(new AppInfo(AppInfo::forThisBuild()));
        m_controller.reset(new PasswordController(R7Session::instance(), nullptr));
    }

    void cleanup()
    {
        m_controller.reset();
        m_env.reset();
    }

    void logShowsTheLastLinesAndFollows()
    {
        // A deep log folder: its path shortens, the dialog stays narrower than a 1280 px screen.
        const QString folder =
                m_env->home() + QStringLiteral("/.cache") + QStringLiteral("/a-rather-long-folder-name").repeated(8);
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/client.log");
        writeLines(path, 1, 12000, QIODevice::WriteOnly);
        LogDialog* dialog = LogDialog::instance();
        QCOMPARE(dialog->loadFile(path), 5000);
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("locationValue"))->text(), QDir::toNativeSeparators(path));
        QVERIFY2(dialog->minimumSizeHint().width() < 1280,
                 qPrintable(QString::number(dialog->minimumSizeHint().width())));
        // Width the user gives the dialog goes to the location, not to the spacer beside it.
        QLabel* location = dialog->findChild<QLabel*>(QStringLiteral("locationValue"));
        dialog->show();
        dialog->layout()->activate();
        const int shown = location->width();
        dialog->resize(dialog->width() + 300, dialog->height());
        dialog->layout()->activate();
        QCOMPARE(location->width(), shown + 300);
        QTextBrowser* text = dialog->findChild<QTextBrowser*>(QStringLiteral("logText"));
        // Log lines are shown as written, markup and all.
        QCOMPARE(text->toPlainText().split(QLatin1Char('\n')).first(), QStringLiteral("line 7001 <b>bold</b>"));

        writeLines(path, 12001, 3, QIODevice::Append);
        QTRY_COMPARE(text->toPlainText().split(QLatin1Char('\n')).last(), QStringLiteral("line 12003 <b>bold</b>"));
        delete dialog;
    }

    void debugDialogCustomServer_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("url");
        QTest::newRow("address") << "https://sync.example.org" << "https://sync.example.org";
        QTest::newRow("blank") << "   " << "";
    }

    void debugDialogCustomServer()
    {
        ServerList servers(*m_info);
        const QString before = servers.currentServer().url();
        DebugDialog dialog(m_info.get(), &servers, R7Session::instance());
        QComboBox* combo = dialog.findChild<QComboBox*>(QStringLiteral("selectServerComboBox"));
        QFETCH(QString, typed);
        answerModal<QInputDialog>([&](QInputDialog* input) {
            input->setTextValue(typed);
            input->accept();
        });
        combo->setCurrentIndex(combo->findText(QStringLiteral("Custom")));
        QFETCH(QString, url);
        QCOMPARE(servers.currentServer().url(), url.isEmpty() ? before : url);
        QCOMPARE(QSettings().contains("net/server"), !url.isEmpty());
    }

    void noticeTexts()
    {
        QuotaExceededDialog quota;
        quota.setText(QStringLiteral("Not enough space in 'Team <b>A</b>'."));
        QCOMPARE(quota.findChild<QLabel*>(QStringLiteral("infoLabel"))->textFormat(), Qt::PlainText);

        // Closed by the window frame the session notice goes, or no later time-out could open a new one.
        QPointer<SessionTerminatedDialog> session = new SessionTerminatedDialog;
        session->show();
        session->close();
        QTRY_VERIFY(session.isNull());
    }

    void noticeLinks_data()
    {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("language");
        QTest::newRow("english") << false << "/en/";
        QTest::newRow("german") << true << "/de/";
    }

    void noticeLinks()
    {
        QFETCH(bool, german);
        QTranslator translator;
        if (german) {
            QVERIFY(translator.load(QStringLiteral(":/trl/r7trl_de.qm")));
            QCoreApplication::installTranslator(&translator);
        }
        QFETCH(QString, language);
        QCOMPARE(QuotaExceededDialog::upgradeUrl(), QStringLiteral("${APP_BASE_URL}%1faq/acct-mgmt/upgrade/").arg(language));
        QCOMPARE(UpgradeClientDialog::downloadUrl(), QStringLiteral("${APP_BASE_URL}%1sync").arg(language));
        QCoreApplication::removeTranslator(&translator);
    }

    void intervalSlider_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QString>("label");
        QTest::newRow("0") << 0 << 5 << "5 minutes";
        QTest::newRow("7") << 7 << 70 << "1 hour 10 minutes";
        QTest::newRow("48") << 48 << 480 << "8 hours";
    }

    void intervalSlider()
    {
        QSettings().setValue("app/sync_interval_minutes", 15);
        MainSettingsView page(m_info.get(), m_controller.get());
        page.show();
        QSlider* slider = page.findChild<QSlider*>(QStringLiteral("syncIntervalSlider"));
        // A stored 15 shows as 10 minutes and is stored so.
        QCOMPARE(slider->value(), 1);
        QCOMPARE(QSettings().value("app/sync_interval_minutes").toInt(), 10);
        QFETCH(int, position);
        slider->setValue(position);
        QTEST(QSettings().value("app/sync_interval_minutes").toInt(), "minutes");
        QTEST(page.findChild<QLabel*>(QStringLiteral("syncIntervalValue"))->text(), "label");
    }

    void lockAndClipboardSliders()
    {
        MainSettingsView page(m_info.get(), m_controller.get());
        page.show();
        QSlider* lock = page.findChild<QSlider*>(QStringLiteral("lockSlider"));
        QSlider* clipboard = page.findChild<QSlider*>(QStringLiteral("clipboardSlider"));
        // Defaults: one minute, ten seconds, written back as 60 and 10.
        QSettings settings;
        QCOMPARE(settings.value("password/lockSeconds").toInt(), 60);
        QCOMPARE(settings.value("password/timeoutSeconds").toInt(), 10);

        lock->setValue(61);
        QCOMPARE(settings.value("password/lockSeconds").toInt(), -1);
        clipboard->setValue(1);
        QCOMPARE(settings.value("password/timeoutSeconds").toInt(), 1);

        // A stored "never" puts the slider at its end when the page is shown again.
        page.hide();
        lock->setValue(5);
        m_controller->setLockMinutes(-1);
        page.show();
        QCOMPARE(lock->value(), 61);
    }

    void startupBoxFollowsTheWizard()
    {
        MainSettingsView page(m_info.get(), m_controller.get());
        QCheckBox* box = page.findChild<QCheckBox*>(QStringLiteral("startOnSytemStartupCheckBox"));
        QVERIFY(!box->isChecked());
        // The page is built at sign-in; the first-run wizard switches start with the session on later.
        QVERIFY(StartOnStartup::enable());
        page.show();
        QVERIFY(box->isChecked());
        QVERIFY(StartOnStartup::disable());
        page.hide();
        page.show();
        QVERIFY(!box->isChecked());
        QVERIFY(!StartOnStartup::isEnabled());
    }

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<AppInfo> m_info;
    std::unique_ptr<PasswordController> m_controller;
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
