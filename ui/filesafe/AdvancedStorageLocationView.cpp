#include "ui/filesafe/AdvancedStorageLocationView.h"
#include "ui_AdvancedStorageLocationView.h"

#include "core/StringUtil.h"
#include "db/SyncSettingsDao.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "sync/DirUtil.h"
#include "sync/FolderIcon.h"
#include "ui/filesafe/DialogHelper.h"
#include "ui/filesafe/LocalFolderView.h"
#include "ui/filesafe/SyncFileSafeView.h"

#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QMessageBox>
#include <QSet>
#include <QStandardItemModel>

AdvancedStorageLocationView::AdvancedStorageLocationView(const AppInfo* appInfo, int maxDisplayLength, QWidget* parent)
    : QFrame(parent), ui(new Ui::AdvancedStorageLocationView), m_maxDisplayLength(maxDisplayLength), m_appInfo(appInfo)
{
    ui->setupUi(this);
    setFileSafes({});
    ui->tableView->horizontalHeader()->show();
    ui->tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tableView->setSelectionMode(QAbstractItemView::NoSelection);
    ui->tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(ui->switchDefaultFolderButton, &QToolButton::clicked, this,
            &AdvancedStorageLocationView::on_changeDefaultFolderClicked);
}

AdvancedStorageLocationView::~AdvancedStorageLocationView()
{
    delete ui;
}

QStandardItemModel* AdvancedStorageLocationView::initModel()
{
    auto* model = new QStandardItemModel(this);
    model->setColumnCount(3);
    model->setHeaderData(0, Qt::Horizontal, QString(), Qt::EditRole);
    model->setHeaderData(1, Qt::Horizontal, tr("File Safe"), Qt::EditRole);
    model->setHeaderData(2, Qt::Horizontal, tr("Local Folder"), Qt::EditRole);
    for (const FilesafeTO_v2& safe : qAsConst(m_fileSafes)) {
        QList<QStandardItem*> row{new QStandardItem, new QStandardItem, new QStandardItem};
        row[1]->setData(safe.safeId, SafeIdRole);
        row[1]->setData(safe.type, SafeTypeRole);
        row[1]->setData(safe.name, SafeNameRole);
        row[1]->setData(safe.rootFolderId, RootFolderIdRole);
        for (QStandardItem* item : row) {
            item->setEditable(false);
            item->setSelectable(true);
        }
        model->appendRow(row);
    }
    return model;
}

void AdvancedStorageLocationView::setFileSafes(const QList<FilesafeTO_v2>& fileSafes)
{
    m_fileSafes = fileSafes;
    QStandardItemModel* old = m_model;
    m_model = initModel();
    ui->tableView->setModel(m_model);
    delete old;
    createRowCells();
    layoutTable();
}

void AdvancedStorageLocationView::createRowCells()
{
    // Two safes of the same name would otherwise be offered the same folder and mix their files.
    QSet<QString> proposed;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const QModelIndex safeIndex = m_model->index(r, 1);
        auto* safeCell = new SyncFileSafeView(this);
        safeCell->setSpaceName(safeIndex.data(SafeNameRole).toString());
        safeCell->setSpaceType(safeIndex.data(SafeTypeRole).toString());
        ui->tableView->setIndexWidget(safeIndex, safeCell);

        auto* check = new QCheckBox(this);
        check->setChecked(true);
        ui->tableView->setIndexWidget(m_model->index(r, 0), check);
        connect(check, &QCheckBox::clicked, this, &AdvancedStorageLocationView::on_rowCheckBoxClicked,
                Qt::UniqueConnection);

        auto* folderCell = new LocalFolderView(m_appInfo, m_maxDisplayLength, this);
        ui->tableView->setIndexWidget(m_model->index(r, 2), folderCell);
        const QString name = safeIndex.data(SafeNameRole).toString();
        QString folder = QDir::cleanPath(DirUtil::uniqueFolderPath(m_baseFolder, name));
        for (int n = 2; proposed.contains(folder); ++n)
            folder = QDir::cleanPath(DirUtil::uniqueFolderPath(m_baseFolder, name + QStringLiteral("_%1").arg(n)));
        proposed.insert(folder);
        folderCell->setFolderPath(folder);
    }
}

