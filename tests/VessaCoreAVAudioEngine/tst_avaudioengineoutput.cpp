#include "VessaCore/Error.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutputError.h"
#include "tests/support/FakeAudioDevice.h"

#include <QtTest>

#include <atomic>
#include <limits>
#include <thread>

using namespace vessa;
using vessa::test::FakeAudioDevice;

namespace {

constexpr int waitMs = 20000;
constexpr AudioFormat stereo = AudioFormat::cdQuality();

struct Sleep {
    double seconds;
    float volumeDuringSleep;
};

// An output over a fake device whose sleeps are recorded instead of slept.
struct Rig {
    Rig()
    {
        auto owned = std::make_unique<FakeAudioDevice>();
        device = owned.get();
        output = std::make_unique<AVAudioEngineOutput>(std::move(owned), [this](double seconds) {
            sleeps.push_back({seconds, output->volume()});
        });
    }

    PCMBuffer buffer(qint64 frames, float value) const
    {
        return PCMBuffer(stereo, {std::vector<float>(static_cast<std::size_t>(frames), value),
                                  std::vector<float>(static_cast<std::size_t>(frames), value)});
    }

    FakeAudioDevice* device = nullptr;
    std::vector<Sleep> sleeps;
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

} // namespace

class AVAudioEngineOutputTest : public QObject {
    Q_OBJECT

private slots:
    void scheduleBeforePrepareFails();
    void invalidFormatsAreRefused_data();
    void invalidFormatsAreRefused();
    void deviceOpensLazilyAndOnlyForNewFormats();
    void failingOpenPassesErrorAndKeepsFormat();
    void playStartsDeviceOnlyWhenPrepared();
    void seekOffsetsCurrentTime_data();
    void seekOffsetsCurrentTime();
    void seekBeforePrepareChangesNothing();
    void currentTimeIsZeroAfterStopUntilRendered();
    void drainFollowsConsumption_data();
    void drainFollowsConsumption();
    void stopWakesBlockedSchedule();
    void cancelledScheduleFails();
    void volumeSetters_data();
    void volumeSetters();
    void fadeSteps_data();
    void fadeSteps();
    void equalizerBandsThroughOutput();
};

void AVAudioEngineOutputTest::scheduleBeforePrepareFails()
{
    Rig rig;
    QCOMPARE(errorText([&] { rig.output->schedule(rig.buffer(10, 0.5f), {}); }),
             QStringLiteral("Audio engine is not prepared for playback"));
    QCOMPARE(rig.device->openCount, 0);
}

void AVAudioEngineOutputTest::invalidFormatsAreRefused_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<qint64>("channels");
    QTest::newRow("no channels") << 44100.0 << qint64(0);
    QTest::newRow("nine channels") << 44100.0 << qint64(9);
    QTest::newRow("negative channels") << 44100.0 << qint64(-2);
    QTest::newRow("0 Hz") << 0.0 << qint64(2);
    QTest::newRow("negative rate") << -44100.0 << qint64(2);
    QTest::newRow("NaN rate") << std::numeric_limits<double>::quiet_NaN() << qint64(2);
    QTest::newRow("infinite rate") << std::numeric_limits<double>::infinity() << qint64(2);
}

void AVAudioEngineOutputTest::invalidFormatsAreRefused()
{
    QFETCH(double, rate);
    QFETCH(qint64, channels);
    Rig rig;
    QCOMPARE(errorText([&] { rig.output->prepare(AudioFormat(rate, channels, 4, false)); }),
             QStringLiteral("Invalid or unsupported audio format for the audio engine"));
    QCOMPARE(rig.device->openCount, 0);
    // Still unprepared.
    QCOMPARE(errorText([&] { rig.output->schedule(rig.buffer(1, 0), {}); }),
             QStringLiteral("Audio engine is not prepared for playback"));
}

