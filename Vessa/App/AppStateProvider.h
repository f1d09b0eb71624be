#pragma once

#include <QPointer>

namespace vessa {

class AppState;

// The one place where windows that are not given the app state (playlist
// document windows) find it. Set once by the application after a successful
// construction; reads null before that and after the state is gone.
//
// Threads: main thread only.
class AppStateProvider {
public:
    static AppState* shared();
    static void setShared(AppState* appState);

private:
    static QPointer<AppState> s_shared;
};

} // namespace vessa
