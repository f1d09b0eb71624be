#pragma once

#include "Vessa/App/Playlists/LibraryStorageLocation.h"

#include <QLatin1String>
#include <QString>

#include <optional>

namespace vessa {

// Where the playlist files of each storage preference live.
//
// The cloud folder is a folder a sync client keeps in step with the user's
// other machines; the user names it in the settings under
// "cloudContainerDirectory". It counts as available when the setting holds
// an absolute path naming an existing folder (never created here); its
// playlists then live in its "playlists" sub-folder.
namespace PlaylistDirectory {

inline constexpr QLatin1String cloudContainerDirectoryKey{"cloudContainerDirectory"};

// The application's own playlist folder: the data folder + "Tornwick/playlists".
QString local();

// The cloud folder's "playlists" folder, or nullopt when the cloud folder
// `cloudContainerDirectory` (the setting's text) is not available.
std::optional<QString> cloud(const QString& cloudContainerDirectory);

// The playlist folder for `preference`: the cloud's playlist folder when the
// preference is not "local" and the cloud folder is available, else
// `localDirectory`. Falling back for "icloud" from a chosen cloud folder that
// is not available logs an error each time.
// Neither creates nor checks the playlist folder itself.
QString resolve(LibraryStorageLocation preference, const QString& cloudContainerDirectory,
                const QString& localDirectory);

// True when both paths name the same folder, written alike after cleaning
// ("a/b/" and "a//b" are the same folder; links are not followed).
bool isSame(const QString& first, const QString& second);

} // namespace PlaylistDirectory

} // namespace vessa
