#include "Parvik/PlaylistFile.h"
#include "Vessa/App/Playlists/PlaylistDocument.h"
#include "tests/support/ImageFixture.h"

#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace vessa;

namespace {

const QString dataDir = VESSA_DATA_DIR;

// Runs a program to its end; its exit code, with its output in `output`.
int run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return -1;
    if (output)
        *output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The "Desktop Entry" group of a desktop file as key -> value.
QHash<QString, QString> desktopEntry(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QHash<QString, QString> entries;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            entries.insert(line.left(equals), line.mid(equals + 1));
    }
    return entries;
}

} // namespace

class DesktopIntegrationTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_mimeHome;

private slots:
    void initTestCase()
    {
        // The process's MIME database reads our type from a private data
        // folder, next to the system's types.
        QVERIFY(QDir(m_mimeHome.path()).mkpath("mime/packages"));
        QVERIFY(QFile::copy(dataDir + "/vessa-parvik.xml", m_mimeHome.filePath("mime/packages/vessa-parvik.xml")));
        qputenv("XDG_DATA_DIRS", (m_mimeHome.path() + ":/usr/local/share:/usr/share").toUtf8());
    }

    void desktopFileIsValid()
    {
        QString output;
        QCOMPARE(run("desktop-file-validate", {dataDir + "/vessa.desktop"}, &output), 0);
        QVERIFY2(output.trimmed().isEmpty(), qPrintable(output));
    }

    void desktopFileOpensPlaylists()
    {
        const QHash<QString, QString> entry = desktopEntry(dataDir + "/vessa.desktop");
        QCOMPARE(entry.value("Exec"), "vessa %F");
        QCOMPARE(entry.value("Icon"), "vessa");
        QCOMPARE(entry.value("Categories"), "AudioVideo;Audio;Player;");
        const QStringList mimeTypes = entry.value("MimeType").split(';', Qt::SkipEmptyParts);
        for (const QString& type : PlaylistDocument::readableMimeTypes())
            QVERIFY2(mimeTypes.contains(type), qPrintable(type));
        QVERIFY(mimeTypes.contains("audio/mpegurl"));
    }

    void mimeTypeIsValid()
    {
        // The desktop's own tool accepts the package and builds its cache.
        QTemporaryDir database;
        QVERIFY(QDir(database.path()).mkpath("packages"));
        QVERIFY(QFile::copy(dataDir + "/vessa-parvik.xml", database.filePath("packages/vessa-parvik.xml")));
        QString output;
        QCOMPARE(run("update-mime-database", {database.path()}, &output), 0);
        QVERIFY2(!output.contains("rror"), qPrintable(output));
        QVERIFY(QFileInfo(database.filePath("application/x-vessa-parvik.xml")).isFile());
    }

    void playlistFilesAreRecognised()
    {
        const QMimeDatabase database;
        const QMimeType byName = database.mimeTypeForFile("Road Trip.parvik", QMimeDatabase::MatchExtension);
        QCOMPARE(byName.name(), PlaylistDocument::parvikMimeType);
        QCOMPARE(byName.comment(), "Vessa playlist");
        QVERIFY(byName.inherits("text/plain"));

        // A file the program writes is recognised by its first bytes alone.
        const QByteArray bytes = PlaylistFile::serialize(Playlist("Mix", QList<TrackRef>{}));
        QCOMPARE(database.mimeTypeForData(bytes).name(), PlaylistDocument::parvikMimeType);
        QVERIFY(database.mimeTypeForData(QByteArray("#EXTM3U\n")).name() != PlaylistDocument::parvikMimeType);
    }

    void iconLoads()
    {
        const QImage icon(dataDir + "/icons/vessa.svg");
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.size(), QSize(128, 128));
        QVERIFY(test::savesAsPng(icon.scaled(256, 256)));
        QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);           // rounded corners
        QCOMPARE(icon.pixelColor(22, 90), QColor(Qt::white)); // a bar
    }

    void installRules()
    {
        QTemporaryDir prefix;
        QString output;
        QCOMPARE(run(CMAKE_COMMAND, {"--install", VESSA_BINARY_DIR, "--prefix", prefix.path()}, &output), 0);
        for (const char* path : {"bin/vessa", "share/applications/vessa.desktop",
                                 "share/mime/packages/vessa-parvik.xml", "share/icons/hicolor/scalable/apps/vessa.svg"})
            QVERIFY2(QFileInfo(prefix.filePath(path)).isFile(), qPrintable(output));
        QVERIFY(QFileInfo(prefix.filePath("bin/vessa")).isExecutable());
    }
};

QTEST_GUILESS_MAIN(DesktopIntegrationTest)
#include "tst_desktopintegration.moc"
