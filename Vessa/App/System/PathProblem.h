#pragma once

#include <QString>

#include <optional>

namespace vessa {

// What keeps a path from serving as a file or a folder, in plain words that
// follow "it" standing for the path ("it does not exist"), naming any other
// path involved. Nothing when nothing is seen to be wrong.
namespace PathProblem {

// For a file to be read: it does not exist, is a folder, is a link to
// nothing, is not a regular file, or cannot be read.
std::optional<QString> ofFileToRead(const QString& path);

// For a folder to be read: it does not exist, is a link to nothing, is not
// a folder, or cannot be read or entered.
std::optional<QString> ofFolderToRead(const QString& path);

// For a folder that files are saved in, made when missing: it, or the
// nearest part of the path that exists, is not a folder or cannot be written.
std::optional<QString> ofFolderToWrite(const QString& path);

} // namespace PathProblem

} // namespace vessa
