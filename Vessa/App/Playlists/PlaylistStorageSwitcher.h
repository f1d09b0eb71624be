#pragma once

#include <QLatin1String>
#include <QObject>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <thread>

class QSettings;

namespace vessa {

// Moves the playlist storage to the folder the current preferences name,
// copying the playlist files there first (see migratePlaylists).
//
// Switches run one after the other: a request made while a switch runs waits
// for it, and each switch goes from the folder that is current when it starts
// (the target of the switch before it) to the folder `resolveTarget` gives at
// that moment. When the two are the same folder, nothing happens. A switch
// whose copy fails does not happen either: the storage stays in the folder
// that holds every playlist.
//
// With a journal (the settings), the folder a copy goes to is written there
// before the copy starts and removed when it ends, so that the next switcher
// over the same settings, after the program was killed in the middle of a
// switch, removes the temporary files that copy left (removeInterruptedCopies)
// before it starts any switch.
//
// A switch whose copying thread the system refuses fails like a copy that
// failed (its migrationError a ThreadStartError); the removal of leftovers
// waits instead and asks for its thread again every threadStartRetryInterval,
// the switches waiting behind it.
//
// Threads: everything runs on the main thread except the copying and the
// removal of leftovers, which run on a thread of their own; results are
// posted back. The destructor stops a running copy and joins its thread (a
// copy stopped half-way leaves no file).
class PlaylistStorageSwitcher : public QObject {
    Q_OBJECT

public:
    // The journal's key: the folder a switch is copying into.
    static constexpr QLatin1String copyingIntoKey{"playlistStorageCopyingInto"};

    struct Switch {
        QString from;
        QString to;
        // Why copying stopped early, or null when every playlist file was
        // copied (or kept because its name existed). The storage stays in
        // `from` when it is set.
        std::exception_ptr migrationError;
        // The playlists kept in `to` whose version in `from` differs, and
        // whether an empty Starred in `to` took the one of `from` (see
        // migratePlaylists); empty and false when copying failed.
        QStringList keptDiffering;
        bool filledEmptyStarred = false;
    };
    // Where a switch goes.
    struct Target {
        Target(QString folder, std::function<void()> settle = {}) : folder(std::move(folder)), settle(std::move(settle))
        {
        }
        QString folder;
        // Called on the main thread once the storage is in `folder` with every
        // playlist: at once when it is there already, else after the copy
        // (never after a failed one). The app saves its preferences here.
        std::function<void()> settle;
    };
    // The target the preferences name now.
    using TargetResolver = std::function<Target()>;
    // Called after each switch that was tried: the storage is in `to` unless
    // the copy failed, when the files copied so far are left in `to`.
    using SwitchHandler = std::function<void(const Switch&)>;

    // Without a journal, nothing is written to the settings nor cleaned at start.
    PlaylistStorageSwitcher(QString currentFolder, TargetResolver resolveTarget, SwitchHandler onSwitched,
                            QSettings* journal = nullptr, QObject* parent = nullptr);
    ~PlaylistStorageSwitcher() override;

    // The folder of the last completed switch's target (the initial folder before).
    const QString& currentFolder() const { return m_currentFolder; }
    // True while a switch or the removal of leftovers runs, or a request waits.
    bool isSwitching() const { return m_running || m_waitingRequests > 0; }

    // Queues a switch; returns at once. The target is read when it starts.
    void requestSwitch();

private:
    void startNext();
    void finish(Switch done, const std::function<void()>& settle);
    void removeLeftovers(const QString& folder);
    void leftoversRemoved();
    // Writes (or, with an empty folder, removes) the journal's entry and
    // flushes it to the disk.
    void journalCopyingInto(const QString& folder);

    QString m_currentFolder;
    TargetResolver m_resolveTarget;
    SwitchHandler m_onSwitched;
    QSettings* m_journal;
    int m_waitingRequests = 0;
    bool m_startScheduled = false;
    bool m_running = false;
    bool m_leftoversWaitTold = false; // while removing leftovers waits for a thread
    std::jthread m_copier;
};

} // namespace vessa
