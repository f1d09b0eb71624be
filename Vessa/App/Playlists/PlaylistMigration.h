#pragma once

#include <QString>
#include <QStringList>

#include <stop_token>

namespace vessa {

struct PlaylistMigrationResult {
    // The playlist files copied into the target folder.
    qsizetype copied = 0;
    // The names (without extension) of the playlists whose file existed in
    // the target folder with a content other than the source's: the target's
    // file was kept, the source's stays where it was. In listing order.
    QStringList keptDiffering;
    // The target's Starred held no track while the source's did: the
    // source's was copied over it (and counts as copied).
    bool filledEmptyStarred = false;
};

// Copies the playlist files of `sourceFolder` into `targetFolder`, which is
// created first (with its parents) when missing. A source folder that does
// not exist holds nothing to copy.
//
// The files copied are the regular files whose extension is exactly "parvik"
// (case-sensitive), in listing order. A name that already exists in the
// target is kept as it is: nothing is ever overwritten, even when the target
// file appears while its copy runs; when its content differs from the
// source's, the result names it. The one exception is Starred: an empty one
// in the target is replaced by the source's when that holds tracks. Each file is written to a hidden
// temporary file inside the target folder, flushed to disk and only then
// linked under its name, so the target never holds a partial playlist; on any
// failure the temporary file is removed. The source files stay in place.
//
// Logs the number of files copied. Throws PlaylistMigrationError; the first
// failing copy ends the migration, leaving the files copied before it. A
// stop request ends it between or inside copies with CancellationError.
//
// Blocks on the disk: call it off the main thread.
PlaylistMigrationResult migratePlaylists(const QString& sourceFolder, const QString& targetFolder,
                                         std::stop_token stop = {});

// Removes the hidden temporary files that migrations into `folder` left when
// they were cut off (the process killed or the power lost): the regular files
// named exactly like the ones migratePlaylists writes. Nothing else is
// touched; a missing folder holds none. Failures are logged only.
//
// Blocks on the disk: call it off the main thread.
void removeInterruptedCopies(const QString& folder);

} // namespace vessa
