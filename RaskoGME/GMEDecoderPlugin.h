#pragma once

#include "Rasko/DecoderPlugin.h"
#include "Rasko/MetadataExtractor.h"
#include "Rasko/MultiTrackScanner.h"
#include "RaskoGME/GMEEmu.h"

namespace vessa {

// Chip music (NES, SNES, Game Boy, Master System/Genesis, PC Engine, ZX
// Spectrum, MSX, Atari ...) through the libgme emulators. A file may hold
// several sub-tracks; open plays one, extract reads one's tags and
// scanTracks lists them all.
//
// Immutable and thread-safe: every call builds its own emulator, so calls may
// run in parallel from any background thread. open, extract, scanTracks and
// the streams' seek operations block (file reading, emulation) and throw
// GMEError (or FileReadError for an unreadable file).
class GMEDecoderPlugin final : public DecoderPlugin, public MetadataExtractor, public MultiTrackScanner {
public:
    static constexpr int framesPerChunk = 8192;
    // A finite track fades out over the last this-many milliseconds of its play length.
    static constexpr int fadeLeadMilliseconds = 8000;
    // Stereo at the rate the emulators render at.
    static constexpr AudioFormat streamFormat() { return AudioFormat(GMEEmu::playbackSampleRate, 2, 4, false); }

    GMEDecoderPlugin();

    QString name() const override;
    QSet<QString> supportedExtensions() const override;
    // The stream has a duration (the track's play length) and fades out at its
    // end unless `hints.infiniteLoop` asks for endless playback.
    AudioStream open(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                     const DecoderHints& hints) override;

    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) override;

    bool canScan(const QString& fileExtension) const override;
    QList<ScannedSubTrack> scanTracks(const QByteArray& data, const QString& fileExtension) override;

private:
    const QString m_name;
    const QSet<QString> m_supportedExtensions;
};

} // namespace vessa
