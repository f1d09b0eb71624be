#pragma once

#include "Rasko/DecoderPlugin.h"
#include "Rasko/MetadataExtractor.h"
#include "fuzz/FuzzInput.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <optional>

namespace vessa::fuzz {

// How one input drives a decoder plug-in, from two option bytes:
//   byte 1: the extension, k % (n + 1) over the plug-in's n sorted
//           extensions, 0 meaning none (the content alone decides)
//   byte 2: bits 0-2 the sub-track index, bit 3 endless playback (for the
//           file decoder: open the file rather than the bytes), bits 4-7 a
//           seek to that many seconds after the first decode (0: no seek)
struct DecoderFuzzOptions {
    std::optional<QString> extension;
    qint64 subTrackIndex = 0;
    bool infiniteLoop = false;
    int seekSeconds = 0;

    static DecoderFuzzOptions take(FuzzInput& input, const QSet<QString>& extensions);
    // The two option bytes for these options (as take() reads them back).
    QByteArray prefix(const QSet<QString>& extensions) const;
    // "input" with the extension, the name scratch copies of the input get.
    QString fileName() const;
};

// A decoder target's input: the options, then the file's bytes.
struct DecoderFuzzInput {
    DecoderFuzzOptions options;
    QByteArray bytes;

    DecoderFuzzInput(const std::uint8_t* data, std::size_t size, const QSet<QString>& extensions);
};

// Opens the locator, decodes a few seconds of it, seeks once when asked and
// decodes a little more, checking the stream's promises on the way. The
// plug-in's own errors are answers, not faults; anything else escapes.
void decodeBriefly(DecoderPlugin& plugin, const SourceLocator& locator, const DecoderFuzzOptions& options);

// Reads the tags through the extractor; its own errors are answers.
void extractTags(MetadataExtractor& extractor, const SourceLocator& locator, qint64 subTrackIndex);

} // namespace vessa::fuzz
