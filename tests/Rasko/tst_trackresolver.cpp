#include "Rasko/DirectFileSource.h"
#include "Rasko/FileHint.h"
#include "Rasko/TrackResolver.h"
#include "tests/support/FakePlugins.h"
#include "tests/support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vessa;
using namespace vessa::test;

using OptString = std::optional<QString>;
Q_DECLARE_METATYPE(OptString)

namespace {

const QString category = QStringLiteral("com.tornwick.rasko.resolve");

// A track the library source knows, and where the library keeps it.
const TrackRef libraryRef(QStringLiteral("The Band"), QStringLiteral("Album"), QStringLiteral("Song"), 215);
const QString libraryPath = QStringLiteral("/library/song.flac");

// Files under the temporary folder; the playlist file lies in "lists".
const QStringList fixtureFiles{
    QStringLiteral("Music/a.mp3"),        QStringLiteral("Music/My Song.mp3"), QStringLiteral("lists/sub/c.flac"),
    QStringLiteral("lists/sub/b.mp3"),    QStringLiteral("lists/Sub Dir/d.flac"), QStringLiteral("lists/UPPER.MP3"),
    QStringLiteral("lists/noextension"), QStringLiteral("lists/x.ogg"),     QStringLiteral("lists/p.parvik"),
};

// Registry with the platform and chip decoders and one library source.
struct Fixture {
    std::shared_ptr<FakeExtractingDecoderPlugin> platform = std::make_shared<FakeExtractingDecoderPlugin>(
        QStringLiteral("CoreAudio"), QSet<QString>{QStringLiteral("mp3"), QStringLiteral("flac")});
    std::shared_ptr<FakeExtractingDecoderPlugin> chip = std::make_shared<FakeExtractingDecoderPlugin>(
        QStringLiteral("GameMusicEmu"), QSet<QString>{QStringLiteral("nsf")});
    std::shared_ptr<FakeSourcePlugin> source = std::make_shared<FakeSourcePlugin>(QStringLiteral("LocalFile"));
    PluginRegistryPtr registry = std::make_shared<PluginRegistry>(QList<SourcePluginPtr>{source},
                                                                  QList<DecoderPluginPtr>{chip, platform});
    std::shared_ptr<FakeMetadataExtractor> extractor = std::make_shared<FakeMetadataExtractor>();
    TrackResolver resolver{registry, extractor};

    Fixture()
    {
        source->addTrack(libraryRef, SourceResult(SourceLocator::fileURL(libraryPath), QStringLiteral("flac")));
        extractor->setMetadata(TrackMetadata{.title = QStringLiteral("Tagged"), .trackNumber = 4});
    }
};

template <typename ErrorType>
QString failureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ErrorType& error) {
        return error.description();
    }
    return QStringLiteral("(no failure)");
}

} // namespace

class TrackResolverTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void fileHints_data();
    void fileHints();
    void hintWithoutFileFailsWithTheSourceError();
    void errors_data();
    void errors();
    void sourceFailureIsPassedOn();
    void resolveReadsTags();
    void resolveFailsWhenTheExtractorFails();
    void noDecoderLeavesTagsUnread();
    void playbackWithoutHint();
    void loadMetadata();

private:
    QTemporaryDir m_folder;
};

void TrackResolverTest::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("com.tornwick.*.debug=true"));
    QVERIFY(m_folder.isValid());
    for (const QString& name : fixtureFiles) {
        const QString path = m_folder.filePath(name);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
}

