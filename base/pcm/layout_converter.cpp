#include "base/pcm/layout_converter.h"

#include <bit>
#include <cstring>
#include <stdexcept>

#include "base/pcm/channel_layouts.h"

namespace {

static_assert(std::bit_cast<uint32_t>(kAudioDownmixMinus3dB) == 0x3F353BEFu);
static_assert(std::bit_cast<uint32_t>(kAudioDownmixMinus6dB) == 0x3F004DCEu);
static_assert(std::bit_cast<uint32_t>(kAudioDownmixTwiceMinus3dB) == 0x3FB53BEFu);

constexpr float k3 = kAudioDownmixMinus3dB;
constexpr float k6 = kAudioDownmixMinus6dB;
constexpr float k3x2 = kAudioDownmixTwiceMinus3dB;

inline float clamp_unit(float v) {
    if (v < -1.0f) return -1.0f;
    if (v > 1.0f) return 1.0f;
    return v;
}

// ---------------------------------------------------------------------------
// Copy-rule kernels.
// ---------------------------------------------------------------------------

void copy_exact(float* out, const float* in, uint32_t count, float) {
    std::memmove(out, in, size_t(count) * sizeof(float));
}

void copy_clamped(float* out, const float* in, uint32_t count, float) {
    for (size_t i = 0; i < count; ++i) out[i] = clamp_unit(in[i]);
}

void scale_unclamped(float* out, const float* in, uint32_t count, float gain) {
    for (size_t i = 0; i < count; ++i) out[i] = gain * in[i];
}

void scale_clamped(float* out, const float* in, uint32_t count, float gain) {
    for (size_t i = 0; i < count; ++i) out[i] = clamp_unit(gain * in[i]);
}

// ---------------------------------------------------------------------------
// Down-mix kernels. Each sum is added left to right as written; the gain variants
// multiply the whole sum before clamping.
// ---------------------------------------------------------------------------

struct MonoFromStereo {
    static float mix(const float* const* in, size_t i) { return in[0][i] + in[1][i]; }
};
struct MonoFromDualStereo {
    static float mix(const float* const* in, size_t i) { return ((in[0][i] + in[1][i]) + in[2][i]) + in[3][i]; }
};
struct MonoFrom51 {
    static float mix(const float* const* in, size_t i) {
        return (((in[AudioChannel_L][i] + in[AudioChannel_R][i]) + k3x2 * in[AudioChannel_C][i]) +
                k6 * in[AudioChannel_Ls][i]) +
               k6 * in[AudioChannel_Rs][i];
    }
    // With a gain each side keeps its own -3 dB centre.
    static float mix_for_gain(const float* const* in, size_t i) {
        const float c = in[AudioChannel_C][i];
        return ((((in[AudioChannel_L][i] + k3 * c) + k6 * in[AudioChannel_Ls][i]) + in[AudioChannel_R][i]) + k3 * c) +
               k6 * in[AudioChannel_Rs][i];
    }
};
struct MonoFrom71 {
    static float mix(const float* const* in, size_t i) {
        const float surrounds =
            ((in[AudioChannel_Ls][i] + in[AudioChannel_Rs][i]) + in[AudioChannel_Lrs][i]) + in[AudioChannel_Rrs][i];
        return ((in[AudioChannel_L][i] + in[AudioChannel_R][i]) + k3x2 * in[AudioChannel_C][i]) + k6 * surrounds;
    }
};

struct StereoFromDualStereo {
    static float left(const float* const* in, size_t i) { return in[AudioChannel_L1][i] + in[AudioChannel_L2][i]; }
    static float right(const float* const* in, size_t i) { return in[AudioChannel_R1][i] + in[AudioChannel_R2][i]; }
};
struct StereoFrom51 {
    static float left(const float* const* in, size_t i) {
        return (in[AudioChannel_L][i] + k3 * in[AudioChannel_C][i]) + k6 * in[AudioChannel_Ls][i];
    }
    static float right(const float* const* in, size_t i) {
        return (in[AudioChannel_R][i] + k3 * in[AudioChannel_C][i]) + k6 * in[AudioChannel_Rs][i];
    }
};
struct StereoFrom71 {
    static float left(const float* const* in, size_t i) {
        return ((in[AudioChannel_L][i] + k3 * in[AudioChannel_C][i]) + k6 * in[AudioChannel_Ls][i]) +
               k6 * in[AudioChannel_Lrs][i];
    }
    static float right(const float* const* in, size_t i) {
        return ((in[AudioChannel_R][i] + k3 * in[AudioChannel_C][i]) + k6 * in[AudioChannel_Rs][i]) +
               k6 * in[AudioChannel_Rrs][i];
    }
};

template <class Mix>
void mono_unity(float* const* out, const float* const* in, uint32_t count, float) {
    for (size_t i = 0; i < count; ++i) out[0][i] = clamp_unit(Mix::mix(in, i));
}

template <class Mix>
void mono_gain(float* const* out, const float* const* in, uint32_t count, float gain) {
    for (size_t i = 0; i < count; ++i) {
        if constexpr (requires { Mix::mix_for_gain(in, i); }) {
            out[0][i] = clamp_unit(Mix::mix_for_gain(in, i) * gain);
        } else {
            out[0][i] = clamp_unit(Mix::mix(in, i) * gain);
        }
    }
}

template <class Mix>
void stereo_unity(float* const* out, const float* const* in, uint32_t count, float) {
    for (size_t i = 0; i < count; ++i) {
        out[0][i] = clamp_unit(Mix::left(in, i));
        out[1][i] = clamp_unit(Mix::right(in, i));
    }
}

template <class Mix>
void stereo_gain(float* const* out, const float* const* in, uint32_t count, float gain) {
    for (size_t i = 0; i < count; ++i) {
        out[0][i] = clamp_unit(Mix::left(in, i) * gain);
        out[1][i] = clamp_unit(Mix::right(in, i) * gain);
    }
}

// ---------------------------------------------------------------------------
// Helpers of the layout-pair functions.
// ---------------------------------------------------------------------------

constexpr uint32_t kMaxLayoutChannels = 8;

inline bool is_muted(uint64_t muteMask, uint32_t channel) { return (muteMask >> channel) & 1; }

void write_zeros(float* out, uint32_t count) { std::memset(out, 0, size_t(count) * sizeof(float)); }

void zero_outputs_from(const AudioLayoutConverter* c, float* const* outputs, uint32_t first, uint32_t count) {
    for (uint32_t j = first; j < c->outChannels; ++j) write_zeros(outputs[j], count);
}

// One input channel to one output channel by the gain: exact (or clamped) copy at
// gain 1, clamped scaling at a positive gain, the non-positive kernel otherwise.
void apply_copy_rule(const AudioLayoutConverter* c, float* out, const float* in, uint32_t count, float gain) {
    if (gain == 1.0f) {
        c->copy(out, in, count, gain);
    } else if (gain > 0.0f) {
        c->scalePositive(out, in, count, gain);
    } else {
        c->scaleNonPositive(out, in, count, gain);
    }
}

// Channel by channel into the same plane: a muted channel's plane is zero.
void copy_channels(const AudioLayoutConverter* c, float* const* outputs, const float* const* inputs, uint32_t channels,
                   uint32_t count, uint64_t muteMask, float gain) {
    for (uint32_t ch = 0; ch < channels; ++ch) {
        if (is_muted(muteMask, ch)) {
            write_zeros(outputs[ch], count);
        } else {
            apply_copy_rule(c, outputs[ch], inputs[ch], count, gain);
        }
    }
}

// The input planes with every muted one replaced by the silence plane.
struct UnmutedInputs {
    const float* planes[kMaxLayoutChannels];
    UnmutedInputs(const AudioLayoutConverter* c, const float* const* inputs, uint64_t muteMask, const float* silence) {
        for (uint32_t ch = 0; ch < c->inChannels; ++ch) planes[ch] = is_muted(muteMask, ch) ? silence : inputs[ch];
    }
};

void downmix_to_mono(const AudioLayoutConverter* c, float* const* outputs, const float* const* inputs, uint32_t count,
                     uint64_t muteMask, float gain, const float* silence) {
    const UnmutedInputs in(c, inputs, muteMask, silence);
    (gain == 1.0f ? c->monoUnity : c->monoGain)(outputs, in.planes, count, gain);
}

void downmix_to_stereo(const AudioLayoutConverter* c, float* const* outputs, const float* const* inputs, uint32_t count,
                       uint64_t muteMask, float gain, const float* silence) {
    const UnmutedInputs in(c, inputs, muteMask, silence);
    (gain == 1.0f ? c->stereoUnity : c->stereoGain)(outputs, in.planes, count, gain);
}

// ---------------------------------------------------------------------------
// Layout-pair functions.
// ---------------------------------------------------------------------------

// Mono to any layout: the copy rule into the first plane, the same signal on the
// second (stereo, 5.1, 7.1), the others silent.
void process_mono_to_any(const AudioLayoutConverter* c, float* const* outputs, const float* const* inputs,
                         uint32_t count, uint64_t, float gain, const float*) {
    apply_copy_rule(c, outputs[0], inputs[0], count, gain);
    if (c->outChannels < 2) return;
    std::memcpy(outputs[1], outputs[0], size_t(count) * sizeof(float));
    zero_outputs_from(c, outputs, 2, count);
}

void process_stereo_to_mono(const AudioLayoutConverter* c, float* const* outputs, const float* const* inputs,
                            uint32_t count, uint64_t muteMask, float gain, const float* silence) {
    const bool left_muted = is_muted(muteMask, AudioChannel_L);
    const bool right_muted = is_muted(muteMask, AudioChannel_R);
    if (right_muted && !left_muted) {
        apply_copy_rule(c, outputs[0], inputs[AudioChannel_L], count, gain);
    } else if (left_muted && !right_muted) {
        apply_copy_rule(c, outputs[0], inputs[AudioChannel_R], count, gain);
    } else {
        downmix_to_mono(c, outputs, inputs, count, muteMask, gain, silence);
    }
}

// Stereo, or the first pair of dual stereo, to stereo, 5.1 or 7.1: L and R to the
// same planes, the others silent.
void process_first_pair_to_wide(const AudioLayoutConverter* c, float* const* outputs, const float* const* inputs,
                                uint32_t count, uint64_t muteMask, float gain, const float*) {
    copy_channels(c, outputs, inputs, 2, count, muteMask, gain);
    zero_outputs_from(c, outputs, 2, count);
}

void process_dual_stereo_to_stereo(const AudioLayoutConverter* c, float* const* outputs, const float* const* inputs,
                                   uint32_t count, uint64_t muteMask, float gain, const float* silence) {
    constexpr uint64_t kFirstPair = (1u << AudioChannel_L1) | (1u << AudioChannel_R1);
    constexpr uint64_t kSecondPair = (1u << AudioChannel_L2) | (1u << AudioChannel_R2);
    const uint64_t muted = muteMask & (kFirstPair | kSecondPair);
    if (muted == kSecondPair) {
        apply_copy_rule(c, outputs[0], inputs[AudioChannel_L1], count, gain);
        apply_copy_rule(c, outputs[1], inputs[AudioChannel_R1], count, gain);
    } else if (muted == kFirstPair) {
        apply_copy_rule(c, outputs[0], inputs[AudioChannel_L2], count, gain);
        apply_copy_rule(c, outputs[1], inputs[AudioChannel_R2], count, gain);
    } else {
        downmix_to_stereo(c, outputs, inputs, count, muteMask, gain, silence);
    }
}

// 5.1 to 5.1, 7.1 to 7.1, and 5.1 to 7.1 (the rear pair silent).
void process_same_channels(const AudioLayoutConverter* c, float* const* outputs, const float* const* inputs,
                           uint32_t count, uint64_t muteMask, float gain, const float*) {
    copy_channels(c, outputs, inputs, c->inChannels, count, muteMask, gain);
    zero_outputs_from(c, outputs, c->inChannels, count);
}

// 7.1 to 5.1: the front four by channel, each rear channel folded into the side
// channel of its half.
void process_71_to_51(const AudioLayoutConverter* c, float* const* outputs, const float* const* inputs, uint32_t count,
                      uint64_t muteMask, float gain, const float*) {
    copy_channels(c, outputs, inputs, 4, count, muteMask, gain);
    const uint32_t pairs[2][2] = {{AudioChannel_Ls, AudioChannel_Lrs}, {AudioChannel_Rs, AudioChannel_Rrs}};
    for (const auto& pair : pairs) {
        float* out = outputs[pair[0]];
        const bool first_muted = is_muted(muteMask, pair[0]);
        const bool second_muted = is_muted(muteMask, pair[1]);
        if (first_muted && second_muted) {
            write_zeros(out, count);
        } else if (second_muted) {
            apply_copy_rule(c, out, inputs[pair[0]], count, gain);
        } else if (first_muted) {
            apply_copy_rule(c, out, inputs[pair[1]], count, gain);
        } else {
            const float* first = inputs[pair[0]];
            const float* second = inputs[pair[1]];
            for (size_t i = 0; i < count; ++i) out[i] = clamp_unit((first[i] + second[i]) * gain);
        }
    }
}

}  // namespace

