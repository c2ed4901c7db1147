#pragma once

class QWidget;

// Brings a window to the front.
class WindowUtil
{
public:
    explicit WindowUtil(QWidget* window);

    void activate();
    void showAndActivate();

private:
    QWidget* m_window;
};
