#include "VessaCore/WorkerThreads.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace vessa::WorkerThreads {

namespace {

// The lasting threads and the jobs waiting for one of them. A thread is
// started for a job only when none is idle, so there are as many as were
// ever busy at once, up to threadCount.
class Pool {
public:
    static Pool& shared()
    {
        static Pool pool;
        return pool;
    }

    // Room for every thread up front: adding one never moves the others.
    Pool() { m_threads.reserve(std::size_t(threadCount)); }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;
    // At the process's end: jobs still waiting are dropped; running ones
    // finish and their threads are joined.
    ~Pool()
    {
        std::deque<std::function<void()>> dropped;
        std::lock_guard lock(m_mutex);
        dropped.swap(m_jobs);
    }

    // What post() does with a job when there is no thread and none can start.
    enum class WithoutThread {
        keep,     // it waits for the thread that a later post() manages to start
        giveBack, // it is taken back out: the caller runs it
    };

    // Queues `job` for the threads, starting one when none is idle. The
    // system may refuse a new thread (a limit on processes or threads, a
    // cgroup's pids.max, the address space): the job then waits for a thread
    // already there. False when it was given back, as there is none.
    bool post(std::function<void()> job, WithoutThread without)
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (m_jobs.size() > m_idle && m_threads.size() < std::size_t(threadCount)) {
            try {
                m_threads.emplace_back([this](std::stop_token stop) { serve(stop); });
                return true;
            } catch (const std::system_error&) {
                if (m_threads.empty() && without == WithoutThread::giveBack) {
                    m_jobs.pop_back();
                    return false;
                }
            }
        }
        m_posted.notify_one();
        return true;
    }

private:
    void serve(std::stop_token stop)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            ++m_idle;
            const bool posted = m_posted.wait(lock, stop, [this] { return !m_jobs.empty(); });
            --m_idle;
            if (!posted)
                return;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            job = nullptr;
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable_any m_posted;
    std::deque<std::function<void()>> m_jobs; // guarded by m_mutex
    std::size_t m_idle = 0;                   // guarded by m_mutex
    std::vector<std::jthread> m_threads;      // guarded by m_mutex; last: stops and joins first
};

// One call of run(): its pieces, which of them were taken, and the first failure.
class Batch {
public:
    explicit Batch(std::vector<Piece> pieces) : m_pieces(std::move(pieces)), m_count(m_pieces.size()) {}

    std::size_t count() const { return m_count; }
    void requestStop() { m_stop.request_stop(); }

    // Runs the next piece nobody has taken; false when none is left (or
    // none may start any more).
    bool runNext()
    {
        std::size_t piece = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop.stop_requested())
                m_next = m_count;
            if (m_next == m_count)
                return false;
            piece = m_next++;
            ++m_running;
        }
        attempt(m_pieces[piece]);
        {
            std::lock_guard lock(m_mutex);
            --m_running;
        }
        m_finished.notify_all();
        return true;
    }

    void attempt(const Piece& piece)
    {
        try {
            piece(m_stop.get_token());
        } catch (...) {
            {
                std::lock_guard lock(m_mutex);
                if (!m_failure)
                    m_failure = std::current_exception();
            }
            m_stop.request_stop();
        }
    }

    // Once no piece is left to take: waits for those running, lets the
    // pieces go (here, not on whichever thread drops the batch last) and
    // rethrows the first failure.
    void finish()
    {
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [this] { return m_running == 0; });
        m_pieces.clear();
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    std::vector<Piece> m_pieces; // cleared by finish()
    const std::size_t m_count;
    std::stop_source m_stop;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::size_t m_next = 0;       // guarded by m_mutex
    std::size_t m_running = 0;    // guarded by m_mutex
    std::exception_ptr m_failure; // guarded by m_mutex
};

} // namespace

void run(std::vector<Piece> pieces, const Piece& meanwhile, std::stop_token stop)
{
    const auto batch = std::make_shared<Batch>(std::move(pieces));
    const std::stop_callback passStopOn(stop, [&batch] { batch->requestStop(); });
    // A piece no thread can take is the caller's, so the call never leaves
    // while a piece of it may still run.
    bool posted = true;
    try {
        for (std::size_t i = 0; i < batch->count() && posted; ++i)
            posted = Pool::shared().post([batch] { batch->runNext(); }, Pool::WithoutThread::giveBack);
    } catch (const std::bad_alloc&) {
        posted = false;
    }
    // Without a thread for them, the pieces run first: `meanwhile` may wait
    // for what they do.
    if (!posted) {
        while (batch->runNext()) {
        }
    }
    if (meanwhile)
        batch->attempt(meanwhile);
    while (batch->runNext()) {
    }
    batch->finish();
}

void start(std::function<void()> job)
{
    Pool::shared().post(std::move(job), Pool::WithoutThread::keep);
}

} // namespace vessa::WorkerThreads
