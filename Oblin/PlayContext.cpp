#include "Oblin/PlayContext.h"

#include "Oblin/OblinLogging.h"

#include <QHash>
#include <QPointer>
#include <QRandomGenerator>

#include <algorithm>
#include <numeric>
#include <utility>

namespace vessa {

VESSA_LOGGING_CATEGORY(lcOblinPlayback, "oblin", "playback")

PlayContext::PlayContext(Player& player, TrackResolverPtr resolver, QObject* parent)
    : QObject(parent), m_player(player), m_trackLoader(resolver), m_metadataLoader(std::move(resolver))
{
    connect(&m_player, &Player::transportStateChanged, this, &PlayContext::transportStateChanged);
    // The hook may outlive the context; it then does nothing. The player
    // calls it last in its own end handling, once it is idle.
    m_player.setOnTrackEnd([guard = QPointer<PlayContext>(this)](std::exception_ptr streamFailure) {
        if (guard)
            guard->handleTrackEnd(streamFailure);
    });
}

PlayContext::~PlayContext() = default;

// ---- fields

void PlayContext::setQueue(QList<TrackRef> queue)
{
    if (queue == m_queue)
        return;
    const std::optional<TrackRef> before = currentTrack();
    // Hints belong to the entries they came with: a queue set directly has none.
    replaceQueue(std::move(queue), {});
    m_keptIndex.reset();
    resetShuffleOrder();
    emit queueChanged();
    emitCurrentTrackChangeFrom(before);
}

void PlayContext::setCurrentIndex(std::optional<qsizetype> index)
{
    if (index == m_currentIndex)
        return;
    const std::optional<TrackRef> before = currentTrack();
    m_currentIndex = index;
    // A kept entry left some other way stays in the queue as any other.
    m_keptIndex.reset();
    emit currentIndexChanged();
    emitCurrentTrackChangeFrom(before);
}

void PlayContext::setPlayingIndex(std::optional<qsizetype> index)
{
    if (index == m_playingIndex)
        return;
    m_playingIndex = index;
    emit playingIndexChanged();
}

void PlayContext::setCurrentMetadata(std::optional<TrackMetadata> metadata)
{
    m_currentMetadata = std::move(metadata);
    emit currentMetadataChanged();
}

void PlayContext::setLastError(std::exception_ptr error)
{
    m_lastError = std::move(error);
    emit lastErrorChanged();
}

void PlayContext::setQueueID(std::optional<QString> queueID)
{
    if (queueID == m_queueID)
        return;
    m_queueID = std::move(queueID);
    emit queueIDChanged();
}

void PlayContext::setShuffleEnabled(bool enabled)
{
    const bool changed = enabled != m_shuffleEnabled;
    m_shuffleEnabled = enabled;
    if (changed)
        emit shuffleEnabledChanged();
    resetShuffleOrder();
}

void PlayContext::setRepeatMode(RepeatMode mode)
{
    if (mode == m_repeatMode)
        return;
    m_repeatMode = mode;
    emit repeatModeChanged();
}

QList<std::optional<QString>> PlayContext::fileHintsOfQueue() const
{
    return m_fileHints.isEmpty() ? QList<std::optional<QString>>(m_queue.size()) : m_fileHints;
}

std::optional<TrackRef> PlayContext::currentTrack() const
{
    if (m_currentIndex && *m_currentIndex >= 0 && *m_currentIndex < m_queue.size())
        return m_queue[*m_currentIndex];
    return std::nullopt;
}

void PlayContext::emitCurrentTrackChangeFrom(const std::optional<TrackRef>& before)
{
    if (currentTrack() != before)
        emit currentTrackChanged();
}

// ---- queue

bool PlayContext::replaceQueue(QList<TrackRef> tracks, QList<std::optional<QString>> hints)
{
    // A queue without hints (the library's, say) keeps no list of them.
    const bool hinted = std::any_of(hints.cbegin(), hints.cend(), [](const auto& hint) { return hint.has_value(); });
    if (hinted)
        hints.resize(tracks.size());
    const bool differs = tracks != m_queue;
    m_queue = std::move(tracks);
    m_appendedFrom = m_queue.size();
    m_fileHints = hinted ? std::move(hints) : QList<std::optional<QString>>();
    return differs;
}

void PlayContext::cancelResolveAndMetadata()
{
    if (m_resolveTask)
        m_trackLoader.cancel(m_resolveTask);
    m_resolveTask.reset();
    m_metadataLoader.cancel();
}

void PlayContext::loadQueue(const QList<TrackRef>& tracks, qsizetype startIndex,
                            const std::optional<QList<std::optional<QString>>>& fileHints,
                            const std::optional<QString>& playlistURL, const std::optional<QString>& queueID)
{
    logDebug(lcOblinPlayback(),
             QString::asprintf("loadQueue: %lld tracks, startIndex=%lld", static_cast<long long>(tracks.size()),
                               static_cast<long long>(startIndex)));
    cancelResolveAndMetadata();
    m_silentTrackEnds = 0;
    const std::optional<TrackRef> before = currentTrack();
    const bool queueDiffers = replaceQueue(tracks, fileHints.value_or(QList<std::optional<QString>>()));
    m_keptIndex.reset();
    m_playlistURL = playlistURL;
    std::optional<qsizetype> current;
    if (!tracks.isEmpty())
        current = std::clamp<qsizetype>(startIndex, 0, tracks.size() - 1);
    const bool indexDiffers = current != m_currentIndex;
    m_currentIndex = current;
    // What sounds came from the old list: no entry of another list names it.
    const bool playingStays = !queueDiffers && queueID == m_queueID;
    // Observers see the new queue whole: an old shuffle order could send
    // one that moves on to positions the queue no longer has.
    resetShuffleOrder();
    setQueueID(queueID);
    if (queueDiffers)
        emit queueChanged();
    if (indexDiffers)
        emit currentIndexChanged();
    emitCurrentTrackChangeFrom(before);
    if (!playingStays)
        setPlayingIndex(std::nullopt);
    setCurrentMetadata(std::nullopt);
    setLastError(nullptr);
}

void PlayContext::appendToQueue(const QList<TrackRef>& tracks,
                                const std::optional<QList<std::optional<QString>>>& fileHints)
{
    if (tracks.isEmpty())
        return;
    logDebug(lcOblinPlayback(), QString::asprintf("appendToQueue: %lld tracks", static_cast<long long>(tracks.size())));
    const qsizetype oldCount = m_queue.size();
    const std::optional<TrackRef> before = currentTrack();
    QList<std::optional<QString>> addedHints = fileHints.value_or(QList<std::optional<QString>>());
    addedHints.resize(tracks.size());
    const qsizetype appendedFrom = m_appendedFrom;
    replaceQueue(m_queue + tracks, fileHintsOfQueue() + addedHints);
    m_appendedFrom = appendedFrom;
    const bool hadCurrentEntry = m_currentIndex.has_value();
    if (!hadCurrentEntry)
        m_currentIndex = oldCount;
    // The shuffle order takes the new entries in before anyone is told.
    if (m_shuffleEnabled && !hadCurrentEntry) {
        // Inserting at the front would let the new current entry come round
        // again later in the order; start a fresh order from it instead.
        resetShuffleOrder();
    } else if (m_shuffleEnabled) {
        QList<qsizetype> added(tracks.size());
        std::iota(added.begin(), added.end(), oldCount);
        std::shuffle(added.begin(), added.end(), *QRandomGenerator::global());
        // Right after the current slot: the new entries play next.
        const qsizetype slot = std::min(m_shufflePosition ? *m_shufflePosition + 1 : 0, m_shuffledIndices.size());
        m_shuffledIndices = m_shuffledIndices.first(slot) + added + m_shuffledIndices.sliced(slot);
    }
    emit queueChanged();
    if (!hadCurrentEntry)
        emit currentIndexChanged();
    emitCurrentTrackChangeFrom(before);
}

void PlayContext::restorePosition(const TrackRef& track, const std::optional<TrackMetadata>& metadata)
{
    const qsizetype index = m_queue.indexOf(track);
    if (index < 0)
        return;
    setCurrentIndex(index);
    setPlayingIndex(index);
    if (metadata)
        setCurrentMetadata(metadata);
    resetShuffleOrder();
    logDebug(lcOblinPlayback(),
             QString::asprintf("Restored position to index %lld: ", static_cast<long long>(index)) + track.uri());
}

void PlayContext::reloadQueue(const QList<TrackRef>& tracks)
{
    const std::optional<TrackRef> current = currentTrack();
    qsizetype index = current ? tracks.indexOf(*current) : -1;
    QList<TrackRef> queue = tracks;
    // What the player holds is what every view shows, until it ends.
    const bool keep = index < 0 && current && currentEntrySounds();
    if (keep) {
        index = placeOfSuccessor(tracks);
        queue.insert(index, *current);
        logDebug(lcOblinPlayback(),
                 QStringLiteral("reloadQueue: keeping the sounding track, gone from the list: ") + current->uri());
    }
    if (index < 0) {
        loadQueue(tracks, 0);
        return;
    }
    logDebug(lcOblinPlayback(),
             QString::asprintf("reloadQueue: %lld tracks, current at index %lld", static_cast<long long>(tracks.size()),
                               static_cast<long long>(index)));
    m_silentTrackEnds = 0;
    const bool indexDiffers = index != m_currentIndex;
    const bool queueDiffers = replaceQueue(std::move(queue), {});
    m_keptIndex = keep ? std::optional<qsizetype>(index) : std::nullopt;
    m_playlistURL.reset();
    m_currentIndex = index;
    resetShuffleOrder(); // before anyone is told, as in loadQueue
    setQueueID(std::nullopt);
    if (queueDiffers)
        emit queueChanged();
    if (indexDiffers)
        emit currentIndexChanged();
    setPlayingIndex(index);
}

bool PlayContext::currentEntrySounds() const
{
    return m_currentIndex && m_playingIndex == m_currentIndex
           && m_player.transportState().kind() != TransportState::Kind::idle;
}

qsizetype PlayContext::placeOfSuccessor(const QList<TrackRef>& tracks) const
{
    QHash<TrackRef, qsizetype> places;
    places.reserve(tracks.size());
    for (qsizetype i = tracks.size() - 1; i >= 0; --i) // the first of equal entries wins
        places.insert(tracks[i], i);
    QList<qsizetype> newPositions(m_queue.size(), -1);
    for (qsizetype i = *m_currentIndex + 1; i < m_queue.size(); ++i)
        newPositions[i] = places.value(m_queue[i], -1);
    return placeOfSuccessor(newPositions, tracks.size());
}

qsizetype PlayContext::placeOfSuccessor(const QList<qsizetype>& newPositions, qsizetype end) const
{
    for (qsizetype i = *m_currentIndex + 1; i < newPositions.size(); ++i) {
        if (newPositions[i] >= 0)
            return newPositions[i];
    }
    return end;
}

void PlayContext::dropKeptEntry(qsizetype& index, std::optional<qsizetype>& slot)
{
    const qsizetype kept = *std::exchange(m_keptIndex, std::nullopt);
    const std::optional<TrackRef> before = currentTrack();
    m_queue.removeAt(kept);
    if (kept < m_appendedFrom)
        --m_appendedFrom;
    if (!m_fileHints.isEmpty())
        m_fileHints.removeAt(kept);
    if (index > kept)
        --index;
    if (const qsizetype keptSlot = m_shuffledIndices.indexOf(kept); keptSlot >= 0) {
        m_shuffledIndices.removeAt(keptSlot);
        for (qsizetype& position : m_shuffledIndices)
            position -= position > kept ? 1 : 0;
        if (slot && *slot > keptSlot)
            --*slot;
    }
    const bool indexDiffers = index != m_currentIndex;
    m_currentIndex = index;
    // The player still holds the kept track, which no entry names any more.
    m_playingIndex.reset();
    emit queueChanged();
    if (indexDiffers)
        emit currentIndexChanged();
    emit playingIndexChanged();
    emitCurrentTrackChangeFrom(before);
}

void PlayContext::resetShuffleOrder()
{
    if (!m_shuffleEnabled || m_queue.isEmpty()) {
        m_shuffledIndices.clear();
        m_shufflePosition.reset();
        return;
    }
    QList<qsizetype> order(m_queue.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::shuffle(order.begin(), order.end(), *QRandomGenerator::global());
    if (m_currentIndex) {
        const auto found = std::find(order.begin(), order.end(), *m_currentIndex);
        if (found != order.end())
            std::iter_swap(order.begin(), found);
    }
    m_shuffledIndices = std::move(order);
    m_shufflePosition = m_currentIndex ? std::optional<qsizetype>(0) : std::nullopt;
}

} // namespace vessa
