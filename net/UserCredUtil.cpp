#include "net/UserCredUtil.h"

#include "core/AppInfo.h"
#include "core/StringUtil.h"
#include "net/crypto/CredCrypt.h"
#include "net/KeychainUtil.h"
#include "net/UserCredList.h"

#include <QtGlobal>

namespace {

const int EntryNotFound = 1;

bool defaultEncrypt(const QString &plain, QString *out)
{
    return CredCrypt::encryptStored(plain, out);
}

UserCredUtil::Encryptor s_encryptor = &defaultEncrypt;

QByteArray esc(const QString &text)
{
    return StringUtil::escapeNonPrintable(text).toUtf8();
}

} // namespace

UserCredUtil::UserCredUtil(const AppInfo *info)
    : appInfo(info)
{}

void UserCredUtil::setEncryptor(Encryptor encryptor)
{
    s_encryptor = encryptor ? encryptor : &defaultEncrypt;
}

bool UserCredUtil::storePassword(const QString &server, const QString &user, const QString &password)
{
    return store("UserCredUtil::storePassword", Password, server, user, password);
}

QString UserCredUtil::retrievePassword(const QString &server, const QString &user)
{
    return retrieve("UserCredUtil::retrievePassword", Password, server, user);
}

bool UserCredUtil::clearPassword(const QString &server, const QString &user)
{
    return clear("UserCredUtil::clearPassword", Password, server, user);
}

bool UserCredUtil::storeDeviceKeyValue(const QString &server, const QString &user, const QString &value)
{
    return store("UserCredUtil::storeDeviceKeyValue", DeviceKey, server, user, value);
}

QString UserCredUtil::retrieveDeviceKeyValue(const QString &server, const QString &user)
{
    return retrieve("UserCredUtil::retrieveDeviceKeyValue", DeviceKey, server, user);
}

bool UserCredUtil::clearDeviceKeyValue(const QString &server, const QString &user)
{
    return clear("UserCredUtil::clearDeviceKeyValue", DeviceKey, server, user);
}

bool UserCredUtil::migrateFromRegistry(const AppInfo *)
{
    qDebug("UserCredUtil::migrateFromRegistry: Credentials not stored or already migrated.");
    return true;
}

UserCredUtil::ReadOutcome UserCredUtil::readList(const char *op, KeychainUtil &keychain, UserCredList &list)
{
    const QString key = appInfo->credentialListName();
    int code = 0;
    const QString text = keychain.value(key, &code);
    if (code != 0 && code != EntryNotFound) {
        qWarning("%s: Failed to get keychain entry (key: '%s', error: [%d]'%s')", op, qUtf8Printable(key), code,
                 qUtf8Printable(keychain.errorString()));
        return ReadFailed;
    }
    if (code == EntryNotFound || text.isEmpty()) {
        return ReadEmpty;
    }
    if (!list.fromJsonDocument(text.toUtf8())) {
        qWarning("%s: Failed to parse keychain entry (data len: %d, error msg:'%s')", op, int(text.size()),
                 qUtf8Printable(list.error()));
        return ReadFailed;
    }
    return ReadList;
}

bool UserCredUtil::writeList(const char *op, KeychainUtil &keychain, const UserCredList &list, const QString &server,
                             const QString &user)
{
    const QByteArray content = list.toJsonDocument(QJsonDocument::Compact);
    if (content.isEmpty()) {
        qWarning("%s: Failed to build keychain entry: No content.", op);
        return false;
    }
    const int code = keychain.setValue(appInfo->credentialListName(), QString::fromUtf8(content));
    if (code != 0) {
        qWarning("%s: Failed to write keychain entry (for s'%s', u:'%s') error: [%d] '%s')", op,
                 esc(server).constData(), esc(user).constData(), code, qUtf8Printable(keychain.errorString()));
        return false;
    }
    return true;
}

void UserCredUtil::setField(UserCred &entry, Field field, const QString &value)
{
    if (field == Password) {
        entry.setPassword(value);
    } else {
        entry.setDkey(value);
    }
}

bool UserCredUtil::store(const char *op, Field field, const QString &server, const QString &user, const QString &value)
{
    if (server.isEmpty() || user.isEmpty()) {
        return false;
    }
    QString encrypted;
    if (!value.isEmpty() && !s_encryptor(value, &encrypted)) {
        // Writing an empty value here would throw away the saved secret and still report success.
        qWarning("%s: Failed to encrypt the value (for s:'%s', u:'%s')", op, esc(server).constData(),
                 esc(user).constData());
        return false;
    }
    KeychainUtil keychain(appInfo);
    UserCredList list;
    const ReadOutcome outcome = readList(op, keychain, list);
    if (outcome == ReadFailed) {
        return false;
    }
    UserCred entry = outcome == ReadList ? list.find(server, user) : UserCred();
    const bool known = entry.isValid();
    if (!known) {
        entry = UserCred(server, user, QString(), QString());
    }
    setField(entry, field, encrypted);
    if (!known || !list.replace(entry)) {
        list.append(entry);
    }
    return writeList(op, keychain, list, server, user);
}

bool UserCredUtil::clear(const char *op, Field field, const QString &server, const QString &user)
{
    if (server.isEmpty() || user.isEmpty()) {
        return false;
    }
    KeychainUtil keychain(appInfo);
    UserCredList list;
    const ReadOutcome outcome = readList(op, keychain, list);
    if (outcome != ReadList) {
        return outcome == ReadEmpty;
    }
    UserCred entry = list.find(server, user);
    if (!entry.isValid()) {
        return true;
    }
    setField(entry, field, QString());
    list.replace(entry);
    return writeList(op, keychain, list, server, user);
}

QString UserCredUtil::retrieve(const char *op, Field field, const QString &server, const QString &user)
{
    if (server.isEmpty() || user.isEmpty()) {
        return QString();
    }
    KeychainUtil keychain(appInfo);
    UserCredList list;
    if (readList(op, keychain, list) != ReadList) {
        return QString();
    }
    const UserCred entry = list.find(server, user);
    if (!entry.isValid()) {
        qDebug("%s: Keychain entry not found (for s:'%s', u:'%s')", op, esc(server).constData(), esc(user).constData());
        return QString();
    }
    const QString stored = field == Password ? entry.password() : entry.dkey();
    if (stored.isEmpty()) {
        qDebug("%s: Keychain entry contained no password (for s:'%s', u:'%s')", op, esc(server).constData(),
               esc(user).constData());
        return QString();
    }
    QString plain;
    if (!CredCrypt::decryptStored(stored, &plain)) {
        return QString();
    }
    return plain;
}
