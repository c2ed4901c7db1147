#include "passwords/PasswordController.h"

#include "core/R7Application.h"
#include "core/StringUtil.h"
#include "net/crypto/Codec.h"
#include "net/IPasswordRI.h"
#include "net/ISession.h"
#include "net/crypto/PasswordCrypt.h"
#include "net/PasswordTO.h"

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDesktopServices>
#include <QMessageBox>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSettings>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <limits>

namespace {
const char *const kTimeoutSeconds = "password/timeoutSeconds";
const char *const kLockSeconds = "password/lockSeconds";
const char *const kLocked = "password/locked";
const char *const kLastOperation = "password/lastOperationTimestamp";
const char *const kShowPasswordSafe = "app/show_pwd_safe";
// Asks clipboard managers (Klipper and those that follow it) to keep the copy out of their history.
const char *const kPasswordManagerHint = "x-kde-passwordManagerHint";

void wipe(QByteArray &bytes)
{
    if (bytes.isDetached()) {
        bytes.fill('\0');
    }
    bytes.clear();
}
} // namespace

PasswordController::PasswordController(ISession *session, IPasswordRI *passwordRI, QObject *parent)
    : QObject(parent)
    , m_clearTimer(new QTimer(this))
    , m_passwordRI(passwordRI)
    , m_session(session)
    , m_fetchOrigin(0, 0)
{
    connect(m_clearTimer, &QTimer::timeout, this, &PasswordController::clearClipboard);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &PasswordController::on_clipboardDataChanged);
    // A password still waiting to be cleared would outlive us in a clipboard manager's history.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &PasswordController::clearPendingClipboard);
    if (R7Application *app = R7Application::instance()) {
        connect(app, &R7Application::appStateChanged, this, [this](R7Application::AppState state) {
            if (state == R7Application::APP_STATE_LOGGED_OUT) {
                clearPendingClipboard();
            }
        });
    }
}

PasswordController::~PasswordController()
{
    wipe(m_copiedDigest);
}

void PasswordController::loadPasswords(ResultCallback<EmptyPasswordsTO> callback)
{
    m_passwordRI->getPasswords(std::move(callback));
    touchLastOperation();
}

void PasswordController::getPassword(qint64 id, ResultCallback<SinglePasswordTO> callback)
{
    m_passwordRI->getSinglePassword(id, std::move(callback));
    touchLastOperation();
}

// The record sent for a new or changed entry, its password encrypted for transport.
bool PasswordController::toTransferObject(const QSharedPointer<PasswordViewModel> &entry, const char *method,
                                          PasswordTO *to) const
{
    QString cipherHex;
    QString ivHex;
    QString error;
    if (!encrypt(entry->password(), &cipherHex, &ivHex, &error)) {
        qWarning().noquote() << QStringLiteral("PasswordController::%1: Failed to encrypt password: ")
                                        .arg(QLatin1String(method)) + error;
        return false;
    }
    to->setTitle(entry->title());
    to->setUsername(entry->username());
    to->setPassword(cipherHex);
    to->setTransportIv(ivHex);
    to->setUrl(entry->url());
    to->setComment(entry->comment());
    return true;
}

void PasswordController::createPassword(const QSharedPointer<PasswordViewModel> &entry,
                                        ResultCallback<EmptyPasswordTO> callback)
{
    PasswordTO to;
    if (!toTransferObject(entry, "createPassword", &to)) {
        callback(Result<EmptyPasswordTO>(EC_BAD_RESPONSE, "Unable to encrypt password"));
        return;
    }
    m_passwordRI->createPassword(to, std::move(callback));
    touchLastOperation();
}

void PasswordController::updatePassword(const QSharedPointer<PasswordViewModel> &entry,
                                        ResultCallback<EmptyPasswordTO> callback)
{
    PasswordTO to;
    to.setId(entry->id());
    if (!toTransferObject(entry, "updatePassword", &to)) {
        callback(Result<EmptyPasswordTO>(EC_BAD_RESPONSE, "Unable to encrypt password"));
        return;
    }
    m_passwordRI->updatePassword(to, std::move(callback));
    touchLastOperation();
}

