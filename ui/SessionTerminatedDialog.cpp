#include "ui/SessionTerminatedDialog.h"
#include "ui_SessionTerminatedDialog.h"

SessionTerminatedDialog::SessionTerminatedDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), ui(new Ui::SessionTerminatedDialog)
{
    ui->setupUi(this);
    // The application opens no second one while this exists: closed any way, it must go.
    setAttribute(Qt::WA_DeleteOnClose);
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
}
