#include "ui/AboutDialog.h"
#include "ui_AboutDialog.h"

AboutDialog* AboutDialog::s_instance = nullptr;

AboutDialog* AboutDialog::instance()
{
    if (!s_instance)
        s_instance = new AboutDialog;
    return s_instance;
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
}

AboutDialog::~AboutDialog()
{
    if (s_instance == this)
        s_instance = nullptr;
    delete ui;
}

void AboutDialog::on_closeButton_clicked()
{
    qDebug("AboutDialog::on_closeButton_clicked: close");
    close();
}
