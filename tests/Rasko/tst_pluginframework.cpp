#include "Rasko/DirectFileSource.h"
#include "Rasko/FileHint.h"
#include "Rasko/TrackResolver.h"
#include "tests/support/FakePlugins.h"
#include "tests/support/LogCapture.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vessa;
using namespace vessa::test;

Q_DECLARE_METATYPE(SourceLocator)

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
    PluginRegistryPtr registry = std::make_shared<PluginRegistry>(QList<SourcePluginPtr>{source},
                                                                  QList<DecoderPluginPtr>{chip, tracker});
    std::shared_ptr<FakeMetadataExtractor> extractor = std::make_shared<FakeMetadataExtractor>();
    TrackResolver resolver{registry, extractor};

    Fixture()
    {
        registry->registerDecoder(platform);
        registry->registerDecoder(plain);
        source->addTrack(libraryRef, SourceResult(libraryFile, "flac"));
    }
};

template <typename ErrorType, typename Action> QString failureOf(Action action)
{
    try {
        action();
    } catch (const ErrorType& error) {
        return error.description();
    }
    return QStringLiteral("(no failure)");
}

} // namespace

class PluginFrameworkTest : public QObject {
    Q_OBJECT

private slots:
    void lookupsAndRegistration();
    void compositeRouting_data();
    void compositeRouting();
    void compositeErrorsAndSnapshot();
    void fileHints_data();
    void fileHints();
    void resolverErrors_data();
    void resolverErrors();
    void tagsAreReadOnlyByResolve();

private:
    QTemporaryDir m_folder;
};

void PluginFrameworkTest::lookupsAndRegistration()
{
    const Fixture fixture;
    PluginRegistry& registry = *fixture.registry;
    // The first registered decoder that accepts the extension, whatever its letter case.
    for (const auto& [extension, name] : {std::pair{"nsf", "GameMusicEmu"}, {"NSF", "GameMusicEmu"}, {"669", "Mikmod"},
                                          {"mp3", "CoreAudio"}, {"Ogg", "Plain"}, {"nsfx", ""}, {".mp3", ""}, {"", ""}}) {
        const DecoderPluginPtr decoder = registry.decoder(extension);
        QCOMPARE(decoder ? decoder->name() : QString(), QString::fromLatin1(name));
    }
    const TrackRef other(QStringLiteral("vez:track:a:b:other"));
    QVERIFY(!registry.source(other));
    auto everything = std::make_shared<FakeSourcePlugin>();
    everything->setHandlesEverything(true);
    registry.registerSource(everything);
    QCOMPARE(registry.source(libraryRef), SourcePluginPtr(fixture.source));
    QCOMPARE(registry.source(other), SourcePluginPtr(everything));
    QVERIFY(!DirectFileSource::shared()->canHandle(libraryRef));

    QCOMPARE(registry.multiTrackScanners(), QList<MultiTrackScannerPtr>{fixture.chip});
    QCOMPARE(registry.allSupportedExtensions(), (QSet<QString>{"nsf", "xm", "669", "mp3", "flac", "ogg"}));
    const PluginRegistry empty({}, {});
    QVERIFY(empty.allSupportedExtensions().isEmpty());
    QCOMPARE(empty.buildCompositeMetadataExtractor()->extract(libraryFile, 1), TrackMetadata());
}

void PluginFrameworkTest::compositeRouting_data()
{
    QTest::addColumn<SourceLocator>("locator");
    QTest::addColumn<QString>("extractor");
    QTest::newRow("chip music") << SourceLocator::fileURL("/m/a.nsf") << "GameMusicEmu";
    QTest::newRow("upper-case extension") << SourceLocator::fileURL("/m/A.NSF") << "GameMusicEmu";
    QTest::newRow("tracker module") << SourceLocator::fileURL("/m/c.Xm") << "Mikmod";
    QTest::newRow("unlisted extension") << SourceLocator::fileURL("/m/e.ogg") << "CoreAudio";
    QTest::newRow("no extension") << SourceLocator::fileURL("/m.nsf/README") << "CoreAudio";
    QTest::newRow("data") << SourceLocator::data("NESM\x1a") << "CoreAudio";
}

void PluginFrameworkTest::compositeRouting()
{
    QFETCH(SourceLocator, locator);
    const Fixture fixture;
    const TrackMetadata metadata = fixture.registry->buildCompositeMetadataExtractor()->extract(locator, 3);
    QTEST(metadata.title.value_or(QString()), "extractor");
    const auto calls = fixture.chip->extractCalls() + fixture.tracker->extractCalls() + fixture.platform->extractCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).subTrackIndex, std::optional<qint64>(3));
}

void PluginFrameworkTest::compositeErrorsAndSnapshot()
{
    const Fixture fixture;
    const CompositeMetadataExtractorPtr before = fixture.registry->buildCompositeMetadataExtractor();
    fixture.chip->failExtractions(QStringLiteral("corrupt chip file"));
    QVERIFY_THROWS_EXCEPTION(FakePluginError, before->extract(SourceLocator::fileURL("/a.nsf"), std::nullopt));
    QVERIFY(fixture.platform->extractCalls().isEmpty());

    fixture.registry->registerDecoder(tagging("Late", {"ogg"}));
    const SourceLocator ogg = SourceLocator::fileURL("/m/a.ogg");
    QCOMPARE(before->extract(ogg, 1).title, QStringLiteral("CoreAudio"));
    QCOMPARE(fixture.registry->buildCompositeMetadataExtractor()->extract(ogg, 1).title, QStringLiteral("Late"));
}

