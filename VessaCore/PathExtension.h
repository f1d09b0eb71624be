#pragma once

#include <QString>

namespace vessa {

// The text after the last '.' of the last path component, as written (callers
// lower-case it). "" when the name has no dot, ends in a dot, or is a leading
// dot followed by letters only (".mp3" is a hidden file without extension).
QString pathExtension(const QString& path);

// The last component of a path ("a/b/c.mp3" -> "c.mp3").
QString lastPathComponent(const QString& path);

} // namespace vessa
