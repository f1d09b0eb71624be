#pragma once

#include "RaskoLocalFile/MediaDatabaseError.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace vessa {

class MediaDatabase;

// Opening the media database for a run of the program without losing a file
// that cannot be used: a damaged file, or one a newer version wrote, is
// renamed out of the way (never altered or deleted) and a new database is
// made in its place.
//
// Threads: any; every call touches the disk.
namespace MediaDatabaseSetAside {

struct Opened {
    std::shared_ptr<MediaDatabase> database;
    // Why the file found at the path was set aside; absent when it was used.
    std::optional<MediaDatabaseError> refusal;
    // Where the file set aside is kept; empty when nothing was set aside.
    QString keptPath;

    // For the user, in plain words: what was wrong, where the old file is
    // kept and where the new one is. Empty when nothing was set aside.
    QString notice() const;
};

// Opens the database at `path`. A file refused as damaged or newerVersion is
// moved aside (moveAside with "damaged" or "newer") and a new one opened.
// `movedAside`, when given, is called as soon as the file has moved, before
// the new database is made (its `database` is still null), so that the
// caller can record the notice before anything else can go wrong.
// Throws MediaDatabaseError when no database can be opened there.
//
// Only what the file's header and schema show is checked here; its pages are
// read when the database is first used (MediaDatabase::checkFile()). A file
// that fails then is moved aside in the same way, on the thread that used
// it, and checkFile() tells where it is kept.
Opened open(const QString& path, const std::function<void(const Opened&)>& movedAside = {});

// Renames the file at `path`, and its "-wal" and "-shm" files when present,
// to "<path>.<word>-<yyyyMMdd-HHmmss>" of `now`, with "-2", "-3" ... added
// when a name is taken; the side files keep their suffix after the new name,
// so that SQLite still finds them. Returns the new path. Throws
// MediaDatabaseError::cannotOpen when a file cannot be moved, after moving
// back the ones already moved.
QString moveAside(const QString& path, const QString& word, const QDateTime& now);

} // namespace MediaDatabaseSetAside

} // namespace vessa
