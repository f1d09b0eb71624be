#include "Vessa/App/Library/TrackDragPayload.h"

#include "Rasko/FileHint.h"
#include "VessaCore/Error.h"
#include "VessaCore/PathExtension.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QUrl>

namespace vessa {

namespace {

const QLatin1String fileHintKey{"fileHint"};

// Only an absolute hint names the same file wherever the entry lands.
std::optional<QString> absoluteHint(const std::optional<QString>& hint)
{
    if (hint && FileHint::form(*hint) == FileHint::Form::absolute)
        return hint;
    return std::nullopt;
}

// The entries of the payload; malformed elements are left out.
QList<PlaylistTrack> decodeTrackEntries(const QByteArray& payload)
{
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    QJsonArray elements;
    if (document.isArray())
        elements = document.array();
    else if (document.isObject())
        elements.append(document.object());

    QList<PlaylistTrack> entries;
    for (const QJsonValue element : std::as_const(elements)) {
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        try {
            const TrackRef ref = TrackRef::fromJson(object);
            const QJsonValue hint = object.value(fileHintKey);
            entries.append(PlaylistTrack(ref, hint.isString() ? absoluteHint(hint.toString()) : std::nullopt));
        } catch (const JsonDecodingError&) {
        }
    }
    return entries;
}

std::optional<PlaylistTrack> fileTrack(const QUrl& url, const QSet<QString>& supportedExtensions)
{
    if (!url.isLocalFile())
        return std::nullopt;
    const QString path = url.toLocalFile();
    if (path.endsWith(u'/')) // a folder, by the URL's own form
        return std::nullopt;
    const QString extension = pathExtension(path);
    if (extension.isEmpty() || !supportedExtensions.contains(extension.toLower()))
        return std::nullopt;
    // A dangling link or a path with nothing behind it would only add an
    // entry that never plays, and a folder named like a file adds nothing.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    const QString fileName = lastPathComponent(path);
    const QString title = fileName.chopped(extension.size() + 1);
    return PlaylistTrack(TrackRef(QString(), QString(), title), FileHint::encode(path));
}

} // namespace

const QStringList& playlistDropTypes()
{
    static const QStringList types{trackRefMimeType, fileUrlMimeType};
    return types;
}

QMimeData* encodeTrackRefs(const QList<TrackRef>& refs)
{
    QList<PlaylistTrack> tracks;
    tracks.reserve(refs.size());
    for (const TrackRef& ref : refs)
        tracks.append(PlaylistTrack(ref));
    return encodePlaylistTracks(tracks);
}

QMimeData* encodePlaylistTracks(const QList<PlaylistTrack>& tracks)
{
    QJsonArray elements;
    for (const PlaylistTrack& track : tracks) {
        QJsonObject element = track.ref.toJson();
        if (const std::optional<QString> hint = absoluteHint(track.fileHint))
            element.insert(fileHintKey, *hint);
        elements.append(element);
    }
    auto* data = new QMimeData;
    data->setData(trackRefMimeType, QJsonDocument(elements).toJson(QJsonDocument::Compact));
    return data;
}

QList<PlaylistTrack> extractPlaylistTracks(const QMimeData& data, const QSet<QString>& supportedExtensions)
{
    QList<PlaylistTrack> tracks;
    if (data.hasFormat(trackRefMimeType)) {
        tracks = decodeTrackEntries(data.data(trackRefMimeType));
        if (!tracks.isEmpty())
            return tracks;
    }
    if (data.hasUrls()) {
        for (const QUrl& url : data.urls()) {
            if (std::optional<PlaylistTrack> track = fileTrack(url, supportedExtensions))
                tracks.append(std::move(*track));
        }
    }
    return tracks;
}

bool hasPlaylistTracks(const QMimeData& data, const QSet<QString>& supportedExtensions)
{
    return !extractPlaylistTracks(data, supportedExtensions).isEmpty();
}

} // namespace vessa
