#pragma once

#include <QList>
#include <QSize>
#include <QString>

class QWidget;

// Measures whether what a window shows fits where it is shown, as the toolkit itself sizes it: texts
// that are cut, controls squeezed below the size they need, widgets pushed out of their window, tables
// that must scroll sideways, and windows that widen themselves.
class FitCheck
{
public:
    struct Finding
    {
        QString widget;  // class and object name, with the text
        QString problem; // what was measured
    };

    // A widget that shortens its text on purpose tells what it draws in this property: its text, or
    // its text with the end, the start or the middle replaced by an ellipsis.
    static constexpr const char* kShownText = "elidedText";
    static constexpr QChar kEllipsis = QChar(0x2026);
    // A control a person can hit with the mouse is at least this wide and high.
    static constexpr int kTarget = 12;
    // The smallest desktop the client is used on: no window may need more.
    static constexpr QSize kScreen = QSize(1280, 800);

    // The window must be shown and laid out.
    QList<Finding> check(QWidget* window) const;
    // A window given a size keeps it: a view that needs more pushes it wider on a real desktop.
    static QList<Finding> checkSize(const QWidget* window, const QSize& asked);
};
