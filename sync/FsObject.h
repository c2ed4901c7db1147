#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

// The state of one file or folder on one side, or as last synchronised. The path is relative to
// the setting's base folder, "/"-separated and in Unicode NFC, so the three snapshots of a setting
// compare by plain text.
class FsObject
{
public:
    FsObject();
    FsObject(const QString &objectId, const QString &path, qint64 size, const QDateTime &localMtime,
             const QDateTime &remoteMtime, const QString &access, const QString &type, const QString &checksum);
    FsObject(const FsObject &other);
    FsObject &operator=(const FsObject &other) = default;
    FsObject &operator=(FsObject &&other) = default;
    ~FsObject();

    static int instanceCount();
    // The one copy of "f" or "d" that every object of that kind holds; other texts as given.
    static const QString &sharedType(const QString &type);

    QString objectId() const { return m_objectId; }
    QString path() const { return m_path; }
    qint64 size() const { return m_size; }
    QDateTime localMtime() const { return m_localMtime; }
    QDateTime remoteMtime() const { return m_remoteMtime; }
    QString access() const { return m_access; }
    QString type() const { return m_type; }
    QString checksum() const { return m_checksum; }

    void setChecksum(const QString &checksum) { m_checksum = checksum; }
    // Times are kept as UTC instants whatever zone they come in.
    void setLocalMtime(const QDateTime &localMtime);
    void setRemoteMtime(const QDateTime &remoteMtime);
    void setSize(qint64 size) { m_size = size; }
    // Takes the other's copy of every text that is equal in both, the path included, so that one
    // copy is kept.
    void shareTexts(const FsObject &other);

    bool isFile() const { return m_type.size() == 1 && m_type.at(0) == QLatin1Char('f'); }
    bool isDir() const { return m_type.size() == 1 && m_type.at(0) == QLatin1Char('d'); }
    bool isNull() const { return m_path.isEmpty(); }
    bool isValid() const { return !m_path.isEmpty(); }

    QString fileName() const;
    QString dirPath() const;

    // Rewrites the path relative to a base folder inside the safe; false (path unchanged) for the
    // base itself or anything outside it. An empty base or "/" is the whole safe.
    bool makeRelativeTo(const QString &base);

    bool operator==(const FsObject &other) const;
    bool operator!=(const FsObject &other) const { return !(*this == other); }
    bool operator<(const FsObject &other) const;

private:
    QString m_objectId;
    QString m_path;
    qint64 m_size = 0;
    QDateTime m_localMtime;
    QDateTime m_remoteMtime;
    QString m_access;
    QString m_type;
    QString m_checksum;
};

Q_DECLARE_METATYPE(FsObject)
