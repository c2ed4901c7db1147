#pragma once

#include <QTableView>

// A table whose rows all take one height, settable from forms and style sheets.
class TableView : public QTableView
{
    Q_OBJECT
    Q_PROPERTY(int rowHeight READ rowHeight WRITE setRowHeight)

public:
    explicit TableView(QWidget* parent = nullptr);

    int rowHeight() const;
    void setRowHeight(int height);
};
