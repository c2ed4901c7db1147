#pragma once

#include <QDialog>

namespace Ui {
class QuotaExceededDialog;
}

// Tells that a synchronisation failed for lack of space in a file safe; offers the upgrade page.
class QuotaExceededDialog : public QDialog
{
    Q_OBJECT

public:
    explicit QuotaExceededDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~QuotaExceededDialog() override;

    // Shown as plain text: it names a safe, which comes from the service.
    void setText(const QString& text);
    static QString upgradeUrl();

private slots:
    void on_upgradeButton_clicked();
    void on_closeButton_clicked();

private:
    Ui::QuotaExceededDialog* ui;
};
