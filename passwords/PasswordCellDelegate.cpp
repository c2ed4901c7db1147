#include "passwords/PasswordCellDelegate.h"

#include "ui/PushButton.h"

#include <QAbstractItemView>
#include <QFrame>
#include <QHBoxLayout>

PasswordCellDelegate::PasswordCellDelegate(QAbstractItemView *view, int kind)
    : QStyledItemDelegate(view)
    , m_view(view)
    , m_role(Qt::DisplayRole)
{
    switch (kind) {
    case EditTitle:
        m_buttonText = tr("Edit");
        m_role = Qt::UserRole;
        break;
    case CopyUsername:
        m_buttonText = tr("Copy");
        break;
    case CopyPassword:
        m_buttonText = tr("Copy");
        m_role = Qt::UserRole;
        break;
    case OpenUrl:
        m_buttonText = tr("Open");
        break;
    default:
        break;
    }
}

void PasswordCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool active = option.state & (QStyle::State_MouseOver | QStyle::State_HasFocus);
    // An empty cell is left unpainted and gets no button: there is nothing to act on.
    if (index.data(Qt::DisplayRole).toString().isEmpty()) {
        return;
    }
    QWidget *existing = m_view->indexWidget(index);
    if (active && !existing) {
        m_view->setIndexWidget(index, createButtonFrame(option, index));
    } else if (!active && existing) {
        m_view->setIndexWidget(index, nullptr);
    }
    QStyledItemDelegate::paint(painter, option, index);
}

QWidget *PasswordCellDelegate::createButtonFrame(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);

    auto *frame = new QFrame;
    frame->setGeometry(opt.rect);
    auto *button = new PushButton(m_buttonText, frame);

    // The value is read now: the button reports what the cell held when it appeared.
    const QString value = index.data(m_role).toString();
    auto *self = const_cast<PasswordCellDelegate *>(this);
    QPointer<PushButton> guard(button);
    connect(button, &QPushButton::clicked, self, [self, guard, value]() {
        if (guard) {
            emit self->selected(guard->mapToGlobal(QPoint(0, 10)), value);
        }
    });
    disconnect(self, &PasswordCellDelegate::activate, nullptr, nullptr);
    connect(self, &PasswordCellDelegate::activate, button, &QAbstractButton::click);

    auto *layout = new QHBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(button, 0, Qt::AlignRight | Qt::AlignHCenter | Qt::AlignVCenter);
    return frame;
}
