#pragma once
// Sums any number of source planes into the channels of a layout, each source plane
// routed by a 64-bit mask (bit j set: the plane feeds output channel j). Plain record
// with explicit reset, init and free; used by one thread at a time and re-initialised
// only while its owner's job is stopped.
#include <cstdint>

using AudioSum2Kernel = void (*)(float* out, const float* a, const float* b, uint32_t count);
using AudioSum3Kernel = void (*)(float* out, const float* a, const float* b, const float* c, uint32_t count);
using AudioSum4Kernel = void (*)(float* out, const float* a, const float* b, const float* c, const float* d,
                                 uint32_t count);

// The source planes feeding one output channel.
struct AudioMixRoute {
    uint32_t count = 0;            // number of sources used
    uint32_t* sources = nullptr;   // owned, inChannels entries; the first `count` in ascending order, the rest 0
};

struct AudioChannelMixer {
    uint32_t inChannels = 0;       // source planes
    uint32_t outChannels = 0;      // output planes, at most 64
    AudioMixRoute* routes = nullptr;  // owned, outChannels entries
    AudioSum2Kernel sum2 = nullptr;
    AudioSum3Kernel sum3 = nullptr;
    AudioSum4Kernel sum4 = nullptr;
};

constexpr uint32_t kAudioMixerMaxOutChannels = 64;

// out = a + b (+ c (+ d)), added left to right, no scaling and no clamping; `out`
// may be the same plane as `a`.
void audio_mix_sum2(float* out, const float* a, const float* b, uint32_t count);
void audio_mix_sum3(float* out, const float* a, const float* b, const float* c, uint32_t count);
void audio_mix_sum4(float* out, const float* a, const float* b, const float* c, const float* d, uint32_t count);

// The empty state: no channels, no routes. A mixer in this state may be freed or
// initialised.
void audio_mixer_reset(AudioChannelMixer* mixer) noexcept;

// Builds the routes from one mask per source plane. Throws std::runtime_error
// "Invalid tracks count In,out (0)" when either count is 0 and "Invalid tracks count
// In,out (more than 64 out)" past 64 outputs. Routes held before are released once
// the new ones are built; on a throw the mixer is left as it was.
void audio_mixer_init(AudioChannelMixer* mixer, uint32_t inChannels, uint32_t outChannels, const uint64_t* masks);

// Writes `count` floats into every output plane: zeros when no source feeds it, an
// exact copy of a single source, else the left-to-right sum of its sources.
void audio_mixer_process(const AudioChannelMixer* mixer, float* const* outputs, const float* const* inputs,
                         uint32_t count);

// Releases the routes and returns the mixer to the empty state; safe on an empty mixer.
void audio_mixer_free(AudioChannelMixer* mixer) noexcept;
