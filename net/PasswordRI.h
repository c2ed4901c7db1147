#pragma once

#include "net/GenericRI.h"
#include "net/IPasswordRI.h"

class AppInfo;
class Request;

// The client of the service's password-safe resource. Secrets travel only as transport ciphertext,
// which the caller produces and reads.
class PasswordRI
    : public GenericRI
    , public IPasswordRI
{
    Q_OBJECT
    Q_INTERFACES(IPasswordRI)

public:
    PasswordRI(const AppInfo *appInfo, ISession *session, QObject *parent = nullptr);

    QString basePath() const;

    void getPasswords(ResultCallback<EmptyPasswordsTO> callback) override;
    void getSinglePassword(qint64 id, ResultCallback<SinglePasswordTO> callback) override;
    void createPassword(PasswordTO password, ResultCallback<EmptyPasswordTO> callback) override;
    void checkBreached(SinglePasswordTO password, ResultCallback<QList<qint64>> callback) override;
    void deletePassword(QString id, ResultCallback<Nothing> callback) override;
    void updatePassword(PasswordTO password, ResultCallback<EmptyPasswordTO> callback) override;

    // The ids of a breached reply: numbers as 64-bit integers, any other element as 0.
    static QList<qint64> readIdList(const QJsonArray &array);

private:
    const AppInfo *m_appInfo;
};
