#pragma once

#include <QColor>

// The WCAG 2 relative luminance and contrast ratio of colours, as a reader perceives them.
class ColourContrast
{
public:
    static double luminance(const QColor &color);
    // From 1 (the same) to 21 (black on white), whichever of the two is lighter.
    static double ratio(const QColor &a, const QColor &b);
    // The colour between text and background, as near the background as can be while it keeps at
    // least the contrast target (or the text itself when the text has no more than that).
    static QColor towards(const QColor &text, const QColor &background, double target);
};
