#pragma once

// Counts how often SQLite makes a database file itself durable (not its WAL
// or journal): in WAL mode, once for each checkpoint that folds frames into
// it. While one is alive it is SQLite's default file system, so the
// connections opened meanwhile are counted. The including test links SQLite.

#include <sqlite3.h>

#include <atomic>
#include <mutex>

namespace vessa::test {

class DatabaseFileSyncs {
public:
    DatabaseFileSyncs()
    {
        s_count = 0;
        s_real = sqlite3_vfs_find(nullptr);
        m_vfs = *s_real;
        m_vfs.zName = "databasefilesyncs";
        m_vfs.xOpen = open;
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~DatabaseFileSyncs() { sqlite3_vfs_unregister(&m_vfs); }
    DatabaseFileSyncs(const DatabaseFileSyncs&) = delete;
    DatabaseFileSyncs& operator=(const DatabaseFileSyncs&) = delete;

    static int count() { return s_count.load(); }

private:
    static int open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
    {
        const int result = s_real->xOpen(s_real, name, file, flags, outFlags);
        if (result != SQLITE_OK || !(flags & SQLITE_OPEN_MAIN_DB) || !file->pMethods)
            return result;
        // Every database file of the default file system has the same
        // methods; they are wrapped once, as connections open on any thread.
        std::call_once(s_wrapped, [file] {
            s_realMethods = file->pMethods;
            s_methods = *s_realMethods;
            s_methods.xSync = sync;
        });
        if (file->pMethods == s_realMethods)
            file->pMethods = &s_methods;
        return result;
    }
    static int sync(sqlite3_file* file, int flags)
    {
        ++s_count;
        return s_realMethods->xSync(file, flags);
    }

    sqlite3_vfs m_vfs{};
    static inline std::atomic<int> s_count{0};
    static inline sqlite3_vfs* s_real = nullptr;
    static inline std::once_flag s_wrapped;
    static inline const sqlite3_io_methods* s_realMethods = nullptr;
    static inline sqlite3_io_methods s_methods{};
};

} // namespace vessa::test
