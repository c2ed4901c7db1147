#pragma once

#include <QColor>
#include <QList>
#include <QRect>
#include <QString>

class QImage;
class QPushButton;
class QWidget;

// Measures what a person sees in a rendered window: the WCAG contrast of every visible text against
// the pixels behind it, placeholders against typed text, and push buttons against the disabled look.
class ContrastCheck
{
public:
    struct Finding
    {
        QString widget;  // class and object name, with the text
        QString problem; // what was measured, against which limit
    };

    // The brand's face of a disabled push button; enabled buttons must not look like it.
    explicit ContrastCheck(const QColor& disabledButtonFace);

    // The window must be shown and laid out. Empty line edits get a sample text for a moment.
    QList<Finding> check(QWidget* window) const;

    // Body text, the usual WCAG level.
    static constexpr double kText = 4.5;
    // A placeholder is a hint: readable, yet visibly lighter than typed text.
    static constexpr double kPlaceholder = 3.0;
    static constexpr double kPlaceholderBelowTyped = 1.4;
    // The outline or face of an enabled button or field against what surrounds it.
    static constexpr double kButtonEdge = 1.5;
    // A white field on the lightest greys (1.26:1) still shows where to type; on white it vanishes.
    static constexpr double kFieldEdge = 1.2;
    // Two faces nearer than this (distance in RGB) look alike.
    static constexpr double kSameFace = 40.0;
    // Drawn text that reaches this share of the expected colour's contrast is taken as that colour.
    static constexpr double kDrawnShare = 0.85;

    // The measuring tools, shared with the gallery's other checks.
    struct Colours
    {
        QColor background;
        QColor text; // the colour farthest from the background; the background itself when there is none
        double ratio = 1.0;
    };
    // expected: the colour the widget's palette says its text has. Thin glyphs never reach it in a
    // whole pixel; when the drawn text comes near it, it counts.
    // hole: pixels left out, such as a field's text cursor.
    static Colours measure(const QImage& shot, const QRect& region, const QColor& expected = QColor(),
                           const QRect& hole = QRect());
    static QImage render(QWidget* window);
    // A widget's rectangle (local coordinates) as far as it is visible, in the picture's pixels.
    static QRect regionIn(QWidget* window, QWidget* widget, const QRect& local);
    // Where a push button draws its face and outline (local coordinates): inside the margin a style
    // sheet may give it, which shows what lies behind.
    static QRect faceRect(QPushButton* push);
    // Shown in the window and not covered by an overlay (the locked password page).
    static bool inSight(QWidget* window, QWidget* widget);
    static QString describe(const QWidget* widget, const QString& text);
    static QString ratioText(double measured, double limit);

private:
    static constexpr int kScale = 2;
    static QColor dominant(const QImage& shot, const QRect& region);
    // How far the widget's outline or face stands out from what surrounds it (box in picture pixels).
    // ignore: pixels that are not part of it, such as a field's text cursor.
    static double edgeContrast(const QImage& shot, const QRect& box, const QRect& ignore = QRect());

    QColor m_disabledFace;
};
