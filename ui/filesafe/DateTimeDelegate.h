#pragma once

#include <QStyledItemDelegate>

// Shows date-time cells in the locale's short form with the seconds, which that form leaves out;
// the cell keeps its QDateTime, so sorting stays by time.
class DateTimeDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit DateTimeDelegate(QObject* parent = nullptr);

    QString displayText(const QVariant& value, const QLocale& locale) const override;

    // The locale's short time format with seconds added where it has none.
    static QString timeFormatWithSeconds(const QLocale& locale);
};
