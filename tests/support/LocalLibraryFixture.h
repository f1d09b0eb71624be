#pragma once

// A music folder, a media database file and a local-file source in a fresh
// temporary folder, with a scriptable fake tag reader and sub-track scanner.
// Tests that include this link RaskoLocalFile and SQLite::SQLite3 (and
// PkgConfig::LIBZIP for archives built with ZipFixture).

#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "tests/support/FailureText.h"
#include "tests/support/FakePlugins.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <memory>
#include <stdexcept>

namespace vessa::test {

class LocalLibraryFixture {
public:
    LocalLibraryFixture()
    {
        QStandardPaths::setTestModeEnabled(true);
        if (!m_dir.isValid() || !QDir().mkpath(music()))
            throw std::runtime_error("cannot make a temporary music folder");
        database = std::make_shared<MediaDatabase>(m_dir.filePath(QStringLiteral("db/media.db")));
        extractor = std::make_shared<FakeMetadataExtractor>();
        scanner = std::make_shared<FakeMultiTrackScanner>(QSet<QString>{QStringLiteral("nsf")});
        plugin = makePlugin(extractor);
    }
    // The database closes before its folder goes, so it is not taken for
    // a file replaced while in use.
    ~LocalLibraryFixture()
    {
        plugin.reset();
        database.reset();
    }

    // A source on this library's database and scanner, indexing "mp3",
    // "flac", "nsf" (through the scanner) and "zip".
    std::shared_ptr<LocalFileSourcePlugin> makePlugin(MetadataExtractorPtr metadataExtractor) const
    {
        return std::make_shared<LocalFileSourcePlugin>(database, std::move(metadataExtractor),
                                                       QList<MultiTrackScannerPtr>{scanner},
                                                       QSet<QString>{"mp3", "flac", "nsf", "zip"});
    }

    // The music folder, without a trailing slash.
    QString music() const { return m_dir.filePath(QStringLiteral("music")); }
    QString path(const QString& relative) const { return music() + u'/' + relative; }

    // Writes `bytes` to the music folder's `relative` path (making folders)
    // and gives it `modified` as its modification time.
    QString write(const QString& relative, const QByteArray& bytes = QByteArrayLiteral("audio"),
                  const QDateTime& modified = defaultTime()) const
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write " + file.toStdString());
        out.close();
        setModified(file, modified);
        return file;
    }

    static QDateTime defaultTime() { return QDateTime::fromMSecsSinceEpoch(1'600'000'000'250, Qt::UTC); }

    static void setModified(const QString& file, const QDateTime& modified)
    {
        const qint64 msecs = modified.toMSecsSinceEpoch();
        const timespec time{msecs / 1000, (msecs % 1000) * 1000000}, times[2] = {time, time};
        if (utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0) != 0)
            throw std::runtime_error("cannot set the time of " + file.toStdString());
    }

    // From now on every row written to the database fails with `message`
    // (set up through a second connection to the file).
    void refuseInserts(const QString& message) const
    {
        sqlite3* db = nullptr;
        const bool opened =
            sqlite3_open(QFile::encodeName(m_dir.filePath("db/media.db")).constData(), &db) == SQLITE_OK;
        const QByteArray sql = "CREATE TRIGGER refuse BEFORE INSERT ON tracks BEGIN SELECT RAISE(ABORT, '"
                               + message.toUtf8().replace("'", "''") + "'); END;";
        const bool created = opened && sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        if (!created)
            throw std::runtime_error("cannot add the trigger");
    }

    QList<ScannedTrack> scan() { return plugin->scanDirectories({music()}); }

    // The paths the extractor was given for files (data locators give "").
    QStringList extractedPaths() const
    {
        QStringList paths;
        for (const FakeMetadataExtractor::ExtractCall& call : extractor->extractCalls())
            paths.append(call.locator.path());
        return paths;
    }

    static QStringList filePaths(const QList<ScannedTrack>& tracks)
    {
        QStringList paths;
        for (const ScannedTrack& track : tracks)
            paths.append(track.fileURL());
        paths.sort();
        return paths;
    }

    std::shared_ptr<MediaDatabase> database;
    std::shared_ptr<FakeMetadataExtractor> extractor;
    std::shared_ptr<FakeMultiTrackScanner> scanner;
    std::shared_ptr<LocalFileSourcePlugin> plugin;

private:
    QTemporaryDir m_dir;
};

} // namespace vessa::test
