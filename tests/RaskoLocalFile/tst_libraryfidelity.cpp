// The library with the real FFmpeg tag reader and decoder: what a scan lists
// for archive members, files without audio and file names that are not
// UTF-8, and that what it lists plays.
#include "Rasko/PluginRegistry.h"
#include "Rasko/TrackResolver.h"
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "VessaCore/FileNameBytes.h"
#include "tests/support/FfmpegTool.h"
#include "tests/support/LocalLibraryFixture.h"
#include "tests/support/WavFixture.h"
#include "tests/support/ZipFixture.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

using namespace vessa;
using vessa::test::LocalLibraryFixture;
using vessa::test::ZipFixture;
using Batch = DirectoryWatcher::EventBatch;

namespace {

// The real tag reader, counting the files it is asked about.
struct CountingExtractor : MetadataExtractor {
    explicit CountingExtractor(MetadataExtractorPtr inner) : inner(std::move(inner)) {}
    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) override
    {
        ++calls;
        return inner->extract(locator, subTrackIndex);
    }
    MetadataExtractorPtr inner;
    std::atomic<int> calls{0};
};

// The library's source with the FFmpeg plug-in as tag reader and decoder,
// and a resolver that plays what it lists.
struct RealLibrary {
    RealLibrary()
        : decoder(std::make_shared<CoreAudioDecoderPlugin>(8192)),
          extractor(std::make_shared<CountingExtractor>(decoder)),
          plugin(std::make_shared<LocalFileSourcePlugin>(files.database, extractor, QList<MultiTrackScannerPtr>{},
                                                         decoder->supportedExtensions() + QSet<QString>{"zip"})),
          resolver(std::make_shared<PluginRegistry>(QList<SourcePluginPtr>{plugin}, QList<DecoderPluginPtr>{decoder}),
                   decoder)
    {
    }

    QList<ScannedTrack> scan() { return plugin->scanDirectories({files.music()}); }

    // Resolves the track, opens it and decodes it to its end; the frames.
    qint64 play(const ScannedTrack& track, ResolvedTrack* resolved = nullptr) const
    {
        ResolvedTrack found = resolver.resolve(track.ref());
        AudioStream stream = found.decoder->open(found.locator, found.ref.subTrackIndex(), DecoderHints());
        qint64 frames = 0;
        std::stop_source stop;
        while (std::optional<PCMBuffer> buffer = stream.buffers->next(stop.get_token()))
            frames += buffer->frameCount();
        if (resolved)
            *resolved = std::move(found);
        return frames;
    }

    LocalLibraryFixture files;
    std::shared_ptr<CoreAudioDecoderPlugin> decoder;
    std::shared_ptr<CountingExtractor> extractor;
    std::shared_ptr<LocalFileSourcePlugin> plugin;
    TrackResolver resolver;
};

const ScannedTrack* titled(const QList<ScannedTrack>& tracks, const QString& title)
{
    for (const ScannedTrack& track : tracks) {
        if (track.title() == title)
            return &track;
    }
    return nullptr;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes a file under its raw name bytes, with the fixture's usual date.
bool writeRaw(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    ::close(fd);
    const qint64 msecs = LocalLibraryFixture::defaultTime().toMSecsSinceEpoch();
    const timespec time{msecs / 1000, (msecs % 1000) * 1000000}, times[2] = {time, time};
    return written && utimensat(AT_FDCWD, path.constData(), times, 0) == 0;
}

} // namespace

class TestLibraryFidelity : public QObject {
    Q_OBJECT

    QString fixture(const QString& name) const { return m_fixtures.filePath(name); }

