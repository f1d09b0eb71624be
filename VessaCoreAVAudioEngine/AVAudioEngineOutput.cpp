#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"

#include "VessaCore/Error.h"
#include "VessaCore/ThreadStart.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutputError.h"
#include "VessaCoreAVAudioEngine/SdlAudioDevice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace vessa {

namespace {

constexpr double maxSampleRate = 1'000'000.0;

// Limits to 0...1; NaN counts as 1.
float limitedVolume(float volume)
{
    const float atMostOne = std::isnan(volume) ? 1.0f : std::min(volume, 1.0f);
    return std::max(atMostOne, 0.0f);
}

// Truncates toward zero and saturates; NaN gives 0.
qint64 framePosition(double seconds, double sampleRate)
{
    const double frames = std::trunc(seconds * sampleRate);
    if (std::isnan(frames))
        return 0;
    if (frames >= 0x1p63)
        return std::numeric_limits<qint64>::max();
    if (frames < -0x1p63)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(frames);
}

void sleepFor(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

} // namespace

AVAudioEngineOutput::AVAudioEngineOutput() : AVAudioEngineOutput(std::make_unique<SdlAudioDevice>())
{
}

AVAudioEngineOutput::AVAudioEngineOutput(std::unique_ptr<AudioDevice> device, Sleeper sleeper)
    : m_device(std::move(device)), m_sleeper(sleeper ? std::move(sleeper) : Sleeper(sleepFor))
{
}

AVAudioEngineOutput::~AVAudioEngineOutput()
{
    m_device->close();
    if (m_releaseThread.joinable()) {
        m_releaseThread.request_stop();
        m_releaseThread.join();
    }
}

AVAudioEngineOutput::EngineFormat AVAudioEngineOutput::engineFormat(const AudioFormat& format)
{
    // The device takes whole hertz and replaces 0 Hz or 0 channels with its
    // own choice without saying so: refuse those instead, and more channels
    // than the render core processes.
    if (format.channelCount < 1 || format.channelCount > Equalizer::maxChannels
        || !(format.sampleRate >= 0.5 && format.sampleRate <= maxSampleRate))
        throw AVAudioEngineOutputError(AVAudioEngineOutputError::Kind::invalidFormat);
    return EngineFormat{format.sampleRate, static_cast<int>(format.channelCount), format.interleaved};
}

void AVAudioEngineOutput::prepare(const AudioFormat& format)
{
    const EngineFormat wanted = engineFormat(format);
    std::lock_guard lock(m_controlMutex);
    // Started with the first stream, not with the output: a refusal fails
    // this preparation only, and the next one asks again.
    if (!m_releaseThread.joinable())
        m_releaseThread = startThread([this](std::stop_token stop) { releaseLoop(stop); });
    if (m_format == wanted) {
        if (!m_device->isStarted())
            startDeviceLocked();
        return;
    }
    m_format = wanted;
    m_device->close();
    m_core.configure(wanted.channelCount, wanted.sampleRate);
    m_preparedChannels.store(wanted.channelCount, std::memory_order_release);
    m_preparedSampleRate.store(wanted.sampleRate, std::memory_order_release);
    startDeviceLocked();
}

void AVAudioEngineOutput::startDeviceLocked()
{
    if (!m_device->isOpen())
        m_device->open(DeviceFormat{m_format->sampleRate, m_format->channelCount}, m_core);
    m_device->start();
}

void AVAudioEngineOutput::schedule(PCMBuffer buffer, std::stop_token stop)
{
    const int channels = m_preparedChannels.load(std::memory_order_acquire);
    if (channels == 0)
        throw AVAudioEngineOutputError(AVAudioEngineOutputError::Kind::notPrepared);
    const qint64 generation = m_scheduler.acquireSlot(stop);
    if (stop.stop_requested())
        throw CancellationError(); // the slot stays counted until the next stop()
    // A buffer whose slot went stale while it waited (a stop() came in
    // between) is dropped here and never reaches the device.
    const bool queued = m_core.queue().push(QueuedBuffer::from(std::move(buffer), channels, generation), stop);
    if (!queued && stop.stop_requested())
        throw CancellationError();
}

void AVAudioEngineOutput::play()
{
    std::lock_guard lock(m_controlMutex);
    if (m_format && !m_device->isStarted())
        startDeviceLocked();
    m_core.setPlaying(true);
}

void AVAudioEngineOutput::pause()
{
    m_core.setPlaying(false);
}

void AVAudioEngineOutput::stop()
{
    std::lock_guard lock(m_controlMutex);
    // The render core learns the new generation first, so that no buffer of
    // the old one can be queued and played after this point.
    m_core.stop(m_scheduler.generation() + 1);
    m_startingFramePosition.store(0, std::memory_order_release);
    m_scheduler.reset();
}

void AVAudioEngineOutput::seek(double seconds)
{
    std::lock_guard lock(m_controlMutex);
    if (!m_format)
        return;
    m_startingFramePosition.store(framePosition(seconds, m_format->sampleRate), std::memory_order_release);
}

void AVAudioEngineOutput::waitForQueueDrained(std::stop_token stop)
{
    m_scheduler.waitUntilDrained(stop);
}

double AVAudioEngineOutput::currentTime() const
{
    const double sampleRate = m_preparedSampleRate.load(std::memory_order_acquire);
    const RenderCore::Time time = m_core.time();
    if (!(sampleRate > 0.0) || !time.hasTime || time.generation != m_core.generation())
        return 0.0;
    const auto start = static_cast<double>(m_startingFramePosition.load(std::memory_order_acquire));
    return (static_cast<double>(time.frames) + start) / sampleRate;
}

void AVAudioEngineOutput::setVolumeLinear(float volume)
{
    m_core.setVolume(limitedVolume(volume));
}

void AVAudioEngineOutput::setVolumePerceived(float volume)
{
    const float x = limitedVolume(volume);
    m_core.setVolume(limitedVolume(x * x * x));
}

float AVAudioEngineOutput::volume() const
{
    return m_core.volume();
}

void AVAudioEngineOutput::fadeOutSync(double duration)
{
    const float start = m_core.volume();
    if (!(start > 0.0f))
        return;
    const double step = duration / fadeSteps;
    // A negative, NaN or endless duration fades without waiting.
    const bool sleeps = std::isfinite(step) && step > 0.0;
    for (int i = 1; i <= fadeSteps; ++i) {
        m_core.setVolume(start * (static_cast<float>(i) / -static_cast<float>(fadeSteps) + 1.0f));
        if (sleeps)
            m_sleeper(step);
    }
    m_core.setVolume(0.0f);
}

void AVAudioEngineOutput::setEQBandGain(int band, float gain)
{
    m_core.equalizer().setBandGain(band, gain);
}

void AVAudioEngineOutput::setEQGlobalGain(float gain)
{
    m_core.equalizer().setGlobalGain(gain);
}

void AVAudioEngineOutput::setEQBypassed(bool bypassed)
{
    m_core.equalizer().setBypassed(bypassed);
}

void AVAudioEngineOutput::releaseLoop(std::stop_token stop)
{
    BufferQueue& queue = m_core.queue();
    while (!stop.stop_requested()) {
        queue.waitForFinished(stop);
        queue.collectFinished([this](qint64 generation) { m_scheduler.releaseSlot(generation); });
    }
}

} // namespace vessa
