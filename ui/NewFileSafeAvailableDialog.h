#pragma once

#include "net/FilesafeTO_v2.h"

#include <QDialog>
#include <QList>

class AdvancedStorageLocationView;
class AppInfo;

namespace Ui {
class NewFileSafeAvailableDialog;
}

// Offers synchronisation for file safes that appeared on the service, with a proposed folder each.
class NewFileSafeAvailableDialog : public QDialog
{
    Q_OBJECT

public:
    NewFileSafeAvailableDialog(const AppInfo* appInfo, QWidget* parent = nullptr,
                               Qt::WindowFlags flags = Qt::WindowFlags());
    ~NewFileSafeAvailableDialog() override;

    void setFileSafes(const QList<FilesafeTO_v2>& fileSafes);
    AdvancedStorageLocationView* storageView() const { return m_storageView; }

public slots:
    void on_saveButton_clicked();
    void on_closeButton_clicked();

private:
    Ui::NewFileSafeAvailableDialog* ui;
    const AppInfo* m_appInfo;
    AdvancedStorageLocationView* m_storageView;
    QString m_baseFolder;
};
