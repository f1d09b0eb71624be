#include "Rasko/DirectFileSource.h"
#include "Rasko/FileHint.h"
#include "Rasko/ScannedTrack.h"
#include "Rasko/TrackResolver.h"
#include "tests/support/FakePlugins.h"
#include "tests/support/LogCapture.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vessa;
using namespace vessa::test;
using namespace Qt::StringLiterals;

namespace {

// An extracting decoder that answers its own name as the title.
template <typename Decoder = FakeExtractingDecoderPlugin>
std::shared_ptr<Decoder> tagging(const char* name, const QSet<QString>& extensions)
{
    auto decoder = std::make_shared<Decoder>(QString::fromLatin1(name), extensions);
    decoder->setMetadata(TrackMetadata{.title = decoder->name()});
    return decoder;
}

const TrackRef libraryRef(QStringLiteral("vez:track:The%20Band:Album:Song:215"));
const SourceLocator libraryFile = SourceLocator::fileURL(QStringLiteral("/library/song.flac"));

// The application's decoders in its order (the last registered later), one
// that reads no tags, a library source, and a resolver with its own extractor.
struct Fixture {
    std::shared_ptr<FakeMultiTrackDecoderPlugin> chip = tagging<FakeMultiTrackDecoderPlugin>("GameMusicEmu", {"nsf"});
    std::shared_ptr<FakeExtractingDecoderPlugin> tracker = tagging("Mikmod", {"xm", "669"});
    std::shared_ptr<FakeExtractingDecoderPlugin> platform = tagging("CoreAudio", {"mp3", "flac"});
    DecoderPluginPtr plain = std::make_shared<FakeDecoderPlugin>(QStringLiteral("Plain"), QSet<QString>{"mp3", "ogg"});
    std::shared_ptr<FakeSourcePlugin> source = std::make_shared<FakeSourcePlugin>(QStringLiteral("LocalFile"));
    PluginRegistryPtr registry =
        std::make_shared<PluginRegistry>(QList<SourcePluginPtr>{source}, QList<DecoderPluginPtr>{chip, tracker});
    std::shared_ptr<FakeMetadataExtractor> extractor = std::make_shared<FakeMetadataExtractor>();
    TrackResolver resolver{registry, extractor};

    Fixture()
    {
        registry->registerDecoder(platform);
        registry->registerDecoder(plain);
        source->addTrack(libraryRef, SourceResult(libraryFile, "flac"));
    }
};

} // namespace

class PluginFrameworkTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

