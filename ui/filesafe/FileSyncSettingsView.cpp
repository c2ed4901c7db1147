#include "ui/filesafe/FileSyncSettingsView.h"
#include "ui_FileSyncSettingsView.h"

#include "core/StringUtil.h"
#include "db/SyncSettingsDao.h"
#include "sync/DirUtil.h"
#include "sync/FolderIcon.h"
#include "sync/MultiSyncher.h"
#include "ui/SpaceIcons.h"
#include "ui/filesafe/DialogHelper.h"
#include "ui/filesafe/SettingsSyncSettingView.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QStandardItemModel>

FileSyncSettingsView::FileSyncSettingsView(AppInfo* appInfo, MultiSyncher* multiSyncher, QWidget* parent)
    : QFrame(parent), ui(new Ui::FileSyncSettingsView), m_multiSyncher(multiSyncher), m_appInfo(appInfo)
{
    ui->setupUi(this);
    setFocusPolicy(Qt::WheelFocus);
    on_syncSettingsDataChanged();

    m_showInTemplate = tr("Show '%1' in File Manager");
    m_menu = new QMenu(this);
    m_syncAction = new QAction(tr("Sync"), m_menu);
    m_cancelAction = new QAction(tr("Cancel Sync"), m_menu);
    m_showAction = new QAction(tr("Show in File Manager"), m_menu);
    m_addAction = new QAction(tr("Add Setting"), m_menu);
    m_deleteAction = new QAction(tr("Delete Setting"), m_menu);
    m_syncAction->setObjectName(QStringLiteral("syncAction"));
    m_cancelAction->setObjectName(QStringLiteral("cancelAction"));
    m_showAction->setObjectName(QStringLiteral("showAction"));
    m_addAction->setObjectName(QStringLiteral("addAction"));
    m_deleteAction->setObjectName(QStringLiteral("deleteAction"));
    ui->showLocalFolderButton->setToolTip(tr("Show in File Manager"));
    connect(m_showAction, &QAction::triggered, this, &FileSyncSettingsView::on_openFolderInFileManager,
            Qt::UniqueConnection);
    connect(m_addAction, &QAction::triggered, this, &FileSyncSettingsView::on_addSettingButton_clicked,
            Qt::UniqueConnection);
    connect(m_syncAction, &QAction::triggered, this, &FileSyncSettingsView::on_syncSettingNowButton_clicked,
            Qt::UniqueConnection);
    connect(m_deleteAction, &QAction::triggered, this, &FileSyncSettingsView::on_deleteSettingButton_clicked,
            Qt::UniqueConnection);
    connect(m_cancelAction, &QAction::triggered, this, &FileSyncSettingsView::cancelRequested, Qt::UniqueConnection);
    m_menu->addAction(m_syncAction);
    m_menu->addAction(m_cancelAction);
    m_menu->addSeparator();
    m_menu->addAction(m_showAction);
    m_menu->addSeparator();
    m_menu->addAction(m_addAction);
    m_menu->addAction(m_deleteAction);

    ui->tableView->setContextMenuPolicy(Qt::CustomContextMenu);
    ui->tableView->horizontalHeader()->show();
    ui->tableView->horizontalHeader()->setSortIndicatorShown(true);
    // Beside the details a narrow list shortens its title rather than cut it at both ends.
    ui->tableView->horizontalHeader()->setTextElideMode(Qt::ElideRight);
    ui->tableView->setSortingEnabled(true);
    ui->tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->removeAllButton->hide();
    ui->syncAllButton->show();
    connect(ui->syncAllButton, &QPushButton::clicked, this, &FileSyncSettingsView::syncAllRequested);
    ui->cancelSyncButton->hide();
    connect(ui->cancelSyncButton, &QPushButton::clicked, this, &FileSyncSettingsView::cancelRequested);
    connect(ui->tableView, &QTableView::doubleClicked, this, &FileSyncSettingsView::on_doubleClickSetting,
            Qt::UniqueConnection);
    connect(ui->tableView->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            &FileSyncSettingsView::on_syncSettingsSortOrderChanged, Qt::UniqueConnection);
    connect(SyncSettingsDao::instance(), &SyncSettingsDao::remoteStateChanged, this,
            &FileSyncSettingsView::on_remoteStateChanged, Qt::UniqueConnection);
}

