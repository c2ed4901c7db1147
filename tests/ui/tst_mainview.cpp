// The settings page of the main view: its sliders and boxes with the values they store.
#include "core/AppInfo.h"
#include "net/R7Session.h"
#include "passwords/PasswordController.h"
#include "platform/StartOnStartup.h"
#include "tests/support/TestEnv.h"
#include "ui/MainSettingsView.h"

#include <QCheckBox>
#include <QLabel>
#include <QSettings>
#include <QSlider>
#include <QtTest>

#include <memory>

class TestMainView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void intervalSlider_data();
    void intervalSlider();
    void lockAndClipboardSliders();
    void startupBoxFollowsTheWizard();

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<AppInfo> m_info;
    std::unique_ptr<PasswordController> m_controller;
};

void TestMainView::init()
{
    m_env.reset(new TestEnv);
    QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
    QCoreApplication::setApplicationName(QStringLiteral("tessarvale-mainview-test"));
    m_info.reset(new AppInfo(AppInfo::forThisBuild()));
    m_controller.reset(new PasswordController(R7Session::instance(), nullptr));
}

void TestMainView::cleanup()
{
    m_controller.reset();
    m_env.reset();
}

void TestMainView::intervalSlider_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QString>("label");
    QTest::newRow("0") << 0 << 5 << "5 minutes";
    QTest::newRow("1") << 1 << 10 << "10 minutes";
    QTest::newRow("6") << 6 << 60 << "1 hour";
    QTest::newRow("7") << 7 << 70 << "1 hour 10 minutes";
    QTest::newRow("12") << 12 << 120 << "2 hours";
    QTest::newRow("48") << 48 << 480 << "8 hours";
}

void TestMainView::intervalSlider()
{
    QSettings().setValue("app/sync_interval_minutes", 15);
    MainSettingsView page(m_info.get(), m_controller.get());
    page.show();
    QSlider* slider = page.findChild<QSlider*>(QStringLiteral("syncIntervalSlider"));
    // A stored 15 shows as 10 minutes and is stored so.
    QCOMPARE(slider->value(), 1);
    QCOMPARE(QSettings().value("app/sync_interval_minutes").toInt(), 10);
    QFETCH(int, position);
    slider->setValue(position == 1 ? 0 : position);
    slider->setValue(position);
    QTEST(QSettings().value("app/sync_interval_minutes").toInt(), "minutes");
    QTEST(page.findChild<QLabel*>(QStringLiteral("syncIntervalValue"))->text(), "label");
}

void TestMainView::lockAndClipboardSliders()
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
    QCOMPARE(page.findChild<QLabel*>(QStringLiteral("lockValueLabel"))->text(), QStringLiteral("Never lock automatically"));
    QCOMPARE(settings.value("password/lockSeconds").toInt(), -1);
    clipboard->setValue(1);
    QCOMPARE(page.findChild<QLabel*>(QStringLiteral("clipboardValueLabel"))->text(), QStringLiteral("1 second"));
    QCOMPARE(settings.value("password/timeoutSeconds").toInt(), 1);

    // A stored "never" puts the slider at its end when the page is shown again.
    page.hide();
    lock->setValue(5);
    m_controller->setLockMinutes(-1);
    page.show();
    QCOMPARE(lock->value(), 61);

    // Signed out, the password-safe box stores at once.
    page.findChild<QCheckBox*>(QStringLiteral("showPwdSafeCheckbox"))->click();
    QCOMPARE(settings.value("app/show_pwd_safe").toBool(), false);
}

void TestMainView::startupBoxFollowsTheWizard()
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

QTEST_MAIN(TestMainView)
#include "tst_mainview.moc"
