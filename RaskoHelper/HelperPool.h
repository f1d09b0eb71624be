#pragma once

#include "RaskoHelper/HelperProcess.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vessa {

class HelperPool;

// A helper taken from a pool for one operation or one stream; goes back to
// the pool when the lease ends (or is killed when it is no longer usable).
class HelperLease {
public:
    HelperLease(std::shared_ptr<HelperPool> pool, std::unique_ptr<HelperProcess> process)
        : m_pool(std::move(pool)), m_process(std::move(process))
    {
    }
    HelperLease(HelperLease&&) noexcept = default;
    HelperLease& operator=(HelperLease&&) noexcept = default;
    ~HelperLease();

    HelperProcess* operator->() const { return m_process.get(); }
    HelperProcess& operator*() const { return *m_process; }

private:
    std::shared_ptr<HelperPool> m_pool;
    std::unique_ptr<HelperProcess> m_process;
};

// The decoder helpers of one executable: idle ones are kept for the next
// operation, so that a scan or a stream does not start a process per file or
// per seek. Thread-safe.
class HelperPool : public std::enable_shared_from_this<HelperPool> {
public:
    // The file name of the helper executable, installed beside the program.
    static QString executableName();
    // The helper beside the running executable.
    static QString defaultExecutable();

    // The pool of that executable (the default one when empty), shared by
    // every plug-in in the process.
    static std::shared_ptr<HelperPool> forExecutable(const QString& executable = QString());

    explicit HelperPool(QString executable) : m_executable(std::move(executable)) {}

    const QString& executable() const { return m_executable; }

    // An idle helper, or a new one. Throws HelperProcess::FailureError.
    HelperLease acquire();
    void release(std::unique_ptr<HelperProcess> process);

private:
    static constexpr std::size_t maximumIdle = 4;

    const QString m_executable;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<HelperProcess>> m_idle; // guarded by m_mutex
};

} // namespace vessa
