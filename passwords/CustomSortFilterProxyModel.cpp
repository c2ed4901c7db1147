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

const QSet<QString> &CustomSortFilterProxyModel::matchingIds(const QString &pattern) const
{
    // The proxy hands out the same shared text for as long as the filter stays: comparing the
    // data pointers first keeps the check from reading a list of thousands of ids per row.
    if (pattern.constData() != m_idPattern.constData() && pattern != m_idPattern) {
        const QStringList ids = pattern.split(QLatin1Char(';'));
        m_ids = QSet<QString>(ids.cbegin(), ids.cend());
    }
    m_idPattern = pattern;
    return m_ids;
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
            if (matchingIds(pattern).contains(id)) {
                return true;
            }
        } else if (cell.data(Qt::DisplayRole).toString().indexOf(expression, 0) >= 0) {
            return true;
        }
    }
    return false;
}