FileSyncSettingsView::~FileSyncSettingsView()
{
    delete ui;
}

void FileSyncSettingsView::connectAutoSync()
{
    connect(ui->autoSyncCheckBox, &QCheckBox::stateChanged, this, &FileSyncSettingsView::on_autoSyncCheckBoxStateChanged,
            Qt::UniqueConnection);
}

void FileSyncSettingsView::disconnectAutoSync()
{
    disconnect(ui->autoSyncCheckBox, &QCheckBox::stateChanged, this,
               &FileSyncSettingsView::on_autoSyncCheckBoxStateChanged);
}

void FileSyncSettingsView::on_syncSettingsDataChanged()
{
    qDebug("FileSyncSettingsView::on_syncSettingsDataChanged");
    disconnectAutoSync();
    loadModel(SyncSettingsDao::instance()->getList(true, false));
    reloadSettingRows();
    resizeTable();
    const int rows = m_model->rowCount();
    qDebug("FileSyncSettingsView::on_syncSettingsDataChanged: rows: %d", rows);
    if (rows == 0)
        clearDetails();
    else if (selectedRow() < 0)
        showSelectedSetting(0);
    connectAutoSync();
}

void FileSyncSettingsView::loadModel(const QList<SyncSetting>& settings)
{
    auto* model = new QStandardItemModel(this);
    model->setColumnCount(1);
    model->setHorizontalHeaderItem(0, new QStandardItem(tr("Synchronized Folders")));
    model->setSortRole(SortRole);
    for (const SyncSetting& s : settings) {
        auto* item = new QStandardItem;
        item->setEditable(false);
        item->setSelectable(true);
        item->setData(s.safeId(), SafeIdRole);
        item->setData(s.safeType(), SafeTypeRole);
        item->setData(s.safeName(), SafeNameRole);
        item->setData(int(s.id()), IdRole);
        item->setData(s.lastSync(), LastSyncRole);
        item->setData(s.localDir(), LocalDirRole);
        item->setData(s.remoteDir(), RemoteDirRole);
        item->setData(s.mode(), ModeRole);
        item->setData(QDir(s.localDir()).isReadable(), ReadableRole);
        item->setData(s.remoteState(), RemoteStateRole);
        // Kept as stored: the row judges it by the engine's own rule.
        item->setData(s.expiryDate(), ExpiryRole);
        item->setData(s.access(), AccessRole);
        item->setData(s.safeName() + QLatin1Char(' ') + s.remoteDir(), SortRole);
        model->appendRow(item);
    }

    int previousId = -1;
    if (m_model && selectedRow() >= 0)
        previousId = m_model->index(selectedRow(), 0).data(IdRole).toInt();
    QStandardItemModel* old = m_model;
    m_model = model;
    ui->tableView->setModel(model);
    delete old;
    connect(ui->tableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FileSyncSettingsView::on_tableViewSelectionChanged, Qt::UniqueConnection);
    ui->tableView->sortByColumn(0, Qt::AscendingOrder);
    if (previousId >= 0)
        selectSetting(previousId);
    if (!settings.isEmpty() && selectedRow() < 0)
        showSelectedSetting(0);
}

void FileSyncSettingsView::reloadSettingRows()
{
    int attention = 0;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QModelIndex index = m_model->index(row, 0);
        auto* view = new SettingsSyncSettingView(m_multiSyncher, index.data(ReadableRole).toBool(),
                                                 index.data(RemoteStateRole).toInt(), index.data(ExpiryRole).toString(),
                                                 index.data(AccessRole).toString(), this);
        if (m_multiSyncher)
            connect(m_multiSyncher, &MultiSyncher::startSyncSafe, view, &SettingsSyncSettingView::on_startSyncSafe);
        view->setSettingId(index.data(IdRole).toInt());
        view->setSpaceType(index.data(SafeTypeRole).toString(), index.data(ModeRole).toInt() == 0);
        view->setSafeName(index.data(SafeNameRole).toString(), index.data(RemoteDirRole).toString());
        view->setLastSync(index.data(LastSyncRole).toDateTime());
        if (view->needsAttention())
            ++attention;
        ui->tableView->setIndexWidget(index, view);
    }
    if (R7Application* app = R7Application::instance())
        app->setSyncSettingsAttention(attention);
}

