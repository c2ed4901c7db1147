#include "ui/filesafe/DateTimeDelegate.h"

#include <QDateTime>
#include <QLocale>

DateTimeDelegate::DateTimeDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QString DateTimeDelegate::displayText(const QVariant& value, const QLocale& locale) const
{
    if (value.userType() != QMetaType::QDateTime)
        return QStyledItemDelegate::displayText(value, locale);
    const QDateTime dt = value.toDateTime();
    if (!dt.isValid())
        return QString();
    return locale.toString(dt.date(), QLocale::ShortFormat) + QLatin1Char(' ')
            + locale.toString(dt.time(), timeFormatWithSeconds(locale));
}

QString DateTimeDelegate::timeFormatWithSeconds(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1Char('s')))
        return format;
    const int minutes = format.indexOf(QLatin1String("mm"));
    // A locale without two-digit minutes gets the plain 24-hour form.
    if (minutes < 0)
        return QStringLiteral("HH:mm:ss");
    format.insert(minutes + 2, QLatin1String(":ss"));
    return format;
}
