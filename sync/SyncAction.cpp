#include "sync/SyncAction.h"

#include "core/FileUtil.h"
#include "core/StringUtil.h"
#include "platform/MoveToTrashUtil.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QMetaEnum>
#include <QTextStream>

#include <cerrno>
#include <dirent.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int s_nextId = 10000;
qint64 s_nextTempId = -1;
int s_instanceCount = 0;

template<typename Enum>
QString enumKeyForm(int value)
{
    const char *key = QMetaEnum::fromType<Enum>().valueToKey(value);
    return QStringLiteral("%1[%2]").arg(key ? QString::fromLatin1(key) : QStringLiteral("UnknownEnumValue")).arg(value);
}

bool isUpload(int type)
{
    return type == SyncAction::UploadFile || type == SyncAction::UpdateRemoteFile;
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

SyncAction::SyncAction()
    : QObject(nullptr)
    , m_tempId(s_nextTempId--)
{
    ++s_instanceCount;
}

SyncAction::SyncAction(const SyncAction &other)
    : QObject(nullptr)
{
    ++s_instanceCount;
    copyFrom(other);
}

SyncAction &SyncAction::operator=(const SyncAction &other)
{
    if (this != &other)
        copyFrom(other);
    return *this;
}

SyncAction::~SyncAction()
{
    --s_instanceCount;
}

void SyncAction::copyFrom(const SyncAction &other)
{
    m_id = other.m_id;
    m_action = other.m_action;
    m_objectId = other.m_objectId;
    m_name = other.m_name;
    m_path = other.m_path;
    m_relPath = other.m_relPath;
    m_localBase = other.m_localBase;
    m_remoteSafeId = other.m_remoteSafeId;
    m_remoteSafeName = other.m_remoteSafeName;
    m_remoteSafeType = other.m_remoteSafeType;
    m_remoteBase = other.m_remoteBase;
    m_type = other.m_type;
    m_localMtime = other.m_localMtime;
    m_remoteMtime = other.m_remoteMtime;
    m_remoteAccess = other.m_remoteAccess;
    m_localSize = other.m_localSize;
    m_remoteSize = other.m_remoteSize;
    m_localChecksum = other.m_localChecksum;
    m_remoteChecksum = other.m_remoteChecksum;
    m_conflict = other.m_conflict;
    m_status = other.m_status;
    m_executed = other.m_executed;
    m_executing = other.m_executing;
    m_skipped = other.m_skipped;
    m_execTs = other.m_execTs;
    m_execErrorMsg = other.m_execErrorMsg;
    m_reasonCodes = other.m_reasonCodes;
    m_reasonArguments = other.m_reasonArguments;
    m_syncHistoryObjectId = other.m_syncHistoryObjectId;
    m_tempId = other.m_tempId;
    m_localDiskPath = other.m_localDiskPath;
}

void SyncAction::clear()
{
    m_id = 0;
    m_action = ActionUndefined;
    m_objectId.clear();
    m_name.clear();
    m_path.clear();
    m_relPath = QString();
    m_localBase.clear();
    m_remoteSafeId.clear();
    m_remoteSafeName.clear();
    m_remoteSafeType.clear();
    m_remoteBase.clear();
    m_type.clear();
    m_localMtime = QDateTime();
    m_remoteMtime = QDateTime();
    m_remoteAccess.clear();
    m_localSize = 0;
    m_remoteSize = 0;
    m_localChecksum.clear();
    m_remoteChecksum.clear();
    m_conflict = false;
    m_status = STATUS_OK;
    m_executed = false;
    m_executing = false;
    m_skipped = false;
    m_execTs = QDateTime();
    m_execErrorMsg.clear();
    m_reasonCodes = 0;
    m_reasonArguments.clear();
    m_syncHistoryObjectId = 0;
    m_tempId = s_nextTempId--;
    m_localDiskPath.clear();
}

int SyncAction::nextId()
{
    return s_nextId++;
}

int SyncAction::maxId()
{
    return s_nextId;
}

int SyncAction::instanceCount()
{
    return s_instanceCount;
}

bool SyncAction::operator<(const SyncAction &other) const
{
    const bool upload = isUpload(m_action);
    const bool otherUpload = isUpload(other.m_action);
    // Both upload types form one group, so the order stays a strict weak ordering.
    if (upload != otherUpload)
        return otherUpload;
    if (!upload && m_action != other.m_action)
        return m_action < other.m_action;
    if (m_action == DeleteLocalDir || m_action == DeleteRemoteDir)
        return other.relPath() < relPath();
    return relPath() < other.relPath();
}

void SyncAction::setSyncSetting(const SyncSetting &setting)
{
    m_localBase = setting.localDir();
    m_remoteSafeId = setting.safeId();
    m_remoteSafeType = setting.safeType();
    m_remoteSafeName = setting.safeName();
    m_remoteBase = setting.remoteDir();
}

QString SyncAction::name() const
{
    return m_relPath.isNull() ? m_name : m_relPath.mid(m_relPath.lastIndexOf(QLatin1Char('/')) + 1);
}

void SyncAction::setName(const QString &name)
{
    m_relPath = QString();
    m_name = name;
}

void SyncAction::setPath(const QString &path)
{
    if (!m_relPath.isNull()) {
        m_name = name();
        m_relPath = QString();
    }
    m_path = path;
}

void SyncAction::setRelPath(const QString &relPath, const QString &folder)
{
    m_relPath = relPath;
    m_path = folder;
    m_name = QString();
}

void SyncAction::renewTempId()
{
    m_tempId = s_nextTempId--;
}

void SyncAction::setFsObject(const FsObject &object)
{
    m_relPath = QString();
    m_name = object.fileName();
    m_path = object.dirPath();
    m_type = object.type();
}

FsObject SyncAction::toFsObject() const
{
    return FsObject(m_objectId, relPath(), m_localSize, m_localMtime, m_remoteMtime, m_remoteAccess, m_type,
                    m_localChecksum);
}

void SyncAction::calcLocalChecksum(const QString &checksum)
{
    m_localChecksum =
            checksum.isEmpty() ? FileUtil::calculateCheckSum(QStringLiteral("sha256"), localFilePath()) : checksum;
}

void SyncAction::calcLocalMtime(const QDateTime &mtime)
{
    if (mtime.isValid()) {
        m_localMtime = mtime;
        return;
    }
    const QFileInfo info(localFilePath());
    m_localMtime = info.exists() ? info.lastModified() : QDateTime();
}

void SyncAction::calcLocalSize(qint64 size)
{
    if (size >= 0) {
        m_localSize = size;
        return;
    }
    const QFileInfo info(localFilePath());
    m_localSize = info.exists() ? info.size() : 0;
}

void SyncAction::setExecuted(int status, const QString &message)
{
    m_executed = true;
    m_executing = false;
    m_execTs = QDateTime::currentDateTimeUtc(); // once per action: no zone look-up
    m_status = status;
    if (!message.isEmpty())
        m_execErrorMsg = message;
}

void SyncAction::addReason(const QString &text)
{
    // An empty text on an empty reason leaves it empty, so the next one starts it.
    if (text.isEmpty() && m_reasonCodes == 0)
        return;
    addReason(SyncReason::Text, text);
}

void SyncAction::addReason(SyncReason::Code code, const QString &argument)
{
    int used = 0;
    while (used < 8 && ((m_reasonCodes >> (8 * used)) & 0xff) != 0)
        ++used;
    if (used == 8) {
        // A chain this long is kept as one text.
        const QString text = reason() + QLatin1Char(',') + SyncReason::text(code, argument);
        m_reasonCodes = SyncReason::Text;
        m_reasonArguments = QStringList{text};
        return;
    }
    m_reasonCodes |= quint64(code) << (8 * used);
    if (SyncReason::takesArgument(code))
        m_reasonArguments.append(argument);
}

QString SyncAction::reason() const
{
    QString text;
    int argument = 0;
    for (int i = 0; i < 8; ++i) {
        const auto code = SyncReason::Code((m_reasonCodes >> (8 * i)) & 0xff);
        if (code == SyncReason::None)
            break;
        if (i > 0)
            text += QLatin1Char(',');
        text += SyncReason::text(code, SyncReason::takesArgument(code) ? m_reasonArguments.value(argument++) : QString());
    }
    return text;
}

bool SyncAction::isRemoteAction() const
{
    switch (m_action) {
    case CreateRemoteDir:
    case DownloadFile:
    case UploadFile:
    case UpdateRemoteFile:
    case DeleteRemoteFile:
    case DeleteRemoteDir:
    case BackupDownloadFile:
        return true;
    case ActionUndefined:
    case NoAction:
    case UpdateSyncState:
    case RemoveSyncState:
    case Resolve:
    case CreateLocalDir:
    case DeleteLocalFile:
    case DeleteLocalDir:
        return false;
    default:
        // An internal error worth a line, but no reason to end the program (critical lines may be
        // made fatal by the environment).
        qWarning("SyncAction::isRemoteAction: Unexpected ActionType: %s",
                 qUtf8Printable(actionTypeName(m_action, true)));
        return false;
    }
}

QString SyncAction::relPath() const
{
    if (!m_relPath.isNull())
        return m_relPath;
    return QDir::cleanPath(m_path.isEmpty() ? m_name : m_path + QLatin1Char('/') + m_name);
}

QString SyncAction::localFilePath() const
{
    if (!m_localDiskPath.isEmpty())
        return QDir::cleanPath(m_localBase + QLatin1Char('/') + m_localDiskPath);
    return QDir::cleanPath(QStringLiteral("%1/%2/%3").arg(m_localBase, m_path, name()));
}

QString SyncAction::localDirPath() const
{
    if (!m_localDiskPath.isEmpty()) {
        const int slash = m_localDiskPath.lastIndexOf(QLatin1Char('/'));
        return QDir::cleanPath(m_localBase + QLatin1Char('/') + (slash < 0 ? QString() : m_localDiskPath.left(slash)));
    }
    return QDir::cleanPath(m_localBase + QLatin1Char('/') + m_path);
}

QString SyncAction::remoteFilePath() const
{
    QString path = QDir::cleanPath(QStringLiteral("%1/%2/%3").arg(m_remoteBase, m_path, name()));
    if (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}

QString SyncAction::remoteDirPath() const
{
    QString path = QDir::cleanPath(m_remoteBase + QLatin1Char('/') + m_path);
    if (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}

QString SyncAction::displayPath() const
{
    const QString path = remoteFilePath();
    return path.isEmpty() ? m_remoteSafeName : m_remoteSafeName + QStringLiteral(": ") + path;
}

QString SyncAction::actionTypeName(int type, bool enumKey)
{
    if (enumKey)
        return enumKeyForm<ActionType>(type);
    switch (type) {
    case ActionUndefined:
        return tr("undefined");
    case NoAction:
    case UpdateSyncState:
    case RemoveSyncState:
        return tr("-");
    case Resolve:
        return tr("resolve");
    case CreateLocalDir:
        return tr("create local folder");
    case CreateRemoteDir:
        return tr("create remote folder");
    case DownloadFile:
        return tr("download");
    case UploadFile:
    case UpdateRemoteFile:
        return tr("upload");
    case DeleteLocalFile:
        return tr("delete local file");
    case DeleteRemoteFile:
        return tr("delete remote file");
    case DeleteLocalDir:
        return tr("delete local folder");
    case DeleteRemoteDir:
        return tr("delete remote folder");
    case BackupDownloadFile:
        return tr("backup then download");
    default:
        return tr("invalid [%1]").arg(type);
    }
}

QString SyncAction::statusName(int status, bool enumKey)
{
    if (enumKey)
        return enumKeyForm<ActionStatus>(status);
    switch (status) {
    case STATUS_UNDEFINED:
        return tr("Undefined");
    case STATUS_OK:
        return tr("Ok");
    case STATUS_TODO:
        return tr("To do");
    case STATUS_IN_PROGRESS:
        return tr("Syncing");
    case WARN_START:
        return tr("Warning");
    case WARN_SKIPPED:
    case WARN_EXCLUDED_BY_NAME:
    case WARN_FILE_NAME_TOO_LONG:
    case WARN_DIR_NAME_TOO_LONG:
        return tr("Skipped");
    case WARN_AUTO_RESOLVED:
        return tr("Resolved");
    case WARN_FILE_NO_REMOTE_CHECKSUM:
    case ERR_FILE_NO_LOCAL_CHECKSUM:
        return tr("Checksum error");
    case ERR_INTERNAL:
        return tr("Internal error");
    case ERR_OBJECT_TYPE_MISMATCH:
        return tr("Type mismatch");
    case ERR_FILE_BAD_NAME:
    case ERR_FOLDER_BAD_NAME:
        return tr("Invalid name");
    case ERR_FILE_NO_LAST_LOCAL_MTIME:
    case ERR_FILE_NO_LAST_REMOTE_MTIME:
    case ERR_FILE_NO_LOCAL_MTIME:
    case ERR_FILE_NO_REMOTE_MTIME:
        return tr("Attribute error");
    case ERR_FILE_ATTR_CONFLICT:
        return tr("Attribute conflict");
    case ERR_FILE_NAME_TOO_LONG:
    case ERR_DIR_NAME_TOO_LONG:
        return tr("Name too long");
    case ERR_OBJECT_NOT_IN_BASE:
        return tr("Settings Error");
    case ERR_DIR_CREATE:
    case ERR_DIR_DELETE:
    case ERR_DIR_ALREADY_EXISTS:
    case ERR_DIR_MISSING:
    case ERR_PARENT_DIR_MISSING:
    case ERR_REMOTE_DIR_CREATE:
    case ERR_REMOTE_DIR_DELETE:
    case ERR_FILE_UPLOAD:
    case ERR_FILE_UPDATE_REMOTE_FILE:
    case ERR_FILE_DOWNLOAD:
    case ERR_FILE_DELETE:
    case ERR_FILE_BACKUP:
    case ERR_FILE_ALREADY_EXISTS:
    case ERR_FILE_MISSING:
    case ERR_FILE_NOT_READABLE:
    case ERR_REMOTE_FILE_DELETE:
    case ERR_LOCAL_FILE_DELETE:
    case ERR_NO_MODULE:
    case ERR_DEST_NOT_FOUND:
        return tr("Failed");
    case ERR_QUOTA_EXCEEDED:
        return tr("Quota exceeded");
    case ERR_FILE_DOWNLOAD_DENIED:
    case ERR_FILE_UPLOAD_DENIED:
    case ERR_FILE_UPDATE_REMOTE_FILE_DENIED:
    case ERR_REMOTE_FILE_DELETE_DENIED:
    case ERR_REMOTE_DIR_CREATE_DENIED:
    case ERR_REMOTE_DIR_DELETE_DENIED:
        return tr("Not allowed");
    case ERR_NETWORK:
        return tr("Network error");
    default: // ERR_START, ERR_FILE_TOO_BIG, ERR_GET_FILESFE_OBJECTS, ERR_GENERIC and unknown values
        return tr("Error");
    }
}

QString SyncAction::statusText(int status)
{
    switch (status) {
    case STATUS_UNDEFINED:
        return tr("The syncronization status of this file or folder is undefined.");
    case STATUS_OK:
        return tr("Synchronization of this file or folder was successful.");
    case STATUS_TODO:
        return tr("This file or folder needs to be synchronized.");
    case STATUS_IN_PROGRESS:
        return tr("Synchronizing...");
    case WARN_SKIPPED:
        return tr("The file or folder will not be synchronized.");
    case WARN_EXCLUDED_BY_NAME:
        return tr("The file or folder will not be synchronized because its name contains a problematic "
                  "character.");
    case WARN_FILE_NAME_TOO_LONG:
        return tr("The file will not be synchronized because its name is too long. Maximum length is %1 "
                  "characters.")
                .arg(MaxNameLength);
    case WARN_DIR_NAME_TOO_LONG:
        return tr("The folder will not be synchronized because its name is too long. Maximum length is %1 "
                  "characters.")
                .arg(MaxNameLength);
    case WARN_AUTO_RESOLVED:
        return tr("Possible conflict detected. A backup-copy of your local file marked 'conflicted copy' has been "
                  "created and stored in the same folder. To resolve the conflict, please check the two files.");
    case WARN_FILE_NO_REMOTE_CHECKSUM:
        return tr("Failed to read the checksum of the remote file.");
    case ERR_INTERNAL:
        return tr("An internal error has occurred.");
    case ERR_OBJECT_TYPE_MISMATCH:
        return tr("A file cannot be synchronized with a folder.");
    case ERR_FILE_NO_LOCAL_CHECKSUM:
        return tr("Failed to calculate the checksum of the local file.");
    case ERR_FILE_BAD_NAME:
        return tr("The file name is invalid. It might contain illegal characters.");
    case ERR_FOLDER_BAD_NAME:
        return tr("The folder name is invalid. It might contain illegal characters.");
    case ERR_FILE_NO_LAST_LOCAL_MTIME:
        return tr("Failed to read the local file's last modification time.");
    case ERR_FILE_NO_LAST_REMOTE_MTIME:
        return tr("Failed to read the remote file's last modification time.");
    case ERR_FILE_NO_LOCAL_MTIME:
        return tr("Failed to get the local file's modification time.");
    case ERR_FILE_NO_REMOTE_MTIME:
        return tr("Failed to get the remote file's modification time.");
    case ERR_FILE_ATTR_CONFLICT:
        return tr("Conflict: Cannot decide how to synchronize this file.");
    case ERR_FILE_NAME_TOO_LONG:
        return tr("The file name is too long. Maximum length is %1 characters.").arg(MaxNameLength);
    case ERR_DIR_NAME_TOO_LONG:
        return tr("The folder name is too long. Maximum length is %1 characters.").arg(MaxNameLength);
    case ERR_OBJECT_NOT_IN_BASE:
        return tr("The file or folder is not in a sychronized folder. Please check the sync settings.");
    case ERR_FILE_TOO_BIG:
        return tr("File is too big to synchronize. Maximum size is %1 MB.").arg(MaxFileSizeMB);
    case ERR_DIR_CREATE:
        return tr("Failed to create the folder.");
    case ERR_DIR_DELETE:
        return tr("Failed to delete the folder.");
    case ERR_DIR_ALREADY_EXISTS:
        return tr("The folder already exists.");
    case ERR_DIR_MISSING:
        return tr("The folder is missing.");
    case ERR_PARENT_DIR_MISSING:
        return tr("The parent folder is missing.");
    case ERR_REMOTE_DIR_CREATE:
        return tr("Failed to create the remote folder.");
    case ERR_REMOTE_DIR_DELETE:
        return tr("Failed to delete the remote folder.");
    case ERR_FILE_UPLOAD:
        return tr("Failed to upload the file.");
    case ERR_FILE_UPDATE_REMOTE_FILE:
        return tr("Failed to update the file.");
    case ERR_FILE_DOWNLOAD:
        return tr("Failed to download the file.");
    case ERR_FILE_DELETE:
        return tr("Failed to delete the file.");
    case ERR_FILE_BACKUP:
        return tr("Failed to backup the file.");
    case ERR_FILE_ALREADY_EXISTS:
        return tr("The file already exists.");
    case ERR_FILE_MISSING:
        return tr("The file is missing.");
    case ERR_FILE_NOT_READABLE:
        return tr("Failed to read file.");
    case ERR_REMOTE_FILE_DELETE:
        return tr("Failed to delete the remote file.");
    case ERR_LOCAL_FILE_DELETE:
        return tr("Failed to delete the local file.");
    case ERR_QUOTA_EXCEEDED:
        return tr("This operation would exceed the available storage quota.");
    case ERR_NO_MODULE:
        return tr("The remote destination filesafe does not exist.");
    case ERR_DEST_NOT_FOUND:
        return tr("The remote destination folder does not exist.");
    case ERR_FILE_DOWNLOAD_DENIED:
        return tr("Download the file is not allowed.");
    case ERR_FILE_UPLOAD_DENIED:
        return tr("Upload the file is not allowed.");
    case ERR_FILE_UPDATE_REMOTE_FILE_DENIED:
        return tr("Update the file is not allowed.");
    case ERR_REMOTE_FILE_DELETE_DENIED:
        return tr("Delete the remote file is not allowed.");
    case ERR_REMOTE_DIR_CREATE_DENIED:
        return tr("Create the remote folder is not allowed.");
    case ERR_REMOTE_DIR_DELETE_DENIED:
        return tr("Delete the remote folder is not allowed.");
    case ERR_GET_FILESFE_OBJECTS:
        return tr("Failed to get file and folder list.");
    case ERR_NETWORK:
        return tr("An network error has occurred.");
    case ERR_GENERIC:
        return tr("An error has occurred.");
    default: // WARN_START, ERR_START and unknown values
        return tr("Unexpected error [code: %1]").arg(status);
    }
}

QString SyncAction::statusDetails(int status, const QString &message)
{
    const QString text = statusText(status);
    if (message.isEmpty() || message == text)
        return text;
    return QStringLiteral("%1<br />(%2)").arg(text, message);
}

QString SyncAction::statusHelpUrl(int status)
{
    switch (status) {
    case WARN_EXCLUDED_BY_NAME:
    case WARN_FILE_NAME_TOO_LONG:
    case WARN_DIR_NAME_TOO_LONG:
        return tr("${APP_BASE_URL}/en/faq/questions-about-sync-client/file-not-syncing");
    case ERR_QUOTA_EXCEEDED:
        return tr("${APP_BASE_URL}/en/faq/acct-mgmt/upgrade/");
    default:
        return QString();
    }
}

int SyncAction::countSuccessful(const QList<SyncAction> &actions)
{
    return int(std::count_if(actions.cbegin(), actions.cend(), [](const SyncAction &a) { return a.isSuccess(); }));
}

int SyncAction::countErrors(const QList<SyncAction> &actions)
{
    return int(std::count_if(actions.cbegin(), actions.cend(), [](const SyncAction &a) { return a.isError(); }));
}

int SyncAction::countErrors(const QList<SyncAction *> &actions)
{
    return int(std::count_if(actions.cbegin(), actions.cend(), [](const SyncAction *a) { return a->isError(); }));
}

int SyncAction::countWarnings(const QList<SyncAction> &actions)
{
    return int(std::count_if(actions.cbegin(), actions.cend(), [](const SyncAction &a) { return a.isWarning(); }));
}

int SyncAction::countWarnings(const QList<SyncAction *> &actions)
{
    return int(std::count_if(actions.cbegin(), actions.cend(), [](const SyncAction *a) { return a->isWarning(); }));
}

int SyncAction::countNotOk(const QList<SyncAction *> &actions)
{
    return int(std::count_if(actions.cbegin(), actions.cend(),
                             [](const SyncAction *a) { return a->m_status != STATUS_OK; }));
}

int SyncAction::countSkipped(const QList<SyncAction> &actions)
{
    return int(std::count_if(actions.cbegin(), actions.cend(), [](const SyncAction &a) { return a.m_skipped; }));
}

static bool isPending(const SyncAction &a)
{
    switch (a.action()) {
    case SyncAction::ActionUndefined:
    case SyncAction::NoAction:
    case SyncAction::UpdateSyncState:
    case SyncAction::RemoveSyncState:
    case SyncAction::Resolve:
        return false;
    default:
        return !a.conflict() && !a.executed() && !a.executing() && !a.skipped() && a.status() != SyncAction::STATUS_OK;
    }
}

int SyncAction::countPending(const QList<SyncAction> &actions)
{
    return int(std::count_if(actions.cbegin(), actions.cend(), [](const SyncAction &a) { return isPending(a); }));
}

int SyncAction::countPending(const QList<SyncAction *> &actions)
{
    return int(std::count_if(actions.cbegin(), actions.cend(), [](const SyncAction *a) { return isPending(*a); }));
}

int SyncAction::countResolve(const QList<SyncAction *> &actions)
{
    return int(std::count_if(actions.cbegin(), actions.cend(),
                             [](const SyncAction *a) { return a->m_action == Resolve; }));
}

int SyncAction::countType(const QList<SyncAction *> &actions, const QString &type)
{
    return int(std::count_if(actions.cbegin(), actions.cend(), [&](const SyncAction *a) { return a->m_type == type; }));
}

QString SyncAction::toString(const QString &separator) const
{
    QString out;
    const auto add = [&](const char *label, const QString &value) { out += QLatin1String(label) + value + separator; };
    add("id=", QString::number(m_id));
    add("action=", actionTypeName(m_action, true));
    add("name=", name());
    add("path=", m_path);
    add("local_base=", m_localBase);
    add("remote_safeid=", m_remoteSafeId);
    add("remote_safename=", m_remoteSafeName);
    add("remote_safetype=", m_remoteSafeType);
    add("remote_base=", m_remoteBase);
    add("type=", m_type);
    add("local_mtime='", m_localMtime.toString(Qt::ISODateWithMs) + QLatin1Char('\''));
    add("remote_mtime='", m_remoteMtime.toString(Qt::ISODateWithMs) + QLatin1Char('\''));
    add("local_size=", QString::number(m_localSize));
    add("remote_size=", QString::number(m_remoteSize));
    add("local_checksum=", m_localChecksum);
    add("remote_checksum=", m_remoteChecksum);
    add("remote_access=", m_remoteAccess);
    add("conflict=", yesNo(m_conflict));
    add("status=", statusName(m_status, true));
    add("executed=", yesNo(m_executed));
    add("executing=", yesNo(m_executing));
    add("exec_ts=", m_execTs.toString(Qt::ISODateWithMs));
    add("exec_status=", QString::number(m_status));
    add("exec_error_msg=", m_execErrorMsg);
    add("reason=", reason());
    return out;
}

// ---- local execution

namespace {

QByteArray logText(const QString &text)
{
    return StringUtil::escapeNonPrintable(text).toLocal8Bit();
}

// lstat of a path: 0 and the mode, or the errno.
int lstatMode(const QString &path, mode_t *mode, struct stat *out = nullptr)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno;
    *mode = st.st_mode;
    if (out)
        *out = st;
    return 0;
}

bool isReadableFolder(const QString &path)
{
    DIR *dir = ::opendir(QFile::encodeName(path).constData());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
}

} // namespace

bool SyncAction::isCleanRelPath(QStringView path)
{
    const QChar *c = path.data();
    const int n = int(path.size());
    int start = 0;
    for (int i = 0; i <= n; ++i) {
        if (i < n && c[i] != QLatin1Char('/'))
            continue;
        const int length = i - start;
        if (length == 0 ||
            (c[start] == QLatin1Char('.') && (length == 1 || (length == 2 && c[start + 1] == QLatin1Char('.')))))
            return false;
        start = i + 1;
    }
    return true;
}

bool SyncAction::crossesLink(const QString &base, const QString &path)
{
    const QString root = QDir::cleanPath(base);
    const QString target = QDir::cleanPath(path);
    const QString rootSlash = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (root.isEmpty() || !target.startsWith(rootSlash))
        return true;
    int pos = rootSlash.size();
    while (pos <= target.size()) {
        int next = target.indexOf(QLatin1Char('/'), pos);
        if (next < 0)
            next = target.size();
        mode_t mode = 0;
        const int err = lstatMode(target.left(next), &mode);
        if (err == ENOENT)
            return false; // nothing below a missing component can be a link
        if (err != 0 || S_ISLNK(mode))
            return true;
        pos = next + 1;
    }
    return false;
}

bool SyncAction::crossesLink() const
{
    return crossesLink(m_localBase, localFilePath());
}

namespace {
// Enough for any day's copies of one file; the search ends on a folder that holds more.
constexpr int kMaxConflictCopies = 1000;

// Drops whole code points from the end of `text` until `fits` holds or nothing is left.
bool shortenToFit(QString *text, const std::function<bool()> &fits)
{
    while (!fits()) {
        if (text->isEmpty())
            return false;
        text->chop(text->size() >= 2 && text->at(text->size() - 1).isLowSurrogate() &&
                                   text->at(text->size() - 2).isHighSurrogate()
                           ? 2
                           : 1);
    }
    return true;
}

// A name longer than the folder's limit is refused by every call (ENAMETOOLONG).
long nameLimit(const QString &folder)
{
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? limit : 255;
}
} // namespace

QString SyncAction::conflictCopyPath(const QString &filePath)
{
    const QFileInfo info(filePath);
    const QString folder = QDir::cleanPath(info.path()) + QLatin1Char('/');
    QString host = QHostInfo::localHostName();
    host.remove(QRegularExpression(QStringLiteral("\\..*")));
    if (!host.isEmpty())
        host += QStringLiteral("'s ");
    const QString date = QDate::currentDate().toString(QStringLiteral(" yyyy-MM-dd"));
    const QString name = info.fileName();
    const int dot = name.indexOf(QLatin1Char('.'));
    const QString suffix = dot < 0 ? QString() : name.mid(dot);
    const QString base = dot < 0 ? name : name.left(dot);
    // The tag stays whole (the copy must keep matching the exclusion of conflict copies). The last
    // extension, which tells what opens the file, gives way last: after one early dot it may hold
    // nearly the whole name.
    const int lastDot = suffix.lastIndexOf(QLatin1Char('.'));
    const QString extension = lastDot < 0 ? QString() : suffix.mid(lastDot);
    const QString middle = lastDot < 0 ? suffix : suffix.left(lastDot);
    const long limit = nameLimit(folder);

    QString number;
    for (int n = 1; n <= kMaxConflictCopies; ++n) {
        const QString tag = QStringLiteral("(%1conflicted copy%2%3)").arg(host, date, number);
        QString shortBase = base;
        QString shortMiddle = middle;
        QString shortExtension = extension;
        auto fits = [&]() {
            return QFile::encodeName(shortBase + tag + shortMiddle + shortExtension).size() <= limit;
        };
        if (!shortenToFit(&shortBase, fits) && !shortenToFit(&shortMiddle, fits) &&
            !shortenToFit(&shortExtension, fits))
            return QString();
        const QString candidate = folder + shortBase + tag + shortMiddle + shortExtension;
        mode_t taken = 0;
        const int err = lstatMode(candidate, &taken);
        if (err == ENOENT)
            return candidate;
        if (err != 0)
            return QString();
        number = QStringLiteral(" %1").arg(n);
    }
    return QString();
}

bool SyncAction::execBackupLocalFile()
{
    const QString filePath = localFilePath();
    const QFileInfo info(filePath);
    const QString folder = QDir::cleanPath(info.path()) + QLatin1Char('/');
    mode_t mode = 0;
    if (lstatMode(filePath, &mode) != 0) {
        setExecuted(ERR_FILE_MISSING, QStringLiteral("File to rename not found: '%1'").arg(filePath));
        qWarning("SyncAction::execBackupLocalFile: backup local file failed: '%s'/'%s' to '%s'",
                 logText(folder).constData(), logText(info.fileName()).constData(), "");
        return false;
    }

    const QString name = info.fileName();
    const QString candidate = conflictCopyPath(filePath);

    // The file and the copy share a folder: one link test covers both.
    if (candidate.isEmpty() || crossesLink(m_localBase, filePath) || !S_ISREG(mode) ||
        !QFile::rename(filePath, candidate)) {
        setExecuted(ERR_FILE_BACKUP, QStringLiteral("Failed to rename file: '%1'").arg(filePath));
        qWarning("SyncAction::execBackupLocalFile: backup local file failed: '%s'/'%s' to '%s'",
                 logText(folder).constData(), logText(name).constData(),
                 logText(QFileInfo(candidate).fileName()).constData());
        return false;
    }
    qDebug("SyncAction::execBackupLocalFile: backup local file ok: '%s'/'%s' to '%s'", logText(folder).constData(),
           logText(name).constData(), logText(QFileInfo(candidate).fileName()).constData());
    return true;
}

bool SyncAction::execCreateLocalDir()
{
    const QString parent = localDirPath();
    const QString target = localFilePath();
    auto fail = [&](int status, const QString &message) {
        setExecuted(status, message);
        qWarning("SyncAction::execCreateLocalDir: create local dir failed: '%s'/'%s'", logText(parent).constData(),
                 logText(name()).constData());
        return false;
    };
    if (!QFileInfo(parent).isDir())
        return fail(ERR_PARENT_DIR_MISSING, QStringLiteral("Missing parent folder: '%1'").arg(parent));
    mode_t mode = 0;
    if (lstatMode(target, &mode) != ENOENT)
        return fail(ERR_DIR_ALREADY_EXISTS, QStringLiteral("Folder already exists: '%1'").arg(target));
    if (crossesLink(m_localBase, target) || !QDir(parent).mkdir(QFileInfo(target).fileName()))
        return fail(ERR_DIR_CREATE, QStringLiteral("Unable to create folder: '%1'").arg(target));
    setExecuted(STATUS_OK, QString());
    qDebug("SyncAction::execCreateLocalDir: create local dir ok: '%s'/'%s'", logText(parent).constData(),
           logText(name()).constData());
    return true;
}

bool SyncAction::execDeleteLocalDir()
{
    static const QRegularExpression deletable = loadDeletablePatterns();
    const QString target = localFilePath();
    const QString parent = localDirPath();
    auto fail = [&](int status, const QString &message) {
        setExecuted(status, message);
        qWarning("SyncAction::execDeleteLocalDir: delete local dir failed: '%s'/'%s'", logText(parent).constData(),
                 logText(name()).constData());
        return false;
    };

    mode_t mode = 0;
    if (lstatMode(target, &mode) != 0 || !(S_ISDIR(mode) || S_ISLNK(mode)))
        return fail(ERR_DIR_MISSING, QStringLiteral("Missing folder: '%1'").arg(target));
    if (crossesLink(m_localBase, target))
        return fail(ERR_DIR_DELETE, QStringLiteral("Unable to delete local folder: '%1' (is a link)").arg(target));
    // An unlisted folder would look empty and go to the trash with whatever it holds.
    if (!isReadableFolder(target))
        return fail(ERR_DIR_DELETE, QStringLiteral("Unable to delete local folder: '%1' (not readable)").arg(target));

    const QFileInfoList entries = QDir(target).entryInfoList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        // A link inside is something the user made; it never goes as a by-product.
        if (entry.isSymLink() || !deletable.match(entry.fileName()).hasMatch())
            return fail(ERR_DIR_DELETE, QStringLiteral("Unable to delete local folder: '%1' (not empty: '%2')")
                                                .arg(target, entry.fileName()));
    }

    if (!MoveToTrashUtil::moveToTrash(target)) {
        return fail(ERR_DIR_DELETE,
                    entries.isEmpty()
                            ? QStringLiteral("Unable to delete local folder: '%1' (is empty)").arg(target)
                            : QStringLiteral("Unable to delete local folder: '%1' (contains %2 deletable objects)")
                                      .arg(target)
                                      .arg(entries.size()));
    }
    setExecuted(STATUS_OK, QString());
    qDebug("SyncAction::execDeleteLocalDir: delete local dir ok: '%s'/'%s'", logText(parent).constData(),
           logText(name()).constData());
    return true;
}

bool SyncAction::execDeleteLocalFile()
{
    const QString target = localFilePath();
    const QString parent = localDirPath();
    auto finish = [&](int status, const QString &message) {
        setExecuted(status, message);
        qWarning("SyncAction::execDeleteLocalFile: delete local file failed: '%s'/'%s'", logText(parent).constData(),
                 logText(name()).constData());
        return false;
    };

    mode_t mode = 0;
    struct stat st;
    if (lstatMode(target, &mode, &st) != 0)
        return finish(ERR_LOCAL_FILE_DELETE, QStringLiteral("Local file to delete not found: '%1'").arg(target));
    if (parent != QDir::cleanPath(m_localBase) && crossesLink(m_localBase, parent))
        return finish(ERR_LOCAL_FILE_DELETE, QStringLiteral("Unable to delete local file: '%1'").arg(target));
    // What was planned was this file as it was then; anything else is left for the next run.
    if (!S_ISREG(mode))
        return finish(WARN_SKIPPED, QStringLiteral("File to delete is not a file: '%1'").arg(target));
    const qint64 mtimeMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    if (qint64(st.st_size) != m_localSize || !m_localMtime.isValid() || mtimeMs != m_localMtime.toMSecsSinceEpoch()) {
        qWarning("SyncAction::execDeleteLocalFile: file changed since planning: '%s'", logText(target).constData());
        return finish(WARN_SKIPPED, QStringLiteral("Delete file skipped"));
    }

    if (!MoveToTrashUtil::moveToTrash(target)) {
        // Deleting for good what could not be trashed would make the trash a lie.
        qWarning("SyncAction::execDeleteLocalFile: Unable to trash local file: '%s'", logText(target).constData());
        return finish(ERR_LOCAL_FILE_DELETE, QStringLiteral("Unable to delete local file: '%1'").arg(target));
    }
    setExecuted(STATUS_OK, QString());
    qDebug("SyncAction::execDeleteLocalFile: delete local file ok: '%s'/'%s'", logText(parent).constData(),
           logText(name()).constData());
    return true;
}

QRegularExpression SyncAction::loadDeletablePatterns()
{
    QFile file(QStringLiteral(":/res/patterns/deletable.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning("SyncAction::loadDeletablePatterns: Failed to read deletable patterns: %s",
                 qUtf8Printable(file.errorString()));
        return QRegularExpression();
    }
    static const QRegularExpression ignored(QStringLiteral("^\\s*(|#.*)$"));
    QTextStream in(&file);
    in.setCodec("UTF-8");
    QStringList lines;
    int lineNo = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++lineNo;
        if (ignored.match(line).hasMatch())
            continue;
        if (!QRegularExpression(line).isValid()) {
            qWarning("SyncAction::loadDeletablePatterns: invalid pattern (line: %d): %s", lineNo,
                     logText(line).constData());
            continue;
        }
        lines.append(line);
    }
    const QRegularExpression combined(QStringLiteral("^(") + lines.join(QLatin1Char('|')) + QStringLiteral(")$"));
    if (!combined.isValid()) {
        qWarning("SyncAction::loadDeletablePatterns: invalid combined deletable pattern: %s",
                 logText(combined.pattern()).constData());
        return QRegularExpression();
    }
    qDebug("SyncAction::loadDeletablePatterns: deletable patterns found: %d", lines.size());
    return combined;
}
