#pragma once

#include "RaskoLocalFile/FileEntry.h"
#include "RaskoLocalFile/IndexedFileDates.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "RaskoLocalFile/ScanTrigger.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <exception>
#include <future>
#include <optional>
#include <utility>

namespace vessa {

// What a scan finds against the index, worked out file by file while the
// folders are listed, so that a scan of a large library never holds a list
// of every file on disk beside the library: the files that are new or
// changed, the archives that had to be opened, the indexed paths that were
// not found and the marks that no longer hold.
//
// The index's dates and marks are read meanwhile on another thread; files
// listed before they arrive wait for them.
//
// Threads: one thread (the scan's) calls every member.
class ScanComparison {
public:
    // What the index holds, as read for the scan; a failure to read it
    // travels in `error`.
    struct Stored {
        IndexedFileDates dates;
        QHash<QString, MediaDatabase::FileMark> marks;
        MusicFolderEnumerator::IndexedArchives archives;
        QStringList mountPoints;
        std::exception_ptr error;
    };

    // `overlapping`: the music folders overlap, so one file may be listed
    // twice (it counts once). `supportedExtensions` as the listing's. A scan
    // the user asked for counts the files refused before as changed, and
    // opens the archives that hold one.
    ScanComparison(std::future<Stored> stored, bool overlapping, QSet<QString> supportedExtensions,
                   ScanTrigger trigger = ScanTrigger::automatic);

    // A file or archive as listed, in the listing's order.
    void add(FileEntry entry);
    // Once the listing is over: waits for the index and compares what waited
    // for it. Rethrows the index's failure to be read.
    void finish();

    // The mount points the index remembers (once finished).
    const QStringList& storedMountPoints() const { return m_stored->mountPoints; }
    // Files listed, each once (archive members counted, archives not).
    qsizetype found() const { return m_found; }
    // The new and changed files (listed not at their stored date), except
    // those refused before at their current size and date (unless the user
    // asked for the scan), in listing order.
    const QList<FileEntry>& changed() const { return m_changed; }
    QList<FileEntry> takeChanged() { return std::exchange(m_changed, {}); }
    // The archives opened and listed, in listing order.
    QList<FileEntry> takeOpenedArchives() { return std::exchange(m_openedArchives, {}); }
    // The indexed paths not listed, except those under `keptDirectories`.
    QStringList vanished(const QStringList& keptDirectories) const;
    // The paths of the marks that no longer hold: their file (a member's
    // archive) was not listed, unless it lies under `keptDirectories`, or
    // has another size or date now, or it is refused and read again.
    QStringList staleMarks(const QStringList& keptDirectories) const;

private:
    void takeStored();
    // An entry once the index is known: an archive gives way to its members.
    void compare(FileEntry entry);
    void compareFile(FileEntry entry);

    std::future<Stored> m_reading;
    std::optional<Stored> m_stored;
    const bool m_overlapping;
    const QSet<QString> m_supportedExtensions;
    const ScanTrigger m_trigger;
    QList<FileEntry> m_waiting; // listed before the index arrived
    // The files the marks name (an archive for a member's mark), with their
    // listing once listed.
    QHash<QString, std::optional<MusicFolderEnumerator::FileState>> m_markedFiles;
    QSet<QString> m_listed; // every path listed, kept only when folders overlap
    qsizetype m_found = 0;
    QList<FileEntry> m_changed;
    QList<FileEntry> m_openedArchives;
    QStringList m_refusedReadAgain;
};

} // namespace vessa
