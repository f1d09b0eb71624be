#include "Vessa/App/Playlists/PlaylistStorageSwitcher.h"

#include "Vessa/App/AppLogging.h"
#include "Vessa/App/Playlists/PlaylistDirectory.h"
#include "Vessa/App/Playlists/PlaylistMigration.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/ThreadStart.h"

#include <QMetaObject>
#include <QSettings>
#include <QTimer>

#include <utility>

namespace vessa {

PlaylistStorageSwitcher::PlaylistStorageSwitcher(QString currentFolder, TargetResolver resolveTarget,
                                                 SwitchHandler onSwitched, QSettings* journal, QObject* parent)
    : QObject(parent),
      m_currentFolder(std::move(currentFolder)),
      m_resolveTarget(std::move(resolveTarget)),
      m_onSwitched(std::move(onSwitched)),
      m_journal(journal)
{
    if (m_journal) {
        const QString interrupted = m_journal->value(copyingIntoKey).toString();
        if (!interrupted.isEmpty())
            removeLeftovers(interrupted);
    }
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
        const Target target = m_resolveTarget();
        const QString to = target.folder;
        if (PlaylistDirectory::isSame(from, to)) {
            if (target.settle)
                target.settle();
            continue;
        }
        logInfo(lcApp(), QStringLiteral("Migrating playlists from %1 to %2").arg(from, to));
        journalCopyingInto(to);
        m_running = true;
        try {
            m_copier = startThread([this, from, to, settle = target.settle](std::stop_token stop) {
                Switch done{from, to, nullptr, {}};
                try {
                    const PlaylistMigrationResult result = migratePlaylists(from, to, stop);
                    done.keptDiffering = result.keptDiffering;
                    done.filledEmptyStarred = result.filledEmptyStarred;
                } catch (...) {
                    done.migrationError = std::current_exception();
                }
                // Dropped unseen when the switcher is being destroyed: it joins
                // this thread first, and Qt discards events for a deleted object.
                QMetaObject::invokeMethod(
                    this, [this, done, settle] { finish(done, settle); }, Qt::QueuedConnection);
            });
        } catch (const ThreadStartError&) {
            // Nothing was copied: the switch fails as a copy that could not
            // start, told after this call like any other.
            const Switch done{from, to, std::current_exception(), {}};
            QMetaObject::invokeMethod(
                this, [this, done] { finish(done, {}); }, Qt::QueuedConnection);
        }
    }
}

void PlaylistStorageSwitcher::finish(Switch done, const std::function<void()>& settle)
{
    if (m_copier.joinable())
        m_copier.join(); // its last step was posting this result
    m_running = false;
    if (done.migrationError) {
        logError(lcApp(), QStringLiteral("Playlist migration failed: %1").arg(describeException(done.migrationError)));
    } else {
        m_currentFolder = done.to;
        if (settle)
            settle();
    }
    journalCopyingInto(QString());
    if (m_onSwitched)
        m_onSwitched(done);
    startNext();
}

void PlaylistStorageSwitcher::removeLeftovers(const QString& folder)
{
    m_running = true;
    try {
        m_copier = startThread([this, folder] {
            removeInterruptedCopies(folder);
            QMetaObject::invokeMethod(this, &PlaylistStorageSwitcher::leftoversRemoved, Qt::QueuedConnection);
        });
    } catch (const ThreadStartError& refusal) {
        // The journal keeps the folder; switches wait until the leftovers are
        // gone. The wait is told once, not at every try.
        if (!std::exchange(m_leftoversWaitTold, true))
            logWarning(lcApp(), QStringLiteral("Removing what an interrupted playlist copy left waits for a thread: ")
                                    + refusal.description());
        QTimer::singleShot(threadStartRetryInterval, this, [this, folder] { removeLeftovers(folder); });
    }
}

void PlaylistStorageSwitcher::leftoversRemoved()
{
    m_copier.join();
    m_leftoversWaitTold = false;
    m_running = false;
    journalCopyingInto(QString());
    startNext();
}

void PlaylistStorageSwitcher::journalCopyingInto(const QString& folder)
{
    if (!m_journal)
        return;
    if (folder.isEmpty())
        m_journal->remove(copyingIntoKey);
    else
        m_journal->setValue(copyingIntoKey, folder);
    // On the disk before the first copy starts, and before the storage is
    // reported switched, so that a kill at any point leaves a true journal.
    m_journal->sync();
}

} // namespace vessa
