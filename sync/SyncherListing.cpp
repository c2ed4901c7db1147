#include "sync/Syncher.h"

#include "db/SyncSettingsDao.h"
#include "net/FilesafeRI.h"
#include "net/Request.h"
#include "sync/DeferredRelease.h"
#include "sync/SyncherDetail.h"

#include <QPointer>

#include <memory>
#include <utility>

using namespace SyncherDetail;

namespace {

// Listed objects taken in per turn: a few tens of milliseconds, so the event loop is served
// between turns and not only through the pump.
constexpr int kListingBatch = 5000;
int s_listingBatch = kListingBatch;

// A listed path as the service writes it: "/" and then non-empty elements that are neither "."
// nor "..", without NUL. Anything else could name a place outside the synchronised folder.
bool isCleanListedPath(const QString &path)
{
    return path.startsWith(QLatin1Char('/')) && !path.contains(QChar(0)) &&
           (path.size() == 1 || SyncAction::isCleanRelPath(QStringView(path).mid(1)));
}

} // namespace

void Syncher::setListingBatch(int objects)
{
    s_listingBatch = objects > 0 ? objects : kListingBatch;
}

void Syncher::getRemoteObjects()
{
    QPointer<Syncher> self(this);
    {
        ::Request::AbortScope scope(m_requestOwner);
        m_requestPending = true;
        m_filesafeRI->getObjects(
                m_setting.safeId(), m_setting.remoteDir(), 0, QStringLiteral("any"),
                [self](const Result<FilesafeObjectsTO_v2> &result) {
                    if (self)
                        self->on_analyzeStep2Finished(result);
                },
                true);
    }
    if (self.isNull())
        return;
    m_progress->activity = ProgressInfo::Activity_GetRemoteObjects_Started;
    m_progress->message = QStringLiteral("Get remote information...");
    emit syncProgress(true, *m_progress);
}

void Syncher::on_analyzeStep2Finished(const Result<FilesafeObjectsTO_v2> &result)
{
    m_requestPending = false;
    if (m_stop) {
        finishCanceled();
        return;
    }
    // The reply's document and the request go with the reply's handler: the analysis goes on from
    // the event loop with the decoded list alone (shared, not copied).
    m_listing = result;
    QPointer<Syncher> guard(this);
    step("listed", SyncAction());
    if (guard.isNull())
        return;
    QMetaObject::invokeMethod(this, &Syncher::analyzeListing, Qt::QueuedConnection);
}

void Syncher::analyzeListing()
{
    Result<FilesafeObjectsTO_v2> result = std::exchange(m_listing, Result<FilesafeObjectsTO_v2>());
    if (m_stop) {
        finishCanceled();
        return;
    }
    // The only reference to the list from here on: each object is freed once it is converted.
    QList<FilesafeObject> objects = result.payload().filesafeObjects;
    qDebug("Syncher::on_analyzeStep2Finished: %d objects", objects.size());
    ProgressInfo &p = *m_progress;
    p.nDone = p.nTotal = objects.size();
    p.nFiles = result.payload().countByType(QStringLiteral("f"));
    p.nDirs = result.payload().countByType(QStringLiteral("d"));
    if (result.isOk())
        result = Result<FilesafeObjectsTO_v2>();

    if (!result.isOk()) {
        if (!Request(false, ProgressInfo::Activity_GetRemoteObjects_Finished,
                     QStringLiteral("Received remote information")))
            return;
        qWarning("Syncher::on_analyzeStep2Finished: Failed to analyze this sync setting: %s",
                 escaped(result.message()).constData());
        const SyncAction action =
                makeSyncAction(SyncAction::NoAction, SyncAction::ERR_GET_FILESFE_OBJECTS, true, result.message());
        if (!Request(false, ProgressInfo::Activity_Error_Canceled, result.message(), &action))
            return;
        if (result.code() == EC_SERVICE_STATUS_10904)
            SyncSettingsDao::instance()->setRemoteState(m_setting.id(), SyncSetting::RemoteState(1));
        analysisFailed(result.message(), {action});
        return;
    }

    if (!Request(true, ProgressInfo::Activity_GetRemoteObjects_Finished, QStringLiteral("Received remote information")))
        return;
    SyncSettingsDao::instance()->setRemoteState(m_setting.id(), SyncSetting::RemoteState(0));
    p.nDone = p.nFiles = p.nDirs = p.nRemoteFiles = p.nRemoteDirs = 0;
    if (!Request(true, ProgressInfo::Activity_CollectStatusInfo_Started, QStringLiteral("Load remote status ...")))
        return;

    m_intake = std::exchange(objects, QList<FilesafeObject>());
    m_intakeState = std::make_unique<SyncState>(m_setting.remoteDir(), m_setting.id());
    m_intakeAccess.clear();
    takeListingBatch();
}

