#pragma once

#include "VessaCore/TrackRef.h"

#include <QMetaObject>
#include <QWidget>

#include <exception>
#include <functional>

class QToolButton;

namespace vessa {

class AppState;
class CoalescedRefresh;
class ErrorAlert;
class PlayContext;
class PlaybackCommand;
class PlaylistQueue;
class PositionScrubber;
class ProgressLine;
class ScanErrorState;
class TrackInfoView;
class VolumeControl;
class VolumeState;

// The bar at the foot of the main window: the progress line, the current
// track (draggable; a click reveals it), the star button, the transport
// buttons, the position scrubber and the volume. Every playback failure,
// of its own commands and of the play context's (its lastError), shows in
// one "Playback Error" alert.
//
// A pure view over the play context, its clock, the volume and the playlist
// library; it keeps only the alert and the volume popup. Transport buttons take no
// keyboard focus, so Space keeps reaching the window.
class NowPlayingView : public QWidget {
    Q_OBJECT
public:
    // What the bar uses of the application; all of it outlives the bar.
    struct Services {
        PlayContext& playContext;
        VolumeState& volume;
        // The current playlist library, for the star.
        PlaylistQueue& playlists;
        // Where a star that could not be written is told (the main window).
        ScanErrorState& errors;

        Services(PlayContext& playContext, VolumeState& volume, PlaylistQueue& playlists, ScanErrorState& errors)
            : playContext(playContext), volume(volume), playlists(playlists), errors(errors)
        {
        }
        // The app state's own.
        explicit Services(AppState& appState);
    };

    explicit NowPlayingView(Services services, QWidget* parent = nullptr);
    // With the app state's services.
    explicit NowPlayingView(AppState& appState, QWidget* parent = nullptr);
    ~NowPlayingView() override;

    // Called with the current track when its info is clicked; none: the
    // click does nothing.
    void setOnRevealTrack(std::function<void(const TrackRef&)> action) { m_onRevealTrack = std::move(action); }

    ProgressLine* progressLine() const { return m_progressLine; }
    TrackInfoView* trackInfo() const { return m_trackInfo; }
    QToolButton* starButton() const { return m_starButton; }
    QToolButton* shuffleButton() const { return m_shuffleButton; }
    QToolButton* previousButton() const { return m_previousButton; }
    QToolButton* playPauseButton() const { return m_playPauseButton; }
    QToolButton* nextButton() const { return m_nextButton; }
    QToolButton* repeatButton() const { return m_repeatButton; }
    PositionScrubber* scrubber() const { return m_scrubber; }
    VolumeControl* volumeControl() const { return m_volume; }
    ErrorAlert* playbackErrorAlert() const { return m_alert; }

private:
    QWidget* makeTransportControls();
    QToolButton* transportButton(const QString& name, int iconSize);
    void send(const PlaybackCommand& command);
    void togglePlayPause();
    void toggleStar();
    void showError(std::exception_ptr error);
    void watchPlaylistLibrary();
    void refresh();
    void refreshTimes();
    void styleToggle(QToolButton* button, const QString& symbol, bool on);

    PlayContext& m_playContext;
    PlaylistQueue& m_playlists;
    ScanErrorState& m_errors;
    std::function<void(const TrackRef&)> m_onRevealTrack;
    ProgressLine* m_progressLine;
    TrackInfoView* m_trackInfo;
    QToolButton* m_starButton;
    QToolButton* m_shuffleButton = nullptr;
    QToolButton* m_previousButton = nullptr;
    QToolButton* m_playPauseButton = nullptr;
    QToolButton* m_nextButton = nullptr;
    QToolButton* m_repeatButton = nullptr;
    PositionScrubber* m_scrubber;
    VolumeControl* m_volume;
    ErrorAlert* m_alert;
    CoalescedRefresh* m_refresh;
    QMetaObject::Connection m_libraryConnection;
};

} // namespace vessa
