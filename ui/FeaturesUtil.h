#pragma once

#include <QElapsedTimer>
#include <QObject>

class QMouseEvent;

// Counts a series of mouse presses with the given modifiers; the series must reach its length
// within the interval of its first counted press.
class FeaturesUtil : public QObject
{
    Q_OBJECT

public:
    FeaturesUtil(int clicks, int maxIntervalMs, Qt::KeyboardModifiers modifiers, QObject* parent);

    void onMousePress(QMouseEvent* event);

signals:
    void triggered();

private:
    int m_clicks;
    int m_maxIntervalMs;
    Qt::KeyboardModifiers m_modifiers;
    int m_count = 0;
    QElapsedTimer m_timer;
};
