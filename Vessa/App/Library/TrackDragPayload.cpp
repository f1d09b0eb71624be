#include "Vessa/App/Library/TrackDragPayload.h"

#include "Rasko/FileHint.h"
#include "VessaCore/Error.h"
#include "VessaCore/PathExtension.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QUrl>

namespace vessa {

namespace {

// The references of the payload; malformed elements are left out.
QList<TrackRef> decodeTrackRefs(const QByteArray& payload)
{
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    QJsonArray elements;
    if (document.isArray())
        elements = document.array();
    else if (document.isObject())
        elements.append(document.object());

    QList<TrackRef> refs;
    for (const QJsonValue element : std::as_const(elements)) {
        if (!element.isObject())
            continue;
        try {
            refs.append(TrackRef::fromJson(element.toObject()));
        } catch (const JsonDecodingError&) {
        }
    }
    return refs;
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
    QJsonArray elements;
    for (const TrackRef& ref : refs)
        elements.append(ref.toJson());
    auto* data = new QMimeData;
    data->setData(trackRefMimeType, QJsonDocument(elements).toJson(QJsonDocument::Compact));
    return data;
}

QList<PlaylistTrack> extractPlaylistTracks(const QMimeData& data, const QSet<QString>& supportedExtensions)
{
    QList<PlaylistTrack> tracks;
    if (data.hasFormat(trackRefMimeType)) {
        for (const TrackRef& ref : decodeTrackRefs(data.data(trackRefMimeType)))
            tracks.append(PlaylistTrack(ref));
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

} // namespace vessa
