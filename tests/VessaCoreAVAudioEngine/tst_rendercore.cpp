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

} // namespace

class RenderCoreTest : public QObject {
    Q_OBJECT

private slots:
    void transparentSettingsAreBitExact_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("band");
        QTest::addColumn<float>("gain");
        QTest::addColumn<bool>("bypassed");
        QTest::newRow("flat stereo") << 2 << 44100.0 << 0 << 0.0f << false;
        QTest::newRow("flat 8 channels") << 8 << 44100.0 << 4 << 0.0f << false;
        QTest::newRow("bypassed with gains") << 2 << 44100.0 << 0 << 9.0f << true;
        QTest::newRow("band -1 ignored") << 2 << 44100.0 << -1 << 12.0f << false;
        QTest::newRow("band 10 ignored") << 2 << 44100.0 << 10 << 12.0f << false;
        QTest::newRow("16 kHz band at 22050 Hz is flat") << 2 << 22050.0 << 9 << 12.0f << false;
    }

    void transparentSettingsAreBitExact()
    {
        QFETCH(int, channels);
        QFETCH(double, rate);
        QFETCH(int, band);
        QFETCH(float, gain);
        QFETCH(bool, bypassed);
        Rig rig(channels, rate);
        rig.core.equalizer().setBandGain(band, gain);
        rig.core.equalizer().setGlobalGain(bypassed ? -4.0f : 0.0f);
        rig.core.equalizer().setBypassed(bypassed);
        const Channels first = signal(channels, 1500);
        const Channels second = signal(channels, 700);
        QVERIFY(rig.queue(first) && rig.queue(second));
        std::vector<float> expected = interleave(first);
        const std::vector<float> tail = interleave(second, 100);
        expected.insert(expected.end(), tail.begin(), tail.end());
        QVERIFY(rig.render(2300) == expected);
    }

    void gainMeasured_data()
    {
        constexpr float inf = std::numeric_limits<float>::infinity();
        constexpr float nan = std::numeric_limits<float>::quiet_NaN();
        QTest::addColumn<int>("band");
        QTest::addColumn<float>("gain");
        QTest::addColumn<float>("globalGain");
        QTest::addColumn<double>("rate");
        QTest::addColumn<double>("frequency");
        QTest::addColumn<double>("expectedDb");
        QTest::newRow("+6 dB at the 1 kHz centre") << 5 << 6.0f << 0.0f << 44100.0 << 1000.0 << 6.0;
        QTest::newRow("1 kHz band, two octaves above") << 5 << 6.0f << 0.0f << 44100.0 << 4000.0 << 0.0;
        QTest::newRow("1 kHz band, two octaves below") << 5 << 6.0f << 0.0f << 44100.0 << 250.0 << 0.0;
        QTest::newRow("band 9 is 16 kHz") << 9 << 6.0f << 0.0f << 44100.0 << 16000.0 << 6.0;
        QTest::newRow("global gain") << 5 << 0.0f << -6.0f << 44100.0 << 1000.0 << -6.0;
        QTest::newRow("+1000 dB band limited") << 5 << 1000.0f << 0.0f << 44100.0 << 1000.0 << 24.0;
        QTest::newRow("-infinite band limited") << 5 << -inf << 0.0f << 44100.0 << 1000.0 << -24.0;
        QTest::newRow("+1000 dB global limited") << 5 << 0.0f << 1000.0f << 44100.0 << 1000.0 << 24.0;
        QTest::newRow("NaN gains count as 0 dB") << 5 << nan << nan << 44100.0 << 1000.0 << 0.0;
        QTest::newRow("16 kHz band at 22050 Hz is flat") << 9 << 24.0f << 0.0f << 22050.0 << 10000.0 << 0.0;
    }

    void gainMeasured()
    {
        QFETCH(int, band);
        QFETCH(float, gain);
        QFETCH(float, globalGain);
        QFETCH(double, rate);
        QFETCH(double, frequency);
        QFETCH(double, expectedDb);
        Rig rig(2, rate);
        rig.core.equalizer().setBandGain(band, gain);
        rig.core.equalizer().setGlobalGain(globalGain);
        const Channels sine = signal(2, std::size_t(rate * 1.5), frequency, rate);
        rig.queue(sine);
        const std::vector<float> out = rig.render(sine[0].size());
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
        QCOMPARE(rig.core.time().generation, 1);
        QVERIFY(!rig.core.time().hasTime);
        QCOMPARE(rig.released(), std::vector<qint64>({0, 0}));
        rig.core.setPlaying(true);
        QVERIFY(rig.render(1024) == interleave(fresh, 724)); // nothing stale
        QCOMPARE(rig.core.time().frames, 300);
    }

    void malformedBuffersArePaddedAndReleasedOnce()
    {
        Rig rig(3);
        rig.queue(Channels {{0.1f, 0.2f, 0.3f}, {0.5f}}); // short second channel, third missing
        rig.queue(Channels {});
        rig.queue(Channels {{0.7f}, {0.8f}, {0.9f}, {0.4f, 0.4f}}); // an extra fourth
        rig.queue(Channels {std::vector<float>(2000, 0.6f)});
        const std::vector<float> expected {0.1f, 0.5f, 0.0f, 0.2f, 0.0f, 0.0f, 0.3f, 0.0f, 0.0f,
                                           0.7f, 0.8f, 0.9f, 0.6f, 0.0f, 0.0f};
        QVERIFY(rig.render(5) == expected);
        QCOMPARE(rig.released().size(), 3u);
        rig.render(1998);
        QVERIFY(rig.released().empty());
        rig.render(1024);
        QCOMPARE(rig.released().size(), 1u);
        rig.render(1024);
        QVERIFY(rig.released().empty());
        QCOMPARE(rig.core.time().frames, 2004);
    }

    void volumeRampsOverOnePeriod()
    {
        Rig rig(1);
        rig.queue(Channels {std::vector<float>(1000, 1.0f)});
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
