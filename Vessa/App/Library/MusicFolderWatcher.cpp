#include "Vessa/App/Library/MusicFolderWatcher.h"

#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "Vessa/App/AppLogging.h"
#include "VessaCore/ExceptionDescription.h"

namespace vessa {

MusicFolderWatcher::MusicFolderWatcher(std::shared_ptr<LocalFileSourcePlugin> source, QObject* parent)
    : QObject(parent), m_source(std::move(source))
{
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

MusicFolderWatcher::~MusicFolderWatcher()
{
    m_thread.request_stop();
    m_thread.join();
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
}

void MusicFolderWatcher::run(std::stop_token stop)
{
    while (true) {
        QStringList folders;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, stop, [this] { return m_pending.has_value(); });
            if (stop.stop_requested())
                return;
            folders = std::move(*m_pending);
            m_pending.reset();
        }
        try {
            apply(folders);
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
