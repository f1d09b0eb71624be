#include "RaskoLocalFile/ZipArchive.h"

#include "RaskoLocalFile/LocalFileError.h"
#include "RaskoLocalFile/LocalFileLogging.h"
#include "RaskoLocalFile/ZipArchiveError.h"
#include "RaskoLocalFile/ZipMemberPath.h"
#include "VessaCore/FileNameBytes.h"
#include "VessaCore/Logging.h"
#include "VessaCore/PathExtension.h"

#include <sys/stat.h>
#include <zip.h>

#include <cstring>

namespace vessa {

namespace {

struct ZipFileCloser {
    void operator()(zip_file_t* file) const noexcept { zip_fclose(file); }
};
using ZipFile = std::unique_ptr<zip_file_t, ZipFileCloser>;

QString libzipMessage(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString message = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return message;
}

constexpr zip_uint32_t msdosDirectoryAttribute = 0x10;

// Folder entries end in "/"; links and folders are also told by the
// attributes their creator recorded.
bool isFileEntry(zip_t* archive, zip_uint64_t index, const char* name)
{
    const std::size_t length = std::strlen(name);
    if (length > 0 && name[length - 1] == '/')
        return false;
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
        return true;
    if (system == ZIP_OPSYS_UNIX) {
        const zip_uint32_t type = (attributes >> 16) & S_IFMT;
        return type != S_IFLNK && type != S_IFDIR;
    }
    if (system == ZIP_OPSYS_DOS)
        return (attributes & msdosDirectoryAttribute) == 0;
    return true;
}

} // namespace

void ZipArchive::Closer::operator()(zip* archive) const noexcept
{
    // Read-only: nothing to write back, so discard rather than close.
    zip_discard(archive);
}

ZipArchive::ZipArchive(const QString& zipPath) : m_path(zipPath)
{
    int code = 0;
    zip_t* archive = zip_open(pathToBytes(zipPath).constData(), ZIP_RDONLY, &code);
    if (!archive)
        throw ZipArchiveError::openFailed(zipPath, libzipMessage(code));
    m_archive.reset(archive);
}

ZipArchive::~ZipArchive() = default;

QStringList ZipArchive::filePaths() const
{
    QStringList paths;
    const zip_int64_t count = zip_get_num_entries(m_archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* name = zip_get_name(m_archive.get(), index, ZIP_FL_ENC_GUESS);
        if (name && isFileEntry(m_archive.get(), index, name))
            paths.append(QString::fromUtf8(name));
    }
    return paths;
}

QByteArray ZipArchive::read(const QString& entryPath, quint64 limit) const
{
    zip_t* archive = m_archive.get();
    const zip_int64_t found = zip_name_locate(archive, entryPath.toUtf8().constData(), ZIP_FL_ENC_GUESS);
    if (found < 0)
        throw LocalFileError::zipEntryNotFound(m_path, entryPath);
    const auto index = static_cast<zip_uint64_t>(found);

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0)
        throw ZipArchiveError::readFailed(m_path, entryPath, QString::fromUtf8(zip_strerror(archive)));
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > limit)
        throw ZipArchiveError::entryTooLarge(m_path, entryPath, stat.size, limit);

    ZipFile file(zip_fopen_index(archive, index, 0));
    if (!file)
        throw ZipArchiveError::readFailed(m_path, entryPath, QString::fromUtf8(zip_strerror(archive)));

    QByteArray bytes;
    if (stat.valid & ZIP_STAT_SIZE)
        bytes.reserve(static_cast<qsizetype>(stat.size));
    char chunk[chunkSize];
    // The checksum is verified only when a read reaches the member's end, so
    // the bytes count only once zip_fread has returned 0.
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), chunk, sizeof chunk);
        if (got < 0)
            throw ZipArchiveError::readFailed(m_path, entryPath, QString::fromUtf8(zip_file_strerror(file.get())));
        if (got == 0)
            break;
        // A member may expand beyond the size its header declares.
        if (static_cast<quint64>(bytes.size()) + static_cast<quint64>(got) > limit)
            throw ZipArchiveError::entryTooLarge(m_path, entryPath, static_cast<quint64>(bytes.size()) + got, limit);
        bytes.append(chunk, static_cast<qsizetype>(got));
    }
    const int closed = zip_fclose(file.release());
    if (closed != 0)
        throw ZipArchiveError::readFailed(m_path, entryPath, libzipMessage(closed));
    return bytes;
}

QList<FileEntry> ZipArchive::enumerateZipContents(const FileEntry& archive, const QSet<QString>& supportedExtensions)
{
    const QString& zipPath = archive.url;
    const QString archiveName = lastPathComponent(zipPath);
    QStringList members;
    try {
        members = ZipArchive(zipPath).filePaths();
    } catch (const ZipArchiveError& error) {
        logDebug(lcLocalFileScan(), QStringLiteral("Cannot open zip: %1: %2").arg(archiveName, error.message()));
        return {};
    }
    QList<FileEntry> entries;
    for (const QString& member : members) {
        const QString ext = pathExtension(member).toLower();
        if (supportedExtensions.contains(ext))
            entries.append(
                FileEntry{zipPath, ZipMemberPath::make(zipPath, member), ext, archive.lastModified, archive.size});
    }
    logDebug(lcLocalFileScan(),
             QStringLiteral("Zip %1: found %2 audio entries").arg(archiveName, QString::number(entries.size())));
    return entries;
}

QByteArray ZipArchive::extractFromZip(const QString& zipPath, const QString& entryPath)
{
    return ZipArchive(zipPath).read(entryPath);
}

} // namespace vessa
