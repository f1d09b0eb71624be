#include "Vessa/App/NowPlaying/NowPlayingArtwork.h"

#include "Vessa/App/AppLogging.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSaveFile>
#include <QUrl>

#include <cerrno>
#include <signal.h>

namespace vessa {

namespace {

const QString folderPrefix = QStringLiteral("nowplaying-");

// Writes the bytes as PNG to `path` unless it is there already; nothing when
// they are no image or the file cannot be written.
std::optional<QString> writePng(const QByteArray& bytes, const QString& path)
{
    if (QFile::exists(path))
        return path;
    QImage image;
    if (!image.loadFromData(bytes))
        return std::nullopt;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        logError(lcNowPlaying(), QStringLiteral("Failed to write artwork %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    return path;
}

bool processIsGone(qint64 pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

NowPlayingArtwork::NowPlayingArtwork(const QString& cacheFolder, QObject* parent)
    : QObject(parent),
      m_folder(QDir(cacheFolder).filePath(folderPrefix + QString::number(QCoreApplication::applicationPid())))
{
    removeFolderOfGoneProcesses(cacheFolder);
}

NowPlayingArtwork::~NowPlayingArtwork()
{
    // Joins the workers first: one still writing would make the folder again.
    m_worker.reset();
    QDir(m_folder).removeRecursively();
}

void NowPlayingArtwork::show(const QByteArray& bytes)
{
    if (bytes == m_bytes)
        return;
    m_bytes = bytes;
    setPath(std::nullopt);
    m_wantedPath.reset();
    if (bytes.isEmpty()) {
        m_worker->supersede();
        return;
    }
    const QString name = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
    m_wantedPath = QDir(m_folder).filePath(name + QStringLiteral(".png"));
    m_worker->start([bytes, path = *m_wantedPath](std::stop_token) { return writePng(bytes, path); },
                    [this](std::optional<QString> written, std::exception_ptr) { setPath(std::move(written)); }, {},
                    [this](std::optional<QString> written) { discard(written); });
}

std::optional<QString> NowPlayingArtwork::url() const
{
    if (!m_path)
        return std::nullopt;
    return QUrl::fromLocalFile(*m_path).toString();
}

void NowPlayingArtwork::discard(const std::optional<QString>& path)
{
    // Newer bytes came meanwhile; their file may be this very one.
    if (path && path != m_wantedPath && path != m_path)
        QFile::remove(*path);
}

void NowPlayingArtwork::setPath(std::optional<QString> path)
{
    if (path == m_path)
        return;
    if (m_path)
        QFile::remove(*m_path);
    m_path = std::move(path);
    emit urlChanged();
}

void NowPlayingArtwork::removeFolderOfGoneProcesses(const QString& cacheFolder) const
{
    const QStringList names =
        QDir(cacheFolder).entryList(QStringList{folderPrefix + QStringLiteral("*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool isNumber = false;
        const qint64 pid = name.mid(folderPrefix.size()).toLongLong(&isNumber);
        if (isNumber && processIsGone(pid))
            QDir(QDir(cacheFolder).filePath(name)).removeRecursively();
    }
}

} // namespace vessa
