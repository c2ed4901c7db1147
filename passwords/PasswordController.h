#pragma once

#include "net/EmptyPasswordTO.h"
#include "net/EmptyPasswordsTO.h"
#include "net/PasswordTO.h"
#include "net/Result.h"
#include "net/SinglePasswordTO.h"
#include "passwords/PasswordViewModel.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QUrl>

class IPasswordRI;
class ISession;
class QTimer;
class QWidget;

// The one facade between the password views and the service's password resource: encrypts
// secrets for transport, owns the clipboard (copies, timed clearing) and the password-safe
// settings. Replies reach callers only through the callbacks they hand in.
class PasswordController : public QObject
{
    Q_OBJECT

public:
    PasswordController(ISession *session, IPasswordRI *passwordRI, QObject *parent = nullptr);
    ~PasswordController() override;

    // Server facades; each counts as activity from the moment it is sent.
    void loadPasswords(ResultCallback<EmptyPasswordsTO> callback);
    void getPassword(qint64 id, ResultCallback<SinglePasswordTO> callback);
    // A failed encryption answers at once with EC_BAD_RESPONSE and sends nothing.
    void createPassword(const QSharedPointer<PasswordViewModel> &entry, ResultCallback<EmptyPasswordTO> callback);
    void updatePassword(const QSharedPointer<PasswordViewModel> &entry, ResultCallback<EmptyPasswordTO> callback);
    // The ids of the stored entries that hold this password.
    void checkBreached(const QString &password, ResultCallback<QList<qint64>> callback);
    void deletePassword(const QString &id, ResultCallback<Nothing> callback);

    // The plain text of a fetched secret; empty on failure, with the reason in *error when given.
    QString decryptPassword(const QString &cipherHex, const QString &ivHex, QString *error = nullptr) const;

    // Puts a password on the clipboard and clears it after the clipboard time-out.
    void copyPasswordToClipboard(const QString &password, const QPoint &origin);

    // Opens an http or https address in the browser; anything else is refused with a warning box
    // (parented to parent) that names it. Returns whether the desktop could hand it to a browser.
    static bool openUrl(const QString &text, QWidget *parent = nullptr);
    // Only http and https addresses with a host; an invalid address otherwise.
    static QUrl webAddress(const QString &text);
    static void showToolTip(const QPoint &origin, const QString &text);

    int clipboardTimeoutSeconds() const;
    void setClipboardTimeoutSeconds(int seconds);
    // -1: never lock.
    int lockMinutes() const;
    void setLockMinutes(int minutes);
    bool isLockExpired() const;
    bool isLocked() const;
    void setLocked(bool locked);
    bool showPasswordSafe() const;
    void setShowPasswordSafe(bool show);
    void touchLastOperation();

    // Test hook: clears after this many milliseconds instead of the stored seconds (0 = stored).
    void setClearIntervalOverride(int msecs) { m_clearIntervalOverride = msecs; }
    bool isClearPending() const;

public slots:
    // The table cells' actions: (screen origin of the tool tips, id or text of the cell).
    void loadPasswordForClipboard(const QPoint &origin, const QString &pwdId);
    void copyUsernameToClipboard(const QPoint &origin, const QString &username);
    // parent: the page, so that its lock ends a refusal box too; else the active window.
    void openUrlInBrowser(const QPoint &origin, const QString &url, QWidget *parent = nullptr);
    void clearClipboard();
    // At quit and sign-out: clears now what the timer would clear later.
    void clearPendingClipboard();

private slots:
    void on_getSinglePasswordWithClipboardNoSignal(const Result<SinglePasswordTO> &result);
    void on_clipboardDataChanged();

private:
    // Encrypts a secret for transport; false (with the reason) when it cannot be encrypted.
    bool encrypt(const QString &plain, QString *cipherHex, QString *ivHex, QString *error) const;
    bool toTransferObject(const QSharedPointer<PasswordViewModel> &entry, const char *method, PasswordTO *to) const;
    // Salted, so no plain digest of a password stays in memory.
    QByteArray digestOf(const QString &text) const;
    QByteArray clipboardDigest() const;

    QTimer *m_clearTimer;
    IPasswordRI *m_passwordRI;
    ISession *m_session;
    QPoint m_fetchOrigin;
    // Digest of the password we put on the clipboard; empty when nothing of ours is there.
    QByteArray m_copiedDigest;
    QByteArray m_digestSalt;
    int m_clearIntervalOverride = 0;
};
