#include "ui/SpaceIcons.h"

#include <QMap>

namespace {

const QMap<QString, QString>& iconStems()
{
    static const QMap<QString, QString> stems{
        {QStringLiteral("TEAMSAFE"), QStringLiteral("teamspace")},
        {QStringLiteral("INBOX"), QStringLiteral("inbox")},
        {QStringLiteral("MAIL_IN"), QStringLiteral("mailin")},
        {QStringLiteral("PRIVATE"), QStringLiteral("privatesafe")},
    };
    return stems;
}

} // namespace

QString iconSizeName(int size)
{
    switch (size) {
    case 0:
        return QStringLiteral("small");
    case 1:
        return QStringLiteral("medium");
    case 2:
        return QStringLiteral("large");
    default:
        return QString();
    }
}

QPixmap attentionTabIcon(int size)
{
    static const char* const names[] = {"20x20", "30x30", "40x40"};
    if (size < 0 || size > 2)
        return QPixmap();
    return QPixmap(QStringLiteral(":/res/tabs/attention_icon_%1.png").arg(QLatin1String(names[size])));
}

QPixmap spacePixmap(const QString& spaceType, bool autoSync, int size)
{
    const auto it = iconStems().constFind(spaceType);
    if (it == iconStems().constEnd())
        return attentionTabIcon(size);
    const QString sizePart = (size == 1 && autoSync) ? QStringLiteral("autosync") : iconSizeName(size);
    if (sizePart.isEmpty())
        return QPixmap();
    return QPixmap(QStringLiteral(":/res/space/%1_%2.png").arg(*it, sizePart));
}

QList<QPixmap> spaceSyncingPixmaps(const QString& spaceType)
{
    const auto it = iconStems().constFind(spaceType);
    if (it == iconStems().constEnd())
        return {attentionTabIcon(1)};
    return {QPixmap(QStringLiteral(":/res/space/%1_syncing_1.png").arg(*it)),
            QPixmap(QStringLiteral(":/res/space/%1_syncing_2.png").arg(*it))};
}
