#pragma once

#include <QObject>

#include <csignal>
#include <iterator>

class QSocketNotifier;

namespace vessa {

// Turns SIGTERM, SIGINT and SIGHUP into an orderly quit: the signal handler
// only writes the signal's number into a pipe; on the main thread a socket
// notifier reads it, emits quitRequested() and asks the application to quit,
// so aboutToQuit runs as after any other quit.
//
// A main thread that does not read the signal within unservedQuitSeconds is
// stuck (in a wait inside Qt, say): the process then ends as if the signal
// had not been handled at all, which loses nothing the program keeps. The
// handler arms alarm() for that; reading the signal disarms it, so an
// orderly quit may take as long as it needs. A signal that comes while the
// quit runs arms it again.
//
// Threads: main thread. Only the first of several handlers alive at once
// handles signals; destroying it puts the previous dispositions back.
class QuitSignalHandler : public QObject {
    Q_OBJECT

public:
    static constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};
    // How long a quit signal waits for the main thread before it ends the process.
    static constexpr unsigned unservedQuitSeconds = 5;

    explicit QuitSignalHandler(QObject* parent = nullptr);
    ~QuitSignalHandler() override;

signals:
    void quitRequested(int signalNumber);

private:
    static void handle(int signalNumber);
    // SIGALRM: the main thread has not read a quit signal in time.
    static void endUnserved(int);
    void readSignals();

    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previous[std::size(handledSignals)] = {};
    struct sigaction m_previousAlarm = {};
};

} // namespace vessa
