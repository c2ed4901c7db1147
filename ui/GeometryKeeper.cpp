#include "ui/GeometryKeeper.h"

#include <QEvent>
#include <QSettings>
#include <QWidget>

GeometryKeeper::GeometryKeeper(QWidget* window, const QString& settingsKey)
    : QObject(window), m_window(window), m_key(settingsKey)
{
    m_window->restoreGeometry(QSettings().value(m_key).toByteArray());
    m_window->installEventFilter(this);
}

void GeometryKeeper::store()
{
    QSettings().setValue(m_key, m_window->saveGeometry());
}

bool GeometryKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Close))
        store();
    return false;
}
