#include "Vessa/App/System/PaintThreads.h"

#include "Vessa/App/AppLogging.h"
#include "VessaCore/ThreadStart.h"

#include <QLoggingCategory>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace vessa::PaintThreads {

namespace {

// The pool's threads keepStarted() asked for; main thread only.
struct Kept {
    int running = 0; // started by the system
    int refused = 0; // in the pool, but never started
    bool waitTold = false;
};

Kept& kept()
{
    static Kept state;
    return state;
}

// While keepStarted() hands out its tasks: whether Qt reported, on that
// thread, that the system refused the thread of the last one.
std::atomic<QThread*> startingOn = nullptr;
std::atomic<bool> startRefused = false;
QtMessageHandler previousHandler = nullptr; // set before the handler is installed
// The logging rules hide critical messages of Qt's default category.
std::atomic<bool> criticalHidden = false;

bool isDefaultCategory(const char* category)
{
    return !category || std::strcmp(category, "default") == 0;
}

// Qt reports a refused start of a pool thread only in words, on the thread
// that asked for it, as a critical message of its default category. Every
// message the logging rules let through still reaches the handler installed
// before.
void noteRefusals(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (QThread::currentThread() == startingOn && message.startsWith(u"QThread::start: Thread creation error"))
        startRefused = true;
    if (type == QtCriticalMsg && criticalHidden && isDefaultCategory(context.category))
        return;
    previousHandler(type, context, message);
}

// Whether the system starts a thread now, asked without the pool, which keeps
// a thread it could not start for good.
bool threadStarts()
{
    try {
        startThread([] {}).join();
        return true;
    } catch (const ThreadStartError&) {
        return false;
    }
}

} // namespace

bool keepStarted()
{
    Kept& state = kept();
    QThreadPool* pool = QThreadPool::globalInstance();
    if (state.running > 0 || !pool)
        return true;
    if (!threadStarts())
        return false;
    // Idle threads wait for work for good instead of ending after a while.
    pool->setExpiryTimeout(-1);
    const int wanted = std::min(QThread::idealThreadCount(), keptCount);
    // Each task holds its thread until all are handed out, so that every one
    // of them needs a thread of its own.
    const auto handedOut = std::make_shared<std::atomic<bool>>(false);
    startingOn = QThread::currentThread();
    previousHandler = qInstallMessageHandler(noteRefusals);
    // Rules that hide those messages (QT_LOGGING_RULES="*.critical=false")
    // would hide the refusal from the handler too: they are set aside while
    // the pool starts its threads, and the handler keeps them.
    QLoggingCategory* const qtMessages = QLoggingCategory::defaultCategory();
    criticalHidden = qtMessages && !qtMessages->isCriticalEnabled();
    if (criticalHidden)
        qtMessages->setEnabled(QtCriticalMsg, true);
    while (state.running < wanted) {
        // Room for exactly one more thread: the pool starts one for the task.
        pool->setMaxThreadCount(state.running + state.refused + 1);
        startRefused = false;
        pool->start([handedOut] { handedOut->wait(false); });
        if (startRefused) {
            ++state.refused;
            break;
        }
        ++state.running;
    }
    if (criticalHidden)
        qtMessages->setEnabled(QtCriticalMsg, false);
    qInstallMessageHandler(previousHandler);
    startingOn = nullptr;
    // Never more than it has: the pool never asks for another thread.
    pool->setMaxThreadCount(state.running + state.refused);
    handedOut->store(true);
    handedOut->notify_all();
    return state.running > 0;
}

void whenStarted(QObject* context, std::function<void()> then)
{
    if (keepStarted()) {
        then();
        return;
    }
    if (!std::exchange(kept().waitTold, true))
        logWarning(lcUi(),
                   QStringLiteral("The windows wait for a thread to paint with: the system refuses to start one"));
    QTimer::singleShot(threadStartRetryInterval, context,
                       [context, then = std::move(then)]() mutable { whenStarted(context, std::move(then)); });
}

bool allStarted()
{
    return kept().refused == 0;
}

void exitIfAnyNeverStarted(int exitCode)
{
    if (allStarted())
        return;
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace vessa::PaintThreads
