#include "RaskoCoreAudio/AudioFileTags.h"

#include "RaskoCoreAudio/AudioContainer.h"
#include "RaskoCoreAudio/TagNumber.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <QSet>

#include <cstring>

namespace vessa {

namespace {

std::optional<QString> dictionaryValue(const AVDictionary* dictionary, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0);
    if (!entry || !entry->value || entry->value[0] == '\0')
        return std::nullopt;
    return QString::fromUtf8(entry->value);
}

std::optional<QString> tagValue(const AVFormatContext& format, const AVStream& stream, const char* key)
{
    if (auto value = dictionaryValue(format.metadata, key))
        return value;
    return dictionaryValue(stream.metadata, key);
}

std::optional<qint64> tagNumber(const AVFormatContext& format, const AVStream& stream, const char* key)
{
    const std::optional<QString> value = tagValue(format, stream, key);
    return value ? parseTagNumber(*value) : std::nullopt;
}

std::optional<QByteArray> coverArt(const AVFormatContext& format)
{
    const AVPacket* chosen = nullptr;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream* stream = format.streams[i];
        if (!(stream->disposition & AV_DISPOSITION_ATTACHED_PIC) || stream->attached_pic.size <= 0)
            continue;
        const AVDictionaryEntry* kind = av_dict_get(stream->metadata, "comment", nullptr, 0);
        if (kind && std::strcmp(kind->value, "Cover (front)") == 0) {
            chosen = &stream->attached_pic;
            break;
        }
        if (!chosen)
            chosen = &stream->attached_pic;
    }
    if (!chosen)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(chosen->data), chosen->size);
}

bool hasParameters(const AVStream& stream)
{
    return stream.codecpar->sample_rate > 0 && stream.codecpar->ch_layout.nb_channels > 0;
}

// Seconds: the stream's duration, else the container's; nothing when neither
// is known.
std::optional<double> knownDuration(const AVFormatContext& format, const AVStream& stream)
{
    const AVRational base = stream.time_base;
    if (stream.duration != AV_NOPTS_VALUE && stream.duration >= 0 && base.num > 0 && base.den > 0)
        return static_cast<double>(stream.duration) * base.num / base.den;
    if (format.duration != AV_NOPTS_VALUE && format.duration >= 0)
        return static_cast<double>(format.duration) / AV_TIME_BASE;
    return std::nullopt;
}

// Whether FFmpeg has a decoder for the codec; its list is searched once.
bool decodable(AVCodecID id)
{
    static const auto decoders = [] {
        QSet<int> ids;
        void* iterator = nullptr;
        while (const AVCodec* codec = av_codec_iterate(&iterator)) {
            if (av_codec_is_decoder(codec))
                ids.insert(codec->id);
        }
        return ids;
    }();
    return decoders.contains(id);
}

// The audio stream as the header describes it, when the header says enough
// for the tags: a stream of a codec FFmpeg decodes, and its length. (Its rate
// and channels are not needed; FLAC and MP3 headers leave them to the parser.)
AVStream* describedByHeader(AVFormatContext& format)
{
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        AVStream* stream = format.streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)
            && decodable(stream->codecpar->codec_id))
            return knownDuration(format, *stream) ? stream : nullptr;
    }
    return nullptr;
}

} // namespace

TrackMetadata readAudioFileTags(const SourceLocator& locator)
{
    AudioContainer container(locator);
    AVFormatContext* format = container.formatContext();
    AVStream* stream = describedByHeader(*format);
    const bool probed = stream == nullptr;
    if (probed) {
        container.findStreamInfo();
        const AVCodec* decoder = nullptr;
        stream = container.bestAudioStream(&decoder);
        if (!hasParameters(*stream))
            container.fail(AVERROR_INVALIDDATA);
    } else {
        container.readOnly(stream);
    }

    std::optional<double> duration = knownDuration(*format, *stream);
    if (probed && format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
        if (const std::optional<double> counted = container.readAudioPackets(*stream, AudioContainer::Reach::endOfData))
            duration = counted;
    } else {
        container.readAudioPackets(*stream, AudioContainer::Reach::firstAudioPacket);
    }

    TrackMetadata metadata;
    metadata.title = tagValue(*format, *stream, "title");
    metadata.artist = tagValue(*format, *stream, "artist");
    metadata.album = tagValue(*format, *stream, "album");
    metadata.trackNumber = tagNumber(*format, *stream, "track");
    metadata.discNumber = tagNumber(*format, *stream, "disc");
    metadata.artworkData = coverArt(*format);
    metadata.duration = duration;
    return metadata;
}

} // namespace vessa
