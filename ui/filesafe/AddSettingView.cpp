#include "ui/filesafe/AddSettingView.h"
#include "ui_AddSettingView.h"

#include "core/AppInfo.h"
#include "core/StringUtil.h"
#include "db/FileSafeDao.h"
#include "db/SyncSettingsDao.h"
#include "net/FilesafeRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "sync/DirUtil.h"
#include "sync/FolderIcon.h"
#include "ui/SpaceIcons.h"
#include "ui/filesafe/AddSettingFileSafeView.h"
#include "ui/filesafe/DialogHelper.h"
#include "ui/filesafe/RemoteFolderDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QMovie>
#include <QSet>
#include <QStandardItemModel>

AddSettingView::AddSettingView(FileSafeDao* fileSafeDao, const AppInfo* appInfo, FilesafeRI* filesafeRI,
                               QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags),
      ui(new Ui::AddSettingView),
      m_appInfo(appInfo),
      m_filesafeRI(filesafeRI),
      m_fileSafeDao(fileSafeDao)
{
    ui->setupUi(this);
    m_fileSafeDao->updateFileSafes(bindResult<Nothing>(this, [this](const EmptyResult&) { on_getFilesafes(); }));
    ui->continueButtonView1->setEnabled(false);
    ui->stackedWidget->setCurrentIndex(0);
    auto* movie = new QMovie(QStringLiteral(":/res/tabs/spinner_animated_32x32.gif"), QByteArray(), this);
    if (movie->isValid()) {
        movie->setScaledSize(QSize(20, 20));
        ui->spinnerLabel->setMovie(movie);
        movie->start();
    }
    ui->loadingFrame->setVisible(true);
    m_localFolderChosen = false;
}

AddSettingView::~AddSettingView()
{
    delete ui;
}

void AddSettingView::on_getFilesafes()
{
    auto* model = new QStandardItemModel(this);
    model->setColumnCount(1);
    model->setHorizontalHeaderLabels({QString()});
    for (const FilesafeTO_v2& safe : m_fileSafeDao->list()) {
        auto* item = new QStandardItem;
        item->setEditable(false);
        item->setSelectable(true);
        item->setData(safe.safeId, SafeIdRole);
        item->setData(safe.type, SafeTypeRole);
        item->setData(safe.name, SafeNameRole);
        item->setData(safe.rootFolderId, RootFolderIdRole);
        item->setData(safe.access, AccessRole);
        model->appendRow(item);
    }
    QStandardItemModel* old = m_model;
    m_model = model;
    ui->tableView->setModel(model);
    delete old;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        auto* cell = new AddSettingFileSafeView(this);
        cell->setFileSafeName(index.data(SafeNameRole).toString());
        cell->setIcon(index.data(SafeTypeRole).toString());
        ui->tableView->setIndexWidget(index, cell);
    }
    resizeFileSafeTable();
    ui->loadingFrame->hide();
}

void AddSettingView::resizeFileSafeTable()
{
    ui->tableView->resizeColumnsToContents();
    ui->tableView->resizeRowsToContents();
    if (m_model && m_model->columnCount() > 0)
        ui->tableView->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
}

QString AddSettingView::currentSafeId() const
{
    const QModelIndex index = ui->tableView->currentIndex();
    return index.isValid() ? m_model->index(index.row(), 0).data(SafeIdRole).toString() : QString();
}

void AddSettingView::closeRemoteFolderDialog()
{
    // A dialog left open would otherwise deliver a folder of the previous safe.
    if (m_remoteFolderDialog)
        m_remoteFolderDialog->close();
    m_remoteFolderDialog = nullptr;
    m_requestedSafeId.clear();
}

void AddSettingView::on_continueButtonView1_clicked()
{
    ui->stackedWidget->setCurrentIndex(1);
}

void AddSettingView::on_cancelButtonView1_clicked()
{
    close();
}

void AddSettingView::on_cancelButtonView2_clicked()
{
    close();
}

void AddSettingView::on_backButtonView2_clicked()
{
    closeRemoteFolderDialog();
    ui->stackedWidget->setCurrentIndex(0);
    ui->remoteFolderComboBox->setCurrentIndex(0);
}

void AddSettingView::on_tableView_doubleClicked(const QModelIndex& index)
{
    on_tableView_clicked(index);
    ui->stackedWidget->setCurrentIndex(1);
}

