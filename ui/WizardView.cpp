#include "ui/WizardView.h"
#include "ui_WizardView.h"

#include "core/R7Application.h"
#include "db/FileSafeDao.h"
#include "platform/StartOnStartup.h"

WizardView::WizardView(FileSafeDao* fileSafeDao, AppInfo* appInfo, QWidget* parent)
    : QFrame(parent), ui(new Ui::WizardView), m_fileSafeDao(fileSafeDao)
{
    Q_UNUSED(appInfo)
    ui->setupUi(this);
    setFocusPolicy(Qt::StrongFocus);
}

WizardView::~WizardView()
{
    delete ui;
}

void WizardView::reloadFileSafes()
{
}

void WizardView::on_finishButton_clicked()
{
    if (ui->autoStartCheckBox->isChecked())
        StartOnStartup::enable();
    else
        StartOnStartup::disable();
    // The main window takes the wizard out here and deletes it once this click has returned.
    emit wizardFinished();
    if (R7Application* app = R7Application::instance()) {
        app->showMain();
        app->autoSync();
    }
}
