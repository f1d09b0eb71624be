#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>

// libgme's emulator type; its header stays inside GMEEmu.cpp because of the
// macros it defines.
struct Music_Emu;

namespace vessa {

// What the plug-in reads of one sub-track's information. Texts are absent
// when the library has none or an empty one.
struct GMETrackInfo {
    int playLength = -1; // milliseconds
    std::optional<QString> song;
    std::optional<QString> author;
    std::optional<QString> game;
};

// One libgme emulator, deleted with this object. Not thread-safe: one thread
// of control uses it at a time (the operation that opens it, then the stream
// it feeds). Every failing library call throws GMEError.
class GMEEmu {
public:
    static constexpr int playbackSampleRate = 44100;
    // Opens an emulator that reads track information and renders nothing.
    static constexpr int infoOnlySampleRate = -1;

    // Chooses the emulator by the extension when one is given (with or
    // without its leading '.') and the library knows it, else by the data's
    // contents. The library keeps its own copy of the data.
    static GMEEmu open(const QByteArray& data, const std::optional<QString>& fileExtension, int sampleRate);

    GMEEmu(GMEEmu&&) noexcept = default;
    GMEEmu& operator=(GMEEmu&&) noexcept = default;

    int trackCount() const;
    // Nothing when the library returns no record.
    std::optional<GMETrackInfo> trackInfo(int index) const;
    // Whether the library ends a track at the length stored in the file
    // itself (SPC tags). On by default; takes effect at startTrack.
    void setAutoloadPlaybackLimit(bool enabled);
    void startTrack(int index);
    // The track fades out over the 8 s after this point, then ends.
    void setFade(int startMilliseconds);
    void seek(int milliseconds);
    // Fills the whole span with interleaved left/right samples.
    void play(std::span<std::int16_t> interleavedStereo);
    bool trackEnded() const;

    // Whether a stream with this play length ends by itself (fading out)
    // rather than playing until the music stops.
    static bool fadesOut(int playLength, bool infiniteLoop) { return playLength >= 1 && !infiniteLoop; }

    // Library arguments are C ints: values outside that range are clamped.
    static int clampToInt(qint64 value)
    {
        return static_cast<int>(
            std::clamp<qint64>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    }
    // Whole milliseconds of a position, truncated toward zero; negative or
    // NaN positions give 0, huge ones the largest int.
    static int millisecondsFor(double seconds);

private:
    struct Deleter {
        void operator()(Music_Emu* emu) const noexcept;
    };

    explicit GMEEmu(Music_Emu* emu) : m_emu(emu) {}

    std::unique_ptr<Music_Emu, Deleter> m_emu;
};

} // namespace vessa
