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
// Threads: main thread. Only the first of several handlers alive at once
// handles signals; destroying it puts the previous dispositions back.
class QuitSignalHandler : public QObject {
    Q_OBJECT

public:
    static constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

    explicit QuitSignalHandler(QObject* parent = nullptr);
    ~QuitSignalHandler() override;

signals:
    void quitRequested(int signalNumber);

private:
    static void handle(int signalNumber);
    void readSignals();

    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previous[std::size(handledSignals)] = {};
};

} // namespace vessa
