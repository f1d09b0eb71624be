#pragma once

#include <exception>
#include <functional>

class QSettings;

namespace vessa {

class AppState;
class MusicLibrary;
class PlayContext;
class PlaylistQueue;
class PluginRegistry;
class TrackAvailabilityIndex;

// What the track lists use of the application: the play queue, the queue a
// playlist plays (which also holds the current playlist library, replaced
// when the playlist storage moves), the music library, the availability of
// tracks, the plug-ins' file types, the settings, and where a failure is
// shown. The app state's services outlive every list.
struct TrackListServices {
    PlayContext& playContext;
    PlaylistQueue& playlistQueue;
    MusicLibrary& musicLibrary;
    TrackAvailabilityIndex& availability;
    PluginRegistry& pluginRegistry;
    QSettings& settings;
    // Shows a failure to the user (the main window's "Error" alert).
    std::function<void(std::exception_ptr error)> showError;

    // The services of the app state, failures shown as its scanError.
    static TrackListServices of(AppState& appState);
};

} // namespace vessa
