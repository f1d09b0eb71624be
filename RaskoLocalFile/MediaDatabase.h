#pragma once

#include "RaskoLocalFile/FileIdentity.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/SqliteConnection.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

namespace vessa {

class SqliteStatement;

// The persistent index of the local music library: one row per playable item
// (a file, a ZIP member "archive::member", or one sub-track of a multi-track
// file) in the SQLite table `tracks`, in `file_marks` what scans learnt
// about files beyond their rows (see FileMark), and in `mount_points` the
// folders something was mounted on at the last scan. The schema is made and
// the file checked in MediaDatabaseSchema.cpp (a check put off until first
// use in MediaDatabaseFileCheck.cpp), the whole library read in
// MediaDatabaseLibrary.cpp, the marks and mount points kept in
// MediaDatabaseMarks.cpp, a file replaced while open left alone in
// MediaDatabaseReplacement.cpp.
//
// The file is the one opened: when another file is moved to its path (a
// backup put back) or it is removed while the program runs, this object
// goes on with the file it has open, and the file now at the path is left
// whole for the next start, none of this connection's WAL applied to it. A
// file overwritten in place (copied over: the same file with other
// contents) cannot be gone on with: from then on every member throws, and
// nothing more is written or folded into it, not at closing either; the next
// start opens it like any other. Either is noticed at the next call, or at
// once through noticeReplacement(). As SQLite applies any WAL it finds
// beside a file to that file, the side files this connection owns are the
// first to go from beside a file put in its place; and at rest the WAL
// holds nothing: a call that writes folds it into the file and empties it
// before it returns (within a WriteBatch, the batch's end does), so that a
// kill, whatever file is at the path then, leaves no frames of this run
// there.
//
// Threads: every public member may be called from any thread; one mutex
// serialises the statements on the one connection. Callers keep these calls
// off the main thread (each one touches the disk). Members ending in
// `Locked` expect the caller to hold the mutex. A file opened with its page
// check put off is checked by the first member called, under the mutex, so
// the others wait for it.
class MediaDatabase {
public:
    // One row of `tracks`. `id` is assigned by SQLite and ignored on writes.
    // An absent subTrackIndex is stored as -1, and any negative stored value
    // reads back as absent.
    struct TrackRow {
        qint64 id = 0;
        QString artist;
        QString album;
        QString title;
        std::optional<qint64> durationSeconds;
        QString filePath;
        QString fileExtension;
        QDateTime lastModified;
        std::optional<qint64> subTrackIndex;
        std::optional<qint64> trackNumber;
        std::optional<qint64> discNumber;

        TrackRow() = default;
        TrackRow(qint64 id, QString artist, QString album, QString title, std::optional<qint64> durationSeconds,
                 QString filePath, QString fileExtension, QDateTime lastModified, std::optional<qint64> subTrackIndex,
                 std::optional<qint64> trackNumber, std::optional<qint64> discNumber);

        friend bool operator==(const TrackRow&, const TrackRow&) = default;
    };

    // One row of `tracks` as SQLite holds it, for reading the whole table
    // without copies: the texts are the stored bytes (UTF-8; the file path as
    // bindPath stores it), valid only during the call they are handed to.
    struct TrackRowBytes {
        qint64 id = 0;
        QByteArrayView artist;
        QByteArrayView album;
        QByteArrayView title;
        std::optional<qint64> durationSeconds;
        QByteArrayView filePath;
        std::optional<qint64> subTrackIndex;
        std::optional<qint64> trackNumber;
        std::optional<qint64> discNumber;
    };

    // What a scan remembers of a file (by its size and modification date)
    // beyond its rows, so that it need not read the file again while both
    // stay the same: that the file was refused (not audio, or damaged), or,
    // for a ZIP archive, that every member it lists was read. Dropping a mark
    // only costs a new read.
    struct FileMark {
        enum class Kind { refused, completeArchive };

        QString filePath;
        qint64 size = 0;
        QDateTime lastModified;
        Kind kind = Kind::refused;

