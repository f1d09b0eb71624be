#pragma once

#include "VessaCore/AudioOutput.h"
#include "VessaCore/Error.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

namespace vessa::test {

// What a FakeAudioOutput throws when a test tells it to fail.
class FakeOutputError : public Error {
public:
    explicit FakeOutputError(QString message) : m_message(std::move(message)) {}
    QString description() const override { return m_message; }

private:
    QString m_message;
};

// An AudioOutput for tests. It records every call, fails on request, applies
// back-pressure with a settable capacity, holds the drain wait until released
// and reports a settable current time. Nothing is rendered by itself: the
// test renders accepted buffers with render().
//
// Threads: safe to call from any thread. The blocking calls (schedule,
// waitForQueueDrained) wake on stop(), on their stop token and on the test's
// render()/releaseDrain(). The call hook runs on the calling thread without
// the fake's lock held.
class FakeAudioOutput final : public AudioOutput {
public:
    enum class Operation { prepare, schedule, play, pause, stop, seek, waitForQueueDrained };

    struct Call {
        explicit Call(Operation operation) : operation(operation) {}

        Operation operation;
        double seconds = 0.0;     // seek
        AudioFormat format;       // prepare, schedule
        qint64 frameCount = 0;    // schedule
    };

    static QString name(Operation operation)
    {
        switch (operation) {
        case Operation::prepare: return QStringLiteral("prepare");
        case Operation::schedule: return QStringLiteral("schedule");
        case Operation::play: return QStringLiteral("play");
        case Operation::pause: return QStringLiteral("pause");
        case Operation::stop: return QStringLiteral("stop");
        case Operation::seek: return QStringLiteral("seek");
        case Operation::waitForQueueDrained: break;
        }
        return QStringLiteral("waitForQueueDrained");
    }

    // ---- scripted failures

    // The call of `operation` that comes after `skip` more calls of it
    // throws FakeOutputError(message); the calls before it succeed.
    void failNext(Operation operation, QString message = QStringLiteral("Fake output failure"), int skip = 0)
    {
        std::lock_guard lock(m_mutex);
        m_failures[operation] = Failure{std::move(message), skip, false};
    }
    // Every call of `operation` throws until clearFailures().
    void failAlways(Operation operation, QString message = QStringLiteral("Fake output failure"))
    {
        std::lock_guard lock(m_mutex);
        m_failures[operation] = Failure{std::move(message), 0, true};
    }
    void clearFailures()
    {
        std::lock_guard lock(m_mutex);
        m_failures.clear();
    }

    // ---- back-pressure

    // At most `capacity` accepted buffers wait to be rendered; schedule()
    // blocks while that many wait. 0 (the default) means no limit.
    void setCapacity(std::size_t capacity)
    {
        std::lock_guard lock(m_mutex);
        m_capacity = capacity;
        m_changed.notify_all();
    }
    // Renders the `count` oldest accepted buffers, making room.
    void render(std::size_t count = 1)
    {
        std::lock_guard lock(m_mutex);
        for (; count > 0 && !m_queue.empty(); --count)
            m_queue.pop_front();
        m_changed.notify_all();
    }
    std::size_t queuedCount() const
    {
        std::lock_guard lock(m_mutex);
        return m_queue.size();
    }
    // A blocked schedule() then wakes only on stop() or render(), like an
    // output that does not watch the caller's stop token.
    void setScheduleIgnoresStopToken(bool ignores)
    {
        std::lock_guard lock(m_mutex);
        m_scheduleIgnoresStopToken = ignores;
    }

    // ---- drain

    // While held, waitForQueueDrained() blocks until releaseDrain(), stop()
    // or its stop token. Not held (the default), it returns at once.
    void holdDrain()
    {
        std::lock_guard lock(m_mutex);
        m_drainHeld = true;
    }
    void releaseDrain()
    {
        std::lock_guard lock(m_mutex);
        m_drainHeld = false;
        m_changed.notify_all();
    }

    // ---- position

    void setCurrentTime(double seconds)
    {
        std::lock_guard lock(m_mutex);
        m_currentTime = seconds;
    }
    int currentTimeReads() const
    {
        std::lock_guard lock(m_mutex);
        return m_currentTimeReads;
    }

    // ---- record and state

