#include "RaskoCoreAudio/AudioFileTags.h"

#include "RaskoCoreAudio/AudioFileInput.h"
#include "RaskoCoreAudio/TagNumber.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

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

std::optional<QString> tagValue(const AudioFileInput& input, const char* key)
{
    if (auto value = dictionaryValue(input.formatContext()->metadata, key))
        return value;
    return dictionaryValue(input.stream()->metadata, key);
}

std::optional<qint64> tagNumber(const AudioFileInput& input, const char* key)
{
    const std::optional<QString> value = tagValue(input, key);
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

} // namespace

TrackMetadata readAudioFileTags(const AudioFileInput& input)
{
    TrackMetadata metadata;
    metadata.title = tagValue(input, "title");
    metadata.artist = tagValue(input, "artist");
    metadata.album = tagValue(input, "album");
    metadata.trackNumber = tagNumber(input, "track");
    metadata.discNumber = tagNumber(input, "disc");
    metadata.artworkData = coverArt(*input.formatContext());
    metadata.duration = input.duration();
    return metadata;
}

} // namespace vessa
