#include "ui/PermanentPlaceholderOverlay.h"

#include <QEvent>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QVariantAnimation>

PermanentPlaceholderOverlay::PermanentPlaceholderOverlay(const QString& text, QLineEdit* input,
                                                         const QPoint& emptyPos, const QPoint& captionPos,
                                                         int emptySize, int captionSize,
                                                         const QColor& idleColor, const QColor& activeColor)
    : QLabel(text, input), m_input(input), m_restingEmpty(input->text().isEmpty()), m_idleColor(idleColor),
      m_activeColor(activeColor)
{
    connect(input, &QLineEdit::textChanged, this, &PermanentPlaceholderOverlay::transitionIfNotEmpty);
    input->setAttribute(Qt::WA_MouseTracking);
    input->setAttribute(Qt::WA_Hover);
    input->installEventFilter(this);
    // The field keeps every click; the label only shows.
    setAttribute(Qt::WA_TransparentForMouseEvents);

    if (m_restingEmpty) {
        move(emptyPos);
        m_color = idleColor;
        m_fontSize = emptySize;
    } else {
        move(captionPos);
        m_color = activeColor;
        m_fontSize = captionSize;
    }
    updateStyle();

    if (emptySize != captionSize) {
        auto* sizeAnimation = new QVariantAnimation(this);
        sizeAnimation->setStartValue(emptySize);
        sizeAnimation->setEndValue(captionSize);
        connect(sizeAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_fontSize = value.toInt();
            updateStyle();
        });
        m_animations.append(sizeAnimation);
    }
    if (emptyPos != captionPos) {
        auto* posAnimation = new QPropertyAnimation(this, "pos", this);
        posAnimation->setStartValue(emptyPos);
        posAnimation->setEndValue(captionPos);
        m_animations.append(posAnimation);
    }
}

PermanentPlaceholderOverlay::~PermanentPlaceholderOverlay() = default;

PermanentPlaceholderOverlay* PermanentPlaceholderOverlay::create(const QString& text, QLineEdit* input)
{
    return new PermanentPlaceholderOverlay(text, input, QPoint(0, 9), QPoint(0, 0), 12, 10, QColor(102, 102, 102),
                                           QColor(34, 130, 185));
}

void PermanentPlaceholderOverlay::updateStyle()
{
    setStyleSheet(QStringLiteral("color: rgb(%1, %2, %3);font-size: %4px;")
                      .arg(m_color.red())
                      .arg(m_color.green())
                      .arg(m_color.blue())
                      .arg(m_fontSize));
}

void PermanentPlaceholderOverlay::setColor(const QColor& color)
{
    m_color = color;
    updateStyle();
}

void PermanentPlaceholderOverlay::transition()
{
    for (QAbstractAnimation* animation : qAsConst(m_animations)) {
        animation->stop();
        if (auto* variant = qobject_cast<QVariantAnimation*>(animation)) {
            variant->setEasingCurve(QEasingCurve::OutBack);
            variant->setDuration(150);
        }
        animation->setDirection(m_restingEmpty ? QAbstractAnimation::Forward : QAbstractAnimation::Backward);
        animation->start(QAbstractAnimation::KeepWhenStopped);
    }
    m_restingEmpty = !m_restingEmpty;
}

void PermanentPlaceholderOverlay::transitionIfNotEmpty(const QString& text)
{
    if (!text.isEmpty() && m_restingEmpty)
        transition();
}

bool PermanentPlaceholderOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_input)
        return false;
    switch (event->type()) {
    case QEvent::FocusIn:
        setColor(m_activeColor);
        if (m_input->text().isEmpty() && m_restingEmpty)
            transition();
        break;
    case QEvent::FocusOut:
        setColor(m_idleColor);
        if (m_input->text().isEmpty() && !m_restingEmpty)
            transition();
        break;
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        setColor(m_activeColor);
        break;
    case QEvent::HoverLeave:
        if (!m_input->hasFocus())
            setColor(m_idleColor);
        break;
    default:
        break;
    }
    return false;
}