void AVAudioEngineOutputTest::deviceOpensLazilyAndOnlyForNewFormats()
{
    Rig rig;
    QCOMPARE(rig.device->openCount, 0);
    rig.output->prepare(stereo);
    QCOMPARE(rig.device->openCount, 1);
    QVERIFY(rig.device->isStarted());
    QCOMPARE(rig.device->openedFormats.back().channelCount, 2);
    QCOMPARE(rig.device->openedFormats.back().sampleRate, 44100.0);

    rig.output->prepare(AudioFormat(44100, 2, 2, false)); // sample size is not part of it
    QCOMPARE(rig.device->openCount, 1);
    QCOMPARE(rig.device->closeCount, 0);

    rig.output->prepare(AudioFormat(48000, 1, 4, false));
    QCOMPARE(rig.device->closeCount, 1);
    QCOMPARE(rig.device->openCount, 2);
    QCOMPARE(rig.device->openedFormats.back().channelCount, 1);
    QCOMPARE(rig.device->openedFormats.back().sampleRate, 48000.0);

    rig.output->prepare(AudioFormat(48000, 1, 4, true));
    QCOMPARE(rig.device->openCount, 3);
}

void AVAudioEngineOutputTest::failingOpenPassesErrorAndKeepsFormat()
{
    Rig rig;
    rig.device->failingOpens = 1;
    QCOMPARE(errorText([&] { rig.output->prepare(stereo); }),
             QStringLiteral("Audio device could not be started: no sound card"));
    QVERIFY(!rig.device->isOpen());

    // The format stays: buffers are accepted, and the same format retries the device.
    rig.output->schedule(rig.buffer(100, 0.25f), {});
    rig.output->prepare(stereo);
    QCOMPARE(rig.device->openCount, 1);
    rig.output->play();
    const std::vector<float> out = rig.device->renderPeriod(100);
    QVERIFY(std::all_of(out.begin(), out.end(), [](float s) { return s == 0.25f; }));
}

void AVAudioEngineOutputTest::playStartsDeviceOnlyWhenPrepared()
{
    Rig rig;
    rig.output->play();
    QCOMPARE(rig.device->openCount, 0);
    QCOMPARE(rig.output->currentTime(), 0.0);

    rig.device->failingOpens = 1;
    QVERIFY(!errorText([&] { rig.output->prepare(stereo); }).isEmpty());
    rig.device->failingOpens = 1;
    QCOMPARE(errorText([&] { rig.output->play(); }), QStringLiteral("Audio device could not be started: no sound card"));
    rig.output->play();
    QCOMPARE(rig.device->openCount, 1);
    QVERIFY(rig.device->isStarted());
}

void AVAudioEngineOutputTest::seekOffsetsCurrentTime_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("expected");
    QTest::newRow("2.5 s at 44100 Hz") << 44100.0 << 2.5 << 2.5;
    QTest::newRow("0.5 s at 3 Hz truncates") << 3.0 << 0.5 << 1.0 / 3.0;
    QTest::newRow("-0.5 s at 3 Hz truncates toward zero") << 3.0 << -0.5 << -1.0 / 3.0;
    QTest::newRow("NaN") << 44100.0 << std::numeric_limits<double>::quiet_NaN() << 0.0;
    QTest::newRow("huge saturates") << 44100.0 << 1e300 << 0x1p63 / 44100.0;
    QTest::newRow("huge negative saturates") << 44100.0 << -1e300 << -0x1p63 / 44100.0;
}

void AVAudioEngineOutputTest::seekOffsetsCurrentTime()
{
    QFETCH(double, rate);
    QFETCH(double, seconds);
    QFETCH(double, expected);
    Rig rig;
    const AudioFormat format(rate, 2, 4, false);
    rig.output->prepare(format);
    rig.output->seek(seconds);
    rig.output->play();
    // The offset shows once the device has rendered after the play.
    QCOMPARE(rig.output->currentTime(), 0.0);
    rig.device->renderPeriod(64);
    QCOMPARE(rig.output->currentTime(), expected);
}

