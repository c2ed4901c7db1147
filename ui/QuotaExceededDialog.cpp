#include "ui/QuotaExceededDialog.h"
#include "ui_QuotaExceededDialog.h"

#include <QDesktopServices>
#include <QUrl>

QuotaExceededDialog::QuotaExceededDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), ui(new Ui::QuotaExceededDialog)
{
    ui->setupUi(this);
}

QuotaExceededDialog::~QuotaExceededDialog()
{
    delete ui;
}

void QuotaExceededDialog::setText(const QString& text)
{
    ui->infoLabel->setText(text);
}

QString QuotaExceededDialog::upgradeUrl()
{
    return tr("${APP_BASE_URL}/en/faq/acct-mgmt/upgrade/");
}

void QuotaExceededDialog::on_upgradeButton_clicked()
{
    QDesktopServices::openUrl(QUrl(upgradeUrl()));
    close();
}

void QuotaExceededDialog::on_closeButton_clicked()
{
    close();
    deleteLater();
}
