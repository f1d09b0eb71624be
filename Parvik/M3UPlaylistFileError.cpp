#include "Parvik/M3UPlaylistFileError.h"

namespace vessa {

M3UPlaylistFileError::M3UPlaylistFileError(Kind kind, QString filename) : m_kind(kind), m_filename(std::move(filename))
{
}

M3UPlaylistFileError M3UPlaylistFileError::invalidEncoding(QString filename)
{
    return M3UPlaylistFileError(Kind::invalidEncoding, std::move(filename));
}

M3UPlaylistFileError M3UPlaylistFileError::emptyFile(QString filename)
{
    return M3UPlaylistFileError(Kind::emptyFile, std::move(filename));
}

QString M3UPlaylistFileError::description() const
{
    const QString quoted = QStringLiteral("M3U file '") + m_filename + u'\'';
    if (m_kind == Kind::invalidEncoding)
        return quoted + QStringLiteral(" is not valid UTF-8");
    return quoted + QStringLiteral(" contains no tracks");
}

} // namespace vessa