void AVAudioEngineOutputTest::seekBeforePrepareChangesNothing()
{
    Rig rig;
    rig.output->seek(10.0);
    rig.output->prepare(stereo);
    rig.output->schedule(rig.buffer(441, 0.1f), {});
    rig.output->play();
    rig.device->renderPeriod(1024);
    QCOMPARE(rig.output->currentTime(), 0.01);
}

void AVAudioEngineOutputTest::currentTimeIsZeroAfterStopUntilRendered()
{
    Rig rig;
    rig.output->prepare(stereo);
    rig.output->seek(1.0);
    rig.output->schedule(rig.buffer(4410, 0.1f), {});
    rig.output->play();
    rig.device->renderPeriod(2205);
    QCOMPARE(rig.output->currentTime(), 1.05);
    rig.output->pause();
    rig.device->renderPeriod(2205);
    QCOMPARE(rig.output->currentTime(), 1.05);

    rig.output->stop();
    QCOMPARE(rig.output->currentTime(), 0.0);
    rig.output->prepare(stereo);
    rig.output->seek(3.0);
    QCOMPARE(rig.output->currentTime(), 0.0);
    rig.device->renderPeriod(2205);
    QCOMPARE(rig.output->currentTime(), 0.0);
    rig.output->play();
    rig.device->renderPeriod(2205);
    QCOMPARE(rig.output->currentTime(), 3.0); // the discarded buffer never played
}

void AVAudioEngineOutputTest::drainFollowsConsumption_data()
{
    QTest::addColumn<int>("buffers");
    QTest::addColumn<bool>("byStop");
    QTest::newRow("nothing outstanding") << 0 << false;
    QTest::newRow("all played") << 3 << false;
    QTest::newRow("stopped") << 3 << true;
}

void AVAudioEngineOutputTest::drainFollowsConsumption()
{
    QFETCH(int, buffers);
    QFETCH(bool, byStop);
    Rig rig;
    rig.output->prepare(stereo);
    for (int i = 0; i < buffers; ++i)
        rig.output->schedule(rig.buffer(300, 0.1f), {});
    rig.output->play();

    std::atomic<bool> drained {false};
    std::jthread waiter([&] {
        rig.output->waitForQueueDrained({});
        drained = true;
    });
    if (buffers > 0) {
        rig.device->renderPeriod(299 * static_cast<std::size_t>(buffers));
        if (byStop)
            rig.output->stop();
        else
            rig.device->renderPeriod(10);
    }
    QTRY_VERIFY_WITH_TIMEOUT(drained, waitMs);
}

void AVAudioEngineOutputTest::stopWakesBlockedSchedule()
{
    Rig rig;
    rig.output->prepare(stereo);
    for (int i = 0; i < BufferScheduler::maxAhead; ++i)
        rig.output->schedule(rig.buffer(100, 0.1f), {});
    std::atomic<bool> returned {false};
    std::atomic<bool> failed {false};
    std::jthread ninth([&] {
        try {
            rig.output->schedule(rig.buffer(100, 0.9f), {});
        } catch (...) {
            failed = true;
        }
        returned = true;
    });
    rig.output->stop();
    QTRY_VERIFY_WITH_TIMEOUT(returned, waitMs);
    QVERIFY(!failed);
}

void AVAudioEngineOutputTest::cancelledScheduleFails()
{
    Rig rig;
    rig.output->prepare(stereo);
    for (int i = 0; i < BufferScheduler::maxAhead; ++i)
        rig.output->schedule(rig.buffer(100, 0.1f), {});
    std::stop_source source;
    std::atomic<bool> cancelled {false};
    std::jthread ninth([&] {
        try {
            rig.output->schedule(rig.buffer(100, 0.9f), source.get_token());
        } catch (const CancellationError&) {
            cancelled = true;
        }
    });
    source.request_stop();
    QTRY_VERIFY_WITH_TIMEOUT(cancelled, waitMs);

    // The stop that follows a cancellation returns every slot.
    rig.output->stop();
    rig.output->play();
    for (int i = 0; i < BufferScheduler::maxAhead; ++i)
        rig.output->schedule(rig.buffer(100, 0.2f), {});
    const std::vector<float> out = rig.device->renderPeriod(800);
    QVERIFY(std::all_of(out.begin(), out.end(), [](float s) { return s == 0.2f; }));
}

