// Throughput of the render core with all ten equaliser bands engaged: stereo,
// 44.1 kHz, 1024-frame periods, 8192-frame buffers. Prints frames per second
// for the whole render path (queue, filters, volume, interleaving) and for
// the filter bank alone.
//
// Usage: bench_equalizer [input.raw]  (interleaved stereo float32; without it
// 30 seconds of deterministic noise are generated)

#include "VessaCoreAVAudioEngine/Equalizer.h"
#include "VessaCoreAVAudioEngine/RenderCore.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

using namespace vessa;

namespace {

constexpr double sampleRate = 44100.0;
constexpr int channels = 2;
constexpr std::size_t bufferFrames = 8192;
constexpr std::size_t periodFrames = 1024;
// The same gains as equalizer_vs_sox.sh.
constexpr float bandGains[10] = {3, -2, 4, -3, 2, -4, 5, -1, 3, -2};
constexpr double minimumSeconds = 1.0;

using SteadyClock = std::chrono::steady_clock;

std::vector<float> loadInterleaved(const char* path)
{
    std::vector<float> samples;
    if (path) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        samples.resize(bytes.size() / sizeof(float) / channels * channels);
        std::copy_n(bytes.data(), samples.size() * sizeof(float), reinterpret_cast<char*>(samples.data()));
    } else {
        std::mt19937 random(42);
        std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
        samples.resize(static_cast<std::size_t>(30 * sampleRate) * channels);
        for (float& sample : samples)
            sample = noise(random);
    }
    return samples;
}

std::vector<PCMBuffer> planarBuffers(const std::vector<float>& interleaved)
{
    std::vector<PCMBuffer> buffers;
    const std::size_t frames = interleaved.size() / channels;
    for (std::size_t start = 0; start < frames; start += bufferFrames) {
        const std::size_t count = std::min(bufferFrames, frames - start);
        std::vector<std::vector<float>> data(channels, std::vector<float>(count));
        for (std::size_t n = 0; n < count; ++n)
            for (std::size_t c = 0; c < channels; ++c)
                data[c][n] = interleaved[(start + n) * channels + c];
        buffers.emplace_back(AudioFormat(sampleRate, channels, 4, false), std::move(data));
    }
    return buffers;
}

double renderCoreFramesPerSecond(const std::vector<PCMBuffer>& buffers)
{
    RenderCore core;
    core.configure(channels, sampleRate);
    for (int band = 0; band < EqualizerSettings::bandCount; ++band)
        core.equalizer().setBandGain(band, bandGains[band]);
    core.setPlaying(true);
    std::vector<float> out(periodFrames * channels);
    std::size_t frames = 0;
    double elapsed = 0;
    while (elapsed < minimumSeconds) {
        for (const PCMBuffer& buffer : buffers) {
            PCMBuffer copy = buffer; // a decoder hands over a fresh buffer each time
            const auto start = SteadyClock::now();
            core.queue().push(QueuedBuffer::from(std::move(copy), channels, 0), {});
            for (std::size_t done = 0; done < buffer.channelData[0].size(); done += periodFrames)
                core.render(out.data(), periodFrames);
            core.queue().collectFinished([](qint64) {});
            elapsed += std::chrono::duration<double>(SteadyClock::now() - start).count();
            frames += (buffer.channelData[0].size() + periodFrames - 1) / periodFrames * periodFrames;
        }
    }
    return static_cast<double>(frames) / elapsed;
}

double equalizerFramesPerSecond(const std::vector<float>& interleaved)
{
    EqualizerSettings settings;
    for (int band = 0; band < EqualizerSettings::bandCount; ++band)
        settings.setBandGain(band, bandGains[band]);
    Equalizer equalizer;
    equalizer.configure(channels, sampleRate);
    equalizer.update(settings);
    std::vector<double> block(periodFrames * channels);
    const std::size_t frames = interleaved.size() / channels;
    std::size_t processed = 0;
    double elapsed = 0;
    while (elapsed < minimumSeconds) {
        const auto start = SteadyClock::now();
        for (std::size_t first = 0; first + periodFrames <= frames; first += periodFrames) {
            std::copy_n(interleaved.begin() + static_cast<std::ptrdiff_t>(first * channels), block.size(),
                        block.begin());
            equalizer.process(block.data(), periodFrames);
            processed += periodFrames;
        }
        elapsed += std::chrono::duration<double>(SteadyClock::now() - start).count();
    }
    return static_cast<double>(processed) / elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<float> interleaved = loadInterleaved(argc > 1 ? argv[1] : nullptr);
    if (interleaved.size() < periodFrames * channels) {
        std::fprintf(stderr, "bench_equalizer: input too short\n");
        return 1;
    }
    const std::vector<PCMBuffer> buffers = planarBuffers(interleaved);
    std::printf("render_core_frames_per_second %.0f\n", renderCoreFramesPerSecond(buffers));
    std::printf("equalizer_frames_per_second %.0f\n", equalizerFramesPerSecond(interleaved));
    return 0;
}
