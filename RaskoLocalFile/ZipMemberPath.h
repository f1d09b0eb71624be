#pragma once

#include <QString>

#include <optional>

namespace vessa {

// The text that names a member of a ZIP archive everywhere in the library:
// the archive's path, "::", and the member's path as the archive stores it
// ("/m/Live.zip::CD1/01.mp3"). It is never normalised.
class ZipMemberPath {
public:
    struct Parts {
        QString archivePath;
        QString memberPath;
        friend bool operator==(const Parts&, const Parts&) = default;
    };

    static QString make(const QString& archivePath, const QString& memberPath);

    // Splits at the first "::" that directly follows ".zip" (any ASCII case)
    // with text on both sides; any other text is a plain file path, so a
    // folder named "Artist :: Live" is not mistaken for an archive.
    static std::optional<Parts> split(const QString& path);
    static bool isMemberPath(const QString& path) { return split(path).has_value(); }
};

} // namespace vessa
