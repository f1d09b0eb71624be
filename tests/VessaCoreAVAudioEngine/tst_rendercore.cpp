#include "VessaCoreAVAudioEngine/RenderCore.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <numbers>

using namespace vessa;

namespace {

using Channels = std::vector<std::vector<float>>;

constexpr std::size_t period = 1024;

// A core configured and playing, with helpers to queue and pull samples.
struct Rig {
    explicit Rig(int channels = 2, double rate = 44100.0)
        : channelCount(channels), sampleRate(rate)
    {
        core.configure(channels, rate);
        core.setPlaying(true);
    }

    bool queue(Channels data, qint64 generation = 0)
    {
        PCMBuffer buffer(AudioFormat(sampleRate, channelCount, 4, false), std::move(data));
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
    double sampleRate;
    RenderCore core;
};

// Deterministic, non-silent test signal.
Channels ramp(int channels, std::size_t frames, float offset = 0.0f)
{
    Channels data(static_cast<std::size_t>(channels), std::vector<float>(frames));
    for (std::size_t c = 0; c < data.size(); ++c)
        for (std::size_t n = 0; n < frames; ++n)
            data[c][n] = offset + 0.001f * static_cast<float>(n % 700) - 0.3f * static_cast<float>(c) + 0.01f;
    return data;
}

std::vector<float> interleave(const Channels& data)
{
    std::vector<float> out;
    for (std::size_t n = 0; n < data.front().size(); ++n)
        for (const auto& channel : data)
            out.push_back(channel[n]);
    return out;
}

bool allFinite(const std::vector<float>& samples)
{
    return std::all_of(samples.begin(), samples.end(), [](float s) { return std::isfinite(s); });
}

bool allZero(const std::vector<float>& samples)
{
    return std::all_of(samples.begin(), samples.end(), [](float s) { return s == 0.0f; });
}

// Level change in dB that the core applies to a sine of `frequency`, measured
// on channel 0 after the filters settled.
double measuredGainDb(Rig& rig, double frequency)
{
    const auto frames = static_cast<std::size_t>(rig.sampleRate * 1.5);
    Channels sine(static_cast<std::size_t>(rig.channelCount), std::vector<float>(frames));
    for (std::size_t n = 0; n < frames; ++n)
        for (auto& channel : sine)
            channel[n] = static_cast<float>(0.25 * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(n) / rig.sampleRate));
    const std::size_t chunk = 8192;
    double inputEnergy = 0;
    double outputEnergy = 0;
    const std::size_t measureFrom = frames / 3;
    for (std::size_t start = 0; start < frames; start += chunk) {
        const std::size_t count = std::min(chunk, frames - start);
        Channels piece;
        for (const auto& channel : sine)
            piece.emplace_back(channel.begin() + static_cast<std::ptrdiff_t>(start), channel.begin() + static_cast<std::ptrdiff_t>(start + count));
        rig.queue(piece);
        const std::vector<float> out = rig.render(count);
        rig.released();
        for (std::size_t n = 0; n < count; ++n) {
            if (start + n < measureFrom)
                continue;
            inputEnergy += double(piece[0][n]) * piece[0][n];
            outputEnergy += double(out[n * static_cast<std::size_t>(rig.channelCount)]) * out[n * static_cast<std::size_t>(rig.channelCount)];
        }
    }
    return 10.0 * std::log10(outputEnergy / inputEnergy);
}

} // namespace

class RenderCoreTest : public QObject {
    Q_OBJECT

private slots:
    void transparentSettingsAreBitExact_data();
    void transparentSettingsAreBitExact();
    void bandGainMeasured_data();
    void bandGainMeasured();
    void extremeSettingsStayFinite_data();
    void extremeSettingsStayFinite();
    void pauseKeepsQueueAndPosition();
    void stopSilencesAndForgetsPosition();
    void staleGenerationIsNeverRendered();
    void eachBufferReleasedOnce();
    void malformedBuffersArePadded();
    void volumeRampsOverOnePeriod();
};

void RenderCoreTest::transparentSettingsAreBitExact_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("bypassed");
    QTest::addColumn<int>("band");
    QTest::addColumn<double>("rate");
    QTest::newRow("flat stereo") << 2 << false << 0 << 44100.0;
    QTest::newRow("flat mono") << 1 << false << 0 << 44100.0;
    QTest::newRow("flat 8 channels") << 8 << false << 0 << 44100.0;
    QTest::newRow("bypassed with gains") << 2 << true << 0 << 44100.0;
    QTest::newRow("band -1 ignored") << 2 << false << -1 << 44100.0;
    QTest::newRow("band 10 ignored") << 2 << false << 10 << 44100.0;
    QTest::newRow("16 kHz band at 22050 Hz is flat") << 2 << false << 9 << 22050.0;
}

