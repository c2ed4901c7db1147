#include "platform/SingleApplication.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QFile>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A message is its UTF-8 length (32 bits, big endian) and text; the answer one byte.
const char kAcknowledged = 'A';
const quint32 kMaxMessageSize = 64 * 1024;
// A peer that has not sent its whole message by then is dropped.
const int kReceiveTimeoutMs = 5000;
const int kRetryIntervalMs = 50;

const int kMaxSocketPath = 108;

QString runtimeFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

// "/tmp/tessarvale-<uid>", created 0700; one owned by someone else or open to others is not used.
QString privateShortFolder()
{
    const uid_t uid = ::getuid();
    const QByteArray folder = "/tmp/tessarvale-" + QByteArray::number(uint(uid));
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    struct stat info;
    if (::lstat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid ||
        (info.st_mode & 0077) != 0) {
        qWarning("SingleApplication: %s is not a private folder of this user", folder.constData());
        return QString();
    }
    return QFile::decodeName(folder);
}

} // namespace

QString SingleApplication::lockPathFor(const QString &folder, const QString &id)
{
    return folder + QLatin1Char('/') + id + QStringLiteral(".lock");
}

QString SingleApplication::socketPathFor(const QString &folder, const QString &id)
{
    const QString path = folder + QLatin1Char('/') + id + QStringLiteral(".socket");
    if (QFile::encodeName(path).size() < kMaxSocketPath)
        return path;
    // A socket address holds at most 107 bytes: a deep runtime folder gets a short stand-in, in a
    // folder of this user's own (the way other tools keep theirs in /tmp), named after the folder.
    const QString shortFolder = privateShortFolder();
    if (shortFolder.isEmpty())
        return path;
    const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(path), QCryptographicHash::Sha256);
    return shortFolder + QLatin1Char('/') + QString::fromLatin1(hash.toHex().left(16)) +
           QStringLiteral(".socket");
}

SingleApplication::SingleApplication(int &argc, char **argv)
    : QApplication(argc, argv)
    , m_id(applicationName())
    , m_socketPath(socketPathFor(runtimeFolder(), m_id))
    , m_lock(lockPathFor(runtimeFolder(), m_id))
{
    // Only a dead holder makes the lock stale, never its age.
    m_lock.setStaleLockTime(0);
    if (m_lock.tryLock(0)) {
        listen();
    } else if (m_lock.error() == QLockFile::LockFailedError) {
        m_running = true;
    } else {
        qWarning("SingleApplication: Cannot use the lock file %s (error %d)",
                 qUtf8Printable(lockPathFor(runtimeFolder(), m_id)), int(m_lock.error()));
    }
}

SingleApplication::~SingleApplication()
{
    if (m_server) {
        m_server->close();
    }
}

void SingleApplication::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // The lock is ours: a socket left there belongs to a dead instance.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath)) {
        qWarning("SingleApplication: Cannot listen on %s: %s", qUtf8Printable(m_socketPath),
                 qUtf8Printable(m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleApplication::acceptConnections);
}

void SingleApplication::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
        QTimer::singleShot(kReceiveTimeoutMs, socket, [socket] { socket->abort(); });
        readMessage(socket);
    }
}

void SingleApplication::readMessage(QLocalSocket *socket)
{
    if (socket->property("answered").toBool() || socket->bytesAvailable() < qint64(sizeof(quint32))) {
        return;
    }
    quint32 size = 0;
    QDataStream header(socket->peek(sizeof(quint32)));
    header >> size;
    if (size > kMaxMessageSize) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < qint64(sizeof(quint32) + size)) {
        return;
    }
    socket->read(sizeof(quint32));
    const QString message = QString::fromUtf8(socket->read(size));
    socket->setProperty("answered", true);
    socket->write(&kAcknowledged, 1);
    socket->flush();
    socket->disconnectFromServer();
    emit messageReceived(message);
}

bool SingleApplication::sendMessage(const QString &message, int timeoutMs)
{
    const QByteArray text = message.toUtf8();
    QByteArray frame;
    QDataStream(&frame, QIODevice::WriteOnly) << quint32(text.size());
    frame += text;

    QElapsedTimer elapsed;
    elapsed.start();
    auto left = [&] { return int(qMax<qint64>(0, timeoutMs - elapsed.elapsed())); };
    while (left() > 0) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(left())) {
            socket.write(frame);
            while (socket.bytesAvailable() < 1 && socket.state() == QLocalSocket::ConnectedState &&
                   socket.waitForReadyRead(left())) {
            }
            char answer = 0;
            if (socket.read(&answer, 1) == 1) {
                return answer == kAcknowledged;
            }
            if (socket.state() == QLocalSocket::ConnectedState) {
                return false; // connected, but no answer in time
            }
        }
        // Not listening yet, or gone before it answered.
        QThread::msleep(qMin(kRetryIntervalMs, left()));
    }
    return false;
}

void SingleApplication::setActivationWindow(QWidget *window, bool activateOnMessage)
{
    m_activationWindow = window;
    disconnect(this, &SingleApplication::messageReceived, this, &SingleApplication::activateWindow);
    if (activateOnMessage) {
        connect(this, &SingleApplication::messageReceived, this, &SingleApplication::activateWindow);
    }
}

void SingleApplication::activateWindow()
{
    QWidget *window = m_activationWindow;
    qDebug("QtSingleApplication::activateWindow: window: '%s'",
           window ? qUtf8Printable(window->objectName()) : "(null)");
    if (!window) {
        return;
    }
    qDebug("QtSingleApplication::activateWindow: window: isHidden:%d isVisible:%d isMaximized:%d isMinimized:%d "
           "isEnabled:%d isActive:%d ",
           window->isHidden(), window->isVisible(), window->isMaximized(), window->isMinimized(), window->isEnabled(),
           window->isActiveWindow());
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->showNormal();
    window->raise();
    window->activateWindow();
}
