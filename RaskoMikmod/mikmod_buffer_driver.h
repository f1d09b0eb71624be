#pragma once

// The in-memory output driver "Buffer" of the tracker-module decoder. On every
// MikMod_Update it lets libmikmod's software mixer render one block of 32768
// bytes into a buffer of its own instead of sending it to a device. With the
// decoder's 16-bit stereo mixing mode a block holds 8192 frames of interleaved
// signed 16-bit samples, left first, in the machine's byte order.
//
// The driver takes no lock of its own: its entry points run inside libmikmod
// calls that the decoder makes while holding MikmodLibrary::lock(), and the
// functions below must be called under that lock too.
//
// This header deliberately does not include mikmod.h.

#include <stdint.h>

struct MDRIVER;

extern "C" {

// The driver record handed to libmikmod.
extern struct MDRIVER drv_mikmod_buffer;

// Registers the driver with libmikmod; call once per process, before MikMod_Init.
void mikmod_buffer_driver_register(void);

// The first byte of the last block written (the render buffer when there is
// none); null before MikMod_Init and after MikMod_Exit.
signed char* mikmod_buffer_get_data(void);

// Bytes rendered by the last update (0 after initialisation and after exit).
uint32_t mikmod_buffer_get_length(void);

// Makes the updates write their block to `target` (room for 32768 bytes)
// instead of the driver's own buffer; null goes back to that buffer.
void mikmod_buffer_set_target(signed char* target);

// Forgets the last block, so that an update that renders nothing (the
// library skips the driver while output is off or the module is held back)
// reads as an empty block instead of a repeat of the previous one.
void mikmod_buffer_reset_length(void);

} // extern "C"
