#include "Vessa/App/Playlists/PlaylistMigration.h"

#include "Parvik/PlaylistFile.h"
#include "Parvik/PlaylistLibrary.h"
#include "RaskoLocalFile/UniqueFd.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/Playlists/PlaylistMigrationError.h"
#include "VessaCore/PathExtension.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace vessa {

namespace {

enum class CopyResult { copied, targetExists };
// Whether a copy may take the place of a file of its name.
enum class Placement { besideExisting, replacing };

// The temporary files of copies: hidden, with six random letters or digits.
constexpr char temporaryPrefix[] = ".parvik-copy-";

fs::path toFsPath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromFsPath(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes all of `size` bytes; false with errno set when the system refuses
// (a full disk, the file-size limit ...).
bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// One file copied into a hidden temporary file of the target folder and
// then linked under its own name, without replacing anything unless asked
// to. The temporary file is removed whatever happens.
class SafeFileCopy {
public:
    SafeFileCopy(fs::path source, fs::path targetFolder, QString name, std::stop_token stop)
        : m_source(std::move(source)),
          m_targetFolder(std::move(targetFolder)),
          m_name(std::move(name)),
          m_stop(std::move(stop))
    {
    }

    CopyResult run(Placement placement = Placement::besideExisting)
    {
        const UniqueFd input(::open(m_source.c_str(), O_RDONLY | O_CLOEXEC));
        if (!input.isValid())
            fail(errno);
        struct stat status {};
        if (::fstat(input.get(), &status) != 0)
            fail(errno);

        std::string temporary = (m_targetFolder / (std::string(temporaryPrefix) + "XXXXXX")).native();
        UniqueFd output(::mkostemp(temporary.data(), O_CLOEXEC));
        if (!output.isValid())
            fail(errno);
        const auto removeTemporary = qScopeGuard([&] { ::unlink(temporary.c_str()); });

        copyContent(input.get(), output.get());
        ::fchmod(output.get(), status.st_mode & 0777);
        const timespec times[2] = {status.st_atim, status.st_mtim};
        ::futimens(output.get(), times);
        if (::fsync(output.get()) != 0)
            fail(errno);
        output.reset(); // a synced file loses nothing when its close fails
        if (m_stop.stop_requested())
            throw CancellationError();
        if (placement == Placement::replacing) {
            if (::rename(temporary.c_str(), (m_targetFolder / toFsPath(m_name)).c_str()) != 0)
                fail(errno);
            return CopyResult::copied;
        }
        return linkIntoPlace(temporary);
    }

private:
    [[noreturn]] void fail(int error) const
    {
        throw PlaylistMigrationError::copyFailed(m_name, fromFsPath(m_targetFolder), errnoText(error));
    }

    void copyContent(int input, int output) const
    {
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            if (m_stop.stop_requested())
                throw CancellationError();
            const ssize_t got = ::read(input, buffer.data(), buffer.size());
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                fail(errno);
            }
            if (got == 0)
                return;
            if (!writeAll(output, buffer.data(), static_cast<std::size_t>(got)))
                fail(errno);
        }
    }

    // Gives the temporary file its name unless that name exists by now.
    CopyResult linkIntoPlace(const std::string& temporary) const
    {
        const fs::path target = m_targetFolder / toFsPath(m_name);
        if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return CopyResult::copied;
        if (errno == EEXIST)
            return CopyResult::targetExists;
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            fail(errno);
        // A file system that cannot rename without replacing: a second link,
        // which never replaces either; the temporary name is removed after.
        if (::link(temporary.c_str(), target.c_str()) == 0)
            return CopyResult::copied;
        if (errno == EEXIST)
            return CopyResult::targetExists;
        fail(errno);
    }

    fs::path m_source;
    fs::path m_targetFolder;
    QString m_name;
    std::stop_token m_stop;
};

QString messageOf(const std::error_code& error)
{
    return QString::fromStdString(error.message());
}

