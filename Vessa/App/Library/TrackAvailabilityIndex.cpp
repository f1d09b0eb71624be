#include "Vessa/App/Library/TrackAvailabilityIndex.h"

#include "Rasko/FileHint.h"

#include <QFileInfo>

namespace vessa {

namespace {

QSet<TrackRef> unionOf(const QHash<QString, QSet<TrackRef>>& setsBySource)
{
    if (setsBySource.size() == 1) // the usual case: shared, not copied
        return *setsBySource.cbegin();
    QSet<TrackRef> all;
    for (const QSet<TrackRef>& refs : setsBySource)
        all.unite(refs);
    return all;
}

} // namespace

TrackAvailabilityIndex::TrackAvailabilityIndex(QObject* parent) : QObject(parent)
{
}

void TrackAvailabilityIndex::setRefs(const QString& sourceKey, const QSet<TrackRef>& refs)
{
    m_refsBySource.insert(sourceKey, refs);
    if (rebuildMergedSets())
        emit changed();
}

void TrackAvailabilityIndex::setLibrary(std::shared_ptr<const LibraryRefIndex> library)
{
    if (!library)
        library = std::make_shared<const LibraryRefIndex>();
    const bool changed = !library->sameAs(*m_library);
    // The same tracks are taken too, so that an old list is not kept alive.
    m_library = std::move(library);
    if (changed)
        emit this->changed();
}

bool TrackAvailabilityIndex::rebuildMergedSets()
{
    QSet<TrackRef> all = unionOf(m_refsBySource);
    QSet<TrackRef> allDownloadable = unionOf(m_downloadableBySource);
    const bool changed = all != m_allRefs || allDownloadable != m_allDownloadable;
    // Equal sets are taken too: the old ones may hold the texts of a library
    // that has since been read again, which would otherwise stay in memory.
    m_allRefs = std::move(all);
    m_allDownloadable = std::move(allDownloadable);
    return changed;
}

TrackAvailability TrackAvailabilityIndex::availability(const TrackRef& ref, const std::optional<QString>& fileHint,
                                                       const std::optional<QString>& playlistFilePath) const
{
    if (m_library->isPlayable(ref) || m_allRefs.contains(ref))
        return TrackAvailability::available;
    if (fileHint && fileHintExists(*fileHint, playlistFilePath))
        return TrackAvailability::available;
    if (m_allDownloadable.contains(ref))
        return TrackAvailability::downloadable;
    return TrackAvailability::unavailable;
}

bool TrackAvailabilityIndex::fileHintExists(const QString& hint, const std::optional<QString>& playlistFilePath)
{
    // An empty hint, or the relative head alone, would name the playlist's
    // own folder, which always exists: it names no track's file.
    if (hint.isEmpty() || hint == QLatin1String("file://"))
        return false;
    const std::optional<QString> path = FileHint::resolve(hint, playlistFilePath, FileHint::BadEscapes::unresolvable);
    // A NUL cannot be part of a file name; a bare hint may still hold one.
    if (!path || path->contains(QChar(u'\0')))
        return false;
    return QFileInfo::exists(*path);
}

} // namespace vessa
