#pragma once

#include <QDialog>

class GeometryKeeper;

class AppInfo;
class ISession;
class ServerList;

namespace Ui {
class DebugDialog;
}

// The hidden panel for support: application mode, log level and log views, traffic logging, the
// server (a custom address too), a connection test, ignoring SSL errors and a deliberate crash.
// Every control acts at once.
class DebugDialog : public QDialog
{
    Q_OBJECT

public:
    DebugDialog(AppInfo* appInfo, ServerList* serverList, ISession* session, QWidget* parent = nullptr);
    ~DebugDialog() override;

    // Set by "Log Traffic"; read by whoever logs requests in detail.
    static bool logTraffic();

public slots:
    void makeVisible();

private slots:
    void on_appModeComboBox_currentIndexChanged(int index);
    void on_logLevelComboBox_currentIndexChanged(int index);
    void on_showLogLocationButton_clicked();
    void on_showLogDialogButton_clicked();
    void on_logNetCheckBox_toggled(bool checked);
    void on_selectServerComboBox_currentIndexChanged(int index);
    void on_ignoreSslErrorCheckBox_toggled(bool checked);
    void on_connectionTestButton_clicked();
    void on_crashButton_clicked();
    void on_closeButton_clicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    GeometryKeeper* m_geometry = nullptr;

    Ui::DebugDialog* ui;
    bool initialized = false;
    ServerList* m_serverList;
    AppInfo* m_appInfo;
    ISession* m_session;
};
