#pragma once

#include "core/R7Application.h"
#include "net/EmptyPasswordTO.h"
#include "net/Result.h"
#include "passwords/PasswordViewModel.h"

#include <QDialog>
#include <QList>
#include <QSharedPointer>

class PasswordController;

namespace Ui {
class CreateViewEditPasswordDialog;
}

// Shows one password entry (view), edits it (edit) or creates a new one (add), as the entry's mode
// says; result 1 means the entry was stored on the service and now carries the service's id.
class CreateViewEditPasswordDialog : public QDialog
{
    Q_OBJECT

public:
    CreateViewEditPasswordDialog(PasswordController *controller, QSharedPointer<PasswordViewModel> entry,
                                 QWidget *parent = nullptr);
    ~CreateViewEditPasswordDialog() override;

    void setMode();
    void setDividersVisible(bool visible);
    // Marks a blank title; true when the form may be saved.
    bool markInvalid();

    // Ended by the lock: keeps the typed texts in the entry; a failed save then ends it too.
    void suspend();
    bool isSavePending() const { return m_savePending; }

    void onSavePasswordResult(const Result<EmptyPasswordTO> &result);
    void onEditPasswordResult(const Result<EmptyPasswordTO> &result);

private slots:
    void applicationStateChanged(R7Application::AppState newStatus);
    void on_showPwdToggled(bool value);
    void on_suggestPasswordClicked();
    void on_save();
    void on_close();
    void on_edit();
    void on_pwdCopy();
    void on_urlOpen();
    void on_userCopy();
    void on_pwdTextChanged(QString newValue);

private:
    void copyFieldsToEntry();
    void onSaveFinished(const Result<EmptyPasswordTO> &result, const char *failureText);
    QPoint toolTipOrigin(QWidget *button) const;

    Ui::CreateViewEditPasswordDialog *m_ui;
    QSharedPointer<PasswordViewModel> m_entry;
    PasswordController *m_controller;
    QList<QWidget *> m_dividers;
    bool m_savePending = false;
    bool m_suspended = false;
};
