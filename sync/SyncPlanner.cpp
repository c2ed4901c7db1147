#include "sync/SyncPlanner.h"

#include "core/StringUtil.h"
#include "sync/FsObject.h"
#include "sync/ListPermutation.h"
#include "sync/LocalFileReader.h"
#include "sync/ProgressInfo.h"
#include "sync/SyncReason.h"
#include "sync/SyncState.h"
#include "sync/Syncher.h"
#include "sync/WholeSecondTime.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace {

const QString kBuildMessage = QStringLiteral("Build to do list ...");

// Length of the "^\w+:" algorithm prefix of a checksum text, colon included; 0 when it has none.
// The same test as FileUtil's drive prefix, without a regular expression: it runs for every file.
int prefixLength(const QString &checksum)
{
    int i = 0;
    while (i < checksum.size() && (checksum.at(i).isLetterOrNumber() || checksum.at(i) == QLatin1Char('_')))
        ++i;
    return i > 0 && i < checksum.size() && checksum.at(i) == QLatin1Char(':') ? i + 1 : 0;
}

QString algorithmOf(const QString &checksum)
{
    return checksum.left(prefixLength(checksum) - 1);
}

// A checksum text that names an algorithm and carries a digest.
bool hasValue(const QString &checksum)
{
    const int n = prefixLength(checksum);
    return n > 0 && n < checksum.size();
}

// A stored checksum counts only when it was made with the algorithm of the reference.
bool usableAgainst(const QString &checksum, const QString &reference)
{
    const int n = prefixLength(checksum);
    return n > 0 && n < checksum.size() && prefixLength(reference) == n &&
           QStringRef(&checksum, 0, n) == QStringRef(&reference, 0, n);
}

bool isRemoteDelete(int type)
{
    return type == SyncAction::DeleteRemoteFile || type == SyncAction::DeleteRemoteDir;
}

bool isDelete(int type)
{
    return type == SyncAction::DeleteLocalFile || type == SyncAction::DeleteLocalDir || isRemoteDelete(type);
}

bool isUpload(int type)
{
    return type == SyncAction::UploadFile || type == SyncAction::UpdateRemoteFile;
}

bool isKnownType(const QString &type)
{
    return type == QLatin1String("f") || type == QLatin1String("d");
}

// One expression for a whole pattern list, so that a name is matched once rather than once per
// pattern. Lists whose patterns would change meaning inside a larger expression (quoting to the
// end, back references) are kept as they are.
QList<QRegularExpression> combined(const QList<QRegularExpression> &patterns)
{
    static const QRegularExpression unsafe(QStringLiteral("\\\\[Q0-9gk]"));
    QStringList parts;
    for (const QRegularExpression &pattern : patterns) {
        if (pattern.patternOptions() != QRegularExpression::NoPatternOption || pattern.pattern().contains(unsafe))
            return patterns;
        parts << QStringLiteral("(?:%1)").arg(pattern.pattern());
    }
    QRegularExpression all(parts.join(QLatin1Char('|')));
    if (parts.isEmpty() || !all.isValid())
        return patterns;
    all.optimize();
    return {all};
}

// target = key's units [from, to), in target's own buffer when it has room: no allocation per path.
void assignPart(QString &target, const QString &key, int from, int to)
{
    target.resize(to - from);
    std::copy(key.constData() + from, key.constData() + to, target.data());
}

void set(SyncAction &action, int type, int status)
{
    action.setAction(type);
    action.setStatus(status);
}

} // namespace

// The three snapshots' objects of one path, where they are (a null object where one is missing).
struct SyncPlanner::Objects
{
    QString key;
    const FsObject *last = nullptr;
    const FsObject *local = nullptr;
    const FsObject *remote = nullptr;
    bool hasLast = false;
    bool hasLocal = false;
    bool hasRemote = false;
    // The silent list's verdict on the path, once asked: 0 kept, 1 excluded.
    int silent = -1;
};

struct SyncPlanner::Summary
{
    int total = 0, noAction = 0, undefined = 0, conflicts = 0, resolve = 0, statusUndefined = 0, skipped = 0,
        excluded = 0, tooLong = 0, warnings = 0, errors = 0;

