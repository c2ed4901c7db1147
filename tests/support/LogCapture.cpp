#include "tests/support/LogCapture.h"

#include "core/MessageHandler.h"

LogCapture *LogCapture::s_active = nullptr;

LogCapture::LogCapture()
{
    Q_ASSERT(!s_active);
    s_active = this;
    m_previous = installMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    installMessageHandler(m_previous);
    s_active = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (LogCapture *self = s_active) {
        QMutexLocker lock(&self->m_mutex);
        self->m_entries.append({type, msg});
    }
}

QList<LogCapture::Entry> LogCapture::entries() const
{
    QMutexLocker lock(&m_mutex);
    return m_entries;
}

QStringList LogCapture::messages() const
{
    QStringList out;
    for (const Entry &e : entries())
        out << e.text;
    return out;
}

void LogCapture::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}
