#include "Rasko/PluginRegistry.h"
#include "tests/support/FakePlugins.h"

#include <QtTest>

using namespace vessa;
using namespace vessa::test;

Q_DECLARE_METATYPE(SourceLocator)

namespace {

std::shared_ptr<FakeExtractingDecoderPlugin> extractingDecoder(const QString& name, const QStringList& extensions)
{
    auto decoder =
        std::make_shared<FakeExtractingDecoderPlugin>(name, QSet<QString>(extensions.cbegin(), extensions.cend()));
    // Every extractor answers with its own name as the title.
    decoder->setMetadata(TrackMetadata{.title = name});
    return decoder;
}

// Chip music, tracker modules and the platform decoder, in that order.
struct Registry {
    std::shared_ptr<FakeExtractingDecoderPlugin> chip =
        extractingDecoder(QStringLiteral("chip"), {QStringLiteral("nsf"), QStringLiteral("spc")});
    std::shared_ptr<FakeExtractingDecoderPlugin> tracker =
        extractingDecoder(QStringLiteral("tracker"), {QStringLiteral("xm"), QStringLiteral("mod")});
    std::shared_ptr<FakeExtractingDecoderPlugin> platform =
        extractingDecoder(QStringLiteral("platform"), {QStringLiteral("mp3"), QStringLiteral("flac")});
    PluginRegistry registry{{}, {chip, tracker, platform}};

    qsizetype totalCalls() const
    {
        return chip->extractCalls().size() + tracker->extractCalls().size() + platform->extractCalls().size();
    }
};

} // namespace

class CompositeExtractorTest : public QObject {
    Q_OBJECT

private slots:
    void routing_data();
    void routing();
    void chosenExtractorErrorIsPassedOn();
    void fallbackErrorIsPassedOn();
    void emptyRegistryGivesEmptyTags();
    void singleExtractorIsTheFallback();
    void snapshotIgnoresLaterRegistrations();
};

void CompositeExtractorTest::routing_data()
{
    QTest::addColumn<SourceLocator>("locator");
    QTest::addColumn<QString>("extractor");
    const auto file = [](const char* path) { return SourceLocator::fileURL(QString::fromUtf8(path)); };
    QTest::newRow("chip music") << file("/m/a.nsf") << "chip";
    QTest::newRow("upper-case chip music") << file("/m/A.NSF") << "chip";
    QTest::newRow("second extension") << file("/m/b.spc") << "chip";
    QTest::newRow("tracker module") << file("/m/c.Xm") << "tracker";
    QTest::newRow("fallback's own extension") << file("/m/d.mp3") << "platform";
    QTest::newRow("unlisted extension") << file("/m/e.ogg") << "platform";
    QTest::newRow("no extension") << file("/m/README") << "platform";
    QTest::newRow("hidden file") << file("/m/.nsf") << "platform";
    QTest::newRow("trailing dot") << file("/m/f.") << "platform";
    QTest::newRow("data") << SourceLocator::data(QByteArray("NESM\x1a")) << "platform";
}

void CompositeExtractorTest::routing()
{
    QFETCH(SourceLocator, locator);
    QFETCH(QString, extractor);
    Registry fixture;
    const CompositeMetadataExtractorPtr composite = fixture.registry.buildCompositeMetadataExtractor();

    const TrackMetadata metadata = composite->extract(locator, 3);

    QCOMPARE(metadata.title, std::optional<QString>(extractor));
    QCOMPARE(fixture.totalCalls(), 1);
    const std::shared_ptr<FakeExtractingDecoderPlugin> chosen = extractor == QStringLiteral("chip") ? fixture.chip
        : extractor == QStringLiteral("tracker")                                                  ? fixture.tracker
                                                                                                  : fixture.platform;
    const QList<FakeMetadataExtractor::ExtractCall> calls = chosen->extractCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).locator, locator);
    QCOMPARE(calls.at(0).subTrackIndex, std::optional<qint64>(3));
}

