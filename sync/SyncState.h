#pragma once

#include "sync/CaseFoldedSet.h"
#include "sync/FsObject.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

// One side of a setting at one moment: the local scan, the last synchronised state or the remote
// listing, as a hash from relative path (NFC, "/"-separated, no leading slash) to FsObject.
//
// A local scan also says where it is not to be trusted, because planning must never take
// "missing from the scan" for "deleted by the user" there:
//  - unreadable paths: folders that could not be listed and entries that could not be read; what
//    lies at or below them is unknown, not absent ("" stands for the base folder itself);
//  - links: symbolic links, never synchronised, never followed, never replaced;
//  - collisions: keys shared by two on-disk names (NFC) or equal under case folding within one
//    folder; no file of such a name can be told from the other.
// It keeps, for every key whose on-disk spelling differs (an NFD name), that spelling, so that
// local operations open, hash, rename and delete the real file.
class SyncState
{
public:
    // Answers of scanLocal besides the number of objects.
    static constexpr int ScanBaseMissing = -1;
    static constexpr int ScanStopped = -2;

    // Called between chunks of a scan or of the stored rows; false stops it.
    using Pump = std::function<bool()>;

    // Answers of loadFromDb.
    enum LoadAnswer { Loaded, LoadStopped, LoadFailed };

    SyncState();
    SyncState(const QString &basePath, qint64 settingId);
    SyncState(const SyncState &other);
    SyncState &operator=(const SyncState &other);
    ~SyncState();

    static int instanceCount();

    QString basePath() const { return m_basePath; }
    qint64 settingId() const { return m_settingId; }
    QDateTime taken() const { return m_taken; }

    // A null FsObject when the key is unknown.
    FsObject get(const QString &path) const;
    bool contains(const QString &path) const { return m_objects.contains(path); }
    void add(const FsObject &object);
    // Lazily computed checksums are kept with the object they belong to.
    void setChecksum(const QString &path, const QString &checksum);
    QStringList paths() const { return m_objects.keys(); }
    const QHash<QString, FsObject> &objects() const { return m_objects; }
    int count() const { return m_objects.size(); }
    // Kept while the snapshot fills: no pass over the objects.
    int fileCount() const { return m_fileCount; }
    int dirCount() const { return m_dirCount; }

    // Replaces the objects with the setting's stored rows, read `chunk` rows at a time with the
    // pump asked between two chunks. Each row takes the texts it has in common with known's
    // object of its path: one copy for both. LoadStopped leaves the rows read so far; LoadFailed
    // puts the database driver's text in *failure.
    LoadAnswer loadFromDb(const Pump &pump, int chunk, const SyncState *known = nullptr, QString *failure = nullptr);

    // Walks the base folder; the number of objects, ScanBaseMissing (contents kept) or
    // ScanStopped (the pump said stop; the snapshot is incomplete and marked so).
    int scanLocal(const Pump &pump = Pump());

    // The relative path as spelled on disk; for a key not on disk, its deepest known ancestor
    // is spelled as on disk and the rest as given.
    QString diskPath(const QString &path) const;
    // Absolute on-disk path of a key below the base folder.
    QString localFilePath(const QString &path) const;
    void setDiskName(const QString &path, const QString &diskPath);
    bool hasDiskNames() const { return !m_diskNames.isEmpty(); }

    QStringList unreadablePaths() const { return m_unreadable.values(); }
    QStringList linkPaths() const { return m_links.values(); }
    QStringList collisionPaths() const { return m_collisions.values(); }
    void addUnreadable(const QString &path) { m_unreadable.insert(path); }
    void addLink(const QString &path) { m_links.insert(path); }
    void addCollision(const QString &path) { m_collisions.insert(path); }
    // Each tests the path itself and every ancestor.
    bool isBelowUnreadable(const QString &path) const { return isAtOrBelow(path, m_unreadable); }
    bool isBelowLink(const QString &path) const { return isAtOrBelow(path, m_links); }
    bool isCollision(const QString &path) const { return isAtOrBelow(path, m_collisions); }
    // True when the scan saw everything below the base folder.
    bool isComplete() const { return m_unreadable.isEmpty(); }

    // Records as collisions all keys of one folder that are equal under case folding (for a
    // listing; the local scan does this itself). Done once until an object is added.
    void findCaseCollisions();
    bool isCaseChecked() const { return m_caseFoldingChecked; }
    // Each object takes the texts it has in common with the other state's object of its path.
    void shareTexts(const SyncState &other);

protected:
    // What one scan carries from folder to folder.
    struct Walk
    {
        const Pump *pump = nullptr;
        int sincePump = 0;
        bool stopped = false;
        // The key of an ASCII name, written in place.
        QString probe;
        // The keys of the folder being listed, by their case-folded form.
        std::deque<QString> keys;
        CaseFoldedSet folded;
    };
    // Replaces the scan's contents (objects, disk names, unreadable paths, links, collisions,
    // counts) with the tree below base, walked without a depth limit. A base that cannot be
    // listed leaves no object and is itself unreadable. False when the pump said stop.
    bool scanLocalFolder(const QString &base, const Pump &pump);
    // Lists one folder (key prefix, its spelling on disk, its absolute path) into this state,
    // files and folders in the order of the listing, then walks its subfolders at depth + 1. A
    // subfolder beyond maxDepth (0: no limit) is recorded as unreadable, like one that cannot be
    // listed.
    void scanLocalFolderRecursive(const QString &prefix, const QString &diskPrefix, const QString &folder, Walk *walk,
                                  int maxDepth, int depth);

private:
    static bool isAtOrBelow(const QString &path, const QSet<QString> &set);
    void count(const FsObject &object, int delta);

    QString m_basePath;
    qint64 m_settingId = 0;
    QDateTime m_taken;
    QHash<QString, FsObject> m_objects;
    QHash<QString, QString> m_diskNames;
    QSet<QString> m_unreadable;
    QSet<QString> m_links;
    QSet<QString> m_collisions;
    int m_fileCount = 0;
    int m_dirCount = 0;
    bool m_caseFoldingChecked = false;
};
