#include "ui/ColumnWidthFitter.h"

#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>

ColumnWidthFitter::ColumnWidthFitter(QTableView* table, const QMap<int, int>& widths)
    : QObject(table)
    , m_table(table)
    , m_widths(widths)
{
    table->viewport()->installEventFilter(this);
    QHeaderView* header = table->horizontalHeader();
    connect(header, &QHeaderView::sectionResized, this, [this](int section) {
        if (!m_fitting && m_widths.contains(section))
            m_userSized = true;
    });
    connect(header, &QHeaderView::sortIndicatorChanged, this, &ColumnWidthFitter::fit);
}

bool ColumnWidthFitter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize)
        fit();
    return QObject::eventFilter(watched, event);
}

int ColumnWidthFitter::headerNeed(int section) const
{
    const QHeaderView* header = m_table->horizontalHeader();
    int need = header->sectionSizeHint(section);
    // The header asks room for the sort mark in every column; only the sorted one draws it.
    if (header->isSortIndicatorShown() && header->sortIndicatorSection() != section)
        need -= header->height() + header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    return qMax(need, header->minimumSectionSize());
}

void ColumnWidthFitter::fit()
{
    QHeaderView* header = m_table->horizontalHeader();
    if (m_userSized || !header->model())
        return;
    int room = m_table->viewport()->width();
    QMap<int, int> free;
    for (auto it = m_widths.cbegin(); it != m_widths.cend(); ++it)
        if (it.key() < header->count() && !header->isSectionHidden(it.key()))
            free.insert(it.key(), it.value());
    for (int section = 0; section < header->count(); ++section) {
        if (header->isSectionHidden(section) || free.contains(section))
            continue;
        // A stretched column keeps room for its sort mark too: the user may sort by it.
        room -= header->sectionResizeMode(section) == QHeaderView::Stretch ? header->sectionSizeHint(section)
                                                                           : header->sectionSize(section);
    }
    QMap<int, int> widths;
    // Columns whose share would cut their header text take what the text needs; the rest share what is left.
    for (bool clamped = true; clamped && !free.isEmpty();) {
        clamped = false;
        int designed = 0;
        for (int width : qAsConst(free))
            designed += width;
        for (auto it = free.begin(); it != free.end();) {
            const int share = designed <= room ? it.value() : it.value() * room / designed;
            widths[it.key()] = share;
            if (share < headerNeed(it.key())) {
                widths[it.key()] = headerNeed(it.key());
                room -= widths[it.key()];
                it = free.erase(it);
                clamped = true;
            } else {
                ++it;
            }
        }
    }
    m_fitting = true;
    for (auto it = widths.cbegin(); it != widths.cend(); ++it)
        header->resizeSection(it.key(), it.value());
    m_fitting = false;
}
