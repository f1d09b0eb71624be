#include "fuzz/DecoderFuzzing.h"

#include "VessaCore/Error.h"

#include <QStringList>

#include <algorithm>
#include <stop_token>

namespace vessa::fuzz {

namespace {

// At most this much audio per decode, so a looping or endless track ends.
constexpr double decodeSeconds = 2.0;
constexpr double decodeSecondsAfterSeek = 0.5;
// Bounds the buffer count too, should a stream hand out tiny buffers.
constexpr int maximumBuffers = 512;

QStringList sortedExtensions(const QSet<QString>& extensions)
{
    QStringList list(extensions.begin(), extensions.end());
    list.sort();
    return list;
}

void decode(PcmBufferStream& stream, const AudioFormat& format, double seconds)
{
    const auto budget = static_cast<qint64>(std::clamp(format.sampleRate, 1.0, 192000.0) * seconds);
    qint64 frames = 0;
    for (int count = 0; count < maximumBuffers && frames < budget; ++count) {
        const std::optional<PCMBuffer> buffer = stream.next({});
        if (!buffer) {
            check(!stream.next({}), "a finished stream stays finished");
            return;
        }
        frames += buffer->frameCount();
    }
    std::stop_source stop;
    stop.request_stop();
    check(!stream.next(stop.get_token()), "a stream asked to stop hands out nothing");
    check(!stream.next({}), "a stopped stream stays finished");
}

} // namespace

DecoderFuzzOptions DecoderFuzzOptions::take(FuzzInput& input, const QSet<QString>& extensions)
{
    const QStringList sorted = sortedExtensions(extensions);
    const std::uint8_t extensionByte = input.takeByte();
    const std::uint8_t flags = input.takeByte();
    DecoderFuzzOptions options;
    if (const qsizetype choice = extensionByte % (sorted.size() + 1); choice > 0)
        options.extension = sorted.at(choice - 1);
    options.subTrackIndex = flags & 0x07;
    options.infiniteLoop = (flags & 0x08) != 0;
    options.seekSeconds = flags >> 4;
    return options;
}

QByteArray DecoderFuzzOptions::prefix(const QSet<QString>& extensions) const
{
    const auto index = extension ? sortedExtensions(extensions).indexOf(*extension) + 1 : 0;
    check(index >= 0, "the seed's extension is one of the plug-in's");
    const int flags = int(subTrackIndex & 0x07) | (infiniteLoop ? 0x08 : 0) | (seekSeconds & 0x0F) << 4;
    return QByteArray(1, char(index)) + char(flags);
}

QString DecoderFuzzOptions::fileName() const
{
    return extension ? QStringLiteral("input.") + *extension : QStringLiteral("input");
}

DecoderFuzzInput::DecoderFuzzInput(const std::uint8_t* data, std::size_t size, const QSet<QString>& extensions)
{
    FuzzInput input(data, size);
    options = DecoderFuzzOptions::take(input, extensions);
    bytes = input.rest();
}

void decodeBriefly(DecoderPlugin& plugin, const SourceLocator& locator, const DecoderFuzzOptions& options)
{
    try {
        AudioStream stream =
            plugin.open(locator, options.subTrackIndex, DecoderHints(options.infiniteLoop, options.extension));
        check(stream.format.sampleRate > 0 && stream.format.channelCount > 0,
              "an opened stream has a sample rate and channels");
        check(stream.buffers != nullptr, "an opened stream has buffers");
        decode(*stream.buffers, stream.format, decodeSeconds);
        if (options.seekSeconds > 0 && stream.seek) {
            const PcmBufferStreamPtr seeked = stream.seek(options.seekSeconds, {});
            check(seeked != nullptr, "a seek gives a stream");
            decode(*seeked, stream.format, decodeSecondsAfterSeek);
        }
    } catch (const Error&) {
    }
}

void extractTags(MetadataExtractor& extractor, const SourceLocator& locator, qint64 subTrackIndex)
{
    try {
        extractor.extract(locator, subTrackIndex);
    } catch (const Error&) {
    }
}

} // namespace vessa::fuzz
