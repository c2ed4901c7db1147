#pragma once

#include <QFrame>

class AppInfo;
class PasswordController;

namespace Ui {
class MainSettingsView;
}

// The settings tab: start minimised, start with the session, synchronisation interval, and the
// password safe's visibility, lock and clipboard time-outs. Every change is stored at once.
class MainSettingsView : public QFrame
{
    Q_OBJECT

public:
    MainSettingsView(AppInfo* appInfo, PasswordController* passwordController, QWidget* parent = nullptr);
    ~MainSettingsView() override;

    static int syncIntervalMinutes(int sliderValue);
    static QString syncIntervalText(int minutes);

public slots:
    void on_lockValueChanged(int value);
    void on_clipboardValueChanged(int value);
    void on_showPwdSafeChanged(bool enabled);
    void on_startMinimizedChanged(bool enabled);
    void on_startOnSytemStartupCheckBox_stateChanged(int state);
    void on_syncIntervalChanged(int value);

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::MainSettingsView* ui;
    PasswordController* m_passwordController;
};
