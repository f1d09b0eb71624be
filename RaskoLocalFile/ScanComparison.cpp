#include "RaskoLocalFile/ScanComparison.h"

#include "RaskoLocalFile/ZipArchive.h"
#include "RaskoLocalFile/ZipMemberPath.h"

#include <chrono>

namespace vessa {

namespace {

// The file a mark vouches for: a member's archive, else the marked file.
QString fileOf(const QString& markedPath)
{
    const std::optional<ZipMemberPath::Parts> member = ZipMemberPath::split(markedPath);
    return member ? member->archivePath : markedPath;
}

} // namespace

ScanComparison::ScanComparison(std::future<Stored> stored, bool overlapping, QSet<QString> supportedExtensions,
                               ScanTrigger trigger)
    : m_reading(std::move(stored)),
      m_overlapping(overlapping),
      m_supportedExtensions(std::move(supportedExtensions)),
      m_trigger(trigger)
{
}

void ScanComparison::add(FileEntry entry)
{
    if (!m_stored) {
        if (m_reading.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            m_waiting.append(std::move(entry));
            return;
        }
        takeStored();
    }
    compare(std::move(entry));
}

void ScanComparison::finish()
{
    if (!m_stored)
        takeStored();
    if (m_stored->error)
        std::rethrow_exception(m_stored->error);
}

void ScanComparison::takeStored()
{
    m_stored = m_reading.get();
    for (const MediaDatabase::FileMark& mark : std::as_const(m_stored->marks)) {
        m_markedFiles.insert(fileOf(mark.filePath), std::nullopt);
        // An archive holding a refused member is opened, so that the member is read again.
        if (m_trigger == ScanTrigger::user && mark.kind == MediaDatabase::FileMark::Kind::refused)
            m_stored->archives.remove(fileOf(mark.filePath));
    }
    for (FileEntry& entry : m_waiting)
        compare(std::move(entry));
    m_waiting = {};
}

void ScanComparison::compare(FileEntry entry)
{
    // A scan that fails for want of the index compares nothing.
    if (m_stored->error)
        return;
    if (!m_markedFiles.isEmpty()) {
        const auto marked = m_markedFiles.find(entry.url);
        if (marked != m_markedFiles.end())
            *marked = MusicFolderEnumerator::FileState{entry.lastModified, entry.size};
    }
    if (!ZipArchive::isArchiveExtension(entry.ext)) {
        compareFile(std::move(entry));
        return;
    }
    MusicFolderEnumerator::ExpandedArchive archive =
        MusicFolderEnumerator::expandArchive(entry, m_supportedExtensions, m_stored->archives);
    if (archive.opened)
        m_openedArchives.append(entry);
    for (FileEntry& member : archive.members)
        compareFile(std::move(member));
}

void ScanComparison::compareFile(FileEntry entry)
{
    if (m_overlapping) {
        if (m_listed.contains(entry.path))
            return;
        m_listed.insert(entry.path);
    }
    ++m_found;
    // A date that differs either way means the file was replaced.
    const std::optional<QDateTime> storedDate = m_stored->dates.find(entry.path);
    if (storedDate && *storedDate == entry.lastModified)
        return;
    // Refused before as it is now (same size and date): not read again,
    // unless the user asked for the scan. Its mark then goes, and comes
    // back if it is refused again.
    const auto mark = m_stored->marks.constFind(entry.path);
    if (mark != m_stored->marks.cend() && mark->kind == MediaDatabase::FileMark::Kind::refused
        && mark->size == entry.size && mark->lastModified == entry.lastModified) {
        if (m_trigger != ScanTrigger::user)
            return;
        m_refusedReadAgain.append(entry.path);
    }
    m_changed.append(std::move(entry));
}

QStringList ScanComparison::vanished(const QStringList& keptDirectories) const
{
    QStringList paths = m_stored->dates.notFound();
    paths.removeIf(
        [&keptDirectories](const QString& path) { return MusicFolderEnumerator::liesUnder(path, keptDirectories); });
    return paths;
}

QStringList ScanComparison::staleMarks(const QStringList& keptDirectories) const
{
    QStringList stale = m_refusedReadAgain;
    for (const MediaDatabase::FileMark& mark : std::as_const(m_stored->marks)) {
        const QString path = fileOf(mark.filePath);
        const std::optional<MusicFolderEnumerator::FileState> file = m_markedFiles.value(path);
        // A folder that is missing for now keeps its marks with its rows.
        if (!file && MusicFolderEnumerator::liesUnder(path, keptDirectories))
            continue;
        if (!file || file->size != mark.size || file->lastModified != mark.lastModified)
            stale.append(mark.filePath);
    }
    return stale;
}

} // namespace vessa
