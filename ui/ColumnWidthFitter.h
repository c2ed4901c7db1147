#pragma once

#include <QMap>
#include <QObject>

class QTableView;

// Gives a table's interactive columns the widths they are designed with while the table has room for
// them beside its stretched column, and narrows them in proportion where it has not (a main window at
// its first size of 800 px), never below what their header texts need. Once the user drags one of
// them, the widths are the user's.
class ColumnWidthFitter : public QObject
{
    Q_OBJECT

public:
    // widths: the designed width of each interactive column, by column.
    ColumnWidthFitter(QTableView* table, const QMap<int, int>& widths);

    void fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int headerNeed(int section) const;

    QTableView* m_table;
    QMap<int, int> m_widths;
    bool m_fitting = false;
    bool m_userSized = false;
};