void FileSyncSettingsView::resizeTable()
{
    ui->tableView->resizeColumnsToContents();
    ui->tableView->resizeRowsToContents();
    if (m_model->columnCount() > 0)
        ui->tableView->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
}

int FileSyncSettingsView::selectedRow() const
{
    const QItemSelectionModel* selection = ui->tableView->selectionModel();
    if (!selection)
        return -1;
    const QModelIndexList indexes = selection->selectedIndexes();
    return indexes.size() == 1 ? indexes.first().row() : -1;
}

void FileSyncSettingsView::showSelectedSetting(int row)
{
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid())
        return;
    ui->tableView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    const SyncSetting setting = SyncSettingsDao::instance()->get(index.data(IdRole).toInt());
    updateDetails(setting, index.data(ReadableRole).toBool());
}

void FileSyncSettingsView::updateDetails(const SyncSetting& setting, bool readable)
{
    ui->localFolderLabel->setTextFormat(Qt::PlainText);
    ui->localFolderLabel->setText(QDir::toNativeSeparators(setting.localDir()));
    ui->localFolderLabel->setStyleSheet(readable ? QStringLiteral("QLabel { color: black }")
                                                 : QStringLiteral("QLabel { color: #900000 }"));
    ui->detailSyncSpaceName->setTextFormat(Qt::PlainText);
    ui->detailSyncSpaceName->setText(setting.safeName());
    if (setting.remoteState() != 0) {
        ui->detailSyncSpaceIcon->setPixmap(spacePixmap(QStringLiteral("warning"), false, 2));
        ui->detailSyncSpaceName->setStyleSheet(QStringLiteral("QLabel { color: #900000 }"));
    } else {
        ui->detailSyncSpaceIcon->setPixmap(spacePixmap(setting.safeType(), false, 2));
        ui->detailSyncSpaceName->setStyleSheet(QStringLiteral("QLabel { color: black }"));
    }
    ui->remoteFolderLabel->setTextFormat(Qt::PlainText);
    ui->remoteFolderLabel->setText(setting.remoteDir());
    const bool subFolder = setting.remoteDir() != QLatin1String("/");
    ui->remoteFolderLabel->setVisible(subFolder);
    ui->folderInSafeLabel->setVisible(subFolder);
    ui->folderInSafeLine->setVisible(subFolder);
    const bool team = setting.safeType() == QLatin1String("TEAMSAFE");
    ui->roleLabel->setVisible(team);
    ui->roleLine->setVisible(team);
    ui->roleValue->setVisible(team);
    if (team)
        ui->roleValue->setText(setting.roleName());
    disconnectAutoSync();
    ui->autoSyncCheckBox->setChecked(setting.mode() == 0);
    connectAutoSync();
}

void FileSyncSettingsView::clearDetails()
{
    ui->localFolderLabel->clear();
    ui->detailSyncSpaceName->clear();
    ui->detailSyncSpaceIcon->clear();
    ui->remoteFolderLabel->clear();
    ui->roleValue->clear();
    for (QWidget* w : {static_cast<QWidget*>(ui->remoteFolderLabel), static_cast<QWidget*>(ui->folderInSafeLabel),
                       static_cast<QWidget*>(ui->folderInSafeLine), static_cast<QWidget*>(ui->roleLabel),
                       static_cast<QWidget*>(ui->roleLine), static_cast<QWidget*>(ui->roleValue)})
        w->hide();
    disconnectAutoSync();
    ui->autoSyncCheckBox->setChecked(false);
}

