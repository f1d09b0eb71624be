#pragma once

#include "RaskoLocalFile/DirectoryWatcher.h"

#include <QObject>
#include <QStringList>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace vessa {

class LocalFileSourcePlugin;

// Keeps the local-file source's watcher on the music folders. Pointing the
// watcher at folders walks them on the disk, so it happens on a thread of
// its own, started by the first watch(); when the list changes again
// meanwhile, only the newest list is applied. The watcher's batches arrive as
// filesChanged() on the main thread. While the system refuses a thread (this
// one or the source's watcher's), the newest list waits and is tried again
// every threadStartRetryInterval.
//
// Threads: watch() and the signals belong to the main thread. Destroying the
// object stops its thread and the watcher; no batch arrives afterwards.
class MusicFolderWatcher : public QObject {
    Q_OBJECT

public:
    explicit MusicFolderWatcher(std::shared_ptr<LocalFileSourcePlugin> source, QObject* parent = nullptr);
    ~MusicFolderWatcher() override;

    // Watches exactly these folders from now on; an empty list stops watching
    // and drops the source's watcher.
    void watch(QStringList folders);

signals:
    void filesChanged(const vessa::DirectoryWatcher::EventBatch& batch);
    // The list of the latest watch() is watched now (or, when empty, nothing is).
    void watchApplied(const QStringList& folders);

private:
    // Main thread: starts the thread unless it runs or a retry is due.
    void ensureThread();
    void run(std::stop_token stop);
    void apply(const QStringList& folders);

    const std::shared_ptr<LocalFileSourcePlugin> m_source;
    // Guards m_pending, which the thread takes.
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::optional<QStringList> m_pending;
    bool m_threadRetryScheduled = false; // main thread only
    bool m_threadRefused = false;        // main thread only: the refusal is logged
    std::jthread m_thread;               // last: stops first
};

} // namespace vessa

Q_DECLARE_METATYPE(vessa::DirectoryWatcher::EventBatch)
