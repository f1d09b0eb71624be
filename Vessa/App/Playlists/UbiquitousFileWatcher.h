#pragma once

#include "RaskoLocalFile/UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>

class QSocketNotifier;

namespace vessa {

struct InotifyEvent;

// Watches the cloud folder's playlist folder for playlist files that the sync
// client adds, replaces or removes, and calls `onChange` once per burst of
// changes, about a second after the last one.
//
// Only entries whose name ends in "." + the extension, in any letter case,
// count, and hidden names never do (sync clients write into hidden
// temporary files). A file counts once it is complete: when it is closed
// after writing, moved into place or linked there, never while it is being
// written (a file created by opening it counts at its close). The folder is watched on its own, not its sub-folders.
// When it is deleted or moved away, the watcher waits in its nearest existing parent for it to come back, and the
// disappearance and the return are changes too. Starting counts as a change as well, so whatever changed before the
// watch began is picked up.
//
// Main thread only: the events arrive through the event loop.
class UbiquitousFileWatcher : public QObject {
    Q_OBJECT

public:
    using ChangeHandler = std::function<void()>;

    static constexpr int defaultDebounceMilliseconds = 1000;

    // `fileExtension` without its dot; `folder` is the folder to watch.
    // Watches nothing until start().
    UbiquitousFileWatcher(QString fileExtension, QString folder, QObject* parent = nullptr);
    ~UbiquitousFileWatcher() override;

    const QString& fileExtension() const { return m_fileExtension; }
    const QString& folder() const { return m_folder; }
    bool isWatching() const { return m_inotify.isValid(); }
    // How long a burst must stay quiet before `onChange` runs.
    void setDebounceInterval(int milliseconds) { m_debounce.setInterval(milliseconds); }

    // Stops, keeps `onChange` and starts watching. When the watch cannot be
    // set up, logs why and watches nothing (no retry).
    void start(ChangeHandler onChange);
    // Stops watching and forgets `onChange`; a pending change is dropped.
    void stop();

private:
    enum class ArmResult { armed, raced, failed };

    void closeWatch();
    bool arm();
    ArmResult armOnce();
    void removeWatches();
    void readEvents();
    void handle(const InotifyEvent& event);
    void handleFolderEvent(const InotifyEvent& event);
    bool isPlaylistFileName(const QByteArray& name) const;
    void rearm();
    void noteChange() { m_debounce.start(); }
    void deliverChange();

    QString m_fileExtension;
    QString m_folder;
    ChangeHandler m_onChange;
    UniqueFd m_inotify;
    QSocketNotifier* m_notifier = nullptr; // a child; deleted later, never inside its own signal
    QTimer m_debounce;
    // The watch of the folder, or, while it is missing, of its nearest
    // existing parent, waiting there for the entry `m_awaitedName`.
    int m_folderWatch = -1;
    int m_parentWatch = -1;
    QByteArray m_awaitedName;
    // Playlist files created in the events read so far and not opened by
    // the call that made them: linked or renamed into place, so complete.
    QSet<QByteArray> m_createdUnopened;
};

} // namespace vessa
