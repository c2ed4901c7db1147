#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class QAbstractItemView;

// Paints a cell of the password table and puts one action button into the cell under the mouse or
// with the keyboard focus: Edit (title), Copy (user name, password) or Open (web address).
class PasswordCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    enum Kind {
        EditTitle = 0,
        CopyUsername = 1,
        CopyPassword = 2,
        OpenUrl = 3,
    };

    PasswordCellDelegate(QAbstractItemView *view, int kind);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    QString buttonText() const { return m_buttonText; }
    int valueRole() const { return m_role; }

signals:
    // origin: a screen point at the button; pwdId: the entry id or the cell's text, by kind.
    void selected(QPoint origin, QString pwdId);
    // Presses the button this delegate created last.
    void activate();

private:
    QWidget *createButtonFrame(const QStyleOptionViewItem &option, const QModelIndex &index) const;

    QAbstractItemView *m_view;
    QString m_buttonText;
    int m_role;
};
