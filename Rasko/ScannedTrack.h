#pragma once

#include "VessaCore/TrackRef.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace vessa {

// One library entry as the views list it. `fileURL` is the indexed path; for
// an archive member it is "archive path::member path" and names no file on disk.
//
// A library holds one per track, so the entry is packed: its four texts live
// in one UTF-8 block (the file URL as its file-system bytes, so a name that
// is not UTF-8 comes back unchanged) and are decoded when read; the numbers
// are kept beside a presence mask. The reference is kept as it is, shared
// with the play queue and the availability index.
class ScannedTrack {
public:
    ScannedTrack() = default;
    ScannedTrack(TrackRef ref, const QString& title, const QString& artist, const QString& album,
                 std::optional<double> duration, std::optional<qint64> trackNumber, std::optional<qint64> discNumber,
                 const QString& fileURL);
    // From texts already in the block's form: valid UTF-8 for the title,
    // artist and album, and the file URL's file-system bytes.
    static ScannedTrack fromBytes(TrackRef ref, QByteArrayView title, QByteArrayView artist, QByteArrayView album,
                                  std::optional<double> duration, std::optional<qint64> trackNumber,
                                  std::optional<qint64> discNumber, QByteArrayView fileURL);

    const TrackRef& ref() const { return m_ref; }
    QString title() const;
    QString artist() const;
    QString album() const;
    QString fileURL() const;
    std::optional<double> duration() const;
    std::optional<qint64> trackNumber() const;
    std::optional<qint64> discNumber() const;

    enum class Text { title, artist, album, fileURL };
    // A text as stored (see fromBytes); valid while this entry is unchanged.
    QByteArrayView bytes(Text text) const;

    friend bool operator==(const ScannedTrack&, const ScannedTrack&) = default;

private:
    enum Present : quint8 { hasDuration = 1, hasTrackNumber = 2, hasDiscNumber = 4 };

    // The reference and numbers, with no texts yet.
    ScannedTrack(TrackRef ref, std::optional<double> duration, std::optional<qint64> trackNumber,
                 std::optional<qint64> discNumber);
    // Called once, on an entry without texts.
    void setTexts(std::initializer_list<QByteArrayView> texts);

    TrackRef m_ref;
    // Title, artist, album and file URL, back to back; m_ends[i] is where
    // text i ends (the file URL runs to the end).
    QByteArray m_texts;
    quint32 m_ends[3] = {0, 0, 0};
    quint8 m_present = 0;
    double m_duration = 0;
    qint64 m_trackNumber = 0;
    qint64 m_discNumber = 0;
};

} // namespace vessa
