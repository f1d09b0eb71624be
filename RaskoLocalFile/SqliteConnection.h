#pragma once

#include <memory>

struct sqlite3;

namespace vessa {

// Owns one SQLite connection and closes it when dropped (also a handle that a
// failed open returned).
struct SqliteConnectionCloser {
    void operator()(sqlite3* db) const noexcept;
};
using SqliteConnection = std::unique_ptr<sqlite3, SqliteConnectionCloser>;

} // namespace vessa
