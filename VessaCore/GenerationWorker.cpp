#include "VessaCore/GenerationWorker.h"

#include "VessaCore/Logging.h"
#include "VessaCore/ThreadStart.h"

#include <QTimer>

namespace vessa {

namespace {

VESSA_LOGGING_CATEGORY(lcWorker, "vessacore", "worker")

} // namespace

GenerationWorker::GenerationWorker(QObject* receiver) : m_receiver(receiver), m_shared(std::make_shared<Shared>())
{
}

GenerationWorker::~GenerationWorker()
{
    m_shared->alive = false;
    m_shared->waiting.clear();
    for (auto& [generation, worker] : m_shared->workers)
        worker.request_stop();
    // Joins every worker; what they post afterwards finds the helper gone.
    m_shared->workers.clear();
}

quint64 GenerationWorker::beginGeneration()
{
    supersede();
    m_shared->pending = true;
    return m_shared->current;
}

void GenerationWorker::supersede()
{
    ++m_shared->current;
    m_shared->pending = false;
    for (auto& [generation, worker] : m_shared->workers)
        worker.request_stop();
    // A generation still waiting for its thread ends here, its `superseded`
    // running after the caller's turn, as for a worker that was stopped.
    for (auto& [generation, superseded] : std::exchange(m_shared->waiting, {})) {
        if (superseded) {
            post(m_receiver, [shared = m_shared, superseded = std::move(superseded)] {
                if (shared->alive)
                    superseded();
            });
        }
    }
}

bool GenerationWorker::isPending() const
{
    return m_shared->pending;
}

void GenerationWorker::launch(quint64 generation, const Body& body, std::function<void()> superseded)
{
    try {
        m_shared->workers.emplace(generation, startThread(body));
    } catch (const ThreadStartError& refusal) {
        logWarning(lcWorker(), QStringLiteral("Background work waits for a thread: %1").arg(refusal.description()));
        retryLater(m_receiver, m_shared, generation, body, std::move(superseded));
    }
}

void GenerationWorker::retryLater(const QPointer<QObject>& receiver, const std::shared_ptr<Shared>& shared,
                                  quint64 generation, const Body& body, std::function<void()> superseded)
{
    QObject* target = receiver.data();
    if (!target)
        return; // nobody left to deliver to
    shared->waiting.emplace(generation, std::move(superseded));
    QTimer::singleShot(threadStartRetryInterval, target, [receiver, shared, generation, body] {
        const auto waiting = shared->waiting.find(generation);
        if (!shared->alive || waiting == shared->waiting.end())
            return; // superseded meanwhile
        std::function<void()> superseded = std::move(waiting->second);
        shared->waiting.erase(waiting);
        try {
            shared->workers.emplace(generation, startThread(body));
        } catch (const ThreadStartError&) {
            retryLater(receiver, shared, generation, body, std::move(superseded));
        }
    });
}

bool GenerationWorker::finish(Shared& shared, quint64 generation)
{
    // The worker has posted its result and is at its end: joining it does not wait.
    shared.workers.erase(generation);
    if (generation != shared.current)
        return false;
    shared.pending = false;
    return true;
}

void GenerationWorker::post(const QPointer<QObject>& receiver, std::function<void()> call)
{
    if (QObject* target = receiver.data())
        QMetaObject::invokeMethod(target, std::move(call), Qt::QueuedConnection);
}

} // namespace vessa