    void add(const SyncAction &action)
    {
        ++total;
        noAction += action.action() == SyncAction::NoAction;
        undefined += action.action() == SyncAction::ActionUndefined;
        conflicts += action.conflict();
        resolve += action.action() == SyncAction::Resolve;
        statusUndefined += action.status() == SyncAction::STATUS_UNDEFINED;
        skipped += action.skipped();
        excluded += action.status() == SyncAction::WARN_EXCLUDED_BY_NAME;
        tooLong += action.status() == SyncAction::WARN_FILE_NAME_TOO_LONG ||
                   action.status() == SyncAction::WARN_DIR_NAME_TOO_LONG;
        warnings += action.isWarning();
        errors += action.isError();
    }
};

// The order of SyncAction::operator< over a plan, each action keyed once, in the order of the
// list. The relative paths' texts must outlive the sort. Most comparisons end in numbers: the
// rank of the action's type and sixteen units that follow the prefix all paths share, packed so
// that comparing the packs compares the units (missing units count as 0, a tie the full comparison
// settles). The actions are not copied: the permutation is applied by swapping list nodes.
class SyncPlanner::PlanOrder
{
public:
    explicit PlanOrder(int size) { m_keys.reserve(size_t(size)); }

    void add(int type, const QString &relPath)
    {
        const QChar *text = relPath.constData();
        const int size = relPath.size();
        if (m_keys.empty()) {
            m_first = text;
            m_shared = size;
        } else {
            const int most = qMin(m_shared, size);
            int i = 0;
            while (i < most && text[i] == m_first[i])
                ++i;
            m_shared = i;
        }
        // Uploads of both kinds form one group after all other types.
        Key key{isUpload(type) ? SyncAction::BackupDownloadFile + 1 : type,
                type == SyncAction::DeleteLocalDir || type == SyncAction::DeleteRemoteDir,
                {},
                text,
                size,
                int(m_keys.size()),
                m_shared};
        pack(key);
        m_keys.push_back(key);
    }

