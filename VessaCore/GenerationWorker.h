#pragma once

#include <QObject>
#include <QPointer>

#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <type_traits>
#include <utility>

namespace vessa {

// Runs blocking work on stoppable background threads for a main-thread
// object, where a newer request supersedes every older one ("newest wins").
//
// Each start() opens a new generation and runs its work on a std::jthread of
// its own; the work's value (or the exception it threw) is posted back to the
// receiver's thread and handed to `deliver` only if no newer start() or
// supersede() came meanwhile.
//
// The one convention for a superseded result: it is dropped silently, and
// `deliver` never sees it. A caller that owes somebody a completion passes
// `superseded`, which then runs instead (once, on the receiver's thread, after
// the worker has ended); that caller reports CancellationError. Superseding
// requests the stop of the older workers; a value a stopped worker returns is
// destroyed on that worker, off the main thread. A value that leaves something
// behind (a file it wrote) is instead handed to the caller's `discard`, on the
// receiver's thread, whenever its generation was superseded.
//
// Threads: construct, start, supersede and destroy on the receiver's thread;
// `deliver`, `superseded` and `discard` run there. Destroying the helper
// requests every worker's stop and joins them; nothing is delivered or
// discarded after that. The receiver owns the helper (typically as a member),
// so it outlives every worker.
class GenerationWorker {
public:
    explicit GenerationWorker(QObject* receiver);
    ~GenerationWorker();
    GenerationWorker(const GenerationWorker&) = delete;
    GenerationWorker& operator=(const GenerationWorker&) = delete;

    // Starts `work(std::stop_token)` for a new generation, superseding every
    // earlier one; `deliver(value, error)` gets either the value (error empty)
    // or the exception and a default-constructed value; `discard(value)` gets
    // a superseded value, before `superseded` runs. Returns the generation.
    template <typename Work, typename Deliver, typename Discard = std::nullptr_t>
    quint64 start(Work work, Deliver deliver, std::function<void()> superseded = {}, Discard discard = nullptr);
    // Supersedes every generation started so far without starting another.
    void supersede();
    // The current generation was started and has not been delivered yet.
    bool isPending() const;

private:
    struct Shared {
        quint64 current = 0;
        bool pending = false;
        bool alive = true;
        std::map<quint64, std::jthread> workers;
    };

    quint64 beginGeneration();
    // Runs on the receiver's thread: reaps the worker and tells whether its
    // generation is still the current one (in which case it is now delivered).
    static bool finish(Shared& shared, quint64 generation);
    static void post(const QPointer<QObject>& receiver, std::function<void()> call);

    QPointer<QObject> m_receiver;
    std::shared_ptr<Shared> m_shared;
};

template <typename Work, typename Deliver, typename Discard>
quint64 GenerationWorker::start(Work work, Deliver deliver, std::function<void()> superseded, Discard discard)
{
    using Value = std::invoke_result_t<Work&, std::stop_token>;
    constexpr bool hasDiscard = !std::is_null_pointer_v<Discard>;
    const quint64 generation = beginGeneration();
    m_shared->workers.emplace(
        generation, std::jthread([receiver = m_receiver, shared = m_shared, generation, work = std::move(work),
                                  deliver = std::move(deliver), superseded = std::move(superseded),
                                  discard = std::move(discard)](std::stop_token stop) mutable {
            // Shared so that the posted call stays copyable for a move-only value.
            auto value = std::make_shared<std::optional<Value>>();
            std::exception_ptr error;
            try {
                value->emplace(work(stop));
            } catch (...) {
                error = std::current_exception();
            }
            if (stop.stop_requested()) {
                if constexpr (!hasDiscard)
                    value->reset();
                error = nullptr;
            }
            post(receiver, [shared, generation, value, error, deliver = std::move(deliver),
                            superseded = std::move(superseded), discard = std::move(discard)]() mutable {
                if (!shared->alive)
                    return;
                if (!finish(*shared, generation)) {
                    if constexpr (hasDiscard) {
                        if (value->has_value())
                            discard(std::move(**value));
                    }
                    if (superseded)
                        superseded();
                    return;
                }
                deliver(value->has_value() ? std::move(**value) : Value(), error);
            });
        }));
    return generation;
}

} // namespace vessa