void AVAudioEngineOutputTest::volumeSetters_data()
{
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::addColumn<bool>("perceived");
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("expected");
    QTest::newRow("linear 0.3") << false << 0.3f << 0.3f;
    QTest::newRow("linear -1") << false << -1.0f << 0.0f;
    QTest::newRow("linear 7") << false << 7.0f << 1.0f;
    QTest::newRow("linear NaN") << false << nan << 1.0f;
    QTest::newRow("perceived 0.5") << true << 0.5f << 0.125f;
    QTest::newRow("perceived 1") << true << 1.0f << 1.0f;
    QTest::newRow("perceived 2") << true << 2.0f << 1.0f;
    QTest::newRow("perceived -0.5") << true << -0.5f << 0.0f;
    QTest::newRow("perceived NaN") << true << nan << 1.0f;
}

void AVAudioEngineOutputTest::volumeSetters()
{
    QFETCH(bool, perceived);
    QFETCH(float, value);
    QFETCH(float, expected);
    Rig rig;
    rig.output->setVolumeLinear(0.6f);
    if (perceived)
        rig.output->setVolumePerceived(value);
    else
        rig.output->setVolumeLinear(value);
    QCOMPARE(rig.output->volume(), expected);
}

void AVAudioEngineOutputTest::fadeSteps_data()
{
    QTest::addColumn<float>("startVolume");
    QTest::addColumn<double>("duration");
    QTest::addColumn<int>("expectedSleeps");
    QTest::newRow("0.15 s") << 0.8f << 0.15 << 15;
    QTest::newRow("silent already") << 0.0f << 0.15 << 0;
    QTest::newRow("zero duration") << 0.8f << 0.0 << 0;
    QTest::newRow("negative duration") << 0.8f << -1.0 << 0;
    QTest::newRow("NaN duration") << 0.8f << std::numeric_limits<double>::quiet_NaN() << 0;
    QTest::newRow("endless duration") << 0.8f << std::numeric_limits<double>::infinity() << 0;
}

void AVAudioEngineOutputTest::fadeSteps()
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
        const Sleep& sleep = rig.sleeps[static_cast<std::size_t>(i)];
        QCOMPARE(sleep.seconds, duration / 15);
        QVERIFY(qFuzzyCompare(1.0f + sleep.volumeDuringSleep, 1.0f + startVolume * float(14 - i) / 15.0f));
    }
}

void AVAudioEngineOutputTest::equalizerBandsThroughOutput()
{
    Rig rig;
    rig.output->prepare(stereo);
    rig.output->setEQBandGain(10, 12.0f);
    rig.output->setEQBandGain(-1, 12.0f);
    rig.output->schedule(rig.buffer(512, 0.3f), {});
    rig.output->play();
    std::vector<float> out = rig.device->renderPeriod(512);
    QVERIFY(std::all_of(out.begin(), out.end(), [](float s) { return s == 0.3f; }));

    rig.output->setEQGlobalGain(-6.0f);
    rig.output->schedule(rig.buffer(512, 0.3f), {});
    out = rig.device->renderPeriod(512);
    QVERIFY(std::abs(out.back() - 0.3f * 0.501187f) < 1e-5f);

    rig.output->setEQBypassed(true);
    rig.output->schedule(rig.buffer(512, 0.3f), {});
    out = rig.device->renderPeriod(512);
    QVERIFY(std::all_of(out.begin(), out.end(), [](float s) { return s == 0.3f; }));
}

QTEST_GUILESS_MAIN(AVAudioEngineOutputTest)
#include "tst_avaudioengineoutput.moc"
