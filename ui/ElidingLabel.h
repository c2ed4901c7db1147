#pragma once

#include <QLabel>

// A one-line label that, where its room ends, draws its text shortened with an ellipsis instead of
// cut, and shows the whole text as tool tip. text() stays the whole text; elidedText() is what is drawn.
class ElidingLabel : public QLabel
{
    Q_OBJECT
    // Read by the checks that measure what a window shows.
    Q_PROPERTY(QString elidedText READ elidedText)

public:
    explicit ElidingLabel(QWidget* parent = nullptr);
    explicit ElidingLabel(const QString& text, QWidget* parent = nullptr);

    Qt::TextElideMode elideMode() const { return m_mode; }
    void setElideMode(Qt::TextElideMode mode);
    QString elidedText() const;
    bool isElided() const;

    // As narrow as an ellipsis: the layout decides how much of the text shows.
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textRect() const;

    Qt::TextElideMode m_mode = Qt::ElideRight;
};
