#include "RaskoGME/GMEDecoderPlugin.h"

#include "RaskoGME/GMEBufferStream.h"
#include "RaskoGME/GMEEmu.h"
#include "RaskoGME/GMEError.h"

#include <algorithm>

namespace vessa {

namespace {

std::optional<double> secondsFromMilliseconds(int milliseconds)
{
    if (milliseconds < 1)
        return std::nullopt;
    return milliseconds / 1000.0;
}

// Whether a stream with this play length ends by itself (fading out) rather
// than playing until the music stops.
bool fadesOut(int playLength, bool infiniteLoop)
{
    return playLength >= 1 && !infiniteLoop;
}

// Starts the sub-track for playback. A finite track fades out over the last
// 8 s of its play length; one shorter than that fades from its start, since
// the library takes a negative fade start as "never fade" and would loop it
// forever. An endless one also lifts the library's own length limit (SPC).
void startPlayback(GMEEmu& emu, int index, int playLength, bool infiniteLoop)
{
    if (infiniteLoop)
        emu.setAutoloadPlaybackLimit(false);
    emu.startTrack(index);
    if (fadesOut(playLength, infiniteLoop))
        emu.setFade(std::max(0, playLength - GMEDecoderPlugin::fadeLeadMilliseconds));
}

} // namespace

GMEDecoderPlugin::GMEDecoderPlugin()
    : m_name(QStringLiteral("GameMusicEmu")),
      m_supportedExtensions({QStringLiteral("nsf"), QStringLiteral("nsfe"), QStringLiteral("spc"),
                             QStringLiteral("gbs"), QStringLiteral("vgm"), QStringLiteral("vgz"), QStringLiteral("gym"),
                             QStringLiteral("hes"), QStringLiteral("ay"), QStringLiteral("kss"), QStringLiteral("sap")})
{
}

QString GMEDecoderPlugin::name() const
{
    return m_name;
}

QSet<QString> GMEDecoderPlugin::supportedExtensions() const
{
    return m_supportedExtensions;
}

AudioStream GMEDecoderPlugin::open(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                                   const DecoderHints& hints)
{
    const QByteArray bytes = locator.contents();
    const std::optional<QString> extension =
        hints.fileExtension ? hints.fileExtension : locator.inferredFileExtension();
    const qint64 requestedIndex = subTrackIndex.value_or(0);

    GMEEmu emu = GMEEmu::open(bytes, extension, GMEEmu::playbackSampleRate);
    const int count = emu.trackCount();
    if (requestedIndex < 0 || requestedIndex >= count)
        throw GMEError::trackOutOfRange(requestedIndex, count);
    const int index = static_cast<int>(requestedIndex);

    const std::optional<GMETrackInfo> info = emu.trackInfo(index);
    const int playLength = info ? info->playLength : -1;
    const bool infiniteLoop = hints.infiniteLoop;
    startPlayback(emu, index, playLength, infiniteLoop);

    const std::optional<double> duration =
        fadesOut(playLength, infiniteLoop) ? secondsFromMilliseconds(playLength) : std::nullopt;
    const AudioFormat format = streamFormat();

    // A seek opens a new emulator from the held bytes and skips ahead in it.
    SeekHandler seek = [bytes, extension, playLength, infiniteLoop, index, format](double seconds) {
        GMEEmu seeking = GMEEmu::open(bytes, extension, GMEEmu::playbackSampleRate);
        startPlayback(seeking, index, playLength, infiniteLoop);
        int milliseconds = GMEEmu::millisecondsFor(seconds);
        // Past the end of the fade there is nothing left to hear; going no
        // further than that keeps a wild position from emulating for ages.
        if (fadesOut(playLength, infiniteLoop))
            milliseconds = std::min(milliseconds, std::max(playLength, fadeLeadMilliseconds));
        seeking.seek(milliseconds);
        return PcmBufferStreamPtr(std::make_unique<GMEBufferStream>(std::move(seeking), format, framesPerChunk));
    };

    return AudioStream(format, duration, std::make_unique<GMEBufferStream>(std::move(emu), format, framesPerChunk),
                       std::move(seek));
}

TrackMetadata GMEDecoderPlugin::extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex)
{
    const QByteArray bytes = locator.contents();
    const GMEEmu emu = GMEEmu::open(bytes, locator.inferredFileExtension(), GMEEmu::infoOnlySampleRate);
    const std::optional<GMETrackInfo> info = emu.trackInfo(GMEEmu::clampToInt(subTrackIndex.value_or(0)));
    if (!info)
        throw GMEError::noTrackInfo();

    TrackMetadata metadata;
    metadata.title = info->song;
    metadata.artist = info->author;
    metadata.album = info->game;
    metadata.duration = secondsFromMilliseconds(info->playLength);
    metadata.subTrackIndex = subTrackIndex;
    return metadata;
}

bool GMEDecoderPlugin::canScan(const QString& fileExtension) const
{
    return m_supportedExtensions.contains(fileExtension.toLower());
}

QList<ScannedSubTrack> GMEDecoderPlugin::scanTracks(const QByteArray& data, const QString& fileExtension)
{
    const GMEEmu emu = GMEEmu::open(data, fileExtension, GMEEmu::infoOnlySampleRate);
    const int count = emu.trackCount();
    QList<ScannedSubTrack> tracks;
    tracks.reserve(std::max(count, 0));
    for (int index = 0; index < count; ++index) {
        const std::optional<GMETrackInfo> info = emu.trackInfo(index);
        if (!info)
            continue;
        tracks.append(ScannedSubTrack(index, info->song.value_or(QStringLiteral("Track %1").arg(index + 1)),
                                      info->author.value_or(QString()), info->game.value_or(QString()),
                                      secondsFromMilliseconds(info->playLength)));
    }
    return tracks;
}

} // namespace vessa