void FileSyncSettingsView::selectSetting(int settingId)
{
    if (!m_model) {
        qDebug("FileSyncSettingsView::selectSetting: model not yet initialized (setting id: %d)", settingId);
        return;
    }
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->index(row, 0).data(IdRole).toInt() == settingId) {
            qDebug("FileSyncSettingsView::selectSetting: select row: %d setting: %d)", row, settingId);
            showSelectedSetting(row);
            return;
        }
    }
    qDebug("FileSyncSettingsView::selectSetting: setting not found (id: %d) in %d rows", settingId,
           m_model->rowCount());
}

QVariant FileSyncSettingsView::currentValue(int role) const
{
    const QModelIndex index = ui->tableView->currentIndex();
    return index.isValid() ? m_model->index(index.row(), 0).data(role) : QVariant();
}

void FileSyncSettingsView::updateButtons()
{
    const bool idle = !m_syncing;
    ui->addSettingButton->setEnabled(idle);
    ui->deleteSettingButton->setEnabled(idle);
    ui->removeAllButton->setEnabled(idle);
    ui->syncSettingNowButton->setEnabled(idle);
    ui->syncAllButton->setEnabled(idle);
    ui->syncAllButton->setVisible(idle);
    ui->cancelSyncButton->setVisible(!idle);
}

void FileSyncSettingsView::on_syncStarted()
{
    m_syncing = true;
    updateButtons();
}

void FileSyncSettingsView::on_syncFinished(QString text)
{
    Q_UNUSED(text)
    m_syncing = false;
    updateButtons();
}

void FileSyncSettingsView::on_appStateChanged(R7Application::AppState state)
{
    if (int(state) < 0 || int(state) > 2)
        return;
    m_syncing = false;
    updateButtons();
}

void FileSyncSettingsView::on_remoteStateChanged(qint64 settingId, SyncSetting::RemoteState remoteState)
{
    Q_UNUSED(settingId)
    Q_UNUSED(remoteState)
    on_syncSettingsDataChanged();
}

void FileSyncSettingsView::on_syncSettingsSortOrderChanged(int col, Qt::SortOrder order)
{
    Q_UNUSED(col)
    Q_UNUSED(order)
}

void FileSyncSettingsView::on_tableViewSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    Q_UNUSED(deselected)
    qDebug("FileSyncSettingsView::on_tableViewSelectionChanged");
    if (selected.indexes().size() == 1)
        qDebug("FileSyncSettingsView::on_tableViewSelectionChanged: selected row: %d", selected.indexes().first().row());
}

void FileSyncSettingsView::on_doubleClickSetting(const QModelIndex& index)
{
    if (index.isValid())
        on_openFolderInFileManager();
}

void FileSyncSettingsView::on_autoSyncCheckBoxStateChanged(int arg1)
{
    const QVariant id = currentValue(IdRole);
    if (!id.isValid())
        return;
    SyncSettingsDao::instance()->setMode(id.toInt(), arg1 == Qt::Checked ? 0 : 1);
    on_syncSettingsDataChanged();
}

void FileSyncSettingsView::on_openFolderInFileManager()
{
    const QVariant dir = currentValue(LocalDirRole);
    if (dir.isValid())
        DirUtil::showInGraphicalShell(dir.toString());
}

void FileSyncSettingsView::on_addSettingButton_clicked()
{
    if (R7Application* app = R7Application::instance())
        app->showAddSettingView();
}

void FileSyncSettingsView::on_deleteSettingButton_clicked()
{
    // Read before asking: a reload during the question replaces the model.
    const QVariant idValue = currentValue(IdRole);
    if (!idValue.isValid())
        return;
    const int id = idValue.toInt();
    const QString localDir = currentValue(LocalDirRole).toString();
    const auto answer = DialogHelper::plainQuestion(
            this, tr("Info"),
            tr("Do you want to remove\n    %1\nfrom the list of synchronized folders?").arg(QDir::toNativeSeparators(localDir)));
    if (answer != QMessageBox::Yes)
        return;
    const SyncSetting setting = SyncSettingsDao::instance()->get(id);
    if (SyncSettingsDao::instance()->remove(id)) {
        FolderIcon(m_appInfo).remove(setting.localDir());
    } else {
        DialogHelper::plainBox(nullptr, QMessageBox::Warning, tr("Unable to remove sync folder"),
                               tr("The folder %1 couldn't be removed! Please try again").arg(localDir));
    }
}

