#pragma once

#include <QFrame>

class AdvancedStorageLocationView;
class AppInfo;
class FileSafeDao;

namespace Ui {
class WizardView;
}

// The five-page introduction for a signed-in user without synchronised folders: which file safes
// to synchronise and where, and whether the client starts at login.
class WizardView : public QFrame
{
    Q_OBJECT

public:
    WizardView(FileSafeDao* fileSafeDao, const AppInfo* appInfo, QWidget* parent = nullptr);
    ~WizardView() override;

    void reloadFileSafes();
    AdvancedStorageLocationView* storageView() const { return m_storageView; }
    QString defaultPath() const { return m_defaultPath; }

signals:
    void wizardFinished();

public slots:
    void on_selectAllCheckBoxStateChanged(int newState);
    void on_defaultPathChanged(const QString& newDefaultPath);
    void on_autoSyncCheckBox_toggled(bool checked);
    void on_autoStartCheckBox_toggled(bool checked);
    void on_wizViewStack_currentChanged(int index);
    void on_backButton_clicked();
    void on_nextButton_clicked();
    void on_finishButton_clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Ui::WizardView* ui;
    AdvancedStorageLocationView* m_storageView;
    FileSafeDao* m_fileSafeDao;
    QString m_defaultPath;
};
