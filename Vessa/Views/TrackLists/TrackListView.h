#pragma once

#include "Rasko/ScannedTrack.h"
#include "Vessa/Views/TrackLists/DetailLists.h"
#include "Vessa/Views/TrackLists/FileRevealer.h"
#include "Vessa/Views/TrackLists/TrackListServices.h"

#include <QList>
#include <QWidget>

class QLineEdit;

namespace vessa {

class DebouncedFilterField;
class TrackListModel;
class TrackTable;

// The tracks of the local library as a sortable, filterable track table: the
// whole library or the tracks of one music folder, as the owner hands them
// over (call setScannedTracks again at every change of the library). The
// filter field ("Filter tracks") narrows the list 150 ms after the last
// keystroke and its text is kept under "librarySearchText". A double click
// plays the shown list from that track; rows drag out as track references.
// The logic lives in TrackListModel; this widget lays it out.
class TrackListView : public QWidget, public LibraryDetailList {
    Q_OBJECT
public:
    // `revealer` shows files in the file manager; null uses the desktop's.
    explicit TrackListView(TrackListServices services, FileRevealerPtr revealer = nullptr, QWidget* parent = nullptr);
    ~TrackListView() override;

    QWidget* widget() override { return this; }
    void setScannedTracks(const QList<ScannedTrack>& tracks, const std::optional<SidebarSource>& source) override;
    // Selects the track's row and scrolls it into view; a track the filter
    // hides is shown by clearing the filter first.
    void revealTrack(const TrackRef& ref) override;

    TrackListModel& model() const { return *m_model; }
    TrackTable* table() const { return m_table; }
    QLineEdit* filterField() const;

private:
    void showRows();

    TrackListModel* m_model;
    DebouncedFilterField* m_filterField;
    TrackTable* m_table;
};

} // namespace vessa
