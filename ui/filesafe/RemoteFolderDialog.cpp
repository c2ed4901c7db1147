#include "ui/filesafe/RemoteFolderDialog.h"
#include "ui_RemoteFolderDialog.h"

#include "core/StringUtil.h"
#include "net/FilesafeRI.h"

#include <QInputDialog>
#include <QMessageBox>

namespace {

constexpr int ObjectIdRole = Qt::UserRole + 1;

} // namespace

RemoteFolderDialog::RemoteFolderDialog(FilesafeRI* filesafeRI, FilesafeTO_v2 safe, QWidget* parent)
    : QDialog(parent), ui(new Ui::RemoteFolderDialog), m_safe(std::move(safe)), m_filesafeRI(filesafeRI)
{
    ui->setupUi(this);
    ui->treeView->setModel(&m_model);
    connect(ui->treeView, &QTreeView::doubleClicked, this, &RemoteFolderDialog::treeItemDoubleClicked);
}

RemoteFolderDialog::~RemoteFolderDialog()
{
    delete ui;
}

void RemoteFolderDialog::showEvent(QShowEvent* event)
{
    // The style sheet's minimum size is explicit, and an explicit one the layout no longer raises:
    // at a larger font the buttons' texts were cut. The buttons' own minimum width is the style's,
    // below what their texts need: the row of buttons is measured at its preferred width.
    QSize needed = layout()->totalMinimumSize();
    needed.setWidth(qMax(needed.width(), layout()->totalSizeHint().width()));
    setMinimumSize(minimumSize().expandedTo(needed));
    QDialog::showEvent(event);
}

void RemoteFolderDialog::buildModel(const QList<FilesafeObject>& objects, QStandardItemModel* model,
                                    const QString& typeFilter)
{
    model->clear();
    model->setColumnCount(1);
    model->setHorizontalHeaderLabels({tr("Name")});
    auto* top = new QStandardItem(QStringLiteral("/"));
    top->setEditable(false);
    model->invisibleRootItem()->appendRow(top);
    QList<FilesafeObject> kept;
    for (const FilesafeObject& o : objects) {
        if (typeFilter.isEmpty() || o.type == typeFilter)
            kept << o;
    }
    appendChildFolders(top, QString(), kept);
}

int RemoteFolderDialog::appendChildFolders(QStandardItem* parent, const QString& parentPath,
                                           const QList<FilesafeObject>& objects)
{
    int count = 0;
    for (const FilesafeObject& child : objects) {
        if (!child.isDirectChildOf(parentPath))
            continue;
        auto* item = new QStandardItem(child.fileName());
        item->setEditable(false);
        item->setData(child.objectId, ObjectIdRole);
        parent->appendRow(item);
        ++count;
        QList<FilesafeObject> below;
        for (const FilesafeObject& o : objects) {
            if (o.isBelow(child))
                below << o;
        }
        // The child itself is below itself; without anything else there is no level to add.
        if (below.size() > 1)
            count += appendChildFolders(item, child.path, below);
    }
    return count;
}

void RemoteFolderDialog::setFolders(const FilesafeObjectsTO_v2& objects)
{
    buildModel(objects.filesafeObjects, &m_model, QStringLiteral("d"));
    const QModelIndex top = m_model.index(0, 0);
    ui->treeView->selectionModel()->setCurrentIndex(top, QItemSelectionModel::Select);
    ui->treeView->expand(top);
}

QString RemoteFolderDialog::selectedFolder() const
{
    QModelIndex index = ui->treeView->selectionModel()->currentIndex();
    const QString name = index.data().toString();
    QString path;
    int level = 1;
    while (index.isValid() && index.parent().isValid()) {
        path = path.isEmpty() ? index.data().toString() : index.data().toString() + QLatin1Char('/') + path;
        index = index.parent();
        ++level;
    }
    if (!path.startsWith(QLatin1Char('/')))
        path.prepend(QLatin1Char('/'));
    qDebug("RemoteFolderDialog::on_selectButton_clicked: level=%d name='%s' path='%s'", level,
           qPrintable(StringUtil::escapeNonPrintable(name)), qPrintable(StringUtil::escapeNonPrintable(path)));
    return path;
}

void RemoteFolderDialog::on_selectButton_clicked()
{
    const QString path = selectedFolder();
    const QString id = ui->treeView->selectionModel()->currentIndex().data(ObjectIdRole).toString();
    emit folderSelected(true, path, id);
    close();
}

void RemoteFolderDialog::treeItemDoubleClicked(const QModelIndex& mi)
{
    Q_UNUSED(mi)
    on_selectButton_clicked();
}

void RemoteFolderDialog::on_cancelButton_clicked()
{
    close();
}

void RemoteFolderDialog::on_pushButton_clicked()
{
    bool ok = false;
    const QString name = QInputDialog::getText(this, tr("Create Folder"), tr("Folder name"), QLineEdit::Normal,
                                               tr("New folder"), &ok);
    if (!ok || name.isEmpty())
        return;
    QString destination = m_safe.rootFolderId;
    const QString path = selectedFolder();
    if (!path.isEmpty() && path != QLatin1String("/"))
        destination = ui->treeView->selectionModel()->currentIndex().data(ObjectIdRole).toString();
    m_filesafeRI->createDir(destination, name, bindResult(this, &RemoteFolderDialog::on_remoteCreateDirFinished));
}

void RemoteFolderDialog::on_remoteCreateDirFinished(const Result<FilesafeObjectsTO_v2>& result)
{
    if (!result.isOk())
        QMessageBox::warning(nullptr, tr("Folder creation"), tr("Folder could not been created."), QMessageBox::Ok);
    setEnabled(false);
    m_filesafeRI->getObjects(m_safe.safeId, QStringLiteral("/"), 0, QStringLiteral("d"),
                             bindResult(this, &RemoteFolderDialog::on_getRemoteFolders));
}

void RemoteFolderDialog::on_getRemoteFolders(const Result<FilesafeObjectsTO_v2>& result)
{
    setEnabled(true);
    if (result.isOk())
        setFolders(result.payload());
}
