#include "passwords/OverlayWidget.h"

#include <QEvent>
#include <QResizeEvent>

OverlayWidget::OverlayWidget(QWidget *parent)
    : QWidget(parent)
{
    follow(parent);
}

void OverlayWidget::follow(QObject *parent)
{
    if (!parent) {
        return;
    }
    parent->installEventFilter(this);
    raise();
}

bool OverlayWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent()) {
        if (event->type() == QEvent::Resize) {
            resize(static_cast<QResizeEvent *>(event)->size());
        } else if (event->type() == QEvent::ChildAdded) {
            raise();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool OverlayWidget::event(QEvent *event)
{
    if (event->type() == QEvent::ParentAboutToChange) {
        if (parent()) {
            parent()->removeEventFilter(this);
        }
    } else if (event->type() == QEvent::ParentChange) {
        follow(parent());
    }
    return QWidget::event(event);
}
