#include "VessaCore/GenerationWorker.h"

namespace vessa {

GenerationWorker::GenerationWorker(QObject* receiver) : m_receiver(receiver), m_shared(std::make_shared<Shared>())
{
}

GenerationWorker::~GenerationWorker()
{
    m_shared->alive = false;
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
}

bool GenerationWorker::isPending() const
{
    return m_shared->pending;
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
