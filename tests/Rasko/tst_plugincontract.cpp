#include "Rasko/AudioStream.h"
#include "Rasko/DirectFileSource.h"
#include "Rasko/SourceLocator.h"
#include "Rasko/TrackMetadata.h"
#include "tests/support/FakePlugins.h"

#include <QProcess>
#include <QtTest>

#include <sys/resource.h>

using namespace vessa;
using namespace vessa::test;

using OptString = std::optional<QString>;
Q_DECLARE_METATYPE(OptString)
Q_DECLARE_METATYPE(SourceLocator)

static_assert(std::is_move_constructible_v<AudioStream> && std::is_move_assignable_v<AudioStream>);
static_assert(!std::is_copy_constructible_v<AudioStream> && !std::is_copy_assignable_v<AudioStream>);

namespace {

constexpr char directResolveVariable[] = "VESSA_TEST_CALL_DIRECT_RESOLVE";

QList<float> firstSamples(const std::vector<PCMBuffer>& buffers)
{
    QList<float> samples;
    for (const PCMBuffer& buffer : buffers)
        samples.append(buffer.channelData.at(0).at(0));
    return samples;
}

} // namespace

class PluginContractTest : public QObject {
    Q_OBJECT

private slots:
    void canDecodeDefault_data();
    void canDecodeDefault();
    void defaultHintsFormIsThePlainForm();
    void defaultHintsFormPassesFailuresOn();
    void inferredFileExtension_data();
    void inferredFileExtension();
    void recordDefaults();
    void directFileSourceIsNeverChosen();
    void directFileSourceResolveEndsTheProgram();
};

void PluginContractTest::canDecodeDefault_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("accepted");
    const QStringList nsf{QStringLiteral("nsf")};
    QTest::newRow("same") << nsf << "nsf" << true;
    QTest::newRow("upper-case argument") << nsf << "NSF" << true;
    QTest::newRow("mixed-case argument") << nsf << "Nsf" << true;
    QTest::newRow("empty") << nsf << "" << false;
    QTest::newRow("longer") << nsf << "nsfx" << false;
    QTest::newRow("shorter") << nsf << "ns" << false;
    QTest::newRow("with dot") << nsf << ".nsf" << false;
    // Only the argument is lower-cased: an upper-case listing matches nothing.
    QTest::newRow("upper-case listing") << QStringList{QStringLiteral("MP3")} << "MP3" << false;
    QTest::newRow("nothing listed") << QStringList() << "nsf" << false;
}

void PluginContractTest::canDecodeDefault()
{
    QFETCH(QStringList, listed);
    QFETCH(QString, asked);
    const FakeDecoderPlugin decoder(QStringLiteral("Listed"), QSet<QString>(listed.cbegin(), listed.cend()));
    QTEST(decoder.canDecode(asked), "accepted");
}

void PluginContractTest::defaultHintsFormIsThePlainForm()
{
    FakeStreamScript script;
    script.bufferCount = 3;
    script.framesPerBuffer = 100;
    auto decoder = std::make_shared<FakeDecoderPlugin>(QStringLiteral("Plain"), QSet<QString>{QStringLiteral("wav")});
    decoder->setScript(script);
    decoder->setHonoursHints(false);
    DecoderPlugin& plugin = *decoder;
    const SourceLocator locator = SourceLocator::fileURL(QStringLiteral("/music/a.wav"));

    AudioStream plain = plugin.open(locator, 2);
    AudioStream hinted = plugin.open(locator, 2, DecoderHints(true, QStringLiteral("wav")));

    // The hints form reached the plain form with the same locator and index
    // and nothing of the hints; the endless flag was ignored.
    const QList<FakeDecoderPlugin::OpenCall> calls = decoder->openCalls();
    QCOMPARE(calls.size(), 2);
    for (const FakeDecoderPlugin::OpenCall& call : calls) {
        QCOMPARE(call.locator, locator);
        QCOMPARE(call.subTrackIndex, std::optional<qint64>(2));
        QVERIFY(!call.hints);
    }
    QCOMPARE(hinted.format, plain.format);
    QCOMPARE(hinted.duration, plain.duration);
    QVERIFY(hinted.duration.has_value());
    QCOMPARE(firstSamples(drainStream(*hinted.buffers)), firstSamples(drainStream(*plain.buffers)));
    QVERIFY(hinted.seek);
}

