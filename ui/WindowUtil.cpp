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

void WindowUtil::growToWrappedText()
{
    if (!m_window)
        return;
    const int needed = m_window->heightForWidth(m_window->width());
    if (needed > m_window->height())
        m_window->resize(m_window->width(), needed);
}
