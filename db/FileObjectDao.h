#pragma once

#include "sync/FsObject.h"

#include <QHash>
#include <QObject>
#include <QString>

// The fs_object table: per setting, the state of every file and folder as it was when both sides
// last agreed.
class FileObjectDao : public QObject
{
    Q_OBJECT

public:
    static FileObjectDao *instance();

    // Keyed by path; a later row of the same path replaces an earlier one. Files and folders are
    // counted on the way when asked.
    QHash<QString, FsObject> loadAll(qint64 settingId, int *files = nullptr, int *dirs = nullptr);
    // The statement of loadAll; FileObjectCursor reads its rows a chunk at a time.
    static const QString &loadAllStatement();
    // A null object when the setting holds no entry for the path.
    FsObject loadByPath(qint64 settingId, const QString &path);
    bool remove(const QString &path, qint64 settingId);
    bool store(const FsObject &object, qint64 settingId);

private:
    FileObjectDao();
};
