#pragma once

#include "net/ErrorCode.h"

#include <QByteArray>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

class QNetworkAccessManager;
class User;

// The context every request is sent through: server, network access manager, TLS configuration,
// anti-forgery token, transport key and the signed-in user. Requests report their outcome to it.
class ISession : public QObject
{
    Q_OBJECT
public:
    explicit ISession(QObject *parent = nullptr)
        : QObject(parent)
    {}
    ~ISession() override = default;

public slots:
    virtual QString serverUrl() const = 0;
    virtual QNetworkAccessManager *networkAccessManager() = 0;
    virtual QSslConfiguration sslConfiguration() const = 0;
    virtual int nextRequestId() = 0;
    virtual void setLastActivity(qint64 msecsSinceEpoch) = 0;
    virtual void setXsrfToken(const QByteArray &token) = 0;
    virtual QByteArray xsrfToken() const = 0;
    virtual QString transportKey() const = 0;
    virtual void setTransportKey(const QString &key) = 0;
    virtual QString serverKey() const = 0;
    virtual void setUser(const User &user) = 0;
    virtual void setLoggedIn(bool loggedIn) = 0;
    virtual bool isLoggedIn() const = 0;
    virtual void requestSuccessful() = 0;
    virtual void requestFailed(ErrorCode code) = 0;

signals:
    // Every live request aborts with code 1.
    void abort();
    // Every live request stops its timer while a modal question is open, and restarts it after.
    void pause();
    void resume();
};
