#pragma once

#include <QApplication>
#include <QLockFile>
#include <QPointer>
#include <QString>

class QLocalServer;
class QLocalSocket;

// The application base that keeps one instance per user: two copies on one database would corrupt
// it. The first instance holds a lock file in the user's runtime folder (a dead holder's lock is
// taken over) and listens on a local socket there that only the user can open; later instances
// send it text messages, which it acknowledges.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    SingleApplication(int &argc, char **argv);
    ~SingleApplication() override;

    // The name of the lock and the socket in the runtime folder: the application name.
    QString id() const { return m_id; }
    // True when another instance held the lock at construction.
    bool isRunning() const { return m_running; }

    // Delivers the message to the running instance, retrying until the time-out (it may have
    // taken the lock but not listen yet); true only when that instance acknowledged it.
    bool sendMessage(const QString &message, int timeoutMs);

    void setActivationWindow(QWidget *window, bool activateOnMessage = true);
    QWidget *activationWindow() const { return m_activationWindow; }

    static QString lockPathFor(const QString &runtimeFolder, const QString &id);
    static QString socketPathFor(const QString &runtimeFolder, const QString &id);

public slots:
    // Brings the activation window to the front, restored from minimized or maximized.
    void activateWindow();

signals:
    void messageReceived(const QString &message);

private:
    void listen();
    void acceptConnections();
    void readMessage(QLocalSocket *socket);

    QString m_id;
    QString m_socketPath;
    QLockFile m_lock;
    bool m_running = false;
    QLocalServer *m_server = nullptr;
    QPointer<QWidget> m_activationWindow;
};
