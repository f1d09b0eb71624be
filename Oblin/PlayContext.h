#pragma once

#include "Oblin/MetadataLoader.h"
#include "Oblin/PlaybackCommand.h"
#include "Oblin/RepeatMode.h"
#include "Oblin/TrackLoader.h"
#include "Rasko/TrackMetadata.h"
#include "Rasko/TrackResolver.h"
#include "VessaCore/Player.h"
#include "VessaCore/TrackRef.h"
#include "VessaCore/TransportState.h"

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace vessa {

class Clock;

// The play queue and the one entry point through which playback is driven:
// the queue of track references with a file hint per entry, the entry the
// context is on (currentIndex) and the one that actually started playing
// (playingIndex), the shuffle order, the repeat mode, the playing track's
// tags and the last playback error. Commands go through execute(); when a
// track ends by itself the queue advances.
//
// Playing an entry resolves it and opens its decoder on a worker thread
// (TrackLoader), then loads the stream into the player and starts it on the
// main thread. A newer request cancels the older one, which ends quietly; at
// most one resolve works at a time. The tags load alongside on their own
// worker (MetadataLoader).
//
// Threads: main thread only; every completion and signal comes there. The
// player must outlive the context. Destroying the context waits for a
// decoder's open or a tag read that is still running; completions still
// outstanding are then not called.
class PlayContext : public QObject {
    Q_OBJECT

public:
    // Runs once on the main thread when the command is done (empty) or failed.
    // A superseded request counts as done. May run before execute() returns.
    using Completion = std::function<void(std::exception_ptr error)>;

    PlayContext(Player& player, TrackResolverPtr resolver, QObject* parent = nullptr);
    ~PlayContext() override;

    // ---- observable fields

    const QList<TrackRef>& queue() const { return m_queue; }
    // The entries come without file hints; under shuffle the order starts
    // afresh from the current entry.
    void setQueue(QList<TrackRef> queue);
    std::optional<qsizetype> currentIndex() const { return m_currentIndex; }
    void setCurrentIndex(std::optional<qsizetype> index);
    std::optional<qsizetype> playingIndex() const { return m_playingIndex; }
    void setPlayingIndex(std::optional<qsizetype> index);
    // Notifies on every assignment.
    const std::optional<TrackMetadata>& currentMetadata() const { return m_currentMetadata; }
    void setCurrentMetadata(std::optional<TrackMetadata> metadata);
    // Notifies on every assignment. describeException() gives its text.
    std::exception_ptr lastError() const { return m_lastError; }
    void setLastError(std::exception_ptr error);
    // Which list the queue came from ("library", a playlist's identity).
    const std::optional<QString>& queueID() const { return m_queueID; }
    void setQueueID(std::optional<QString> queueID);
    bool shuffleEnabled() const { return m_shuffleEnabled; }
    // Every assignment (the same value too) rebuilds or drops the shuffle
    // order; the current entry goes first. Never starts or stops playback.
    void setShuffleEnabled(bool enabled);
    RepeatMode repeatMode() const { return m_repeatMode; }
    void setRepeatMode(RepeatMode mode);

    TransportState transportState() const { return m_player.transportState(); }
    Clock* clock() const { return m_player.clock(); }
    // The entry at currentIndex, when that is within the queue.
    std::optional<TrackRef> currentTrack() const;
    bool repeatEnabled() const { return m_repeatMode != RepeatMode::off; }

    // The shuffle order (queue positions in play order) and the slot of the
    // current entry in it; empty and nothing while shuffle is off.
    const QList<qsizetype>& shuffledIndices() const { return m_shuffledIndices; }
    std::optional<qsizetype> shufflePosition() const { return m_shufflePosition; }

    // ---- queue

    // Replaces the queue without touching what plays; the next play resolves
    // the new current entry (startIndex, at most the last; a negative one
    // counts as 0). Hints: one per track, padded with absent ones or cut.
    // playlistURL is the path of the playlist file relative hints are taken
    // against. Cancels resolving and tag loading in progress. A track that
    // sounds plays on; it stays the playing entry only when the list and its
    // identity are the same.
    void loadQueue(const QList<TrackRef>& tracks, qsizetype startIndex,
                   const std::optional<QList<std::optional<QString>>>& fileHints = std::nullopt,
                   const std::optional<QString>& playlistURL = std::nullopt,
                   const std::optional<QString>& queueID = std::nullopt);
    // Appends entries; with no current entry the first appended one becomes
    // current. Under shuffle the new entries play next, in random order.
    void appendToQueue(const QList<TrackRef>& tracks,
                       const std::optional<QList<std::optional<QString>>>& fileHints = std::nullopt);
    // Points the context at the first entry with the track's uri, without
    // playing it; nothing when the queue has none.
    void restorePosition(const TrackRef& track, const std::optional<TrackMetadata>& metadata);
    // Replaces the queue with a newer version of the same list (the library
    // after a rescan), with no hints, playlist file or queue identity. When
    // the new list holds the current track, that entry stays current and
    // becomes the playing entry (as restorePosition makes it), and whatever
    // resolves, loads tags or plays for it goes on untouched, so play() still
    // resumes it. A current track that the new list lost while the player
    // holds it (playing or paused) is kept all the same: its entry goes where
    // the first entry that followed it and is still listed now stands (at
    // the end when there is none) and stays until playback moves off it;
    // then it leaves the queue, and it is never replayed under repeat one.
    // Otherwise it is loadQueue(tracks, 0).
    void reloadQueue(const QList<TrackRef>& tracks);
    // Replaces the entries of the list the queue was loaded with (as edited
    // since) with a new version of that list: the playlist it came from was
    // edited. `origins` holds, for each new entry, the position in the old
    // version of the list of the entry it continues (-1: an entry the edit
    // brought in). Entries added by appendToQueue stay, after the list; the
    // queue identity and the playlist file stay. The current entry stays
    // current where it now stands, the playing one stays playing, and
    // whatever resolves, loads tags or plays goes on untouched. A current
    // entry the edit removed while the player holds it, or while it is being
    // opened, is kept as reloadQueue keeps a track the library lost; one that
    // does not sound gives its place to the entry that followed it. Under
    // shuffle the order keeps its course: the entries left keep their slots
    // and new ones come, at random, among those still to play.
    void editQueue(const QList<TrackRef>& tracks, const QList<std::optional<QString>>& fileHints,
                   const QList<qsizetype>& origins);
    // The list the queue was loaded from goes by another identity, its
    // relative hints counting from `playlistURL` (a playlist document saved
    // under another file). The entries, the current and playing entry and
    // whatever resolves or plays stay.
    void renameQueue(std::optional<QString> queueID, std::optional<QString> playlistURL);
    // The position in the loaded list (see editQueue) of the playing entry;
    // nothing when nothing plays, or the playing entry is one appendToQueue
    // added or one kept after its list lost it.
    std::optional<qsizetype> playingListIndex() const;

    // ---- commands

    // Clears lastError, then performs the command; a failure is stored in
    // lastError and handed to the completion.
    void execute(const PlaybackCommand& command, Completion completion = {});

signals:
    void queueChanged();
    void currentIndexChanged();
    void playingIndexChanged();
    void currentMetadataChanged();
    void lastErrorChanged();
    void queueIDChanged();
    void shuffleEnabledChanged();
    void repeatModeChanged();
    void transportStateChanged();
    void currentTrackChanged();

private:
    // ---- navigation (PlayContextNavigation.cpp)
    void play(const Completion& done);
    void next(const Completion& done);
    void previous(const Completion& done);
    void autoAdvance(bool trackGaveAudio);
    void restartCurrentTrack(const Completion& done);
    // Moves to queue position `index` (and shuffle slot `slot`) and plays it.
    void moveAndPlay(qsizetype index, std::optional<qsizetype> slot, const Completion& done);

    // ---- following an edit of the loaded list (PlayContextEditing.cpp)
    // Under shuffle, the order over the queue after an edit: `newPositions`
    // gives where each old entry now stands (-1: gone); the new queue's
    // entries it names nowhere are new.
    void carryShuffleOrder(const QList<qsizetype>& newPositions);

    // ---- resolve and play (PlayContextResolve.cpp)
    void resolveAndPlay(const TrackRef& track, Completion done);
    bool beginResolve();
    void finishResolve(const TrackRef& track, TrackLoader::Result result, const Completion& done);
    void failResolve(const TrackRef& track, std::exception_ptr error, const Completion& done);
    void loadMetadata(const SourceLocator& locator, const TrackRef& track);
    // A track whose decoder failed mid-way shows its failure in lastError and
    // counts as giving no audio, so repeat never replays it endlessly.
    void handleTrackEnd(std::exception_ptr streamFailure);

    // The entry after the current one in play order (shuffle slot and all),
    // wrapping round under repeat all; nothing at the end of the queue.
    // Needs a current entry within the queue.
    struct QueueStep {
        qsizetype index;
        std::optional<qsizetype> slot;
        bool wraps;
    };
    std::optional<QueueStep> followingEntry() const;

    // The queue and its file hints change only together: one hint per entry
    // (`hints` is padded with absent ones or cut), or no list when no entry
    // has one. Emits nothing; answers whether the queue differs from the one
    // it replaced.
    bool replaceQueue(QList<TrackRef> tracks, QList<std::optional<QString>> hints);
    // The hint of every queue entry (none where there is none).
    QList<std::optional<QString>> fileHintsOfQueue() const;
    // Where in `tracks` the current entry's successor stands: the first entry
    // after it in the queue that `tracks` holds, else the end of `tracks`.
    qsizetype placeOfSuccessor(const QList<TrackRef>& tracks) const;
    // The same over a new queue: `newPositions` gives where each entry of the
    // queue now stands (-1: gone), `end` is the place when none follows.
    qsizetype placeOfSuccessor(const QList<qsizetype>& newPositions, qsizetype end) const;
    // Whether the player holds the current entry: it started playing and
    // neither ended nor failed since.
    bool currentEntrySounds() const;
    // Takes the kept entry (the current one) out of the queue on the way to
    // queue position `index` and shuffle slot `slot`, which are renumbered;
    // the renumbered index becomes current.
    void dropKeptEntry(qsizetype& index, std::optional<qsizetype>& slot);
    // Under shuffle a new order over the whole queue with the current entry
    // first; otherwise none.
    void resetShuffleOrder();
    void cancelResolveAndMetadata();
    void emitCurrentTrackChangeFrom(const std::optional<TrackRef>& before);

    QList<TrackRef> m_queue;
    std::optional<qsizetype> m_currentIndex;
    std::optional<qsizetype> m_playingIndex;
    std::optional<TrackMetadata> m_currentMetadata;
    std::exception_ptr m_lastError;
    std::optional<QString> m_queueID;
    bool m_shuffleEnabled = false;
    RepeatMode m_repeatMode = RepeatMode::off;
    // One per queue entry, or none at all when no entry has a hint.
    QList<std::optional<QString>> m_fileHints;
    std::optional<QString> m_playlistURL;
    // Every queue position once while shuffle is on, empty otherwise.
    QList<qsizetype> m_shuffledIndices;
    std::optional<qsizetype> m_shufflePosition;
    // The current entry when reloadQueue or editQueue kept it, though the new
    // list lacks it.
    std::optional<qsizetype> m_keptIndex;
    // Where the entries appendToQueue added begin; before it stand the
    // entries of the loaded list (and the kept entry, if any).
    qsizetype m_appendedFrom = 0;
    Player& m_player;
    TrackLoader m_trackLoader;
    MetadataLoader m_metadataLoader;
    // The latest resolve request; kept after it ended until the next one or
    // a new queue replaces it, and taken by play() to mean that a track of
    // this queue was started.
    TrackLoader::JobPtr m_resolveTask;
    // Whether the stream loaded last has given any audio (seek streams too).
    std::shared_ptr<std::atomic<bool>> m_loadedStreamGaveAudio;
    // Tracks that ended without giving any audio since the last command or
    // track that did; a whole queue of them ends automatic advancing.
    qsizetype m_silentTrackEnds = 0;
};

} // namespace vessa
