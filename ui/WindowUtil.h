#pragma once

class QWidget;

// Brings a window to the front.
class WindowUtil
{
public:
    explicit WindowUtil(QWidget* window);

    void activate();
    void showAndActivate();
    // A window whose text wraps grows to the height the text needs at its width: the toolkit keeps a
    // window's form height even where a larger font or a longer language needs more.
    void growToWrappedText();

private:
    QWidget* m_window;
};
