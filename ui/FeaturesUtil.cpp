#include "ui/FeaturesUtil.h"

#include <QMouseEvent>

FeaturesUtil::FeaturesUtil(int clicks, int maxIntervalMs, Qt::KeyboardModifiers modifiers, QObject* parent)
    : QObject(parent), m_clicks(clicks), m_maxIntervalMs(maxIntervalMs), m_modifiers(modifiers)
{
    m_timer.start();
}

void FeaturesUtil::onMousePress(QMouseEvent* event)
{
    if (m_modifiers != Qt::NoModifier && event->modifiers() != m_modifiers) {
        m_count = 0;
        m_timer.restart();
        return;
    }
    if (m_timer.elapsed() > m_maxIntervalMs) {
        m_count = 0;
        m_timer.restart();
    }
    if (++m_count >= m_clicks) {
        m_count = 0;
        m_timer.restart();
        emit triggered();
    }
}
