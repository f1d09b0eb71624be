#pragma once

#include "Rasko/ScannedTrack.h"
#include "Vessa/App/Library/LibraryQueueOrder.h"
#include "Vessa/Views/TrackLists/FileRevealer.h"
#include "Vessa/Views/TrackLists/FilterAndSortHolder.h"
#include "Vessa/Views/TrackLists/SidebarSource.h"
#include "Vessa/Views/TrackLists/TrackListIndex.h"
#include "Vessa/Views/TrackLists/TrackListServices.h"
#include "Vessa/Views/TrackTable/TrackContextMenuItem.h"
#include "Vessa/Views/TrackTable/TrackRow.h"
#include "Vessa/Views/TrackTable/TrackRowSource.h"
#include "VessaCore/GenerationWorker.h"

#include <QObject>

namespace vessa {

class CoalescedRefresh;

// What the library track list shows and does, without widgets: the listed
// tracks, the filter and sort, the rows, playing, the context menu and
// revealing a track. The list is recomputed at every change of the tracks,
// the filter or the sort; the rows' marks follow the play context and the
// availability index. A queue played from the list follows later library
// changes with the part of the library the list showed, filtered and sorted
// as it was then (LibraryListOrder).
//
// Threads: main thread only.
class TrackListModel : public QObject, public FilterAndSortHolder {
    Q_OBJECT
public:
    static constexpr QLatin1String searchTextKey{"librarySearchText"};

    // Restores the filter text from "librarySearchText".
    TrackListModel(TrackListServices services, FileRevealerPtr revealer, QObject* parent = nullptr);
    ~TrackListModel() override;

    const QList<ScannedTrack>& scannedTracks() const { return m_tracks; }
    // Shows the tracks, the part of the library that `source` chooses (none:
    // the whole library). The sort keys and rows of a list of
    // ListSizes::largeList tracks or more are worked out on a background
    // thread, so the window stays responsive: the tracks shown so far stay
    // until they are ready (in the list's own order without a filter, the
    // new tracks are shown at once), and a later call supersedes an earlier one.
    void setScannedTracks(const QList<ScannedTrack>& tracks, const std::optional<SidebarSource>& source = std::nullopt);

    // Whether the shown tracks' sort and search keys are still being worked
    // out (the tracks are shown in their own order meanwhile).
    bool keysPending() const { return m_indexPending; }

    // The filter and sort (FilterAndSortHolder): a change recomputes at
    // once, and a new filter text is saved under "librarySearchText" (the
    // view sets it when typing pauses).

    // Positions in scannedTracks, in display order.
    const QList<qsizetype>& displayedTracks() const { return m_displayed; }
    // The shown rows, made when the table asks for them.
    const TrackRowSourcePtr& rowSource() const { return m_rowSource; }
    // Every shown row at once (a row object per track: made on first use).
    const TrackRows& rows() const;

    const TrackSelection& selection() const { return m_selection; }
    void setSelection(const TrackSelection& selection);

    // Plays the shown list from the track at `index` (a position in scannedTracks).
    void playTrack(qsizetype index);
    // How the queue playTrack loads is made again from a new library: the
    // shown part of the library, filter and sort. None for the whole library
    // in its own order.
    LibraryQueueOrderPtr queueOrder() const;
    QList<TrackContextMenuItem> contextMenu(const TrackRows& rows);
    // Selects the track; clears a filter that hides it. searchTextChanged()
    // tells the view to empty its field.
    void revealTrack(const TrackRef& ref);

    static QString trackNumberDisplay(const ScannedTrack& track);
    // The library's disc-track key (DiscTrackKey).
    static qint64 discTrackKey(const ScannedTrack& track);
    // The filter and sort keys of library tracks. Runs on any thread.
    static TrackListIndex indexOf(const QList<ScannedTrack>& tracks);

signals:
    void rowsChanged();
    void selectionChanged();
    void searchTextChanged();

private:
    struct Prepared {
        QList<ScannedTrack> tracks;
        std::optional<SidebarSource> source;
        TrackListIndex index;
    };
    // Runs on any thread.
    static Prepared prepared(const QList<ScannedTrack>& tracks, const std::optional<SidebarSource>& source);
    void show(Prepared prepared);
    void filterAndSortChanged(Change change) override;
    void recomputeDisplayedTracks();
    void buildRows();

    TrackListServices m_services;
    FileRevealerPtr m_revealer;
    QList<ScannedTrack> m_tracks;
    // The part of the library m_tracks are.
    std::optional<SidebarSource> m_source;
    // The list last handed to setScannedTracks (shown, or being prepared).
    QList<ScannedTrack> m_requestedTracks;
    std::optional<SidebarSource> m_requestedSource;
    TrackListIndex m_index;
    // The tracks are shown in their own order while their keys are prepared.
    bool m_indexPending = false;
    QList<qsizetype> m_displayed;
    TrackRowSourcePtr m_rowSource;
    mutable std::optional<TrackRows> m_rows; // rows(), once asked for
    TrackSelection m_selection;
    CoalescedRefresh* m_marksRefresh;
    GenerationWorker m_preparation{this}; // last: joins first
};

} // namespace vessa