// The playlist files of a folder that exists, in listing order.
std::vector<fs::path> playlistFilesIn(const fs::path& folder, const QString& folderText)
{
    std::vector<fs::path> files;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        if (pathExtension(fromFsPath(it->path().filename())) == QLatin1String("parvik")
            && it->is_regular_file(typeError))
            files.push_back(it->path());
    }
    if (error)
        throw PlaylistMigrationError::listFailed(folderText, messageOf(error));
    return files;
}

// Whether two files hold the same bytes; a file that cannot be read (or a
// folder) is never the same.
bool sameContent(const fs::path& a, const fs::path& b)
{
    QFile first(fromFsPath(a));
    QFile second(fromFsPath(b));
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    const QByteArray content = first.readAll();
    return first.error() == QFileDevice::NoError && content == second.readAll()
           && second.error() == QFileDevice::NoError;
}

// A Starred file that reads as a playlist without tracks; an unreadable one
// is never taken for empty.
bool isEmptyStarred(const fs::path& file)
{
    QFile input(fromFsPath(file));
    if (!input.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = input.readAll();
    try {
        return input.error() == QFileDevice::NoError
               && PlaylistFile::parse(content, PlaylistLibrary::starredName).tracks.isEmpty();
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

PlaylistMigrationResult migratePlaylists(const QString& sourceFolder, const QString& targetFolder, std::stop_token stop)
{
    const fs::path source = toFsPath(sourceFolder);
    const fs::path target = toFsPath(targetFolder);
    std::error_code error;
    fs::create_directories(target, error);
    if (error)
        throw PlaylistMigrationError::cannotCreateFolder(targetFolder, messageOf(error));
    const fs::file_status sourceStatus = fs::status(source, error);
    if (sourceStatus.type() == fs::file_type::not_found)
        return {};
    if (error)
        throw PlaylistMigrationError::listFailed(sourceFolder, messageOf(error));

    const QString starredFile = PlaylistLibrary::starredName + u'.' + PlaylistFile::fileExtension;
    PlaylistMigrationResult result;
    for (const fs::path& file : playlistFilesIn(source, sourceFolder)) {
        if (stop.stop_requested())
            throw CancellationError();
        const QString name = fromFsPath(file.filename());
        const fs::path targetFile = target / file.filename();
        const fs::file_status existing = fs::symlink_status(targetFile, error);
        if (existing.type() == fs::file_type::not_found) {
            if (SafeFileCopy(file, target, name, stop).run() == CopyResult::copied) {
                ++result.copied;
                continue;
            }
        } else if (error) {
            throw PlaylistMigrationError::copyFailed(name, targetFolder, messageOf(error));
        }
        if (name == starredFile && isEmptyStarred(targetFile) && !isEmptyStarred(file)) {
            SafeFileCopy(file, target, name, stop).run(Placement::replacing);
            ++result.copied;
            result.filledEmptyStarred = true;
            continue;
        }
        if (!sameContent(file, targetFile))
            result.keptDiffering.append(name.chopped(QLatin1String(".parvik").size()));
    }
    logInfo(lcApp(), QStringLiteral("Migrated %1 playlist(s)").arg(result.copied));
    return result;
}

void removeInterruptedCopies(const QString& folder)
{
    static const QRegularExpression temporaryName(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(QLatin1String(temporaryPrefix)) + QStringLiteral("[A-Za-z0-9]{6}")));
    std::error_code error;
    fs::directory_iterator it(toFsPath(folder), error);
    if (error == std::errc::no_such_file_or_directory)
        return;
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const QString name = fromFsPath(it->path().filename());
        std::error_code entryError;
        if (!temporaryName.match(name).hasMatch() || it->symlink_status(entryError).type() != fs::file_type::regular)
            continue;
        if (fs::remove(it->path(), entryError))
            logInfo(lcApp(), QStringLiteral("Removed the temporary file of an interrupted playlist copy: %1")
                                 .arg(fromFsPath(it->path())));
        else if (entryError)
            logError(lcApp(), QStringLiteral("Failed to remove the temporary file %1: %2")
                                  .arg(fromFsPath(it->path()), messageOf(entryError)));
    }
    if (error)
        logError(
            lcApp(),
            QStringLiteral("Failed to look for temporary playlist copies in %1: %2").arg(folder, messageOf(error)));
}

} // namespace vessa
