#include "RaskoLocalFile/LocalFolderDestination.h"

#include "RaskoLocalFile/FileTimes.h"
#include "RaskoLocalFile/LocalFolderDestinationError.h"
#include "VessaCore/PathExtension.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace vessa {

namespace {

fs::path toFsPath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromFsPath(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

QString messageOf(const std::error_code& error)
{
    return QString::fromStdString(error.message());
}

QString invalidFileName()
{
    return QCoreApplication::translate("LocalFolderDestinationError", "Invalid file name");
}

// A file id is one plain name inside the folder: it may not be empty, name
// the folder or its parent, hide itself, or reach into another folder.
bool isValidFileID(const QString& fileID)
{
    return !fileID.isEmpty() && !fileID.startsWith(u'.') && !fileID.contains(u'/') && !fileID.contains(QChar(0));
}

// QSaveFile writes "<file id>.XXXXXX" (six random ASCII letters) and renames
// it to the file id; a crash in between leaves it behind. Where the file
// system offers unnamed temporary files it uses one of those instead, which
// vanishes with the process. The extension is matched as spelt: writes use
// their file id as given.
bool isTemporaryFileOf(const QString& name, const QString& fileExtension)
{
    constexpr qsizetype randomLength = 6;
    const qsizetype dot = name.size() - randomLength - 1;
    if (dot <= 0 || name[dot] != u'.')
        return false;
    const QStringView random = QStringView(name).sliced(dot + 1);
    const auto isLower = [](QChar c) { return c >= u'a' && c <= u'z'; };
    const auto isUpper = [](QChar c) { return c >= u'A' && c <= u'Z'; };
    const bool letters = std::all_of(random.begin(), random.end(), [&](QChar c) { return isLower(c) || isUpper(c); });
    // A word in one case ("Mix.parvik.backup") is far more likely a user's own
    // file than random letters; such a leftover is left alone rather than risked.
    const bool mixedCase =
        std::any_of(random.begin(), random.end(), isLower) && std::any_of(random.begin(), random.end(), isUpper);
    const QString target = name.left(dot);
    return letters && mixedCase && isValidFileID(target) && pathExtension(target) == fileExtension;
}

} // namespace

LocalFolderDestination::LocalFolderDestination(QString name, QString directoryPath)
    : m_name(std::move(name)), m_directoryPath(std::move(directoryPath))
{
}

QString LocalFolderDestination::name() const
{
    return m_name;
}

fs::path LocalFolderDestination::location(const QString& fileID) const
{
    return toFsPath(m_directoryPath) / toFsPath(fileID);
}

QList<DestinationFileInfo> LocalFolderDestination::list(const QString& fileExtension)
{
    const QString wanted = fileExtension.toLower();
    return listEntries(
        [&](const QString& fileID, const fs::directory_entry&) { return pathExtension(fileID).toLower() == wanted; });
}

QList<DestinationFileInfo> LocalFolderDestination::listInterruptedWrites(const QString& fileExtension)
{
    QList<DestinationFileInfo> files = listEntries([&](const QString& fileID, const fs::directory_entry& entry) {
        std::error_code error;
        return isTemporaryFileOf(fileID, fileExtension) && entry.symlink_status(error).type() == fs::file_type::regular;
    });
    // Without a date nobody can tell whether the write is still running.
    files.removeIf([](const DestinationFileInfo& file) { return file.lastModified == distantPast(); });
    return files;
}

QList<DestinationFileInfo>
LocalFolderDestination::listEntries(const std::function<bool(const QString& fileID, const fs::directory_entry&)>& keep)
{
    const fs::path directory = toFsPath(m_directoryPath);
    std::error_code error;
    if (!fs::exists(directory, error)) {
        if (error)
            throw LocalFolderDestinationError::listFailed(m_directoryPath, messageOf(error));
        return {};
    }

    QList<DestinationFileInfo> files;
    fs::directory_iterator it(directory, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const QString fileID = fromFsPath(it->path().filename());
        if (fileID.startsWith(u'.') || !keep(fileID, *it))
            continue;
        std::error_code entryError;
        const auto writeTime = it->last_write_time(entryError);
        const QDateTime lastModified = entryError ? distantPast() : dateFromFileTime(writeTime);
        std::optional<qint64> size;
        if (it->is_regular_file(entryError)) {
            const std::uintmax_t bytes = it->file_size(entryError);
            if (!entryError)
                size = static_cast<qint64>(bytes);
        }
        files.append(DestinationFileInfo(fileID, lastModified, size));
    }
    if (error)
        throw LocalFolderDestinationError::listFailed(m_directoryPath, messageOf(error));
    return files;
}

QByteArray LocalFolderDestination::read(const QString& fileID)
{
    if (!isValidFileID(fileID))
        throw LocalFolderDestinationError::readFailed(fileID, invalidFileName());
    const fs::path path = location(fileID);
    std::error_code error;
    if (!fs::exists(path, error)) {
        if (error)
            throw LocalFolderDestinationError::readFailed(fileID, messageOf(error));
        throw LocalFolderDestinationError::fileNotFound(fileID, m_directoryPath);
    }
    if (fs::is_directory(path, error))
        throw LocalFolderDestinationError::readFailed(fileID,
                                                      messageOf(std::make_error_code(std::errc::is_a_directory)));

    QFile file(fromFsPath(path));
    if (!file.open(QIODevice::ReadOnly))
        throw LocalFolderDestinationError::readFailed(fileID, file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw LocalFolderDestinationError::readFailed(fileID, file.errorString());
    return bytes;
}

void LocalFolderDestination::ensureDirectoryExists() const
{
    const fs::path directory = toFsPath(m_directoryPath);
    std::error_code error;
    // Anything already at the path counts as the folder; writing into it
    // then fails on its own.
    if (fs::exists(directory, error))
        return;
    if (!error)
        fs::create_directories(directory, error);
    if (error)
        throw LocalFolderDestinationError::cannotCreateDirectory(m_directoryPath, messageOf(error));
}

void LocalFolderDestination::write(const QString& fileID, const QByteArray& data)
{
    if (!isValidFileID(fileID))
        throw LocalFolderDestinationError::writeFailed(fileID, invalidFileName());
    ensureDirectoryExists();

    QSaveFile file(fromFsPath(location(fileID)));
    file.setDirectWriteFallback(false);
    // Unbuffered: a buffered QSaveFile can lose a short write (disk full, file
    // size limit) in its final flush and still commit a truncated file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw LocalFolderDestinationError::writeFailed(fileID, file.errorString());
    if (file.write(data) != data.size()) {
        const QString message = file.errorString();
        file.cancelWriting();
        throw LocalFolderDestinationError::writeFailed(fileID, message);
    }
    if (!file.commit())
        throw LocalFolderDestinationError::writeFailed(fileID, file.errorString());
}

void LocalFolderDestination::remove(const QString& fileID)
{
    if (!isValidFileID(fileID))
        throw LocalFolderDestinationError::deleteFailed(fileID, invalidFileName());
    const fs::path path = location(fileID);
    std::error_code error;
    // symlink_status, so that a dangling link can still be removed.
    const fs::file_status status = fs::symlink_status(path, error);
    if (status.type() == fs::file_type::not_found)
        throw LocalFolderDestinationError::fileNotFound(fileID, m_directoryPath);
    if (error)
        throw LocalFolderDestinationError::deleteFailed(fileID, messageOf(error));
    fs::remove(path, error);
    if (error)
        throw LocalFolderDestinationError::deleteFailed(fileID, messageOf(error));
}

} // namespace vessa
