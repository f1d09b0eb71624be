#include "Rasko/PluginRegistry.h"
#include "tests/support/FakePlugins.h"

#include <QtTest>

#include <thread>

using namespace vessa;
using namespace vessa::test;

namespace {

QSet<QString> extensionSet(const char* words)
{
    const QStringList list = QString::fromLatin1(words).split(u' ');
    return QSet<QString>(list.cbegin(), list.cend());
}

// Three decoders in the application's order, each also an extractor; the
// first also lists sub-tracks.
struct ShippedDecoders {
    std::shared_ptr<FakeMultiTrackDecoderPlugin> chip = std::make_shared<FakeMultiTrackDecoderPlugin>(
        QStringLiteral("GameMusicEmu"), extensionSet("nsf nsfe spc gbs vgm vgz gym hes ay kss sap"));
    std::shared_ptr<FakeExtractingDecoderPlugin> tracker = std::make_shared<FakeExtractingDecoderPlugin>(
        QStringLiteral("Mikmod"),
        extensionSet("mod xm it s3m stm stx mtm 669 far med amf dsm imf gdm okt ult uni umx m15"));
    std::shared_ptr<FakeExtractingDecoderPlugin> platform = std::make_shared<FakeExtractingDecoderPlugin>(
        QStringLiteral("CoreAudio"), extensionSet("mp3 m4a aac alac wav aiff aif flac caf"));

    QList<DecoderPluginPtr> list() const { return {chip, tracker, platform}; }
};

// A decoder whose extensions can change after registration.
class ChangingDecoder final : public FakeExtractingDecoderPlugin {
public:
    ChangingDecoder() : FakeExtractingDecoderPlugin(QStringLiteral("Changing"), {}) {}
    void setExtensions(const QSet<QString>& extensions)
    {
        std::lock_guard lock(m_mutex);
        m_extensions = extensions;
    }
    QSet<QString> supportedExtensions() const override
    {
        std::lock_guard lock(m_mutex);
        return m_extensions;
    }

private:
    mutable std::mutex m_mutex;
    QSet<QString> m_extensions;
};

// A source whose canHandle looks into the registry it is registered with.
class CuriousSource final : public FakeSourcePlugin {
public:
    explicit CuriousSource(const PluginRegistry& registry) : m_registry(registry) {}
    bool canHandle(const TrackRef&) const override { return !m_registry.decoders().isEmpty(); }

private:
    const PluginRegistry& m_registry;
};

TrackRef someRef(const char* title)
{
    return TrackRef(QStringLiteral("Artist"), QStringLiteral("Album"), QString::fromLatin1(title));
}

QString nameOf(const DecoderPluginPtr& decoder)
{
    return decoder ? decoder->name() : QStringLiteral("none");
}

} // namespace

class PluginRegistryTest : public QObject {
    Q_OBJECT

private slots:
    void decoderLookup_data();
    void decoderLookup();
    void earlierDecoderWinsATie();
    void sourceLookup();
    void registrationKeepsOrderAndKinds();
    void supportedExtensionsAreReadNow();
    void pluginsMayLookIntoTheRegistry();
    void lookupsWhileRegistering();
};

void PluginRegistryTest::decoderLookup_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("decoder");
    QTest::newRow("chip music") << "nsf" << "GameMusicEmu";
    QTest::newRow("tracker module") << "xm" << "Mikmod";
    QTest::newRow("platform") << "mp3" << "CoreAudio";
    QTest::newRow("upper case") << "NSF" << "GameMusicEmu";
    QTest::newRow("mixed case") << "FlAc" << "CoreAudio";
    QTest::newRow("digits") << "669" << "Mikmod";
    QTest::newRow("unlisted") << "ogg" << "none";
    QTest::newRow("empty") << "" << "none";
    QTest::newRow("with dot") << ".mp3" << "none";
}

void PluginRegistryTest::decoderLookup()
{
    QFETCH(QString, extension);
    QFETCH(QString, decoder);
    const ShippedDecoders shipped;

    // Given to the constructor, or registered one by one afterwards.
    const PluginRegistry built({}, shipped.list());
    PluginRegistry registered({}, {});
    for (const DecoderPluginPtr& plugin : shipped.list())
        registered.registerDecoder(plugin);

    QCOMPARE(nameOf(built.decoder(extension)), decoder);
    QCOMPARE(nameOf(registered.decoder(extension)), decoder);
}

void PluginRegistryTest::earlierDecoderWinsATie()
{
    const ShippedDecoders shipped;
    PluginRegistry registry({}, shipped.list());
    auto second = std::make_shared<FakeDecoderPlugin>(QStringLiteral("Second"), extensionSet("mp3 ogg"));
    registry.registerDecoder(second);

    QCOMPARE(registry.decoder(QStringLiteral("mp3")), DecoderPluginPtr(shipped.platform));
    QCOMPARE(registry.decoder(QStringLiteral("OGG")), DecoderPluginPtr(second));
}

