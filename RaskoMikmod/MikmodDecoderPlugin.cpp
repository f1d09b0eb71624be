#include "RaskoMikmod/MikmodDecoderPlugin.h"

#include "RaskoMikmod/MikmodError.h"
#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/MikmodRenderer.h"

#include <cmath>
#include <limits>

namespace vessa {

namespace {

// A position in seconds names the order-list position seconds / 2. Positions
// that are not a number or negative start the song; larger ones are clamped
// to the library's range (the library ends a song sent past its last position).
quint16 orderPositionForSeconds(double seconds)
{
    const double position = std::trunc(seconds * 0.5);
    if (std::isnan(position) || position <= 0)
        return 0;
    constexpr double last = std::numeric_limits<quint16>::max();
    return static_cast<quint16>(position >= last ? last : position);
}

// Spaces and tabs only; a newline inside a song name is kept.
QString trimSpacesAndTabs(const QString& text)
{
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isBlank(text.at(start)))
        ++start;
    while (end > start && isBlank(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

} // namespace

MikmodDecoderPlugin::MikmodDecoderPlugin()
    : m_name(QStringLiteral("Mikmod")),
      m_supportedExtensions({
          QStringLiteral("mod"), QStringLiteral("xm"),  QStringLiteral("it"),  QStringLiteral("s3m"),
          QStringLiteral("stm"), QStringLiteral("stx"), QStringLiteral("mtm"), QStringLiteral("669"),
          QStringLiteral("far"), QStringLiteral("med"), QStringLiteral("amf"), QStringLiteral("dsm"),
          QStringLiteral("imf"), QStringLiteral("gdm"), QStringLiteral("okt"), QStringLiteral("ult"),
          QStringLiteral("uni"), QStringLiteral("umx"), QStringLiteral("m15"),
      })
{
}

QString MikmodDecoderPlugin::name() const
{
    return m_name;
}

QSet<QString> MikmodDecoderPlugin::supportedExtensions() const
{
    return m_supportedExtensions;
}

AudioStream MikmodDecoderPlugin::open(const SourceLocator& locator, std::optional<qint64>, const DecoderHints&)
{
    const QByteArray bytes = locator.contents();
    constexpr AudioFormat format = streamFormat();
    MikmodModule module = MikmodLibrary::load(bytes, MikmodLibrary::LoadPurpose::playback);
    SeekHandler seek = [bytes, format](double seconds) {
        MikmodModule reloaded = MikmodLibrary::load(bytes, MikmodLibrary::LoadPurpose::playback);
        return MikmodRenderer::makeBufferStream(std::move(reloaded), format, orderPositionForSeconds(seconds));
    };
    return AudioStream(format, std::nullopt, MikmodRenderer::makeBufferStream(std::move(module), format),
                       std::move(seek));
}

TrackMetadata MikmodDecoderPlugin::extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex)
{
    const QByteArray bytes = locator.contents();
    const MikmodModule module = MikmodLibrary::load(bytes, MikmodLibrary::LoadPurpose::inspection);
    TrackMetadata metadata;
    if (const auto songName = module.songName()) {
        const QString title = trimSpacesAndTabs(*songName);
        if (!title.isEmpty())
            metadata.title = title;
    }
    if (const auto moduleType = module.moduleType(); moduleType && !moduleType->isEmpty())
        metadata.album = *moduleType;
    metadata.subTrackIndex = subTrackIndex;
    return metadata;
}

} // namespace vessa
