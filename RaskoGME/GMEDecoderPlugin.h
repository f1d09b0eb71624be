#pragma once

#include "Rasko/DecoderPlugin.h"
#include "Rasko/MetadataExtractor.h"
#include "Rasko/MultiTrackScanner.h"
#include "RaskoGME/GMEEmu.h"
#include "RaskoHelper/HelperPool.h"

#include <stop_token>

namespace vessa {

// Chip music (NES, SNES, Game Boy, Master System/Genesis, PC Engine, ZX
// Spectrum, MSX, Atari ...) through the libgme emulators. A file may hold
// several sub-tracks; open plays one, extract reads one's tags and
// scanTracks lists them all.
//
// Every library call runs in a worker of the decoder helper (HelperPool), so a
// damaged or hostile file costs only its own operation: a worker that
// crashes or overruns its time or memory turns into DecoderStoppedError.
//
// Immutable and thread-safe: every call has its own emulator, so calls may
// run in parallel from any background thread. open, extract, scanTracks and
// the streams' seek operations block (file reading, emulation) and throw
// GMEError (or FileReadError for an unreadable file, DecoderStoppedError).
class GMEDecoderPlugin final : public DecoderPlugin, public MetadataExtractor, public MultiTrackScanner {
public:
    static constexpr int framesPerChunk = 8192;
    // A finite track fades out over the last this-many milliseconds of its play length.
    static constexpr int fadeLeadMilliseconds = 8000;
    // Stereo at the rate the emulators render at.
    static constexpr AudioFormat streamFormat() { return AudioFormat(GMEEmu::playbackSampleRate, 2, 4, false); }

    // The helper beside the running executable unless another is named.
    explicit GMEDecoderPlugin(const QString& helperExecutable = QString());

    QString name() const override;
    QSet<QString> supportedExtensions() const override;
    // The stream has a duration (the track's play length) and fades out at its
    // end unless `hints.infiniteLoop` asks for endless playback. A stop of
    // `hints.stop`, or of a seek, ends the helper's work at once (CancellationError).
    AudioStream open(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                     const DecoderHints& hints) override;

    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) override;
    // A stop request ends the helper's work at once (CancellationError).
    TrackMetadata extractWithStop(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                                  std::stop_token stop) override;

    bool canScan(const QString& fileExtension) const override;
    QList<ScannedSubTrack> scanTracks(const QByteArray& data, const QString& fileExtension) override;
    // A stop request ends the helper's work at once (CancellationError).
    QList<ScannedSubTrack> scanTracksWithStop(const QByteArray& data, const QString& fileExtension,
                                              std::stop_token stop) override;

private:
    std::optional<GMETrackInfo> readTrackInfo(const QByteArray& bytes, const std::optional<QString>& extension,
                                              int index, const std::optional<QString>& fileName,
                                              std::stop_token stop) const;

    const std::shared_ptr<HelperPool> m_helpers;
    const QString m_name;
    const QSet<QString> m_supportedExtensions;
};

} // namespace vessa
