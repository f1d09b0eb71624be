#include "RaskoMikmod/MikmodDecoderPlugin.h"

#include "RaskoHelper/HelperPcmStream.h"
#include "RaskoHelper/HelperSession.h"
#include "RaskoMikmod/MikmodError.h"
#include "VessaCore/DecoderStoppedError.h"
#include "VessaCore/PathExtension.h"

#include <QCoreApplication>
#include <climits>

namespace vessa {

namespace {

// No tracker-module format has a header shorter than this.
constexpr qsizetype minimumFileSize = 16;

std::optional<QString> fileNameOf(const SourceLocator& locator)
{
    if (!locator.isFileURL())
        return std::nullopt;
    return lastPathComponent(locator.path());
}

// The contents of a module file; data too short for any header never
// reaches the library.
QByteArray moduleBytes(const SourceLocator& locator)
{
    QByteArray bytes = locator.contents();
    if (bytes.size() < minimumFileSize)
        throw MikmodError::loadFailed(QCoreApplication::translate("MikmodError", "Module format not recognized"));
    if (bytes.size() > INT_MAX)
        throw MikmodError::loadFailed(QCoreApplication::translate("MikmodError", "The file is too large"));
    return bytes;
}

// A reply that is not the one expected: the decoder's own error, or a
// helper out of step, which is dropped.
[[noreturn]] void throwUnexpected(const HelperMessage& reply, HelperSession& session)
{
    qint32 kind = 0;
    QString message;
    if (reply.type == HelperMessageType::failed && readHelperPayload(reply.payload, kind, message))
        throw MikmodError::fromWire(kind, message);
    session.abandon();
    throw DecoderStoppedError(session.fileName());
}

// A stream on a helper worker that has libmikmod to itself, starting where
// playing from the start is after `seconds`. A stop kills the busy worker
// (CancellationError).
PcmBufferStreamPtr openStream(const std::shared_ptr<HelperPool>& pool, const QByteArray& bytes, double seconds,
                              const std::optional<QString>& fileName, std::stop_token stop)
{
    HelperSession session(pool, fileName);
    const HelperMessage reply = session.requestSeek(
        HelperMessage{HelperMessageType::mikmodOpen, helperPayload(bytes, seconds)}, seconds, std::move(stop));
    if (reply.type != HelperMessageType::started)
        throwUnexpected(reply, session);
    return std::make_unique<HelperPcmStream>(std::move(session), MikmodDecoderPlugin::streamFormat());
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

MikmodDecoderPlugin::MikmodDecoderPlugin(const QString& helperExecutable)
    : m_helpers(HelperPool::forExecutable(helperExecutable)),
      m_name(QStringLiteral("Mikmod")),
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

AudioStream MikmodDecoderPlugin::open(const SourceLocator& locator, std::optional<qint64>, const DecoderHints& hints)
{
    const QByteArray bytes = moduleBytes(locator);
    const std::optional<QString> fileName = fileNameOf(locator);
    SeekHandler seek = [pool = m_helpers, bytes, fileName](double seconds, std::stop_token stop) {
        return openStream(pool, bytes, seconds, fileName, std::move(stop));
    };
    return AudioStream(streamFormat(), std::nullopt, openStream(m_helpers, bytes, 0.0, fileName, hints.stop),
                       std::move(seek));
}

TrackMetadata MikmodDecoderPlugin::extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex)
{
    return extractWithStop(locator, subTrackIndex, {});
}

TrackMetadata MikmodDecoderPlugin::extractWithStop(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                                                   std::stop_token stop)
{
    const QByteArray bytes = moduleBytes(locator);
    HelperSession session(m_helpers, fileNameOf(locator));
    const HelperMessage reply =
        session.request(HelperMessage{HelperMessageType::mikmodExtract, helperPayload(bytes)}, std::move(stop));
    bool hasSongName = false, hasModuleType = false;
    QString songName, moduleType;
    if (reply.type != HelperMessageType::moduleInfo
        || !readHelperPayload(reply.payload, hasSongName, songName, hasModuleType, moduleType))
        throwUnexpected(reply, session);

    TrackMetadata metadata;
    if (hasSongName) {
        const QString title = trimSpacesAndTabs(songName);
        if (!title.isEmpty())
            metadata.title = title;
    }
    if (hasModuleType && !moduleType.isEmpty())
        metadata.album = moduleType;
    metadata.subTrackIndex = subTrackIndex;
    return metadata;
}

} // namespace vessa