private slots:
    // A library entry packs its texts into one block: each comes back as it
    // went in, a file name that is not UTF-8 too, and absent numbers stay
    // apart from zero.
    void scannedTrackKeepsWhatItWasGiven_data()
    {
        QTest::addColumn<QStringList>("texts"); // title, artist, album, file URL
        QTest::addColumn<std::optional<qint64>>("number");
        QTest::newRow("plain") << QStringList{"Song", "Band", "Album", "/m/a.mp3"} << std::optional<qint64>(3);
        QTest::newRow("all empty, numbers absent") << QStringList{"", "", "", ""} << std::optional<qint64>();
        QTest::newRow("zero is a number") << QStringList{"", "Band", "", "/m/b.mp3"} << std::optional<qint64>(0);
        QTest::newRow("not ASCII") << QStringList{"Café 🎵", "Ωmega", "", "/m/é/x.zip::CD 1/01.mp3"}
                                   << std::optional<qint64>(-1);
        QTest::newRow("a file name that is not UTF-8")
            << QStringList{"t", "a", "b", u"/m/Caf\xDCE9.mp3"_s} << std::optional<qint64>(1);
        QTest::newRow("long") << QStringList{QString(70'000, u'x'), "a", QString(300, u'é'), "/m/c.mp3"}
                              << std::optional<qint64>(9'000'000'000);
    }
    void scannedTrackKeepsWhatItWasGiven()
    {
        QFETCH(QStringList, texts);
        QFETCH(std::optional<qint64>, number);
        const TrackRef ref(texts[1], texts[2], texts[0]);
        const std::optional<double> duration = number ? std::optional<double>(*number / 2.0) : std::nullopt;
        const ScannedTrack track(ref, texts[0], texts[1], texts[2], duration, number, number, texts[3]);
        QCOMPARE(QStringList({track.title(), track.artist(), track.album(), track.fileURL()}), texts);
        QCOMPARE(track.ref(), ref);
        QCOMPARE(track.duration(), duration);
        QCOMPARE(track.trackNumber(), number);
        QCOMPARE(track.discNumber(), number);
        QCOMPARE(ScannedTrack(track), track);
        QVERIFY(!(ScannedTrack(ref, texts[0], texts[1], texts[2], duration, number, number, texts[3] + u'x') == track));
        QVERIFY(!(ScannedTrack(ref, texts[0], texts[1], texts[2], duration, std::nullopt, number, texts[3]) == track)
                || !number);
    }

    void registryAndComposite()
    {
        const Fixture fixture;
        PluginRegistry& registry = *fixture.registry;
        // The first registered decoder that accepts the extension, whatever its letter case.
        for (const auto& [ext, name] : {std::pair{"nsf", "GameMusicEmu"},
                                        {"NSF", "GameMusicEmu"},
                                        {"669", "Mikmod"},
                                        {"mp3", "CoreAudio"},
                                        {"Ogg", "Plain"},
                                        {"nsfx", ""},
                                        {".mp3", ""},
                                        {"", ""}}) {
            const DecoderPluginPtr decoder = registry.decoder(ext);
            QCOMPARE(decoder ? decoder->name() : QString(), QString::fromLatin1(name));
        }
        const TrackRef other(QStringLiteral("vez:track:a:b:other"));
        QVERIFY(!registry.source(other));
        auto everything = std::make_shared<FakeSourcePlugin>();
        everything->setHandlesEverything(true);
        registry.registerSource(everything);
        QCOMPARE(registry.source(libraryRef), SourcePluginPtr(fixture.source));
        QCOMPARE(registry.source(other), SourcePluginPtr(everything));

        QCOMPARE(registry.multiTrackScanners(), QList<MultiTrackScannerPtr>{fixture.chip});
        QCOMPARE(registry.allSupportedExtensions(), (QSet<QString>{"nsf", "xm", "669", "mp3", "flac", "ogg"}));
        const PluginRegistry empty({}, {});
        QVERIFY(empty.allSupportedExtensions().isEmpty());
        QCOMPARE(empty.buildCompositeMetadataExtractor()->extract(libraryFile, 1), TrackMetadata());

        // The composite chooses among all extracting decoders but the last, which is the fallback.
        const CompositeMetadataExtractorPtr before = registry.buildCompositeMetadataExtractor();
        for (const auto& [path, name] : {std::pair{"/a.nsf", "GameMusicEmu"},
                                         {"/A.NSF", "GameMusicEmu"},
                                         {"/c.Xm", "Mikmod"},
                                         {"/e.ogg", "CoreAudio"},
                                         {"/m.nsf/README", "CoreAudio"}})
            QCOMPARE(before->extract(SourceLocator::fileURL(path), 1).title, QString::fromLatin1(name));
        QCOMPARE(before->extract(SourceLocator::data("NESM"), 1).title, QStringLiteral("CoreAudio"));
        // It passes the chosen extractor's error on, and ignores later registrations.
        fixture.chip->failExtractions(QStringLiteral("corrupt chip file"));
        QVERIFY_THROWS_EXCEPTION(FakePluginError, before->extract(SourceLocator::fileURL("/a.nsf"), std::nullopt));
        QCOMPARE(fixture.platform->extractCalls().size(), 3); // the three routed above
        registry.registerDecoder(tagging("Late", {"ogg"}));
        const SourceLocator ogg = SourceLocator::fileURL("/m/a.ogg");
        QCOMPARE(before->extract(ogg, 1).title, QStringLiteral("CoreAudio"));
        QCOMPARE(registry.buildCompositeMetadataExtractor()->extract(ogg, 1).title, QStringLiteral("Late"));
    }

    void fileHints_data()
    {
        // "@" is the temporary folder, the playlist's folder is @/p. `path` is the file the hint leads
        // to; without one the track falls back to the library after the debug line `message`.
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("withPlaylist");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("absolute %20") << "file://@/My%20Song.mp3" << false << "@/My Song.mp3"
                                      << "";
        QTest::newRow("absolute doubled slash") << "file:///@/My Song.mp3?a#2" << true << "@/My Song.mp3"
                                                << "";
        QTest::newRow("relative") << "file://sub/c.flac" << true << "@/p/sub/c.flac"
                                  << "";
        QTest::newRow("relative %20") << "file://Sub%20Dir/d.flac" << true << "@/p/Sub Dir/d.flac"
                                      << "";
        QTest::newRow("relative bad escape kept") << "file://100%/a.mp3" << true << "@/p/100%/a.mp3"
                                                  << "";
        QTest::newRow("relative non-UTF-8 kept") << "file://%FF.mp3" << true << "@/p/%FF.mp3"
                                                 << "";
        QTest::newRow("bare") << "sub/c.flac" << true << "@/p/sub/c.flac"
                              << "";
        QTest::newRow("bare not decoded") << "Sub%20Dir/e.flac" << true << "@/p/Sub%20Dir/e.flac"
                                          << "";
        QTest::newRow("bare joined as written") << "/m/x.mp3" << true << "@/p//m/x.mp3"
                                                << "";
        QTest::newRow("upper-case extension") << "X.MP3" << true << "@/p/X.MP3"
                                              << "";
        QTest::newRow("missing") << "file://@/no.mp3" << true << ""
                                 << "File hint target does not exist: @/no.mp3";
        QTest::newRow("no playlist") << "sub/c.flac" << false << ""
                                     << "File hint is relative but no playlist URL provided: sub/c.flac";
        QTest::newRow("unknown extension") << "file://x.wma" << true << ""
                                           << "No decoder for file hint extension: wma";
        QTest::newRow("folder") << "file://sub" << true << ""
                                << "No decoder for file hint extension: ";
        QTest::newRow("NUL") << "file://@/%00.mp3" << true << ""
                             << "File hint is not a valid URL: file://@/%00.mp3";
    }

    void fileHints()
    {
        const auto place = [&](QString text) { return text.replace(u'@', m_folder.path()); };
        for (const char* name : {"My Song.mp3", "p/sub/c.flac", "p/Sub Dir/d.flac", "p/Sub%20Dir/e.flac",
                                 "p/100%/a.mp3", "p/%FF.mp3", "p/m/x.mp3", "p/X.MP3", "p/x.wma"}) {
            QVERIFY(QDir(m_folder.path()).mkpath(QFileInfo(m_folder.filePath(name)).path()));
            QVERIFY(QFile(m_folder.filePath(name)).open(QIODevice::WriteOnly));
        }
        QFETCH(QString, hint);
        QFETCH(bool, withPlaylist);
        QFETCH(QString, path);
        QFETCH(QString, message);
        hint = place(hint);
        const auto playlist = withPlaylist ? std::optional(m_folder.filePath("p/p.parvik")) : std::nullopt;
        const Fixture fixture;
        LogCapture log;

        const ResolvedTrack track = fixture.resolver.resolveForPlayback(libraryRef, hint, playlist);

        QCOMPARE(track.metadata, TrackMetadata());
        QCOMPARE(track.decoder, DecoderPluginPtr(fixture.platform));
        QCOMPARE(track.source, path.isEmpty() ? SourcePluginPtr(fixture.source) : DirectFileSource::shared());
        QCOMPARE(track.locator, path.isEmpty() ? libraryFile : SourceLocator::fileURL(place(path)));
        QCOMPARE(track.fileExtension, path.isEmpty() ? "flac" : QFileInfo(path).suffix().toLower());
        const QString uri = libraryRef.uri();
        QStringList expectedLog{"Resolving for playback: " + uri, place(message),
                                path.isEmpty() ? "Resolved: " + uri + " → LocalFile/CoreAudio"
                                               : "Resolved via file hint: " + uri + " → " + hint};
        expectedLog.removeAll(QString());
        QCOMPARE(log.messages(QStringLiteral("com.tornwick.rasko.resolve")), expectedLog);
        // For a track the library does not know either, the source's own error is raised.
        fixture.source->setHandlesEverything(true);
        const TrackRef unknown(QStringLiteral("vez:track:Nobody::Lost"));
        if (path.isEmpty())
            QVERIFY_THROWS_EXCEPTION(FakePluginError, fixture.resolver.resolveForPlayback(unknown, hint, playlist));
    }

    void resolverErrors_data()
    {
        QTest::addColumn<QString>("sourceExtension"); // "-": no source at all
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("logLine");
        const QString uri = libraryRef.uri();
        QTest::newRow("no source") << "-"
                                   << "No source plugin can handle " + uri << "No source plugin for: " + uri;
        QTest::newRow("no decoder") << "wma"
                                    << "No decoder plugin for " + uri + " (extension: wma)"
                                    << "No decoder for " + uri + " (ext: wma)";
    }

    void resolverErrors()
    {
        QFETCH(QString, sourceExtension);
        const Fixture fixture;
        fixture.source->addTrack(libraryRef, SourceResult(libraryFile, sourceExtension));
        const auto sourceless = std::make_shared<PluginRegistry>(QList<SourcePluginPtr>(), QList<DecoderPluginPtr>());
        const TrackResolver resolver(sourceExtension == "-" ? sourceless : fixture.registry, fixture.extractor);
        LogCapture log;
        // Both resolutions fail alike; only the play-time one logs, the failure as an error.
        for (const bool playback : {false, true}) {
            try {
                playback ? resolver.resolveForPlayback(libraryRef) : resolver.resolve(libraryRef);
                QFAIL("resolved");
            } catch (const TrackResolverError& error) {
                QTEST(error.description(), "description");
            }
            QCOMPARE(log.entries().size(), playback ? 2 : 0);
        }
        QTEST(log.entries().at(1).message, "logLine");
        QCOMPARE(log.entries().at(1).type, QtCriticalMsg);
        // The decoder is looked up before any tag is read.
        QVERIFY(fixture.extractor->extractCalls().isEmpty());
    }

    void tagsAreReadOnlyByResolve()
    {
        const Fixture fixture;
        const TrackRef subTrack(QStringLiteral("vez:track:a:b:c#2"));
        fixture.source->addTrack(subTrack, SourceResult(SourceLocator::data("NESM"), "NSF"));
        fixture.extractor->setMetadata(TrackMetadata{.title = QStringLiteral("Tagged")});
        const ResolvedTrack tagged = fixture.resolver.resolve(subTrack);
        QCOMPARE(tagged.metadata.title, QStringLiteral("Tagged"));
        QCOMPARE(tagged.decoder, DecoderPluginPtr(fixture.chip));
        QCOMPARE(fixture.extractor->extractCalls().at(0).subTrackIndex, std::optional<qint64>(2));
        QCOMPARE(fixture.resolver.loadMetadata(libraryFile, 5).title, QStringLiteral("Tagged"));
        QCOMPARE(TrackResolver(fixture.registry, nullptr).loadMetadata(libraryFile, 5), TrackMetadata());

        // A failing extractor fails the full resolution, not the play-time one.
        fixture.extractor->failExtractions(QStringLiteral("tags unreadable"));
        QVERIFY_THROWS_EXCEPTION(FakePluginError, fixture.resolver.resolve(libraryRef));
        QCOMPARE(fixture.resolver.resolveForPlayback(libraryRef).metadata, TrackMetadata());
        QCOMPARE(fixture.extractor->extractCalls().size(), 3);

        // Hints are written percent-encoded, ';' included, and read back alike.
        QCOMPARE(FileHint::encode("/My Song;1?#%.mp3"), QStringLiteral("file:///My%20Song%3B1%3F%23%25.mp3"));
        QCOMPARE(FileHint::resolve(FileHint::encode("ü b;#%"), "/p.m3u"), QStringLiteral("/ü b;#%"));
    }

    void hintsFollowACopiedPlaylist_data()
    {
        // Copies into other folders are shown with real files by the document tests.
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("from"); // "" for none
        QTest::addColumn<QString>("to");   // "" for none
        QTest::addColumn<QString>("expected");
        const QString from = u"/u/l/m.m3u"_s;
        QTest::newRow("bare") << u"a b.flac"_s << from << u"/u/v/m.parvik"_s << u"file://../l/a%20b.flac"_s;
        QTest::newRow("same folder") << u"a b.flac"_s << from << u"/u/l/./o.parvik"_s << u"a b.flac"_s;
        QTest::newRow("absolute") << u"file:///s/a.flac"_s << from << QString() << u"file:///s/a.flac"_s;
        QTest::newRow("never saved") << u"file://a.flac"_s << QString() << u"/u/m.parvik"_s << u"file://a.flac"_s;
        QTest::newRow("the head alone") << u"file://"_s << from << QString() << u"file://"_s;
    }

    void hintsFollowACopiedPlaylist()
    {
        QFETCH(QString, hint);
        QFETCH(QString, from);
        QFETCH(QString, to);
        const auto given = [](const QString& path) { return path.isEmpty() ? std::nullopt : std::optional(path); };
        QTEST(FileHint::rebase(hint, given(from), given(to)), "expected");
    }
};

QTEST_GUILESS_MAIN(PluginFrameworkTest)

#include "tst_pluginframework.moc"
