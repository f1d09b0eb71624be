#pragma once

#include "Rasko/AudioStream.h"
#include "Rasko/DecoderHints.h"
#include "Rasko/SourceLocator.h"

#include <QSet>
#include <QString>

#include <memory>
#include <optional>

namespace vessa {

// Opens a location as a stream of PCM buffers. Thread-safe; open blocks (call
// it off the main thread) and throws on failure. canDecode is a quick test
// without side effects.
class DecoderPlugin {
public:
    virtual ~DecoderPlugin() = default;

    virtual QString name() const = 0;
    // Lower-case extensions without the dot.
    virtual QSet<QString> supportedExtensions() const = 0;
    // Default: the lower-cased argument is one of supportedExtensions().
    virtual bool canDecode(const QString& fileExtension) const;
    // Absent subTrackIndex: the file's first track; single-track decoders
    // ignore it. A decoder reads the hints it has a use for.
    virtual AudioStream open(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                             const DecoderHints& hints) = 0;
    // The form above with no hints (a subclass's own open hides this one:
    // call it through a DecoderPlugin).
    AudioStream open(const SourceLocator& locator, std::optional<qint64> subTrackIndex)
    {
        return open(locator, subTrackIndex, DecoderHints());
    }
};

using DecoderPluginPtr = std::shared_ptr<DecoderPlugin>;

} // namespace vessa
