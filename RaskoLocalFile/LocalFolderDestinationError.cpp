#include "RaskoLocalFile/LocalFolderDestinationError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(LocalFolderDestinationError)
};

} // namespace

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
    case Kind::directoryNotFound: return Text::tr("Destination directory not found: %1").arg(m_directory);
    case Kind::fileNotFound: return Text::tr("File '%1' not found in %2").arg(m_fileID, m_directory);
    case Kind::cannotCreateDirectory: return Text::tr("Cannot create directory %1: %2").arg(m_directory, m_message);
    case Kind::readFailed: return Text::tr("Failed to read '%1': %2").arg(m_fileID, m_message);
    case Kind::writeFailed: return Text::tr("Failed to write '%1': %2").arg(m_fileID, m_message);
    case Kind::deleteFailed: return Text::tr("Failed to delete '%1': %2").arg(m_fileID, m_message);
    case Kind::listFailed: return Text::tr("Failed to list files in %1: %2").arg(m_directory, m_message);
    }
    return m_message;
}

} // namespace vessa
