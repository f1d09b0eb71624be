#include "Vessa/App/AppStateProvider.h"

#include "Vessa/App/AppState.h"

namespace vessa {

QPointer<AppState> AppStateProvider::s_shared;

AppState* AppStateProvider::shared()
{
    return s_shared.data();
}

void AppStateProvider::setShared(AppState* appState)
{
    s_shared = appState;
}

} // namespace vessa
