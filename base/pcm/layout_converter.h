#pragma once
// Converts a planar float signal from one channel layout to another (down-mix,
// up-mix or copy), with a per-input-channel mute mask, a linear gain and clamping to
// [-1, 1]. Down-mixes use -3 dB for the centre and -6 dB for the surrounds; LFE never
// enters a down-mix. The record owns no memory and may be re-initialised at will
// while its user is stopped.
#include <cstdint>

struct AudioLayoutConverter;

// One input plane to one output plane with a gain (the copy rule's kernels).
using AudioGainCopyKernel = void (*)(float* out, const float* in, uint32_t count, float gain);
// A down-mix into one (mono) or two (stereo) output planes; the unity variants
// ignore the gain.
using AudioDownmixKernel = void (*)(float* const* outputs, const float* const* inputs, uint32_t count, float gain);
// The function of one layout pair.
using AudioLayoutProcess = void (*)(const AudioLayoutConverter* converter, float* const* outputs,
                                    const float* const* inputs, uint32_t count, uint64_t muteMask, float gain,
                                    const float* silence);

struct AudioLayoutConverter {
    uint32_t inChannels = 0;
    uint32_t outChannels = 0;
    // 1 when the source was routed one to one (nothing was summed): unity copies are
    // then exact and a negative gain is not clamped.
    uint8_t direct = 0;
    AudioGainCopyKernel copy = nullptr;              // gain exactly 1
    AudioGainCopyKernel scaleNonPositive = nullptr;  // negative gain
    AudioGainCopyKernel scalePositive = nullptr;     // positive gain other than 1
    AudioDownmixKernel monoUnity = nullptr;          // set only for pairs that down-mix to mono
    AudioDownmixKernel monoGain = nullptr;
    AudioDownmixKernel stereoUnity = nullptr;        // set only for pairs that down-mix to stereo
    AudioDownmixKernel stereoGain = nullptr;
    AudioLayoutProcess process = nullptr;
};

// Down-mix coefficients: -3 dB, -6 dB, and twice -3 dB (a centre counted in both
// halves of a mono sum).
constexpr float kAudioDownmixMinus3dB = 0.70794576f;
constexpr float kAudioDownmixMinus6dB = 0.5011872f;
constexpr float kAudioDownmixTwiceMinus3dB = 1.4158915f;

// Sets the converter up from `inLayout` to `outLayout` (NAudioChannelLayout values).
// Throws std::runtime_error "Unsupported audio layout in" for an input layout above 4
// and "Unsupported audio layout out" for dual stereo or above 4 as output.
void audio_layout_converter_init(AudioLayoutConverter* converter, uint32_t inLayout, uint32_t outLayout, bool direct);

// Converts `count` floats per plane. Bit i of `muteMask` mutes input channel i;
// `silence` is a plane of at least `count` zeros that stands in for muted inputs.
// Every input muted, or a gain of 0, writes zeros to every output plane.
void audio_layout_converter_process(const AudioLayoutConverter* converter, float* const* outputs,
                                    const float* const* inputs, uint32_t count, uint64_t muteMask, float gain,
                                    const float* silence);
