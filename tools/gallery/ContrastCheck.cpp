#include "ContrastCheck.h"

#include "core/ColourContrast.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QWidget>

#include <cmath>

namespace {

double distance(const QColor& a, const QColor& b)
{
    const int r = a.red() - b.red();
    const int g = a.green() - b.green();
    const int bl = a.blue() - b.blue();
    return std::sqrt(double(r * r + g * g + bl * bl));
}

// The part of the widget where its text is drawn, in the widget's own coordinates.
QRect textRect(QWidget* widget)
{
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    }
    if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        return radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, radio);
    }
    // Inside a button's or a field's outline, which the edge check measures on its own.
    if (auto* push = qobject_cast<QPushButton*>(widget))
        return ContrastCheck::faceRect(push).adjusted(3, 3, -3, -3);
    if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget))
        return widget->rect().adjusted(3, 3, -3, -3);
    if (qobject_cast<QComboBox*>(widget))
        return widget->rect().adjusted(3, 3, -26, -3);
    return widget->contentsRect();
}

// The text a person reads in the widget; empty when it shows none.
QString shownText(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->echoMode() == QLineEdit::Normal || edit->text().isEmpty() ? edit->text() : QStringLiteral("***");
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->currentText();
    return QString();
}

// Pixel colours in region, leaving out those inside hole.
QHash<QRgb, int> histogram(const QImage& shot, const QRect& region, const QRect& hole = QRect())
{
    QHash<QRgb, int> counts;
    const QRect area = region.intersected(shot.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (!hole.contains(x, y))
                ++counts[shot.pixel(x, y) | 0xff000000u];
    return counts;
}

QColor dominantOf(const QHash<QRgb, int>& counts)
{
    QRgb best = 0;
    int bestCount = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return bestCount < 0 ? QColor() : QColor(best);
}

} // namespace

ContrastCheck::ContrastCheck(const QColor& disabledButtonFace) : m_disabledFace(disabledButtonFace) {}

QString ContrastCheck::describe(const QWidget* widget, const QString& text)
{
    QString shown = text.simplified();
    if (shown.size() > 40)
        shown = shown.left(37) + QStringLiteral("...");
    return QStringLiteral("%1#%2 \"%3\"")
            .arg(QString::fromLatin1(widget->metaObject()->className()), widget->objectName(), shown);
}

QString ContrastCheck::ratioText(double measured, double limit)
{
    return QStringLiteral("%1:1 (at least %2:1)").arg(measured, 0, 'f', 2).arg(limit, 0, 'f', 1);
}

QRect ContrastCheck::regionIn(QWidget* window, QWidget* widget, const QRect& local)
{
    const QRect visible = local.intersected(widget->visibleRegion().boundingRect());
    return QRect(widget->mapTo(window, visible.topLeft()) * kScale, visible.size() * kScale);
}

QRect ContrastCheck::faceRect(QPushButton* push)
{
    QStyleOptionButton option;
    option.initFrom(push);
    return push->style()->subElementRect(QStyle::SE_PushButtonBevel, &option, push);
}

bool ContrastCheck::inSight(QWidget* window, QWidget* widget)
{
    // A widget scrolled out of its scroll area shows nothing to measure.
    if (!widget->isVisible() || !widget->isVisibleTo(window) || widget->visibleRegion().isEmpty())
        return false;
    // Under an overlay (the locked password page) a widget is not seen at all.
    const QPoint centre = widget->mapTo(window, widget->rect().center());
    QWidget* onTop = window->childAt(centre);
    return !onTop || onTop == widget || widget->isAncestorOf(onTop) || onTop->isAncestorOf(widget);
}

double ContrastCheck::edgeContrast(const QImage& shot, const QRect& box, const QRect& ignore)
{
    // The colours of the widget's outer band, each against the colour just around the widget.
    const QColor surrounding = dominantOf(histogram(shot, box.adjusted(-4, -4, 4, 4), box));
    if (!surrounding.isValid())
        return 21.0;
    QHash<QRgb, int> band = histogram(shot, box, box.adjusted(6, 6, -6, -6));
    const QRect skipped = ignore.intersected(box).intersected(shot.rect());
    for (int y = skipped.top(); y <= skipped.bottom(); ++y)
        for (int x = skipped.left(); x <= skipped.right(); ++x)
            if (!box.adjusted(6, 6, -6, -6).contains(x, y))
                --band[shot.pixel(x, y) | 0xff000000u];
    double edge = 1.0;
    for (auto it = band.cbegin(); it != band.cend(); ++it)
        if (it.value() >= 3)
            edge = std::max(edge, ColourContrast::ratio(QColor(it.key()), surrounding));
    return edge;
}

QImage ContrastCheck::render(QWidget* window)
{
    // Drawn at twice the size, a glyph's stems cover whole pixels, as they do on a sharp screen.
    QImage image(window->size() * kScale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kScale);
    image.fill(Qt::transparent);
    window->render(&image);
    image.setDevicePixelRatio(1);
    return image;
}

QColor ContrastCheck::dominant(const QImage& shot, const QRect& region)
{
    return dominantOf(histogram(shot, region));
}