void CompositeExtractorTest::chosenExtractorErrorIsPassedOn()
{
    Registry fixture;
    fixture.chip->failExtractions(QStringLiteral("corrupt chip file"));
    const CompositeMetadataExtractorPtr composite = fixture.registry.buildCompositeMetadataExtractor();

    try {
        composite->extract(SourceLocator::fileURL(QStringLiteral("/m/a.nsf")), std::nullopt);
        QFAIL("extract succeeded");
    } catch (const FakePluginError& error) {
        QCOMPARE(error.description(), QStringLiteral("corrupt chip file"));
    }
    QVERIFY(fixture.platform->extractCalls().isEmpty());
}

void CompositeExtractorTest::fallbackErrorIsPassedOn()
{
    Registry fixture;
    fixture.platform->failExtractions(QStringLiteral("unreadable"));
    const CompositeMetadataExtractorPtr composite = fixture.registry.buildCompositeMetadataExtractor();
    QVERIFY_THROWS_EXCEPTION(FakePluginError, composite->extract(SourceLocator::data(QByteArray("x")), 0));
    QCOMPARE(fixture.totalCalls(), 1);
}

void CompositeExtractorTest::emptyRegistryGivesEmptyTags()
{
    // Decoders that read no tags do not count as extractors.
    const PluginRegistry registry(
        {}, {std::make_shared<FakeDecoderPlugin>(QStringLiteral("plain"), QSet<QString>{QStringLiteral("mp3")})});
    const CompositeMetadataExtractorPtr composite = registry.buildCompositeMetadataExtractor();
    QVERIFY(composite->extractors().isEmpty());
    QVERIFY(!composite->fallback());
    QCOMPARE(composite->extract(SourceLocator::fileURL(QStringLiteral("/m/a.mp3")), 1), TrackMetadata());
    QCOMPARE(composite->extract(SourceLocator::data(QByteArray("ID3")), std::nullopt), TrackMetadata());
}

void CompositeExtractorTest::singleExtractorIsTheFallback()
{
    auto only = extractingDecoder(QStringLiteral("only"), {QStringLiteral("nsf")});
    const PluginRegistry registry({}, {only});
    const CompositeMetadataExtractorPtr composite = registry.buildCompositeMetadataExtractor();
    QVERIFY(composite->extractors().isEmpty());
    QCOMPARE(composite->fallback(), MetadataExtractorPtr(only));
    QCOMPARE(composite->extract(SourceLocator::fileURL(QStringLiteral("/m/a.ogg")), 1).title,
             std::optional<QString>(QStringLiteral("only")));
}

void CompositeExtractorTest::snapshotIgnoresLaterRegistrations()
{
    Registry fixture;
    const CompositeMetadataExtractorPtr before = fixture.registry.buildCompositeMetadataExtractor();
    auto late = extractingDecoder(QStringLiteral("late"), {QStringLiteral("ogg")});
    fixture.registry.registerDecoder(late);

    const SourceLocator ogg = SourceLocator::fileURL(QStringLiteral("/m/a.ogg"));
    QCOMPARE(before->extract(ogg, std::nullopt).title, std::optional<QString>(QStringLiteral("platform")));
    QVERIFY(late->extractCalls().isEmpty());

    // A composite built afterwards routes by the platform's extensions and
    // falls back to the late one.
    const CompositeMetadataExtractorPtr after = fixture.registry.buildCompositeMetadataExtractor();
    QCOMPARE(after->extractors().size(), 3);
    QCOMPARE(after->extract(ogg, std::nullopt).title, std::optional<QString>(QStringLiteral("late")));
    QCOMPARE(after->extract(SourceLocator::fileURL(QStringLiteral("/m/a.MP3")), std::nullopt).title,
             std::optional<QString>(QStringLiteral("platform")));
}

QTEST_GUILESS_MAIN(CompositeExtractorTest)

#include "tst_compositeextractor.moc"