void PluginRegistryTest::sourceLookup()
{
    const TrackRef known = someRef("Known");
    const TrackRef other = someRef("Other");
    PluginRegistry registry({}, {});
    QVERIFY(!registry.source(known));

    auto refusing = std::make_shared<FakeSourcePlugin>(QStringLiteral("Refusing"));
    registry.registerSource(refusing);
    QVERIFY(!registry.source(known));

    auto first = std::make_shared<FakeSourcePlugin>(QStringLiteral("First"));
    first->addTrack(known, SourceResult(SourceLocator::fileURL(QStringLiteral("/a.mp3")), QStringLiteral("mp3")));
    auto everything = std::make_shared<FakeSourcePlugin>(QStringLiteral("Everything"));
    everything->setHandlesEverything(true);
    registry.registerSource(first);
    registry.registerSource(everything);

    QCOMPARE(registry.source(known), SourcePluginPtr(first));
    QCOMPARE(registry.source(other), SourcePluginPtr(everything));
    // The lookup only asks; resolving is the caller's business.
    QVERIFY(first->resolvedRefs().isEmpty());
    QVERIFY(everything->resolvedRefs().isEmpty());

    // Sources given to the constructor keep their order.
    const PluginRegistry built({everything, first}, {});
    QCOMPARE(built.source(known), SourcePluginPtr(everything));
}

void PluginRegistryTest::registrationKeepsOrderAndKinds()
{
    const ShippedDecoders shipped;
    auto plainDecoder = std::make_shared<FakeDecoderPlugin>(QStringLiteral("Plain"), extensionSet("raw"));
    auto source = std::make_shared<FakeSourcePlugin>(QStringLiteral("LocalFile"));
    auto destination = std::make_shared<FakeDestinationPlugin>();

    PluginRegistry registry({source}, {shipped.chip, plainDecoder});
    registry.registerDecoder(shipped.tracker);
    registry.registerDecoder(nullptr);
    registry.registerDestination(destination);

    QCOMPARE(registry.sources(), QList<SourcePluginPtr>{source});
    QCOMPARE(registry.decoders(), (QList<DecoderPluginPtr>{shipped.chip, plainDecoder, shipped.tracker}));
    QCOMPARE(registry.destinations(), QList<DestinationPluginPtr>{destination});
    QCOMPARE(registry.multiTrackScanners(), QList<MultiTrackScannerPtr>{shipped.chip});

    // The plain decoder is no extractor: the last extracting one is the fallback.
    const CompositeMetadataExtractorPtr composite = registry.buildCompositeMetadataExtractor();
    QCOMPARE(composite->extractors().size(), 1);
    QCOMPARE(composite->extractors().at(0).extractor, MetadataExtractorPtr(shipped.chip));
    QCOMPARE(composite->extractors().at(0).extensions, shipped.chip->supportedExtensions());
    QCOMPARE(composite->fallback(), MetadataExtractorPtr(shipped.tracker));
}

void PluginRegistryTest::supportedExtensionsAreReadNow()
{
    PluginRegistry empty({}, {});
    QVERIFY(empty.allSupportedExtensions().isEmpty());

    const ShippedDecoders shipped;
    auto changing = std::make_shared<ChangingDecoder>();
    changing->setExtensions(extensionSet("old"));
    PluginRegistry registry({}, {changing});
    registry.registerDecoder(shipped.chip);
    registry.registerDecoder(shipped.tracker);
    registry.registerDecoder(shipped.platform);
    QCOMPARE(registry.allSupportedExtensions().size(), 1 + 11 + 19 + 9);

    changing->setExtensions(extensionSet("new newer"));
    const QSet<QString> all = registry.allSupportedExtensions();
    QCOMPARE(all.size(), 2 + 11 + 19 + 9);
    QVERIFY(all.contains(QStringLiteral("newer")) && !all.contains(QStringLiteral("old")));
    QCOMPARE(nameOf(registry.decoder(QStringLiteral("new"))), QStringLiteral("Changing"));

    // The extractor keeps the extensions it was registered with.
    const CompositeMetadataExtractorPtr composite = registry.buildCompositeMetadataExtractor();
    QCOMPARE(composite->extractors().at(0).extensions, extensionSet("old"));
}

void PluginRegistryTest::pluginsMayLookIntoTheRegistry()
{
    const ShippedDecoders shipped;
    PluginRegistry registry({}, shipped.list());
    registry.registerSource(std::make_shared<CuriousSource>(registry));
    QVERIFY(registry.source(someRef("Any")));
}

void PluginRegistryTest::lookupsWhileRegistering()
{
    const ShippedDecoders shipped;
    PluginRegistry registry({}, shipped.list());
    constexpr int added = 200;
    std::atomic<bool> wrongAnswer{false};
    {
        std::vector<std::jthread> readers;
        for (int i = 0; i < 3; ++i) {
            readers.emplace_back([&](std::stop_token stop) {
                while (!stop.stop_requested()) {
                    if (nameOf(registry.decoder(QStringLiteral("mp3"))) != QStringLiteral("CoreAudio"))
                        wrongAnswer = true;
                    const DecoderPluginPtr late = registry.decoder(QStringLiteral("late"));
                    if (late && late->name() != QStringLiteral("Late 0"))
                        wrongAnswer = true;
                    registry.allSupportedExtensions();
                    registry.buildCompositeMetadataExtractor();
                }
            });
        }
        for (int i = 0; i < added; ++i) {
            registry.registerDecoder(std::make_shared<FakeExtractingDecoderPlugin>(
                QStringLiteral("Late %1").arg(i), extensionSet("late mp3")));
        }
    }
    QVERIFY(!wrongAnswer);
    QCOMPARE(registry.decoders().size(), 3 + added);
    QCOMPARE(registry.buildCompositeMetadataExtractor()->extractors().size(), 2 + added);
}

QTEST_GUILESS_MAIN(PluginRegistryTest)

#include "tst_pluginregistry.moc"
