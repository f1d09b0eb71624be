#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <thread>

namespace vessa {

// Moves the playlist storage to the folder the current preferences name,
// copying the playlist files there first (see migratePlaylists).
//
// Switches run one after the other: a request made while a switch runs waits
// for it, and each switch goes from the folder that is current when it starts
// (the target of the switch before it) to the folder `resolveTarget` gives at
// that moment. When the two are the same folder, nothing happens.
//
// Threads: everything runs on the main thread except the copying, which runs
// on a thread of its own; its result is posted back. The destructor stops a
// running copy and joins its thread (a copy stopped half-way leaves no file).
class PlaylistStorageSwitcher : public QObject {
    Q_OBJECT

public:
    struct Switch {
        QString from;
        QString to;
        // Why copying stopped early, or null when every playlist file was
        // copied (or kept because its name existed).
        std::exception_ptr migrationError;
        // The playlists kept in `to` whose version in `from` differs (see
        // migratePlaylists); empty when copying failed.
        QStringList keptDiffering;
    };
    // The folder the preferences name now.
    using TargetResolver = std::function<QString()>;
    // Called after each switch that changed the folder; the files copied so
    // far are in place even when the copy failed.
    using SwitchHandler = std::function<void(const Switch&)>;

    PlaylistStorageSwitcher(QString currentFolder, TargetResolver resolveTarget, SwitchHandler onSwitched,
                            QObject* parent = nullptr);
    ~PlaylistStorageSwitcher() override;

    // The folder of the last switch's target (the initial folder before).
    const QString& currentFolder() const { return m_currentFolder; }
    // True while a switch runs or a request waits.
    bool isSwitching() const { return m_running || m_waitingRequests > 0; }

    // Queues a switch; returns at once. The target is read when it starts.
    void requestSwitch();

private:
    void startNext();
    void finish(Switch done);

    QString m_currentFolder;
    TargetResolver m_resolveTarget;
    SwitchHandler m_onSwitched;
    int m_waitingRequests = 0;
    bool m_startScheduled = false;
    bool m_running = false;
    std::jthread m_copier;
};

} // namespace vessa
