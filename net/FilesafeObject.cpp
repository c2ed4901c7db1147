#include "net/FilesafeObject.h"

#include "core/StringUtil.h"
#include "net/JsonUtil.h"
#include "sync/FsObject.h"

bool FilesafeObject::fromJson(const QJsonObject &json)
{
    return read(json, true);
}

bool FilesafeObject::read(const QJsonObject &json, bool refuseUnsafePath)
{
    bool ok = false;
    const QString id = JsonUtil::getString(json, QStringLiteral("object_id"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString objectPath = JsonUtil::getString(json, QStringLiteral("path"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    if (refuseUnsafePath && !isSafePath(objectPath)) {
        m_error = QStringLiteral("json object: key 'path': unsafe path '%1'")
                          .arg(QString(objectPath).replace(QChar(0), QLatin1String("\\0")));
        return false;
    }
    const qint64 bytes = JsonUtil::getInt64(json, QStringLiteral("size"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString modified = JsonUtil::getString(json, QStringLiteral("mtime"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString acc = JsonUtil::getString(json, QStringLiteral("access"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString objectType = JsonUtil::getString(json, QStringLiteral("type"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    const QString sum = JsonUtil::getString(json, QStringLiteral("checksum"), true, &ok, &m_error);
    if (!ok) {
        return false;
    }
    objectId = id;
    path = objectPath;
    size = bytes;
    mtime = modified;
    access = acc;
    type = objectType;
    checksum = sum;
    return true;
}

bool FilesafeObject::isSafePath(const QString &path)
{
    if (path.contains(QChar(0))) {
        return false;
    }
    QStringView view(path);
    if (view.startsWith(QLatin1Char('/'))) {
        view = view.mid(1);
    }
    if (view.endsWith(QLatin1Char('/'))) {
        view = view.chopped(1);
    }
    if (view.isEmpty()) {
        // Only "/", the safe's top folder, may name no element; "" and "//" are malformed.
        return path.size() == 1;
    }
    for (const QStringView element : view.split(QLatin1Char('/'))) {
        if (element.isEmpty() || element == QLatin1String(".") || element == QLatin1String("..")) {
            return false;
        }
    }
    return true;
}

QStringList FilesafeObject::pathParts(const QString &path)
{
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

bool FilesafeObject::isDirectChildOf(const QString &parentPath) const
{
    const QStringList own = pathParts(path);
    const QStringList parent = pathParts(parentPath);
    if (own.isEmpty() || own.size() != parent.size() + 1) {
        return false;
    }
    for (int i = 0; i < parent.size(); ++i) {
        if (own.at(i) != parent.at(i)) {
            return false;
        }
    }
    return true;
}

bool FilesafeObject::isBelow(const FilesafeObject &other) const
{
    const QStringList own = pathParts(path);
    const QStringList upper = pathParts(other.path);
    if (own.isEmpty() || own.size() < upper.size()) {
        return false;
    }
    for (int i = 0; i < upper.size(); ++i) {
        if (own.at(i) != upper.at(i)) {
            return false;
        }
    }
    return true;
}

QString FilesafeObject::fileName() const
{
    const QStringList parts = pathParts(path);
    return parts.isEmpty() ? QString() : parts.last();
}

FsObject FilesafeObject::toFsObject() const
{
    return FsObject(objectId, path, size, QDateTime(), StringUtil::parseTimestamp(mtime), access, type, checksum);
}

QString FilesafeObject::toString() const
{
    QString text = QStringLiteral("{objectId:'") + objectId;
    text += QStringLiteral("',path:'") + path;
    text += QStringLiteral("',size:'") + QString::number(size);
    text += QStringLiteral("',mtime:'") + mtime;
    text += QStringLiteral("',access:'") + access;
    text += QStringLiteral("',type:'") + type;
    text += QStringLiteral("',checksum:'") + checksum;
    text += QStringLiteral("'}");
    return text;
}
