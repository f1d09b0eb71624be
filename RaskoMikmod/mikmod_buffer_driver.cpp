#include "RaskoMikmod/mikmod_buffer_driver.h"

#include <mikmod.h>

namespace {

constexpr ULONG bufferSize = 32768;

SBYTE* bufdrv_buffer = nullptr;
SBYTE* bufdrv_target = nullptr; // where the next update writes, when not the driver's own buffer
SBYTE* bufdrv_last = nullptr;   // where the last update wrote
uint32_t bufdrv_length = 0;

BOOL BufDrv_IsThere()
{
    return 1;
}

int BufDrv_Init()
{
    bufdrv_buffer = static_cast<SBYTE*>(MikMod_malloc(bufferSize));
    if (!bufdrv_buffer)
        return 1;
    bufdrv_length = 0;
    return VC_Init();
}

void BufDrv_Exit()
{
    VC_Exit();
    MikMod_free(bufdrv_buffer);
    bufdrv_buffer = nullptr;
    bufdrv_length = 0;
}

void BufDrv_Update()
{
    if (!bufdrv_buffer)
        return;
    bufdrv_last = bufdrv_target ? bufdrv_target : bufdrv_buffer;
    bufdrv_length = VC_WriteBytes(bufdrv_last, bufferSize);
}

} // namespace

extern "C" {

MDRIVER drv_mikmod_buffer = {
    nullptr,
    "Buffer",
    "Vessa in-memory buffer driver v1.0",
    255,
    255,
    "buffer",
    nullptr,
    nullptr,
    BufDrv_IsThere,
    VC_SampleLoad,
    VC_SampleUnload,
    VC_SampleSpace,
    VC_SampleLength,
    BufDrv_Init,
    BufDrv_Exit,
    nullptr,
    VC_SetNumVoices,
    VC_PlayStart,
    VC_PlayStop,
    BufDrv_Update,
    nullptr,
    VC_VoiceSetVolume,
    VC_VoiceGetVolume,
    VC_VoiceSetFrequency,
    VC_VoiceGetFrequency,
    VC_VoiceSetPanning,
    VC_VoiceGetPanning,
    VC_VoicePlay,
    VC_VoiceStop,
    VC_VoiceStopped,
    VC_VoiceGetPosition,
    VC_VoiceRealVolume,
};

void mikmod_buffer_driver_register(void)
{
    MikMod_RegisterDriver(&drv_mikmod_buffer);
}

signed char* mikmod_buffer_get_data(void)
{
    return bufdrv_length > 0 ? bufdrv_last : bufdrv_buffer;
}

void mikmod_buffer_set_target(signed char* target)
{
    bufdrv_target = target;
}

uint32_t mikmod_buffer_get_length(void)
{
    return bufdrv_length;
}

void mikmod_buffer_reset_length(void)
{
    bufdrv_length = 0;
}

} // extern "C"
