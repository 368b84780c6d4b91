#pragma once
// What an ALSA device has at the end of its chain, asked of ALSA itself. The audio
// library looks at an ALSA device its own way (a probe with the rate and channels left
// at their extremes, the period left open) and falls short on chains people write that
// `aplay` plays: a `route` chain fails its probe, a `rate` chain whose slave names no
// format reports no float format, and a `rate` chain refuses a stream at 48 kHz for the
// period ALSA then picks (or at some slave rates aborts inside ALSA), and at another
// rate converts with a period whose rounding plays the sound off its pitch. The player
// asks here instead, opening the device as `aplay` does, what the chain ends at: the
// stream then runs at that rate, so no converter of the chain has a rate to change
// (none is off its pitch), and at that channel count when the player has a layout of
// it (a six-channel card behind a plug plays 5.1, and so does a `route` of six).
//
// GUI thread (any thread, in fact: it holds nothing between calls). Opens the device
// without blocking and closes it before it returns: a device that is busy, or that ALSA
// cannot play so, gives no answer, and ALSA's own words for why.
#include <string>

struct AlsaChainEnd {
    unsigned rate = 0;      // the rate the last device of the chain runs at
    unsigned channels = 0;  // its channel count
};

// Opens the device `name` for a float32 stereo stream at 48 kHz with the buffer and
// period `aplay` asks (half a second at most, and a quarter of it), and reads the rate
// and channel count its last device settled on from ALSA's own description of the
// opened chain. False when ALSA cannot play the device so, with `why` set.
bool alsa_chain_end(const char* name, AlsaChainEnd* end, std::string* why);

// The last value of `key` ("rate", "channels") in ALSA's description of an opened
// chain (snd_pcm_dump: one "key : value" line per parameter of each device, the
// chain's last device last); 0 when it has none.
unsigned alsa_dump_last_value(const std::string& dump, const char* key);
