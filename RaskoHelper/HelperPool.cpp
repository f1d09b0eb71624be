#include "RaskoHelper/HelperPool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <map>

namespace vessa {

namespace {

// Replies a stream left unread are drained before the helper serves again.
constexpr auto drainTime = std::chrono::seconds(2);

} // namespace

HelperLease::~HelperLease()
{
    if (m_pool && m_process)
        m_pool->release(std::move(m_process));
}

QString HelperPool::executableName()
{
    return QStringLiteral("vessa-decoder-helper");
}

QString HelperPool::defaultExecutable()
{
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QFileInfo(self).dir().filePath(executableName());
}

std::shared_ptr<HelperPool> HelperPool::forExecutable(const QString& executable)
{
    static std::mutex mutex;
    static std::map<QString, std::shared_ptr<HelperPool>> pools;
    const QString path = executable.isEmpty() ? defaultExecutable() : executable;
    std::lock_guard guard(mutex);
    std::shared_ptr<HelperPool>& pool = pools[path];
    if (!pool)
        pool = std::make_shared<HelperPool>(path);
    return pool;
}

HelperLease HelperPool::acquire()
{
    for (;;) {
        std::unique_ptr<HelperProcess> process;
        {
            std::lock_guard guard(m_mutex);
            if (m_idle.empty())
                break;
            process = std::move(m_idle.back());
            m_idle.pop_back();
        }
        if (process->drain(HelperProcess::Clock::now() + drainTime))
            return HelperLease(shared_from_this(), std::move(process));
    }
    return HelperLease(shared_from_this(), std::make_unique<HelperProcess>(m_executable));
}

void HelperPool::release(std::unique_ptr<HelperProcess> process)
{
    std::unique_ptr<HelperProcess> surplus; // killed after the lock is released
    if (!process->isUsable())
        return;
    std::unique_lock guard(m_mutex);
    if (m_idle.size() < maximumIdle)
        m_idle.push_back(std::move(process));
    else
        surplus = std::move(process);
}

} // namespace vessa
