#pragma once

#include "core/R7Application.h"
#include "net/EmptyPasswordTO.h"
#include "net/EmptyPasswordsTO.h"
#include "net/Result.h"
#include "net/SinglePasswordTO.h"
#include "passwords/PasswordViewModel.h"

#include <QFrame>
#include <QList>
#include <QMessageBox>
#include <QModelIndex>
#include <QPointer>
#include <QSharedPointer>

class CreateViewEditPasswordDialog;
class CustomSortFilterProxyModel;
class LockedOverlay;
class PasswordController;
class QAction;
class QMovie;
class QStandardItem;
class QStandardItemModel;
class QTimer;
class Storage;

namespace Ui {
class PasswordsView;
}

// The page of the password safe: the table of entries with search, add, view, edit and delete,
// the subscription's quota, and the lock after a time without use.
class PasswordsView : public QFrame
{
    Q_OBJECT

public:
    enum Column {
        TitleColumn = 0,
        UsernameColumn = 1,
        PasswordColumn = 2,
        UrlColumn = 3,
        CommentColumn = 4,
    };

    PasswordsView(PasswordController *controller, Storage *storage, QWidget *parent = nullptr);
    ~PasswordsView() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

    // Source-model index (column 0) of the entry with this id; invalid when it is not listed.
    QModelIndex findIndexById(const QString &id) const;
    int passwordsMax() const { return m_passwordsMax; }
    int passwordCount() const { return m_passwordCount; }
    bool isPageLocked() const { return m_locked; }

public slots:
    void performFiltering(QString text);
    void requestPasswords();
    void on_doubleClickRow(QModelIndex index);
    void addNewPassword();
    void deleteSelectedPassword();
    void initiateFiltering();
    void filterFieldChanged(int index);
    void delayPasswordSearch();
    void lockAnimated();
    void lockImmediate();
    void unlock();
    void checkLockTimeout();
    void setLocked(bool locked);
    void on_titleEditButtonClicked(QPoint origin, QString pwdId);
    void applicationStateChanged(R7Application::AppState state);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setupModel();
    void fillModel(const EmptyPasswordsTO &passwords);
    QList<QStandardItem *> makeRowItems(const QString &title, const QString &username, const QString &url,
                                        const QString &id, const QString &comment) const;
    void prepareForEdit(const QModelIndex &index, int mode);
    void showPasswordDialog();
    void updateQuotaLabel();
    void startLoading();
    void lock(bool animated);
    void setFramesLocked(bool locked);
    void restoreState();
    void openRestoredEntry();
    void stopPasswordSearch();
    // Ends every modal window of the page; the entry dialog keeps what was typed for the unlock.
    void closeWindowsForLock();
    void focusUnlockField();
    void applySavedEntry(const QSharedPointer<PasswordViewModel> &entry);
    void onSuspendedSaveFinished(const QSharedPointer<PasswordViewModel> &entry, int result);
    // A message that would come up while locked waits for the unlock: it would take the keys.
    void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text);
    void showDeferredMessages();

    void on_getPasswords(const Result<EmptyPasswordsTO> &result);
    void on_getPasswordForEdit(const Result<SinglePasswordTO> &result, const QSharedPointer<PasswordViewModel> &entry);
    void on_deletePassword(const Result<Nothing> &result, const QString &id);
    void on_passwordSearchResult(const Result<QList<qint64>> &result, quint64 search);

    Ui::PasswordsView *m_ui;
    QTimer *m_lockTimer;
    CustomSortFilterProxyModel *m_proxy = nullptr;
    QStandardItemModel *m_model = nullptr;
    PasswordController *m_controller;
    const QList<int> m_allFieldsColumns{TitleColumn, UsernameColumn, UrlColumn, CommentColumn};
    QMovie *m_searchSpinner = nullptr;
    QMovie *m_loadingSpinner = nullptr;
    QTimer *m_delayTimer = nullptr;
    QSharedPointer<PasswordViewModel> m_currentEntry;
    int m_passwordsMax = 0;
    int m_passwordCount = 0;
    Storage *m_storage;

    // An entry kept across a sign-out waits here until the page is built and unlocked.
    QSharedPointer<PasswordViewModel> m_restoredEntry;
    // Each search by password gets a number; only the reply of the latest counts.
    quint64 m_searchSerial = 0;
    QPointer<LockedOverlay> m_overlay;
    bool m_locked = false;
    bool m_dialogOpen = false;
    QList<QAction *> m_shortcuts;
    QPointer<CreateViewEditPasswordDialog> m_entryDialog;
    // The entry dialog ended by the lock; its entry is reopened after the unlock.
    bool m_entryDialogLocked = false;
    // An entry dialog ended by the lock while its save travelled: the reply still counts.
    QPointer<CreateViewEditPasswordDialog> m_suspendedSave;
    struct Message {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };
    QList<Message> m_deferredMessages;
};
