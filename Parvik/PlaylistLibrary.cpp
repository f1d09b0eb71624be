#include "Parvik/PlaylistLibrary.h"

#include "Parvik/PlaylistFile.h"
#include "Parvik/PlaylistLibraryError.h"
#include "VessaCore/CaseBlindCollator.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/Logging.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace vessa {

namespace {

VESSA_LOGGING_CATEGORY(lcLibrary, "parvik", "library")

// A younger temporary file may belong to a save still running: in another
// process, or on another computer whose sync client is still copying it.
constexpr qint64 interruptedSaveAgeSeconds = 10 * 60;

QString fileIDOf(const QString& name)
{
    return name + u'.' + PlaylistFile::fileExtension;
}

QString nameOfFile(const QString& fileID)
{
    const QString ending = u'.' + PlaylistFile::fileExtension;
    return fileID.endsWith(ending) ? fileID.chopped(ending.size()) : fileID;
}

bool isUsableName(const QString& name)
{
    return !name.isEmpty() && !name.startsWith(u'.') && !name.contains(u'/') && !name.contains(QChar(u'\0'));
}

// Names a store that ignores letter case (or Unicode normalisation) keeps in one file.
QString foldedName(const QString& name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

// "Starred" first, then ascending by the current locale ignoring case, as the
// track lists sort their texts (also in the C locale); a stable sort, so
// names that compare the same keep their order.
QList<Playlist> inLibraryOrder(QList<Playlist> playlists)
{
    const QCollator collator = caseBlindCollator();
    struct Item {
        bool starred;
        QCollatorSortKey key;
        Playlist* playlist;
    };
    std::vector<Item> items;
    items.reserve(playlists.size());
    for (Playlist& playlist : playlists)
        items.push_back({playlist.name == PlaylistLibrary::starredName, collator.sortKey(playlist.name), &playlist});
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        if (a.starred || b.starred)
            return a.starred && !b.starred;
        return a.key.compare(b.key) < 0;
    });
    QList<Playlist> sorted;
    sorted.reserve(playlists.size());
    for (const Item& item : items)
        sorted.append(std::move(*item.playlist));
    return sorted;
}

} // namespace

PlaylistLibrary::PlaylistLibrary(DestinationPluginPtr destination, QObject* parent)
    : QObject(parent), m_destination(std::move(destination))
{
}

Playlist PlaylistLibrary::starred() const
{
    const qsizetype index = indexOf(starredName);
    return index >= 0 ? m_playlists[index] : Playlist(starredName, QList<PlaylistTrack>());
}

void PlaylistLibrary::setStarred(const Playlist& playlist)
{
    const qsizetype index = indexOf(starredName);
    if (index < 0)
        return;
    m_playlists[index] = playlist;
    emit playlistsChanged();
}

bool PlaylistLibrary::isStarred(const TrackRef& ref) const
{
    const qsizetype index = indexOf(starredName);
    return index >= 0 && m_playlists[index].contains(ref);
}

std::optional<Playlist> PlaylistLibrary::playlist(const QString& name) const
{
    const qsizetype index = indexOf(name);
    if (index < 0)
        return std::nullopt;
    return m_playlists[index];
}

void PlaylistLibrary::load()
{
    try {
        loadFromStore();
    } catch (...) {
        m_loadFailure = std::current_exception();
        throw;
    }
    m_loadFailure = nullptr;
}

