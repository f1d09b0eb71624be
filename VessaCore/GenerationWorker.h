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
// When the system refuses the thread (a limit on processes or threads), the
// generation waits: start() tries again every threadStartRetryInterval on the
// receiver's thread until a thread starts or something supersedes it. It
// stays pending meanwhile, and its `superseded` runs as for any other.
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
    // A generation's work with everything it hands back; runs once, on its thread.
    using Body = std::function<void(std::stop_token)>;

    struct Shared {
        quint64 current = 0;
        bool pending = false;
        bool alive = true;
        std::map<quint64, std::jthread> workers;
        // The generations waiting for a thread the system refused, with their `superseded`.
        std::map<quint64, std::function<void()>> waiting;
    };

    quint64 beginGeneration();
    // Starts the generation's thread, or has it wait for one.
    void launch(quint64 generation, const Body& body, std::function<void()> superseded);
    // Asks for the waiting generation's thread again after a while, and so on
    // until one starts or the generation is superseded.
    static void retryLater(const QPointer<QObject>& receiver, const std::shared_ptr<Shared>& shared, quint64 generation,
                           const Body& body, std::function<void()> superseded);
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
    auto task = [receiver = m_receiver, shared = m_shared, generation, work = std::move(work),
                 deliver = std::move(deliver), superseded, discard = std::move(discard)](std::stop_token stop) mutable {
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
    };
    // Kept for another try while the system refuses the thread; the thread
    // takes the task out, so that what it holds goes with the thread.
    auto held = std::make_shared<std::optional<decltype(task)>>(std::move(task));
    launch(
        generation,
        [held](std::stop_token stop) {
            auto taken = std::move(**held);
            held->reset();
            taken(std::move(stop));
        },
        std::move(superseded));
    return generation;
}

} // namespace vessa
