#include "Vessa/App/NowPlaying/NowPlayingBridge.h"

#include "Oblin/PlayContext.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/NowPlaying/MprisPlayerAdaptor.h"
#include "Vessa/App/NowPlaying/MprisProperties.h"
#include "Vessa/App/NowPlaying/MprisRootAdaptor.h"
#include "Vessa/App/NowPlaying/NowPlayingArtwork.h"
#include "Vessa/App/NowPlaying/NowPlayingCommands.h"
#include "Vessa/App/NowPlaying/VolumeState.h"
#include "VessaCore/Clock.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QStandardPaths>
#include <QTimer>

namespace vessa {

namespace {

const QString serviceName = QStringLiteral("org.mpris.MediaPlayer2.vessa");

} // namespace

NowPlayingBridge::NowPlayingBridge(PlayContext& playContext, VolumeState& volume, const QString& cacheFolder,
                                   QObject* parent)
    : QObject(parent),
      m_playContext(playContext),
      m_volume(volume),
      m_connection(QDBusConnection::sessionBus()),
      m_commands(new NowPlayingCommands(playContext, this)),
      m_artwork(new NowPlayingArtwork(cacheFolder, this)),
      m_refreshTimer(new QTimer(this))
{
    m_commands->setSeekedHandler([this](qint64 position) {
        // The clock reaches the target later; that jump is this one.
        m_jumps.announce(position);
        emitSeeked(position);
    });
    if (!m_connection.isConnected()) {
        logInfo(lcNowPlaying(),
                QStringLiteral("No session bus: media keys and desktop playback controls are unavailable"));
        return;
    }
    if (!registerOnBus())
        return;
    logInfo(lcNowPlaying(), QStringLiteral("Remote commands registered"));
    m_published = snapshot();
    m_sincePublished.start();
    positionJump(m_published);
    connect(m_refreshTimer, &QTimer::timeout, this, &NowPlayingBridge::refresh);
    m_refreshTimer->start(refreshIntervalMilliseconds);
}

NowPlayingBridge::~NowPlayingBridge()
{
    m_refreshTimer->stop();
    if (!m_busName.isEmpty()) {
        m_connection.unregisterService(m_busName);
        m_connection.unregisterObject(mpris::objectPath());
    }
}

QString NowPlayingBridge::defaultCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

bool NowPlayingBridge::registerOnBus()
{
    new MprisRootAdaptor(*this);
    m_playerAdaptor = new MprisPlayerAdaptor(*this);
    // The object first: clients look at it as soon as the name appears.
    if (!m_connection.registerObject(mpris::objectPath(), this, QDBusConnection::ExportAdaptors)) {
        logError(lcNowPlaying(), QStringLiteral("Failed to register %1 on the session bus: %2")
                                     .arg(mpris::objectPath(), m_connection.lastError().message()));
        return false;
    }
    const QString instanceName =
        serviceName + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
    for (const QString& name : {serviceName, instanceName}) {
        if (m_connection.registerService(name)) {
            m_busName = name;
            logInfo(lcNowPlaying(), QStringLiteral("Now playing published as %1").arg(name));
            return true;
        }
    }
    logError(lcNowPlaying(),
             QStringLiteral("Failed to own a bus name for now playing: %1").arg(m_connection.lastError().message()));
    m_connection.unregisterObject(mpris::objectPath());
    return false;
}

NowPlayingSnapshot NowPlayingBridge::snapshot() const
{
    const Clock& clock = *m_playContext.clock();
    return buildNowPlayingSnapshot(NowPlayingInput{
        .track = m_playContext.currentTrack(),
        .metadata = m_playContext.currentMetadata(),
        .transport = m_playContext.transportState(),
        .position = clock.position(),
        .duration = clock.duration(),
        .volume = m_volume.value(),
        .artworkUrl = m_artwork->url(),
    });
}

void NowPlayingBridge::raise()
{
    logDebug(lcNowPlaying(), QStringLiteral("Remote command: raise"));
    if (m_raiseHandler)
        m_raiseHandler();
}

void NowPlayingBridge::refresh()
{
    const std::optional<TrackMetadata>& metadata = m_playContext.currentMetadata();
    m_artwork->show(metadata && metadata->artworkData ? *metadata->artworkData : QByteArray());

    const NowPlayingSnapshot now = snapshot();
    const QVariantMap changed = changedPlayerProperties(m_published, now);
    if (!changed.isEmpty()) {
        QDBusMessage signal =
            QDBusMessage::createSignal(mpris::objectPath(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("PropertiesChanged"));
        signal << mpris::playerInterface() << changed << QStringList();
        m_connection.send(signal);
    }
    const std::optional<qint64> jump = positionJump(now);
    m_published = now;
    if (jump)
        emitSeeked(*jump);
}

std::optional<qint64> NowPlayingBridge::positionJump(const NowPlayingSnapshot& now)
{
    const qint64 elapsed = m_sincePublished.restart() * 1000;
    return m_jumps.update(now.track ? now.track->trackId : QString(), now.positionMicroseconds,
                          now.status == PlaybackStatus::playing, elapsed);
}

void NowPlayingBridge::emitSeeked(qint64 positionMicroseconds)
{
    if (!m_playerAdaptor)
        return;
    logDebug(lcNowPlaying(), QStringLiteral("Seeked to %1 us").arg(positionMicroseconds));
    emit m_playerAdaptor->Seeked(positionMicroseconds);
}

} // namespace vessa
