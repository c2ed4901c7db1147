#pragma once

#include <QFrame>

class AppInfo;
class FileSafeDao;

namespace Ui {
class WizardView;
}

// The first-run set-up shown to a user without synchronised folders. This build has only its last
// page: the start-at-login choice and Finish.
class WizardView : public QFrame
{
    Q_OBJECT

public:
    WizardView(FileSafeDao* fileSafeDao, AppInfo* appInfo, QWidget* parent = nullptr);
    ~WizardView() override;

    void reloadFileSafes();

signals:
    void wizardFinished();

private slots:
    void on_finishButton_clicked();

private:
    Ui::WizardView* ui;
    FileSafeDao* m_fileSafeDao;
};
