#include "Rasko/ScannedTrack.h"

#include "VessaCore/FileNameBytes.h"

namespace vessa {

ScannedTrack::ScannedTrack(TrackRef ref, const QString& title, const QString& artist, const QString& album,
                           std::optional<double> duration, std::optional<qint64> trackNumber,
                           std::optional<qint64> discNumber, const QString& fileURL)
    : ScannedTrack(std::move(ref), duration, trackNumber, discNumber)
{
    // Each text is written as its file-system bytes, which keep even a lone
    // surrogate of an undecodable file name.
    setTexts({pathToBytes(title), pathToBytes(artist), pathToBytes(album), pathToBytes(fileURL)});
}

ScannedTrack::ScannedTrack(TrackRef ref, std::optional<double> duration, std::optional<qint64> trackNumber,
                           std::optional<qint64> discNumber)
    : m_ref(std::move(ref)),
      m_present((duration ? hasDuration : 0) | (trackNumber ? hasTrackNumber : 0) | (discNumber ? hasDiscNumber : 0)),
      m_duration(duration.value_or(0)),
      m_trackNumber(trackNumber.value_or(0)),
      m_discNumber(discNumber.value_or(0))
{
}

ScannedTrack ScannedTrack::fromBytes(TrackRef ref, QByteArrayView title, QByteArrayView artist, QByteArrayView album,
                                     std::optional<double> duration, std::optional<qint64> trackNumber,
                                     std::optional<qint64> discNumber, QByteArrayView fileURL)
{
    ScannedTrack track(std::move(ref), duration, trackNumber, discNumber);
    track.setTexts({title, artist, album, fileURL});
    return track;
}

void ScannedTrack::setTexts(std::initializer_list<QByteArrayView> texts)
{
    qsizetype total = 0;
    for (const QByteArrayView text : texts)
        total += text.size();
    m_texts.reserve(total);
    int index = 0;
    for (const QByteArrayView text : texts) {
        m_texts.append(text);
        if (index < 3)
            m_ends[index++] = quint32(m_texts.size());
    }
}

QByteArrayView ScannedTrack::bytes(Text text) const
{
    const int which = int(text);
    const qsizetype begin = which == 0 ? 0 : m_ends[which - 1];
    const qsizetype end = which == 3 ? m_texts.size() : m_ends[which];
    return QByteArrayView(m_texts).sliced(begin, end - begin);
}

QString ScannedTrack::title() const
{
    return pathFromBytes(bytes(Text::title));
}

QString ScannedTrack::artist() const
{
    return pathFromBytes(bytes(Text::artist));
}

QString ScannedTrack::album() const
{
    return pathFromBytes(bytes(Text::album));
}

QString ScannedTrack::fileURL() const
{
    return pathFromBytes(bytes(Text::fileURL));
}

std::optional<double> ScannedTrack::duration() const
{
    return m_present & hasDuration ? std::optional<double>(m_duration) : std::nullopt;
}

std::optional<qint64> ScannedTrack::trackNumber() const
{
    return m_present & hasTrackNumber ? std::optional<qint64>(m_trackNumber) : std::nullopt;
}

std::optional<qint64> ScannedTrack::discNumber() const
{
    return m_present & hasDiscNumber ? std::optional<qint64>(m_discNumber) : std::nullopt;
}

} // namespace vessa
