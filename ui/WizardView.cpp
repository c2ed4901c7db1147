#include "ui/WizardView.h"
#include "ui_WizardView.h"

#include "core/AppInfo.h"
#include "core/R7Application.h"
#include "db/FileSafeDao.h"
#include "platform/StartOnStartup.h"
#include "sync/DirUtil.h"
#include "ui/filesafe/AdvancedStorageLocationView.h"

#include <QDir>
#include <QGridLayout>
#include <QKeyEvent>

WizardView::WizardView(FileSafeDao* fileSafeDao, const AppInfo* appInfo, QWidget* parent)
    : QFrame(parent), ui(new Ui::WizardView), m_fileSafeDao(fileSafeDao)
{
    ui->setupUi(this);
    setFocusPolicy(Qt::StrongFocus);
    ui->wizViewStack->setCurrentIndex(0);
    on_wizViewStack_currentChanged(0);
    m_defaultPath = DirUtil::uniqueSyncFolderPath(QDir::homePath(), QString::fromUtf8(appInfo->productName));
    m_storageView = new AdvancedStorageLocationView(appInfo, 74, this);
    m_storageView->updateDefaultFolderText(m_defaultPath);
    connect(m_storageView, &AdvancedStorageLocationView::selectAllCheckBox_stateChanged, this,
            &WizardView::on_selectAllCheckBoxStateChanged, Qt::UniqueConnection);
    if (!ui->pathEditFrame->layout())
        new QGridLayout(ui->pathEditFrame);
    ui->pathEditFrame->layout()->addWidget(m_storageView);
}

WizardView::~WizardView()
{
    delete ui;
}

void WizardView::reloadFileSafes()
{
    m_storageView->setFileSafes(m_fileSafeDao->list());
}

void WizardView::on_selectAllCheckBoxStateChanged(int newState)
{
    ui->nextButton->setEnabled(newState != Qt::Unchecked);
}

void WizardView::on_defaultPathChanged(const QString& newDefaultPath)
{
    m_defaultPath = newDefaultPath;
}

void WizardView::on_autoSyncCheckBox_toggled(bool checked)
{
    Q_UNUSED(checked)
}

void WizardView::on_autoStartCheckBox_toggled(bool checked)
{
    Q_UNUSED(checked)
}

void WizardView::on_wizViewStack_currentChanged(int index)
{
    const int last = ui->wizViewStack->count() - 1;
    ui->backButton->setVisible(index != 0);
    ui->nextButton->setVisible(index != last);
    ui->finishButton->setVisible(index == last);
    PushButton* forward = index == last ? ui->finishButton : ui->nextButton;
    ui->finishButton->setDefault(index == last);
    ui->nextButton->setDefault(index != last);
    forward->setFocus(Qt::OtherFocusReason);
    ui->pageNumLabel->setText(tr("%1 of %2").arg(index + 1).arg(ui->wizViewStack->count()));
}

void WizardView::on_backButton_clicked()
{
    const int target = ui->wizViewStack->currentIndex() - 1;
    if (target >= 0 && target < ui->wizViewStack->count())
        ui->wizViewStack->setCurrentIndex(target);
    if (target == 0)
        ui->nextButton->setEnabled(true);
}

void WizardView::on_nextButton_clicked()
{
    const int target = ui->wizViewStack->currentIndex() + 1;
    if (target >= 0 && target < ui->wizViewStack->count())
        ui->wizViewStack->setCurrentIndex(target);
    if (target == 1 && m_storageView->selectAllCheckState() == Qt::Unchecked)
        ui->nextButton->setEnabled(false);
}

void WizardView::on_finishButton_clicked()
{
    m_storageView->createSyncSettings(ui->autoSyncCheckBox->isChecked());
    if (ui->autoStartCheckBox->isChecked())
        StartOnStartup::enable();
    else
        StartOnStartup::disable();
    emit wizardFinished();
    // The main window takes the wizard out on this signal: touch nothing of it from here on.
    if (R7Application* app = R7Application::instance()) {
        app->showMain();
        app->autoSync();
    }
}

void WizardView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Left)
        on_backButton_clicked();
    else if (event->key() == Qt::Key_Right)
        on_nextButton_clicked();
    event->accept();
}
