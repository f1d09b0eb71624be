#include "Vessa/App/Library/MusicFolderWatcher.h"

#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "Vessa/App/AppLogging.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/ThreadStart.h"

#include <QTimer>

namespace vessa {

MusicFolderWatcher::MusicFolderWatcher(std::shared_ptr<LocalFileSourcePlugin> source, QObject* parent)
    : QObject(parent), m_source(std::move(source))
{
}

MusicFolderWatcher::~MusicFolderWatcher()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    // Returns once the watcher thread is done with its last batch.
    m_source->stopWatching();
}

void MusicFolderWatcher::watch(QStringList folders)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(folders);
    }
    m_wake.notify_all();
    ensureThread();
}

void MusicFolderWatcher::ensureThread()
{
    if (m_thread.joinable() || m_threadRetryScheduled)
        return;
    try {
        m_thread = startThread([this](std::stop_token stop) { run(stop); });
    } catch (const ThreadStartError& refusal) {
        // The folders wait in m_pending; the thread takes the newest list.
        if (!std::exchange(m_threadRefused, true))
            logWarning(lcApp(),
                       QStringLiteral("Watching the music folders waits for a thread: ") + refusal.description());
        m_threadRetryScheduled = true;
        QTimer::singleShot(threadStartRetryInterval, this, [this] {
            m_threadRetryScheduled = false;
            ensureThread();
        });
    }
}

void MusicFolderWatcher::run(std::stop_token stop)
{
    // The folders whose watcher thread the system refused, tried again after
    // a while unless a newer list comes first.
    std::optional<QStringList> refused;
    bool refusalTold = false; // until a watcher thread starts
    while (true) {
        QStringList folders;
        {
            std::unique_lock lock(m_mutex);
            if (refused) {
                m_wake.wait_for(lock, stop, threadStartRetryInterval, [this] { return m_pending.has_value(); });
                if (!m_pending)
                    m_pending = std::move(refused);
                refused.reset();
            }
            m_wake.wait(lock, stop, [this] { return m_pending.has_value(); });
            if (stop.stop_requested())
                return;
            folders = std::move(*m_pending);
            m_pending.reset();
        }
        try {
            apply(folders);
            refusalTold = false;
        } catch (const ThreadStartError& refusal) {
            if (!std::exchange(refusalTold, true))
                logWarning(lcApp(),
                           QStringLiteral("Watching the music folders waits for a thread: ") + refusal.description());
            refused = folders;
            continue;
        } catch (...) {
            logError(lcApp(), QStringLiteral("Failed to watch the music folders: ")
                                  + describeException(std::current_exception()));
        }
        QMetaObject::invokeMethod(
            this, [this, folders] { emit watchApplied(folders); }, Qt::QueuedConnection);
    }
}

void MusicFolderWatcher::apply(const QStringList& folders)
{
    if (folders.isEmpty()) {
        m_source->stopWatching();
        return;
    }
    // Posted to this object, which stops the watcher before it goes.
    m_source->startWatching(folders, [this](const DirectoryWatcher::EventBatch& batch) {
        QMetaObject::invokeMethod(
            this, [this, batch] { emit filesChanged(batch); }, Qt::QueuedConnection);
    });
}

} // namespace vessa
