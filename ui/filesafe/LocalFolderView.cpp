#include "ui/filesafe/LocalFolderView.h"
#include "ui_LocalFolderView.h"

#include "core/StringUtil.h"
#include "ui/filesafe/AdvancedStorageLocationView.h"
#include "ui/filesafe/DialogHelper.h"

#include <QDir>
#include <QTextDocument>
#include <QMessageBox>

LocalFolderView::LocalFolderView(const AppInfo* appInfo, int maxDisplayLength, AdvancedStorageLocationView* storageView)
    : QFrame(storageView),
      ui(new Ui::LocalFolderView),
      m_maxDisplayLength(maxDisplayLength),
      m_storageView(storageView),
      m_appInfo(appInfo)
{
    ui->setupUi(this);
}

LocalFolderView::~LocalFolderView()
{
    delete ui;
}

void LocalFolderView::setFolderPath(const QString& path)
{
    m_path = QDir::cleanPath(path);
    ui->folderPath->setText(QDir::toNativeSeparators(StringUtil::elideMiddle(m_path, m_maxDisplayLength)));
    ui->folderPath->setToolTip(Qt::convertFromPlainText(QDir::toNativeSeparators(m_path)));
}

void LocalFolderView::on_changeFolder_clicked()
{
    const QString folder = DialogHelper(m_appInfo).pickValidFolder(this, tr("Select your local ${APP_NAME} folder"));
    if (!folder.isEmpty())
        acceptChosenFolder(folder);
}

bool LocalFolderView::acceptChosenFolder(const QString& folder)
{
    if (m_storageView && folder != m_path) {
        const bool duplicate = m_storageView->checkForAlreadyExistingLocalPath(folder, this);
        const bool overlap = m_storageView->checkForSharedParentFolder(folder, this);
        if (duplicate) {
            QMessageBox::critical(m_storageView, tr("Duplicate local folder"),
                                  tr("You cannot use the same local folder for multiple filesafes. <br/>Please choose "
                                     "different folder."),
                                  QMessageBox::Ok);
            return false;
        }
        if (overlap) {
            QMessageBox::critical(m_storageView, tr("Already synchronized folder"),
                                  tr("The selected folder '%1' is already synchronized by another filesafe. <br/>Please "
                                     "choose a different folder.")
                                          .arg(QDir::toNativeSeparators(folder).toHtmlEscaped()),
                                  QMessageBox::Ok);
            return false;
        }
    }
    setFolderPath(folder);
    return true;
}
