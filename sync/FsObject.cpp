#include "sync/FsObject.h"

#include "core/StringUtil.h"

#include <QDir>
#include <QStringList>

namespace {
int s_instanceCount = 0;

// Held as UTC: a local time asks the C library for its zone (and the zone file) at every
// comparison and conversion, an instant in UTC never. A time that does not exist stays null.
QDateTime instant(const QDateTime &time)
{
    return time.timeSpec() == Qt::LocalTime && time.isValid() ? time.toUTC() : time;
}
} // namespace

FsObject::FsObject()
{
    ++s_instanceCount;
}

FsObject::FsObject(const QString &objectId, const QString &path, qint64 size, const QDateTime &localMtime,
                   const QDateTime &remoteMtime, const QString &access, const QString &type, const QString &checksum)
    : m_objectId(objectId)
    , m_path(path.isEmpty() ? path : path.normalized(QString::NormalizationForm_C))
    , m_size(size)
    , m_localMtime(instant(localMtime))
    , m_remoteMtime(instant(remoteMtime))
    , m_access(access)
    , m_type(sharedType(type))
    , m_checksum(checksum)
{
    ++s_instanceCount;
}

FsObject::FsObject(const FsObject &other)
    : m_objectId(other.m_objectId)
    , m_path(other.m_path)
    , m_size(other.m_size)
    , m_localMtime(other.m_localMtime)
    , m_remoteMtime(other.m_remoteMtime)
    , m_access(other.m_access)
    , m_type(other.m_type)
    , m_checksum(other.m_checksum)
{
    ++s_instanceCount;
}

FsObject::~FsObject()
{
    --s_instanceCount;
}

int FsObject::instanceCount()
{
    return s_instanceCount;
}

void FsObject::setLocalMtime(const QDateTime &localMtime)
{
    m_localMtime = instant(localMtime);
}

void FsObject::setRemoteMtime(const QDateTime &remoteMtime)
{
    m_remoteMtime = instant(remoteMtime);
}

const QString &FsObject::sharedType(const QString &type)
{
    static const QString file = QStringLiteral("f");
    static const QString dir = QStringLiteral("d");
    if (type.size() == 1) {
        if (type.at(0) == QLatin1Char('f'))
            return file;
        if (type.at(0) == QLatin1Char('d'))
            return dir;
    }
    return type;
}

QString FsObject::fileName() const
{
    const QStringList parts = QDir::cleanPath(m_path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? QString() : parts.last();
}

QString FsObject::dirPath() const
{
    QStringList parts = QDir::cleanPath(m_path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() < 2)
        return QString();
    parts.removeLast();
    return parts.join(QLatin1Char('/'));
}

bool FsObject::makeRelativeTo(const QString &base)
{
    const QString cleanBase = QDir::cleanPath(base);
    if (base.isEmpty() || cleanBase.isEmpty() || cleanBase == QLatin1String("/"))
        return true;
    const QStringList baseParts =
            base.normalized(QString::NormalizationForm_C).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QStringList parts = m_path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (baseParts.size() >= parts.size())
        return false;
    for (int i = 0; i < baseParts.size(); ++i) {
        if (baseParts.at(i) != parts.at(i))
            return false;
    }
    m_path = parts.mid(baseParts.size()).join(QLatin1Char('/'));
    return true;
}

bool FsObject::operator==(const FsObject &other) const
{
    return StringUtil::equalsNormalized(m_path, other.m_path);
}

bool FsObject::operator<(const FsObject &other) const
{
    return StringUtil::lessNormalized(m_path, other.m_path);
}

void FsObject::shareTexts(const FsObject &other)
{
    for (auto field :
         {&FsObject::m_objectId, &FsObject::m_path, &FsObject::m_access, &FsObject::m_type, &FsObject::m_checksum}) {
        if (this->*field == other.*field)
            this->*field = other.*field;
    }
}
