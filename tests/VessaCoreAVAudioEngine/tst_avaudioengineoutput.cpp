#include "VessaCore/Error.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/RefusedThreads.h"

#include <QtTest>

#include <atomic>
#include <limits>
#include <thread>

using namespace vessa;

namespace {

constexpr int waitMs = 20000;
constexpr AudioFormat stereo = AudioFormat::cdQuality();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double endless = std::numeric_limits<double>::infinity();

// An output over a fake device; fade sleeps are recorded with the volume of
// that moment instead of slept.
struct Rig {
    Rig()
    {
        auto owned = std::make_unique<test::FakeAudioDevice>();
        device = owned.get();
        output = std::make_unique<AVAudioEngineOutput>(
            std::move(owned), [this](double seconds) { sleeps.emplace_back(seconds, output->volume()); });
    }
    void schedule(float value, std::size_t frames = 100)
    {
        const std::vector<float> channel(frames, value);
        output->schedule(PCMBuffer(stereo, {channel, channel}), {});
    }
    test::FakeAudioDevice* device = nullptr;
    std::vector<std::pair<double, float>> sleeps;
    std::unique_ptr<AVAudioEngineOutput> output;
};

QString errorText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error.description();
    }
    return {};
}

bool allEqual(const std::vector<float>& samples, float value)
{
    return !samples.empty() && std::all_of(samples.begin(), samples.end(), [=](float s) { return s == value; });
}

} // namespace

