#pragma once

#include <QString>

class AppInfo;
class UserCred;
class UserCredList;
class KeychainUtil;

// The saved password and DeviceKey value per (server, account name), kept encrypted inside the one
// credential-store item. Every call reads the whole item, changes it and writes it back, waiting
// for the store in a local event loop.
class UserCredUtil
{
public:
    explicit UserCredUtil(const AppInfo *appInfo);

    bool storePassword(const QString &server, const QString &user, const QString &password);
    QString retrievePassword(const QString &server, const QString &user);
    bool clearPassword(const QString &server, const QString &user);

    bool storeDeviceKeyValue(const QString &server, const QString &user, const QString &value);
    QString retrieveDeviceKeyValue(const QString &server, const QString &user);
    bool clearDeviceKeyValue(const QString &server, const QString &user);

    // Older Windows installations kept the list in the registry; there is none to move here.
    static bool migrateFromRegistry(const AppInfo *appInfo);

    // The stored-secret encryption, replaceable so that tests can make it fail.
    using Encryptor = bool (*)(const QString &plain, QString *out);
    static void setEncryptor(Encryptor encryptor);

private:
    enum Field { Password, DeviceKey };
    static void setField(UserCred &entry, Field field, const QString &value);

    bool store(const char *op, Field field, const QString &server, const QString &user, const QString &value);
    bool clear(const char *op, Field field, const QString &server, const QString &user);
    QString retrieve(const char *op, Field field, const QString &server, const QString &user);

    enum ReadOutcome { ReadFailed, ReadEmpty, ReadList };
    ReadOutcome readList(const char *op, KeychainUtil &keychain, UserCredList &list);
    bool writeList(const char *op, KeychainUtil &keychain, const UserCredList &list, const QString &server,
                   const QString &user);

    const AppInfo *appInfo;
};
