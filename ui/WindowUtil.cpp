#include "ui/WindowUtil.h"

#include <QWidget>

WindowUtil::WindowUtil(QWidget* window) : m_window(window) {}

void WindowUtil::activate()
{
    if (!m_window)
        return;
    m_window->activateWindow();
    m_window->raise();
}

void WindowUtil::showAndActivate()
{
    if (!m_window)
        return;
    m_window->show();
    activate();
}
