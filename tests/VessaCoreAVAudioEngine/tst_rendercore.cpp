#include "VessaCoreAVAudioEngine/RenderCore.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <numbers>

using namespace vessa;

namespace {

using Channels = std::vector<std::vector<float>>;

// A core configured and playing, with helpers to queue and pull samples.
struct Rig {
    explicit Rig(int channels = 2, double rate = 44100.0) : channelCount(channels)
    {
        core.configure(channels, rate);
        core.setPlaying(true);
    }
    bool queue(Channels data, qint64 generation = 0)
    {
        PCMBuffer buffer(AudioFormat::cdQuality(), std::move(data));
        return core.queue().push(QueuedBuffer::from(std::move(buffer), channelCount, generation), {});
    }
    std::vector<float> render(std::size_t frames)
    {
        std::vector<float> out(frames * static_cast<std::size_t>(channelCount), -99.0f);
        core.render(out.data(), frames);
        return out;
    }
    std::vector<qint64> released()
    {
        std::vector<qint64> generations;
        core.queue().collectFinished([&](qint64 generation) { generations.push_back(generation); });
        return generations;
    }
    int channelCount;
    RenderCore core;
};

// A sine of `frequency` on every channel, or with frequency 0 a distinct
// non-silent pattern per channel.
Channels signal(int channels, std::size_t frames, double frequency = 0.0, double rate = 44100.0)
{
    Channels data(static_cast<std::size_t>(channels), std::vector<float>(frames));
    for (std::size_t c = 0; c < data.size(); ++c)
        for (std::size_t n = 0; n < frames; ++n)
            data[c][n] = frequency > 0 ? float(0.25 * std::sin(2 * std::numbers::pi * frequency * double(n) / rate))
                                       : 0.001f * float(n % 700) - 0.3f * float(c) + 0.01f;
    return data;
}

std::vector<float> interleave(const Channels& data, std::size_t silentFrames = 0)
{
    std::vector<float> out;
    for (std::size_t n = 0; n < data.front().size(); ++n)
        for (const auto& channel : data)
            out.push_back(channel[n]);
    out.resize(out.size() + silentFrames * data.size(), 0.0f);
    return out;
}

bool allEqual(const std::vector<float>& samples, float value)
{
    return std::all_of(samples.begin(), samples.end(), [=](float s) { return s == value; });
}

// One equaliser setting and the level change it should give a sine of
// `frequency`; NaN as expectedDb means the samples pass unchanged.
struct EqCase {
    int band = 5;
    float gain = 0.0f;
    float globalGain = 0.0f;
    bool bypassed = false;
    double rate = 44100.0;
    double frequency = 1000.0;
    double expectedDb = std::numeric_limits<double>::quiet_NaN();
};

} // namespace

Q_DECLARE_METATYPE(EqCase)

class RenderCoreTest : public QObject {
    Q_OBJECT

private slots:
    void equalizerResponse_data()
    {
        constexpr float inf = std::numeric_limits<float>::infinity();
        constexpr float nan = std::numeric_limits<float>::quiet_NaN();
        QTest::addColumn<EqCase>("eq");
        QTest::newRow("flat") << EqCase{};
        QTest::newRow("bypassed") << EqCase{.gain = 9, .globalGain = -4, .bypassed = true};
        QTest::newRow("band -1 ignored") << EqCase{.band = -1, .gain = 12, .frequency = 32};
        QTest::newRow("band 10 ignored") << EqCase{.band = 10, .gain = 12, .frequency = 16000};
        QTest::newRow("16 kHz band at 22050 Hz is flat")
            << EqCase{.band = 9, .gain = 24, .rate = 22050, .frequency = 10000};
        QTest::newRow("+6 dB at the 1 kHz centre") << EqCase{.gain = 6, .expectedDb = 6};
        QTest::newRow("1 kHz band, two octaves above") << EqCase{.gain = 6, .frequency = 4000, .expectedDb = 0};
        QTest::newRow("1 kHz band, two octaves below") << EqCase{.gain = 6, .frequency = 250, .expectedDb = 0};
        QTest::newRow("band 9 is 16 kHz") << EqCase{.band = 9, .gain = 6, .frequency = 16000, .expectedDb = 6};
        QTest::newRow("global gain") << EqCase{.globalGain = -6, .expectedDb = -6};
        QTest::newRow("+1000 dB band limited") << EqCase{.gain = 1000, .expectedDb = 24};
        QTest::newRow("-infinite band limited") << EqCase{.gain = -inf, .expectedDb = -24};
        QTest::newRow("+1000 dB global limited") << EqCase{.globalGain = 1000, .expectedDb = 24};
        QTest::newRow("NaN gains count as 0 dB") << EqCase{.gain = nan, .globalGain = nan, .expectedDb = 0};
    }

