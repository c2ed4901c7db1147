#pragma once

#include "net/FilesafeObjectsTO_v2.h"
#include "net/Nothing.h"
#include "net/Result.h"
#include "ui/filesafe/RemoteFolderDialog.h"

#include <QDialog>
#include <QPointer>

class AppInfo;
class FileSafeDao;
class FilesafeRI;
class QStandardItemModel;


namespace Ui {
class AddSettingView;
}

// Adds one synchronisation setting: a file safe, a folder of it and a local folder. Nesting with
// any stored setting is refused or, on request, the other setting is replaced.
class AddSettingView : public QDialog
{
    Q_OBJECT

public:
    enum Role { SafeIdRole = Qt::UserRole + 1, SafeTypeRole, SafeNameRole, RootFolderIdRole, AccessRole };

    AddSettingView(FileSafeDao* fileSafeDao, const AppInfo* appInfo, FilesafeRI* filesafeRI, QWidget* parent = nullptr,
                   Qt::WindowFlags flags = Qt::WindowFlags());
    ~AddSettingView() override;

    RemoteFolderDialog* remoteFolderDialog() const { return m_remoteFolderDialog; }
    void updateSaveButton();

public slots:
    void on_getFilesafes();
    void on_continueButtonView1_clicked();
    void on_cancelButtonView1_clicked();
    void on_cancelButtonView2_clicked();
    void on_backButtonView2_clicked();
    void on_tableView_doubleClicked(const QModelIndex& index);
    void on_tableView_clicked(const QModelIndex& index);
    void on_localFolderButton_clicked();
    void on_remoteFolderButton_clicked();
    void on_remoteFolderComboBox_currentIndexChanged(int index);
    void on_remoteFolderLineEdit_textChanged(const QString& newText);
    void on_getRemoteFolders(const Result<FilesafeObjectsTO_v2>& result);
    void on_remoteFolderSelected(bool ok, QString fullPath, QString folderId);
    void on_saveButtonView2_clicked();

private:
    void resizeFileSafeTable();
    QString currentSafeId() const;
    void closeRemoteFolderDialog();
    bool resolveOverlaps(const QString& testedPath);

    Ui::AddSettingView* ui;
    bool m_localFolderChosen = false;
    const AppInfo* m_appInfo;
    QPointer<RemoteFolderDialog> m_remoteFolderDialog;
    QString m_remoteFolderId;
    // The safe whose folders were last requested: an answer for another safe is dropped.
    QString m_requestedSafeId;
    QString m_chosenSafeId;
    FilesafeRI* m_filesafeRI;
    FileSafeDao* m_fileSafeDao;
    QStandardItemModel* m_model = nullptr;
};