void AddSettingView::on_tableView_clicked(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    const QModelIndex cell = m_model->index(index.row(), 0);
    const QString safeId = cell.data(SafeIdRole).toString();
    if (safeId != m_chosenSafeId) {
        // A remote folder chosen so far belongs to the previous safe.
        closeRemoteFolderDialog();
        ui->remoteFolderComboBox->setCurrentIndex(0);
        m_remoteFolderId.clear();
        m_chosenSafeId = safeId;
    }
    const QString name = cell.data(SafeNameRole).toString();
    ui->spaceLabel->setTextFormat(Qt::PlainText);
    ui->spaceLabel->setText(name);
    ui->spaceIcon->setPixmap(spacePixmap(cell.data(SafeTypeRole).toString(), false, 2));
    if (!m_localFolderChosen) {
        const QString base = QDir::homePath() + QLatin1Char('/') + QString::fromUtf8(m_appInfo->productName);
        ui->localFolderLineEdit->setText(QDir::toNativeSeparators(DirUtil::uniqueFolderPath(base, name)));
    }
    ui->continueButtonView1->setEnabled(true);
}

void AddSettingView::on_localFolderButton_clicked()
{
    QFileDialog dialog(this, tr("Select local folder to synchronize"), QString(), QString());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted) {
        qDebug("AddSettingView::on_localFolderButton_clicked: selection cancelled");
        return;
    }
    const QStringList selected = dialog.selectedFiles();
    for (const QString& dir : selected)
        qDebug("AddSettingView::on_localFolderButton_clicked: selected dir: '%s'",
               qPrintable(StringUtil::escapeNonPrintable(dir)));
    if (selected.isEmpty()) {
        qDebug("AddSettingView::on_localFolderButton_clicked: no destination selected");
        return;
    }
    if (!selected.first().isEmpty()) {
        ui->localFolderLineEdit->setText(QDir::toNativeSeparators(selected.first()));
        m_localFolderChosen = true;
    }
}

void AddSettingView::on_remoteFolderComboBox_currentIndexChanged(int index)
{
    if (index == 0) {
        closeRemoteFolderDialog();
        ui->remoteFolderButton->setEnabled(false);
        ui->remoteFolderLineEdit->setText(QString());
        ui->remoteFolderLineEdit->setEnabled(false);
    } else {
        ui->remoteFolderButton->setEnabled(true);
        ui->remoteFolderLineEdit->setEnabled(true);
        on_remoteFolderButton_clicked();
    }
    updateSaveButton();
}

void AddSettingView::on_remoteFolderLineEdit_textChanged(const QString& newText)
{
    Q_UNUSED(newText)
    updateSaveButton();
}

void AddSettingView::updateSaveButton()
{
    ui->saveButtonView2->setEnabled(
            !(ui->remoteFolderComboBox->currentIndex() == 1 && ui->remoteFolderLineEdit->text().isEmpty()));
}

void AddSettingView::on_remoteFolderButton_clicked()
{
    const QString safeId = currentSafeId();
    if (safeId.isEmpty())
        return;
    const FilesafeTO_v2 safe = m_fileSafeDao->get(safeId);
    m_requestedSafeId = safeId;
    m_filesafeRI->getObjects(safe.safeId, QStringLiteral("/"), 0, QStringLiteral("d"),
                             bindResult(this, &AddSettingView::on_getRemoteFolders));
    setEnabled(false);
}

void AddSettingView::on_getRemoteFolders(const Result<FilesafeObjectsTO_v2>& result)
{
    setEnabled(true);
    if (!result.isOk()) {
        qWarning("AddSettingView::on_getRemoteFolders:Unable to get list of folders: %s",
                 qPrintable(StringUtil::escapeNonPrintable(result.message())));
        return;
    }
    qDebug("AddSettingView::on_getRemoteFolders: Received list of folders [#%d]",
           int(result.payload().filesafeObjects.size()));
    if (m_requestedSafeId.isEmpty() || m_requestedSafeId != currentSafeId()) {
        qDebug("AddSettingView::on_getRemoteFolders: the safe changed meanwhile; listing dropped");
        return;
    }
    const FilesafeTO_v2 safe = m_fileSafeDao->get(currentSafeId());
    if (m_remoteFolderDialog)
        m_remoteFolderDialog->close();
    auto* dialog = new RemoteFolderDialog(m_filesafeRI, safe, this);
    m_remoteFolderDialog = dialog;
    dialog->setFolders(result.payload());
    dialog->show();
    if (!connect(dialog, &RemoteFolderDialog::folderSelected, this, &AddSettingView::on_remoteFolderSelected))
        qFatal("failed to connect signals");
}

void AddSettingView::on_remoteFolderSelected(bool ok, QString fullPath, QString folderId)
{
    Q_UNUSED(ok)
    // Only the dialog of the current safe may answer.
    if (!m_remoteFolderDialog || sender() != m_remoteFolderDialog.data()) {
        qDebug("AddSettingView::on_remoteFolderSelected: answer of an earlier folder dialog ignored");
        return;
    }
    m_remoteFolderDialog->close();
    ui->remoteFolderLineEdit->setText(fullPath);
    m_remoteFolderId = folderId;
    updateSaveButton();
}