        friend bool operator==(const FileMark&, const FileMark&) = default;
    };

    // Version 4 added `file_marks`. A file stamped 3 may have been written by
    // a program that kept no marks, so marks found in it are dropped.
    // `mount_points` came later without a new version: a file without it
    // gets it empty, and a program that does not know it leaves it be.
    static constexpr int schemaVersion = 4;
    // Most paths one DELETE statement names; longer lists are split.
    static constexpr int pathsPerDelete = 500;
    static constexpr int busyTimeoutMilliseconds = 5000;

    // Opens (creating it and its folder when needed) the database file at
    // `path`, or an in-memory database that lives as long as the object when
    // no path is given. Throws MediaDatabaseError. An existing file that is
    // damaged, is not a database or has a newer schema version is refused
    // (damaged, newerVersion) and left as it was, its -wal file included.
    explicit MediaDatabase(const std::optional<QString>& path = std::nullopt);

    // A file the page check refused and moved out of the way: why, and
    // where it is kept.
    struct Refused {
        MediaDatabaseError refusal;
        QString keptPath;
    };
    // Moves a refused file (and its side files) away from its path, so that
    // a new database can be made there; returns where it is kept. Throws
    // MediaDatabaseError when it cannot.
    using MoveAside = std::function<QString(const MediaDatabaseError& refusal)>;
    // Opens the file at `path` as above, but refuses at once only what its
    // header and schema show (a file that is not a database or has a newer
    // schema version). Reading every page of a large file takes a while, so
    // that is put off until checkFile() or any other member is called: until
    // it is done nothing reads from the file or writes to it. A file that
    // fails it goes to `moveAside` as it was, and a new empty database takes
    // its place; when even that fails, every member throws that failure. A
    // new or empty file is made at once, as it has no pages to wait for.
    MediaDatabase(const QString& path, MoveAside moveAside);
    ~MediaDatabase();
    MediaDatabase(const MediaDatabase&) = delete;
    MediaDatabase& operator=(const MediaDatabase&) = delete;

    // Rows whose file path lies under the folder: it starts with the folder
    // path plus "/" (exactly, case-sensitively). ZIP members of archives
    // under the folder count too.
    qint64 countTracks(const QString& underDirectory);
    // Removes the rows, the file marks and the mount points at or under the
    // folder, in one transaction.
    void removeTracksUnderDirectory(const QString& directory);

    // Every row in LibraryOrder's order: by artist, album (both ignoring
    // ASCII case), disc-track key, title (ignoring ASCII case), then id.
    QList<TrackRow> allTracks();
    // Reads every row in `pieces` runs of consecutive ids, handing run k's
    // rows to row(k, ...) by id, and returns the ids in the lookup index's
    // order (artist, album and title ignoring ASCII case, then id). For a
    // database file the runs are read at once on the worker threads
    // (WorkerThreads), each on a read-only connection of its own (so `row`
    // is called from several threads, each with its own run), while the
    // order is read from the lookup index alone: much quicker on a large
    // table than allTracks()' ORDER BY. LibraryOrder::sortAlbums turns them
    // into allTracks()' order.
    std::vector<qint64> readLibrary(int pieces, const std::function<void(int piece, const TrackRowBytes&)>& row);
    // Rows whose artist, album and title equal the given ones apart from ASCII
    // case; rows of exactly `durationSeconds` first, then by id.
    QList<TrackRow> findTracks(const QString& artist, const QString& album, const QString& title,
                               std::optional<qint64> durationSeconds);

    // Deletes every row (all sub-tracks) of each listed path, in one
    // transaction: all or nothing.
    void removeTracksWithPaths(const QStringList& paths);
    // file path -> last_modified; one entry per path.
    QHash<QString, QDateTime> allFileModTimes();
    // Each row's file path (its file-system bytes, valid during the call)
    // and last_modified, with no texts made: a path of several rows comes
    // once per row.
    void forEachFileModTime(const std::function<void(QByteArrayView path, const QDateTime& date)>& visit);

