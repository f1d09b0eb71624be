#include "Parvik/M3UPlaylistFile.h"

#include "Parvik/M3UPlaylistFileError.h"
#include "Parvik/PlaylistText.h"
#include "Rasko/FileHint.h"
#include "VessaCore/DecimalInteger.h"
#include "VessaCore/PathExtension.h"
#include "VessaCore/Utf8.h"

namespace vessa {

namespace {

constexpr qsizetype extinfTagLength = 8; // "#EXTINF:"

// What one "#EXTINF:" line says about the next local path.
struct TrackInfo {
    std::optional<qint64> duration;
    QString artist;
    QString title;
};

TrackInfo readExtinf(QStringView line)
{
    const QStringView text = line.mid(extinfTagLength);
    TrackInfo info;
    QStringView infoText;
    // "<duration>,<info>": commas before the duration are skipped, and a comma
    // after it makes the line two-part even when nothing follows ("215,").
    qsizetype begin = 0;
    while (begin < text.size() && text[begin] == u',')
        ++begin;
    const qsizetype comma = text.indexOf(u',', begin);
    if (begin < text.size() && comma > begin) {
        const std::optional<qint64> seconds = parseDecimalInt64(trimSpacesAndTabs(text.mid(begin, comma - begin)));
        if (seconds && *seconds >= 0)
            info.duration = seconds;
        infoText = trimSpacesAndTabs(text.mid(comma + 1));
    } else {
        infoText = trimSpacesAndTabs(text);
    }
    const qsizetype dash = infoText.indexOf(u" - ");
    if (dash >= 0) {
        info.artist = infoText.left(dash).toString();
        info.title = infoText.mid(dash + 3).toString();
    } else {
        info.title = infoText.toString();
    }
    return info;
}

QString fileNameWithoutExtension(const QString& path)
{
    const QString name = lastPathComponent(path);
    const QString extension = pathExtension(name);
    return extension.isEmpty() ? name : name.chopped(extension.size() + 1);
}

PlaylistTrack makeEntry(const QString& path, const std::optional<TrackInfo>& info)
{
    const QString title = info && !info->title.isEmpty() ? info->title : fileNameWithoutExtension(path);
    const QString artist = info ? info->artist : QString();
    const std::optional<qint64> duration = info ? info->duration : std::nullopt;
    return PlaylistTrack(TrackRef(artist, QString(), title, duration, std::nullopt), FileHint::encode(path));
}

} // namespace

Playlist M3UPlaylistFile::parse(const QByteArray& data, const QString& name, bool isUTF8Only,
                                const std::optional<QUrl>& baseURL)
{
    const QByteArrayView bytes = withoutByteOrderMark(QByteArrayView(data));
    std::optional<QString> text = decodeUtf8Strict(bytes);
    if (!text) {
        if (isUTF8Only)
            throw M3UPlaylistFileError::invalidEncoding(name);
        text = QString::fromLatin1(bytes);
    }
    return parse(*text, name, baseURL);
}

Playlist M3UPlaylistFile::parse(const QString& text, const QString& name, const std::optional<QUrl>&)
{
    Playlist playlist(name, QList<PlaylistTrack>());
    std::optional<TrackInfo> pending;
    for (const QStringView rawLine : splitPlaylistLines(withoutByteOrderMark(QStringView(text)))) {
        const QStringView line = trimSpacesAndTabs(rawLine);
        if (line.isEmpty())
            continue;
        const QString upper = line.toString().toUpper();
        if (upper == u"#EXTM3U")
            continue;
        if (upper.startsWith(u"#EXTINF:")) {
            pending = readExtinf(line);
            continue;
        }
        if (line.startsWith(u'#'))
            continue;
        const QString lower = line.toString().toLower();
        if (lower.startsWith(u"http://") || lower.startsWith(u"https://")) {
            pending.reset();
            continue;
        }
        playlist.tracks.append(makeEntry(line.toString(), pending));
        pending.reset();
    }
    if (playlist.tracks.isEmpty())
        throw M3UPlaylistFileError::emptyFile(name);
    return playlist;
}

} // namespace vessa