bool AddSettingView::resolveOverlaps(const QString& testedPath)
{
    // Replacing one nesting setting can leave another: ask again for each until none is left.
    QSet<int> removed;
    for (;;) {
        const QList<DuplicatedSyncPath> duplicates = SyncSettingsDao::instance()->getDuplicatedSynchedPaths(testedPath);
        if (duplicates.isEmpty())
            return true;
        const DuplicatedSyncPath& first = duplicates.first();
        if (removed.contains(first.syncSettingId()))
            return false; // removal reported success but the setting is still there
        const QString path = testedPath.toHtmlEscaped();
        const QString safeName = first.safeName().toHtmlEscaped();
        const QString text = first.accountName() == R7Session::instance()->userName()
                ? tr("The local folder \"%1\" <ul><li>is already synchronized</li><li>or contains a folder which is "
                     "synchronized</li><li>or is within a folder which is synchronized</li></ul>with the file safe "
                     "<b>\"%2\"</b> used by <b>yourself</b>. <br/><br/>Do you want to replace that synchronization "
                     "setting?")
                          .arg(path, safeName)
                : tr("The local folder \"%1\" <ul><li>is already synchronized</li><li>or contains a folder which is "
                     "synchronized</li><li>or is within a folder which is synchronized</li></ul>with the file safe "
                     "<b>\"%2\"</b> used by ${APP_NAME} user <b>\"%3\"</b>. <br/><br/>Do you want to replace that "
                     "synchronization setting?")
                          .arg(path, safeName, first.accountName().toHtmlEscaped());
        if (QMessageBox::question(nullptr, tr("Folder already used!"), text, QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::NoButton)
            != QMessageBox::Yes)
            return false;
        if (!SyncSettingsDao::instance()->remove(first.syncSettingId())) {
            DialogHelper::plainBox(nullptr, QMessageBox::Warning, tr("Warning"),
                                   tr("Failed to remove settings for filesafe %1").arg(first.safeName()));
            return false;
        }
        removed.insert(first.syncSettingId());
        FolderIcon(m_appInfo).remove(first.localDir());
    }
}

void AddSettingView::on_saveButtonView2_clicked()
{
    SyncSetting setting;
    const QString safeId = currentSafeId();
    if (safeId.isEmpty())
        return;
    const QModelIndex cell = m_model->index(ui->tableView->currentIndex().row(), 0);
    const QString rootFolderId = cell.data(RootFolderIdRole).toString();
    const FilesafeTO_v2 safe = m_fileSafeDao->get(safeId);
    const ServerInfo* server = R7Session::instance()->server();
    const QString prefix = server ? server->prefix() : QString();
    setting.setServerId(prefix.isEmpty() ? QStringLiteral("undef_s") : prefix);
    const QString userName = R7Session::instance()->userName();
    setting.setAccountName(userName.isEmpty() ? QStringLiteral("undef_u") : userName);
    setting.setSafeId(safe.safeId);
    setting.setSafeName(safe.name);
    setting.setSafeType(safe.type);

    QDir folder(ui->localFolderLineEdit->text());
    const QString testedPath = QDir::cleanPath(folder.absolutePath());
    if (!resolveOverlaps(testedPath))
        return;
    if (!folder.exists()) {
        if (DialogHelper::plainBox(nullptr, QMessageBox::Question, tr("Info"),
                                   tr("The local folder does not exist:\n    %1\nCreate it?").arg(ui->localFolderLineEdit->text()),
                                   QMessageBox::Yes | QMessageBox::No)
            != QMessageBox::Yes)
            return;
        if (!folder.mkpath(QStringLiteral("."))) {
            DialogHelper::plainBox(nullptr, QMessageBox::Information, tr("Info"),
                                   tr("Cannot create folder:\n%1").arg(folder.path()));
            return;
        }
    }
    setting.setLocalDir(QDir::fromNativeSeparators(ui->localFolderLineEdit->text()));
    setting.setRemoteDir(QStringLiteral("/"));
    setting.setRootFolderId(rootFolderId);
    if (ui->remoteFolderComboBox->currentIndex() != 0 && ui->remoteFolderLineEdit->text() != QLatin1String("/")) {
        setting.setRemoteDir(QDir::fromNativeSeparators(ui->remoteFolderLineEdit->text()));
        setting.setRootFolderId(m_remoteFolderId);
    }
    setting.setMode(ui->autoSyncCheckBox->isChecked() ? 0 : 1);
    if (!SyncSettingsDao::instance()->add(setting)) {
        QMessageBox::warning(nullptr, tr("Warning"),
                             tr("The synchronization setting could not be stored. Please try again."), QMessageBox::Ok);
        return;
    }
    FolderIcon(m_appInfo).set(setting.localDir());
    m_localFolderChosen = false;
    close();
}
