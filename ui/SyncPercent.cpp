#include "ui/SyncPercent.h"

#include <QtGlobal>

int syncPercent(int executed, int total)
{
    if (total <= 0)
        return -1;
    return int((qint64(executed) * 1000 + 5) / (qint64(total) * 10));
}
