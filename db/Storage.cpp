#include "db/Storage.h"

void Storage::setContext(int contextId, const QString &context)
{
    if (context == m_context && contextId == m_contextId)
        return;
    clearContextStates();
    m_context = context;
    m_contextId = contextId;
}
