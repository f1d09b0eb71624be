#pragma once

#include "Vessa/App/NowPlaying/NowPlayingSnapshot.h"
#include "Vessa/App/NowPlaying/PositionJumpDetector.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QTimer;

namespace vessa {

class MprisPlayerAdaptor;
class NowPlayingArtwork;
class NowPlayingCommands;
class PlayContext;
class VolumeState;

// Publishes what plays to the desktop (panels, media keys, playerctl, phone
// remotes) over MPRIS2 on the session bus, and carries their remote commands
// to the play context.
//
// It owns the bus name "org.mpris.MediaPlayer2.vessa" (another instance
// holding it: "org.mpris.MediaPlayer2.vessa.instance<pid>") with the object
// "/org/mpris/MediaPlayer2". Every 100 ms it takes a snapshot of the play
// context, its clock and the volume and sends PropertiesChanged with
// the properties that changed since the last one, and Seeked when the
// position jumped. Without a session bus it logs that once and does nothing.
//
// Threads: main thread only. The play context and the volume must outlive
// the bridge.
class NowPlayingBridge : public QObject {
    Q_OBJECT

public:
    static constexpr int refreshIntervalMilliseconds = 100;

    // `cacheFolder` holds the artwork files (in a folder of this process,
    // removed when the bridge goes).
    NowPlayingBridge(PlayContext& playContext, VolumeState& volume, const QString& cacheFolder,
                     QObject* parent = nullptr);
    ~NowPlayingBridge() override;

    // The cache folder of the application, for the constructor.
    static QString defaultCacheFolder();

    // What Raise does: show the main window. The application sets it.
    void setRaiseHandler(std::function<void()> handler) { m_raiseHandler = std::move(handler); }
    // The bus name held; empty without a session bus.
    const QString& busName() const { return m_busName; }

    // ---- for the bus adaptors

    // Built afresh from the live state.
    NowPlayingSnapshot snapshot() const;
    NowPlayingCommands& commands() { return *m_commands; }
    const QDBusConnection& connection() const { return m_connection; }
    VolumeState& volume() { return m_volume; }
    void raise();

private:
    bool registerOnBus();
    void refresh();
    // Feeds the position to the jump detector; the position when it jumped.
    std::optional<qint64> positionJump(const NowPlayingSnapshot& now);
    void emitSeeked(qint64 positionMicroseconds);

    PlayContext& m_playContext;
    VolumeState& m_volume;
    QDBusConnection m_connection;
    QString m_busName;
    std::function<void()> m_raiseHandler;
    NowPlayingCommands* m_commands;
    NowPlayingArtwork* m_artwork;
    MprisPlayerAdaptor* m_playerAdaptor = nullptr;
    QTimer* m_refreshTimer;
    NowPlayingSnapshot m_published;
    PositionJumpDetector m_jumps;
    QElapsedTimer m_sincePublished;
};

} // namespace vessa
