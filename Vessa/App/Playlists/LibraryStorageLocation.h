#pragma once

#include <QString>

#include <array>
#include <optional>

namespace vessa {

// Where the playlist files live: "automatic" uses the cloud folder when one is
// available and the local folder otherwise, "icloud" the same but it logs the
// fallback as an error, "local" always the local folder. Stored in the
// settings as its raw text.
enum class LibraryStorageLocation { automatic, icloud, local };

// Every case in declaration order, the order the Settings picker shows.
inline constexpr std::array<LibraryStorageLocation, 3> libraryStorageLocationAllCases{
    LibraryStorageLocation::automatic, LibraryStorageLocation::icloud, LibraryStorageLocation::local};

// "automatic", "icloud" or "local"; also the case's identity.
QString toString(LibraryStorageLocation location);
// The case whose raw text equals `text` exactly (case-sensitive, no trimming).
std::optional<LibraryStorageLocation> libraryStorageLocationFromString(const QString& text);

// Hashes the raw text.
size_t qHash(LibraryStorageLocation location, size_t seed = 0) noexcept;

} // namespace vessa