    // Inserts the row, or overwrites the row with the same file path and
    // sub-track index, keeping its id.
    void upsert(const TrackRow& row);
    // Upserts all rows in one transaction: all or nothing.
    void upsert(const QList<TrackRow>& rows);
    // Deletes every row of `filePath`, then upserts `rows`, in one transaction.
    void replaceTracks(const QString& filePath, const QList<TrackRow>& rows);

    // Distinct file paths that start with `prefix` (exact bytes, so case
    // matters), in byte order. For example "/m/a.zip::" gives the indexed
    // members of that archive.
    QStringList filePathsWithPrefix(const QString& prefix);
    // Deletes the rows whose file path starts with `prefix`; returns how many.
    qint64 removeTracksWithPathPrefix(const QString& prefix);

    // file path -> mark; one entry per path.
    QHash<QString, FileMark> allFileMarks();
    // Inserts or replaces the mark of each path, in one transaction.
    void addFileMarks(const QList<FileMark>& marks);
    // Deletes the marks of the listed paths, in one transaction.
    void removeFileMarks(const QStringList& paths);

    // The folders something was mounted on at the last scan (MountPoints),
    // in byte order. A file written before they were kept has none.
    QStringList mountPoints();
    // Replaces them all, in one transaction.
    void replaceMountPoints(const QStringList& paths);

    // Reads every page of the file, unless that was done (every member does
    // it first); answers the file it refused, if any, each time. A stop ends
    // it at once with CancellationError, leaving it to the next call.
    std::optional<Refused> checkFile(std::stop_token stop = {});
    // For quitting: ends a page check that runs at once and starts none
    // again, so the file stays where it is, to be checked at the next start.
    // Every member that needs the check then throws CancellationError.
    // Callable from any thread.
    void stopFileCheck() { m_stopChecks.request_stop(); }

    // Whether the path still holds the file this object opened, as this
    // program last left it; when it does not, the file there is left alone
    // at once, as said above. For a watch of the database's folder
    // (MediaDatabaseWatch): callable from any thread; it waits for a call
    // that runs, but never starts the page check. `steps` bounds how many
    // side files it removes from beside the file put in place, to stop it
    // where a kill could; a later call finishes the job.
    bool noticeReplacement(int steps = std::numeric_limits<int>::max());
    // The database file; none for a database in memory.
    const std::optional<QString>& filePath() const { return m_path; }

    // Puts off folding the WAL into the file until a batch of write calls
    // ends (a scan's batch of files): each call still commits on its own,
    // and when the last batch alive ends, the WAL goes into the file and is
    // emptied, as at the end of a call that writes outside a batch. A batch
    // then costs one checkpoint, not one per call. Any thread; keep a batch
    // to one short run of calls.
    class WriteBatch {
    public:
        explicit WriteBatch(MediaDatabase& database);
        ~WriteBatch();
        WriteBatch(const WriteBatch&) = delete;
        WriteBatch& operator=(const WriteBatch&) = delete;

    private:
        MediaDatabase& m_database;
    };

    // Counts the writes this object has begun (each upsert, replacement or
    // removal of rows; marks do not count). Rows read while the count stays the same are still the
    // index, unless another connection writes to the same file.
    quint64 writeCount() const { return m_writes.load(); }

private:
    // Makes the file's folder and opens the connection.
    void open(const std::optional<QString>& path);
    void openConnection(const QString& databasePath);
    // Refuse a file that is no database or has a newer version, then one
    // with a page that does not hold together (damaged, newerVersion); until
    // it passes both, closing the connection leaves the file as it was.
    void refuseUnusableHeader(const QString& path);
    void refuseDamagedPages(const QString& path, std::stop_token stop);
    // Locks the mutex, checking the file's pages first when that is not
    // done yet, and noticing a file replaced at the path.
    std::unique_lock<std::mutex> lockChecked(std::stop_token stop = {});
    void checkPagesLocked(std::stop_token stop);
    // createSchema(), whose failure every later call throws too.
    void createSchemaKeepingFailureLocked();
    void replaceRefusedFileLocked(const MediaDatabaseError& refusal);
    void createSchema();
    void migrateIfNeeded();
    static SqliteConnection openReadOnly(const QString& path);
    // The mutex held for a call that writes, with the file checked as
    // lockChecked() does; its end folds the WAL into the file and empties it.
    class WriteLock {
    public:
        explicit WriteLock(MediaDatabase& database) : m_database(database), m_lock(database.lockChecked()) {}
        ~WriteLock() { m_database.settleOrPutOffLocked(); }
        WriteLock(const WriteLock&) = delete;
        WriteLock& operator=(const WriteLock&) = delete;

