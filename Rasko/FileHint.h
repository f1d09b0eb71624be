#pragma once

#include <QString>

#include <optional>

namespace vessa {

// The file-hint convention of playlist entries: where a track's file is
// expected to lie. Every reader and writer of hints goes through here.
//   absolute: "file://" + the percent-encoded absolute path ("file:///...")
//   relative: "file://" + the percent-encoded path relative to the playlist file's folder
//   bare:     any other text, a path relative to the playlist file's folder as written
// The heads are compared exactly, letter case included.
class FileHint {
public:
    enum class Form { absolute, relative, bare };

    // What becomes of a relative hint whose rest does not decode cleanly (a
    // malformed escape, escapes that are not UTF-8, a NUL): the player still
    // tries the rest as written; the availability marks refuse to guess.
    enum class BadEscapes { keptAsWritten, unresolvable };

    // "file://" + the path percent-encoded (';' included).
    static QString encode(const QString& path);

    // Which of the three forms the hint has.
    static Form form(const QString& hint);

    // The path the hint names (it may not exist), or nothing when it cannot
    // be resolved (a relative or bare hint without a playlist file, or an
    // absolute hint that is not a usable file URL).
    //
    // Absolute hints are read as file URLs: the path ends before any '?' or
    // '#', its escapes are decoded, and leading slashes collapse to one.
    // Malformed escapes, escapes that are not UTF-8 and NUL characters make
    // an absolute hint unusable. The rest of a relative hint is decoded too,
    // but when it does not decode cleanly it is taken as written or refused,
    // as `badEscapes` says. Relative and bare hints (bare ones never decoded)
    // are appended to the playlist file's folder as folder + "/" + rest, even
    // when the rest begins with "/".
    static std::optional<QString> resolve(const QString& hint, const std::optional<QString>& playlistFilePath,
                                          BadEscapes badEscapes = BadEscapes::keptAsWritten);

    // The hint that names the same file from a copy of the playlist written
    // to `toPlaylistFilePath` (none: a store whose playlists are read without
    // a file location, such as the library). Absolute hints, hints of a
    // playlist copied within its folder and hints that cannot be resolved
    // from the old place stay as written. The others become relative to the
    // new file's folder when that folder and the file share a folder below
    // the root, else absolute.
    static QString rebase(const QString& hint, const std::optional<QString>& fromPlaylistFilePath,
                          const std::optional<QString>& toPlaylistFilePath);
};

} // namespace vessa
