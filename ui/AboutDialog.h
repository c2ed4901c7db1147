#pragma once

#include <QDialog>

namespace Ui {
class AboutDialog;
}

// Version, build date and revision of the running program; one for the whole run.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    static AboutDialog* instance();
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

private slots:
    void on_closeButton_clicked();

private:
    Ui::AboutDialog* ui;
    static AboutDialog* s_instance;
};
