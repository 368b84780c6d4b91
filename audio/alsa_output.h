#pragma once
// The output stream on an ALSA device that is not raw (a `plug` chain, ALSA's default
// on a machine without a sound server), through alsa-lib on a thread of our own. The
// audio I/O library's own ALSA stream leaves the period to ALSA, which then picks the
// least one its configuration allows (5 ms, or a single frame): a `rate` converter of
// the chain refuses it at some rates, at its own slave's rate always (the library has
// no way to ask for another), and at others converts with a period whose rounding sets
// the real rate ratio (the sound a fraction of a percent off its pitch and speed). Here
// the buffer and the period are asked as `aplay` asks them, and the stream runs at the
// rate its chain ends at (alsa_chain.h), so no converter of the chain has a rate to
// change; the monitor converts the mix to that rate itself, at the exact ratio.
//
// The stream is interleaved float32 of the channels asked (the plug converts the format
// and, where the chain has fewer or more, the channels). Every round of the device
// thread writes what the output ring of `data` holds, up to the room the device has,
// through audio_output_write (as the library's write callback does): the thread is the
// device thread, and only it calls ALSA once the stream is open.
//
// Threads: the owner (the GUI thread) calls every function; the device thread writes.
// Play and pause are told to the device thread, which acts on them at its next round
// (a few milliseconds); a clear, at its next write (a restart tells it while it holds
// the writes off, audio_output_hold_consumer). An error of the device (it went away) is logged once and
// the stream then writes nothing more; a reopen makes a new one.
#include <cstdint>
#include <string>

struct AudioOutputData;
struct AlsaOutput;

// The buffer and period the stream asks for (ALSA takes the nearest it can), as the
// library's stream asked for its buffer; `aplay`'s own when ALSA refuses these.
constexpr unsigned kAlsaOutputBufferUs = 20000;
constexpr unsigned kAlsaOutputPeriodUs = 5000;

// Opens the device `name` for `channels` of float32 at `rate`, paused, with its device
// thread started. Null, with why (ALSA's words), when the device cannot be opened so.
AlsaOutput* alsa_output_open(const char* name, uint32_t rate, uint32_t channels, AudioOutputData* data,
                             std::string* why);
// Stops the device thread, drops what the device holds and closes it. Harmless on null.
void alsa_output_free(AlsaOutput* output);

// The device thread writes from the ring (a device that was paused or cleared starts
// anew with it).
void alsa_output_play(AlsaOutput* output);
// The device stops at once and drops what it holds; nothing is written until a play.
void alsa_output_pause(AlsaOutput* output);
// What the device still holds is dropped before the next write: the next sound starts
// at once, not after the last position's tail.
void alsa_output_clear(AlsaOutput* output);
