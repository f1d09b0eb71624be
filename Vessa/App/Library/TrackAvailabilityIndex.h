#pragma once

#include "Vessa/App/Library/LibraryRefIndex.h"
#include "Vessa/App/Library/TrackAvailability.h"
#include "VessaCore/TrackRef.h"

#include <QHash>
#include <QLatin1String>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

namespace vessa {

// Answers, for every row of the track lists, whether its track can be played:
// by library membership (sets of references per source) or by the entry's
// file hint naming something on disk. Observable: changed() tells the lists
// to redraw their marks.
//
// Threads: main thread only.
class TrackAvailabilityIndex : public QObject {
    Q_OBJECT

public:
    // The source key of the whole local library.
    static constexpr QLatin1String localFilesSource{"localFiles"};

    explicit TrackAvailabilityIndex(QObject* parent = nullptr);

    // Replaces the playable references of one source and rebuilds the merged
    // set. changed() is emitted only when the merged set really changed.
    void setRefs(const QString& sourceKey, const QSet<TrackRef>& refs);

    // The library's tracks: a reference is playable when the library says so.
    // changed() is emitted unless the list and its playable tracks are the
    // ones already set.
    void setLibrary(std::shared_ptr<const LibraryRefIndex> library);

    // Library membership first; then, when a hint is given, whether it names
    // an existing file or folder (relative hints count from the folder of
    // `playlistFilePath`; without one they name nothing). Touches the disk at
    // most once, and only for a hinted reference outside the library.
    TrackAvailability availability(const TrackRef& ref, const std::optional<QString>& fileHint = std::nullopt,
                                   const std::optional<QString>& playlistFilePath = std::nullopt) const;

signals:
    // The merged playable (or downloadable) set changed.
    void changed();

private:
    // Recomputes both unions; true when either changed.
    bool rebuildMergedSets();
    static bool fileHintExists(const QString& hint, const std::optional<QString>& playlistFilePath);

    std::shared_ptr<const LibraryRefIndex> m_library = std::make_shared<const LibraryRefIndex>();
    QHash<QString, QSet<TrackRef>> m_refsBySource;
    QSet<TrackRef> m_allRefs;
    // No source of this program offers downloads, so these stay empty and
    // `downloadable` is never answered; the lookup keeps its place for one.
    QHash<QString, QSet<TrackRef>> m_downloadableBySource;
    QSet<TrackRef> m_allDownloadable;
};

} // namespace vessa
