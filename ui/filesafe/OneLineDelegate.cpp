#include "ui/filesafe/OneLineDelegate.h"

OneLineDelegate::OneLineDelegate(Qt::TextElideMode mode, int maxWidth, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_mode(mode)
    , m_maxWidth(maxWidth)
{}

QSize OneLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize hint = QStyledItemDelegate::sizeHint(option, index);
    if (m_maxWidth >= 0)
        hint.setWidth(qMin(hint.width(), m_maxWidth));
    return hint;
}

void OneLineDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->features &= ~QStyleOptionViewItem::WrapText;
    option->textElideMode = m_mode;
}
