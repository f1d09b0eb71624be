#pragma once

#include "Rasko/DecoderPlugin.h"
#include "Rasko/MetadataExtractor.h"

#include "VessaCore/AudioFormat.h"

#include <QSet>
#include <QString>

namespace vessa {

// Plays and describes tracker modules (MOD, XM, IT, S3M and the other
// pattern-based formats) through libmikmod, whose software mixer renders into
// memory through the "Buffer" output driver. Streams are 44.1 kHz stereo, have
// no duration and end when the song ends; seeking goes to the order-list
// position seconds / 2. The sub-track index and the hints play no part.
//
// Thread-safe: open, the seek operation and extract block (call them off the
// main thread) and may run on several threads at once; all library calls are
// serialised by MikmodLibrary::lock().
class MikmodDecoderPlugin final : public DecoderPlugin, public MetadataExtractor {
public:
    MikmodDecoderPlugin();

    QString name() const override;
    QSet<QString> supportedExtensions() const override;

    // Throws FileReadError or MikmodError.
    AudioStream open(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                     const DecoderHints& hints) override;

    // The song name as title and the module type as album. Throws like open.
    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) override;

    static constexpr AudioFormat streamFormat() { return AudioFormat(44100.0, 2, 4, false); }

private:
    QString m_name;
    QSet<QString> m_supportedExtensions;
};

} // namespace vessa
