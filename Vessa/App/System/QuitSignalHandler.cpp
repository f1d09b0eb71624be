#include "Vessa/App/System/QuitSignalHandler.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vessa {

namespace {

// The pipe between the signal handler and the main thread; -1 while no
// handler object exists. Only the handler object writes these.
int signalPipe[2] = {-1, -1};

// The quit signal the armed alarm stands for; 0 while none is armed.
volatile sig_atomic_t unservedSignal = 0;

} // namespace

QuitSignalHandler::QuitSignalHandler(QObject* parent) : QObject(parent)
{
    // A second handler while one exists stays inert.
    if (signalPipe[0] >= 0)
        return;
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        signalPipe[0] = signalPipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignalHandler::readSignals);
    struct sigaction action = {};
    action.sa_handler = &QuitSignalHandler::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(handledSignals); ++i)
        sigaction(handledSignals[i], &action, &m_previous[i]);
    struct sigaction alarmAction = {};
    alarmAction.sa_handler = &QuitSignalHandler::endUnserved;
    sigemptyset(&alarmAction.sa_mask);
    sigaction(SIGALRM, &alarmAction, &m_previousAlarm);
}

QuitSignalHandler::~QuitSignalHandler()
{
    if (!m_notifier)
        return;
    for (std::size_t i = 0; i < std::size(handledSignals); ++i)
        sigaction(handledSignals[i], &m_previous[i], nullptr);
    // From here on a quit signal has its previous effect, by default the end.
    alarm(0);
    unservedSignal = 0;
    sigaction(SIGALRM, &m_previousAlarm, nullptr);
    delete m_notifier;
    close(signalPipe[0]);
    close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void QuitSignalHandler::handle(int signalNumber)
{
    // Only async-signal-safe calls here; a full pipe already holds a request.
    const int savedErrno = errno;
    // The first signal the main thread has not read yet sets the deadline,
    // before the signal is in the pipe: the main thread may read it at once
    // (this handler can run on another thread), and its reading disarms.
    if (unservedSignal == 0) {
        unservedSignal = signalNumber;
        alarm(unservedQuitSeconds);
    }
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void QuitSignalHandler::endUnserved(int)
{
    // Only async-signal-safe calls: the signal's own default effect, which
    // ends the process (as if it had not been handled), else an exit.
    // An alarm whose signal was read meanwhile is late: nothing waits.
    const int signalNumber = unservedSignal;
    if (signalNumber == 0)
        return;
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signalNumber, &byDefault, nullptr);
    raise(signalNumber);
    _exit(128 + signalNumber);
}

void QuitSignalHandler::readSignals()
{
    // Served: the quit may take its time. A signal that comes between these
    // two lines is in the pipe already and is read below.
    alarm(0);
    unservedSignal = 0;
    unsigned char bytes[16];
    ssize_t count = 0;
    while ((count = read(signalPipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit quitRequested(bytes[i]);
    }
    QCoreApplication::quit();
}

} // namespace vessa
