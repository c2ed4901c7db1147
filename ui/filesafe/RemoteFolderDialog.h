#pragma once

#include "net/FilesafeObjectsTO_v2.h"
#include "net/FilesafeTO_v2.h"
#include "net/Result.h"

#include <QDialog>
#include <QStandardItemModel>

class FilesafeRI;
class QStandardItem;

namespace Ui {
class RemoteFolderDialog;
}

// Lets the user pick one folder of a file safe, and create folders there. Answers with
// folderSelected and closes.
class RemoteFolderDialog : public QDialog
{
    Q_OBJECT

public:
    RemoteFolderDialog(FilesafeRI* filesafeRI, FilesafeTO_v2 safe, QWidget* parent = nullptr);
    ~RemoteFolderDialog() override;

    void setFolders(const FilesafeObjectsTO_v2& objects);
    QString selectedFolder() const;
    const FilesafeTO_v2& safe() const { return m_safe; }
    QStandardItemModel* model() { return &m_model; }

    static void buildModel(const QList<FilesafeObject>& objects, QStandardItemModel* model, const QString& typeFilter);
    static int appendChildFolders(QStandardItem* parent, const QString& parentPath, const QList<FilesafeObject>& objects);

signals:
    void folderSelected(bool ok, QString fullPath, QString folderId);

public slots:
    void on_selectButton_clicked();
    void treeItemDoubleClicked(const QModelIndex& mi);
    void on_cancelButton_clicked();
    void on_pushButton_clicked();
    void on_remoteCreateDirFinished(const Result<FilesafeObjectsTO_v2>& result);
    void on_getRemoteFolders(const Result<FilesafeObjectsTO_v2>& result);

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::RemoteFolderDialog* ui;
    QStandardItemModel m_model;
    FilesafeTO_v2 m_safe;
    FilesafeRI* m_filesafeRI;
};
