#include "passwords/CustomSortFilterProxyModel.h"

#include <QRegExp>
#include <QStringList>

CustomSortFilterProxyModel::CustomSortFilterProxyModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{}

void CustomSortFilterProxyModel::setFilterColumns(const QList<int> &columns)
{
    m_filterColumns = columns;
}

void CustomSortFilterProxyModel::setFilterColumns(int column)
{
    m_filterColumns = QList<int>{column};
}

bool CustomSortFilterProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (m_filterColumns.isEmpty()) {
        return true;
    }
    const QAbstractItemModel *model = sourceModel();
    if (!model) {
        return true;
    }
    const QRegExp expression = filterRegExp();
    for (int column : m_filterColumns) {
        const QModelIndex cell = model->index(sourceRow, column, sourceParent);
        if (column == PasswordColumn) {
            const QString pattern = expression.pattern();
            if (pattern.isEmpty()) {
                return true;
            }
            const QString id = cell.data(Qt::UserRole).toString();
            if (pattern.split(QLatin1Char(';')).contains(id)) {
                return true;
            }
        } else if (cell.data(Qt::DisplayRole).toString().indexOf(expression, 0) >= 0) {
            return true;
        }
    }
    return false;
}
