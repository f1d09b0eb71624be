#include "Vessa/App/Playlists/LibraryStorageLocation.h"

#include <QHashFunctions>

namespace vessa {

QString toString(LibraryStorageLocation location)
{
    switch (location) {
    case LibraryStorageLocation::automatic: return QStringLiteral("automatic");
    case LibraryStorageLocation::icloud: return QStringLiteral("icloud");
    case LibraryStorageLocation::local: break;
    }
    return QStringLiteral("local");
}

std::optional<LibraryStorageLocation> libraryStorageLocationFromString(const QString& text)
{
    for (const LibraryStorageLocation location : libraryStorageLocationAllCases) {
        if (text == toString(location))
            return location;
    }
    return std::nullopt;
}

size_t qHash(LibraryStorageLocation location, size_t seed) noexcept
{
    return ::qHash(toString(location), seed);
}

} // namespace vessa
