#include "ui/TableView.h"

#include <QHeaderView>

TableView::TableView(QWidget* parent) : QTableView(parent) {}

int TableView::rowHeight() const
{
    return verticalHeader()->defaultSectionSize();
}

void TableView::setRowHeight(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
}
