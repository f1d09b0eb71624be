// Reading the whole library out of the media database.

#include "RaskoLocalFile/LibraryOrder.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/SqliteStatement.h"
#include "VessaCore/WorkerThreads.h"

namespace vessa {

namespace {

// The pages of cache of each connection that reads the library. One pass
// over the table reads each page once, so a few do; a large cache would
// leave gaps among the entries read when it goes (see FreedMemory).
constexpr int readingCachePages = 8;

} // namespace

QList<MediaDatabase::TrackRow> MediaDatabase::allTracks()
{
    static const QByteArray sql = selectRows("ORDER BY " + LibraryOrder::sql(LibraryOrder::Sql::order));
    const std::unique_lock lock = lockChecked();
    return readRowsLocked(sql, {});
}

std::vector<qint64> MediaDatabase::readLibrary(int pieces,
                                               const std::function<void(int piece, const TrackRowBytes&)>& row)
{
    static const QByteArray runSql = selectRows("WHERE id >= ?1 AND id < ?2 ORDER BY id");
    // Read from the lookup index alone, without a sort.
    static const QByteArray orderSql =
        "SELECT id FROM tracks ORDER BY " + LibraryOrder::sql(LibraryOrder::Sql::lookupOrder);
    const std::unique_lock lock = lockChecked();
    const SqliteFirstValue lowest = firstValue(m_db.get(), "SELECT min(id) FROM tracks");
    const SqliteFirstValue highest = firstValue(m_db.get(), "SELECT max(id) FROM tracks");
    const qint64 first = lowest.text.toLongLong();
    const qint64 span = (highest.text.toLongLong() - first) / pieces + 1;
    const auto readRun = [&](sqlite3* db, int piece) {
        SqliteStatement rows(db, runSql);
        rows.bind(1, first + span * piece);
        rows.bind(2, first + span * (piece + 1));
        rows.forEachRow([&row, piece](const SqliteStatement& stored) { row(piece, readRowBytes(stored)); });
    };
    std::vector<qint64> ids;
    const auto readOrder = [&](std::stop_token) {
        SqliteStatement order(m_db.get(), orderSql);
        order.forEachRow([&ids](const SqliteStatement& stored) { ids.push_back(stored.int64(0)); });
    };
    // A file replaced at the path is read through the connection that still
    // has it open.
    if (!m_path || m_replaced != Replacement::none) {
        for (int piece = 0; piece < pieces; ++piece)
            readRun(m_db.get(), piece);
        readOrder({});
        return ids;
    }
    // On the worker threads, which last, so their heaps then hold the
    // entries and little else (see FreedMemory). A run whose connection
    // finds another file at the path reads through this one (SQLite
    // serialises the calls on it).
    std::vector<WorkerThreads::Piece> runs;
    for (int piece = 0; piece < pieces; ++piece) {
        runs.push_back([this, piece, &readRun](std::stop_token) {
            const SqliteConnection reader = openReaderLocked();
            readRun(reader ? reader.get() : m_db.get(), piece);
        });
    }
    WorkerThreads::run(std::move(runs), readOrder);
    return ids;
}

SqliteConnection MediaDatabase::openReadOnly(const QString& path)
{
    sqlite3* handle = nullptr;
    const int result = sqlite3_open_v2(path.toUtf8().constData(), &handle, SQLITE_OPEN_READONLY, nullptr);
    SqliteConnection connection(handle);
    if (result != SQLITE_OK)
        throw MediaDatabaseError::cannotOpen(path, sqliteMessage(handle));
    sqlite3_busy_timeout(handle, busyTimeoutMilliseconds);
    const QByteArray cacheSize = "PRAGMA cache_size = " + QByteArray::number(readingCachePages);
    sqlite3_exec(handle, cacheSize.constData(), nullptr, nullptr, nullptr);
    return connection;
}

} // namespace vessa
