#pragma once

namespace vessa {

// Whether a track list row can be played.
enum class TrackAvailability {
    available,    // in some source's playable set, or its file hint names an existing file
    downloadable, // not available, but in some source's downloadable set
    unavailable,  // neither
};

} // namespace vessa
