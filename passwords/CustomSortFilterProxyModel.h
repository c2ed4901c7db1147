#pragma once

#include <QList>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QString>

// Filters on chosen columns only. The password column never holds a secret: its filter text is a
// list of entry ids joined by ";", matched against the id each row carries.
class CustomSortFilterProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    static constexpr int PasswordColumn = 2;

    explicit CustomSortFilterProxyModel(QObject *parent = nullptr);

    // Neither re-runs the filter; setting the filter text again does.
    void setFilterColumns(const QList<int> &columns);
    void setFilterColumns(int column);
    QList<int> filterColumns() const { return m_filterColumns; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    const QSet<QString> &matchingIds(const QString &pattern) const;

    QList<int> m_filterColumns;
    // The id list of the current search, split once: the filter runs for every row.
    mutable QString m_idPattern;
    mutable QSet<QString> m_ids;
};