void AdvancedStorageLocationView::layoutTable()
{
    QHeaderView* header = ui->tableView->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui->tableView->resizeColumnsToContents();
    ui->tableView->resizeRowsToContents();
    if (m_model->columnCount() > 0) {
        header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
        header->setSectionResizeMode(2, QHeaderView::Stretch);
    }
}

void AdvancedStorageLocationView::updateDefaultFolderText(const QString& path)
{
    m_baseFolder = QDir::cleanPath(path);
    const QString native = QDir::toNativeSeparators(m_baseFolder);
    ui->switchDefaultFolderButton->setToolTip(tr("Your synchronized folders will be set up in '%1'.<br/>Click here to "
                                                 "choose a different base folder for all your synchronized folders")
                                                      .arg(native.toHtmlEscaped()));
    // A long path keeps its start and its last folder in sight; the page never widens the window.
    ui->defaultFolderValue->setElideMode(Qt::ElideMiddle);
    ui->defaultFolderValue->setText(native);
    createRowCells();
}

int AdvancedStorageLocationView::rowCount() const
{
    return m_model->rowCount();
}

QCheckBox* AdvancedStorageLocationView::rowCheckBox(int row) const
{
    return qobject_cast<QCheckBox*>(ui->tableView->indexWidget(m_model->index(row, 0)));
}

LocalFolderView* AdvancedStorageLocationView::rowFolder(int row) const
{
    return qobject_cast<LocalFolderView*>(ui->tableView->indexWidget(m_model->index(row, 2)));
}

int AdvancedStorageLocationView::selectAllCheckState() const
{
    return ui->selectAllCheckBox->checkState();
}

void AdvancedStorageLocationView::hideChangeDefaultFolderButton()
{
    ui->switchDefaultFolderButton->hide();
}

void AdvancedStorageLocationView::on_rowCheckBoxClicked(bool checked)
{
    Q_UNUSED(checked)
    int unchecked = 0;
    int partial = 0;
    int full = 0;
    for (int r = 0; r < rowCount(); ++r) {
        switch (rowCheckBox(r)->checkState()) {
        case Qt::Unchecked:
            ++unchecked;
            break;
        case Qt::PartiallyChecked:
            ++partial;
            break;
        case Qt::Checked:
            ++full;
            break;
        }
    }
    if (rowCount() == 0)
        return;
    if (partial > 0 || (unchecked > 0 && full > 0))
        ui->selectAllCheckBox->setCheckState(Qt::PartiallyChecked);
    else if (full == 0)
        ui->selectAllCheckBox->setCheckState(Qt::Unchecked);
    else
        ui->selectAllCheckBox->setCheckState(Qt::Checked);
}

void AdvancedStorageLocationView::on_selectAllCheckBox_clicked()
{
    const Qt::CheckState state = ui->selectAllCheckBox->checkState();
    if (state == Qt::PartiallyChecked)
        return;
    for (int r = 0; r < rowCount(); ++r) {
        QCheckBox* box = rowCheckBox(r);
        if (box->checkState() == state)
            continue;
        box->setCheckState(state);
        ui->selectAllCheckBox->setTristate(false);
    }
}

void AdvancedStorageLocationView::on_selectAllCheckBox_stateChanged(int newState)
{
    emit selectAllCheckBox_stateChanged(newState);
}

void AdvancedStorageLocationView::on_changeDefaultFolderClicked(bool value)
{
    Q_UNUSED(value)
    const QString folder =
            DialogHelper(m_appInfo).pickValidDefaultFolder(this, tr("Select new ${APP_NAME} default folder"));
    if (folder.isEmpty())
        return;
    updateDefaultFolderText(folder);
}

bool AdvancedStorageLocationView::checkForAlreadyExistingLocalPath(const QString& path, const LocalFolderView* except) const
{
    const QString chosen = QDir::fromNativeSeparators(path);
    for (int r = 0; r < rowCount(); ++r) {
        const LocalFolderView* cell = rowFolder(r);
        if (!cell || cell == except)
            continue;
        const QString rowPath = QDir::fromNativeSeparators(cell->path());
        if (chosen == rowPath) {
            qDebug("AdvancedStorageLocationView::checkForAlreadyExistingLocalPath: '%s' == '%s'",
                   qPrintable(StringUtil::escapeNonPrintable(chosen)), qPrintable(StringUtil::escapeNonPrintable(rowPath)));
            return true;
        }
        qDebug("AdvancedStorageLocationView::checkForAlreadyExistingLocalPath: '%s' != '%s'",
               qPrintable(StringUtil::escapeNonPrintable(chosen)), qPrintable(StringUtil::escapeNonPrintable(rowPath)));
    }
    qDebug("AdvancedStorageLocationView::checkForAlreadyExistingLocalPath: no match for: '%s'",
           qPrintable(StringUtil::escapeNonPrintable(chosen)));
    return false;
}