    // Runs on every recorded call, before the fake acts on it.
    void setCallHook(std::function<void(const Call&)> hook)
    {
        std::lock_guard lock(m_mutex);
        m_hook = std::move(hook);
    }
    QList<Call> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    QStringList callNames() const
    {
        std::lock_guard lock(m_mutex);
        QStringList names;
        for (const Call& call : m_calls)
            names.append(name(call.operation));
        return names;
    }
    int callCount(Operation operation) const
    {
        std::lock_guard lock(m_mutex);
        return callCountLocked(operation);
    }
    void clearCalls()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }
    // Waits (without running an event loop) until `operation` was called at
    // least `count` times since the last clearCalls().
    bool waitForCallCount(Operation operation, int count,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return callCountLocked(operation) >= count; });
    }
    // Waits until a schedule() or waitForQueueDrained() call is blocked.
    bool waitUntilBlocked(Operation operation, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_blocked.count(operation) > 0; });
    }

    bool isPlaying() const
    {
        std::lock_guard lock(m_mutex);
        return m_playing;
    }
    std::optional<AudioFormat> preparedFormat() const
    {
        std::lock_guard lock(m_mutex);
        return m_preparedFormat;
    }

    // ---- AudioOutput

    void prepare(const AudioFormat& format) override
    {
        Call call{Operation::prepare};
        call.format = format;
        enter(call);
        std::lock_guard lock(m_mutex);
        m_preparedFormat = format;
        m_playing = false;
        m_queue.clear();
    }

    void schedule(PCMBuffer buffer, std::stop_token stop) override
    {
        Call call{Operation::schedule};
        call.format = buffer.format;
        call.frameCount = buffer.frameCount();
        enter(call);
        std::unique_lock lock(m_mutex);
        if (stop.stop_requested())
            throw CancellationError();
        const quint64 stopsBefore = m_stops;
        auto roomOrStopped = [&] {
            return m_capacity == 0 || m_queue.size() < m_capacity || m_stops != stopsBefore;
        };
        if (!roomOrStopped()) {
            m_blocked.insert(Operation::schedule);
            m_changed.notify_all();
            if (m_scheduleIgnoresStopToken)
                m_changed.wait(lock, roomOrStopped);
            else
                m_changed.wait(lock, stop, roomOrStopped);
            m_blocked.erase(m_blocked.find(Operation::schedule));
        }
        if (stop.stop_requested())
            throw CancellationError();
        if (m_stops != stopsBefore)
            return; // discarded by stop()
        m_queue.push_back(std::move(buffer));
    }

    void play() override
    {
        enter(Call{Operation::play});
        std::lock_guard lock(m_mutex);
        m_playing = true;
    }

    void pause() override
    {
        enter(Call{Operation::pause});
        std::lock_guard lock(m_mutex);
        m_playing = false;
    }

    void stop() override
    {
        enter(Call{Operation::stop});
        std::lock_guard lock(m_mutex);
        m_playing = false;
        m_queue.clear();
        ++m_stops;
        m_changed.notify_all();
    }

    // From now on the current time counts from `seconds`.
    void seek(double seconds) override
    {
        Call call{Operation::seek};
        call.seconds = seconds;
        enter(call);
        std::lock_guard lock(m_mutex);
        m_currentTime = seconds;
    }

    void waitForQueueDrained(std::stop_token stop) override
    {
        enter(Call{Operation::waitForQueueDrained});
        std::unique_lock lock(m_mutex);
        const quint64 stopsBefore = m_stops;
        auto released = [&] { return !m_drainHeld || m_stops != stopsBefore; };
        if (released())
            return;
        m_blocked.insert(Operation::waitForQueueDrained);
        m_changed.notify_all();
        m_changed.wait(lock, stop, released);
        m_blocked.erase(m_blocked.find(Operation::waitForQueueDrained));
    }

    double currentTime() const override
    {
        std::lock_guard lock(m_mutex);
        ++m_currentTimeReads;
        return m_currentTime;
    }

private:
    struct Failure {
        QString message;
        int skip = 0;
        bool always = false;
    };

    // Records the call, runs the hook and throws a scripted failure.
    void enter(const Call& call)
    {
        std::function<void(const Call&)> hook;
        std::optional<QString> failure;
        {
            std::lock_guard lock(m_mutex);
            m_calls.append(call);
            m_changed.notify_all();
            hook = m_hook;
            auto found = m_failures.find(call.operation);
            if (found != m_failures.end()) {
                if (found->second.always) {
                    failure = found->second.message;
                } else if (found->second.skip > 0) {
                    --found->second.skip;
                } else {
                    failure = found->second.message;
                    m_failures.erase(found);
                }
            }
        }
        if (hook)
            hook(call);
        if (failure)
            throw FakeOutputError(*failure);
    }

    int callCountLocked(Operation operation) const
    {
        int count = 0;
        for (const Call& call : m_calls)
            count += call.operation == operation ? 1 : 0;
        return count;
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable_any m_changed;
    QList<Call> m_calls;
    std::map<Operation, Failure> m_failures;
    std::multiset<Operation> m_blocked;
    std::function<void(const Call&)> m_hook;
    std::deque<PCMBuffer> m_queue;
    std::size_t m_capacity = 0;
    bool m_scheduleIgnoresStopToken = false;
    bool m_drainHeld = false;
    bool m_playing = false;
    std::optional<AudioFormat> m_preparedFormat;
    quint64 m_stops = 0;
    double m_currentTime = 0.0;
    mutable int m_currentTimeReads = 0;
};

} // namespace vessa::test
