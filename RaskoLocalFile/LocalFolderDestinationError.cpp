#include "RaskoLocalFile/LocalFolderDestinationError.h"

namespace vessa {

LocalFolderDestinationError::LocalFolderDestinationError(Kind kind, QString fileID, QString directory, QString message)
    : m_kind(kind), m_fileID(std::move(fileID)), m_directory(std::move(directory)), m_message(std::move(message))
{
}

LocalFolderDestinationError LocalFolderDestinationError::directoryNotFound(QString directory)
{
    return LocalFolderDestinationError(Kind::directoryNotFound, {}, std::move(directory), {});
}

LocalFolderDestinationError LocalFolderDestinationError::fileNotFound(QString fileID, QString directory)
{
    return LocalFolderDestinationError(Kind::fileNotFound, std::move(fileID), std::move(directory), {});
}

LocalFolderDestinationError LocalFolderDestinationError::cannotCreateDirectory(QString directory, QString message)
{
    return LocalFolderDestinationError(Kind::cannotCreateDirectory, {}, std::move(directory), std::move(message));
}

LocalFolderDestinationError LocalFolderDestinationError::readFailed(QString fileID, QString message)
{
    return LocalFolderDestinationError(Kind::readFailed, std::move(fileID), {}, std::move(message));
}

LocalFolderDestinationError LocalFolderDestinationError::writeFailed(QString fileID, QString message)
{
    return LocalFolderDestinationError(Kind::writeFailed, std::move(fileID), {}, std::move(message));
}

LocalFolderDestinationError LocalFolderDestinationError::deleteFailed(QString fileID, QString message)
{
    return LocalFolderDestinationError(Kind::deleteFailed, std::move(fileID), {}, std::move(message));
}

LocalFolderDestinationError LocalFolderDestinationError::listFailed(QString directory, QString message)
{
    return LocalFolderDestinationError(Kind::listFailed, {}, std::move(directory), std::move(message));
}

QString LocalFolderDestinationError::description() const
{
    switch (m_kind) {
    case Kind::directoryNotFound: return QStringLiteral("Destination directory not found: ") + m_directory;
    case Kind::fileNotFound:
        return QStringLiteral("File '") + m_fileID + QStringLiteral("' not found in ") + m_directory;
    case Kind::cannotCreateDirectory:
        return QStringLiteral("Cannot create directory ") + m_directory + QStringLiteral(": ") + m_message;
    case Kind::readFailed: return QStringLiteral("Failed to read '") + m_fileID + QStringLiteral("': ") + m_message;
    case Kind::writeFailed: return QStringLiteral("Failed to write '") + m_fileID + QStringLiteral("': ") + m_message;
    case Kind::deleteFailed: return QStringLiteral("Failed to delete '") + m_fileID + QStringLiteral("': ") + m_message;
    case Kind::listFailed:
        return QStringLiteral("Failed to list files in ") + m_directory + QStringLiteral(": ") + m_message;
    }
    return m_message;
}

} // namespace vessa