void PasswordController::checkBreached(const QString &password, ResultCallback<QList<qint64>> callback)
{
    QString cipherHex;
    QString ivHex;
    QString error;
    if (!encrypt(password, &cipherHex, &ivHex, &error)) {
        callback(Result<QList<qint64>>(EC_BAD_RESPONSE, "Unable to encrypt password"));
        return;
    }
    SinglePasswordTO to;
    to.setPassword(cipherHex);
    to.setTransportIv(ivHex);
    m_passwordRI->checkBreached(to, std::move(callback));
    touchLastOperation();
}

void PasswordController::deletePassword(const QString &id, ResultCallback<Nothing> callback)
{
    m_passwordRI->deletePassword(id, std::move(callback));
    touchLastOperation();
}

bool PasswordController::encrypt(const QString &plain, QString *cipherHex, QString *ivHex, QString *error) const
{
    PasswordCrypt crypt(m_session->transportKey());
    QByteArray bytes = plain.toUtf8();
    EncryptedBytes out = crypt.encryptPassword(bytes, error);
    wipe(bytes);
    if (!error->isEmpty()) {
        return false;
    }
    *cipherHex = Codec::toHex(out.ciphertext);
    *ivHex = out.iv;
    return true;
}

QString PasswordController::decryptPassword(const QString &cipherHex, const QString &ivHex, QString *error) const
{
    PasswordCrypt crypt(m_session->transportKey());
    QString reason;
    QString plain = crypt.decryptPassword(EncryptedData(cipherHex, ivHex), &reason);
    if (!reason.isEmpty()) {
        PasswordViewModel::blank(plain);
    }
    if (error) {
        *error = reason;
    }
    return plain;
}

void PasswordController::loadPasswordForClipboard(const QPoint &origin, const QString &pwdId)
{
    qDebug().noquote() << QString("PasswordController::on_passwordSelected: pwdId: '%1'")
                                  .arg(StringUtil::escapeNonPrintable(pwdId));
    bool ok = false;
    const qint64 id = pwdId.toLongLong(&ok, 10);
    if (!ok) {
        return;
    }
    // A pending clear keeps running: should this fetch fail, the earlier password must still go.
    getPassword(id, bindResult(this, &PasswordController::on_getSinglePasswordWithClipboardNoSignal));
    m_fetchOrigin = origin;
    showToolTip(origin, tr("Retrieving remote password..."));
}

void PasswordController::on_getSinglePasswordWithClipboardNoSignal(const Result<SinglePasswordTO> &result)
{
    if (!result.isOk()) {
        qDebug().noquote() << "PasswordController::on_getSinglePasswordWithClipboardNoSignal: Unable to retrieve "
                              "single password: " +
                                      StringUtil::escapeNonPrintable(result.message());
        showToolTip(m_fetchOrigin, tr("Failed to retrieve password from server!"));
        return;
    }
    QString error;
    QString plain = decryptPassword(result.payload().password(), result.payload().transportIv(), &error);
    if (!error.isEmpty()) {
        // Nothing is copied: an empty clipboard would look like a copied empty password.
        qDebug().noquote() << "PasswordController::on_getSinglePasswordWithClipboardNoSignal: Unable to decrypt "
                              "single password: " +
                                      error;
        showToolTip(m_fetchOrigin, tr("Failed to retrieve password from server!"));
        return;
    }
    copyPasswordToClipboard(plain, m_fetchOrigin);
    PasswordViewModel::blank(plain);
}

void PasswordController::copyPasswordToClipboard(const QString &password, const QPoint &origin)
{
    auto *data = new QMimeData;
    data->setText(password);
    data->setData(kPasswordManagerHint, QByteArrayLiteral("secret"));
    // Known before the clipboard reports the change, so that report is recognised as ours.
    wipe(m_copiedDigest);
    m_digestSalt.resize(16);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(m_digestSalt.data()), 4);
    m_copiedDigest = digestOf(password);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    // A negative interval would never start the timer and leave the password on the clipboard.
    const int seconds = qBound(0, clipboardTimeoutSeconds(), std::numeric_limits<int>::max() / 1000);
    const int interval = m_clearIntervalOverride > 0 ? m_clearIntervalOverride : seconds * 1000;
    m_clearTimer->start(interval);
    showToolTip(origin, tr("Password copied to clipboard"));
}

void PasswordController::copyUsernameToClipboard(const QPoint &origin, const QString &username)
{
    QGuiApplication::clipboard()->setText(username, QClipboard::Clipboard);
    showToolTip(origin, tr("Copied to clipboard"));
}

