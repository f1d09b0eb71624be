#include "Vessa/Views/TrackLists/FileRevealer.h"

#include "Vessa/App/AppLogging.h"
#include "Vessa/Views/Shared/DesktopOpenError.h"
#include "VessaCore/FileNameBytes.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QSet>

namespace vessa {

namespace {

// The file a path shows: an archive member ("archive::member") shows its archive.
QString shownFile(const QString& path)
{
    const qsizetype separator = path.indexOf(QLatin1String("::"));
    if (separator > 0 && !pathExists(path))
        return path.left(separator);
    return path;
}

// A file URL naming exactly the path's bytes, also when they are not UTF-8.
QUrl fileUrl(const QString& path)
{
    if (!hasUndecodedBytes(path))
        return QUrl::fromLocalFile(path);
    return QUrl::fromEncoded(QByteArrayLiteral("file://") + pathToBytes(path).toPercentEncoding("/"), QUrl::StrictMode);
}

// The folder holding a path, as pathFromBytes texts it.
QString parentFolder(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

DesktopFileRevealer::DesktopFileRevealer(FolderOpener openFolder) : m_openFolder(std::move(openFolder))
{
    if (!m_openFolder)
        m_openFolder = [](const QUrl& folder) { return QDesktopServices::openUrl(folder); };
}

QStringList DesktopFileRevealer::itemUris(const QStringList& paths)
{
    QStringList uris;
    for (const QString& path : paths) {
        const QString uri = fileUrl(shownFile(path)).toString(QUrl::FullyEncoded);
        if (!uris.contains(uri))
            uris.append(uri);
    }
    return uris;
}

QList<QUrl> DesktopFileRevealer::parentFolders(const QStringList& paths)
{
    QList<QUrl> folders;
    for (const QString& path : paths) {
        const QUrl folder = fileUrl(parentFolder(shownFile(path)));
        if (!folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

void DesktopFileRevealer::reveal(const QStringList& paths, FailureHandler onFailure)
{
    if (paths.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QList<QUrl> folders = parentFolders(paths);
    const FolderOpener openFolder = m_openFolder;
    const auto fallback = [folders, openFolder, onFailure] {
        QStringList unopened;
        for (const QUrl& folder : folders) {
            if (!openFolder(folder))
                unopened.append(folder.toString(QUrl::PreferLocalFile));
        }
        if (!unopened.isEmpty() && onFailure)
            onFailure(std::make_exception_ptr(DesktopOpenError::folders(unopened)));
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