void PlaylistLibrary::loadFromStore()
{
    removeInterruptedSaves();
    const QList<DestinationFileInfo> files = m_destination->list(PlaylistFile::fileExtension);

    struct Failure {
        qsizetype order;
        PlaylistLoadError error;
    };
    struct Loaded {
        qsizetype order;
        QString fileID;
        Playlist playlist;
    };
    std::vector<Failure> failures;
    QList<Loaded> loaded;
    QHash<QString, qsizetype> loadedByName;
    QHash<QString, std::exception_ptr> unreadable;
    const auto fail = [&](qsizetype order, const QString& name, std::exception_ptr error) {
        logError(lcLibrary(), QStringLiteral("Failed to load playlist '%1': %2").arg(name, describeException(error)));
        failures.push_back({order, PlaylistLoadError{name, std::move(error)}});
    };

    for (qsizetype order = 0; order < files.size(); ++order) {
        const QString& fileID = files[order].fileID;
        const QString name = nameOfFile(fileID);
        std::optional<Playlist> playlist;
        try {
            playlist = PlaylistFile::parse(m_destination->read(fileID), name);
        } catch (const std::exception&) {
            unreadable.insert(fileID, std::current_exception());
            fail(order, name, std::current_exception());
            continue;
        }
        // "X.PARVIK" and "X.PARVIK.parvik" both give the name "X.PARVIK"; the
        // file this library writes for that name wins, the other is reported.
        const auto same = loadedByName.constFind(name);
        if (same == loadedByName.cend()) {
            loadedByName.insert(name, loaded.size());
            loaded.append({order, fileID, std::move(*playlist)});
            continue;
        }
        const auto duplicate = std::make_exception_ptr(PlaylistLibraryError::playlistAlreadyExists(name));
        if (fileID == fileIDOf(name)) {
            Loaded& other = loaded[same.value()];
            fail(other.order, name, duplicate);
            other = {order, fileID, std::move(*playlist)};
        } else {
            fail(order, name, duplicate);
        }
    }

    QList<Playlist> playlists;
    playlists.reserve(loaded.size() + 1);
    for (Loaded& entry : loaded)
        playlists.append(std::move(entry.playlist));
    if (std::none_of(playlists.begin(), playlists.end(), [](const Playlist& p) { return p.name == starredName; })) {
        Playlist starredPlaylist(starredName, QList<PlaylistTrack>());
        // A Starred file that exists but could not be read is kept as it is,
        // and so is "starred.parvik" on a store that ignores case.
        const QString starredFile = fileIDOf(starredName);
        if (!unreadable.contains(starredFile)) {
            const std::optional<QString> twin = caseTwinOf(starredFile, files);
            if (twin)
                unreadable.insert(starredFile, std::make_exception_ptr(
                                                   PlaylistLibraryError::playlistAlreadyExists(nameOfFile(*twin))));
            else
                write(starredPlaylist);
        }
        playlists.append(std::move(starredPlaylist));
    }

    std::stable_sort(failures.begin(), failures.end(),
                     [](const Failure& a, const Failure& b) { return a.order < b.order; });
    QList<PlaylistLoadError> errors;
    QStringList failedNames;
    for (Failure& failure : failures) {
        failedNames.append(failure.error.name);
        errors.append(std::move(failure.error));
    }

    m_unreadableFiles = std::move(unreadable);
    publishPlaylists(inLibraryOrder(std::move(playlists)));
    m_loadErrors = std::move(errors);
    emit loadErrorsChanged();

    const QString count = QString::number(m_playlists.size());
    if (failedNames.isEmpty()) {
        logInfo(lcLibrary(), QStringLiteral("Loaded %1 playlists from %2").arg(count, m_destination->name()));
    } else {
        logError(lcLibrary(), QStringLiteral("Loaded %1 playlists from %2, %3 failed: %4")
                                  .arg(count, m_destination->name(), QString::number(failedNames.size()),
                                       failedNames.join(QStringLiteral(", "))));
    }
}

// Failures are only logged: the playlists load all the same.
void PlaylistLibrary::removeInterruptedSaves()
{
    QList<DestinationFileInfo> leftovers;
    try {
        leftovers = m_destination->listInterruptedWrites(PlaylistFile::fileExtension);
    } catch (const std::exception&) {
        logError(lcLibrary(), QStringLiteral("Failed to look for temporary files of interrupted saves: %1")
                                  .arg(describeException(std::current_exception())));
        return;
    }
    const QDateTime staleBefore = QDateTime::currentDateTimeUtc().addSecs(-interruptedSaveAgeSeconds);
    for (const DestinationFileInfo& file : leftovers) {
        if (file.lastModified >= staleBefore)
            continue;
        try {
            m_destination->remove(file.fileID);
            logInfo(lcLibrary(), QStringLiteral("Removed temporary file of an interrupted save: %1").arg(file.fileID));
        } catch (const std::exception&) {
            logError(lcLibrary(), QStringLiteral("Failed to remove temporary file '%1': %2")
                                      .arg(file.fileID, describeException(std::current_exception())));
        }
    }
}