void PasswordController::openUrlInBrowser(const QPoint &origin, const QString &url, QWidget *parent)
{
    if (!parent)
        parent = QApplication::activeWindow();
    if (!webAddress(url).isValid()) {
        openUrl(url, parent);
        return;
    }
    showToolTip(origin, tr("Opening Web Address in browser"));
    if (!openUrl(url, parent))
        showToolTip(origin, tr("Unable to open the Web Address"));
}

QUrl PasswordController::webAddress(const QString &text)
{
    const QUrl url = QUrl::fromUserInput(text.trimmed());
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != "http" && scheme != "https") || url.host().isEmpty()) {
        return QUrl();
    }
    return url;
}

bool PasswordController::openUrl(const QString &text, QWidget *parent)
{
    const QUrl url = webAddress(text);
    if (!url.isValid()) {
        // Anything else may be a file, a launcher or a handler of a custom scheme.
        QMessageBox box(QMessageBox::Warning, tr("Unable to open address"),
                        tr("Only web addresses (http or https) can be opened:\n%1").arg(text), QMessageBox::Ok, parent);
        box.setObjectName("refusedAddressBox");
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return false;
    }
    // False when no launcher could start.
    return QDesktopServices::openUrl(url);
}

void PasswordController::showToolTip(const QPoint &origin, const QString &text)
{
    QToolTip::showText(origin, text);
}

void PasswordController::clearClipboard()
{
    m_clearTimer->stop();
    // Only our own copy is wiped; whatever the user copied since stays.
    if (!m_copiedDigest.isEmpty() && clipboardDigest() == m_copiedDigest) {
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    }
    wipe(m_copiedDigest);
}

void PasswordController::clearPendingClipboard()
{
    if (m_clearTimer->isActive()) {
        clearClipboard();
    }
}

void PasswordController::on_clipboardDataChanged()
{
    // X11 may report our own copy only after the timer started, and clipboard managers take the
    // clipboard over with the same text: neither is a new copy.
    if (!m_clearTimer->isActive() || clipboardDigest() == m_copiedDigest) {
        return;
    }
    m_clearTimer->stop();
    wipe(m_copiedDigest);
}

bool PasswordController::isClearPending() const
{
    return m_clearTimer->isActive();
}

QByteArray PasswordController::digestOf(const QString &text) const
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(m_digestSalt);
    QByteArray bytes = text.toUtf8();
    hash.addData(bytes);
    wipe(bytes);
    return hash.result();
}

QByteArray PasswordController::clipboardDigest() const
{
    QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    const QByteArray digest = digestOf(text);
    PasswordViewModel::blank(text);
    return digest;
}

int PasswordController::clipboardTimeoutSeconds() const
{
    return QSettings().value(kTimeoutSeconds, 10).toInt();
}

void PasswordController::setClipboardTimeoutSeconds(int seconds)
{
    QSettings().setValue(kTimeoutSeconds, seconds);
}

int PasswordController::lockMinutes() const
{
    const int seconds = QSettings().value(kLockSeconds, 60).toInt();
    return seconds < 0 ? -1 : seconds / 60;
}

void PasswordController::setLockMinutes(int minutes)
{
    QSettings().setValue(kLockSeconds, minutes < 1 ? -1 : minutes * 60);
}

bool PasswordController::isLockExpired() const
{
    QSettings settings;
    const qint64 lockSeconds = settings.value(kLockSeconds, 60).toInt();
    if (lockSeconds < 0) {
        return false;
    }
    const qint64 last = settings.value(kLastOperation, 0).toLongLong();
    return QDateTime::currentSecsSinceEpoch() - last > lockSeconds;
}

bool PasswordController::isLocked() const
{
    return QSettings().value(kLocked, false).toBool();
}

void PasswordController::setLocked(bool locked)
{
    QSettings().setValue(kLocked, locked);
    if (!locked) {
        touchLastOperation();
    }
}

bool PasswordController::showPasswordSafe() const
{
    return QSettings().value(kShowPasswordSafe, true).toBool();
}

void PasswordController::setShowPasswordSafe(bool show)
{
    QSettings().setValue(kShowPasswordSafe, show);
}

void PasswordController::touchLastOperation()
{
    // 64-bit seconds: a 32-bit count ends in 2038 (signed) or 2106 and then never expires the lock.
    QSettings().setValue(kLastOperation, QDateTime::currentSecsSinceEpoch());
}
