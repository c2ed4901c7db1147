#pragma once

#include "sync/ProgressInfo.h"
#include "sync/SyncSetting.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QList>
#include <QPixmap>

class MultiSyncher;
class QTimer;

namespace Ui {
class SettingsSyncSettingView;
}

// One synchronisation setting as a row of the folders list: space icon, safe and folder, and a
// status line with a warning, the phase of a running synchronisation or the last run.
class SettingsSyncSettingView : public QFrame
{
    Q_OBJECT

public:
    // expiryDate is the safe's expiry as stored; SyncSetting::isExpired decides, as the engine does.
    SettingsSyncSettingView(MultiSyncher* multiSyncher, bool localReadable, int remoteState,
                            const QString& expiryDate, const QString& access, QWidget* parent = nullptr);
    ~SettingsSyncSettingView() override;

    void setSettingId(int id);
    void setSpaceType(const QString& spaceType, bool autoSync);
    void setSafeName(const QString& safeName, const QString& remoteDir);
    void setLastSync(const QDateTime& lastSync);
    bool needsAttention() const;

    int settingId() const { return m_settingId; }
    bool isSyncing() const { return m_syncing; }

    // Phase texts arrive for every transferred block; they are shown at most this often.
    static constexpr int ProgressRepaintMs = 250;

public slots:
    void on_startSyncSafe(SyncSetting setting);
    void resetView();
    void on_syncProgress(bool ok, const ProgressInfo& pi);
    void animateSpaceIcon();

private:
    bool expired() const;
    void showIcon();
    void flushProgress();

    Ui::SettingsSyncSettingView* ui;
    MultiSyncher* m_multiSyncher;
    int m_settingId = 0;
    QString m_spaceType;
    bool m_autoSync = false;
    bool m_syncing = false;
    int m_frameCounter = 0;
    bool m_localReadable;
    int m_remoteState;
    QString m_expiryDate;
    QString m_access;
    QList<QPixmap> m_syncingFrames;
    QList<QMetaObject::Connection> m_runConnections;
    QString m_pendingText;
    QElapsedTimer m_lastPaint;
    QTimer* m_paintTimer;
};