void TrackResolverTest::fileHints_data()
{
    // In `hint`, `path` and `message`, "@" stands for the temporary folder.
    // `path` is the file the hint leads to, or empty when the track falls
    // back to the library with the debug line `message`.
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("withPlaylist");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("message");

    QTest::newRow("absolute") << "file://@/Music/a.mp3" << true << "@/Music/a.mp3" << "mp3" << "";
    QTest::newRow("absolute without playlist") << "file://@/Music/a.mp3" << false << "@/Music/a.mp3" << "mp3" << "";
    QTest::newRow("absolute %20") << "file://@/Music/My%20Song.mp3" << true << "@/Music/My Song.mp3" << "mp3" << "";
    QTest::newRow("absolute four slashes") << "file:///@/Music/a.mp3" << true << "@/Music/a.mp3" << "mp3" << "";
    QTest::newRow("relative") << "file://sub/c.flac" << true << "@/lists/sub/c.flac" << "flac" << "";
    QTest::newRow("relative %20") << "file://Sub%20Dir/d.flac" << true << "@/lists/Sub Dir/d.flac" << "flac" << "";
    QTest::newRow("relative space") << "file://Sub Dir/d.flac" << true << "@/lists/Sub Dir/d.flac" << "flac" << "";
    QTest::newRow("bare") << "sub/b.mp3" << true << "@/lists/sub/b.mp3" << "mp3" << "";
    QTest::newRow("upper-case extension") << "file://UPPER.MP3" << true << "@/lists/UPPER.MP3" << "mp3" << "";

    QTest::newRow("bare %20 is not decoded")
        << "Sub%20Dir/d.flac" << true << "" << ""
        << "File hint target does not exist: @/lists/Sub%20Dir/d.flac";
    QTest::newRow("relative without playlist")
        << "file://sub/c.flac" << false << "" << ""
        << "File hint is relative but no playlist URL provided: file://sub/c.flac";
    QTest::newRow("bare without playlist")
        << "sub/b.mp3" << false << "" << "" << "File hint is relative but no playlist URL provided: sub/b.mp3";
    QTest::newRow("missing target")
        << "file://@/Music/gone.mp3" << true << "" << "" << "File hint target does not exist: @/Music/gone.mp3";
    QTest::newRow("no extension")
        << "file://noextension" << true << "" << "" << "No decoder for file hint extension: ";
    QTest::newRow("unknown extension")
        << "file://x.ogg" << true << "" << "" << "No decoder for file hint extension: ogg";
    QTest::newRow("folder") << "file://sub" << true << "" << "" << "No decoder for file hint extension: ";
    QTest::newRow("invalid URL")
        << "file://@/Music/a%zz.mp3" << true << "" << "" << "File hint is not a valid URL: file://@/Music/a%zz.mp3";
    QTest::newRow("NUL escape")
        << "file://@/Music/a.mp3%00.nsf" << true << "" << ""
        << "File hint is not a valid URL: file://@/Music/a.mp3%00.nsf";
}

void TrackResolverTest::fileHints()
{
    const QString root = m_folder.path();
    const auto place = [&](QString text) { return text.replace(u'@', root); };
    QFETCH(QString, hint);
    QFETCH(bool, withPlaylist);
    QFETCH(QString, path);
    QFETCH(QString, extension);
    const QString hintText = place(hint);
    const OptString playlist = withPlaylist ? OptString(root + QStringLiteral("/lists/p.parvik")) : OptString();
    Fixture fixture;
    LogCapture log;

    const ResolvedTrack track = fixture.resolver.resolveForPlayback(libraryRef, hintText, playlist);

    QCOMPARE(track.ref, libraryRef);
    QCOMPARE(track.metadata, TrackMetadata());
    QVERIFY(fixture.extractor->extractCalls().isEmpty());
    const QString resolving = QStringLiteral("Resolving for playback: ") + libraryRef.uri();
    if (!path.isEmpty()) {
        QCOMPARE(track.source, SourcePluginPtr(DirectFileSource::shared()));
        QCOMPARE(track.decoder, DecoderPluginPtr(fixture.platform));
        QCOMPARE(track.locator, SourceLocator::fileURL(place(path)));
        QCOMPARE(track.fileExtension, extension);
        QVERIFY(fixture.source->resolvedRefs().isEmpty());
        QCOMPARE(log.messages(category),
                 QStringList({resolving, QStringLiteral("Resolved via file hint: ") + libraryRef.uri()
                                             + QStringLiteral(" → ") + hintText}));
    } else {
        QFETCH(QString, message);
        QCOMPARE(track.source, SourcePluginPtr(fixture.source));
        QCOMPARE(track.locator, SourceLocator::fileURL(libraryPath));
        QCOMPARE(track.fileExtension, QStringLiteral("flac"));
        QCOMPARE(fixture.source->resolvedRefs(), QList<TrackRef>{libraryRef});
        QCOMPARE(log.messages(category),
                 QStringList({resolving, place(message),
                              QStringLiteral("Resolved: ") + libraryRef.uri() + QStringLiteral(" → LocalFile/CoreAudio")}));
    }
    for (const LogCapture::Entry& entry : log.entries())
        QCOMPARE(entry.type, QtDebugMsg);
}

