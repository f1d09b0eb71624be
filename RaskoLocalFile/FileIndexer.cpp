#include "RaskoLocalFile/FileIndexer.h"

#include "RaskoLocalFile/LocalFileLogging.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "RaskoLocalFile/UniqueFd.h"
#include "RaskoLocalFile/ZipArchive.h"
#include "RaskoLocalFile/ZipMemberPath.h"
#include "VessaCore/DecoderStoppedError.h"
#include "VessaCore/Error.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/FileNameBytes.h"
#include "VessaCore/FileReadError.h"
#include "VessaCore/Logging.h"
#include "VessaCore/PathExtension.h"

#include <QCoreApplication>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace vessa {

namespace {

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The whole content of a regular file. Opened without blocking, so a file
// replaced by a FIFO since it was listed cannot hang the reader.
QByteArray readRegularFile(const QString& path, qint64 limit)
{
    const UniqueFd file(::open(pathToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.isValid())
        throw FileReadError(path, systemMessage(errno));
    const int fd = file.get();
    struct stat status;
    if (::fstat(fd, &status) != 0)
        throw FileReadError(path, systemMessage(errno));
    if (!S_ISREG(status.st_mode))
        throw FileReadError(path, QCoreApplication::translate("FileReadError", "Not a regular file"));
    if (status.st_size > limit)
        throw FileReadError(path,
                            QCoreApplication::translate("FileReadError", "Too large to read into memory (%1 bytes)")
                                .arg(status.st_size));
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(status.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw FileReadError(path, systemMessage(errno));
        }
        if (got == 0)
            return bytes;
        if (bytes.size() + got > limit)
            throw FileReadError(path, QCoreApplication::translate("FileReadError", "Too large to read into memory"));
        bytes.append(chunk, static_cast<qsizetype>(got));
    }
}

// The name the scan log gives an entry: the file's name, or for an archive
// member the archive's name, "::" and the member's path, so that the line
// names what was skipped, as its refusal mark does.
QString nameInLog(const FileEntry& entry)
{
    if (const std::optional<ZipMemberPath::Parts> member = ZipMemberPath::split(entry.path))
        return ZipMemberPath::make(lastPathComponent(member->archivePath), member->memberPath);
    return lastPathComponent(entry.url);
}

void logSkipped(const FileEntry& entry, const std::exception_ptr& error)
{
    logDebug(lcLocalFileScan(),
             QStringLiteral("Skipping unplayable file: %1 — %2").arg(nameInLog(entry), describeException(error)));
}

// A file whose reading failed is refused for its content, unless the file
// (the archive, for a member) cannot even be opened now: missing, or not
// permitted, which may pass without the file changing.
FileIndexer::Result::Kind failureKind(const FileEntry& entry)
{
    return MusicFolderEnumerator::isReadable(entry.url) ? FileIndexer::Result::Kind::refused
                                                        : FileIndexer::Result::Kind::skipped;
}

} // namespace

FileIndexer::FileIndexer(MetadataExtractorPtr metadataExtractor, QList<MultiTrackScannerPtr> multiTrackScanners)
    : m_metadataExtractor(std::move(metadataExtractor)), m_multiTrackScanners(std::move(multiTrackScanners))
{
}

std::optional<qint64> FileIndexer::wholeSeconds(std::optional<double> seconds)
{
    // 2^63 is the first value a qint64 cannot hold.
    constexpr double limit = 9223372036854775808.0;
    if (!seconds || !std::isfinite(*seconds) || *seconds < 0.0 || *seconds >= limit)
        return std::nullopt;
    return static_cast<qint64>(std::trunc(*seconds));
}

QString FileIndexer::baseName(const FileEntry& entry)
{
    const std::optional<ZipMemberPath::Parts> member = ZipMemberPath::split(entry.path);
    const QString name = lastPathComponent(member ? member->memberPath : entry.url);
    const QString ext = pathExtension(name);
    return readableName(ext.isEmpty() ? name : name.chopped(ext.size() + 1));
}

