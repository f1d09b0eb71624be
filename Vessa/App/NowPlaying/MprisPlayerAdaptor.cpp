#include "Vessa/App/NowPlaying/MprisPlayerAdaptor.h"

#include "Vessa/App/NowPlaying/MprisProperties.h"
#include "Vessa/App/NowPlaying/NowPlayingBridge.h"
#include "Vessa/App/NowPlaying/NowPlayingCommands.h"
#include "Vessa/App/NowPlaying/VolumeState.h"

#include <QDBusConnection>

namespace vessa {

MprisPlayerAdaptor::MprisPlayerAdaptor(NowPlayingBridge& bridge) : QDBusAbstractAdaptor(&bridge), m_bridge(bridge)
{
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return toString(m_bridge.snapshot().status);
}

void MprisPlayerAdaptor::setRate(double rate)
{
    if (rate == 0.0)
        m_bridge.commands().pause();
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return mprisMetadata(m_bridge.snapshot().track);
}

double MprisPlayerAdaptor::volume() const
{
    return m_bridge.snapshot().volume;
}

void MprisPlayerAdaptor::setVolume(double volume)
{
    m_bridge.volume().setValue(volume);
}

qlonglong MprisPlayerAdaptor::position() const
{
    return m_bridge.snapshot().positionMicroseconds;
}

bool MprisPlayerAdaptor::canGoNext() const
{
    return m_bridge.snapshot().canGoNext;
}

bool MprisPlayerAdaptor::canGoPrevious() const
{
    return m_bridge.snapshot().canGoPrevious;
}

bool MprisPlayerAdaptor::canPlay() const
{
    return m_bridge.snapshot().canPlay;
}

bool MprisPlayerAdaptor::canPause() const
{
    return m_bridge.snapshot().canPause;
}

bool MprisPlayerAdaptor::canSeek() const
{
    return m_bridge.snapshot().canSeek;
}

void MprisPlayerAdaptor::Next()
{
    m_bridge.commands().next();
}

void MprisPlayerAdaptor::Previous()
{
    m_bridge.commands().previous();
}

void MprisPlayerAdaptor::Pause()
{
    m_bridge.commands().pause();
}

void MprisPlayerAdaptor::PlayPause()
{
    m_bridge.commands().playPause();
}

void MprisPlayerAdaptor::Stop()
{
    m_bridge.commands().stop();
}

void MprisPlayerAdaptor::Play()
{
    m_bridge.commands().play();
}

void MprisPlayerAdaptor::Seek(qlonglong Offset)
{
    m_bridge.commands().seek(Offset);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position)
{
    m_bridge.commands().setPosition(TrackId.path(), Position);
}

void MprisPlayerAdaptor::OpenUri(const QString& Uri, const QDBusMessage& message)
{
    Q_UNUSED(Uri);
    // No URI schemes are supported, so nothing can be opened.
    message.setDelayedReply(true);
    m_bridge.connection().send(
        message.createErrorReply(QDBusError::NotSupported, QStringLiteral("Vessa opens no URIs from the bus")));
}

} // namespace vessa
