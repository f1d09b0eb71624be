#include "Parvik/PlaylistFile.h"

#include "Parvik/PlaylistFileError.h"
#include "Parvik/PlaylistText.h"
#include "VessaCore/DecimalInteger.h"
#include "VessaCore/Utf8.h"

namespace vessa {

namespace {

constexpr QStringView headerPrefix = u"#parvik:";

// Reads the version from the whole first line, which starts with the prefix.
// The metadata after the version is not used.
qint64 readHeaderVersion(QStringView line)
{
    const QStringView rest = line.mid(headerPrefix.size());
    const QChar separator = rest.contains(u'\t') ? QChar(u'\t') : QChar(u' ');
    qsizetype begin = 0;
    while (begin < rest.size() && rest[begin] == separator)
        ++begin;
    if (begin == rest.size())
        throw PlaylistFileError::malformedHeader(line.toString());
    qsizetype end = rest.indexOf(separator, begin);
    if (end < 0)
        end = rest.size();
    const std::optional<qint64> version = parseDecimalInt64(rest.mid(begin, end - begin));
    if (!version)
        throw PlaylistFileError::malformedHeader(line.toString());
    if (*version > PlaylistFile::currentVersion)
        throw PlaylistFileError::unsupportedVersion(*version);
    return *version;
}

PlaylistTrack readEntry(QStringView line, qint64 version)
{
    if (version >= 2) {
        const qsizetype tab = line.indexOf(u'\t');
        if (tab >= 0)
            return PlaylistTrack(TrackRef(line.left(tab).toString()), line.mid(tab + 1).toString());
    }
    return PlaylistTrack(TrackRef(line.toString()));
}

} // namespace

QByteArray PlaylistFile::serialize(const Playlist& playlist)
{
    QString text = headerPrefix.toString() + QString::number(currentVersion) + QStringLiteral("\t{}\n");
    for (const PlaylistTrack& track : playlist.tracks) {
        text += track.ref.uri();
        if (track.fileHint)
            text += u'\t' + *track.fileHint;
        text += u'\n';
    }
    return text.toUtf8();
}

Playlist PlaylistFile::parse(const QByteArray& data, const QString& name)
{
    const std::optional<QString> text = decodeUtf8Strict(data);
    if (!text)
        throw PlaylistFileError::missingHeader();
    return parse(*text, name);
}

Playlist PlaylistFile::parse(const QString& text, const QString& name)
{
    const QList<QStringView> lines = splitPlaylistLines(withoutByteOrderMark(QStringView(text)));
    if (!lines.first().startsWith(headerPrefix))
        throw PlaylistFileError::missingHeader();
    const qint64 version = readHeaderVersion(lines.first());

    Playlist playlist(name, QList<PlaylistTrack>());
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringView line = trimSpacesAndTabs(lines[i]);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        playlist.tracks.append(readEntry(line, version));
    }
    return playlist;
}

} // namespace vessa
