#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace vessa {

// The stored modification date of every indexed path, which a scan compares
// the files on disk with, in about a hundred bytes a path where a hash of
// texts took some two hundred: the paths' file-system bytes lie back to
// back in one buffer, found through an open-addressing table of their
// positions. Each path a scan finds is marked, so that afterwards the paths
// it did not find are known without a list of all it found.
//
// Threads: built and then used by one thread at a time.
class IndexedFileDates {
public:
    // Adds a path (its file-system bytes) with its stored date; a path added
    // again takes the later date.
    void add(QByteArrayView path, const QDateTime& date);

    // The number of distinct paths.
    qsizetype size() const { return qsizetype(m_dates.size()); }
    // The path's stored date, marking the path found; nothing when it is not
    // indexed.
    std::optional<QDateTime> find(const QString& path);
    // The indexed paths find() has not found, in no particular order.
    QStringList notFound() const;
    // Each path (its file-system bytes) with its date, in no particular order.
    void forEach(const std::function<void(QByteArrayView path, const QDateTime& date)>& visit) const;

private:
    QByteArrayView pathAt(size_t entry) const;
    // The slot holding the path, or the empty slot where it would go.
    size_t slotOf(QByteArrayView path) const;
    std::optional<size_t> entryOf(const QString& path) const;
    void grow();

    QByteArray m_paths;                 // every path's bytes, back to back
    std::vector<qsizetype> m_starts{0}; // where each path begins; one more marks the end
    std::vector<QDateTime> m_dates;     // by entry
    std::vector<bool> m_found;          // by entry
    std::vector<quint32> m_slots;       // entry + 1 of each path; 0 marks an empty slot
};

} // namespace vessa
