#pragma once

#include "Parvik/Playlist.h"
#include "Parvik/PlaylistLoadError.h"
#include "Rasko/DestinationPlugin.h"

#include <QHash>
#include <QLatin1String>
#include <QList>
#include <QObject>

#include <optional>

namespace vessa {

// The user's playlists: one file per playlist, named after it ("Road
// Trip.parvik"), in a whole-file store. Keeps them in memory as a sorted list
// ("Starred" first, then the locale's case-insensitive order, the one of
// caseBlindCollator) and remembers the files that failed to load.
//
// Lives on the main thread and is only used there; every method runs to its
// end synchronously (playlist files are small). Failures throw
// PlaylistLibraryError, except that load() throws a failed listing as the
// store threw it.
//
// No operation ever overwrites or deletes a stored playlist it has not read:
// a file that failed to load keeps its name (it cannot be created, renamed to
// or saved over until a load reads it), and a name whose file already lies in
// the store (also one differing only in letter case, on a store that ignores
// case) cannot be created or renamed to.
class PlaylistLibrary : public QObject {
    Q_OBJECT

public:
    static constexpr QLatin1String starredName{"Starred"};

    explicit PlaylistLibrary(DestinationPluginPtr destination, QObject* parent = nullptr);

    const QList<Playlist>& playlists() const { return m_playlists; }
    // One entry per file that failed in the last load, in the store's order.
    const QList<PlaylistLoadError>& loadErrors() const { return m_loadErrors; }
    const DestinationPluginPtr& destination() const { return m_destination; }

    // The first playlist named "Starred", or an empty one (not in the list).
    Playlist starred() const;
    // Replaces the first playlist named "Starred" (name included); nothing
    // when there is none. Writes nothing.
    void setStarred(const Playlist& playlist);
    bool isStarred(const TrackRef& ref) const;
    std::optional<Playlist> playlist(const QString& name) const;

    // Reads every playlist file and replaces both lists. A missing "Starred"
    // is created and written, unless its file exists but could not be read
    // (or is another playlist's file on a store that ignores case): then an
    // empty one is shown and the file is left alone. First removes what
    // interrupted saves left behind, once it is more than ten minutes old.
    void load();
    // Writes the playlist's file and replaces the entry of that name, if any.
    void save(const Playlist& playlist);
    Playlist create(const QString& name);
    void remove(const QString& name);
    // Writes the new file before deleting the old one.
    void rename(const QString& from, const QString& to);
    // Refuses while no "Starred" is loaded: with saveFailed("Starred") naming
    // the failure of the last load when it failed (a playlist folder that
    // cannot be read), else (before the first load) playlistNotFound("Starred").
    // Like save, a failed star or unstar changes nothing in memory either.
    void star(const TrackRef& ref);
    void unstar(const TrackRef& ref);

signals:
    void playlistsChanged();
    void loadErrorsChanged();

private:
    void loadFromStore();
    void removeInterruptedSaves();
    qsizetype indexOf(const QString& name) const;
    bool hasLoadError(const QString& name) const;
    // Throws invalidName, or saveFailed when the name's file failed to load.
    void checkWritable(const QString& name) const;
    // Throws invalidName, or playlistAlreadyExists when the name is taken in
    // memory or in the store.
    void checkNameIsFree(const QString& name, const QString& renamedFrom = QString());
    bool storeHoldsOtherFile(const QString& name, const QString& ownFileID);
    std::optional<QString> caseTwinOf(const QString& fileID, const QList<DestinationFileInfo>& files);
    void write(const Playlist& playlist);
    void removeOldFile(const QString& from, const QString& to);
    void publishPlaylists(QList<Playlist> playlists);

    DestinationPluginPtr m_destination;
    QList<Playlist> m_playlists;
    QList<PlaylistLoadError> m_loadErrors;
    // File ID -> error, for the files of the last load that could not be read
    // (and "Starred.parvik" when the store ignores case and holds "starred.parvik").
    QHash<QString, std::exception_ptr> m_unreadableFiles;
    // Why the last load failed; null after a load that succeeded.
    std::exception_ptr m_loadFailure;
};

} // namespace vessa
