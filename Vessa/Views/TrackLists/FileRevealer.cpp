#include "Vessa/Views/TrackLists/FileRevealer.h"

#include "Vessa/App/AppLogging.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QSet>

namespace vessa {

namespace {

// The file a path shows: an archive member ("archive::member") shows its archive.
QString shownFile(const QString& path)
{
    const qsizetype separator = path.indexOf(QLatin1String("::"));
    if (separator > 0 && !QFileInfo::exists(path))
        return path.left(separator);
    return path;
}

} // namespace

DesktopFileRevealer::DesktopFileRevealer(FolderOpener openFolder) : m_openFolder(std::move(openFolder))
{
    if (!m_openFolder)
        m_openFolder = [](const QUrl& folder) { QDesktopServices::openUrl(folder); };
}

QStringList DesktopFileRevealer::itemUris(const QStringList& paths)
{
    QStringList uris;
    for (const QString& path : paths) {
        const QString uri = QUrl::fromLocalFile(shownFile(path)).toString(QUrl::FullyEncoded);
        if (!uris.contains(uri))
            uris.append(uri);
    }
    return uris;
}

QList<QUrl> DesktopFileRevealer::parentFolders(const QStringList& paths)
{
    QList<QUrl> folders;
    for (const QString& path : paths) {
        const QUrl folder = QUrl::fromLocalFile(QFileInfo(shownFile(path)).absolutePath());
        if (!folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

void DesktopFileRevealer::reveal(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QList<QUrl> folders = parentFolders(paths);
    const FolderOpener openFolder = m_openFolder;
    const auto fallback = [folders, openFolder] {
        for (const QUrl& folder : folders)
            openFolder(folder);
    };
    if (!bus.isConnected()) {
        fallback();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << itemUris(paths) << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [fallback](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<> reply = *w;
        if (reply.isError()) {
            qCInfo(lcUi).noquote() << "No file manager took the files, opening their folders:"
                                   << reply.error().message();
            fallback();
        }
        w->deleteLater();
    });
}

} // namespace vessa
