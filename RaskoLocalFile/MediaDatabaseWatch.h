#pragma once

#include "RaskoLocalFile/UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace vessa {

class MediaDatabase;

// Watches the media database's folder, so that a file put in the database's
// place (moved there, or copied over it) is noticed within moments rather
// than at the database's next call: MediaDatabase::noticeReplacement() then
// takes this run's side files away from it before a kill, a crash or a lost
// power could leave them to be applied to it at the next start.
//
// The events come through the event loop (inotify, no thread of its own);
// the look at the files runs on the worker threads (WorkerThreads::start),
// one at a time, as it touches the disk and may wait for a call of the
// database that runs. When no thread can be had, the look waits for one,
// and the database's own check at its next call still holds.
//
// Threads: construct and destroy on a thread with an event loop (the main
// thread). Destroying it waits for a look that runs.
class MediaDatabaseWatch : public QObject {
    Q_OBJECT

public:
    // Watches the folder of `database`'s file; nothing for a database in
    // memory, or when the watch cannot be set up (which is logged).
    explicit MediaDatabaseWatch(std::shared_ptr<MediaDatabase> database, QObject* parent = nullptr);
    ~MediaDatabaseWatch() override;
    MediaDatabaseWatch(const MediaDatabaseWatch&) = delete;
    MediaDatabaseWatch& operator=(const MediaDatabaseWatch&) = delete;

    bool isWatching() const { return m_inotify.isValid(); }

private:
    struct Looks;

    void watchFolder();
    void readEvents();
    // Has the database look at its file, after any look that runs now.
    void requestLook();

    std::shared_ptr<Looks> m_looks;
    QString m_folder;
    QByteArray m_fileName;
    UniqueFd m_inotify;
    QSocketNotifier* m_notifier = nullptr; // a child, deleted first
    int m_watch = -1;
};

} // namespace vessa
