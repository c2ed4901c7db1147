#pragma once

#include "sync/FsObject.h"
#include "sync/SyncReason.h"
#include "sync/SyncSetting.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// One step of a synchronisation plan: what to do with one file or folder of a setting, the state
// of both sides that led to it and, once run, the outcome. A QObject for its enumerations and
// texts, but copied as a value.
class SyncAction : public QObject
{
    Q_OBJECT

public:
    // The numbers are stored in the history table.
    enum ActionType {
        ActionUndefined = -1,
        NoAction = 0,
        UpdateSyncState = 1,
        RemoveSyncState = 2,
        Resolve = 3,
        CreateLocalDir = 4,
        CreateRemoteDir = 5,
        DownloadFile = 6,
        UpdateLocalFile = 7,
        UploadFile = 8,
        UpdateRemoteFile = 9,
        DeleteLocalFile = 10,
        DeleteRemoteFile = 11,
        DeleteLocalDir = 12,
        DeleteRemoteDir = 13,
        BackupDownloadFile = 14,
    };
    Q_ENUM(ActionType)

    // Below 20 ok, 20 to 99 warnings, 100 and above errors.
    enum ActionStatus {
        STATUS_UNDEFINED = -1,
        STATUS_OK = 1,
        STATUS_TODO = 10,
        STATUS_IN_PROGRESS = 11,
        WARN_START = 20,
        WARN_SKIPPED = 21,
        WARN_EXCLUDED_BY_NAME = 22,
        WARN_FILE_NAME_TOO_LONG = 25,
        WARN_DIR_NAME_TOO_LONG = 26,
        WARN_AUTO_RESOLVED = 31,
        WARN_FILE_NO_REMOTE_CHECKSUM = 41,
        ERR_START = 100,
        ERR_INTERNAL = 101,
        ERR_OBJECT_TYPE_MISMATCH = 120,
        ERR_FILE_NO_LOCAL_CHECKSUM = 121,
        ERR_FILE_BAD_NAME = 123,
        ERR_FOLDER_BAD_NAME = 124,
        ERR_FILE_NO_LAST_LOCAL_MTIME = 125,
        ERR_FILE_NO_LAST_REMOTE_MTIME = 126,
        ERR_FILE_NO_LOCAL_MTIME = 127,
        ERR_FILE_NO_REMOTE_MTIME = 128,
        ERR_FILE_ATTR_CONFLICT = 129,
        ERR_FILE_NAME_TOO_LONG = 130,
        ERR_DIR_NAME_TOO_LONG = 131,
        ERR_OBJECT_NOT_IN_BASE = 140,
        ERR_FILE_TOO_BIG = 141,
        ERR_DIR_CREATE = 200,
        ERR_DIR_DELETE = 201,
        ERR_DIR_ALREADY_EXISTS = 202,
        ERR_DIR_MISSING = 203,
        ERR_PARENT_DIR_MISSING = 204,
        ERR_REMOTE_DIR_CREATE = 205,
        ERR_REMOTE_DIR_DELETE = 206,
        ERR_FILE_UPLOAD = 300,
        ERR_FILE_UPDATE_REMOTE_FILE = 301,
        ERR_FILE_DOWNLOAD = 302,
        ERR_FILE_DELETE = 303,
        ERR_FILE_BACKUP = 304,
        ERR_FILE_ALREADY_EXISTS = 305,
        ERR_FILE_MISSING = 306,
        ERR_FILE_NOT_READABLE = 307,
        ERR_REMOTE_FILE_DELETE = 308,
        ERR_LOCAL_FILE_DELETE = 309,
        ERR_QUOTA_EXCEEDED = 400,
        ERR_NO_MODULE = 401,
        ERR_DEST_NOT_FOUND = 402,
        ERR_FILE_DOWNLOAD_DENIED = 500,
        ERR_FILE_UPLOAD_DENIED = 501,
        ERR_FILE_UPDATE_REMOTE_FILE_DENIED = 502,
        ERR_REMOTE_FILE_DELETE_DENIED = 503,
        ERR_REMOTE_DIR_CREATE_DENIED = 504,
        ERR_REMOTE_DIR_DELETE_DENIED = 505,
        ERR_GET_FILESFE_OBJECTS = 910,
        ERR_NETWORK = 980,
        ERR_GENERIC = 999,
    };
    Q_ENUM(ActionStatus)

