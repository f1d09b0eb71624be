#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"

#include "RaskoCoreAudio/AudioFileBufferStream.h"
#include "RaskoCoreAudio/AudioFileInput.h"
#include "RaskoCoreAudio/AudioFileTags.h"
#include "RaskoCoreAudio/CoreAudioDecoderError.h"
#include "RaskoCoreAudio/FFmpegLog.h"
#include "VessaCore/Logging.h"

#include <algorithm>
#include <cmath>

namespace vessa {

namespace {

VESSA_LOGGING_CATEGORY(lcDecode, "rasko.coreaudio", "decode")

// The first frame of a seek: trunc(seconds x rate). NaN and negative
// positions count as 0; positions far past any file's end (centuries) are
// held to a frame number that every time base can still express.
qint64 seekFrame(double seconds, double sampleRate)
{
    constexpr double farPastAnyEnd = 1LL << 40;
    const double frame = std::trunc(seconds * sampleRate);
    if (!(frame > 0))
        return 0;
    return static_cast<qint64>(std::min(frame, farPastAnyEnd));
}

} // namespace

CoreAudioDecoderPlugin::CoreAudioDecoderPlugin(quint32 framesPerChunk)
    : m_name(QStringLiteral("CoreAudio")),
      m_supportedExtensions({QStringLiteral("mp3"), QStringLiteral("m4a"), QStringLiteral("aac"),
                             QStringLiteral("alac"), QStringLiteral("wav"), QStringLiteral("aiff"),
                             QStringLiteral("aif"), QStringLiteral("flac"), QStringLiteral("caf")}),
      m_framesPerChunk(std::max<quint32>(framesPerChunk, 1))
{
    routeFFmpegLogging();
}

QString CoreAudioDecoderPlugin::name() const
{
    return m_name;
}

QSet<QString> CoreAudioDecoderPlugin::supportedExtensions() const
{
    return m_supportedExtensions;
}

AudioStream CoreAudioDecoderPlugin::open(const SourceLocator& locator, std::optional<qint64>, const DecoderHints&)
{
    std::unique_ptr<AudioFileInput> input;
    try {
        input = std::make_unique<AudioFileInput>(locator);
    } catch (const CoreAudioDecoderError& error) {
        const QString where = locator.isData() ? AudioFileInput::displayName(locator) : locator.path();
        logError(lcDecode(), QStringLiteral("Failed to open %1: %2").arg(where, error.message()));
        throw;
    }
    input->countEstimatedLength(locator);
    const AudioFormat format = input->format();
    logDebug(lcDecode(), QStringLiteral("Opened: %1, %2Hz, %3ch")
                             .arg(AudioFileInput::displayName(locator), QString::number(format.sampleRate, 'f', 6),
                                  QString::number(format.channelCount)));

    const auto shared = std::make_shared<const AudioFileBufferStream::Source>(
        AudioFileBufferStream::Source{locator, format, input->lengthInFrames(), m_framesPerChunk});

    const std::optional<double> duration = input->duration();
    auto buffers = std::make_unique<AudioFileBufferStream>(shared, 0, std::move(input));
    // Only a file position is set here: nothing long to stop.
    SeekHandler seek = [shared](double seconds, std::stop_token) -> PcmBufferStreamPtr {
        const qint64 startFrame = seekFrame(seconds, shared->format.sampleRate);
        return std::make_unique<AudioFileBufferStream>(shared, startFrame, nullptr);
    };
    return AudioStream(format, duration, std::move(buffers), std::move(seek));
}

TrackMetadata CoreAudioDecoderPlugin::extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex)
{
    TrackMetadata metadata = readAudioFileTags(locator);
    metadata.subTrackIndex = subTrackIndex;
    return metadata;
}

} // namespace vessa