bool AdvancedStorageLocationView::checkForSharedParentFolder(const QString& path, const LocalFolderView* except) const
{
    const QString chosen = QDir::fromNativeSeparators(path);
    for (int r = 0; r < rowCount(); ++r) {
        const LocalFolderView* cell = rowFolder(r);
        if (!cell || cell == except)
            continue;
        const QString rowPath = QDir::fromNativeSeparators(cell->path());
        if (DirUtil::pathsOverlap(chosen, rowPath)) {
            qDebug("AdvancedStorageLocationView::checkForSharedParentFolder: '%s' has same parent as '%s'",
                   qPrintable(StringUtil::escapeNonPrintable(chosen)), qPrintable(StringUtil::escapeNonPrintable(rowPath)));
            return true;
        }
        qDebug("AdvancedStorageLocationView::checkForSharedParentFolder: '%s' not same parent as '%s'",
               qPrintable(StringUtil::escapeNonPrintable(chosen)), qPrintable(StringUtil::escapeNonPrintable(rowPath)));
    }
    qDebug("AdvancedStorageLocationView::checkForSharedParentFolder: no match for '%s'",
           qPrintable(StringUtil::escapeNonPrintable(chosen)));
    return false;
}

int AdvancedStorageLocationView::createSyncSettings(bool autoSync)
{
    int created = 0;
    for (int r = 0; r < rowCount(); ++r) {
        if (rowCheckBox(r)->checkState() != Qt::Checked)
            continue;
        const QModelIndex safeIndex = m_model->index(r, 1);
        const QString safeName = safeIndex.data(SafeNameRole).toString();
        const ServerInfo* server = R7Session::instance()->server();
        const QString prefix = server ? server->prefix() : QString();
        const QString account = R7Session::instance()->userName();
        SyncSetting setting;
        setting.setServerId(prefix.isEmpty() ? QStringLiteral("undef_s") : prefix);
        setting.setAccountName(account.isEmpty() ? QStringLiteral("undef_u") : account);
        setting.setSafeId(safeIndex.data(SafeIdRole).toString());
        setting.setSafeName(safeName);
        setting.setSafeType(safeIndex.data(SafeTypeRole).toString());
        QDir folder(rowFolder(r)->path());
        // A folder nesting with a stored setting (one made earlier in this loop included) would
        // mix two safes' files.
        const QList<DuplicatedSyncPath> overlaps =
                SyncSettingsDao::instance()->getDuplicatedSynchedPaths(QDir::cleanPath(folder.absolutePath()));
        if (!overlaps.isEmpty()) {
            DialogHelper::plainBox(nullptr, QMessageBox::Information, tr("Info"),
                                   tr("The folder %1 of the file safe \"%2\" overlaps the synchronized folder of "
                                      "\"%3\" and is left out.")
                                           .arg(QDir::toNativeSeparators(folder.absolutePath()), safeName,
                                                overlaps.first().safeName()));
            continue;
        }
        if (!folder.mkpath(QStringLiteral("."))) {
            DialogHelper::plainBox(nullptr, QMessageBox::Information, tr("Info"),
                                   tr("Failed to create folder:") + QLatin1Char('\n') + folder.absolutePath());
            return created;
        }
        setting.setLocalDir(folder.absolutePath());
        setting.setRemoteDir(QStringLiteral("/"));
        setting.setRootFolderId(safeIndex.data(RootFolderIdRole).toString());
        setting.setMode(1);
        if (autoSync)
            setting.setMode(0);
        if (!SyncSettingsDao::instance()->add(setting)) {
            DialogHelper::plainBox(nullptr, QMessageBox::Warning, tr("Warning"),
                                   tr("The synchronization setting of the file safe \"%1\" could not be stored.")
                                           .arg(safeName));
            return created;
        }
        FolderIcon(m_appInfo).set(setting.localDir());
        ++created;
    }
    return created;
}