    QTemporaryDir m_fixtures;

private slots:
    void initTestCase()
    {
        QVERIFY(m_fixtures.isValid());
        const QStringList sine{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=1.5", "-ac", "2"};
        const QList<QStringList> commands{
            {"-f", "lavfi", "-i", "color=c=red:s=16x16", "-frames:v", "1", fixture("cover.png")},
            QStringList{"-f",
                        "lavfi",
                        "-i",
                        "sine=frequency=440:sample_rate=44100:duration=1.5",
                        "-i",
                        fixture("cover.png"),
                        "-map",
                        "0",
                        "-map",
                        "1",
                        "-ac",
                        "2",
                        "-c:a",
                        "flac",
                        "-c:v",
                        "copy",
                        "-disposition:v",
                        "attached_pic",
                        "-metadata:s:v",
                        "comment=Cover (front)",
                        "-metadata",
                        "title=Opening",
                        "-metadata",
                        "artist=Band",
                        "-metadata",
                        "album=Record",
                        "-metadata",
                        "track=1/2",
                        "-metadata",
                        "disc=1/1",
                        fixture("tagged.flac")},
            sine
                + QStringList{"-c:a", "libmp3lame", "-metadata", "artist=Band", "-metadata", "album=Record",
                              "-metadata", "track=2/2", fixture("untitled.mp3")},
            sine + QStringList{"-c:a", "libmp3lame", "-map_metadata", "-1", fixture("plain.mp3")}};
        for (const QStringList& arguments : commands) {
            const QString failure = test::runFfmpeg(arguments);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
    }

    // A zipped album lists its members' own tags and lengths; a member without
    // a title is named after itself. Playing a member gives its sound and its
    // cover. A rescan opens the archive again only once its date or size changes.
    void zippedAlbumKeepsItsTags()
    {
        RealLibrary library;
        const QString archive = library.files.path("Band/Record.zip");
        QVERIFY(QDir().mkpath(library.files.path("Band")));
        ZipFixture()
            .addFile("Record/01 Opening.flac", readFile(fixture("tagged.flac")))
            .addFile("Record/02 Bonus Track.mp3", readFile(fixture("untitled.mp3")), ZipFixture::Compression::stored)
            .write(archive);
        LocalLibraryFixture::setModified(archive, LocalLibraryFixture::defaultTime());

        const QList<ScannedTrack> tracks = library.scan();
        QCOMPARE(tracks.size(), 2);
        const ScannedTrack* opening = titled(tracks, "Opening");
        const ScannedTrack* bonus = titled(tracks, "02 Bonus Track");
        QVERIFY(opening && bonus);
        QCOMPARE(*opening, ScannedTrack(TrackRef("Band", "Record", "Opening", 1), "Opening", "Band", "Record", 1.0, 1,
                                        1, archive + "::Record/01 Opening.flac"));
        QCOMPARE(*bonus, ScannedTrack(TrackRef("Band", "Record", "02 Bonus Track", 1), "02 Bonus Track", "Band",
                                      "Record", 1.0, 2, std::nullopt, archive + "::Record/02 Bonus Track.mp3"));

        ResolvedTrack played(TrackRef(), {}, {}, {}, SourceLocator::data({}), {});
        QCOMPARE(library.play(*opening, &played), 66150);
        QVERIFY(played.locator.isData());
        QCOMPARE(played.metadata.title, "Opening");
        QCOMPARE(played.metadata.artworkData, readFile(fixture("cover.png")));
        QVERIFY(library.play(*bonus) > 60000);

        // Unchanged date and size: the archive is not opened (its bytes no longer are one).
        const int calls = library.extractor->calls;
        library.files.write("Band/Record.zip", QByteArray(QFileInfo(archive).size(), 'x'));
        QCOMPARE(library.scan(), tracks);
        QCOMPARE(library.extractor->calls, calls);
        // A new date: opened, found unreadable, its members go.
        LocalLibraryFixture::setModified(archive, LocalLibraryFixture::defaultTime().addSecs(1));
        QVERIFY(library.scan().isEmpty());
    }

    // A WAV whose header claims 4 GiB of samples but that holds none plays
    // nothing, so it is not listed; a sound file beside it is.
    void fileWithoutAudioIsSkipped()
    {
        RealLibrary library;
        QByteArray lying = test::WavFixture({44100, 2, 0}).bytes();
        lying.replace(4, 4, QByteArray(4, '\xff'));
        lying.replace(40, 4, QByteArray(4, '\xff'));
        library.files.write("Broken.wav", lying);
        const QString plain = library.files.write("plain.mp3", readFile(fixture("plain.mp3")));
        QCOMPARE(LocalLibraryFixture::filePaths(library.scan()), QStringList{plain});
    }

    // File names that are not UTF-8 are listed under their exact bytes, titled
    // by their Latin-1 reading, played, not read again by a rescan, and gone
    // once deleted, by a rescan or by a file event.
    void namesThatAreNotUtf8()
    {
        RealLibrary library;
        const QByteArray folder = QFile::encodeName(library.files.music()) + "/Old Rips";
        QVERIFY(QDir().mkpath(library.files.path("Old Rips")));
        const QByteArray raw[] = {folder + "/\xff\xfe-bad.mp3", folder + "/Caf\xe9.mp3"};
        const QByteArray sound = readFile(fixture("plain.mp3"));
        for (const QByteArray& path : raw)
            QVERIFY(writeRaw(path, sound));

        const QList<ScannedTrack> tracks = library.scan();
        QCOMPARE(library.extractor->calls, 2);
        QCOMPARE(tracks.size(), 2);
        const ScannedTrack* bad = titled(tracks, QStringLiteral("ÿþ-bad"));
        const ScannedTrack* cafe = titled(tracks, QStringLiteral("Café"));
        QVERIFY(bad && cafe);
        QCOMPARE(pathToBytes(bad->fileURL()), raw[0]);
        QCOMPARE(pathToBytes(cafe->fileURL()), raw[1]);
        QCOMPARE(bad->duration(), 1.0);

        ResolvedTrack played(TrackRef(), {}, {}, {}, SourceLocator::data({}), {});
        QVERIFY(library.play(*cafe, &played) > 60000);
        QCOMPARE(pathToBytes(played.locator.path()), raw[1]);
        QVERIFY(library.play(*bad) > 60000);

        QCOMPARE(library.scan(), tracks);
        QCOMPARE(library.extractor->calls, 2);

        QCOMPARE(::unlink(raw[0].constData()), 0);
        QCOMPARE(library.scan().size(), 1);
        QCOMPARE(library.extractor->calls, 2);

        // The watcher reports the same texts for the events of such files.
        QCOMPARE(::unlink(raw[1].constData()), 0);
        QVERIFY(library.plugin->handleFileEvents(Batch{{}, {cafe->fileURL()}, false}).isEmpty());
        QVERIFY(writeRaw(raw[1], sound));
        QCOMPARE(library.plugin->handleFileEvents(Batch{{cafe->fileURL()}, {}, false}), QList<ScannedTrack>{*cafe});
    }
};

QTEST_GUILESS_MAIN(TestLibraryFidelity)
#include "tst_libraryfidelity.moc"
