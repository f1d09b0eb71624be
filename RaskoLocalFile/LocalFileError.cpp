#include "RaskoLocalFile/LocalFileError.h"

#include "VessaCore/JoinedFields.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(LocalFileError)
};

} // namespace

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
        return Text::tr("No file found for track: %1").arg(joinedFields({m_first, m_second, m_third}));
    case Kind::fileNotFound: return Text::tr("File no longer exists at %1").arg(m_first);
    case Kind::cannotRead: return Text::tr("Cannot read file at %1: %2").arg(m_first, m_second);
    case Kind::cannotEnumerate: return Text::tr("Cannot enumerate directory: %1").arg(m_first);
    case Kind::zipOpenFailed: return Text::tr("Cannot open zip archive: %1").arg(m_first);
    case Kind::zipEntryNotFound: return Text::tr("Entry '%1' not found in zip: %2").arg(m_second, m_first);
    }
    return m_first;
}

} // namespace vessa
