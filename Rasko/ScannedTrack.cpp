#include "Rasko/ScannedTrack.h"

#include "VessaCore/FileNameBytes.h"

namespace vessa {

ScannedTrack::ScannedTrack(TrackRef ref, const QString& title, const QString& artist, const QString& album,
                           std::optional<double> duration, std::optional<qint64> trackNumber,
                           std::optional<qint64> discNumber, const QString& fileURL)
    : m_ref(std::move(ref)),
      m_duration(duration.value_or(0)),
      m_trackNumber(trackNumber.value_or(0)),
      m_discNumber(discNumber.value_or(0))
{
    // Each text is written as its file-system bytes, which keep even a lone
    // surrogate of an undecodable file name.
    const QByteArray texts[] = {pathToBytes(title), pathToBytes(artist), pathToBytes(album), pathToBytes(fileURL)};
    qsizetype total = 0;
    for (const QByteArray& bytes : texts)
        total += bytes.size();
    m_texts.reserve(total);
    for (int i = 0; i < 4; ++i) {
        m_texts.append(texts[i]);
        if (i < 3)
            m_ends[i] = quint32(m_texts.size());
    }
    m_present = (duration ? hasDuration : 0) | (trackNumber ? hasTrackNumber : 0) | (discNumber ? hasDiscNumber : 0);
}

QString ScannedTrack::text(int which) const
{
    const qsizetype begin = which == 0 ? 0 : m_ends[which - 1];
    const qsizetype end = which == 3 ? m_texts.size() : m_ends[which];
    return pathFromBytes(QByteArrayView(m_texts).sliced(begin, end - begin));
}

QString ScannedTrack::title() const
{
    return text(0);
}

QString ScannedTrack::artist() const
{
    return text(1);
}

QString ScannedTrack::album() const
{
    return text(2);
}

QString ScannedTrack::fileURL() const
{
    return text(3);
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
