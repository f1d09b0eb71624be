// Track references: every reading of arbitrary text, the JSON round trip, and
// references built from fields giving those fields back.

#include "VessaCore/Error.h"
#include "VessaCore/TrackRef.h"
#include "fuzz/FuzzInput.h"

#include <QStringList>

using namespace vessa;

namespace {

qint64 takeNumber(fuzz::FuzzInput& input)
{
    qint64 value = 0;
    for (int i = 0; i < 8; ++i)
        value = (value << 8) | input.takeByte();
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput input(data, size);
    // Option byte: bit 0 a duration, bit 1 a sub-track index, each 8 bytes.
    const std::uint8_t flags = input.takeByte();
    const std::optional<qint64> duration = flags & 1 ? std::optional(takeNumber(input)) : std::nullopt;
    const std::optional<qint64> index = flags & 2 ? std::optional(takeNumber(input)) : std::nullopt;
    const QString text = QString::fromUtf8(input.rest());

    const TrackRef ref(text);
    (void)ref.scheme();
    (void)ref.identifier();
    (void)ref.artist();
    (void)ref.album();
    (void)ref.track();
    (void)ref.durationHint();
    (void)ref.subTrackIndex();
    fuzz::check(TrackRef::fromJson(ref.toJson()) == ref, "the JSON form gives the same reference back");

    // The text's first three lines as the fields of a reference built from them.
    const QStringList lines = text.split(u'\n');
    const QString artist = lines.value(0), album = lines.value(1), track = lines.value(2);
    const TrackRef built(artist, album, track, duration, index);
    fuzz::check(built.scheme() == QStringLiteral("track"), "a built reference has the track scheme");
    fuzz::check(built.artist() == artist && built.album() == album && built.track() == track,
                "a built reference gives its text fields back");
    fuzz::check(built.durationHint() == duration, "a built reference gives its duration back");
    fuzz::check(built.subTrackIndex() == index, "a built reference gives its sub-track index back");
    fuzz::check(TrackRef(built.uri()) == built, "a reference read from a built one's text is equal");
    return 0;
}
