#pragma once

#include <QDialog>

namespace Ui {
class UpgradeClientDialog;
}

// Offers the download page of a newer client version.
class UpgradeClientDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UpgradeClientDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~UpgradeClientDialog() override;

    // Rich text; the caller escapes what came from the service.
    void setText(const QString& text);
    static QString downloadUrl();

private slots:
    void on_updateButton_clicked();
    void on_closeButton_clicked();

private:
    Ui::UpgradeClientDialog* ui;
};