ContrastCheck::Colours ContrastCheck::measure(const QImage& shot, const QRect& region, const QColor& expected,
                                              const QRect& hole)
{
    Colours result;
    const QHash<QRgb, int> counts = histogram(shot, region, hole);
    if (counts.isEmpty())
        return result;
    result.background = dominantOf(counts);
    result.text = result.background;
    // A few pixels of one colour: stray antialiasing does not count as text.
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() < 3)
            continue;
        const double ratio = ColourContrast::ratio(QColor(it.key()), result.background);
        if (ratio > result.ratio) {
            result.ratio = ratio;
            result.text = QColor(it.key());
        }
    }
    if (expected.isValid()) {
        const double wanted = ColourContrast::ratio(expected, result.background);
        if (wanted > result.ratio && result.ratio >= 1.0 + (wanted - 1.0) * kDrawnShare) {
            result.ratio = wanted;
            result.text = expected;
        }
    }
    return result;
}

QList<ContrastCheck::Finding> ContrastCheck::check(QWidget* window) const
{
    QList<Finding> findings;
    QImage shot = render(window);
    // In the picture's pixels, twice the window's.
    auto regionIn = [window](QWidget* widget, const QRect& local) {
        return ContrastCheck::regionIn(window, widget, local);
    };

    const QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (!inSight(window, widget))
            continue;

        if (auto* bar = qobject_cast<QTabBar*>(widget)) {
            for (int i = 0; i < bar->count(); ++i) {
                const QRect region = regionIn(bar, bar->tabRect(i).adjusted(2, 2, -2, -2));
                const Colours seen = measure(shot, region, bar->palette().color(QPalette::ButtonText));
                if (!region.isEmpty() && seen.ratio < kText)
                    findings.append({describe(bar, bar->tabText(i)), QStringLiteral("text contrast ") + ratioText(seen.ratio, kText)});
            }
            continue;
        }

        auto* push = qobject_cast<QPushButton*>(widget);
        if (push && m_disabledFace.isValid()) {
            const QRect box = regionIn(push, faceRect(push));
            const QColor face = dominant(shot, box.adjusted(6, 6, -6, -6));
            const bool looksDisabled = face.isValid() && distance(face, m_disabledFace) < kSameFace;
            if (!push->isEnabled() && !looksDisabled)
                findings.append({describe(push, push->text()), QStringLiteral("disabled, but its face is not the disabled one")});
            if (push->isEnabled() && looksDisabled)
                findings.append({describe(push, push->text()), QStringLiteral("enabled, but its face is the disabled one")});
            // A button is a shape: its face or outline stands out from what surrounds it. A link
            // (flat, or without a face of its own) is told by its text alone.
            const bool link = push->isFlat() || push->palette().color(QPalette::Button).alpha() == 0;
            if (push->isEnabled() && !link && edgeContrast(shot, box) < kButtonEdge)
                findings.append({describe(push, push->text()), QStringLiteral("outline against its surroundings ") +
                                                                       ratioText(edgeContrast(shot, box), kButtonEdge)});
        }
        // A field to type in is a shape too, whether empty or not.
        auto* field = qobject_cast<QLineEdit*>(widget);
        if (field && field->isEnabled() && !field->isReadOnly()) {
            const QRect box = regionIn(field, field->rect());
            const QRect cursor =
                    regionIn(field, field->inputMethodQuery(Qt::ImCursorRectangle).toRect().adjusted(-2, 0, 2, 0));
            const double edge = edgeContrast(shot, box, cursor);
            if (edge < kFieldEdge)
                findings.append({describe(field, field->placeholderText()),
                                 QStringLiteral("field outline against its surroundings ") + ratioText(edge, kFieldEdge)});
        }

        const QString text = shownText(widget);
        auto* edit = qobject_cast<QLineEdit*>(widget);
        const bool placeholder = edit && edit->text().isEmpty() && !edit->placeholderText().isEmpty();
        if (!widget->isEnabled() || (text.trimmed().isEmpty() && !placeholder))
            continue;
        const QRect region = regionIn(widget, textRect(widget));
        if (region.isEmpty())
            continue;
        const QPalette palette = widget->palette();
        // The blinking cursor of a focused field is no text.
        auto cursorIn = [&]() {
            return edit ? regionIn(edit, edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().adjusted(-2, 0, 2, 0))
                        : QRect();
        };
        const Colours seen = measure(shot, region,
                                     palette.color(placeholder ? QPalette::PlaceholderText : widget->foregroundRole()),
                                     cursorIn());
        if (!placeholder) {
            if (seen.ratio < kText)
                findings.append({describe(widget, text), QStringLiteral("text contrast ") + ratioText(seen.ratio, kText)});
            continue;
        }
        // The same field with a text typed in, for a moment and without telling anybody.
        {
            const QSignalBlocker blocker(edit);
            edit->setText(QStringLiteral("Typed Text 42"));
        }
        const Colours typed = measure(render(window), region, palette.color(QPalette::Text), cursorIn());
        {
            const QSignalBlocker blocker(edit);
            edit->clear();
        }
        const QString name = describe(edit, edit->placeholderText());
        if (seen.ratio < kPlaceholder)
            findings.append({name, QStringLiteral("placeholder contrast ") + ratioText(seen.ratio, kPlaceholder)});
        if (typed.ratio < kText)
            findings.append({name, QStringLiteral("typed text contrast ") + ratioText(typed.ratio, kText)});
        if (typed.ratio < seen.ratio * kPlaceholderBelowTyped)
            findings.append({name, QStringLiteral("placeholder %1:1 not lighter than typed text %2:1")
                                           .arg(seen.ratio, 0, 'f', 2)
                                           .arg(typed.ratio, 0, 'f', 2)});
    }
    return findings;
}
