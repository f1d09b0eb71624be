#include "Vessa/Views/TrackLists/TrackListServices.h"

#include "Vessa/App/AppState.h"

#include <QPointer>

namespace vessa {

TrackListServices TrackListServices::of(AppState& appState)
{
    return TrackListServices{appState.playContext(),
                             appState.playlistQueue(),
                             appState.musicLibrary(),
                             appState.availabilityIndex(),
                             appState.pluginRegistry(),
                             appState.settings(),
                             [state = QPointer<AppState>(&appState)](std::exception_ptr error) {
                                 if (state)
                                     state->scanErrors().setScanError(std::move(error));
                             }};
}

} // namespace vessa
