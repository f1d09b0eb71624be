#include "Vessa/App/Playlists/PlaylistQueue.h"

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"

#include <QHash>

#include <algorithm>
#include <numeric>

namespace vessa {

PlaylistEdit PlaylistEdit::byComparison(QList<PlaylistTrack> before, QList<PlaylistTrack> after)
{
    QList<qsizetype> origins(after.size(), -1);
    if (before.size() == after.size()
        && std::equal(before.cbegin(), before.cend(), after.cbegin(),
                      [](const PlaylistTrack& a, const PlaylistTrack& b) { return a.ref == b.ref; })) {
        std::iota(origins.begin(), origins.end(), qsizetype(0));
        return PlaylistEdit{std::move(before), std::move(after), std::move(origins)};
    }
    qsizetype head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) {
        origins[head] = head;
        ++head;
    }
    qsizetype beforeEnd = before.size();
    qsizetype afterEnd = after.size();
    while (beforeEnd > head && afterEnd > head && before[beforeEnd - 1] == after[afterEnd - 1])
        origins[--afterEnd] = --beforeEnd;
    // Between them each entry continues the first equal one not yet taken.
    QHash<PlaylistTrack, QList<qsizetype>> untaken;
    for (qsizetype i = beforeEnd - 1; i >= head; --i)
        untaken[before[i]].append(i);
    for (qsizetype j = head; j < afterEnd; ++j) {
        const auto found = untaken.find(after[j]);
        if (found != untaken.end() && !found->isEmpty())
            origins[j] = found->takeLast();
    }
    return PlaylistEdit{std::move(before), std::move(after), std::move(origins)};
}

PlaylistQueue::PlaylistQueue(PlayContext& playContext, PlaylistLibrary& library, QObject* parent)
    : QObject(parent), m_playContext(playContext)
{
    setPlaylistLibrary(library);
}

PlaylistQueue::~PlaylistQueue() = default;

PlaylistLibrary& PlaylistQueue::playlistLibrary() const
{
    return *m_library;
}

void PlaylistQueue::setPlaylistLibrary(PlaylistLibrary& library)
{
    if (m_library)
        disconnect(m_library, nullptr, this, nullptr);
    m_library = &library;
    connect(m_library, &PlaylistLibrary::playlistsChanged, this, &PlaylistQueue::followLibraryLater);
    followLibraryLater();
    emit playlistLibraryChanged();
}

PlaylistQueue::ShownEntries PlaylistQueue::shownEntries(const QList<PlaylistTrack>& entries,
                                                        const QList<qsizetype>& shown)
{
    ShownEntries list;
    list.tracks.reserve(shown.size());
    list.fileHints.reserve(shown.size());
    for (const qsizetype index : shown) {
        list.tracks.append(entries[index].ref);
        list.fileHints.append(entries[index].fileHint);
    }
    return list;
}

void PlaylistQueue::load(const QString& queueID, const std::optional<QString>& libraryName,
                         const QList<PlaylistTrack>& entries, const QList<qsizetype>& shown, PlaylistQueueOrder order,
                         qsizetype start, const std::optional<QString>& playlistFilePath)
{
    m_queueID = queueID;
    m_libraryName = libraryName;
    m_order = std::move(order);
    m_entries = entries;
    m_shown = shown;
    const ShownEntries list = shownEntries(entries, shown);
    m_playContext.loadQueue(list.tracks, start, list.fileHints, playlistFilePath, queueID);
}

bool PlaylistQueue::followsPlayContext() const
{
    return m_queueID && m_playContext.queueID() == m_queueID;
}

QList<qsizetype> PlaylistQueue::shownOf(const QList<PlaylistTrack>& entries) const
{
    if (m_order)
        return m_order(entries);
    QList<qsizetype> stored(entries.size());
    std::iota(stored.begin(), stored.end(), qsizetype(0));
    return stored;
}

void PlaylistQueue::follow(const QString& queueID, const QList<PlaylistTrack>& entries,
                           const std::optional<PlaylistEdit>& edit)
{
    if (!followsPlayContext() || queueID != *m_queueID || entries == m_entries)
        return;
    if (m_libraryName && (!m_library || !m_library->playlist(*m_libraryName)))
        return;
    const PlaylistEdit applied = edit && edit->before == m_entries && edit->after == entries
                                     ? *edit
                                     : PlaylistEdit::byComparison(m_entries, entries);
    const QList<qsizetype> shown = shownOf(entries);
    // Where each entry of the version the queue holds stands in its list.
    QList<qsizetype> listPositions(m_entries.size(), -1);
    for (qsizetype position = 0; position < m_shown.size(); ++position)
        listPositions[m_shown[position]] = position;
    QList<qsizetype> origins;
    origins.reserve(shown.size());
    for (const qsizetype index : shown) {
        const qsizetype origin = applied.origins.value(index, -1);
        origins.append(origin >= 0 && origin < listPositions.size() ? listPositions[origin] : -1);
    }
    m_entries = entries;
    m_shown = shown;
    const ShownEntries list = shownEntries(entries, shown);
    m_playContext.editQueue(list.tracks, list.fileHints, origins);
}

void PlaylistQueue::rename(const QString& queueID, const QString& newQueueID, const std::optional<QString>& libraryName,
                           const std::optional<QString>& playlistFilePath)
{
    if (!followsPlayContext() || queueID != *m_queueID || newQueueID == queueID)
        return;
    m_queueID = newQueueID;
    m_libraryName = libraryName;
    m_playContext.renameQueue(newQueueID, playlistFilePath);
}

void PlaylistQueue::release(const QString& queueID)
{
    if (queueID != m_queueID)
        return;
    m_queueID.reset();
    m_libraryName.reset();
    m_order = nullptr;
    m_entries.clear();
    m_shown.clear();
}

std::optional<qsizetype> PlaylistQueue::soundingEntry(const QString& queueID, const QList<PlaylistTrack>& entries) const
{
    if (!followsPlayContext() || queueID != *m_queueID || entries != m_entries)
        return std::nullopt;
    const std::optional<qsizetype> position = m_playContext.playingListIndex();
    if (!position || *position >= m_shown.size())
        return std::nullopt;
    return m_shown[*position];
}

void PlaylistQueue::followLibraryLater()
{
    // A view showing the playlist reports its change first (follow()); this
    // catches a change no view reported.
    if (m_libraryCheckPending)
        return;
    m_libraryCheckPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_libraryCheckPending = false;
            followLibrary();
        },
        Qt::QueuedConnection);
}

void PlaylistQueue::followLibrary()
{
    if (!m_libraryName || !followsPlayContext() || !m_library)
        return;
    const std::optional<Playlist> playlist = m_library->playlist(*m_libraryName);
    if (!playlist || playlist->tracks == m_entries)
        return;
    follow(*m_queueID, playlist->tracks);
}

} // namespace vessa
