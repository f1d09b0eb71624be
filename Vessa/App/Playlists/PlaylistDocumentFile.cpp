#include "Vessa/App/Playlists/PlaylistDocumentFile.h"

#include "Parvik/PlaylistFile.h"
#include "Vessa/App/System/PathProblem.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(PlaylistDocumentFileError)
};

} // namespace

PlaylistDocumentFileError::PlaylistDocumentFileError(Kind kind, QString path, QString reason)
    : m_kind(kind), m_path(std::move(path)), m_reason(std::move(reason))
{
}

PlaylistDocumentFileError PlaylistDocumentFileError::cannotRead(QString path, QString reason)
{
    return PlaylistDocumentFileError(Kind::cannotRead, std::move(path), std::move(reason));
}

PlaylistDocumentFileError PlaylistDocumentFileError::cannotWrite(QString path, QString reason)
{
    return PlaylistDocumentFileError(Kind::cannotWrite, std::move(path), std::move(reason));
}

QString PlaylistDocumentFileError::description() const
{
    if (m_kind == Kind::cannotRead)
        return Text::tr("The file '%1' could not be read: %2").arg(m_path, m_reason);
    return Text::tr("The file '%1' could not be saved: %2").arg(m_path, m_reason);
}

namespace PlaylistDocumentFile {

PlaylistDocument read(const QString& path)
{
    if (const std::optional<QString> problem = PathProblem::ofFileToRead(path))
        throw PlaylistDocumentFileError::cannotRead(path, *problem);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlaylistDocumentFileError::cannotRead(path, file.errorString());
    QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw PlaylistDocumentFileError::cannotRead(path, file.errorString());
    return PlaylistDocument::read(std::move(contents), QFileInfo(path).fileName());
}

void write(const PlaylistDocument& document, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw PlaylistDocumentFileError::cannotWrite(path, file.errorString());
    const QByteArray bytes = document.write();
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw PlaylistDocumentFileError::cannotWrite(path, file.errorString());
}

bool isOwnFormat(const QString& path)
{
    return QFileInfo(path).suffix().compare(PlaylistFile::fileExtension, Qt::CaseInsensitive) == 0;
}

QString ownFormatPath(const QString& path)
{
    return isOwnFormat(path) ? path : path + u'.' + PlaylistFile::fileExtension;
}

QString proposedOwnFormatPath(const QString& path, const QString& playlistName)
{
    return QFileInfo(path).absolutePath() + u'/' + playlistName + u'.' + PlaylistFile::fileExtension;
}

} // namespace PlaylistDocumentFile

} // namespace vessa
