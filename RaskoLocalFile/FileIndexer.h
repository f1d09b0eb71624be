#pragma once

#include "Rasko/MetadataExtractor.h"
#include "Rasko/MultiTrackScanner.h"
#include "RaskoLocalFile/FileEntry.h"
#include "RaskoLocalFile/MediaDatabase.h"

#include <QList>
#include <QString>

#include <optional>
#include <stop_token>

namespace vessa {

// Reads one scan entry into the rows the index should hold for it, without
// touching the database. A plain file or archive member goes to the metadata
// extractor; a file that the first willing multi-track scanner takes becomes
// one row per sub-track. A file that cannot be read, extracted or decoded is
// logged and skipped, so one damaged file never ends a scan; when the file
// (or its archive) could be opened, it counts as refused. A file whose
// reading a stop request ended is skipped without a word: it is not damaged.
//
// Immutable after construction; any thread, several at once (the extractor
// and scanners must allow that).
class FileIndexer {
public:
    // What to write for one entry.
    struct Result {
        enum class Kind {
            skipped,    // nothing: rows already indexed for the file stay
            refused,    // as skipped, but the file is not audio or is damaged
            single,     // upsert the one row
            multiTrack, // replace every row of `path` by `rows` (possibly none)
        };
        Kind kind = Kind::skipped;
        QString path;
        QList<MediaDatabase::TrackRow> rows;
    };

    // A plain file read whole for a multi-track scanner may not be larger.
    static constexpr qint64 maximumMultiTrackFileSize = qint64(256) * 1024 * 1024;

    FileIndexer(MetadataExtractorPtr metadataExtractor, QList<MultiTrackScannerPtr> multiTrackScanners);

    // Never throws. A stop request ends a tag read or a multi-track scan
    // early (the file is then skipped).
    Result index(const FileEntry& entry, std::stop_token stop = {}) const;

    // A duration in seconds as whole seconds (truncated toward zero);
    // nothing for a value that is absent, not finite, negative or too large.
    static std::optional<qint64> wholeSeconds(std::optional<double> seconds);

    // The entry's own file name without its extension: a member's own name,
    // not its archive's. A name that is not UTF-8 reads as Latin-1.
    static QString baseName(const FileEntry& entry);

private:
    Result indexSingleTrack(const FileEntry& entry, const SourceLocator& locator, std::stop_token stop) const;
    Result indexMultiTrack(const FileEntry& entry, MultiTrackScanner& scanner, const SourceLocator& locator,
                           std::stop_token stop) const;

    const MetadataExtractorPtr m_metadataExtractor;
    const QList<MultiTrackScannerPtr> m_multiTrackScanners;
};

} // namespace vessa