FileIndexer::Result FileIndexer::index(const FileEntry& entry, std::stop_token stop) const
{
    std::optional<SourceLocator> locator;
    MultiTrackScanner* scanner = nullptr;
    try {
        for (const MultiTrackScannerPtr& candidate : m_multiTrackScanners) {
            if (candidate && candidate->canScan(entry.ext)) {
                scanner = candidate.get();
                break;
            }
        }
        if (const std::optional<ZipMemberPath::Parts> member = ZipMemberPath::split(entry.path))
            locator = SourceLocator::data(ZipArchive::extractFromZip(member->archivePath, member->memberPath));
        else if (scanner)
            locator = SourceLocator::data(readRegularFile(entry.url, maximumMultiTrackFileSize));
        else
            locator = SourceLocator::fileURL(entry.url);
        if (scanner)
            return indexMultiTrack(entry, *scanner, *locator, stop);
        return indexSingleTrack(entry, *locator, stop);
    } catch (const CancellationError&) {
        return Result{Result::Kind::skipped, entry.path, {}};
    } catch (const DecoderStoppedError&) {
        logSkipped(entry, std::current_exception());
        return Result{Result::Kind::skipped, entry.path, {}};
    } catch (...) {
        logSkipped(entry, std::current_exception());
        return Result{failureKind(entry), entry.path, {}};
    }
}

FileIndexer::Result FileIndexer::indexSingleTrack(const FileEntry& entry, const SourceLocator& locator,
                                                  std::stop_token stop) const
{
    if (!m_metadataExtractor)
        throw std::logic_error("no metadata extractor");
    const TrackMetadata metadata = m_metadataExtractor->extractWithStop(locator, std::nullopt, std::move(stop));
    MediaDatabase::TrackRow row(0, metadata.artist.value_or(QString()), metadata.album.value_or(QString()),
                                metadata.title ? *metadata.title : baseName(entry), wholeSeconds(metadata.duration),
                                entry.path, entry.ext, entry.lastModified, metadata.subTrackIndex, metadata.trackNumber,
                                metadata.discNumber);
    return Result{Result::Kind::single, entry.path, {std::move(row)}};
}

FileIndexer::Result FileIndexer::indexMultiTrack(const FileEntry& entry, MultiTrackScanner& scanner,
                                                 const SourceLocator& locator, std::stop_token stop) const
{
    QList<ScannedSubTrack> subTracks;
    try {
        subTracks = scanner.scanTracksWithStop(locator.bytes(), entry.ext, stop);
    } catch (const CancellationError&) {
        throw; // skipped quietly by index()
    } catch (const DecoderStoppedError&) {
        throw; // skipped by index(), read again next time
    } catch (...) {
        logDebug(lcLocalFileScan(), QStringLiteral("Skipping unplayable multi-track file: %1: %2")
                                        .arg(nameInLog(entry), describeException(std::current_exception())));
        return Result{Result::Kind::refused, entry.path, {}};
    }
    const QString fallbackAlbum = baseName(entry);
    logDebug(lcLocalFileScan(),
             QStringLiteral("Multi-track file %1: %2 tracks").arg(fallbackAlbum, QString::number(subTracks.size())));
    Result result{Result::Kind::multiTrack, entry.path, {}};
    result.rows.reserve(subTracks.size());
    for (const ScannedSubTrack& subTrack : subTracks) {
        result.rows.append(
            MediaDatabase::TrackRow(0, subTrack.artist, subTrack.album.isEmpty() ? fallbackAlbum : subTrack.album,
                                    subTrack.title, wholeSeconds(subTrack.duration), entry.path, entry.ext,
                                    entry.lastModified, subTrack.index, subTrack.index + 1, std::nullopt));
    }
    return result;
}

} // namespace vessa
