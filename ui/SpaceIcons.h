#pragma once

#include <QList>
#include <QPixmap>
#include <QString>

// Icons of the kinds of file safe ("TEAMSAFE", "INBOX", "MAIL_IN", "PRIVATE") and the attention
// mark. Sizes: 0 small, 1 medium, 2 large.
QString iconSizeName(int size);
QPixmap spacePixmap(const QString& spaceType, bool autoSync, int size);
QList<QPixmap> spaceSyncingPixmaps(const QString& spaceType);
QPixmap attentionTabIcon(int size);
