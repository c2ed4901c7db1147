#pragma once

#include <QColor>
#include <QLabel>
#include <QList>
#include <QPoint>

class QAbstractAnimation;
class QLineEdit;

// A placeholder over a line edit that never disappears: inside the empty, unfocused field it rests
// in a larger font; with focus or text it floats up as a small caption.
class PermanentPlaceholderOverlay : public QLabel
{
    Q_OBJECT

public:
    PermanentPlaceholderOverlay(const QString& text, QLineEdit* input, const QPoint& emptyPos,
                                const QPoint& captionPos, int emptySize, int captionSize,
                                const QColor& idleColor, const QColor& activeColor);
    ~PermanentPlaceholderOverlay() override;

    static PermanentPlaceholderOverlay* create(const QString& text, QLineEdit* input);

    bool isRestingEmpty() const { return m_restingEmpty; }
    QColor currentColor() const { return m_color; }
    int currentFontSize() const { return m_fontSize; }

    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void transitionIfNotEmpty(const QString& text);

private:
    void transition();
    void updateStyle();
    void setColor(const QColor& color);

    QLineEdit* m_input;
    QList<QAbstractAnimation*> m_animations;
    bool m_restingEmpty;
    QColor m_idleColor;
    QColor m_activeColor;
    int m_fontSize;
    QColor m_color;
};
