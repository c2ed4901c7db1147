#pragma once

#include "net/FilesafeTO_v2.h"
#include "net/FilesafesTO_v2.h"
#include "net/Result.h"

#include <QList>
#include <QObject>

class AppInfo;
class FilesafeRI;

// The local copy of the signed-in account's file safes (table file_safe), merged with every
// listing of the service.
class FileSafeDao : public QObject
{
    Q_OBJECT

public:
    FileSafeDao(const AppInfo *appInfo, FilesafeRI *filesafeRI, QObject *parent = nullptr);

    void add(const FilesafeTO_v2 &safe);
    void update(const FilesafeTO_v2 &safe);
    void remove(const FilesafeTO_v2 &safe);
    FilesafeTO_v2 get(const QString &safeId);
    QList<FilesafeTO_v2> list();

    // Asks the service for the safe list and merges it; the callback always hears the outcome,
    // a failed listing included.
    void updateFileSafes(ResultCallback<Nothing> callback);
    void syncFileSafes(const Result<FilesafesTO_v2> &result, const ResultCallback<Nothing> &callback);

signals:
    void newFileSafesFound(QList<FilesafeTO_v2> safes);

private:
    const AppInfo *m_appInfo;
    FilesafeRI *m_filesafeRI;
};