void TrackResolverTest::hintWithoutFileFailsWithTheSourceError()
{
    Fixture fixture;
    fixture.source->setHandlesEverything(true);
    const TrackRef unknown(QStringLiteral("Nobody"), QString(), QStringLiteral("Lost"));
    const QString hint = FileHint::encode(m_folder.filePath(QStringLiteral("Music/gone.mp3")));
    QCOMPARE(failureOf<FakePluginError>([&] {
                 fixture.resolver.resolveForPlayback(unknown, hint, std::nullopt);
             }),
             QStringLiteral("Track not found: ") + unknown.uri());
}

void TrackResolverTest::errors_data()
{
    QTest::addColumn<QString>("sourceExtension");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("logLine");
    const QString uri = QStringLiteral("vez:track:The%20Band:Album:Song:215");
    QTest::newRow("no source") << "" << "No source plugin can handle " + uri << "No source plugin for: " + uri;
    QTest::newRow("no decoder") << "ogg" << "No decoder plugin for " + uri + " (extension: ogg)"
                                << "No decoder for " + uri + " (ext: ogg)";
    QTest::newRow("empty extension") << "none" << "No decoder plugin for " + uri + " (extension: )"
                                     << "No decoder for " + uri + " (ext: )";
}

void TrackResolverTest::errors()
{
    QFETCH(QString, sourceExtension);
    QFETCH(QString, description);
    QFETCH(QString, logLine);
    QCOMPARE(libraryRef.uri(), QStringLiteral("vez:track:The%20Band:Album:Song:215"));
    Fixture fixture;
    const bool noSource = sourceExtension.isEmpty();
    const QString extension = sourceExtension == QStringLiteral("none") ? QString() : sourceExtension;
    if (noSource) {
        fixture.registry = std::make_shared<PluginRegistry>(QList<SourcePluginPtr>{},
                                                            QList<DecoderPluginPtr>{fixture.platform});
    } else {
        fixture.source->addTrack(libraryRef, SourceResult(SourceLocator::fileURL(libraryPath), extension));
    }
    const TrackResolver resolver(fixture.registry, fixture.extractor);
    const auto kind = noSource ? TrackResolverError::Kind::noSourcePlugin : TrackResolverError::Kind::noDecoderPlugin;
    LogCapture log;

    for (const bool playback : {false, true}) {
        try {
            if (playback)
                resolver.resolveForPlayback(libraryRef);
            else
                resolver.resolve(libraryRef);
            QFAIL("resolving succeeded");
        } catch (const TrackResolverError& error) {
            QCOMPARE(error.kind(), kind);
            QCOMPARE(error.ref(), libraryRef);
            QCOMPARE(error.fileExtension(), extension);
            QCOMPARE(error.description(), description);
            QCOMPARE(QString::fromUtf8(error.what()), description);
        }
        // Only the play-time resolution logs, the failure as an error.
        const QList<LogCapture::Entry> entries = log.entries();
        QCOMPARE(entries.size(), playback ? 2 : 0);
        if (playback) {
            QCOMPARE(entries.at(1).message, logLine);
            QCOMPARE(entries.at(1).type, QtCriticalMsg);
            QCOMPARE(entries.at(1).category, category);
        }
    }
    QVERIFY(fixture.extractor->extractCalls().isEmpty());
}

void TrackResolverTest::sourceFailureIsPassedOn()
{
    Fixture fixture;
    fixture.source->addFailingTrack(libraryRef, QStringLiteral("database is gone"));
    LogCapture log;
    QCOMPARE(failureOf<FakePluginError>([&] { fixture.resolver.resolve(libraryRef); }),
             QStringLiteral("database is gone"));
    QCOMPARE(failureOf<FakePluginError>([&] { fixture.resolver.resolveForPlayback(libraryRef); }),
             QStringLiteral("database is gone"));
    QCOMPARE(log.messages(category), QStringList{QStringLiteral("Resolving for playback: ") + libraryRef.uri()});
}

