#include "ui/ProxyAuthDialog.h"
#include "ui_ProxyAuthDialog.h"

#include "ui/WindowUtil.h"

ProxyAuthDialog::ProxyAuthDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), ui(new Ui::ProxyAuthDialog)
{
    ui->setupUi(this);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    ui->usernameInput->setAttribute(Qt::WA_MacShowFocusRect, false);
    ui->passwordInput->setAttribute(Qt::WA_MacShowFocusRect, false);
}

ProxyAuthDialog::~ProxyAuthDialog()
{
    delete ui;
}

void ProxyAuthDialog::setText(const QString& text)
{
    ui->textLabel->setText(text);
}

QString ProxyAuthDialog::username() const
{
    return ui->usernameInput->text();
}

QString ProxyAuthDialog::password() const
{
    return ui->passwordInput->text();
}

void ProxyAuthDialog::showEvent(QShowEvent* event)
{
    WindowUtil(this).growToWrappedText();
    QDialog::showEvent(event);
}
