#include "tests/support/LogCapture.h"

#include <QStringList>

namespace vessa::test {

namespace {
LogCapture* activeCapture = nullptr;
}

LogCapture::LogCapture()
{
    activeCapture = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    activeCapture = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    LogCapture* capture = activeCapture;
    if (!capture)
        return;
    {
        QMutexLocker lock(&capture->m_mutex);
        capture->m_entries.append({type, QString::fromUtf8(context.category ? context.category : ""), message});
    }
    if (capture->m_previous)
        capture->m_previous(type, context, message);
}

QList<LogCapture::Entry> LogCapture::entries() const
{
    QMutexLocker lock(&m_mutex);
    return m_entries;
}

QStringList LogCapture::messages(const QString& category) const
{
    QMutexLocker lock(&m_mutex);
    QStringList result;
    for (const Entry& entry : m_entries) {
        if (entry.category == category)
            result.append(entry.message);
    }
    return result;
}

bool LogCapture::contains(const QString& category, const QString& message) const
{
    return messages(category).contains(message);
}

void LogCapture::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}

} // namespace vessa::test