void RenderCoreTest::transparentSettingsAreBitExact()
{
    QFETCH(int, channels);
    QFETCH(bool, bypassed);
    QFETCH(int, band);
    QFETCH(double, rate);
    Rig rig(channels, rate);
    if (bypassed) {
        for (int b = 0; b < EqualizerSettings::bandCount; ++b)
            rig.core.equalizer().setBandGain(b, 9.0f);
        rig.core.equalizer().setGlobalGain(-4.0f);
        rig.core.equalizer().setBypassed(true);
    } else if (band != 0) {
        rig.core.equalizer().setBandGain(band, 12.0f);
    }
    const Channels first = ramp(channels, 1500);
    const Channels second = ramp(channels, 700, 0.2f);
    QVERIFY(rig.queue(first));
    QVERIFY(rig.queue(second));

    std::vector<float> expected = interleave(first);
    const std::vector<float> tail = interleave(second);
    expected.insert(expected.end(), tail.begin(), tail.end());
    expected.resize(expected.size() + 100 * static_cast<std::size_t>(channels), 0.0f);

    std::vector<float> out = rig.render(period);
    const std::vector<float> rest = rig.render(2300 - period);
    out.insert(out.end(), rest.begin(), rest.end());
    QVERIFY(out == expected);
}

void RenderCoreTest::bandGainMeasured_data()
{
    QTest::addColumn<int>("band");
    QTest::addColumn<float>("gain");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("expectedDb");
    QTest::newRow("+6 dB at 1 kHz centre") << 5 << 6.0f << 1000.0 << 6.0;
    QTest::newRow("1 kHz band, two octaves above") << 5 << 6.0f << 4000.0 << 0.0;
    QTest::newRow("1 kHz band, two octaves below") << 5 << 6.0f << 250.0 << 0.0;
    QTest::newRow("-6 dB at 32 Hz centre") << 0 << -6.0f << 32.0 << -6.0;
    QTest::newRow("band 9 is 16 kHz") << 9 << 6.0f << 16000.0 << 6.0;
    QTest::newRow("gain limited to 24 dB") << 5 << 60.0f << 1000.0 << 24.0;
}

void RenderCoreTest::bandGainMeasured()
{
    QFETCH(int, band);
    QFETCH(float, gain);
    QFETCH(double, frequency);
    QFETCH(double, expectedDb);
    Rig rig;
    rig.core.equalizer().setBandGain(band, gain);
    const double measured = measuredGainDb(rig, frequency);
    QVERIFY2(std::abs(measured - expectedDb) <= 0.5, qPrintable(QString::number(measured)));
}

void RenderCoreTest::extremeSettingsStayFinite_data()
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::addColumn<float>("bandGain");
    QTest::addColumn<float>("globalGain");
    QTest::addColumn<double>("rate");
    QTest::newRow("+1000 dB") << 1000.0f << 1000.0f << 44100.0;
    QTest::newRow("-1000 dB") << -1000.0f << -1000.0f << 44100.0;
    QTest::newRow("infinite") << inf << inf << 44100.0;
    QTest::newRow("-infinite") << -inf << -inf << 44100.0;
    QTest::newRow("NaN") << nan << nan << 44100.0;
    QTest::newRow("16 kHz band at 22050 Hz") << 24.0f << 0.0f << 22050.0;
    QTest::newRow("8 kHz rate") << 24.0f << 24.0f << 8000.0;
}

void RenderCoreTest::extremeSettingsStayFinite()
{
    QFETCH(float, bandGain);
    QFETCH(float, globalGain);
    QFETCH(double, rate);
    Rig rig(2, rate);
    for (int band = 0; band < EqualizerSettings::bandCount; ++band)
        rig.core.equalizer().setBandGain(band, bandGain);
    rig.core.equalizer().setGlobalGain(globalGain);
    Channels loud(2, std::vector<float>(20000));
    for (std::size_t n = 0; n < loud[0].size(); ++n)
        loud[0][n] = loud[1][n] = (n % 37 < 18) ? 1.0f : -1.0f;
    rig.queue(loud);
    for (int i = 0; i < 25; ++i)
        QVERIFY(allFinite(rig.render(period)));
}

void RenderCoreTest::pauseKeepsQueueAndPosition()
{
    Rig rig;
    const Channels data = ramp(2, 3000);
    rig.queue(data);
    const std::vector<float> all = interleave(data);

    const std::vector<float> first = rig.render(500);
    QVERIFY(std::equal(first.begin(), first.end(), all.begin()));
    rig.core.setPlaying(false);
    QVERIFY(allZero(rig.render(period)));
    QCOMPARE(rig.core.time().frames, 500);
    QVERIFY(rig.core.time().hasTime);
    QVERIFY(rig.released().empty());

    rig.core.setPlaying(true);
    const std::vector<float> resumed = rig.render(500);
    QVERIFY(std::equal(resumed.begin(), resumed.end(), all.begin() + 1000));
    QCOMPARE(rig.core.time().frames, 1000);
}