class AVAudioEngineOutputTest : public QObject {
    Q_OBJECT

private slots:
    void refusedFormatLeavesItUnprepared_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<qint64>("channels");
        QTest::newRow("no channels") << 44100.0 << qint64(0);
        QTest::newRow("nine channels") << 44100.0 << qint64(9);
        QTest::newRow("0 Hz") << 0.0 << qint64(2);
        QTest::newRow("negative rate") << -44100.0 << qint64(2);
        QTest::newRow("NaN rate") << notANumber << qint64(2);
        QTest::newRow("infinite rate") << endless << qint64(2);
    }

    void refusedFormatLeavesItUnprepared()
    {
        QFETCH(double, rate);
        QFETCH(qint64, channels);
        Rig rig;
        QCOMPARE(errorText([&] { rig.output->prepare(AudioFormat(rate, channels, 4, false)); }),
                 QStringLiteral("Invalid or unsupported audio format for the audio engine"));
        QCOMPARE(errorText([&] { rig.schedule(0.5f); }), QStringLiteral("Audio engine is not prepared for playback"));
        rig.output->play();
        QVERIFY(rig.device->openedFormats.empty());
    }

    void deviceOpensForNewFormatsAndAFailedOpenKeepsTheFormat()
    {
        Rig rig;
        rig.device->failingOpens = 2;
        const QString failed = QStringLiteral("Audio device could not be started: no sound card");
        QCOMPARE(errorText([&] { rig.output->prepare(stereo); }), failed);
        rig.schedule(0.25f); // still prepared
        QCOMPARE(errorText([&] { rig.output->play(); }), failed);
        rig.output->prepare(AudioFormat(44100, 2, 2, false)); // the same format (sample size aside) retries
        rig.output->prepare(stereo);                          // and then reopens nothing
        QCOMPARE(rig.device->openedFormats.size(), 1u);
        QVERIFY(allEqual(rig.device->renderPeriod(100), 0.0f)); // the failed play did not play
        rig.output->play();
        QVERIFY(allEqual(rig.device->renderPeriod(100), 0.25f));

        rig.output->prepare(AudioFormat(48000, 1, 4, false));
        QCOMPARE(rig.device->openedFormats.back().sampleRate, 48000.0);
        QCOMPARE(rig.device->openedFormats.back().channelCount, 1);
        rig.output->prepare(AudioFormat(48000, 1, 4, true));
        QCOMPARE(rig.device->openedFormats.size(), 3u);
    }

    void currentTimeCountsPlayedFramesFromTheSeekOffset_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("expected");
        QTest::newRow("2.5 s at 44100 Hz") << 44100.0 << 2.5 << 2.5;
        QTest::newRow("0.5 s at 3 Hz truncates") << 3.0 << 0.5 << 1.0 / 3.0;
        QTest::newRow("NaN") << 44100.0 << notANumber << 0.0;
        QTest::newRow("huge saturates") << 44100.0 << 1e300 << 0x1p63 / 44100.0;
        QTest::newRow("huge negative saturates") << 44100.0 << -1e300 << -0x1p63 / 44100.0;
    }

    void currentTimeCountsPlayedFramesFromTheSeekOffset()
    {
        QFETCH(double, rate);
        QFETCH(double, seconds);
        QFETCH(double, expected);
        Rig rig;
        rig.output->seek(10.0); // not prepared: changes nothing
        rig.output->prepare(AudioFormat(rate, 2, 4, false));
        rig.schedule(0.1f, 6);
        rig.output->play();
        rig.device->renderPeriod(3);
        rig.output->pause();
        rig.device->renderPeriod(64);
        QCOMPARE(rig.output->currentTime(), 3 / rate);

        rig.output->stop();
        QCOMPARE(rig.output->currentTime(), 0.0);
        rig.output->seek(seconds);
        rig.device->renderPeriod(64);
        QCOMPARE(rig.output->currentTime(), 0.0); // stopped: nothing until the device renders again
        rig.output->play();
        rig.device->renderPeriod(64);
        QCOMPARE(rig.output->currentTime(), expected); // the discarded frames never played
    }

    void queueHoldsEightBuffersUntilConsumedOrStopped_data()
    {
        QTest::addColumn<bool>("byStop");
        QTest::newRow("consumed") << false;
        QTest::newRow("stopped") << true;
    }

    void queueHoldsEightBuffersUntilConsumedOrStopped()
    {
        QFETCH(bool, byStop);
        Rig rig;
        rig.output->prepare(stereo);
        rig.output->play();
        for (int i = 0; i < BufferScheduler::maxAhead; ++i)
            rig.schedule(0.1f);
        std::atomic<bool> ninthReturned{false};
        std::atomic<bool> drained{false};
        std::jthread ninth([&] {
            rig.schedule(0.9f);
            ninthReturned = true;
            rig.output->waitForQueueDrained({});
            drained = true;
        });
        if (byStop) {
            rig.output->stop();
            QTRY_VERIFY_WITH_TIMEOUT(ninthReturned, waitMs);
            rig.output->play(); // plays the ninth buffer only if it came after the stop
        } else {
            rig.device->renderPeriod(100);
            QTRY_VERIFY_WITH_TIMEOUT(ninthReturned, waitMs);
            QVERIFY(!drained);
        }
        rig.device->renderPeriod(800);
        QTRY_VERIFY_WITH_TIMEOUT(drained, waitMs);
    }

    // The output starts its release thread with the first stream: a refusal
    // fails that preparation alone, and the next one starts it.
    void refusedReleaseThreadFailsOnlyThePreparation()
    {
        VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
        std::optional<test::RefusedThreads> refusal(std::in_place);
        Rig rig;
        QCOMPARE(errorText([&] { rig.output->prepare(stereo); }), test::RefusedThreads::refusalText());
        QVERIFY(rig.device->openedFormats.empty());
        QCOMPARE(errorText([&] { rig.schedule(0.5f); }), QStringLiteral("Audio engine is not prepared for playback"));
        refusal.reset();
        rig.output->prepare(stereo);
        rig.output->play();
        rig.schedule(0.1f);
        rig.device->renderPeriod(100);
        rig.output->waitForQueueDrained({}); // once the release thread has freed its slot
    }

    void volumeSetters_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("linear");
        QTest::addColumn<float>("perceived");
        QTest::newRow("0.5") << 0.5f << 0.5f << 0.125f;
        QTest::newRow("-1") << -1.0f << 0.0f << 0.0f;
        QTest::newRow("7") << 7.0f << 1.0f << 1.0f;
        QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << 1.0f << 1.0f;
    }

    void volumeSetters()
    {
        QFETCH(float, value);
        QFETCH(float, linear);
        QFETCH(float, perceived);
        AVAudioEngineOutput output(std::make_unique<test::FakeAudioDevice>());
        output.setVolumeLinear(value);
        QCOMPARE(output.volume(), linear);
        output.setVolumeLinear(0.3f);
        output.setVolumePerceived(value);
        QCOMPARE(output.volume(), perceived);
    }

    void fadeSteps_data()
    {
        QTest::addColumn<float>("startVolume");
        QTest::addColumn<double>("duration");
        QTest::addColumn<int>("expectedSleeps");
        QTest::newRow("0.15 s") << 0.8f << 0.15 << 15;
        QTest::newRow("silent already") << 0.0f << 0.15 << 0;
        QTest::newRow("negative duration") << 0.8f << -1.0 << 0;
        QTest::newRow("NaN duration") << 0.8f << notANumber << 0;
        QTest::newRow("endless duration") << 0.8f << endless << 0;
    }

    void fadeSteps()
    {
        QFETCH(float, startVolume);
        QFETCH(double, duration);
        QFETCH(int, expectedSleeps);
        Rig rig;
        rig.output->setVolumeLinear(startVolume);
        rig.output->fadeOutSync(duration);
        QCOMPARE(rig.output->volume(), 0.0f);
        QCOMPARE(int(rig.sleeps.size()), expectedSleeps);
        for (int i = 0; i < expectedSleeps; ++i) {
            QCOMPARE(rig.sleeps[std::size_t(i)].first, duration / 15);
            QCOMPARE(rig.sleeps[std::size_t(i)].second, startVolume * (float(i + 1) / -15.0f + 1.0f));
        }
    }
};

QTEST_GUILESS_MAIN(AVAudioEngineOutputTest)
#include "tst_avaudioengineoutput.moc"
