#include "ui/MainSettingsView.h"
#include "ui_MainSettingsView.h"

#include "core/AppInfo.h"
#include "core/R7Application.h"
#include "passwords/PasswordController.h"

#include <QMessageBox>
#include <QSettings>
#include <QSignalBlocker>

#include "platform/StartOnStartup.h"

MainSettingsView::MainSettingsView(AppInfo* appInfo, PasswordController* passwordController, QWidget* parent)
    : QFrame(parent), ui(new Ui::MainSettingsView), m_passwordController(passwordController)
{
    ui->setupUi(this);
    for (QWidget* w : {static_cast<QWidget*>(ui->generalSettingsTitleLabel), static_cast<QWidget*>(ui->pwdSafeSettingsTitleLabel)})
        w->setObjectName(QStringLiteral("sectionTitle"));
    ui->sectionGeneralSettings->setObjectName(QStringLiteral("section"));
    ui->sectionPasswordSafe->setObjectName(QStringLiteral("section"));
    for (QLabel* l : {ui->startMinimizedTitleLabel, ui->startOnSytemStartupLabel, ui->syncIntervalTitle,
                      ui->clipboardTitleLabel, ui->lockTitleLabel})
        l->setObjectName(QStringLiteral("elementTitle"));
    for (QLabel* l : {ui->startMinimizedDescriptionLabel, ui->syncIntervalDescription, ui->clipboardDescriptionLabel})
        l->setObjectName(QStringLiteral("elementDescription"));

    if (appInfo && appInfo->brandKey == QLatin1String("sorel")) {
        ui->line->hide();
        ui->line_2->hide();
    }

    connect(ui->syncIntervalSlider, &QSlider::valueChanged, this, &MainSettingsView::on_syncIntervalChanged);
    connect(ui->lockSlider, &QSlider::valueChanged, this, &MainSettingsView::on_lockValueChanged);
    connect(ui->clipboardSlider, &QSlider::valueChanged, this, &MainSettingsView::on_clipboardValueChanged);

    const bool showSafe = m_passwordController ? m_passwordController->showPasswordSafe()
                                               : QSettings().value(QStringLiteral("app/show_pwd_safe"), true).toBool();
    ui->showPwdSafeCheckbox->setChecked(showSafe);
    ui->pwdSafeEnabledLabel->setText(showSafe ? tr("Activated") : tr("Disabled"));
    connect(ui->showPwdSafeCheckbox, &QCheckBox::clicked, this, &MainSettingsView::on_showPwdSafeChanged);

    ui->startMinimizedCheckbox->setChecked(QSettings().value(QStringLiteral("app/start_minimized"), false).toBool());
    connect(ui->startMinimizedCheckbox, &QCheckBox::clicked, this, &MainSettingsView::on_startMinimizedChanged);

    ui->startOnSytemStartupCheckBox->setChecked(StartOnStartup::isEnabled());
}

MainSettingsView::~MainSettingsView()
{
    delete ui;
}

void MainSettingsView::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    {
        // The set-up wizard may have switched start with the session on since the page was built.
        const QSignalBlocker blocker(ui->startOnSytemStartupCheckBox);
        ui->startOnSytemStartupCheckBox->setChecked(StartOnStartup::isEnabled());
    }
    if (m_passwordController) {
        const int minutes = m_passwordController->lockMinutes();
        ui->lockSlider->setValue(minutes < 0 ? ui->lockSlider->maximum() : minutes);
        on_lockValueChanged(minutes);
        const int seconds = m_passwordController->clipboardTimeoutSeconds();
        ui->clipboardSlider->setValue(seconds);
        on_clipboardValueChanged(seconds);
    }
    const int interval = QSettings().value(QStringLiteral("app/sync_interval_minutes"), 5).toInt();
    ui->syncIntervalSlider->setValue(interval / 10);
    on_syncIntervalChanged(interval / 10);
}

int MainSettingsView::syncIntervalMinutes(int sliderValue)
{
    return sliderValue == 0 ? 5 : 10 * sliderValue;
}

QString MainSettingsView::syncIntervalText(int minutes)
{
    const int h = minutes / 60;
    const int r = minutes % 60;
    const QString hours = h > 1 ? tr("hours") : tr("hour");
    const QString mins = r > 1 ? tr("minutes") : tr("minute");
    if (h > 0 && r > 0)
        return QStringLiteral("%1 %2 %3 %4").arg(h).arg(hours).arg(r).arg(mins);
    if (h > 0)
        return QStringLiteral("%1 %2").arg(h).arg(hours);
    return QStringLiteral("%1 %2").arg(r).arg(mins);
}

void MainSettingsView::on_syncIntervalChanged(int value)
{
    const int minutes = syncIntervalMinutes(value);
    ui->syncIntervalValue->setText(syncIntervalText(minutes));
    QSettings().setValue(QStringLiteral("app/sync_interval_minutes"), minutes);
    if (R7Application* app = R7Application::instance())
        app->updateSyncTimer();
}

void MainSettingsView::on_lockValueChanged(int value)
{
    if (value >= 0 && value < ui->lockSlider->maximum()) {
        ui->lockValueLabel->setText(QStringLiteral("%1 %2").arg(value).arg(value > 1 ? tr("minutes") : tr("minute")));
        if (m_passwordController)
            m_passwordController->setLockMinutes(ui->lockSlider->value());
    } else {
        ui->lockValueLabel->setText(tr("Never lock automatically"));
        if (m_passwordController)
            m_passwordController->setLockMinutes(-1);
    }
}

void MainSettingsView::on_clipboardValueChanged(int value)
{
    ui->clipboardValueLabel->setText(QStringLiteral("%1 %2").arg(value).arg(value > 1 ? tr("seconds") : tr("second")));
    if (m_passwordController)
        m_passwordController->setClipboardTimeoutSeconds(ui->clipboardSlider->value());
}

void MainSettingsView::on_showPwdSafeChanged(bool enabled)
{
    R7Application* app = R7Application::instance();
    if (!app || app->appState() != R7Application::APP_STATE_LOGGED_IN) {
        if (m_passwordController)
            m_passwordController->setShowPasswordSafe(enabled);
        return;
    }
    QMessageBox box(QMessageBox::Warning, tr("Logout"),
                    tr("A logout is necessary to %1 Password Safe").arg(enabled ? tr("enable") : tr("disable")),
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.button(QMessageBox::Ok)->setText(tr("Logout"));
    if (box.exec() != QMessageBox::Ok) {
        ui->showPwdSafeCheckbox->setChecked(!enabled);
        return;
    }
    if (m_passwordController)
        m_passwordController->setShowPasswordSafe(enabled);
    ui->pwdSafeEnabledLabel->setText(enabled ? tr("Activated") : tr("Disabled"));
    app->doLogout();
}

void MainSettingsView::on_startMinimizedChanged(bool enabled)
{
    QSettings().setValue(QStringLiteral("app/start_minimized"), enabled);
}

void MainSettingsView::on_startOnSytemStartupCheckBox_stateChanged(int state)
{
    qDebug("MainSettingsView::on_startOnSytemStartupCheckBox_stateChanged: state: %d", state);
    if (state == Qt::Unchecked)
        StartOnStartup::disable();
    else if (state == Qt::Checked)
        StartOnStartup::enable();
    else if (state == Qt::PartiallyChecked)
        qWarning("MainSettingsView::on_startOnSytemStartupCheckBox_stateChanged: Unexpected state: PartiallyChecked");
    else
        qWarning("MainSettingsView::on_startOnSytemStartupCheckBox_stateChanged: Unexpected state: %d", state);
}