void PlaylistLibrary::save(const Playlist& playlist)
{
    checkWritable(playlist.name);
    write(playlist);
    const qsizetype index = indexOf(playlist.name);
    if (index >= 0) {
        m_playlists[index] = playlist;
        emit playlistsChanged();
    }
}

Playlist PlaylistLibrary::create(const QString& name)
{
    checkNameIsFree(name);
    checkWritable(name);
    const Playlist created(name, QList<PlaylistTrack>());
    write(created);
    m_playlists.append(created);
    emit playlistsChanged();
    publishPlaylists(inLibraryOrder(m_playlists));
    logInfo(lcLibrary(), QStringLiteral("Created playlist: %1").arg(name));
    return created;
}

void PlaylistLibrary::remove(const QString& name)
{
    if (name == starredName)
        throw PlaylistLibraryError::cannotDeleteStarred();
    if (indexOf(name) < 0)
        throw PlaylistLibraryError::playlistNotFound(name);
    const auto unreadable = m_unreadableFiles.constFind(fileIDOf(name));
    if (unreadable != m_unreadableFiles.cend())
        throw PlaylistLibraryError::deleteFailed(name, unreadable.value());
    try {
        m_destination->remove(fileIDOf(name));
    } catch (const std::exception&) {
        throw PlaylistLibraryError::deleteFailed(name, std::current_exception());
    }
    m_playlists.removeIf([&](const Playlist& playlist) { return playlist.name == name; });
    emit playlistsChanged();
    logInfo(lcLibrary(), QStringLiteral("Deleted playlist: %1").arg(name));
}

void PlaylistLibrary::rename(const QString& from, const QString& to)
{
    if (from == starredName)
        throw PlaylistLibraryError::cannotRenameStarred();
    const qsizetype index = indexOf(from);
    if (index < 0)
        throw PlaylistLibraryError::playlistNotFound(from);
    checkNameIsFree(to, from);
    checkWritable(to);
    const Playlist renamed(to, m_playlists[index].tracks);
    write(renamed);
    removeOldFile(from, to);
    m_playlists[index] = renamed;
    emit playlistsChanged();
    publishPlaylists(inLibraryOrder(m_playlists));
    logInfo(lcLibrary(), QStringLiteral("Renamed playlist: %1 -> %2").arg(from, to));
}

void PlaylistLibrary::star(const TrackRef& ref)
{
    if (indexOf(starredName) < 0) {
        // The load that would have brought "Starred" failed: that is the cause.
        if (m_loadFailure)
            throw PlaylistLibraryError::saveFailed(starredName, m_loadFailure);
        throw PlaylistLibraryError::playlistNotFound(starredName);
    }
    Playlist playlist = starred();
    if (playlist.contains(ref))
        return;
    playlist.append(ref);
    save(playlist);
}

void PlaylistLibrary::unstar(const TrackRef& ref)
{
    Playlist playlist = starred();
    const auto entry = std::find_if(playlist.tracks.cbegin(), playlist.tracks.cend(),
                                    [&](const PlaylistTrack& track) { return track.ref == ref; });
    if (indexOf(starredName) < 0 || entry == playlist.tracks.cend())
        return;
    playlist.remove(entry - playlist.tracks.cbegin());
    save(playlist);
}

qsizetype PlaylistLibrary::indexOf(const QString& name) const
{
    for (qsizetype i = 0; i < m_playlists.size(); ++i) {
        if (m_playlists[i].name == name)
            return i;
    }
    return -1;
}

bool PlaylistLibrary::hasLoadError(const QString& name) const
{
    return std::any_of(m_loadErrors.begin(), m_loadErrors.end(),
                       [&](const PlaylistLoadError& error) { return error.name == name; });
}

