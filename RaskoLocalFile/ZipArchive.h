#pragma once

#include "RaskoLocalFile/FileEntry.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>

struct zip;

namespace vessa {

// A ZIP archive opened read-only, and the library's two uses of it: listing
// the playable members as scan entries, and reading one member into memory
// (members are never written to disk).
//
// Threads: one ZipArchive is used by one thread at a time; the static
// operations open their own archive on every call and may run on any thread,
// several at once.
class ZipArchive {
public:
    // Members are decompressed in chunks of this many bytes.
    static constexpr qint64 chunkSize = 16384;
    // A member that expands to more than this is refused.
    static constexpr quint64 maximumMemberSize = quint64(256) * 1024 * 1024;

    // Whether files of the extension (lower case, without the dot) are
    // archives the library looks into, never files it indexes.
    static bool isArchiveExtension(QStringView extension) { return extension == u"zip"; }

    // Opens the archive; throws ZipArchiveError::openFailed.
    explicit ZipArchive(const QString& zipPath);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    const QString& path() const { return m_path; }

    // The paths of the file members, in the archive's order: folder entries
    // and symbolic links are left out.
    QStringList filePaths() const;

    // The member's whole content, its CRC-32 checked. Throws
    // LocalFileError::zipEntryNotFound when the archive has no member of
    // exactly that path, ZipArchiveError::entryTooLarge when it expands to
    // more than `limit` bytes, and ZipArchiveError::readFailed when it cannot
    // be decompressed or its checksum does not match (no bytes are returned).
    QByteArray read(const QString& entryPath, quint64 limit = maximumMemberSize) const;

    // One entry per file member whose lower-cased extension is in
    // `supportedExtensions`, in the archive's order, with the path
    // "archive::member" and the archive's url, date and size. An archive
    // that cannot be read lists nothing (logged at debug level); never throws.
    static QList<FileEntry> enumerateZipContents(const FileEntry& archive, const QSet<QString>& supportedExtensions);

    // Opens the archive and reads one member, as read() does.
    static QByteArray extractFromZip(const QString& zipPath, const QString& entryPath);

private:
    struct Closer {
        void operator()(zip* archive) const noexcept;
    };

    QString m_path;
    std::unique_ptr<zip, Closer> m_archive;
};

} // namespace vessa
