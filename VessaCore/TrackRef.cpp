#include "VessaCore/TrackRef.h"

#include "VessaCore/DecimalInteger.h"
#include "VessaCore/Error.h"
#include "VessaCore/PercentEncoding.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QList>

#include <cstdio>

namespace vessa {

namespace {

// The URL-path characters without ':' and '#'.
constexpr QStringView fieldPunctuation = u"@!$&'()*+,-./=_~";
const QString trackScheme = QStringLiteral("track");

QStringView head(const QString& uri)
{
    const qsizetype hash = uri.indexOf(u'#');
    return hash < 0 ? QStringView(uri) : QStringView(uri).left(hash);
}

// Cuts the head into at most three pieces: empty pieces are dropped, and after
// the second piece the whole rest (colons and all) is the third.
struct HeadPieces {
    QStringView scheme;
    QStringView identifier;
};

HeadPieces headPieces(const QString& uri)
{
    const QStringView text = head(uri);
    QStringView pieces[2];
    int taken = 0;
    qsizetype position = 0;
    while (taken < 2 && position <= text.size()) {
        qsizetype colon = text.indexOf(u':', position);
        const bool last = colon < 0;
        if (last)
            colon = text.size();
        const QStringView piece = text.mid(position, colon - position);
        if (!piece.isEmpty())
            pieces[taken++] = piece;
        position = colon + 1;
        if (last)
            return {taken == 2 ? pieces[1] : QStringView(), QStringView()};
    }
    if (taken < 2)
        return {};
    return {pieces[1], position <= text.size() ? text.mid(position) : QStringView()};
}

// The identifier cut at every ':' (empty pieces kept); nothing unless the
// scheme is exactly "track".
QList<QStringView> identifierPieces(const QString& uri)
{
    const HeadPieces pieces = headPieces(uri);
    if (pieces.scheme != trackScheme)
        return {};
    return pieces.identifier.split(u':');
}

} // namespace

TrackRef::TrackRef(const QString& uri) : m_uri(uri)
{
}

TrackRef::TrackRef(const QString& artist, const QString& album, const QString& track,
                   std::optional<qint64> durationSeconds, std::optional<qint64> subTrackIndex)
    : TrackRef(fromUtf8(artist.toUtf8(), album.toUtf8(), track.toUtf8(), durationSeconds, subTrackIndex))
{
}

TrackRef TrackRef::fromUtf8(QByteArrayView artist, QByteArrayView album, QByteArrayView track,
                            std::optional<qint64> durationSeconds, std::optional<qint64> subTrackIndex)
{
    static constexpr QLatin1StringView head("vez:track:");
    char numbers[48];
    qsizetype numbersSize = 0;
    if (durationSeconds)
        numbersSize += std::snprintf(numbers, 24, ":%lld", static_cast<long long>(*durationSeconds));
    if (subTrackIndex)
        numbersSize += std::snprintf(numbers + numbersSize, 24, "#%lld", static_cast<long long>(*subTrackIndex));
    // Sized first, so the text takes exactly its own size: a library holds
    // one reference per track.
    TrackRef ref;
    ref.m_uri.reserve(head.size() + appendPercentEncoded(nullptr, artist, fieldPunctuation) + 1
                      + appendPercentEncoded(nullptr, album, fieldPunctuation) + 1
                      + appendPercentEncoded(nullptr, track, fieldPunctuation) + numbersSize);
    ref.m_uri.append(head);
    appendPercentEncoded(&ref.m_uri, artist, fieldPunctuation);
    ref.m_uri.append(u':');
    appendPercentEncoded(&ref.m_uri, album, fieldPunctuation);
    ref.m_uri.append(u':');
    appendPercentEncoded(&ref.m_uri, track, fieldPunctuation);
    ref.m_uri.append(QLatin1StringView(numbers, numbersSize));
    return ref;
}

QString TrackRef::scheme() const
{
    return headPieces(m_uri).scheme.toString();
}

QString TrackRef::identifier() const
{
    return headPieces(m_uri).identifier.toString();
}

QString TrackRef::textField(int index) const
{
    const QList<QStringView> pieces = identifierPieces(m_uri);
    if (index >= pieces.size())
        return QString();
    const QStringView piece = pieces[index];
    if (std::optional<QString> decoded = percentDecode(piece))
        return *decoded;
    return piece.toString();
}

QString TrackRef::artist() const
{
    return textField(0);
}

QString TrackRef::album() const
{
    return textField(1);
}

QString TrackRef::track() const
{
    return textField(2);
}

std::optional<qint64> TrackRef::durationHint() const
{
    const QList<QStringView> pieces = identifierPieces(m_uri);
    if (pieces.size() < 4 || pieces[3].isEmpty())
        return std::nullopt;
    return parseDecimalInt64(pieces[3]);
}

std::optional<qint64> TrackRef::subTrackIndex() const
{
    const qsizetype hash = m_uri.indexOf(u'#');
    if (hash < 0)
        return std::nullopt;
    const QStringView rest = QStringView(m_uri).mid(hash + 1);
    if (rest.isEmpty())
        return std::nullopt;
    return parseDecimalInt64(rest);
}

QJsonObject TrackRef::toJson() const
{
    return QJsonObject{{QStringLiteral("uri"), m_uri}};
}

TrackRef TrackRef::fromJson(const QJsonObject& object)
{
    const QJsonValue value = object.value(QLatin1String("uri"));
    if (value.isUndefined())
        throw JsonDecodingError(
            QCoreApplication::translate("JsonDecodingError", "No value associated with key \"uri\"."));
    if (!value.isString())
        throw JsonDecodingError(QCoreApplication::translate("JsonDecodingError", "Expected a string for key \"uri\"."));
    return TrackRef(value.toString());
}

} // namespace vessa