    void sort(QList<SyncAction> &actions)
    {
        // Packed while the shared prefix was still longer: again, from where it ends.
        for (Key &key : m_keys) {
            if (key.packedAt != m_shared) {
                key.packedAt = m_shared;
                pack(key);
            }
        }
        std::sort(m_keys.begin(), m_keys.end(), [](const Key &a, const Key &b) {
            if (a.rank != b.rank)
                return a.rank < b.rank;
            int c = 0;
            for (int w = 0; w < kWords && c == 0; ++w)
                c = a.words[w] == b.words[w] ? 0 : a.words[w] < b.words[w] ? -1 : 1;
            if (c == 0)
                c = QtPrivate::compareStrings(QStringView(a.text, a.size), QStringView(b.text, b.size));
            return a.descending ? c > 0 : c < 0;
        });
        std::vector<int> order(m_keys.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = m_keys[i].index;
        m_keys = std::vector<Key>();
        ListPermutation::apply(actions, order);
    }

private:
    static constexpr int kWords = 4;
    struct Key
    {
        int rank;
        bool descending;
        quint64 words[kWords];
        const QChar *text;
        int size;
        int index;
        int packedAt;
    };

    static void pack(Key &key)
    {
        const ushort *c = reinterpret_cast<const ushort *>(key.text);
        const int end = qMin(key.size, key.packedAt + 4 * kWords);
        for (quint64 &word : key.words)
            word = 0;
        for (int i = key.packedAt; i < end; ++i) {
            const int at = i - key.packedAt;
            key.words[at / 4] |= quint64(c[i]) << (16 * (3 - at % 4));
        }
    }

    std::vector<Key> m_keys;
    const QChar *m_first = nullptr;
    int m_shared = 0;
};

namespace {
constexpr size_t kPrefetchDistance = 8;

void prefetch(const Syncher::PathObjects &path)
{
    for (const FsObject *object : {path.last, path.local, path.remote})
        __builtin_prefetch(object);
}
} // namespace

SyncPlanner::SyncPlanner(const SyncSetting &setting)
    : m_setting(setting)
{}

void SyncPlanner::setSilentPatterns(const QList<QRegularExpression> &patterns)
{
    m_silentPatterns = patterns;
    m_silentPatternsSet = true;
}

bool SyncPlanner::silentlyExcluded(Objects &o) const
{
    // Asked twice for most paths: matched once.
    if (o.silent < 0)
        o.silent = Syncher::isNotExcluded(o.key, m_silent, &m_silentFolders) ? 0 : 1;
    return o.silent == 1;
}

bool SyncPlanner::request(int activity, const QString &message)
{
    return !m_request || m_request(true, activity, message, nullptr);
}

bool SyncPlanner::stopRequested() const
{
    return m_stopCheck && m_stopCheck();
}

QString SyncPlanner::localChecksum(const QString &relPath, const QString &algorithm)
{
    if (m_readStopped)
        return QString();
    if (m_checksumSource)
        return m_checksumSource(relPath, algorithm);
    // The file the scan saw, under its on-disk spelling, in chunks with the window served between.
    QString sum;
    const LocalFileReader::Answer answer = LocalFileReader::checksum(
            m_local->basePath(), m_local->localFilePath(relPath), algorithm,
            [this]() {
                return !stopRequested() && request(ProgressInfo::Activity_BuildSyncActions_Progress, kBuildMessage);
            },
            &sum);
    // A stop is no unreadable file: the plan ends before the empty text decides anything.
    m_readStopped = answer == LocalFileReader::Stopped;
    return sum;
}

QList<SyncAction> SyncPlanner::build(const SyncState &local, const SyncState &last, const SyncState &remote)
{
    m_local = &local;
    m_silent = combined(m_silentPatternsSet ? m_silentPatterns : Syncher::silentExcludePatterns());
    // A listing may hold names that differ only in case; the local scan finds its own.
    SyncState listing = remote;
    listing.findCaseCollisions();
    m_remote = &listing;

    std::vector<Syncher::PathObjects> paths = Syncher::collectPaths(last, local, remote);
    qDebug("Syncher::buildSyncActions: syncsetting[s%d]: # of paths: %d", int(remote.settingId()), int(paths.size()));

    m_pendingWrites.clear();
    m_localVanished = false;
    m_readStopped = false;
    bool localFileSeen = false;

    if (m_progress) {
        m_progress->nDone = 0;
        m_progress->nTotal = int(paths.size());
    }
    if (stopRequested() || !request(ProgressInfo::Activity_BuildSyncActions_Started, kBuildMessage))
        return {};

    QList<SyncAction> actions;
    actions.reserve(int(paths.size()));
    QSet<QString> folders;
    QString probe;
    // Counted and keyed for the order while each action is at hand.
    Summary summary;
    PlanOrder order(int(paths.size()));
    QStringList cleaned;
    // What every action starts from; each is made in its place in the list, as a copy of this.
    SyncAction blank;
    blank.setAction(SyncAction::ActionUndefined);
    blank.setStatus(SyncAction::STATUS_UNDEFINED);
    blank.setSyncSetting(m_setting);
    for (size_t next = 0; next < paths.size(); ++next) {
        const Syncher::PathObjects &path = paths[next];
        // The objects a few paths ahead are fetched while this one is decided: they lie anywhere in
        // the three hashes.
        if (next + kPrefetchDistance < paths.size())
            prefetch(paths[next + kPrefetchDistance]);
        const QString &key = *path.key;
        if (stopRequested())
            return {};
        const int slash = key.lastIndexOf(QLatin1Char('/'));
        if (m_progress)
            assignPart(m_progress->name, key, slash + 1, key.size());
        if (!request(ProgressInfo::Activity_BuildSyncActions_Progress, kBuildMessage))
            return {};
        if (m_progress)
            ++m_progress->nDone;

        Objects o;
        o.key = key;
        o.last = path.last;
        o.local = path.local;
        o.remote = path.remote;
        o.hasLast = o.last->isValid();
        o.hasLocal = o.local->isValid();
        o.hasRemote = o.remote->isValid();

        actions.append(blank);
        SyncAction &action = actions.last();
        action.setId(SyncAction::nextId());
        action.renewTempId();
        // One text per folder, shared by the actions of its members.
        QString folder;
        if (slash >= 0) {
            assignPart(probe, key, 0, slash);
            auto known = folders.constFind(probe);
            if (known == folders.constEnd())
                known = folders.insert(QString(probe.constData(), probe.size()));
            folder = *known;
        }
        if (SyncAction::isCleanRelPath(key))
            action.setRelPath(key, folder);
        else {
            action.setName(key.mid(slash + 1));
            action.setPath(folder);
        }
        if (o.hasLocal) {
            action.setLocalSize(o.local->size());
            action.setLocalChecksum(o.local->checksum());
            action.setLocalMtime(o.local->localMtime());
        } else {
            action.setLocalSize(-1);
        }
        if (o.hasRemote) {
            action.setRemoteSize(o.remote->size());
            action.setRemoteChecksum(o.remote->checksum());
            action.setRemoteAccess(o.remote->access());
            action.setRemoteMtime(o.remote->remoteMtime());
            action.setObjectId(o.remote->objectId());
        } else {
            action.setRemoteSize(-1);
        }

        decide(action, o);
        // The pump served inside a read may have ended the run and released what it owned.
        if (m_readStopped)
            return {};
        // Junk that a file manager leaves on an empty mount point does not count as content.
        if (!localFileSeen && o.hasLocal && o.local->isFile() && !silentlyExcluded(o))
            localFileSeen = true;

        if (action.action() == SyncAction::ActionUndefined) {
            action.addReason(SyncReason::ActionUndefined);
            set(action, SyncAction::NoAction, SyncAction::ERR_INTERNAL);
        }
        if (action.status() == SyncAction::STATUS_UNDEFINED) {
            action.addReason(SyncReason::StatusUndefined);
            set(action, SyncAction::NoAction, SyncAction::ERR_INTERNAL);
        }
        if (action.isError()) {
            qDebug("Syncher::buildSyncActions: sync action problem: '%s' object: '%s'/'%s' %s size(la/lo/re): "
                   "%lld/%lld/%lld local mtime(last/current): %s/%s remote mtime(last/current): %s/%s status: %s "
                   "reason:'%s'",
                   qUtf8Printable(action.actionTypeName()),
                   qUtf8Printable(StringUtil::escapeNonPrintable(action.path())),
                   qUtf8Printable(StringUtil::escapeNonPrintable(action.name())), qUtf8Printable(action.type()),
                   static_cast<long long>(o.hasLast ? o.last->size() : -1),
                   static_cast<long long>(o.hasLocal ? o.local->size() : -1),
                   static_cast<long long>(o.hasRemote ? o.remote->size() : -1),
                   qUtf8Printable(StringUtil::toUtcTimestamp(o.last->localMtime())),
                   qUtf8Printable(StringUtil::toUtcTimestamp(o.local->localMtime())),
                   qUtf8Printable(StringUtil::toUtcTimestamp(o.last->remoteMtime())),
                   qUtf8Printable(StringUtil::toUtcTimestamp(o.remote->remoteMtime())),
                   qUtf8Printable(action.statusName()),
                   qUtf8Printable(StringUtil::escapeNonPrintable(action.reason())));
        }
        summary.add(action);
        if (action.relPath().constData() == key.constData()) {
            order.add(action.action(), key);
        } else {
            cleaned.append(action.relPath());
            order.add(action.action(), cleaned.last());
        }
        if (action.action() == SyncAction::UpdateSyncState || action.action() == SyncAction::RemoveSyncState) {
            m_pendingWrites.append(actions.size() - 1);
            if (m_pendingWrites.size() >= StateBatchSize)
                flushStateWrites(actions);
        }
    }
    flushStateWrites(actions);
    m_silentFolders = QHash<QString, bool>();
    // Not needed for the order: its room is the sort's.
    std::vector<Syncher::PathObjects>().swap(paths);

    m_localVanished = !localFileSeen && last.fileCount() > 0;
    if (m_localVanished) {
        qWarning("Syncher::buildSyncActions: syncsetting[s%d]: the local folder holds no file while %d files were "
                 "synchronised: deletions need confirmation",
                 int(remote.settingId()), last.fileCount());
    }
    logSummary(summary);
    order.sort(actions);

    if (m_countActions)
        m_countActions(actions);
    if (stopRequested() ||
        !request(ProgressInfo::Activity_BuildSyncActions_Finished, QStringLiteral("To do list built.")))
        return {};
    return actions;
}

void SyncPlanner::flushStateWrites(QList<SyncAction> &actions)
{
    if (m_pendingWrites.isEmpty())
        return;
    if (m_stateWriter) {
        QList<SyncAction *> batch;
        batch.reserve(m_pendingWrites.size());
        for (int index : qAsConst(m_pendingWrites))
            batch.append(&actions[index]);
        m_stateWriter(batch);
    }
    m_pendingWrites.clear();
}

void SyncPlanner::decide(SyncAction &action, Objects &o)
{
    // Type agreement.
    QString kind;
    bool mismatch = false;
    for (const FsObject *object : {o.last, o.local, o.remote}) {
        if (object->isNull())
            continue;
        if (kind.isEmpty())
            kind = object->type();
        else if (object->type() != kind)
            mismatch = true;
    }
    if (mismatch) {
        qWarning("Syncher::buildSyncActions: Different object types for: %s",
                 qUtf8Printable(StringUtil::escapeNonPrintable(o.key)));
        action.addReason(SyncReason::Ta);
        set(action, SyncAction::NoAction, SyncAction::ERR_OBJECT_TYPE_MISMATCH);
        return;
    }
    if (!isKnownType(kind)) {
        // Only a listing can bring such an object; nothing may be done with it.
        qWarning("Syncher::buildSyncActions: Unsupported object type '%s' for: %s",
                 qUtf8Printable(StringUtil::escapeNonPrintable(kind)),
                 qUtf8Printable(StringUtil::escapeNonPrintable(o.key)));
        action.addReason(SyncReason::TaUnsupported, kind);
        set(action, SyncAction::NoAction, SyncAction::ERR_OBJECT_TYPE_MISMATCH);
        return;
    }
    action.setType(kind);

    // Silent exclusion.
    if (silentlyExcluded(o)) {
        action.addReason(SyncReason::X);
        set(action, SyncAction::NoAction, SyncAction::STATUS_OK);
        qDebug("Syncher::buildSyncActions: %s: '%s'", qUtf8Printable(StringUtil::escapeNonPrintable(o.key)),
               qUtf8Printable(action.reason()));
        return;
    }

    // Size rule, local side first; only one of the two reasons is ever added.
    if (o.hasLocal && o.local->isFile() && !Syncher::isSizeValid(&action, o.key, *o.local)) {
        action.addReason(SyncReason::SLocal, QString::number(o.local->size()));
        qDebug("Syncher::buildSyncActions: %s: '%s'", qUtf8Printable(StringUtil::escapeNonPrintable(o.key)),
               qUtf8Printable(action.reason()));
        return;
    }
    if (o.hasRemote && o.remote->isFile() && !Syncher::isSizeValid(&action, o.key, *o.remote)) {
        action.addReason(SyncReason::SRemote, QString::number(o.remote->size()));
        qDebug("Syncher::buildSyncActions: %s: '%s'", qUtf8Printable(StringUtil::escapeNonPrintable(o.key)),
               qUtf8Printable(action.reason()));
        return;
    }

    if (soundChecks(action, o))
        return;

    if (!o.hasLast || !o.hasLocal || !o.hasRemote) {
        decideMissing(action, o);
        if (isDelete(action.action()) && m_local->isBelowUnreadable(o.key))
            withholdLocalDeletion(action);
        return;
    }

    if (action.type() == QLatin1String("d")) {
        if (o.remote->objectId() != o.last->objectId()) {
            action.addReason(SyncReason::HfFolder);
            set(action, SyncAction::UpdateSyncState, SyncAction::STATUS_TODO);
        } else {
            action.addReason(SyncReason::O);
            set(action, SyncAction::NoAction, SyncAction::STATUS_OK);
        }
        return;
    }
    decideFile(action, o);
}

bool SyncPlanner::soundChecks(SyncAction &action, const Objects &o)
{
    if (m_local->isBelowLink(o.key)) {
        // A link is not ours to follow, replace or delete.
        action.addReason(SyncReason::Yl);
        set(action, SyncAction::NoAction, SyncAction::WARN_SKIPPED);
        action.setSkipped(true);
        qWarning("Syncher::buildSyncActions: symbolic link skipped: '%s'",
                 qUtf8Printable(StringUtil::escapeNonPrintable(o.key)));
        return true;
    }
    if (m_local->isCollision(o.key) || m_remote->isCollision(o.key)) {
        action.addReason(SyncReason::Yc);
        set(action, SyncAction::NoAction,
            action.type() == QLatin1String("d") ? SyncAction::ERR_FOLDER_BAD_NAME : SyncAction::ERR_FILE_BAD_NAME);
        qWarning("Syncher::buildSyncActions: name collision: '%s'",
                 qUtf8Printable(StringUtil::escapeNonPrintable(o.key)));
        return true;
    }
    return false;
}

void SyncPlanner::withholdLocalDeletion(SyncAction &action)
{
    action.addReason(SyncReason::Yu);
    set(action, SyncAction::NoAction, SyncAction::WARN_SKIPPED);
    action.setSkipped(true);
    qWarning("Syncher::buildSyncActions: deletion withheld below an unlisted folder: '%s'",
             qUtf8Printable(StringUtil::escapeNonPrintable(action.relPath())));
}

void SyncPlanner::decideMissing(SyncAction &action, Objects &o)
{
    const bool dir = action.type() == QLatin1String("d");
    if (!o.hasLast) {
        if (o.hasLocal && !o.hasRemote) {
            if (dir) {
                action.addReason(SyncReason::C);
                set(action, SyncAction::CreateRemoteDir, SyncAction::STATUS_TODO);
            } else {
                action.addReason(SyncReason::D);
                set(action, SyncAction::UploadFile, SyncAction::STATUS_TODO);
            }
        } else if (!o.hasLocal && o.hasRemote) {
            if (dir) {
                action.addReason(SyncReason::E);
                set(action, SyncAction::CreateLocalDir, SyncAction::STATUS_TODO);
            } else {
                action.addReason(SyncReason::F);
                set(action, SyncAction::DownloadFile, SyncAction::STATUS_TODO);
            }
        } else if (o.hasLocal && o.hasRemote) {
            if (dir) {
                action.addReason(SyncReason::G);
                set(action, SyncAction::UpdateSyncState, SyncAction::STATUS_TODO);
            } else {
                decideInitialFile(action, o);
            }
        }
        return;
    }
    if (!o.hasLocal && !o.hasRemote) {
        action.addReason(dir ? SyncReason::J : SyncReason::I);
        set(action, SyncAction::RemoveSyncState, SyncAction::STATUS_TODO);
    } else if (o.hasLocal) {
        if (dir) {
            action.addReason(SyncReason::K);
            set(action, SyncAction::DeleteLocalDir, SyncAction::STATUS_TODO);
        } else if (o.last->size() == o.local->size() &&
                   (o.last->localMtime() == o.local->localMtime() || unchangedBehindMark(o, *o.last, *o.local))) {
            // Behind a whole-second mark only the content tells an untouched file, which the
            // service's deletion then removes here too; anything else is uploaded again.
            action.addReason(SyncReason::La);
            set(action, SyncAction::DeleteLocalFile, SyncAction::STATUS_TODO);
        } else {
            action.addReason(SyncReason::Lb);
            set(action, SyncAction::UploadFile, SyncAction::STATUS_TODO);
        }
    } else {
        if (dir) {
            action.addReason(SyncReason::M);
            set(action, SyncAction::DeleteRemoteDir, SyncAction::STATUS_TODO);
        } else {
            // Whatever the service changed since: its trash keeps what goes.
            action.addReason(SyncReason::N);
            set(action, SyncAction::DeleteRemoteFile, SyncAction::STATUS_TODO);
        }
    }
}

void SyncPlanner::decideInitialFile(SyncAction &action, Objects &o)
{
    if (o.local->size() != o.remote->size()) {
        action.addReason(SyncReason::He);
        set(action, SyncAction::BackupDownloadFile, SyncAction::STATUS_TODO);
        return;
    }
    const QString remoteSum = o.remote->checksum();
    if (!hasValue(remoteSum)) {
        action.addReason(SyncReason::Ha);
        set(action, SyncAction::UpdateSyncState, SyncAction::STATUS_TODO);
        return;
    }
    QString localSum = o.local->checksum();
    if (!usableAgainst(localSum, remoteSum)) {
        localSum = localChecksum(o.key, algorithmOf(remoteSum));
        action.setLocalChecksum(localSum);
    }
    if (localSum.isEmpty()) {
        action.addReason(SyncReason::Hb);
        set(action, SyncAction::NoAction, SyncAction::ERR_FILE_NO_LOCAL_CHECKSUM);
    } else if (localSum == remoteSum) {
        action.addReason(SyncReason::Hc);
        set(action, SyncAction::UpdateSyncState, SyncAction::STATUS_TODO);
    } else {
        action.addReason(SyncReason::Hd);
        set(action, SyncAction::BackupDownloadFile, SyncAction::STATUS_TODO);
    }
}

// A whole-second time is stored a millisecond early, so that the file's next time reads as
// "updated" until its content was compared once. Where only the remote size changed, that
// comparison has to happen here: an unchanged file would otherwise count as edited on both sides.
bool SyncPlanner::unchangedBehindMark(const Objects &o, const FsObject &s, const FsObject &l)
{
    if (!WholeSecondTime::isMarkFor(s.localMtime(), l.localMtime()) || !hasValue(s.checksum()))
        return false;
    return localChecksum(o.key, algorithmOf(s.checksum())).compare(s.checksum(), Qt::CaseInsensitive) == 0;
}

void SyncPlanner::decideFile(SyncAction &action, Objects &o)
{
    action.addReason(SyncReason::Z);
    const FsObject &s = *o.last;
    const FsObject &r = *o.remote;
    const FsObject &l = *o.local;
    if (s.localMtime().isNull()) {
        action.addReason(SyncReason::Z1);
        set(action, SyncAction::NoAction, SyncAction::ERR_FILE_NO_LAST_LOCAL_MTIME);
        return;
    }
    if (l.localMtime().isNull()) {
        action.addReason(SyncReason::Z2);
        set(action, SyncAction::NoAction, SyncAction::ERR_FILE_NO_LOCAL_MTIME);
        return;
    }
    if (s.remoteMtime().isNull()) {
        action.addReason(SyncReason::Z3);
        set(action, SyncAction::NoAction, SyncAction::ERR_FILE_NO_LAST_REMOTE_MTIME);
        return;
    }
    if (r.remoteMtime().isNull()) {
        action.addReason(SyncReason::Z4);
        set(action, SyncAction::NoAction, SyncAction::ERR_FILE_NO_REMOTE_MTIME);
        return;
    }

    const bool a = s.size() == l.size();
    const bool b = r.size() == s.size();
    const bool le = s.localMtime() == l.localMtime();
    const bool lu = s.localMtime() < l.localMtime();
    const bool lb = l.localMtime() < s.localMtime();
    const bool re = s.remoteMtime() == r.remoteMtime();
    const bool ru = s.remoteMtime() < r.remoteMtime();
    const bool rb = r.remoteMtime() < s.remoteMtime();
    const QString remoteSum = r.checksum();
    // A stored checksum of another algorithm than the listing's says nothing about the content.
    const bool lastSumUsable = usableAgainst(s.checksum(), remoteSum);

    if (a && b && le && re && lastSumUsable && hasValue(remoteSum) &&
        s.checksum().compare(remoteSum, Qt::CaseInsensitive) != 0) {
        // Sizes and second-resolution times cannot see an edit of the same size within the same
        // second; the listed checksum can.
        action.addReason(SyncReason::D6);
        set(action, SyncAction::DownloadFile, SyncAction::STATUS_TODO);
        return;
    }
    if (a && b && le && re) {
        if (!lastSumUsable && hasValue(remoteSum)) {
            action.setLocalChecksum(remoteSum);
            action.addReason(SyncReason::N1);
            set(action, SyncAction::UpdateSyncState, SyncAction::STATUS_TODO);
            return;
        }
        if (r.objectId() != s.objectId()) {
            action.setLocalChecksum(remoteSum);
            action.addReason(SyncReason::HfFile);
            set(action, SyncAction::UpdateSyncState, SyncAction::STATUS_TODO);
        } else {
            action.addReason(SyncReason::N1);
            set(action, SyncAction::NoAction, SyncAction::STATUS_OK);
            return;
        }
    } else if (!a && b && re) {
        if (lastSumUsable && hasValue(remoteSum) && s.checksum().compare(remoteSum, Qt::CaseInsensitive) != 0) {
            // The remote side changed too, within the same second and to the same size: uploading
            // would replace a version nobody saw here.
            action.addReason(SyncReason::B8);
            set(action, SyncAction::BackupDownloadFile, SyncAction::STATUS_TODO);
            return;
        }
        if (lu)
            action.addReason(SyncReason::U1);
        else if (lb)
            action.addReason(SyncReason::U2);
        else
            action.addReason(SyncReason::U3);
        set(action, SyncAction::UpdateRemoteFile, SyncAction::STATUS_TODO);
        return;
    } else if (a && !b && (le || unchangedBehindMark(o, s, l))) {
        if (ru)
            action.addReason(SyncReason::D1);
        else if (rb)
            action.addReason(SyncReason::D2);
        else
            action.addReason(SyncReason::D3);
        set(action, SyncAction::DownloadFile, SyncAction::STATUS_TODO);
        return;
    }

    if (a == b) {
        if (!hasValue(remoteSum)) {
            action.addReason(SyncReason::Z5);
            set(action, SyncAction::NoAction, SyncAction::WARN_FILE_NO_REMOTE_CHECKSUM);
            return;
        }
        const QString computed = localChecksum(o.key, algorithmOf(remoteSum));
        if (computed.isEmpty()) {
            action.addReason(SyncReason::Z6);
            set(action, SyncAction::NoAction, SyncAction::ERR_FILE_NO_LOCAL_CHECKSUM);
            return;
        }

        if (!a) {
            if (computed == remoteSum) {
                action.addReason(SyncReason::N2);
                set(action, SyncAction::UpdateSyncState, SyncAction::STATUS_TODO);
            } else {
                action.addReason(SyncReason::B1);
                set(action, SyncAction::BackupDownloadFile, SyncAction::STATUS_TODO);
            }
            return;
        }

        if (computed == remoteSum) {
            action.setLocalChecksum(remoteSum);
            action.addReason(SyncReason::N3);
            set(action, SyncAction::UpdateSyncState, SyncAction::STATUS_TODO);
            return;
        }
        if (lastSumUsable) {
            const bool localSame = computed == s.checksum();
            const bool remoteSame = remoteSum == s.checksum();
            if (localSame && !remoteSame) {
                action.addReason(SyncReason::D4);
                set(action, SyncAction::DownloadFile, SyncAction::STATUS_TODO);
                return;
            }
            if (!localSame && remoteSame) {
                action.addReason(SyncReason::U4);
                set(action, SyncAction::UpdateRemoteFile, SyncAction::STATUS_TODO);
                return;
            }
            if (!localSame && !remoteSame) {
                action.addReason(SyncReason::B2);
                set(action, SyncAction::BackupDownloadFile, SyncAction::STATUS_TODO);
                return;
            }
        }
        if (lu && re) {
            action.addReason(SyncReason::U5);
            set(action, SyncAction::UpdateRemoteFile, SyncAction::STATUS_TODO);
            return;
        }
        if (le && ru) {
            action.addReason(SyncReason::D5);
            set(action, SyncAction::DownloadFile, SyncAction::STATUS_TODO);
            return;
        }
        SyncReason::Code conflict = SyncReason::None;
        if (lu && ru)
            conflict = SyncReason::B3;
        else if (lu && rb)
            conflict = SyncReason::B4;
        else if (lb && ru)
            conflict = SyncReason::B5;
        else if (lb && rb)
            conflict = SyncReason::B6;
        if (conflict != SyncReason::None) {
            action.addReason(conflict);
            set(action, SyncAction::BackupDownloadFile, SyncAction::STATUS_TODO);
            return;
        }
    }

    if (lu && ru) {
        action.addReason(SyncReason::B7);
        set(action, SyncAction::BackupDownloadFile, SyncAction::STATUS_TODO);
        return;
    }
    QStringList flags;
    if (!a)
        flags << QStringLiteral("local size changed");
    if (!b)
        flags << QStringLiteral("remote size changed");
    if (le)
        flags << QStringLiteral("local mtime unchanged");
    if (lu)
        flags << QStringLiteral("local mtime updated");
    if (lb)
        flags << QStringLiteral("local mtime backdated");
    if (re)
        flags << QStringLiteral("remote mtime unchanged");
    if (ru)
        flags << QStringLiteral("remote mtime updated");
    if (rb)
        flags << QStringLiteral("remote mtime backdated");
    action.addReason(SyncReason::Z9, flags.join(QStringLiteral(", ")));
    set(action, SyncAction::NoAction, SyncAction::ERR_FILE_ATTR_CONFLICT);
}

void SyncPlanner::logSummary(const Summary &s) const
{
    qDebug("Syncher::buildSyncActions: actions total:%d noaction:%d act_undef:%d conflicts:%d to_resolve:%d "
           "st_undef:%d st_skipped:%d st_excluded:%d st_nametoolong:%d st_warn:%d st_error:%d",
           s.total, s.noAction, s.undefined, s.conflicts, s.resolve, s.statusUndefined, s.skipped, s.excluded,
           s.tooLong, s.warnings, s.errors);
    if (s.undefined > 0)
        qWarning("Syncher::buildSyncActions: Unable to find a sync action for some objects (%d)", s.undefined);
}

void SyncPlanner::sortPlan(QList<SyncAction> &actions)
{
    QStringList paths;
    paths.reserve(actions.size());
    PlanOrder order(actions.size());
    for (const SyncAction &action : qAsConst(actions)) {
        paths.append(action.relPath());
        order.add(action.action(), paths.last());
    }
    order.sort(actions);
}
