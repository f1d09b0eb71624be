#pragma once

#include <QString>

#include <optional>

namespace vessa {

// The file-hint convention of playlist entries: where a track's file is
// expected to lie. Every reader and writer of hints goes through here.
//   absolute: "file://" + the percent-encoded absolute path ("file:///...")
//   relative: "file://" + the percent-encoded path relative to the playlist file's folder
//   bare:     any other text, a path relative to the playlist file's folder as written
class FileHint {
public:
    // "file://" + the path percent-encoded (';' included).
    static QString encode(const QString& path);

    // The path the hint names (it may not exist), or nothing when it cannot
    // be resolved (a relative or bare hint without a playlist file).
    static std::optional<QString> resolve(const QString& hint, const std::optional<QString>& playlistFilePath);
};

} // namespace vessa
