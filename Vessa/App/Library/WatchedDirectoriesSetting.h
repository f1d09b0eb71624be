#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringList>

class QSettings;

namespace vessa {

// The stored list of music folders: absolute, cleaned paths in the order
// they were added, as a string list under "watchedDirectories".
struct WatchedDirectoriesSetting {
    static constexpr QLatin1String settingsKey{"watchedDirectories"};

    // The absolute, cleaned form in which folders are kept and compared
    // ("/music/a/" and "/music/./a" are "/music/a"); empty for an empty or
    // relative path.
    static QString normalized(const QString& path);

    // The stored folders. An element that is not a text, is empty or is
    // relative is skipped on its own, as is a repetition; a folder that does
    // not exist (an unmounted drive) is kept.
    static QStringList load(const QSettings& settings);
    static void save(QSettings& settings, const QStringList& folders);
};

} // namespace vessa
