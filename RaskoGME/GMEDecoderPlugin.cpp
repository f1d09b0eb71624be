#include "RaskoGME/GMEDecoderPlugin.h"

#include "RaskoGME/GMEError.h"
#include "RaskoGME/GMEWire.h"
#include "RaskoHelper/HelperPcmStream.h"
#include "RaskoHelper/HelperSession.h"
#include "VessaCore/DecoderStoppedError.h"
#include "VessaCore/Logging.h"
#include "VessaCore/PathExtension.h"

#include <QCoreApplication>
#include <algorithm>

namespace vessa {

namespace {

VESSA_LOGGING_CATEGORY(lcDecoder, "raskogme", "decoder")

// No chip-music format has a header shorter than this.
constexpr qsizetype minimumFileSize = 16;

std::optional<double> secondsFromMilliseconds(int milliseconds)
{
    if (milliseconds < 1)
        return std::nullopt;
    return milliseconds / 1000.0;
}

// Data too short for any header never reaches the library.
void refuseTooShort(const QByteArray& bytes)
{
    if (bytes.size() < minimumFileSize)
        throw GMEError::gmeError(QCoreApplication::translate("GMEError", "Wrong file type for this emulator"));
}

std::optional<QString> fileNameOf(const SourceLocator& locator)
{
    if (!locator.isFileURL())
        return std::nullopt;
    return lastPathComponent(locator.path());
}

// A reply that is not the one expected: the decoder's own error, or a
// helper out of step, which is dropped.
[[noreturn]] void throwUnexpected(const HelperMessage& reply, HelperSession& session)
{
    if (reply.type == HelperMessageType::failed)
        throw gmeErrorFromPayload(reply.payload);
    session.abandon();
    throw DecoderStoppedError(session.fileName());
}

// Opens a stream on a helper worker: the sub-track started, sought to
// `seekSeconds` when given. Returns the stream and the play length. A stop
// kills the busy worker (CancellationError).
std::pair<PcmBufferStreamPtr, int> openStream(const std::shared_ptr<HelperPool>& pool, const QByteArray& bytes,
                                              const std::optional<QString>& extension, qint64 index, bool infiniteLoop,
                                              std::optional<double> seekSeconds, const std::optional<QString>& fileName,
                                              std::stop_token stop)
{
    HelperSession session(pool, fileName);
    const HelperMessage reply = session.requestSeek(
        HelperMessage{HelperMessageType::gmeOpen,
                      helperPayload(bytes, extension.has_value(), extension.value_or(QString()), index, infiniteLoop,
                                    seekSeconds.has_value(), seekSeconds.value_or(0.0))},
        seekSeconds.value_or(0.0), std::move(stop));
    qint32 playLength = -1;
    if (reply.type != HelperMessageType::started || !readHelperPayload(reply.payload, playLength))
        throwUnexpected(reply, session);
    auto stream = std::make_unique<HelperPcmStream>(
        std::move(session), GMEDecoderPlugin::streamFormat(),
        [](const QString& error) { logError(lcDecoder(), QStringLiteral("gme_play error: ") + error); });
    return {std::move(stream), playLength};
}

} // namespace

GMEDecoderPlugin::GMEDecoderPlugin(const QString& helperExecutable)
    : m_helpers(HelperPool::forExecutable(helperExecutable)),
      m_name(QStringLiteral("GameMusicEmu")),
      m_supportedExtensions({QStringLiteral("nsf"), QStringLiteral("nsfe"), QStringLiteral("spc"),
                             QStringLiteral("gbs"), QStringLiteral("vgm"), QStringLiteral("vgz"), QStringLiteral("gym"),
                             QStringLiteral("hes"), QStringLiteral("ay"), QStringLiteral("kss"), QStringLiteral("sap")})
{
}

QString GMEDecoderPlugin::name() const
{
    return m_name;
}

QSet<QString> GMEDecoderPlugin::supportedExtensions() const
{
    return m_supportedExtensions;
}

AudioStream GMEDecoderPlugin::open(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                                   const DecoderHints& hints)
{
    const QByteArray bytes = locator.contents();
    refuseTooShort(bytes);
    const std::optional<QString> extension =
        hints.fileExtension ? hints.fileExtension : locator.inferredFileExtension();
    const qint64 index = subTrackIndex.value_or(0);
    const bool infiniteLoop = hints.infiniteLoop;
    const std::optional<QString> fileName = fileNameOf(locator);

    auto [buffers, playLength] =
        openStream(m_helpers, bytes, extension, index, infiniteLoop, std::nullopt, fileName, hints.stop);
    const std::optional<double> duration =
        GMEEmu::fadesOut(playLength, infiniteLoop) ? secondsFromMilliseconds(playLength) : std::nullopt;

    // A seek opens the track again from the held bytes and skips ahead in it.
    SeekHandler seek = [pool = m_helpers, bytes, extension, index, infiniteLoop, fileName](double seconds,
                                                                                           std::stop_token stop) {
        return openStream(pool, bytes, extension, index, infiniteLoop, seconds, fileName, std::move(stop)).first;
    };
    return AudioStream(streamFormat(), duration, std::move(buffers), std::move(seek));
}

std::optional<GMETrackInfo> GMEDecoderPlugin::readTrackInfo(const QByteArray& bytes,
                                                            const std::optional<QString>& extension, int index,
                                                            const std::optional<QString>& fileName,
                                                            std::stop_token stop) const
{
    refuseTooShort(bytes);
    HelperSession session(m_helpers, fileName);
    const HelperMessage reply = session.request(
        HelperMessage{HelperMessageType::gmeExtract,
                      helperPayload(bytes, extension.has_value(), extension.value_or(QString()), qint32(index))},
        std::move(stop));
    std::optional<GMETrackInfo> info;
    if (reply.type != HelperMessageType::trackInfo || !readHelperPayload(reply.payload, info))
        throwUnexpected(reply, session);
    return info;
}

TrackMetadata GMEDecoderPlugin::extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex)
{
    return extractWithStop(locator, subTrackIndex, {});
}

