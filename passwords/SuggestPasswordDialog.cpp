#include "passwords/SuggestPasswordDialog.h"

#include "passwords/RandomPasswordGenerator.h"
#include "ui_SuggestPasswordDialog.h"

#include <QApplication>

SuggestPasswordDialog::SuggestPasswordDialog(QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , m_ui(new Ui::SuggestPasswordDialog)
{
    m_ui->setupUi(this);

    connect(m_ui->typeComboBox, SIGNAL(currentIndexChanged(int)), this, SLOT(on_pwdTypeIndexChanged(int)));
    connect(m_ui->refreshBtn, &QPushButton::clicked, this, &SuggestPasswordDialog::generateNewPassword);
    connect(m_ui->lowercaseCheckBox, &QCheckBox::toggled, this, &SuggestPasswordDialog::generateNewPassword);
    connect(m_ui->specialCharsCheckBox, &QCheckBox::toggled, this, &SuggestPasswordDialog::generateNewPassword);
    connect(m_ui->numbersCheckBox, &QCheckBox::toggled, this, &SuggestPasswordDialog::generateNewPassword);
    connect(m_ui->pwdLengthSlider, &QSlider::valueChanged, this, &SuggestPasswordDialog::generateNewPassword);
    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    if (R7Application *app = R7Application::instance()) {
        connect(app, SIGNAL(appStateChanged(R7Application::AppState)), this,
                SLOT(applicationStateChanged(R7Application::AppState)));
    }

    // Filling the empty box selects the first kind, which makes the first suggestion.
    m_ui->typeComboBox->addItems({tr("Memorizable Password"), tr("Random Password")});
    adjustSize();
}

SuggestPasswordDialog::~SuggestPasswordDialog()
{
    m_ui->pwdLineEdit->setText(QString(m_ui->pwdLineEdit->text().size(), QLatin1Char(' ')));
    delete m_ui;
}

QString SuggestPasswordDialog::password() const
{
    return m_ui->pwdLineEdit->text();
}

void SuggestPasswordDialog::applicationStateChanged(R7Application::AppState newStatus)
{
    if (newStatus == R7Application::APP_STATE_LOGGED_OUT) {
        done(0);
    }
}

void SuggestPasswordDialog::generateNewPassword()
{
    QString suggestion;
    if (m_ui->typeComboBox->currentIndex() == 0) {
        suggestion = m_generator.generate();
    } else {
        suggestion = RandomPasswordGenerator::generate(m_ui->pwdLengthSlider->value(),
                                                       !m_ui->lowercaseCheckBox->isChecked(),
                                                       m_ui->specialCharsCheckBox->isChecked(),
                                                       m_ui->numbersCheckBox->isChecked());
    }
    m_ui->pwdLineEdit->setText(suggestion);
    m_ui->pwdStrengthIndicator->setPassword(suggestion);
    m_ui->pwdLengthLabel->setText(QString::number(m_ui->pwdLengthSlider->value()));
}

void SuggestPasswordDialog::on_pwdTypeIndexChanged(int index)
{
    m_ui->settingsContainerWidget->setVisible(index != 0);
    adjustSize();
    generateNewPassword();
}