void PlaylistLibrary::checkWritable(const QString& name) const
{
    if (!isUsableName(name))
        throw PlaylistLibraryError::invalidName(name);
    const auto unreadable = m_unreadableFiles.constFind(fileIDOf(name));
    if (unreadable != m_unreadableFiles.cend())
        throw PlaylistLibraryError::saveFailed(name, unreadable.value());
}

void PlaylistLibrary::checkNameIsFree(const QString& name, const QString& renamedFrom)
{
    if (!isUsableName(name))
        throw PlaylistLibraryError::invalidName(name);
    if (indexOf(name) >= 0 || hasLoadError(name))
        throw PlaylistLibraryError::playlistAlreadyExists(name);
    // Renaming "Mix" to "MIX" may find the playlist's own file under the new name.
    const bool sameFile = !renamedFrom.isEmpty() && foldedName(renamedFrom) == foldedName(name);
    if (storeHoldsOtherFile(name, sameFile ? fileIDOf(renamedFrom) : QString()))
        throw PlaylistLibraryError::playlistAlreadyExists(name);
}

// Whether writing the name's file would replace a stored file other than
// `ownFileID`: a file of exactly that name, or one differing only in case on
// a store that ignores case (it reads back under the new spelling).
bool PlaylistLibrary::storeHoldsOtherFile(const QString& name, const QString& ownFileID)
{
    const QString fileID = fileIDOf(name);
    QList<DestinationFileInfo> files;
    try {
        files = m_destination->list(PlaylistFile::fileExtension);
    } catch (const std::exception&) {
        throw PlaylistLibraryError::saveFailed(name, std::current_exception());
    }
    files.removeIf([&](const DestinationFileInfo& file) { return file.fileID == ownFileID; });
    const bool exact =
        std::any_of(files.begin(), files.end(), [&](const DestinationFileInfo& file) { return file.fileID == fileID; });
    return exact || caseTwinOf(fileID, files).has_value();
}

// A listed file other than `fileID` that the store also reads under `fileID`:
// the same file on a store that ignores case.
std::optional<QString> PlaylistLibrary::caseTwinOf(const QString& fileID, const QList<DestinationFileInfo>& files)
{
    const auto twin = std::find_if(files.begin(), files.end(), [&](const DestinationFileInfo& file) {
        return file.fileID != fileID && foldedName(file.fileID) == foldedName(fileID);
    });
    if (twin == files.end())
        return std::nullopt;
    try {
        m_destination->read(fileID);
        return twin->fileID;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void PlaylistLibrary::write(const Playlist& playlist)
{
    try {
        m_destination->write(fileIDOf(playlist.name), PlaylistFile::serialize(playlist));
    } catch (const std::exception&) {
        throw PlaylistLibraryError::saveFailed(playlist.name, std::current_exception());
    }
}

// A failure here leaves both files stored and is only logged: the playlist
// already lives under its new name.
void PlaylistLibrary::removeOldFile(const QString& from, const QString& to)
{
    const QString oldFileID = fileIDOf(from);
    if (m_unreadableFiles.contains(oldFileID))
        return;
    try {
        if (foldedName(from) == foldedName(to)) {
            // On a store that ignores case both spellings are one file, just written.
            const QList<DestinationFileInfo> files = m_destination->list(PlaylistFile::fileExtension);
            const auto listed = [&](const QString& fileID) {
                return std::any_of(files.begin(), files.end(),
                                   [&](const DestinationFileInfo& file) { return file.fileID == fileID; });
            };
            if (!listed(oldFileID) || !listed(fileIDOf(to)))
                return;
        }
        m_destination->remove(oldFileID);
    } catch (const std::exception&) {
        logError(lcLibrary(), QStringLiteral("Failed to delete old playlist file '%1': %2")
                                  .arg(from, describeException(std::current_exception())));
    }
}

void PlaylistLibrary::publishPlaylists(QList<Playlist> playlists)
{
    m_playlists = std::move(playlists);
    emit playlistsChanged();
}

} // namespace vessa
