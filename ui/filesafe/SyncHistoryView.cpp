#include "ui/filesafe/SyncHistoryView.h"
#include "ui_SyncHistoryView.h"

#include "core/StringUtil.h"
#include "db/SyncHistoryDao.h"
#include "sync/DirUtil.h"
#include "sync/SyncHistoryObject.h"
#include "ui/filesafe/ActivityProgressBarView.h"
#include "ui/filesafe/ActivityStatusView.h"
#include "ui/filesafe/DateTimeDelegate.h"
#include "ui/filesafe/OneLineDelegate.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QTextDocument>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QToolTip>

namespace {

bool isTransfer(int actionType)
{
    return actionType == SyncAction::DownloadFile || actionType == SyncAction::UploadFile
            || actionType == SyncAction::UpdateRemoteFile || actionType == SyncAction::BackupDownloadFile;
}

} // namespace

SyncHistoryView::SyncHistoryView(QWidget* parent)
    : QFrame(parent), ui(new Ui::SyncHistoryView), m_paintTimer(new QTimer(this))
{
    ui->setupUi(this);
    m_paintTimer->setSingleShot(true);
    connect(m_paintTimer, &QTimer::timeout, this, &SyncHistoryView::flushProgress);
    ui->historyTableView->setItemDelegateForColumn(ColTime, new DateTimeDelegate(ui->historyTableView));
    ui->historyTableView->setItemDelegateForColumn(
            ColAction, new OneLineDelegate(Qt::ElideRight, ActionColumnMaxWidth, ui->historyTableView));
    // A path keeps its safe and its file name in sight: the middle goes first.
    ui->historyTableView->setItemDelegateForColumn(ColPath,
                                                   new OneLineDelegate(Qt::ElideMiddle, -1, ui->historyTableView));
    initFilterComboBox();
    m_contextMenu = new QMenu(this);
    m_copyPathAction = new QAction(tr("Copy path to clipboard"), m_contextMenu);
    m_copyPathAction->setObjectName(QStringLiteral("copyPathAction"));
    connect(m_copyPathAction, &QAction::triggered, this, &SyncHistoryView::on_copyFsPathToClipboard);
    m_showInFileManagerText = tr("Show '%1' in File Manager");
    m_showInFileManagerAction = new QAction(tr("Show in File Manager"), m_contextMenu);
    m_showInFileManagerAction->setObjectName(QStringLiteral("showInFileManagerAction"));
    connect(m_showInFileManagerAction, &QAction::triggered, this, &SyncHistoryView::on_openFsItemInFileManager);
    m_contextMenu->addAction(m_copyPathAction);
    m_contextMenu->addAction(m_showInFileManagerAction);
    ui->historyTableView->setContextMenuPolicy(Qt::CustomContextMenu);
    ui->syncAllButton->show();
    connect(ui->syncAllButton, &QPushButton::clicked, this, &SyncHistoryView::syncAllRequested);
    ui->cancelButton->hide();
    connect(ui->cancelButton, &QPushButton::clicked, this, &SyncHistoryView::cancelRequested);
}

SyncHistoryView::~SyncHistoryView()
{
    delete ui;
}

void SyncHistoryView::initFilterComboBox()
{
    ui->selectFilterComboBox->setIconSize(QSize(20, 16));
    ui->selectFilterComboBox->addItem(tr("Show today's activities"));
    ui->selectFilterComboBox->addItem(tr("Show yesterday's activities"));
    ui->selectFilterComboBox->addItem(tr("Show last hour's activities"));
    ui->selectFilterComboBox->addItem(tr("Show activities"));
    const QDateTime today(QDate::currentDate(), QTime(0, 0));
    ui->fromDateTimeEdit->setDateTime(today);
    ui->toDateTimeEdit->setDateTime(today.addDays(1));
}

void SyncHistoryView::on_selectFilterComboBox_currentIndexChanged(int index)
{
    if (index < 0 || index > 3) {
        qWarning("SyncHistoryView::on_selectFilterComboBox_currentIndexChanged: unexpected filter selection: %d", index);
        return;
    }
    ui->fromToEditFrame->setVisible(index == 3);
    updateModel();
}

