#include "Parvik/M3UPlaylistFileError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(M3UPlaylistFileError)
};

} // namespace

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
    if (m_kind == Kind::invalidEncoding)
        return Text::tr("M3U file '%1' is not valid UTF-8").arg(m_filename);
    return Text::tr("M3U file '%1' contains no tracks").arg(m_filename);
}

} // namespace vessa