TrackMetadata GMEDecoderPlugin::extractWithStop(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                                                std::stop_token stop)
{
    const std::optional<GMETrackInfo> info =
        readTrackInfo(locator.contents(), locator.inferredFileExtension(),
                      GMEEmu::clampToInt(subTrackIndex.value_or(0)), fileNameOf(locator), std::move(stop));
    if (!info)
        throw GMEError::noTrackInfo();

    TrackMetadata metadata;
    metadata.title = info->song;
    metadata.artist = info->author;
    metadata.album = info->game;
    metadata.duration = secondsFromMilliseconds(info->playLength);
    metadata.subTrackIndex = subTrackIndex;
    return metadata;
}

bool GMEDecoderPlugin::canScan(const QString& fileExtension) const
{
    return m_supportedExtensions.contains(fileExtension.toLower());
}

QList<ScannedSubTrack> GMEDecoderPlugin::scanTracks(const QByteArray& data, const QString& fileExtension)
{
    return scanTracksWithStop(data, fileExtension, {});
}

QList<ScannedSubTrack> GMEDecoderPlugin::scanTracksWithStop(const QByteArray& data, const QString& fileExtension,
                                                            std::stop_token stop)
{
    refuseTooShort(data);
    HelperSession session(m_helpers, std::nullopt);
    const HelperMessage reply =
        session.request(HelperMessage{HelperMessageType::gmeScan, helperPayload(data, fileExtension)}, stop);
    if (reply.type != HelperMessageType::trackInfos)
        throwUnexpected(reply, session);
    QDataStream in(reply.payload);
    qint32 count = 0;
    in >> count;
    QList<ScannedSubTrack> tracks;
    for (int index = 0; index < count && in.status() == QDataStream::Ok; ++index) {
        std::optional<GMETrackInfo> info;
        in >> info;
        if (!info || in.status() != QDataStream::Ok)
            continue;
        tracks.append(ScannedSubTrack(index, info->song.value_or(QStringLiteral("Track %1").arg(index + 1)),
                                      info->author.value_or(QString()), info->game.value_or(QString()),
                                      secondsFromMilliseconds(info->playLength)));
    }
    if (in.status() != QDataStream::Ok)
        throwUnexpected(HelperMessage(), session);
    return tracks;
}

} // namespace vessa