void TrackResolverTest::resolveReadsTags()
{
    Fixture fixture;
    const TrackRef subTrack(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), std::nullopt, 2);
    const SourceLocator member = SourceLocator::data(QByteArray("NESM"));
    fixture.source->addTrack(subTrack, SourceResult(member, QStringLiteral("NSF")));
    LogCapture log;

    const ResolvedTrack track = fixture.resolver.resolve(subTrack);

    QCOMPARE(track.ref, subTrack);
    QCOMPARE(track.metadata, (TrackMetadata{.title = QStringLiteral("Tagged"), .trackNumber = 4}));
    QCOMPARE(track.source, SourcePluginPtr(fixture.source));
    QCOMPARE(track.decoder, DecoderPluginPtr(fixture.chip));
    QCOMPARE(track.locator, member);
    QCOMPARE(track.fileExtension, QStringLiteral("NSF"));
    const QList<FakeMetadataExtractor::ExtractCall> calls = fixture.extractor->extractCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).locator, member);
    QCOMPARE(calls.at(0).subTrackIndex, std::optional<qint64>(2));
    QVERIFY(log.entries().isEmpty());

    // Without an extractor the tags are empty.
    const TrackResolver untagged(fixture.registry, nullptr);
    QCOMPARE(untagged.resolve(subTrack).metadata, TrackMetadata());
}

void TrackResolverTest::resolveFailsWhenTheExtractorFails()
{
    Fixture fixture;
    fixture.extractor->failExtractions(QStringLiteral("tags unreadable"));
    QCOMPARE(failureOf<FakePluginError>([&] { fixture.resolver.resolve(libraryRef); }),
             QStringLiteral("tags unreadable"));

    const ResolvedTrack track = fixture.resolver.resolveForPlayback(libraryRef);
    QCOMPARE(track.metadata, TrackMetadata());
    QCOMPARE(track.decoder, DecoderPluginPtr(fixture.platform));
    QCOMPARE(fixture.extractor->extractCalls().size(), 1);
}

void TrackResolverTest::noDecoderLeavesTagsUnread()
{
    Fixture fixture;
    fixture.source->addTrack(libraryRef, SourceResult(SourceLocator::fileURL(QStringLiteral("/a.ogg")),
                                                      QStringLiteral("ogg")));
    QVERIFY_THROWS_EXCEPTION(TrackResolverError, fixture.resolver.resolve(libraryRef));
    QVERIFY(fixture.extractor->extractCalls().isEmpty());
}

void TrackResolverTest::playbackWithoutHint()
{
    Fixture fixture;
    LogCapture log;
    const ResolvedTrack track = fixture.resolver.resolveForPlayback(libraryRef);
    QCOMPARE(track.source, SourcePluginPtr(fixture.source));
    QCOMPARE(track.decoder, DecoderPluginPtr(fixture.platform));
    QCOMPARE(track.locator, SourceLocator::fileURL(libraryPath));
    QCOMPARE(track.metadata, TrackMetadata());
    QCOMPARE(log.messages(category),
             QStringList({QStringLiteral("Resolving for playback: ") + libraryRef.uri(),
                          QStringLiteral("Resolved: ") + libraryRef.uri() + QStringLiteral(" → LocalFile/CoreAudio")}));
}

void TrackResolverTest::loadMetadata()
{
    Fixture fixture;
    const SourceLocator locator = SourceLocator::fileURL(QStringLiteral("/m/a.nsf"));
    QCOMPARE(fixture.resolver.loadMetadata(locator, 5).title, std::optional<QString>(QStringLiteral("Tagged")));
    QCOMPARE(fixture.extractor->extractCalls().at(0).subTrackIndex, std::optional<qint64>(5));

    fixture.extractor->failExtractions(QStringLiteral("gone"));
    QCOMPARE(failureOf<FakePluginError>([&] { fixture.resolver.loadMetadata(locator, std::nullopt); }),
             QStringLiteral("gone"));

    const TrackResolver untagged(fixture.registry, nullptr);
    QCOMPARE(untagged.loadMetadata(locator, 5), TrackMetadata());
    QVERIFY(!untagged.metadataExtractor());
}

QTEST_GUILESS_MAIN(TrackResolverTest)

#include "tst_trackresolver.moc"
