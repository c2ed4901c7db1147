#pragma once

#include <QStyledItemDelegate>

// Draws a cell's text on one line, shortened with an ellipsis where the cell ends, though the table
// wraps its other cells: a wrapped text in a one-line row showed no more than its first word. In a
// column sized to its contents it asks for no more than maxWidth (none when negative).
class OneLineDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    OneLineDelegate(Qt::TextElideMode mode, int maxWidth, QObject* parent = nullptr);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    Qt::TextElideMode m_mode;
    int m_maxWidth;
};