    void equalizerResponse()
    {
        QFETCH(EqCase, eq);
        const auto [band, gain, globalGain, bypassed, rate, frequency, expectedDb] = eq;
        Rig rig(2, rate);
        rig.core.equalizer().setBandGain(band, gain);
        rig.core.equalizer().setGlobalGain(globalGain);
        rig.core.equalizer().setBypassed(bypassed);
        const Channels sine = signal(2, std::size_t(rate * 1.5), frequency, rate);
        rig.queue(sine);
        const std::vector<float> out = rig.render(sine[0].size());
        if (std::isnan(expectedDb)) {
            QVERIFY(out == interleave(sine));
            return;
        }
        double inputEnergy = 0;
        double outputEnergy = 0;
        for (std::size_t n = sine[0].size() / 3; n < sine[0].size(); ++n) { // once the filters settled
            inputEnergy += double(sine[0][n]) * sine[0][n];
            outputEnergy += double(out[2 * n]) * out[2 * n];
        }
        const double measured = 10.0 * std::log10(outputEnergy / inputEnergy);
        QVERIFY2(std::abs(measured - expectedDb) <= 0.5, qPrintable(QString::number(measured)));
    }

    void pauseKeepsQueueAndStopDiscardsIt()
    {
        Rig rig;
        const Channels first = signal(2, 3000);
        rig.queue(first);
        rig.queue(signal(2, 3000));
        rig.render(500);
        rig.core.setPlaying(false);
        QVERIFY(allEqual(rig.render(1024), 0.0f));
        QVERIFY(rig.core.time().hasTime);
        QCOMPARE(rig.core.time().frames, 500);
        rig.core.setPlaying(true);
        const std::vector<float> resumed = rig.render(500);
        QVERIFY(std::equal(resumed.begin(), resumed.end(), interleave(first).begin() + 1000));
        QVERIFY(rig.released().empty());

        rig.core.stop(1);
        // Accepted with the old generation after the stop: refused at once.
        QVERIFY(!rig.queue(signal(2, 400), 0));
        const Channels fresh = signal(2, 300);
        QVERIFY(rig.queue(fresh, 1));
        QVERIFY(allEqual(rig.render(1024), 0.0f)); // silent until play
        QCOMPARE(rig.released(), std::vector<qint64>({0, 0}));
        rig.core.setPlaying(true);
        QVERIFY(rig.render(1024) == interleave(fresh, 724)); // nothing stale
        QCOMPARE(rig.core.time().frames, 300);
    }

    void malformedBuffersArePaddedAndReleasedOnce()
    {
        Rig rig(3);
        rig.queue(Channels{{0.1f, 0.2f, 0.3f}, {0.5f}}); // short second channel, third missing
        rig.queue(Channels{});
        rig.queue(Channels{{0.7f}, {0.8f}, {0.9f}, {0.4f, 0.4f}}); // an extra fourth
        rig.queue(Channels{std::vector<float>(2000, 0.6f)});
        const std::vector<float> expected{0.1f, 0.5f, 0.0f, 0.2f, 0.0f, 0.0f, 0.3f, 0.0f,
                                          0.0f, 0.7f, 0.8f, 0.9f, 0.6f, 0.0f, 0.0f};
        QVERIFY(rig.render(5) == expected);
        QCOMPARE(rig.released().size(), 3u);
        rig.render(1998);
        QVERIFY(rig.released().empty());
        rig.render(2048);
        QCOMPARE(rig.released().size(), 1u);
        QCOMPARE(rig.core.time().frames, 2004);
    }

    void volumeRampsOverOnePeriod()
    {
        Rig rig(1);
        rig.queue(Channels{std::vector<float>(1000, 1.0f)});
        rig.core.setVolume(0.0f);
        const std::vector<float> down = rig.render(100);
        QVERIFY(std::adjacent_find(down.begin(), down.end(), std::less_equal<>()) == down.end());
        QVERIFY(down.front() > 0.98f && down.back() == 0.0f);
        rig.core.setVolume(0.5f);
        QVERIFY(rig.render(100).front() < 0.01f);
        QVERIFY(allEqual(rig.render(100), 0.5f));
    }
};

QTEST_GUILESS_MAIN(RenderCoreTest)
#include "tst_rendercore.moc"
