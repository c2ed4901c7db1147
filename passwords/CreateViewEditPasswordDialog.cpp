#include "passwords/CreateViewEditPasswordDialog.h"

#include "passwords/PasswordController.h"
#include "passwords/SuggestPasswordDialog.h"
#include "ui_CreateViewEditPasswordDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>

namespace {
const int TitleMaxLength = 256;
}

CreateViewEditPasswordDialog::CreateViewEditPasswordDialog(PasswordController *controller,
                                                           QSharedPointer<PasswordViewModel> entry, QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , m_ui(new Ui::CreateViewEditPasswordDialog)
    , m_entry(entry)
    , m_controller(controller)
{
    m_ui->setupUi(this);
    m_dividers = {m_ui->divider1, m_ui->divider2, m_ui->divider3, m_ui->divider4};

    m_ui->errorLabel->hide();
    m_ui->savingProgressBar->hide();

    m_ui->pwdEdit->setEchoMode(QLineEdit::Password);
    // Before any text is set, so a longer stored title is cut.
    m_ui->titleEdit->setMaxLength(TitleMaxLength);

    m_ui->titleEdit->setText(m_entry->title());
    m_ui->userEdit->setText(m_entry->username());
    m_ui->pwdEdit->setText(m_entry->password());
    m_ui->pwdStrengthIndicator->setVisible(!m_entry->password().isEmpty());
    m_ui->pwdStrengthIndicator->setPassword(m_entry->password());
    m_ui->urlEdit->setText(m_entry->url());
    m_ui->commentEdit->setPlainText(m_entry->comment());

    m_ui->titleEdit->setFocus(Qt::OtherFocusReason);
    m_ui->errorLabel->setStyleSheet(QStringLiteral("QLabel { color: #900000; }"));

    connect(m_ui->showPwdCheckBox, SIGNAL(toggled(bool)), this, SLOT(on_showPwdToggled(bool)));
    connect(m_ui->suggestBtn, SIGNAL(clicked()), this, SLOT(on_suggestPasswordClicked()));
    connect(m_ui->saveButton, SIGNAL(clicked()), this, SLOT(on_save()));
    connect(m_ui->closeButton, SIGNAL(clicked()), this, SLOT(on_close()));
    connect(m_ui->editButton, SIGNAL(clicked()), this, SLOT(on_edit()));
    connect(m_ui->pwdCopyBtn, SIGNAL(clicked()), this, SLOT(on_pwdCopy()));
    connect(m_ui->urlOpenBtn, SIGNAL(clicked()), this, SLOT(on_urlOpen()));
    connect(m_ui->userCopyBtn, SIGNAL(clicked()), this, SLOT(on_userCopy()));
    connect(m_ui->pwdEdit, SIGNAL(textChanged(QString)), this, SLOT(on_pwdTextChanged(QString)));
    if (R7Application *app = R7Application::instance()) {
        connect(app, SIGNAL(appStateChanged(R7Application::AppState)), this,
                SLOT(applicationStateChanged(R7Application::AppState)));
    }

    setMode();
}

CreateViewEditPasswordDialog::~CreateViewEditPasswordDialog()
{
    m_ui->pwdEdit->setText(QString(m_ui->pwdEdit->text().size(), QLatin1Char(' ')));
    delete m_ui;
}

void CreateViewEditPasswordDialog::setMode()
{
    const int mode = m_entry->mode();
    if (mode != PasswordViewModel::View && mode != PasswordViewModel::Edit && mode != PasswordViewModel::Add) {
        return;
    }
    const bool view = mode == PasswordViewModel::View;
    if (view) {
        setWindowTitle(tr("Password Entry"));
    } else if (mode == PasswordViewModel::Edit) {
        setWindowTitle(tr("Edit password"));
    } else {
        setWindowTitle(tr("Add password"));
    }
    setDividersVisible(view);
    m_ui->titleEdit->setReadOnly(view);
    m_ui->userEdit->setReadOnly(view);
    m_ui->pwdEdit->setReadOnly(view);
    m_ui->urlEdit->setReadOnly(view);
    m_ui->commentEdit->setReadOnly(view);
    m_ui->editButton->setVisible(view);
    m_ui->saveButton->setVisible(!view);
    // Return saves what was typed instead of pressing the first button (Close) and losing it.
    m_ui->saveButton->setDefault(!view);
    m_ui->editButton->setDefault(view);
    m_ui->userCopyBtn->setVisible(view);
    m_ui->pwdCopyBtn->setVisible(view);
    m_ui->urlOpenBtn->setVisible(view);
    m_ui->suggestBtn->setVisible(!view);
    if (!view) {
        // A style sheet of its own makes the read-only rule of the application's sheet re-apply.
        m_ui->commentEdit->setStyleSheet(QStringLiteral("QPlainTextEdit { }"));
    }
    if (view) {
        m_ui->titleLabel->setFocus(Qt::OtherFocusReason);
    } else if (mode == PasswordViewModel::Edit) {
        m_ui->titleEdit->setFocus(Qt::OtherFocusReason);
        m_ui->titleEdit->selectAll();
    }
}

void CreateViewEditPasswordDialog::setDividersVisible(bool visible)
{
    for (QWidget *divider : qAsConst(m_dividers)) {
        divider->setVisible(visible);
    }
}

bool CreateViewEditPasswordDialog::markInvalid()
{
    if (m_ui->titleEdit->text().trimmed().isEmpty()) {
        m_ui->titleEdit->setStyleSheet(QStringLiteral("border: 1px solid red"));
        return false;
    }
    m_ui->titleEdit->setStyleSheet(QString());
    return true;
}

void CreateViewEditPasswordDialog::copyFieldsToEntry()
{
    m_entry->setComment(m_ui->commentEdit->toPlainText());
    m_entry->setPassword(m_ui->pwdEdit->text());
    m_entry->setTitle(m_ui->titleEdit->text());
    m_entry->setUrl(m_ui->urlEdit->text());
    m_entry->setUsername(m_ui->userEdit->text());
}

void CreateViewEditPasswordDialog::on_save()
{
    copyFieldsToEntry();
    m_ui->errorLabel->hide();
    if (!markInvalid()) {
        QMessageBox::critical(this, tr("Invalid Data"), tr("You entered invalid data"), QMessageBox::Ok);
        return;
    }
    // One request at a time: a second click before the reply would store the entry twice.
    m_savePending = true;
    m_ui->saveButton->setEnabled(false);
    if (m_entry->mode() == PasswordViewModel::Edit) {
        m_controller->updatePassword(m_entry, bindResult(this, &CreateViewEditPasswordDialog::onEditPasswordResult));
    } else {
        m_controller->createPassword(m_entry, bindResult(this, &CreateViewEditPasswordDialog::onSavePasswordResult));
    }
    // The controller may answer at once (a failed encryption); the busy bar is only for a request in flight.
    if (m_savePending) {
        m_ui->savingProgressBar->show();
    }
}

void CreateViewEditPasswordDialog::onSavePasswordResult(const Result<EmptyPasswordTO> &result)
{
    onSaveFinished(result, "Unable to save password");
}

void CreateViewEditPasswordDialog::onEditPasswordResult(const Result<EmptyPasswordTO> &result)
{
    onSaveFinished(result, "Unable to edit password");
}

void CreateViewEditPasswordDialog::onSaveFinished(const Result<EmptyPasswordTO> &result, const char *failureText)
{
    m_savePending = false;
    if (result.isOk()) {
        m_entry->setId(result.payload().id());
        done(1);
        return;
    }
    m_ui->savingProgressBar->hide();
    m_ui->saveButton->setEnabled(true);
    m_ui->errorLabel->setText(QString::fromLatin1(failureText));
    m_ui->errorLabel->show();
    qCritical("%s: %s", failureText, result.message().toLocal8Bit().constData());
    if (m_suspended) {
        // The page waits for this answer before it reopens the entry.
        done(0);
    }
}

void CreateViewEditPasswordDialog::suspend()
{
    copyFieldsToEntry();
    m_suspended = true;
}

void CreateViewEditPasswordDialog::applicationStateChanged(R7Application::AppState newStatus)
{
    if (newStatus == R7Application::APP_STATE_LOGGED_OUT) {
        copyFieldsToEntry();
        done(0);
    }
}

void CreateViewEditPasswordDialog::on_showPwdToggled(bool value)
{
    m_ui->pwdEdit->setEchoMode(value ? QLineEdit::Normal : QLineEdit::Password);
}

void CreateViewEditPasswordDialog::on_suggestPasswordClicked()
{
    // Stays a child of this dialog until this dialog goes, which blanks its copy then.
    auto *dialog = new SuggestPasswordDialog(this);
    if (dialog->exec() == 1) {
        m_ui->pwdEdit->setText(dialog->password());
    }
}

void CreateViewEditPasswordDialog::on_close()
{
    done(0);
}

void CreateViewEditPasswordDialog::on_edit()
{
    m_entry->setMode(PasswordViewModel::Edit);
    setMode();
}

QPoint CreateViewEditPasswordDialog::toolTipOrigin(QWidget *button) const
{
    return button->mapToGlobal(QPoint(0, -50));
}

void CreateViewEditPasswordDialog::on_pwdCopy()
{
    const QString password = m_entry->password();
    if (password.isEmpty()) {
        QMessageBox::warning(this, tr("Unable to copy password"), tr("The Password field is empty!"), QMessageBox::Ok);
        return;
    }
    m_controller->copyPasswordToClipboard(password, toolTipOrigin(m_ui->pwdCopyBtn));
}

void CreateViewEditPasswordDialog::on_urlOpen()
{
    const QString url = m_entry->url();
    if (url.isEmpty()) {
        QMessageBox::warning(this, tr("Unable to open address"), tr("The Web Address field is empty!"),
                             QMessageBox::Ok);
        return;
    }
    const QPoint origin = toolTipOrigin(m_ui->urlOpenBtn);
    PasswordController::showToolTip(origin, tr("Opening Web Address in browser"));
    // A refused address has had its own warning box.
    if (!PasswordController::openUrl(url, this) && PasswordController::webAddress(url).isValid())
        PasswordController::showToolTip(origin, tr("Unable to open the Web Address"));
}

void CreateViewEditPasswordDialog::on_userCopy()
{
    const QString username = m_entry->username();
    if (username.isEmpty()) {
        QMessageBox::warning(this, tr("Unable to copy username"), tr("The Username field is empty!"),
                             QMessageBox::Ok);
        return;
    }
    QApplication::clipboard()->setText(username, QClipboard::Clipboard);
    PasswordController::showToolTip(toolTipOrigin(m_ui->userCopyBtn), tr("Copied to clipboard"));
}

void CreateViewEditPasswordDialog::on_pwdTextChanged(QString newValue)
{
    m_ui->pwdStrengthIndicator->setVisible(!newValue.isEmpty());
    m_ui->pwdStrengthIndicator->setPassword(newValue);
}
