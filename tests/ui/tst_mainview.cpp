// The main view's tabs and headers, the tab kept across periods, the attention mark, and the
// settings page's sliders with the values they store.
#include "core/AppInfo.h"
#include "db/SettingsStorage.h"
#include "net/R7Session.h"
#include "passwords/PasswordController.h"
#include "tests/support/TestEnv.h"
#include "ui/MainSettingsView.h"
#include "ui/MainTab.h"
#include "ui/MainView.h"

#include <QCheckBox>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>
#include <QtTest>

#include <memory>

class TestMainView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstPeriodTab_data();
    void firstPeriodTab();
    void selectedTabSurvivesTheSignOut();
    void invalidStoredTab();
    void attentionMarkAndClicks();
    void fillerByBrand();
    void intervalSlider_data();
    void intervalSlider();
    void lockAndClipboardSliders();

private:
    std::unique_ptr<MainView> makeView(const char* brand = "varnel");
    MainTab* tab(MainView* view, const char* name) { return view->findChild<MainTab*>(QLatin1String(name)); }
    QWidget* currentPage(MainView* view)
    {
        return view->findChild<QStackedWidget*>(QStringLiteral("tabStack"))->currentWidget();
    }

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<SettingsStorage> m_storage;
    std::unique_ptr<AppInfo> m_info;
    std::unique_ptr<PasswordController> m_controller;
};

void TestMainView::init()
{
    m_env.reset(new TestEnv);
    QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
    QCoreApplication::setApplicationName(QStringLiteral("tessarvale-mainview-test"));
    m_settings.reset(new QSettings);
    m_storage.reset(new SettingsStorage(m_settings.get(), nullptr));
    m_info.reset(new AppInfo(AppInfo::forThisBuild()));
    m_controller.reset(new PasswordController(R7Session::instance(), nullptr));
}

void TestMainView::cleanup()
{
    m_controller.reset();
    m_storage.reset();
    m_settings.reset();
    m_env.reset();
}

std::unique_ptr<MainView> TestMainView::makeView(const char* brand)
{
    m_info->brandKey = QLatin1String(brand);
    return std::make_unique<MainView>(m_info.get(), m_controller.get(), nullptr, m_storage.get());
}

void TestMainView::firstPeriodTab_data()
{
    QTest::addColumn<bool>("showSafe");
    QTest::addColumn<int>("tab");
    QTest::newRow("password safe shown") << true << int(MainView::MAIN_TAB_PASSWORDS);
    QTest::newRow("password safe hidden") << false << int(MainView::MAIN_TAB_FILESAFE);
}

void TestMainView::firstPeriodTab()
{
    QFETCH(bool, showSafe);
    QSettings().setValue("app/show_pwd_safe", showSafe);
    auto view = makeView();
    view->show();
    QTEST(view->currentTab(), "tab");
    QCOMPARE(tab(view.get(), "passwordTab")->isVisible(), showSafe);
    QCOMPARE(currentPage(view.get())->objectName(),
             QString::fromLatin1(showSafe ? "syncPasswordsPage" : "fileSafePage"));
    QCOMPARE(view->findChild<QLabel*>(QStringLiteral("dummySyncPasswordsPageLabel")) != nullptr, !showSafe);
    QVERIFY(!view->findChild<QLabel*>(QStringLiteral("dummySettingsPageLabel")));
}

void TestMainView::selectedTabSurvivesTheSignOut()
{
    {
        auto view = makeView();
        view->selectTab(MainView::MAIN_TAB_SETTINGS);
        QCOMPARE(currentPage(view.get())->objectName(), QStringLiteral("settingsPage"));
        view->applicationStateChanged(R7Application::APP_STATE_LOGGED_OUT);
    }
    // Also after a restart: the value is in the settings store.
    m_storage.reset(new SettingsStorage(m_settings.get(), nullptr));
    auto view = makeView();
    QCOMPARE(view->currentTab(), int(MainView::MAIN_TAB_SETTINGS));
    QVERIFY(tab(view.get(), "settingsTab")->selected());
    QVERIFY(!tab(view.get(), "passwordTab")->selected());
}

void TestMainView::invalidStoredTab()
{
    MainView probe(m_info.get(), m_controller.get(), nullptr, nullptr);
    m_storage->storeState(&probe, {{QStringLiteral("TAB_TO_SHOW"), 5}}, Storage::Persistent);
    QTest::ignoreMessage(QtWarningMsg, "MainView::selectTab: Invalid tab selected: 5");
    auto view = makeView();
    for (const char* name : {"passwordTab", "fileSafeTab", "settingsTab"})
        QVERIFY(!tab(view.get(), name)->selected());
    QCOMPARE(currentPage(view.get())->objectName(), QStringLiteral("fileSafePage"));
}

void TestMainView::attentionMarkAndClicks()
{
    auto view = makeView();
    view->selectTab(MainView::MAIN_TAB_FILESAFE);
    MainTab* fileSafe = tab(view.get(), "fileSafeTab");
    MainTab* settings = tab(view.get(), "settingsTab");
    const QImage normal = fileSafe->currentIcon().toImage();
    QVERIFY(!normal.isNull());
    fileSafe->on_attentionChanged(3);
    QCOMPARE(fileSafe->currentIcon().toImage(),
             QPixmap(QStringLiteral(":/res/tabs/filesafe_warning_selected.png")).toImage());
    QCOMPARE(fileSafe->toolTip(), QStringLiteral("There is an error in your configuration, please review."));
    // A header without attention icons shows none while marked.
    settings->on_attentionChanged(1);
    QVERIFY(settings->currentIcon().isNull());
    settings->on_attentionChanged(0);
    QCOMPARE(settings->currentIcon().toImage(), QPixmap(QStringLiteral(":/res/tabs/settings.png")).toImage());
    fileSafe->on_attentionChanged(0);
    QCOMPARE(fileSafe->currentIcon().toImage(), normal);
    QVERIFY(fileSafe->toolTip().isEmpty());

    QSignalSpy clicked(fileSafe, &MainTab::tabClicked);
    QTest::mouseClick(fileSafe, Qt::LeftButton);
    QCOMPARE(clicked.count(), 0);
    QTest::mouseClick(settings, Qt::LeftButton);
    QCOMPARE(view->currentTab(), int(MainView::MAIN_TAB_SETTINGS));
    QVERIFY(!fileSafe->selected());
}

void TestMainView::fillerByBrand()
{
    auto maker = makeView("varnel");
    maker->show();
    QVERIFY(!maker->findChild<QFrame*>(QStringLiteral("mainTabFillerTop"))->isVisible());
    auto other = makeView("tamsel");
    other->show();
    QVERIFY(other->findChild<QFrame*>(QStringLiteral("mainTabFillerTop"))->isVisible());
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
    QCOMPARE(lock->value(), 1);
    QCOMPARE(page.findChild<QLabel*>(QStringLiteral("lockValueLabel"))->text(), QStringLiteral("1 minute"));
    QCOMPARE(clipboard->value(), 10);
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
    page.findChild<QCheckBox*>(QStringLiteral("startMinimizedCheckbox"))->click();
    QCOMPARE(settings.value("app/start_minimized").toBool(), true);
}

QTEST_MAIN(TestMainView)
#include "tst_mainview.moc"
