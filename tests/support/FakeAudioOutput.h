#pragma once

#include "VessaCore/AudioOutput.h"
#include "VessaCore/Error.h"

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <type_traits>

namespace vessa::test {

// What a FakeAudioOutput throws when a test tells it to fail.
class FakeOutputError : public Error {
public:
    explicit FakeOutputError(QString message) : m_message(std::move(message)) {}
    QString description() const override { return m_message; }

private:
    QString m_message;
};

// An AudioOutput for tests that records every call, fails on request and
// renders nothing: schedule() blocks while `capacity` accepted buffers wait
// (0: no limit), and the drain wait blocks while the drain is held.
// Threads: any member from any thread, one scheduling thread at a time; the
// blocking calls also wake on stop() and their stop token (schedule() may be
// told to ignore it). The call hook runs without the lock held.
class FakeAudioOutput final : public AudioOutput {
public:
    enum class Operation { prepare, schedule, play, pause, stop, seek, waitForQueueDrained };
    struct Call {
        Operation operation;
    };

    // The next call of `operation` throws FakeOutputError(message).
    void failNext(Operation operation, const QString& message = QStringLiteral("Fake output failure"))
    {
        locked([&] { m_failures[operation] = message; });
    }
    void setCapacity(std::size_t capacity)
    {
        locked([&] { m_capacity = capacity; });
    }
    // Then only stop() or more capacity wakes a blocked schedule().
    void setScheduleIgnoresStopToken(bool ignores)
    {
        locked([&] { m_scheduleIgnoresStopToken = ignores; });
    }
    void holdDrain()
    {
        locked([&] { m_drainHeld = true; });
    }
    void releaseDrain()
    {
        locked([&] { m_drainHeld = false; });
    }
    void setCurrentTime(double seconds)
    {
        locked([&] { m_currentTime = seconds; });
    }
    // Runs on every call, before the fake acts on it.
    void setCallHook(std::function<void(const Call&)> hook)
    {
        locked([&] { m_hook = std::move(hook); });
    }
    void clearCalls()
    {
        locked([&] { m_calls.clear(); });
    }

    QList<Call> calls() const
    {
        return locked([&] { return m_calls; });
    }
    QStringList callNames() const
    {
        static const QStringList names{"prepare", "schedule", "play", "pause", "stop", "seek", "waitForQueueDrained"};
        QStringList result;
        for (const Call& call : calls())
            result.append(names[int(call.operation)]);
        return result;
    }
    // Waits, without an event loop, until a schedule() or drain wait blocks.
    bool waitUntilBlocked() const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_blocked; });
    }

    void prepare(const AudioFormat&) override { enter(Operation::prepare); }
    void play() override { enter(Operation::play); }
    void pause() override { enter(Operation::pause); }
    void stop() override
    {
        enter(Operation::stop);
        locked([&] {
            m_queued = 0;
            ++m_stops;
        });
    }
    void seek(double seconds) override
    {
        enter(Operation::seek);
        setCurrentTime(seconds); // the time counts from here on
    }
    double currentTime() const override
    {
        return locked([&] { return m_currentTime; });
    }

    void schedule(PCMBuffer, std::stop_token stop) override
    {
        std::unique_lock lock = enter(Operation::schedule);
        const bool stopped =
            block(lock, stop, m_scheduleIgnoresStopToken, [&] { return m_capacity == 0 || m_queued < m_capacity; });
        if (stop.stop_requested())
            throw CancellationError();
        if (!stopped)
            ++m_queued;
    }
    void waitForQueueDrained(std::stop_token stop) override
    {
        std::unique_lock lock = enter(Operation::waitForQueueDrained);
        if (!m_drainHeld) {
            lock.unlock();
            return AudioOutput::waitForQueueDrained(stop); // the protocol's default
        }
        block(lock, stop, false, [&] { return !m_drainHeld; });
    }

private:
    template <typename Work>
    std::invoke_result_t<Work> locked(Work work) const
    {
        std::lock_guard lock(m_mutex);
        m_changed.notify_all();
        return work();
    }
    // Records the call, runs the hook, throws a scripted failure; returns locked.
    std::unique_lock<std::mutex> enter(Operation operation)
    {
        std::unique_lock lock(m_mutex);
        m_calls.append(Call{operation});
        m_changed.notify_all();
        const std::function<void(const Call&)> hook = m_hook;
        const std::optional<QString> failure =
            m_failures.count(operation) ? std::optional(m_failures.extract(operation).mapped()) : std::nullopt;
        lock.unlock();
        if (hook)
            hook(Call{operation});
        if (failure)
            throw FakeOutputError(*failure);
        lock.lock();
        return lock;
    }
    // Waits for `ready`, a stop() or (unless `deaf`) the token; true after a stop().
    template <typename Ready>
    bool block(std::unique_lock<std::mutex>& lock, std::stop_token stop, bool deaf, Ready ready)
    {
        const quint64 stopsBefore = m_stops;
        const auto woken = [&] { return m_stops != stopsBefore || ready(); };
        if (!woken() && !stop.stop_requested()) {
            m_blocked = true;
            m_changed.notify_all();
            if (deaf)
                m_changed.wait(lock, woken);
            else
                m_changed.wait(lock, stop, woken);
            m_blocked = false;
        }
        return m_stops != stopsBefore;
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable_any m_changed;
    QList<Call> m_calls;
    std::map<Operation, QString> m_failures;
    std::function<void(const Call&)> m_hook;
    std::size_t m_capacity = 0;
    std::size_t m_queued = 0;
    quint64 m_stops = 0;
    bool m_blocked = false;
    bool m_scheduleIgnoresStopToken = false;
    bool m_drainHeld = false;
    double m_currentTime = 0.0;
};

} // namespace vessa::test
