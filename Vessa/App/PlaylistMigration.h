#pragma once

#include <QString>

#include <stop_token>

namespace vessa {

// Copies the playlist files of `sourceFolder` into `targetFolder`, which is
// created first (with its parents) when missing. A source folder that does
// not exist holds nothing to copy.
//
// The files copied are the regular files whose extension is exactly "parvik"
// (case-sensitive), in listing order. A name that already exists in the
// target is kept as it is: nothing is ever overwritten, even when the target
// file appears while its copy runs. Each file is written to a hidden
// temporary file inside the target folder, flushed to disk and only then
// linked under its name, so the target never holds a partial playlist; on any
// failure the temporary file is removed. The source files stay in place.
//
// Returns the number of playlist files found (those skipped because their
// name existed count too) and logs it. Throws PlaylistMigrationError; the
// first failing copy ends the migration, leaving the files copied before it.
// A stop request ends it between or inside copies with CancellationError.
//
// Blocks on the disk: call it off the main thread.
qsizetype migratePlaylists(const QString& sourceFolder, const QString& targetFolder, std::stop_token stop = {});

} // namespace vessa
