#include "passwords/LockedOverlay.h"

#include "core/R7Application.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPropertyAnimation>
#include <QStyleOption>

LockedOverlay::LockedOverlay(QWidget *parent)
    : OverlayWidget(parent)
    , m_label(new QLabel(this))
    , m_input(new QLineEdit(this))
    , m_effect(new QGraphicsOpacityEffect(this))
{
    setObjectName("LockedOverlay");
    m_label->setObjectName("unlockLabel");
    m_label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    m_input->setObjectName("unlockPasswordEdit");
    m_input->setEchoMode(QLineEdit::Password);
    m_input->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    m_effect->setOpacity(0.0);
    setGraphicsEffect(m_effect);
    retranslate();
    if (parent) {
        resize(parent->size());
    }
    connect(m_input, &QLineEdit::returnPressed, this, &LockedOverlay::tryUnlock);
    hide();
}

void LockedOverlay::retranslate()
{
    m_label->setText(tr("Enter your password to unlock"));
}

void LockedOverlay::fadeIn()
{
    fitToParent();
    show();
    auto *animation = new QPropertyAnimation(m_effect, "opacity", this);
    animation->setDuration(500);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void LockedOverlay::showImmediately()
{
    fitToParent();
    m_effect->setOpacity(1.0);
    show();
}

void LockedOverlay::fitToParent()
{
    const int left = width() / 2 - 98;
    const int y = (2 * height()) / 3;
    // The prompt keeps its width and its bottom edge 5 px above the input; a text that one line does
    // not hold (a larger desktop font, a longer language) wraps and grows upwards.
    const QMargins margins = m_label->contentsMargins();
    const int room = 240 - margins.left() - margins.right();
    m_label->setWordWrap(m_label->fontMetrics().horizontalAdvance(m_label->text()) > room);
    const int labelHeight = m_label->wordWrap() ? qMax(25, m_label->heightForWidth(240)) : 25;
    m_label->setGeometry(left, y - 5 - labelHeight, 240, labelHeight);
    m_input->setGeometry(left, y, 240, 25);
    if (parentWidget() && parentWidget()->isVisible()) {
        m_input->setFocus(Qt::OtherFocusReason);
    }
}

void LockedOverlay::tryUnlock()
{
    const R7Application *app = R7Application::instance();
    if (app && app->checkLocalPassword(m_input->text())) {
        fadeOut();
        return;
    }
    m_input->blockSignals(true);
    const QRect at = m_input->geometry();
    auto *shake = new QPropertyAnimation(m_input, "geometry", this);
    shake->setObjectName("shakeAnimation");
    shake->setDuration(130);
    shake->setLoopCount(4);
    shake->setStartValue(QRect(at.x() + 25, at.y(), at.width(), at.height()));
    shake->setEndValue(QRect(at.x() - 25, at.y(), at.width(), at.height()));
    connect(shake, &QPropertyAnimation::finished, this, [this] {
        fitToParent();
        m_input->blockSignals(false);
        m_input->selectAll();
    });
    shake->start(QAbstractAnimation::DeleteWhenStopped);
}

void LockedOverlay::fadeOut()
{
    m_input->clearFocus();
    // Not clear(): the field's edit history would keep the password until the overlay is gone.
    m_input->setText(QString());
    auto *animation = new QPropertyAnimation(m_effect, "opacity", this);
    animation->setDuration(700);
    animation->setStartValue(1.0);
    animation->setEndValue(0.0);
    connect(animation, &QPropertyAnimation::finished, this, &LockedOverlay::unlocked);
    connect(animation, &QPropertyAnimation::finished, this, &LockedOverlay::hide);
    connect(animation, &QPropertyAnimation::finished, this, &LockedOverlay::deleteLater);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void LockedOverlay::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void LockedOverlay::resizeEvent(QResizeEvent *event)
{
    OverlayWidget::resizeEvent(event);
    fitToParent();
}

void LockedOverlay::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
    }
    OverlayWidget::changeEvent(event);
}
