#pragma once

#include "RaskoLocalFile/FileIdentity.h"
#include "RaskoLocalFile/MediaDatabaseError.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <limits>
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
    // Which file is set aside (the one at the path when the move was
    // decided); none when nothing was.
    std::optional<FileIdentity> file;

    // For the user, in plain words: what was wrong, where the old file is
    // kept and where the new one is. Empty when nothing was set aside.
    QString notice() const;
};

// Opens the database at `path`. A file refused as damaged or newerVersion is
// moved aside (to keptName() with "damaged" or "newer") and a new one opened.
// `decided`, when given, is called once the move is decided, before anything
// is moved (its `database` is null), so that the caller can record the notice
// and where the file goes before anything can go wrong: a run cut off during
// the move then finishes it at the next start with moveAside().
// Throws MediaDatabaseError when no database can be opened there.
//
// Only what the file's header and schema show is checked here; its pages are
// read when the database is first used (MediaDatabase::checkFile()). A file
// that fails then is moved aside in the same way, `decided` called first, on
// the thread that used it, and checkFile() tells where it is kept.
Opened open(const QString& path, const std::function<void(const Opened&)>& decided = {});

// "<path>.<word>-<yyyyMMdd-HHmmss>" of `now`, with "-2", "-3" ... added when
// that name, or the name with "-wal" or "-shm", is taken.
QString keptName(const QString& path, const QString& word, const QDateTime& now);

// Moves the file at `path`, and its "-wal" and "-shm" files when present, to
// `kept`; the side files keep their suffix after the new name, so that SQLite
// still finds them. Each file is linked under its new name, the side files
// before the database, before any is unlinked from the old one (where the
// file system has no links, each is renamed, the side files first), so that
// a kill leaves the whole file at `path` or at `kept`. Called again with the
// same names it finishes a move that was cut off, and does nothing once the
// move is done (a new database made at `path` since is left alone).
// `steps` bounds how many files it links, renames or unlinks, to stop it
// where a kill could. Throws MediaDatabaseError::cannotOpen when a file
// cannot be moved.
void moveAside(const QString& path, const QString& kept, int steps = std::numeric_limits<int>::max());

// What the settings keep of a set-aside from the moment it is decided until
// it is done (see open()'s `decided`): the kept name, then the device and
// inode of the file that goes there as decimal numbers. A value stored by an
// earlier version holds the name alone.
QStringList storedForm(const Opened& decided);

// Finishes, at a start, a set-aside that a run cut off, as `stored` (a
// storedForm()) tells it: only when the kept name lies beside `path`, as
// keptName() makes them, and the file decided on is still at `path` or
// already at the kept name. A value of the earlier form, which does not say
// which file it was, finishes only a move that got as far as linking the
// database under the kept name. Anything else moves nothing; side files
// already linked under the kept name for a file that stays are unlinked
// there again (they are links, the files stay whole at `path`). Returns
// whether the file is at the kept name now. Throws MediaDatabaseError (from
// moveAside()) when the move cannot be made.
bool finishCutOff(const QString& path, const QStringList& stored);

} // namespace MediaDatabaseSetAside

} // namespace vessa