void FileSyncSettingsView::on_removeAllButton_clicked()
{
    const auto answer = QMessageBox::question(
            nullptr, tr("Remove all"),
            tr("<b>Clear list of synchronized folders</b><br/><br/>The contents of the synchronized folders will not be "
               "deleted. No folder will be synchronized anymore. <br/><br/>Do you want to clear the list of "
               "synchronized folders?"),
            QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    const QList<SyncSetting> settings = SyncSettingsDao::instance()->getList(true, false);
    qDebug("FileSyncSettingsView::on_removeAllButton_clicked: Yes (#settings: %d)", int(settings.size()));
    QStringList failed;
    for (const SyncSetting& s : settings) {
        if (SyncSettingsDao::instance()->remove(s.id()))
            FolderIcon(m_appInfo).remove(s.localDir());
        else
            failed << s.localDir().toHtmlEscaped();
    }
    if (!failed.isEmpty()) {
        QMessageBox::warning(nullptr, tr("Unable to remove synchronized folders"),
                             tr("Failed to remove he following folder from the list of synchronized "
                                "folders:<br/><br/>%1")
                                     .arg(failed.join(QStringLiteral("<br/>"))),
                             QMessageBox::Ok);
    }
}

void FileSyncSettingsView::on_showLocalFolderButton_clicked()
{
    on_openFolderInFileManager();
}

void FileSyncSettingsView::on_syncSettingNowButton_clicked()
{
    const QVariant id = currentValue(IdRole);
    if (id.isValid())
        emit syncOneRequested(id.toInt());
}

void FileSyncSettingsView::on_tableView_clicked(const QModelIndex& index)
{
    if (index.isValid())
        showSelectedSetting(index.row());
}

void FileSyncSettingsView::prepareContextMenu(const QPoint& pos)
{
    const QModelIndex index = ui->tableView->indexAt(pos);
    const bool idle = !m_syncing;
    if (index.isValid()) {
        ui->tableView->setCurrentIndex(index);
        const QString dir = m_model->index(index.row(), 0).data(LocalDirRole).toString();
        if (!dir.isEmpty()) {
            m_showAction->setText(m_showInTemplate.arg(QFileInfo(QDir::cleanPath(dir)).fileName()));
            m_showAction->setVisible(true);
        }
        m_deleteAction->setEnabled(idle);
        m_deleteAction->setVisible(true);
        m_syncAction->setEnabled(idle);
        m_syncAction->setVisible(idle);
    } else {
        m_showAction->setVisible(false);
        m_deleteAction->setVisible(false);
        m_syncAction->setEnabled(false);
        m_syncAction->setVisible(false);
    }
    m_cancelAction->setEnabled(!idle);
    m_cancelAction->setVisible(!idle);
    m_addAction->setEnabled(idle);
}

void FileSyncSettingsView::on_tableView_customContextMenuRequested(const QPoint& pos)
{
    prepareContextMenu(pos);
    m_menu->popup(QCursor::pos());
}

void FileSyncSettingsView::keyPressEvent(QKeyEvent* event)
{
    const int rows = m_model ? m_model->rowCount() : 0;
    const int r = selectedRow();
    switch (event->key()) {
    case Qt::Key_Up:
        if (rows > 1 && r >= 1)
            showSelectedSetting(r - 1);
        break;
    case Qt::Key_Down:
        if (rows > 1 && r >= 0 && r + 1 < rows)
            showSelectedSetting(r + 1);
        break;
    case Qt::Key_Shift:
        ui->removeAllButton->setVisible(true);
        break;
    default:
        QFrame::keyPressEvent(event);
    }
}

void FileSyncSettingsView::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Shift)
        ui->removeAllButton->setVisible(false);
    else
        QFrame::keyReleaseEvent(event);
}

void FileSyncSettingsView::showEvent(QShowEvent* event)
{
    Q_UNUSED(event)
    setFocus(Qt::OtherFocusReason);
}
