#pragma once

#include <QHashFunctions>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

namespace vessa {

// The identity of one track everywhere in the program: a single URI text of
// the form "vez:track:" artist ":" album ":" title [":" seconds] ["#" index],
// with the text fields percent-encoded. The parts are parsed from the text on
// every read; nothing is cached. ':' and '#' are always separators.
class TrackRef {
public:
    TrackRef() = default;
    explicit TrackRef(const QString& uri);
    TrackRef(const QString& artist, const QString& album, const QString& track,
             std::optional<qint64> durationSeconds = {}, std::optional<qint64> subTrackIndex = {});
    // The same from UTF-8 texts, built in one allocation (a library makes
    // one reference per track).
    static TrackRef fromUtf8(QByteArrayView artist, QByteArrayView album, QByteArrayView track,
                             std::optional<qint64> durationSeconds = {}, std::optional<qint64> subTrackIndex = {});

    const QString& uri() const { return m_uri; }
    QString scheme() const;
    QString identifier() const;
    QString artist() const;
    QString album() const;
    QString track() const;
    std::optional<qint64> durationHint() const;
    std::optional<qint64> subTrackIndex() const;
    const QString& description() const { return m_uri; }

    QJsonObject toJson() const;
    // Throws JsonDecodingError unless the object has a text value for "uri".
    static TrackRef fromJson(const QJsonObject& object);

    friend bool operator==(const TrackRef& a, const TrackRef& b) { return a.m_uri == b.m_uri; }

private:
    QString textField(int index) const;

    QString m_uri;
};

inline size_t qHash(const TrackRef& ref, size_t seed = 0) noexcept
{
    return qHash(ref.uri(), seed);
}

} // namespace vessa

template <>
struct std::hash<vessa::TrackRef> {
    size_t operator()(const vessa::TrackRef& ref) const noexcept { return qHash(ref.uri()); }
};
