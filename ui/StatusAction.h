#pragma once

#include "core/R7Application.h"

#include <QAction>
#include <QElapsedTimer>

class ProgressInfo;
class QTimer;

// The first entry of the tray menu: which safe is being synchronised and how far the run has got.
// It cannot be chosen, and disappears when the run ends, is cancelled or the user signs out.
class StatusAction : public QAction
{
    Q_OBJECT

public:
    explicit StatusAction(QObject* parent);

    // Per-file progress arrives many times a second; the text changes at most this often.
    static constexpr int ProgressRepaintMs = 250;

    // Applies a text held back by the throttle at once.
    void flush();

public slots:
    void on_appStateChanged(R7Application::AppState state);
    void on_syncProgress(bool ok, const ProgressInfo& pi);
    void hide();

private:
    QString m_pendingText;
    QElapsedTimer m_lastPaint;
    QTimer* m_timer;
};