void Syncher::takeListingBatch()
{
    if (m_stop) {
        finishCanceled();
        return;
    }
    ProgressInfo &p = *m_progress;
    SyncState &remote = *m_intakeState;
    const QString base = cleanRemote(m_setting.remoteDir());
    const bool atRoot = base == QLatin1String("/");
    static const QString kFile = QStringLiteral("f");
    static const QString kDir = QStringLiteral("d");
    QString &access = m_intakeAccess;
    QList<FilesafeObject> &objects = m_intake;
    for (int taken = 0; !objects.isEmpty(); ++taken) {
        if (m_stop) {
            finishCanceled();
            return;
        }
        if (taken == s_listingBatch) {
            QPointer<Syncher> guard(this);
            step("intake", SyncAction());
            if (guard.isNull())
                return;
            QMetaObject::invokeMethod(this, &Syncher::takeListingBatch, Qt::QueuedConnection);
            return;
        }
        const FilesafeObject listed = objects.takeFirst();
        const bool clean = isCleanListedPath(listed.path);
        if (clean && base == cleanRemote(listed.path)) {
            if (listed.objectId != m_setting.rootFolderId()) {
                SyncSettingsDao::instance()->setRootFolderId(m_setting.id(), listed.objectId);
                m_setting.setRootFolderId(listed.objectId);
            }
            continue;
        }
        // Keys are NFC, like those of the local scan.
        const QString nfc = listed.path.normalized(QString::NormalizationForm_C);
        // Kinds and access letters repeat for every object: one copy of each.
        if (listed.access != access)
            access = listed.access;
        const QString &type = listed.type == kFile ? kFile : listed.type == kDir ? kDir : listed.type;
        FsObject object(listed.objectId, clean && atRoot ? nfc.mid(1) : nfc, listed.size, QDateTime(),
                        StringUtil::parseTimestampUtc(listed.mtime), access, type, listed.checksum);
        bool below = clean;
        if (below && !atRoot)
            below = object.makeRelativeTo(base);
        if (!below) {
            const QString message = QStringLiteral("Object path '%1' is not below base path '%2'")
                                            .arg(listed.path, m_setting.remoteDir());
            qWarning("Syncher:on_analyzeStep2Finished: %s", escaped(message).constData());
            const SyncAction action =
                    makeSyncAction(SyncAction::NoAction, SyncAction::ERR_OBJECT_NOT_IN_BASE, true, message, &object);
            DeferredRelease::instance()->release(std::exchange(m_intake, QList<FilesafeObject>()));
            DeferredRelease::instance()->release(*std::exchange(m_intakeState, nullptr));
            if (Request(false, ProgressInfo::Activity_Error_Canceled, message, &action))
                analysisFailed(message, {action});
            return;
        }
        remote.add(object);
        p.nDone = remote.count();
        const bool isFile = object.type() == QLatin1String("f");
        ++(isFile ? p.nFiles : p.nDirs);
        ++(isFile ? p.nRemoteFiles : p.nRemoteDirs);
        p.path = object.path();
        p.name = object.path().section(QLatin1Char('/'), -1);
        if (!Request(true, ProgressInfo::Activity_CollectStatusInfo_Progress, QStringLiteral("Load remote status ...")))
            return;
    }
    const std::unique_ptr<SyncState> owned = std::move(m_intakeState);
    m_intakeAccess.clear();
    remote.findCaseCollisions();

    bool ok = false;
    const SyncState last = loadLastStatus(&ok, &remote);
    if (!ok)
        return;
    const SyncState local = loadLocalStatus(&ok);
    if (!ok)
        return;
    m_remoteSideVanished = remote.count() == 0 && last.fileCount() > 0;
    collectStatusInfoFinished(local, last, remote);
}
