#pragma once

#include "core/R7Application.h"
#include "passwords/MemorizablePasswordGenerator.h"

#include <QDialog>

namespace Ui {
class SuggestPasswordDialog;
}

// Offers one generated password at a time, memorizable or random with a chosen length and
// character classes; every change of a setting makes a new suggestion at once.
class SuggestPasswordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SuggestPasswordDialog(QWidget *parent = nullptr);
    ~SuggestPasswordDialog() override;

    // The suggestion shown last.
    QString password() const;

private slots:
    void applicationStateChanged(R7Application::AppState newStatus);
    void generateNewPassword();
    void on_pwdTypeIndexChanged(int index);

private:
    MemorizablePasswordGenerator m_generator;
    Ui::SuggestPasswordDialog *m_ui;
};
