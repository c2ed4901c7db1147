#pragma once

#include "core/R7Application.h"

#include <QElapsedTimer>
#include <QFrame>

class FeaturesUtil;
class ProgressInfo;
class QTimer;

namespace Ui {
class StatusBarView;
}

// The main window's status bar: product and version, user and server in the debug modes, the
// progress of a running synchronisation, and the time of the last finished one. Five Alt+clicks
// within two seconds open the debug settings.
class StatusBarView : public QFrame
{
    Q_OBJECT

public:
    explicit StatusBarView(QWidget* parent = nullptr);
    ~StatusBarView() override;

    void setStatusText(const QString& text);
    void setFileSafe(const QString& name, const QString& spaceType);
    void clearFileSafe();

    // Transfer progress arrives for every few kilobytes; the line is redrawn at most this often.
    static constexpr int ProgressRepaintMs = 250;

    // "(5/5; 33%)" and friends; empty for the idle state.
    static QString phaseText(int activity, int executed, int total, const QString& previous);
    static QString detailText(const ProgressInfo& pi);

    void on_syncProgress(bool ok, const ProgressInfo& pi);
    void on_syncCanceled();
    // The coordinator ended the run: its history row is closed by now.
    void on_syncFinished();
    void on_appStateChanged(R7Application::AppState state);
    void on_appModeChanged(R7Application::AppMode mode);

signals:
    void on_hiddenFeatureTriggered();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void showLastSync(const QString& prefix);
    void flushProgress();

    Ui::StatusBarView* ui;
    FeaturesUtil* m_featuresUtil;
    QString m_phaseText;
    QString m_detailText;
    QString m_pendingStatus;
    QElapsedTimer m_lastProgressPaint;
    QTimer* m_progressTimer;
    bool m_signedOut = false;
    int m_lastActivity = -1;
};
