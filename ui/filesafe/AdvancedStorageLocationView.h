#pragma once

#include "net/FilesafeTO_v2.h"

#include <QFrame>
#include <QList>

class AppInfo;
class LocalFolderView;
class QCheckBox;
class QStandardItemModel;

namespace Ui {
class AdvancedStorageLocationView;
}

// Proposes one local folder for each of a list of file safes and turns every checked row into a
// synchronisation setting in one go.
class AdvancedStorageLocationView : public QFrame
{
    Q_OBJECT

public:
    enum Role { SafeIdRole = Qt::UserRole + 1, SafeTypeRole, SafeNameRole, RootFolderIdRole };

    AdvancedStorageLocationView(const AppInfo* appInfo, int maxDisplayLength, QWidget* parent = nullptr);
    ~AdvancedStorageLocationView() override;

    void setFileSafes(const QList<FilesafeTO_v2>& fileSafes);
    void updateDefaultFolderText(const QString& path);
    // Number of settings stored; rows refused or failing are reported to the user.
    int createSyncSettings(bool autoSync);
    int selectAllCheckState() const;
    void hideChangeDefaultFolderButton();
    // The row tests of a newly chosen folder; the cell being changed is left out of them.
    bool checkForAlreadyExistingLocalPath(const QString& path, const LocalFolderView* except = nullptr) const;
    bool checkForSharedParentFolder(const QString& path, const LocalFolderView* except = nullptr) const;

    int rowCount() const;
    QCheckBox* rowCheckBox(int row) const;
    LocalFolderView* rowFolder(int row) const;
    QString defaultFolder() const { return m_baseFolder; }

signals:
    void selectAllCheckBox_stateChanged(int newState);

public slots:
    void on_selectAllCheckBox_stateChanged(int newState);
    void on_rowCheckBoxClicked(bool checked);
    void on_selectAllCheckBox_clicked();
    void on_changeDefaultFolderClicked(bool value);

private:
    QStandardItemModel* initModel();
    void createRowCells();
    void layoutTable();

    Ui::AdvancedStorageLocationView* ui;
    QList<FilesafeTO_v2> m_fileSafes;
    QString m_baseFolder;
    int m_maxDisplayLength;
    const AppInfo* m_appInfo;
    QStandardItemModel* m_model = nullptr;
};