    private:
        MediaDatabase& m_database;
        std::unique_lock<std::mutex> m_lock;
    };
    // MediaDatabaseReplacement.cpp: which files the connection has open,
    // whether the path still holds that file as this program left it, and
    // leaving a file put there alone (its WAL and shared memory never this
    // connection's).
    enum class Replacement {
        none,
        moved,       // another file (or none) at the path: this one goes on with its own
        overwritten, // the same file, with contents this program did not write
    };
    void recordOpenFilesLocked();
    Replacement replacementLocked() const;
    // Notices a replacement, if there is one, and removes the side files
    // that are still this connection's from beside the file put in place;
    // true when the file was replaced.
    bool leaveReplacedFileLocked(int steps = std::numeric_limits<int>::max());
    // Throws once the file was overwritten.
    void refuseOverwrittenFileLocked() const;
    // The end of a call that wrote, or of making the schema of a file that
    // passed its check: the WAL goes into the file (the one this connection
    // has open, never a file overwritten meanwhile) and is emptied, and the
    // file is recorded as this program leaves it.
    void settleLocked() noexcept;
    // settleLocked() at once, or when the last WriteBatch ends.
    void settleOrPutOffLocked() noexcept;
    // A read-only connection on the file this one has open; none when the
    // path names another file now.
    SqliteConnection openReaderLocked() const;
    void upsertLocked(const QList<TrackRow>& rows);
    enum class Table { tracks, fileMarks, mountPoints };
    static QByteArray tableName(Table table);
    // Delete the rows of the table whose file path is listed (in one
    // transaction of its own, or the caller's), or starts with the prefix.
    // Only the rows of `tracks` count as writes.
    void removePaths(Table table, const QStringList& paths);
    void removePathsLocked(Table table, const QStringList& paths);
    // "SELECT <every column of a row> FROM tracks" and the clauses; the
    // statement's rows read as TrackRow or TrackRowBytes.
    static QByteArray selectRows(const QByteArray& clauses);
    static TrackRow readRow(const SqliteStatement& statement);
    static TrackRowBytes readRowBytes(const SqliteStatement& statement);
    QList<TrackRow> readRowsLocked(const QByteArray& sql, const std::function<void(SqliteStatement&)>& bind);
    qint64 removePrefixLocked(Table table, const QString& prefix);

    SqliteConnection m_db;
    // The file; none for a database in memory.
    std::optional<QString> m_path;
    std::mutex m_mutex;
    std::atomic<quint64> m_writes{0}; // raised under m_mutex before each write
    // The page check: whether it is done, what it refused, and the failure
    // every member throws when the file could not be made ready (not moved
    // aside, or its schema not made).
    MoveAside m_moveAside;
    bool m_checked = false;
    std::optional<Refused> m_refused;
    std::exception_ptr m_failure;
    std::stop_source m_stopChecks;
    // The database file's name as SQLite opened it, and its side files (none
    // for a database in memory); the file as this program last left it; and
    // whether the path holds another file now, or other contents.
    QByteArray m_fileName;
    std::optional<FileIdentity> m_wal;
    std::optional<FileIdentity> m_shm;
    std::optional<FileIdentity::Stamp> m_left;
    Replacement m_replaced = Replacement::none;
    // The WriteBatch objects alive, and whether a call that wrote meanwhile
    // left its WAL to the end of the last one.
    int m_openBatches = 0;
    bool m_settlePutOff = false;
};

} // namespace vessa
