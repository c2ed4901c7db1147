#include "core/ColourContrast.h"

#include <algorithm>
#include <cmath>

namespace {

double linear(int value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

int mix(int from, int to, double share)
{
    return int(std::lround(from + (to - from) * share));
}

} // namespace

double ColourContrast::luminance(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.red()) + 0.7152 * linear(rgb.green()) + 0.0722 * linear(rgb.blue());
}

double ColourContrast::ratio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ColourContrast::towards(const QColor &text, const QColor &background, double target)
{
    const QColor from = text.toRgb();
    const QColor to = background.toRgb();
    QColor best = from;
    // Contrast falls steadily on the way to the background: the last step that keeps the target wins.
    for (int step = 1; step <= 100; ++step) {
        const double share = step / 100.0;
        const QColor candidate(mix(from.red(), to.red(), share), mix(from.green(), to.green(), share),
                               mix(from.blue(), to.blue(), share));
        if (ratio(candidate, to) < target)
            break;
        best = candidate;
    }
    return best;
}
