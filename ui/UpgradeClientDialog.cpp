#include "ui/UpgradeClientDialog.h"
#include "ui_UpgradeClientDialog.h"

#include <QDesktopServices>
#include <QUrl>

UpgradeClientDialog::UpgradeClientDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), ui(new Ui::UpgradeClientDialog)
{
    ui->setupUi(this);
}

UpgradeClientDialog::~UpgradeClientDialog()
{
    delete ui;
}

void UpgradeClientDialog::setText(const QString& text)
{
    ui->textLabel->setText(text);
}

QString UpgradeClientDialog::downloadUrl()
{
    return tr("${APP_BASE_URL}/en/sync");
}

void UpgradeClientDialog::on_updateButton_clicked()
{
    QDesktopServices::openUrl(QUrl(downloadUrl()));
    close();
}

void UpgradeClientDialog::on_closeButton_clicked()
{
    close();
}
