#include "VessaCoreAVAudioEngine/SdlAudioDevice.h"

#include "VessaCoreAVAudioEngine/AVAudioEngineOutputError.h"
#include "VessaCoreAVAudioEngine/RenderCore.h"

#include <SDL.h>

#include <cmath>
#include <cstring>

namespace vessa {

namespace {

AVAudioEngineOutputError sdlFailure()
{
    return AVAudioEngineOutputError(AVAudioEngineOutputError::Kind::deviceStartFailed,
                                    QString::fromUtf8(SDL_GetError()));
}

void SDLCALL renderCallback(void* userData, Uint8* stream, int length)
{
    auto* core = static_cast<RenderCore*>(userData);
    const auto frameBytes = static_cast<std::size_t>(core->channelCount()) * sizeof(float);
    const auto bytes = static_cast<std::size_t>(length);
    const std::size_t frames = frameBytes == 0 ? 0 : bytes / frameBytes;
    core->render(reinterpret_cast<float*>(stream), frames);
    std::memset(stream + frames * frameBytes, 0, bytes - frames * frameBytes);
}

} // namespace

// Keeps SDL's audio subsystem initialised while it exists.
class SdlAudioDevice::Subsystem {
public:
    Subsystem()
    {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            throw sdlFailure();
    }
    ~Subsystem() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }
    Subsystem(const Subsystem&) = delete;
    Subsystem& operator=(const Subsystem&) = delete;
};

// One open SDL audio device; closing waits for a running callback to return.
class SdlAudioDevice::Handle {
public:
    Handle(const DeviceFormat& format, RenderCore& core)
    {
        SDL_AudioSpec wanted;
        SDL_zero(wanted);
        wanted.freq = static_cast<int>(std::lround(format.sampleRate));
        wanted.format = AUDIO_F32SYS;
        wanted.channels = static_cast<Uint8>(format.channelCount);
        wanted.samples = periodFrames;
        wanted.callback = renderCallback;
        wanted.userdata = &core;
        SDL_AudioSpec obtained;
        // No changes allowed: SDL converts our stream to what the hardware takes.
        m_id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (m_id == 0)
            throw sdlFailure();
    }
    ~Handle() { SDL_CloseAudioDevice(m_id); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    SDL_AudioDeviceID id() const { return m_id; }

private:
    SDL_AudioDeviceID m_id = 0;
};

SdlAudioDevice::SdlAudioDevice() = default;

SdlAudioDevice::~SdlAudioDevice()
{
    close();
}

void SdlAudioDevice::open(const DeviceFormat& format, RenderCore& core)
{
    close();
    if (!m_subsystem)
        m_subsystem = std::make_unique<Subsystem>();
    m_handle = std::make_unique<Handle>(format, core);
}

void SdlAudioDevice::start()
{
    if (!m_handle)
        return;
    SDL_PauseAudioDevice(m_handle->id(), 0);
    m_started = true;
}

void SdlAudioDevice::close()
{
    m_handle.reset();
    m_started = false;
}

bool SdlAudioDevice::isOpen() const
{
    return m_handle != nullptr;
}

} // namespace vessa