void PluginFrameworkTest::fileHints_data()
{
    // "@" stands for the temporary folder; the playlist file lies in @/lists.
    // `path` is the file the hint leads to, or empty when the track falls
    // back to the library after the debug line `message`.
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("withPlaylist");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    QTest::newRow("absolute %20") << "file://@/Music/My%20Song.mp3" << false << "@/Music/My Song.mp3" << "";
    QTest::newRow("absolute doubled slash") << "file:///@/Music/My Song.mp3?a#2" << true << "@/Music/My Song.mp3" << "";
    QTest::newRow("relative") << "file://sub/c.flac" << true << "@/lists/sub/c.flac" << "";
    QTest::newRow("relative %20") << "file://Sub%20Dir/d.flac" << true << "@/lists/Sub Dir/d.flac" << "";
    QTest::newRow("relative bad escape kept") << "file://100%/a.mp3" << true << "@/lists/100%/a.mp3" << "";
    QTest::newRow("bare") << "sub/c.flac" << true << "@/lists/sub/c.flac" << "";
    QTest::newRow("bare not decoded") << "Sub%20Dir/e.flac" << true << "@/lists/Sub%20Dir/e.flac" << "";
    QTest::newRow("bare joined as written") << "/Music/x.mp3" << true << "@/lists//Music/x.mp3" << "";
    QTest::newRow("upper-case extension") << "X.MP3" << true << "@/lists/X.MP3" << "";
    QTest::newRow("missing target") << "file://@/gone.mp3" << true << "" << "File hint target does not exist: @/gone.mp3";
    QTest::newRow("no playlist")
        << "sub/c.flac" << false << "" << "File hint is relative but no playlist URL provided: sub/c.flac";
    QTest::newRow("unknown extension") << "file://x.wma" << true << "" << "No decoder for file hint extension: wma";
    QTest::newRow("folder") << "file://sub" << true << "" << "No decoder for file hint extension: ";
    QTest::newRow("NUL escape") << "file://@/a%00.mp3" << true << "" << "File hint is not a valid URL: file://@/a%00.mp3";
}

void PluginFrameworkTest::fileHints()
{
    const auto place = [&](QString text) { return text.replace(u'@', m_folder.path()); };
    for (const char* name : {"Music/My Song.mp3", "lists/sub/c.flac", "lists/Sub Dir/d.flac", "lists/Sub%20Dir/e.flac",
                             "lists/100%/a.mp3", "lists/Music/x.mp3", "lists/X.MP3", "lists/x.wma"}) {
        QVERIFY(QDir(m_folder.path()).mkpath(QFileInfo(m_folder.filePath(name)).path()));
        QVERIFY(QFile(m_folder.filePath(name)).open(QIODevice::WriteOnly));
    }
    QFETCH(QString, hint);
    QFETCH(bool, withPlaylist);
    QFETCH(QString, path);
    QFETCH(QString, message);
    hint = place(hint);
    const auto playlist = withPlaylist ? std::optional(m_folder.filePath("lists/p.parvik")) : std::nullopt;
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

void PluginFrameworkTest::resolverErrors_data()
{
    QTest::addColumn<QString>("sourceExtension"); // "-": no source at all
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("logLine");
    const QString uri = libraryRef.uri();
    QTest::newRow("no source") << "-" << "No source plugin can handle " + uri << "No source plugin for: " + uri;
    QTest::newRow("no decoder") << "wma" << "No decoder plugin for " + uri + " (extension: wma)"
                                << "No decoder for " + uri + " (ext: wma)";
}

void PluginFrameworkTest::resolverErrors()
{
    QFETCH(QString, sourceExtension);
    QFETCH(QString, description);
    const Fixture fixture;
    fixture.source->addTrack(libraryRef, SourceResult(libraryFile, sourceExtension));
    const auto sourceless = std::make_shared<PluginRegistry>(QList<SourcePluginPtr>(), fixture.registry->decoders());
    const TrackResolver resolver(sourceExtension == "-" ? sourceless : fixture.registry, fixture.extractor);
    LogCapture log;

    QCOMPARE(failureOf<TrackResolverError>([&] { resolver.resolve(libraryRef); }), description);
    QVERIFY(log.entries().isEmpty());
    QCOMPARE(failureOf<TrackResolverError>([&] { resolver.resolveForPlayback(libraryRef); }), description);
    QCOMPARE(log.entries().size(), 2);
    QTEST(log.entries().at(1).message, "logLine");
    QCOMPARE(log.entries().at(1).type, QtCriticalMsg);
    // The decoder is looked up before any tag is read.
    QVERIFY(fixture.extractor->extractCalls().isEmpty());
}

void PluginFrameworkTest::tagsAreReadOnlyByResolve()
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
    QCOMPARE(failureOf<FakePluginError>([&] { fixture.resolver.resolve(libraryRef); }),
             QStringLiteral("tags unreadable"));
    QCOMPARE(fixture.resolver.resolveForPlayback(libraryRef).metadata, TrackMetadata());
    QCOMPARE(fixture.extractor->extractCalls().size(), 3);

    // Hints are written percent-encoded, ';' included, and read back alike.
    QCOMPARE(FileHint::encode("/My Song;1?#%.mp3"), QStringLiteral("file:///My%20Song%3B1%3F%23%25.mp3"));
    QCOMPARE(FileHint::resolve(FileHint::encode("ü b;#%"), "/p.m3u"), QStringLiteral("/ü b;#%"));
}

QTEST_GUILESS_MAIN(PluginFrameworkTest)

#include "tst_pluginframework.moc"