void audio_layout_converter_init(AudioLayoutConverter* converter, uint32_t inLayout, uint32_t outLayout, bool direct) {
    if (inLayout > NAudioChannelLayout_7_1) throw std::runtime_error("Unsupported audio layout in");
    if (outLayout == NAudioChannelLayout_DualStereo || outLayout > NAudioChannelLayout_7_1) {
        throw std::runtime_error("Unsupported audio layout out");
    }
    AudioLayoutConverter c;
    c.inChannels = audio_layout_channel_count(inLayout);
    c.outChannels = audio_layout_channel_count(outLayout);
    c.direct = direct ? 1 : 0;
    c.copy = direct ? &copy_exact : &copy_clamped;
    c.scaleNonPositive = direct ? &scale_unclamped : &scale_clamped;
    c.scalePositive = &scale_clamped;

    const bool to_mono = outLayout == NAudioChannelLayout_Mono;
    const bool to_stereo = outLayout == NAudioChannelLayout_Stereo;
    switch (inLayout) {
        case NAudioChannelLayout_Mono:
            c.process = &process_mono_to_any;
            break;
        case NAudioChannelLayout_Stereo:
            if (to_mono) {
                c.monoUnity = &mono_unity<MonoFromStereo>;
                c.monoGain = &mono_gain<MonoFromStereo>;
                c.process = &process_stereo_to_mono;
            } else {
                c.process = &process_first_pair_to_wide;
            }
            break;
        case NAudioChannelLayout_DualStereo:
            if (to_mono) {
                c.monoUnity = &mono_unity<MonoFromDualStereo>;
                c.monoGain = &mono_gain<MonoFromDualStereo>;
                c.process = &downmix_to_mono;
            } else if (to_stereo) {
                c.stereoUnity = &stereo_unity<StereoFromDualStereo>;
                c.stereoGain = &stereo_gain<StereoFromDualStereo>;
                c.process = &process_dual_stereo_to_stereo;
            } else {
                c.process = &process_first_pair_to_wide;
            }
            break;
        case NAudioChannelLayout_5_1:
            if (to_mono) {
                c.monoUnity = &mono_unity<MonoFrom51>;
                c.monoGain = &mono_gain<MonoFrom51>;
                c.process = &downmix_to_mono;
            } else if (to_stereo) {
                c.stereoUnity = &stereo_unity<StereoFrom51>;
                c.stereoGain = &stereo_gain<StereoFrom51>;
                c.process = &downmix_to_stereo;
            } else {
                c.process = &process_same_channels;  // 5.1, or 7.1 with silent rears
            }
            break;
        case NAudioChannelLayout_7_1:
            if (to_mono) {
                c.monoUnity = &mono_unity<MonoFrom71>;
                c.monoGain = &mono_gain<MonoFrom71>;
                c.process = &downmix_to_mono;
            } else if (to_stereo) {
                c.stereoUnity = &stereo_unity<StereoFrom71>;
                c.stereoGain = &stereo_gain<StereoFrom71>;
                c.process = &downmix_to_stereo;
            } else if (outLayout == NAudioChannelLayout_5_1) {
                c.process = &process_71_to_51;
            } else {
                c.process = &process_same_channels;
            }
            break;
    }
    *converter = c;
}

void audio_layout_converter_process(const AudioLayoutConverter* converter, float* const* outputs,
                                    const float* const* inputs, uint32_t count, uint64_t muteMask, float gain,
                                    const float* silence) {
    const uint64_t all_inputs = (uint64_t(1) << converter->inChannels) - 1;  // at most 8 channels
    if ((muteMask & all_inputs) == all_inputs || gain == 0.0f) {
        for (uint32_t j = 0; j < converter->outChannels; ++j) write_zeros(outputs[j], count);
        return;
    }
    converter->process(converter, outputs, inputs, count, muteMask, gain, silence);
}
