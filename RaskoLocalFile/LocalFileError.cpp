#include "RaskoLocalFile/LocalFileError.h"

#include "VessaCore/JoinedFields.h"

namespace vessa {

LocalFileError::LocalFileError(Kind kind, QString first, QString second, QString third)
    : m_kind(kind), m_first(std::move(first)), m_second(std::move(second)), m_third(std::move(third))
{
}

LocalFileError LocalFileError::trackNotFound(QString artist, QString album, QString title)
{
    return LocalFileError(Kind::trackNotFound, std::move(artist), std::move(album), std::move(title));
}

LocalFileError LocalFileError::fileNotFound(QString path)
{
    return LocalFileError(Kind::fileNotFound, std::move(path));
}

LocalFileError LocalFileError::cannotRead(QString path, QString reason)
{
    return LocalFileError(Kind::cannotRead, std::move(path), std::move(reason));
}

LocalFileError LocalFileError::cannotEnumerate(QString directory)
{
    return LocalFileError(Kind::cannotEnumerate, std::move(directory));
}

LocalFileError LocalFileError::zipOpenFailed(QString path)
{
    return LocalFileError(Kind::zipOpenFailed, std::move(path));
}

LocalFileError LocalFileError::zipEntryNotFound(QString zipPath, QString entryPath)
{
    return LocalFileError(Kind::zipEntryNotFound, std::move(zipPath), std::move(entryPath));
}

QString LocalFileError::description() const
{
    switch (m_kind) {
    case Kind::trackNotFound:
        return QStringLiteral("No file found for track: ") + joinedFields({m_first, m_second, m_third});
    case Kind::fileNotFound: return QStringLiteral("File no longer exists at ") + m_first;
    case Kind::cannotRead: return QStringLiteral("Cannot read file at ") + m_first + QStringLiteral(": ") + m_second;
    case Kind::cannotEnumerate: return QStringLiteral("Cannot enumerate directory: ") + m_first;
    case Kind::zipOpenFailed: return QStringLiteral("Cannot open zip archive: ") + m_first;
    case Kind::zipEntryNotFound:
        return QStringLiteral("Entry '") + m_second + QStringLiteral("' not found in zip: ") + m_first;
    }
    return m_first;
}

} // namespace vessa
