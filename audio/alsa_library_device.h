#pragma once
// An ALSA device of the audio library, set up for the player's stream from what ALSA
// itself says of its chain (alsa_chain.h) rather than from the library's probe, which
// falls short on chains `aplay` plays. Only devices of the library's ALSA backend that
// are not raw (`hw:` devices the library opens without ALSA's plug) are asked.
//
// GUI thread, with the device's context not in use by another thread meanwhile (the
// device record is the library's, changed in place).
#include "audio/alsa_chain.h"

struct SoundIo;
struct SoundIoDevice;

// What the chain of `device` ends at, when it is an ALSA device ALSA plays as `aplay`
// does (float32 stereo at 48 kHz); false otherwise (another backend, a raw device, or a
// device ALSA cannot play so).
bool alsa_library_chain_end(const SoundIo& context, const SoundIoDevice& device, AlsaChainEnd* end);

// A device whose probe by the library failed (a `route` chain: the library asks for
// its largest channel count and then its highest rate, which ALSA refuses together) is
// made usable when ALSA plays it: its probe error is cleared, so the library opens a
// stream on it that names its format, rate and layout itself. False, and the record
// unchanged, when ALSA cannot play it either.
bool alsa_library_accept_unprobed(const SoundIo& context, SoundIoDevice* device);

// Widens the device's latency bounds to take `seconds`: the library clamps the stream's
// buffer to them, and works them out at extreme rates on a device that converts (a few
// microseconds) or not at all when its probe failed. ALSA picks the buffer nearest the
// one asked itself.
void alsa_library_allow_latency(SoundIoDevice* device, double seconds);
