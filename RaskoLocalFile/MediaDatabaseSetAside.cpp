#include "RaskoLocalFile/MediaDatabaseSetAside.h"

#include "RaskoLocalFile/MediaDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <filesystem>
#include <system_error>

namespace vessa::MediaDatabaseSetAside {

namespace {

// The database file and the side files SQLite keeps next to it in WAL mode.
constexpr std::array<QLatin1String, 3> fileSuffixes{QLatin1String(""), QLatin1String("-wal"), QLatin1String("-shm")};

bool isTaken(const QString& path)
{
    for (QLatin1String suffix : fileSuffixes) {
        const QFileInfo info(path + suffix);
        if (info.exists() || info.isSymLink())
            return true;
    }
    return false;
}

std::filesystem::path fileSystemPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace

QString Opened::notice() const
{
    if (keptPath.isEmpty() || !refusal)
        return {};
    return QCoreApplication::translate("MediaDatabaseSetAside", "%1.\nIt is kept as %2, and a new media database was "
                                                                "made at %3; the music folders are scanned again.")
        .arg(refusal->description(), keptPath, refusal->path());
}

Opened open(const QString& path, const std::function<void(const Opened&)>& movedAside)
{
    const auto setAside = [path](const MediaDatabaseError& refusal) {
        const bool damaged = refusal.kind() == MediaDatabaseError::Kind::damaged;
        return moveAside(path, damaged ? QStringLiteral("damaged") : QStringLiteral("newer"),
                         QDateTime::currentDateTime());
    };
    try {
        return {std::make_shared<MediaDatabase>(path, setAside), std::nullopt, QString()};
    } catch (const MediaDatabaseError& error) {
        if (error.kind() != MediaDatabaseError::Kind::damaged && error.kind() != MediaDatabaseError::Kind::newerVersion)
            throw;
        // The refused connection is closed by now, so the files can move.
        Opened opened{nullptr, error, setAside(error)};
        if (movedAside)
            movedAside(opened);
        opened.database = std::make_shared<MediaDatabase>(path);
        return opened;
    }
}

QString moveAside(const QString& path, const QString& word, const QDateTime& now)
{
    const QString stem = path + u'.' + word + u'-' + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept = stem;
    for (int counter = 2; isTaken(kept); ++counter)
        kept = stem + u'-' + QString::number(counter);

    QStringList moved;
    for (QLatin1String suffix : fileSuffixes) {
        const QFileInfo from(path + suffix);
        if (!suffix.isEmpty() && !from.exists() && !from.isSymLink())
            continue;
        std::error_code error;
        std::filesystem::rename(fileSystemPath(path + suffix), fileSystemPath(kept + suffix), error);
        if (error) {
            for (const QString& done : moved) {
                std::error_code ignored;
                std::filesystem::rename(fileSystemPath(kept + done), fileSystemPath(path + done), ignored);
            }
            throw MediaDatabaseError::cannotOpen(
                path, QCoreApplication::translate("MediaDatabaseError", "Cannot move it aside to %1: %2")
                          .arg(kept + suffix, QString::fromStdString(error.message())));
        }
        moved.append(suffix);
    }
    return kept;
}

} // namespace vessa::MediaDatabaseSetAside
