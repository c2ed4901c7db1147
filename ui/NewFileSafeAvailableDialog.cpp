#include "ui/NewFileSafeAvailableDialog.h"
#include "ui_NewFileSafeAvailableDialog.h"

#include "core/AppInfo.h"
#include "ui/filesafe/AdvancedStorageLocationView.h"

#include <QGridLayout>

NewFileSafeAvailableDialog::NewFileSafeAvailableDialog(const AppInfo* appInfo, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), ui(new Ui::NewFileSafeAvailableDialog), m_appInfo(appInfo)
{
    ui->setupUi(this);
    // Relative on purpose: the working directory is the home folder.
    m_baseFolder = QString::fromUtf8(appInfo->productName);
    m_storageView = new AdvancedStorageLocationView(appInfo, 50, this);
    m_storageView->updateDefaultFolderText(m_baseFolder);
    m_storageView->hideChangeDefaultFolderButton();
    if (!ui->contentFrame->layout())
        new QGridLayout(ui->contentFrame);
    ui->contentFrame->layout()->addWidget(m_storageView);
}

NewFileSafeAvailableDialog::~NewFileSafeAvailableDialog()
{
    delete ui;
}

void NewFileSafeAvailableDialog::setFileSafes(const QList<FilesafeTO_v2>& fileSafes)
{
    m_storageView->setFileSafes(fileSafes);
}

void NewFileSafeAvailableDialog::on_saveButton_clicked()
{
    m_storageView->createSyncSettings(true);
    close();
}

void NewFileSafeAvailableDialog::on_closeButton_clicked()
{
    close();
}
