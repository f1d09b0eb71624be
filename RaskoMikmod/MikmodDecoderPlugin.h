#pragma once

#include "Rasko/DecoderPlugin.h"
#include "Rasko/MetadataExtractor.h"

#include "RaskoHelper/HelperPool.h"
#include "VessaCore/AudioFormat.h"

#include <QSet>
#include <QString>

#include <stop_token>

namespace vessa {

// Plays and describes tracker modules (MOD, XM, IT, S3M and the other
// pattern-based formats) through libmikmod, whose software mixer renders into
// memory through the "Buffer" output driver. Streams are 44.1 kHz stereo, have
// no duration and end when the song ends; a seek plays from the point that
// playing from the start reaches at that time. The sub-track index and the
// hints play no part.
//
// Every library call runs in a worker of the decoder helper (HelperPool) that
// has libmikmod to itself, so no module inherits another's library state, and
// a damaged module that crashes the library or overruns its time or memory
// costs only its own operation (DecoderStoppedError).
//
// Thread-safe: open, the seek operation and extract block (call them off the
// main thread) and may run on several threads at once. A stop of the open's
// hints, of a seek or of extractWithStop kills the busy worker at once
// (CancellationError).
class MikmodDecoderPlugin final : public DecoderPlugin, public MetadataExtractor {
public:
    // The helper beside the running executable unless another is named.
    explicit MikmodDecoderPlugin(const QString& helperExecutable = QString());

    QString name() const override;
    QSet<QString> supportedExtensions() const override;

    // Throws FileReadError, MikmodError or DecoderStoppedError.
    AudioStream open(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                     const DecoderHints& hints) override;

    // The song name as title and the module type as album. Throws like open.
    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) override;
    TrackMetadata extractWithStop(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                                  std::stop_token stop) override;

    static constexpr AudioFormat streamFormat() { return AudioFormat(44100.0, 2, 4, false); }

private:
    std::shared_ptr<HelperPool> m_helpers;
    QString m_name;
    QSet<QString> m_supportedExtensions;
};

} // namespace vessa
