#pragma once

#include <QFrame>

class AdvancedStorageLocationView;
class AppInfo;

namespace Ui {
class LocalFolderView;
}

// The proposed local folder of one file safe in the storage location view, with a button to
// choose another that clashes with no other row and no synchronised folder.
class LocalFolderView : public QFrame
{
    Q_OBJECT

public:
    LocalFolderView(const AppInfo* appInfo, int maxDisplayLength, AdvancedStorageLocationView* storageView);
    ~LocalFolderView() override;

    void setFolderPath(const QString& path);
    QString path() const { return m_path; }
    // Takes a folder the user chose, after the row tests; false when refused.
    bool acceptChosenFolder(const QString& folder);

public slots:
    void on_changeFolder_clicked();

private:
    Ui::LocalFolderView* ui;
    QString m_path;
    int m_maxDisplayLength;
    AdvancedStorageLocationView* m_storageView;
    const AppInfo* m_appInfo;
};
