#pragma once

#include <QString>
#include <QUrl>
#include <QVersionNumber>

namespace vessa {

// One release listed in an appcast feed.
struct AppcastItem {
    // The machine version, compared numerically ("1.10" is newer than "1.9").
    QVersionNumber version;
    // The version as people read it: the feed's short version string when it
    // gives one, else the machine version as written.
    QString displayVersion;
    QString title;
    // The release notes: the item's description, HTML or plain text.
    QString notes;
    // Where people download the release (http or https only); empty when the
    // feed names no such page.
    QUrl downloadPage;
};

} // namespace vessa
