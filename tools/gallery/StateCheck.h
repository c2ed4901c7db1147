#pragma once

#include "ContrastCheck.h"

#include <QList>

class QImage;
class QRect;
class QWidget;

// Measures whether a person can tell a control's state in a rendered window: icons and check marks
// stand out from what is behind them, and a disabled push button looks weaker than the same button
// enabled, not merely different.
class StateCheck
{
public:
    using Finding = ContrastCheck::Finding;

    // The window must be shown and laid out. Icons, check boxes and buttons change for a moment and
    // are put back, without signals.
    QList<Finding> check(QWidget* window) const;

    // Graphics that carry meaning, as WCAG asks of them.
    static constexpr double kGraphic = 3.0;
    // The enabled and the disabled look of a button lie at least this far apart in face or text.
    static constexpr double kLookStep = 1.5;
    // Larger pictures (the logos) are artwork, not signs.
    static constexpr int kIconSize = 64;

private:
    static QList<Finding> icons(QWidget* window, const QImage& shot);
    static QList<Finding> checkMarks(QWidget* window);
    static QList<Finding> buttons(QWidget* window);
    // The contrast of what one picture draws over the other in region, each pixel against the one it
    // covers. 1 when nothing differs: the mark cannot be seen.
    static double markContrast(const QImage& with, const QImage& without, const QRect& region);
};
