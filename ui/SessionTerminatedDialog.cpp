#include "ui/SessionTerminatedDialog.h"
#include "ui_SessionTerminatedDialog.h"

SessionTerminatedDialog::SessionTerminatedDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), ui(new Ui::SessionTerminatedDialog)
{
    ui->setupUi(this);
}

SessionTerminatedDialog::~SessionTerminatedDialog()
{
    delete ui;
}

void SessionTerminatedDialog::setText(const QString& text)
{
    ui->infoLabel->setText(text);
}

void SessionTerminatedDialog::on_closeButton_clicked()
{
    close();
    deleteLater();
}
