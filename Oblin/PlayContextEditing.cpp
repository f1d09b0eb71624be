// PlayContext: following an edit of the list the queue was loaded from.

#include "Oblin/OblinLogging.h"
#include "Oblin/PlayContext.h"

#include <QRandomGenerator>

#include <algorithm>

namespace vessa {

void PlayContext::editQueue(const QList<TrackRef>& tracks, const QList<std::optional<QString>>& fileHints,
                            const QList<qsizetype>& origins)
{
    // Where each entry of the old list stands in the queue: the kept entry
    // is none of them.
    QList<qsizetype> listed;
    for (qsizetype i = 0; i < m_appendedFrom; ++i) {
        if (i != m_keptIndex)
            listed.append(i);
    }
    // The new queue: the list, then the appended entries.
    QList<TrackRef> queue = tracks;
    QList<std::optional<QString>> hints = fileHints;
    hints.resize(tracks.size());
    const QList<std::optional<QString>> oldHints = fileHintsOfQueue();
    for (qsizetype i = m_appendedFrom; i < m_queue.size(); ++i) {
        queue.append(m_queue[i]);
        hints.append(oldHints[i]);
    }
    // Where each old entry now stands; the first of two claims wins.
    QList<qsizetype> newPositions(m_queue.size(), -1);
    for (qsizetype j = 0; j < tracks.size(); ++j) {
        const qsizetype origin = origins.value(j, -1);
        if (origin >= 0 && origin < listed.size() && newPositions[listed[origin]] < 0)
            newPositions[listed[origin]] = j;
    }
    for (qsizetype i = m_appendedFrom; i < m_queue.size(); ++i)
        newPositions[i] = tracks.size() + i - m_appendedFrom;

    std::optional<qsizetype> current;
    bool keep = false;
    if (const std::optional<TrackRef> track = currentTrack(); track && newPositions[*m_currentIndex] >= 0) {
        current = newPositions[*m_currentIndex];
    } else if (track) {
        const qsizetype place = placeOfSuccessor(newPositions, tracks.size());
        // What sounds, or is about to, stays until playback moves off it.
        keep = currentEntrySounds() || (m_resolveTask && !m_resolveTask->isFinished());
        if (keep) {
            queue.insert(place, *track);
            hints.insert(place, oldHints[*m_currentIndex]);
            for (qsizetype& position : newPositions)
                position += position >= place ? 1 : 0;
            newPositions[*m_currentIndex] = place;
            logDebug(lcOblinPlayback(),
                     QStringLiteral("editQueue: keeping the sounding track, gone from the list: ") + track->uri());
        }
        if (!queue.isEmpty())
            current = std::min(place, queue.size() - 1);
    }
    std::optional<qsizetype> playing;
    if (m_playingIndex && *m_playingIndex >= 0 && *m_playingIndex < newPositions.size()
        && newPositions[*m_playingIndex] >= 0)
        playing = newPositions[*m_playingIndex];
    logDebug(lcOblinPlayback(),
             QString::asprintf("editQueue: %lld tracks, current at index %lld", static_cast<long long>(tracks.size()),
                               static_cast<long long>(current.value_or(-1))));

    const std::optional<TrackRef> before = currentTrack();
    const bool queueDiffers = replaceQueue(std::move(queue), std::move(hints));
    m_appendedFrom = tracks.size() + (keep ? 1 : 0);
    m_keptIndex = keep ? current : std::nullopt;
    const bool indexDiffers = current != m_currentIndex;
    m_currentIndex = current;
    if (m_shuffleEnabled)
        carryShuffleOrder(newPositions);
    if (queueDiffers)
        emit queueChanged();
    if (indexDiffers)
        emit currentIndexChanged();
    setPlayingIndex(playing);
    emitCurrentTrackChangeFrom(before);
}

void PlayContext::renameQueue(std::optional<QString> queueID, std::optional<QString> playlistURL)
{
    m_playlistURL = std::move(playlistURL);
    setQueueID(std::move(queueID));
}

std::optional<qsizetype> PlayContext::playingListIndex() const
{
    if (!m_playingIndex || *m_playingIndex < 0 || *m_playingIndex >= m_appendedFrom || m_playingIndex == m_keptIndex)
        return std::nullopt;
    return *m_playingIndex - (m_keptIndex && *m_keptIndex < *m_playingIndex ? 1 : 0);
}

void PlayContext::carryShuffleOrder(const QList<qsizetype>& newPositions)
{
    QList<qsizetype> order;
    QList<bool> placed(m_queue.size(), false);
    // Slots from here on are still to play.
    qsizetype upcoming = 0;
    for (qsizetype slot = 0; slot < m_shuffledIndices.size(); ++slot) {
        const qsizetype old = m_shuffledIndices[slot];
        const qsizetype position = old >= 0 && old < newPositions.size() ? newPositions[old] : -1;
        if (position >= 0 && !placed[position]) {
            order.append(position);
            placed[position] = true;
        }
        if (slot == m_shufflePosition)
            upcoming = order.size();
    }
    for (qsizetype position = 0; position < m_queue.size(); ++position) {
        if (!placed[position])
            order.insert(upcoming + QRandomGenerator::global()->bounded(order.size() - upcoming + 1), position);
    }
    m_shuffledIndices = std::move(order);
    const qsizetype slot = m_currentIndex ? m_shuffledIndices.indexOf(*m_currentIndex) : -1;
    m_shufflePosition = slot >= 0 ? std::optional<qsizetype>(slot) : std::nullopt;
}

} // namespace vessa
