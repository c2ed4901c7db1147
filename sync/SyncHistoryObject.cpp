#include "sync/SyncHistoryObject.h"

#include "sync/SyncAction.h"

#include <QLocale>

SyncHistoryObject::SyncHistoryObject(qint64 id, qint64 syncHistoryId, const QString &localDir, const QString &remoteDir,
                                     const QString &type, int state, int action, const QDateTime &timestamp)
    : m_id(id)
    , m_syncHistoryId(syncHistoryId)
    , m_localDir(localDir)
    , m_remoteDir(remoteDir)
    , m_type(type)
    , m_state(state)
    , m_action(action)
    , m_timestamp(timestamp)
{}

QString SyncHistoryObject::description() const
{
    QString sign;
    bool local = false;
    if (m_type == QLatin1String("d")) {
        switch (m_action) {
        case SyncAction::CreateLocalDir:
            sign = QStringLiteral("+");
            local = true;
            break;
        case SyncAction::CreateRemoteDir:
            sign = QStringLiteral("+");
            break;
        case SyncAction::DeleteLocalDir:
            sign = QStringLiteral("-");
            local = true;
            break;
        case SyncAction::DeleteRemoteDir:
            sign = QStringLiteral("-");
            break;
        default:
            return QString();
        }
    } else if (m_type == QLatin1String("f")) {
        switch (m_action) {
        case SyncAction::DownloadFile:
            sign = QStringLiteral("+");
            local = true;
            break;
        case SyncAction::UploadFile:
        case SyncAction::UpdateRemoteFile:
            sign = QStringLiteral("+");
            break;
        case SyncAction::DeleteLocalFile:
            sign = QStringLiteral("-");
            local = true;
            break;
        case SyncAction::DeleteRemoteFile:
            sign = QStringLiteral("-");
            break;
        default:
            return QString();
        }
    } else {
        return QString();
    }
    return sign + QStringLiteral(" (") + QLocale::system().toString(m_timestamp, QLocale::ShortFormat) +
           QStringLiteral(") ") + (local ? m_localDir : m_remoteDir);
}