void PluginContractTest::defaultHintsFormPassesFailuresOn()
{
    auto decoder = std::make_shared<FakeDecoderPlugin>(QStringLiteral("Plain"), QSet<QString>{QStringLiteral("wav")});
    decoder->setHonoursHints(false);
    decoder->failOpens(QStringLiteral("cannot open"));
    DecoderPlugin& plugin = *decoder;
    try {
        plugin.open(SourceLocator::data(QByteArray("RIFF")), std::nullopt, DecoderHints(false));
        QFAIL("open succeeded");
    } catch (const FakePluginError& error) {
        QCOMPARE(error.description(), QStringLiteral("cannot open"));
    }
}

void PluginContractTest::inferredFileExtension_data()
{
    QTest::addColumn<SourceLocator>("locator");
    QTest::addColumn<OptString>("extension");
    QTest::newRow("upper case") << SourceLocator::fileURL(QStringLiteral("/music/Song.FLAC")) << OptString("flac");
    QTest::newRow("lower case") << SourceLocator::fileURL(QStringLiteral("/music/a.mp3")) << OptString("mp3");
    QTest::newRow("no extension") << SourceLocator::fileURL(QStringLiteral("/music/Song")) << OptString("");
    QTest::newRow("dot in folder") << SourceLocator::fileURL(QStringLiteral("/mu.sic/Song")) << OptString("");
    QTest::newRow("hidden file") << SourceLocator::fileURL(QStringLiteral("/music/.flac")) << OptString("");
    QTest::newRow("archive member") << SourceLocator::fileURL(QStringLiteral("/m/a.zip::b.NSF")) << OptString("nsf");
    QTest::newRow("data") << SourceLocator::data(QByteArray("ID3")) << OptString();
    QTest::newRow("empty data") << SourceLocator::data(QByteArray()) << OptString();
}

void PluginContractTest::inferredFileExtension()
{
    QFETCH(SourceLocator, locator);
    QTEST(locator.inferredFileExtension(), "extension");
}

void PluginContractTest::recordDefaults()
{
    const TrackMetadata empty;
    QVERIFY(!empty.title && !empty.artist && !empty.album && !empty.duration && !empty.artworkData
            && !empty.subTrackIndex && !empty.trackNumber && !empty.discNumber);
    QCOMPARE(empty, TrackMetadata());

    const TrackMetadata titled{.title = QStringLiteral("T"), .discNumber = 2};
    QVERIFY(titled != empty);
    QVERIFY(!titled.artist && !titled.trackNumber);

    const DecoderHints hints;
    QVERIFY(!hints.infiniteLoop);
    QVERIFY(!hints.fileExtension);
    QVERIFY(!DecoderHints(true).fileExtension);
}

void PluginContractTest::directFileSourceIsNeverChosen()
{
    const std::shared_ptr<DirectFileSource>& shared = DirectFileSource::shared();
    QVERIFY(shared);
    QCOMPARE(shared.get(), DirectFileSource::shared().get());
    QCOMPARE(shared->name(), QStringLiteral("DirectFile"));
    QCOMPARE(DirectFileSource().name(), QStringLiteral("DirectFile"));
    for (const TrackRef& ref : {TrackRef(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")),
                                TrackRef(QStringLiteral("vez:track:a:b:c:12#3")), TrackRef(QString())})
        QVERIFY(!shared->canHandle(ref));
}

void PluginContractTest::directFileSourceResolveEndsTheProgram()
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(directResolveVariable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setChildProcessModifier([] {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
    });
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(20000));
    QVERIFY(child.exitStatus() == QProcess::CrashExit || child.exitCode() != 0);
    const QString output = QString::fromUtf8(child.readAllStandardError());
    QVERIFY2(output.contains(QStringLiteral(
                 "DirectFileSource.resolve() should never be called — tracks are resolved via file hints, "
                 "not through the source plugin chain")),
             qPrintable(output));
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(directResolveVariable)) {
        DirectFileSource::shared()->resolve(TrackRef(QStringLiteral("vez:track:a:b:c")));
        return 0;
    }
    QCoreApplication app(argc, argv);
    PluginContractTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_plugincontract.moc"
