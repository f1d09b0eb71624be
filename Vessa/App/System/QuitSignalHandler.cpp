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
}

QuitSignalHandler::~QuitSignalHandler()
{
    if (!m_notifier)
        return;
    for (std::size_t i = 0; i < std::size(handledSignals); ++i)
        sigaction(handledSignals[i], &m_previous[i], nullptr);
    delete m_notifier;
    close(signalPipe[0]);
    close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void QuitSignalHandler::handle(int signalNumber)
{
    // Only async-signal-safe calls here; a full pipe already holds a request.
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void QuitSignalHandler::readSignals()
{
    unsigned char bytes[16];
    ssize_t count = 0;
    while ((count = read(signalPipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit quitRequested(bytes[i]);
    }
    QCoreApplication::quit();
}

} // namespace vessa
