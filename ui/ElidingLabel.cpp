#include "ui/ElidingLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>
#include <QToolTip>

namespace {

const QChar kEllipsis(0x2026);

int laidOutWidth(const QFontMetrics& metrics, const QString& text)
{
    return metrics.boundingRect(QRect(0, 0, 100000, 100000), Qt::TextExpandTabs, text).width();
}

} // namespace

ElidingLabel::ElidingLabel(QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

ElidingLabel::ElidingLabel(const QString& text, QWidget* parent)
    : ElidingLabel(parent)
{
    setText(text);
}

void ElidingLabel::setElideMode(Qt::TextElideMode mode)
{
    m_mode = mode;
    update();
}

QRect ElidingLabel::textRect() const
{
    return contentsRect().adjusted(margin(), margin(), -margin(), -margin());
}

QString ElidingLabel::elidedText() const
{
    const QFontMetrics metrics = fontMetrics();
    const int room = textRect().width();
    QString shown = metrics.elidedText(text(), m_mode, room);
    // Shortened to a fraction of a pixel, the text can still take one whole pixel more once laid out:
    // it is shortened again.
    for (int less = 1; shown != text() && less <= 2 && laidOutWidth(metrics, shown) > room; ++less)
        shown = metrics.elidedText(text(), m_mode, room - less);
    return shown;
}

bool ElidingLabel::isElided() const
{
    return elidedText() != text();
}

QSize ElidingLabel::minimumSizeHint() const
{
    QSize hint = QLabel::minimumSizeHint();
    const QMargins frame = contentsMargins();
    hint.setWidth(qMin(hint.width(),
                       fontMetrics().horizontalAdvance(kEllipsis) + frame.left() + frame.right() + 2 * margin()));
    return hint;
}

bool ElidingLabel::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty() && isElided()) {
        // The whole text as the label draws it: a name from the service never turns into markup here.
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), Qt::convertFromPlainText(text()), this);
        return true;
    }
    return QLabel::event(event);
}

void ElidingLabel::paintEvent(QPaintEvent* event)
{
    if (!isElided()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, textRect(), QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), elidedText(), foregroundRole());
}
