#include "Vessa/App/PlaylistStorageSwitcher.h"

#include "Vessa/App/AppLogging.h"
#include "Vessa/App/PlaylistDirectory.h"
#include "Vessa/App/PlaylistMigration.h"
#include "VessaCore/ExceptionDescription.h"

#include <QMetaObject>

namespace vessa {

PlaylistStorageSwitcher::PlaylistStorageSwitcher(QString currentFolder, TargetResolver resolveTarget,
                                                 SwitchHandler onSwitched, QObject* parent)
    : QObject(parent),
      m_currentFolder(std::move(currentFolder)),
      m_resolveTarget(std::move(resolveTarget)),
      m_onSwitched(std::move(onSwitched))
{
}

PlaylistStorageSwitcher::~PlaylistStorageSwitcher()
{
    // Joined here, before the object goes: the copier posts its result to it.
    if (m_copier.joinable()) {
        m_copier.request_stop();
        m_copier.join();
    }
}

void PlaylistStorageSwitcher::requestSwitch()
{
    ++m_waitingRequests;
    if (m_running || m_startScheduled)
        return;
    // Like the setter that asks for it, the request returns at once; the
    // target is read once the current event has been handled.
    m_startScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_startScheduled = false;
            startNext();
        },
        Qt::QueuedConnection);
}

void PlaylistStorageSwitcher::startNext()
{
    while (!m_running && m_waitingRequests > 0) {
        --m_waitingRequests;
        const QString from = m_currentFolder;
        const QString to = m_resolveTarget();
        if (PlaylistDirectory::isSame(from, to))
            continue;
        logInfo(lcApp(), QStringLiteral("Migrating playlists from %1 to %2").arg(from, to));
        m_running = true;
        m_copier = std::jthread([this, from, to](std::stop_token stop) {
            Switch done{from, to, nullptr, {}};
            try {
                done.keptDiffering = migratePlaylists(from, to, stop).keptDiffering;
            } catch (...) {
                done.migrationError = std::current_exception();
            }
            // Dropped unseen when the switcher is being destroyed: it joins
            // this thread first, and Qt discards events for a deleted object.
            QMetaObject::invokeMethod(
                this, [this, done] { finish(done); }, Qt::QueuedConnection);
        });
    }
}

void PlaylistStorageSwitcher::finish(Switch done)
{
    m_copier.join(); // its last step was posting this result
    m_running = false;
    if (done.migrationError)
        logError(lcApp(), QStringLiteral("Playlist migration failed: %1").arg(describeException(done.migrationError)));
    m_currentFolder = done.to;
    if (m_onSwitched)
        m_onSwitched(done);
    startNext();
}

} // namespace vessa