void RenderCoreTest::stopSilencesAndForgetsPosition()
{
    Rig rig;
    rig.queue(ramp(2, 3000));
    rig.queue(ramp(2, 3000));
    rig.render(period);
    QCOMPARE(rig.core.time().frames, qint64(period));

    rig.core.stop(1);
    QVERIFY(allZero(rig.render(period)));
    QCOMPARE(rig.core.time().generation, 1);
    QVERIFY(!rig.core.time().hasTime);
    QCOMPARE(rig.core.time().frames, 0);
    // Both discarded buffers are handed back, with their old generation.
    QCOMPARE(rig.released(), std::vector<qint64>({0, 0}));

    // Still silent until told to play.
    QVERIFY(rig.queue(ramp(2, 100), 1));
    QVERIFY(allZero(rig.render(period)));
    QVERIFY(!rig.core.time().hasTime);
    rig.core.setPlaying(true);
    QVERIFY(!allZero(rig.render(period)));
    QCOMPARE(rig.core.time().frames, 100);
}

void RenderCoreTest::staleGenerationIsNeverRendered()
{
    Rig rig;
    QVERIFY(rig.queue(ramp(2, 400, 0.5f), 0));
    rig.core.stop(1);
    // Pushed after the stop with the old generation: refused at once.
    QVERIFY(!rig.queue(ramp(2, 400, 0.5f), 0));
    const Channels fresh = ramp(2, 300);
    QVERIFY(rig.queue(fresh, 1));
    rig.core.setPlaying(true);

    std::vector<float> expected = interleave(fresh);
    expected.resize(period * 2, 0.0f);
    QVERIFY(rig.render(period) == expected);
    QCOMPARE(rig.released(), std::vector<qint64>({0, 1}));
    QCOMPARE(rig.core.time().frames, 300);
}

void RenderCoreTest::eachBufferReleasedOnce()
{
    Rig rig;
    rig.queue(ramp(2, 600));
    rig.queue(Channels {{}, {}});
    rig.queue(ramp(2, 10));
    rig.queue(Channels {});
    rig.queue(ramp(2, 2000));

    rig.render(600);
    QCOMPARE(rig.released().size(), 1u);
    rig.render(11); // through the empty buffers into the last
    QCOMPARE(rig.released().size(), 3u);
    rig.render(period);
    QVERIFY(rig.released().empty());
    rig.render(period);
    QCOMPARE(rig.released().size(), 1u);
    rig.render(period);
    QVERIFY(rig.released().empty());
    QCOMPARE(rig.core.time().frames, 2610);
}

void RenderCoreTest::malformedBuffersArePadded()
{
    Rig rig(3);
    // Second channel short, third missing, an extra fourth one.
    rig.queue(Channels {{0.1f, 0.2f, 0.3f}, {0.5f}, });
    rig.queue(Channels {{0.7f}, {0.8f}, {0.9f}, {0.4f, 0.4f}});
    const std::vector<float> out = rig.render(5);
    const std::vector<float> expected {0.1f, 0.5f, 0.0f, 0.2f, 0.0f, 0.0f, 0.3f, 0.0f, 0.0f,
                                       0.7f, 0.8f, 0.9f, 0.0f, 0.0f, 0.0f};
    QVERIFY(out == expected);
    QCOMPARE(rig.core.time().frames, 4);
}

void RenderCoreTest::volumeRampsOverOnePeriod()
{
    Rig rig(1);
    rig.queue(Channels {std::vector<float>(3000, 1.0f)});
    rig.core.setVolume(0.0f);
    const std::vector<float> ramped = rig.render(100);
    for (std::size_t n = 1; n < ramped.size(); ++n)
        QVERIFY(ramped[n] < ramped[n - 1]);
    QVERIFY(ramped.front() > 0.98f);
    QCOMPARE(ramped.back(), 0.0f);
    QVERIFY(allZero(rig.render(100)));

    rig.core.setVolume(0.5f);
    const std::vector<float> up = rig.render(100);
    QVERIFY(up.front() > 0.0f && up.front() < 0.01f);
    QCOMPARE(up.back(), 0.5f);
    const std::vector<float> steady = rig.render(100);
    QVERIFY(std::all_of(steady.begin(), steady.end(), [](float s) { return s == 0.5f; }));
}

QTEST_GUILESS_MAIN(RenderCoreTest)
#include "tst_rendercore.moc"
