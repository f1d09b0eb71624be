#pragma once

#include "Vessa/App/Playlists/PlaylistDocument.h"
#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// A file that could not be read or written as a playlist document.
class PlaylistDocumentFileError : public Error {
public:
    enum class Kind { cannotRead, cannotWrite };

    static PlaylistDocumentFileError cannotRead(QString path, QString reason);
    static PlaylistDocumentFileError cannotWrite(QString path, QString reason);

    Kind kind() const { return m_kind; }
    const QString& path() const { return m_path; }
    const QString& reason() const { return m_reason; }

    QString description() const override;

private:
    PlaylistDocumentFileError(Kind kind, QString path, QString reason);

    Kind m_kind;
    QString m_path;
    QString m_reason;
};

// Playlist documents on disk. Playlist files are small, so both run on the
// calling thread.
namespace PlaylistDocumentFile {

// Reads the file at `path` as a document named after it. Throws
// PlaylistDocumentFileError when the file cannot be read, saying why (it does
// not exist, is a folder ...), else the errors of PlaylistDocument::read.
PlaylistDocument read(const QString& path);

// Writes the document in the own format to `path` through a temporary file
// that replaces the old one only once everything is written, so a failed
// save leaves the old file as it was. Throws PlaylistDocumentFileError.
void write(const PlaylistDocument& document, const QString& path);

// True for paths the own format is saved under (extension "parvik" in any
// letter case).
bool isOwnFormat(const QString& path);

// `path` itself when it is an own-format path, else `path` with ".parvik"
// appended, so that saving never writes the own format over an M3U file.
QString ownFormatPath(const QString& path);

// Where "Save" of a document read from an M3U file proposes to save it:
// "<name>.parvik" in the same folder.
QString proposedOwnFormatPath(const QString& path, const QString& playlistName);

} // namespace PlaylistDocumentFile

} // namespace vessa