    // Longest file or folder name the service takes, and the largest file in MB.
    static constexpr int MaxNameLength = 128;
    static constexpr int MaxFileSizeMB = 2048;

    SyncAction();
    SyncAction(const SyncAction &other);
    SyncAction &operator=(const SyncAction &other);
    ~SyncAction() override;

    // Back to a new action, but with status STATUS_OK and a fresh temporary id.
    void clear();

    static int nextId();
    static int maxId();
    static int instanceCount();

    // Plan order: same type by relative path (folder deletions children first), otherwise by
    // type, with uploads after everything else.
    bool operator<(const SyncAction &other) const;

    void setSyncSetting(const SyncSetting &setting);
    void setFsObject(const FsObject &object);
    FsObject toFsObject() const;

    void calcLocalChecksum(const QString &checksum);
    void calcLocalMtime(const QDateTime &mtime);
    void calcLocalSize(qint64 size);
    void setExecuted(int status, const QString &message);
    void addReason(const QString &text);
    // A rule of the planner; its text is made when the reason is read.
    void addReason(SyncReason::Code code, const QString &argument = QString());

    bool isUndefined() const { return m_action == ActionUndefined; }
    bool isSuccess() const { return m_executed && m_status == STATUS_OK; }
    bool isOk() const { return m_status < WARN_START; }
    bool isWarning() const { return m_status >= WARN_START && m_status < ERR_START; }
    bool isError() const { return m_status >= ERR_START; }
    bool isRemoteAction() const;

    QString relPath() const;
    // On disk: the real spelling of the path when it differs from the composed one.
    QString localFilePath() const;
    QString localDirPath() const;
    QString remoteFilePath() const;
    QString remoteDirPath() const;
    QString displayPath() const;

    static QString actionTypeName(int type, bool enumKey = false);
    static QString statusName(int status, bool enumKey = false);
    static QString statusText(int status);
    static QString statusDetails(int status, const QString &message);
    static QString statusHelpUrl(int status);
    QString actionTypeName(bool enumKey = false) const { return actionTypeName(m_action, enumKey); }
    QString statusName(bool enumKey = false) const { return statusName(m_status, enumKey); }
    QString statusText() const { return statusText(m_status); }
    QString statusDetails() const { return statusDetails(m_status, m_execErrorMsg); }
    QString statusHelpUrl() const { return statusHelpUrl(m_status); }

    static int countSuccessful(const QList<SyncAction> &actions);
    static int countErrors(const QList<SyncAction> &actions);
    static int countErrors(const QList<SyncAction *> &actions);
    static int countWarnings(const QList<SyncAction> &actions);
    static int countWarnings(const QList<SyncAction *> &actions);
    static int countNotOk(const QList<SyncAction *> &actions);
    static int countSkipped(const QList<SyncAction> &actions);
    static int countPending(const QList<SyncAction> &actions);
    static int countPending(const QList<SyncAction *> &actions);
    static int countResolve(const QList<SyncAction *> &actions);
    static int countType(const QList<SyncAction *> &actions, const QString &type);

    QString toString(const QString &separator) const;

    // Local execution; true on success. Each refuses to act through a symbolic link between the
    // local base folder and its target.
    bool execBackupLocalFile();
    // A free name for a conflict copy of the file, in its folder, that fits the folder's name
    // limit; empty when none can be formed (or the folder cannot be looked into).
    static QString conflictCopyPath(const QString &filePath);
    bool execCreateLocalDir();
    bool execDeleteLocalDir();
    bool execDeleteLocalFile();
    // True when a component of the path below the local base folder (the target included) is a
    // symbolic link or cannot be examined: nothing may be written, created or removed there.
    bool crossesLink() const;
    static bool crossesLink(const QString &base, const QString &path);
    // A relative path as QDir::cleanPath leaves it: no empty, "." or ".." element, no "/" at its end.
    static bool isCleanRelPath(QStringView path);

    // The names that may go with a deleted folder, as one expression.
    static QRegularExpression loadDeletablePatterns();

