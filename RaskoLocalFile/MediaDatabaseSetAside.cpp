#include "RaskoLocalFile/MediaDatabaseSetAside.h"

#include "RaskoLocalFile/FileIdentity.h"
#include "RaskoLocalFile/MediaDatabase.h"

#include <QCoreApplication>
#include <QFile>

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

namespace vessa::MediaDatabaseSetAside {

namespace {

// The database file and the side files SQLite keeps next to it in WAL mode.
constexpr std::array<QLatin1String, 3> fileSuffixes{QLatin1String(""), QLatin1String("-wal"), QLatin1String("-shm")};
constexpr std::array<QLatin1String, 3> sideFilesFirst{QLatin1String("-wal"), QLatin1String("-shm"), QLatin1String("")};

std::optional<FileIdentity> identityOf(const QString& path)
{
    return FileIdentity::withoutFollowingLinks(path);
}

bool isTaken(const QString& path)
{
    for (QLatin1String suffix : fileSuffixes) {
        if (identityOf(path + suffix))
            return true;
    }
    return false;
}

// Whether a failed link means the file system has none.
bool hasNoLinks(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS || error == EMLINK;
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

Opened open(const QString& path, const std::function<void(const Opened&)>& decided)
{
    const auto setAside = [path, decided](const MediaDatabaseError& refusal) {
        const bool damaged = refusal.kind() == MediaDatabaseError::Kind::damaged;
        const QString kept =
            keptName(path, damaged ? QStringLiteral("damaged") : QStringLiteral("newer"), QDateTime::currentDateTime());
        if (decided)
            decided(Opened{nullptr, refusal, kept, identityOf(path)});
        moveAside(path, kept);
        return kept;
    };
    try {
        return {std::make_shared<MediaDatabase>(path, setAside), std::nullopt, QString(), std::nullopt};
    } catch (const MediaDatabaseError& error) {
        if (error.kind() != MediaDatabaseError::Kind::damaged && error.kind() != MediaDatabaseError::Kind::newerVersion)
            throw;
        // The refused connection is closed by now, so the files can move;
        // which file moves is taken before it does.
        const std::optional<FileIdentity> file = identityOf(path);
        Opened opened{nullptr, error, setAside(error), file};
        opened.database = std::make_shared<MediaDatabase>(path);
        return opened;
    }
}

QString keptName(const QString& path, const QString& word, const QDateTime& now)
{
    const QString stem = path + u'.' + word + u'-' + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept = stem;
    for (int counter = 2; isTaken(kept); ++counter)
        kept = stem + u'-' + QString::number(counter);
    return kept;
}

void moveAside(const QString& path, const QString& kept, int steps)
{
    const auto fail = [&](const QString& to) {
        throw MediaDatabaseError::cannotOpen(
            path, QCoreApplication::translate("MediaDatabaseError", "Cannot move it aside to %1: %2")
                      .arg(to, QString::fromLocal8Bit(std::strerror(errno))));
    };
    // Until the database itself has its new name, the move has not passed
    // the point where the old names can go.
    if (!identityOf(kept)) {
        if (!identityOf(path))
            return;
        for (QLatin1String suffix : sideFilesFirst) {
            const QByteArray from = QFile::encodeName(path + suffix);
            const QByteArray to = QFile::encodeName(kept + suffix);
            if (!identityOf(path + suffix) || identityOf(kept + suffix))
                continue;
            if (steps-- <= 0)
                return;
            if (::link(from.constData(), to.constData()) != 0
                && (!hasNoLinks(errno) || ::rename(from.constData(), to.constData()) != 0))
                fail(kept + suffix);
        }
    }
    // Each old name that is still a link to the kept file goes; anything
    // else there (a new database) is not the kept file's.
    for (QLatin1String suffix : fileSuffixes) {
        const std::optional<FileIdentity> old = identityOf(path + suffix);
        if (!old || old != identityOf(kept + suffix))
            continue;
        if (steps-- <= 0)
            return;
        if (::unlink(QFile::encodeName(path + suffix).constData()) != 0)
            fail(kept + suffix);
    }
}

QStringList storedForm(const Opened& decided)
{
    QStringList stored{decided.keptPath};
    if (decided.file)
        stored << QString::number(decided.file->device) << QString::number(decided.file->inode);
    return stored;
}

bool finishCutOff(const QString& path, const QStringList& stored)
{
    if (stored.size() != 1 && stored.size() != 3)
        return false;
    const QString& kept = stored.constFirst();
    if (kept.size() <= path.size() + 1 || !kept.startsWith(path + u'.') || kept.indexOf(u'/', path.size()) >= 0)
        return false;
    std::optional<FileIdentity> decided;
    if (stored.size() == 3) {
        bool deviceRead = false;
        bool inodeRead = false;
        decided = FileIdentity{stored.at(1).toULongLong(&deviceRead), stored.at(2).toULongLong(&inodeRead)};
        if (!deviceRead || !inodeRead)
            return false;
    } else {
        decided = identityOf(kept);
    }
    if (decided && (identityOf(path) == decided || identityOf(kept) == decided)) {
        moveAside(path, kept);
        return identityOf(kept) == decided;
    }
    // The file stays: side files linked under the kept name before the
    // database was are only second names of its own.
    for (QLatin1String suffix : {QLatin1String("-wal"), QLatin1String("-shm")}) {
        const std::optional<FileIdentity> extra = identityOf(kept + suffix);
        if (extra && extra == identityOf(path + suffix))
            ::unlink(QFile::encodeName(kept + suffix).constData());
    }
    return false;
}

} // namespace vessa::MediaDatabaseSetAside
