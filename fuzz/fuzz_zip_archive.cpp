// ZIP archives: listing the playable members as a scan does, listing every
// file member, and reading members into memory.

#include "RaskoLocalFile/ZipArchive.h"
#include "RaskoLocalFile/ZipMemberPath.h"
#include "VessaCore/Error.h"
#include "fuzz/FuzzInput.h"

using namespace vessa;

namespace {

// Members are read up to this size here (one read goes through the full
// limit, as a scan does), so large members do not slow the search.
constexpr quint64 readLimit = 1024 * 1024;
constexpr int maximumReads = 16;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = fuzz::writeScratchFile(fuzz::FuzzInput(data, size).rest(), QStringLiteral("input.zip"));

    const QList<FileEntry> entries = ZipArchive::enumerateZipContents(
        FileEntry{path, path, QStringLiteral("zip"), QDateTime()},
        {QStringLiteral("mp3"), QStringLiteral("flac"), QStringLiteral("nsf"), QStringLiteral("mod")});
    for (const FileEntry& entry : entries) {
        const std::optional<ZipMemberPath::Parts> parts = ZipMemberPath::split(entry.path);
        fuzz::check(parts && parts->archivePath == path, "a listed member's path names its archive");
    }
    if (!entries.isEmpty()) {
        try {
            (void)ZipArchive::extractFromZip(path, ZipMemberPath::split(entries.first().path)->memberPath);
        } catch (const Error&) {
        }
    }

    try {
        const ZipArchive archive(path);
        const QStringList members = archive.filePaths();
        for (qsizetype i = 0; i < members.size() && i < maximumReads; ++i) {
            try {
                (void)archive.read(members.at(i), readLimit);
            } catch (const Error&) {
            }
        }
    } catch (const Error&) {
    }
    return 0;
}