    int id() const { return m_id; }
    int action() const { return m_action; }
    QString objectId() const { return m_objectId; }
    QString name() const;
    QString path() const { return m_path; }
    QString localBase() const { return m_localBase; }
    QString remoteSafeId() const { return m_remoteSafeId; }
    QString remoteSafeName() const { return m_remoteSafeName; }
    QString remoteSafeType() const { return m_remoteSafeType; }
    QString remoteBase() const { return m_remoteBase; }
    QString type() const { return m_type; }
    QDateTime localMtime() const { return m_localMtime; }
    QDateTime remoteMtime() const { return m_remoteMtime; }
    QString remoteAccess() const { return m_remoteAccess; }
    qint64 localSize() const { return m_localSize; }
    qint64 remoteSize() const { return m_remoteSize; }
    QString localChecksum() const { return m_localChecksum; }
    QString remoteChecksum() const { return m_remoteChecksum; }
    bool conflict() const { return m_conflict; }
    int status() const { return m_status; }
    bool executed() const { return m_executed; }
    bool executing() const { return m_executing; }
    bool skipped() const { return m_skipped; }
    QDateTime execTs() const { return m_execTs; }
    QString execErrorMsg() const { return m_execErrorMsg; }
    QString reason() const;
    qint64 syncHistoryObjectId() const { return m_syncHistoryObjectId; }
    qint64 tempId() const { return m_tempId; }
    // The path below the local base as spelled on disk, when it differs from relPath.
    QString localDiskPath() const { return m_localDiskPath; }

    void setId(int id) { m_id = id; }
    void setAction(int action) { m_action = action; }
    void setObjectId(const QString &objectId) { m_objectId = objectId; }
    void setName(const QString &name);
    void setPath(const QString &path);
    // The relative path as one text (clean, its last element not empty) and its folder, the text
    // before its last "/": the name is read from the path, so a planned action keeps no text of its
    // own for it, and relPath() is the path itself.
    void setRelPath(const QString &relPath, const QString &folder);
    // A temporary id of its own for an action made as a copy of another.
    void renewTempId();
    void setLocalBase(const QString &localBase) { m_localBase = localBase; }
    void setRemoteBase(const QString &remoteBase) { m_remoteBase = remoteBase; }
    void setRemoteSafeName(const QString &remoteSafeName) { m_remoteSafeName = remoteSafeName; }
    void setType(const QString &type) { m_type = type; }
    void setLocalMtime(const QDateTime &localMtime) { m_localMtime = localMtime; }
    void setRemoteMtime(const QDateTime &remoteMtime) { m_remoteMtime = remoteMtime; }
    void setRemoteAccess(const QString &remoteAccess) { m_remoteAccess = remoteAccess; }
    void setLocalSize(qint64 localSize) { m_localSize = localSize; }
    void setRemoteSize(qint64 remoteSize) { m_remoteSize = remoteSize; }
    void setLocalChecksum(const QString &localChecksum) { m_localChecksum = localChecksum; }
    void setRemoteChecksum(const QString &remoteChecksum) { m_remoteChecksum = remoteChecksum; }
    void setConflict(bool conflict) { m_conflict = conflict; }
    void setStatus(int status) { m_status = status; }
    void setExecuting(bool executing) { m_executing = executing; }
    void setSkipped(bool skipped) { m_skipped = skipped; }
    void setExecErrorMsg(const QString &execErrorMsg) { m_execErrorMsg = execErrorMsg; }
    void setSyncHistoryObjectId(qint64 id) { m_syncHistoryObjectId = id; }
    void setLocalDiskPath(const QString &diskPath) { m_localDiskPath = diskPath == relPath() ? QString() : diskPath; }

private:
    void copyFrom(const SyncAction &other);

    int m_id = 0;
    int m_action = ActionUndefined;
    QString m_objectId;
    QString m_name;
    QString m_path;
    // When not null, the relative path that the name is the last element of.
    QString m_relPath;
    QString m_localBase;
    QString m_remoteSafeId;
    QString m_remoteSafeName;
    QString m_remoteSafeType;
    QString m_remoteBase;
    QString m_type;
    QDateTime m_localMtime;
    QDateTime m_remoteMtime;
    QString m_remoteAccess;
    qint64 m_localSize = 0;
    qint64 m_remoteSize = 0;
    QString m_localChecksum;
    QString m_remoteChecksum;
    bool m_conflict = false;
    int m_status = STATUS_UNDEFINED;
    bool m_executed = false;
    bool m_executing = false;
    bool m_skipped = false;
    QDateTime m_execTs;
    QString m_execErrorMsg;
    // Up to eight rule codes, one a byte from the lowest, and the arguments of those that take one.
    quint64 m_reasonCodes = 0;
    QStringList m_reasonArguments;
    qint64 m_syncHistoryObjectId = 0;
    qint64 m_tempId = 0;
    QString m_localDiskPath;
};

Q_DECLARE_METATYPE(SyncAction)