void SyncHistoryView::updateModel()
{
    m_processedCount = 0;
    m_progressRowShown = false;
    m_progressPath.clear();
    m_paintTimer->stop();
    initHistoryTable();
}

void SyncHistoryView::on_refreshButton_clicked()
{
    updateModel();
}

void SyncHistoryView::initHistoryTable()
{
    auto* model = new QStandardItemModel(this);
    loadTableContent(model);
    QStandardItemModel* old = m_model;
    m_model = model;
    m_unrecordedRows.clear();
    ui->historyTableView->setModel(model);
    delete old;
    const int views = setStatusViews();
    qDebug("SyncHistoryView::initHistoryTable: loaded from db: %d rows (%d with info buttons)", model->rowCount(), views);
    const R7Application* app = R7Application::instance();
    ui->historyTableView->setColumnHidden(ColId, !app || app->appMode() == R7Application::APP_MODE_NORMAL);
    ui->historyTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->historyTableView->setSelectionMode(QAbstractItemView::NoSelection);
    QHeaderView* header = ui->historyTableView->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // At a larger font the stretched column's title shortens rather than the table scrolling sideways.
    header->setTextElideMode(Qt::ElideRight);
    header->setMinimumSectionSize(100);
    header->setSectionResizeMode(ColId, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(ColAction, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(ColPath, QHeaderView::Stretch);
    header->setSectionResizeMode(ColStatus, QHeaderView::Fixed);
    header->resizeSection(ColStatus, StatusColumnWidth);
    header->setSectionResizeMode(ColTime, QHeaderView::ResizeToContents);
    sortNewestFirst();
}

void SyncHistoryView::sortNewestFirst()
{
    QTableView* table = ui->historyTableView;
    table->sortByColumn(ColTime, Qt::DescendingOrder);
    // The rows move at once, their cell widgets only at the table's layout pass, a later event turn:
    // a pump that delivers the events once and reads on would paint a finished row's status under
    // the live row's bar, out of its own row. Hidden, the table passes before it is painted.
    if (table->isVisible())
        table->doItemsLayout();
}

void SyncHistoryView::loadTableContent(QStandardItemModel* model)
{
    QDateTime from;
    QDateTime to;
    const int index = ui->selectFilterComboBox->currentIndex();
    switch (index) {
    case 0:
        from = QDateTime(QDate::currentDate(), QTime(0, 0));
        to = from.addDays(1);
        break;
    case 1:
        from = QDateTime(QDate::currentDate().addDays(-1), QTime(0, 0));
        to = from.addDays(1);
        break;
    case 2:
        from = QDateTime::currentDateTime().addSecs(-3600);
        to = from.addDays(1);
        break;
    case 3:
        from = ui->fromDateTimeEdit->dateTime();
        to = ui->toDateTimeEdit->dateTime();
        break;
    default:
        qWarning("SyncHistoryView::loadTableContent: invalid filter selection: %d", index);
        break;
    }
    const QList<SyncHistoryObject> objects = SyncHistoryDao::instance()->loadHistory(from, to);
    model->clear();
    model->setColumnCount(5);
    model->setHorizontalHeaderLabels({tr("ID"), tr("Action"), tr("Safe: Item"), tr("Status"), tr("Date/Time")});
    for (const SyncHistoryObject& o : objects)
        model->appendRow(makeHistoryRow(o.id(), o.action(), o.remoteDir(), o.localDir(), o.state(), QString(), o.timestamp()));
}

QList<QStandardItem*> SyncHistoryView::makeHistoryRow(qint64 id, int actionType, const QString& displayPath,
                                                      const QString& localPath, int status, const QString& message,
                                                      const QDateTime& timestamp)
{
    auto* idItem = new QStandardItem(QString::number(id));
    auto* actionItem = new QStandardItem(SyncAction::actionTypeName(actionType));
    actionItem->setToolTip(actionItem->text());
    auto* pathItem = new QStandardItem(displayPath);
    pathItem->setData(localPath, LocalPathRole);
    pathItem->setToolTip(Qt::convertFromPlainText(QDir::toNativeSeparators(localPath)));
    auto* statusItem = new QStandardItem(SyncAction::statusName(status));
    statusItem->setData(id, IdRole);
    statusItem->setData(actionType, ActionRole);
    statusItem->setData(status, StatusRole);
    statusItem->setData(message, MessageRole);
    statusItem->setToolTip(SyncAction::statusDetails(status, QString()));
    QFont bold = statusItem->font();
    bold.setWeight(QFont::Bold);
    statusItem->setFont(bold);
    if (status == -1 || (status - 2 >= 0 && status - 2 <= 97))
        statusItem->setForeground(QColor(QStringLiteral("#a84300")));
    else if (status > 100)
        statusItem->setForeground(QColor(QStringLiteral("#900000")));
    auto* timeItem = new QStandardItem;
    timeItem->setData(timestamp, Qt::DisplayRole);
    QList<QStandardItem*> row{idItem, actionItem, pathItem, statusItem, timeItem};
    for (QStandardItem* item : row) {
        item->setEditable(false);
        item->setSelectable(true);
    }
    return row;
}

bool SyncHistoryView::setRowStatusView(int row)
{
    QStandardItem* item = m_model->item(row, ColStatus);
    if (!item)
        return false;
    const int status = item->data(StatusRole).toInt();
    if (status <= 1)
        return false;
    auto* view = new ActivityStatusView(this);
    view->setStatus(status, item->data(MessageRole).toString());
    placeInCell(item, view);
    item->setText(QString());
    return true;
}

void SyncHistoryView::placeInCell(QStandardItem* item, QWidget* widget)
{
    QTableView* table = ui->historyTableView;
    const QModelIndex index = item->index();
    table->setIndexWidget(index, widget);
    // While a layout pass is pending (a new model, a new row of a hidden table), the table leaves the
    // widget where it stands until that pass: at its own size at the viewport's origin, over the
    // row's first cells. The cell's place, as that pass computes it, comes from the headers alone.
    const int grid = table->showGrid() ? 1 : 0;
    widget->setGeometry(table->columnViewportPosition(index.column()), table->rowViewportPosition(index.row()),
                        table->columnWidth(index.column()) - grid, table->rowHeight(index.row()) - grid);
}

int SyncHistoryView::setStatusViews()
{
    int count = 0;
    for (int row = 0; row < m_model->rowCount(); ++row)
        count += setRowStatusView(row) ? 1 : 0;
    return count;
}

QList<int> SyncHistoryView::findProgressRows(const QStandardItemModel* model, const QString& localPath)
{
    QList<int> rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QStandardItem* status = model->item(row, ColStatus);
        const QStandardItem* path = model->item(row, ColPath);
        if (status && path && status->data(StatusRole).toInt() == SyncAction::STATUS_IN_PROGRESS
            && path->data(LocalPathRole).toString() == localPath)
            rows << row;
    }
    return rows;
}

void SyncHistoryView::on_syncStarted()
{
    ui->syncAllButton->setEnabled(false);
    ui->syncAllButton->hide();
    ui->cancelButton->show();
}

void SyncHistoryView::on_syncFinished(QString text)
{
    Q_UNUSED(text)
    ui->syncAllButton->setEnabled(true);
    ui->syncAllButton->show();
    ui->cancelButton->hide();
}

void SyncHistoryView::on_syncCanceled()
{
    updateModel();
}

void SyncHistoryView::on_appStateChanged(R7Application::AppState state)
{
    if (state == R7Application::APP_STATE_LOGGED_OUT) {
        auto* empty = new QStandardItemModel(this);
        QStandardItemModel* old = m_model;
        m_model = empty;
        m_unrecordedRows.clear();
        ui->historyTableView->setModel(empty);
        delete old;
    } else if (state == R7Application::APP_STATE_LOGGED_IN) {
        updateModel();
    }
}

void SyncHistoryView::on_syncProgress(bool ok, const ProgressInfo& pi)
{
    Q_UNUSED(ok)
    if (!pi.action.isUndefined() && pi.action.executed())
        return;
    if (pi.activity == ProgressInfo::Activity_ProcessSyncActions_Progress && isTransfer(pi.actionType)) {
        const bool defined = !pi.action.isUndefined();
        const QString localPath = defined ? pi.action.localFilePath() : pi.localFilePath();
        if (pi.nDone != m_processedCount || localPath != m_progressPath) {
            // A new transfer: its row goes on top with a bar.
            m_progressRowShown = true;
            m_progressPath = localPath;
            const QList<int> stale = findProgressRows(m_model, localPath);
            for (int i = stale.size() - 1; i >= 0; --i)
                m_model->removeRow(stale.at(i));
            m_model->insertRow(0, makeHistoryRow(pi.action.tempId(), pi.actionType,
                                                 defined ? pi.action.displayPath() : pi.displayPath(), localPath,
                                                 SyncAction::STATUS_IN_PROGRESS,
                                                 defined ? pi.action.execErrorMsg() : QString(),
                                                 QDateTime::currentDateTime()));
            QStandardItem* status = m_model->item(0, ColStatus);
            status->setText(QString());
            // Sorted first: the bar goes where the row ends up.
            sortNewestFirst();
            auto* bar = new ActivityProgressBarView(this);
            bar->setBytes(pi.bytesDone, pi.bytesTotal);
            placeInCell(status, bar);
            m_lastPaint.start();
        } else if (m_progressRowShown) {
            // Every block of a transfer reports; draw the bar a few times a second only.
            m_pendingDone = pi.bytesDone;
            m_pendingTotal = pi.bytesTotal;
            if (!m_lastPaint.isValid() || m_lastPaint.elapsed() >= ProgressRepaintMs)
                flushProgress();
            else if (!m_paintTimer->isActive())
                m_paintTimer->start(ProgressRepaintMs - int(m_lastPaint.elapsed()));
        }
    }
    m_processedCount = pi.nDone;
}

void SyncHistoryView::flushProgress()
{
    m_paintTimer->stop();
    m_lastPaint.start();
    const QList<int> rows = findProgressRows(m_model, m_progressPath);
    if (rows.isEmpty())
        return;
    QStandardItem* status = m_model->item(rows.first(), ColStatus);
    if (auto* bar = qobject_cast<ActivityProgressBarView*>(ui->historyTableView->indexWidget(status->index()))) {
        bar->setBytes(m_pendingDone, m_pendingTotal);
        status->setText(QString());
    }
}

void SyncHistoryView::on_syncExecutedOne(bool ok, QString msg, SyncAction sa)
{
    Q_UNUSED(ok)
    Q_UNUSED(msg)
    qDebug("SyncHistoryView::on_syncExecutedOne: action:%s status:%s path: '%s'",
           qPrintable(SyncAction::actionTypeName(sa.action(), true)), qPrintable(SyncAction::statusName(sa.status(), true)),
           qPrintable(StringUtil::escapeNonPrintable(sa.localFilePath())));
    if (!sa.reason().isEmpty())
        qDebug("SyncHistoryView::on_syncExecutedOne: reason: '%s'", qPrintable(StringUtil::escapeNonPrintable(sa.reason())));
    if (!sa.execErrorMsg().isEmpty())
        qDebug("SyncHistoryView::on_syncExecutedOne: execErrMsg: '%s'",
               qPrintable(StringUtil::escapeNonPrintable(sa.execErrorMsg())));
    if (sa.action() == SyncAction::NoAction && sa.status() == SyncAction::WARN_FILE_NO_REMOTE_CHECKSUM)
        return;
    if (m_progressRowShown && m_model->rowCount() > 0)
        m_progressRowShown = false;
    const QList<int> progress = findProgressRows(m_model, sa.localFilePath());
    for (int i = progress.size() - 1; i >= 0; --i)
        m_model->removeRow(progress.at(i));
    if (!progress.isEmpty())
        qDebug("SyncHistoryView::on_syncExecutedOne: removed %d progress rows", int(progress.size()));
    if (sa.localFilePath() == m_progressPath) {
        m_paintTimer->stop();
        m_progressPath.clear();
    }
    // Until its history row is written, the action is known by its temporary id.
    const qint64 id = sa.syncHistoryObjectId() > 0 ? sa.syncHistoryObjectId() : sa.tempId();
    m_model->insertRow(0, makeHistoryRow(id, sa.action(), sa.displayPath(), sa.localFilePath(), sa.status(),
                                         sa.execErrorMsg(), QDateTime::currentDateTime()));
    if (id < 0)
        m_unrecordedRows.insert(id, m_model->item(0, ColStatus));
    setRowStatusView(0);
}

void SyncHistoryView::on_historyRecorded(const QHash<qint64, qint64>& idsByTempId)
{
    for (auto it = idsByTempId.constBegin(); it != idsByTempId.constEnd(); ++it) {
        QStandardItem* status = m_unrecordedRows.take(it.key());
        if (!status)
            continue;
        status->setData(it.value(), IdRole);
        if (QStandardItem* idItem = m_model->item(status->row(), ColId))
            idItem->setText(QString::number(it.value()));
    }
}

void SyncHistoryView::on_historyTableView_clicked(const QModelIndex& mi)
{
    if (mi.isValid() && mi.column() == ColStatus)
        QToolTip::showText(QCursor::pos(), m_model->item(mi.row(), ColStatus)->toolTip(), this);
}

void SyncHistoryView::on_historyTableView_doubleClicked(const QModelIndex& mi)
{
    if (!mi.isValid())
        return;
    const QString path = m_model->item(mi.row(), ColPath)->data(LocalPathRole).toString();
    const QFileInfo info(path);
    if (!info.exists()) {
        qDebug("SyncHistoryView::on_historyTableView_doubleClicked: file or folder does not exist: %s",
               qPrintable(StringUtil::escapeNonPrintable(path)));
        return;
    }
    if (info.isRelative()) {
        qDebug("SyncHistoryView::on_historyTableView_doubleClicked: path is not absolute: %s",
               qPrintable(StringUtil::escapeNonPrintable(path)));
        return;
    }
    if (info.isFile() && info.isExecutable())
        qDebug("SyncHistoryView::on_historyTableView_doubleClicked: file is executable: %s",
               qPrintable(StringUtil::escapeNonPrintable(path)));
    else if (info.isDir())
        qDebug("SyncHistoryView::on_historyTableView_doubleClicked: open folder in file manager: %s",
               qPrintable(StringUtil::escapeNonPrintable(path)));
    // Shows the item in the file manager; a file is never opened or run.
    DirUtil::showInGraphicalShell(path);
}

bool SyncHistoryView::prepareContextMenu(const QPoint& pos)
{
    const QModelIndex index = ui->historyTableView->indexAt(pos);
    if (!index.isValid() || index.column() != ColPath)
        return false;
    const QString path = m_model->item(index.row(), ColPath)->data(LocalPathRole).toString();
    if (path.isEmpty())
        return false;
    m_contextMenuPath = path;
    m_showInFileManagerAction->setText(m_showInFileManagerText.arg(QFileInfo(QDir::cleanPath(path)).fileName()));
    return true;
}

void SyncHistoryView::on_historyTableView_customContextMenuRequested(const QPoint& p)
{
    if (prepareContextMenu(p))
        m_contextMenu->popup(QCursor::pos());
}

void SyncHistoryView::on_copyFsPathToClipboard()
{
    if (!m_contextMenuPath.isEmpty())
        QApplication::clipboard()->setText(QDir::toNativeSeparators(m_contextMenuPath));
}

void SyncHistoryView::on_openFsItemInFileManager()
{
    if (!m_contextMenuPath.isEmpty())
        DirUtil::showInGraphicalShell(m_contextMenuPath);
}
