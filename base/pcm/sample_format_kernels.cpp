#include "base/pcm/sample_format_kernels.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "base/pcm/audio_data.h"

namespace {

// ---------------------------------------------------------------------------
// One sample of each codec: its size, its float value, and its encoding.
// Big-endian codecs swap the stored bytes; encoders compute in double, where the
// products with the codec's full scale are exact, and limit before converting so
// that no float-to-integer conversion is ever out of range. NaN becomes the codec's
// zero on every integer codec (it has no integer value).
// ---------------------------------------------------------------------------

template <class T>
T load(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <class T>
void store(uint8_t* p, T value) {
    std::memcpy(p, &value, sizeof value);
}

inline uint16_t swap_bytes(uint16_t v) { return __builtin_bswap16(v); }
inline uint32_t swap_bytes(uint32_t v) { return __builtin_bswap32(v); }
inline uint64_t swap_bytes(uint64_t v) { return __builtin_bswap64(v); }

template <class T, bool BigEndian>
T load_ordered(const uint8_t* p) {
    const T value = load<T>(p);
    return BigEndian ? swap_bytes(value) : value;
}

template <class T, bool BigEndian>
void store_ordered(uint8_t* p, T value) {
    store<T>(p, BigEndian ? swap_bytes(value) : value);
}

// Float samples are limited to full scale; a NaN sample would poison every mix
// and the sample-rate converter around it, so it decodes as silence.
inline float limit_float_sample(float x) {
    if (x != x) return 0.0f;
    if (x < -1.0f) return -1.0f;
    if (x > 1.0f) return 1.0f;
    return x;
}

// round(value) half away from zero, limited to [low, high]; NaN gives `nan_value`.
inline int64_t round_limited(double value, int64_t low, int64_t high, int64_t nan_value) {
    if (value != value) return nan_value;
    const double rounded = std::round(value);
    if (rounded <= double(low)) return low;
    if (rounded >= double(high)) return high;
    return static_cast<int64_t>(rounded);
}

constexpr float kScaleU8 = 0.0078125f;                      // 2^-7
constexpr float kScaleS16 = 3.0517578e-5f;                   // 2^-15
constexpr float kScaleS24 = std::bit_cast<float>(0x30000001u);  // just above 2^-31
constexpr float kScaleS32 = std::bit_cast<float>(0x30000000u);  // 2^-31
static_assert(kScaleS16 == 1.0f / 32768.0f);

struct CodecU8 {
    static constexpr size_t bytes = 1;
    static float decode(const uint8_t* p) { return float(int(p[0]) - 128) * kScaleU8; }
    // 0.0 encodes as 127, not as the codec's silence 128; NaN gives 128.
    static void encode(uint8_t* p, float x) {
        p[0] = static_cast<uint8_t>(round_limited(double(x) * 127.0 + 127.0, 0, 255, 128));
    }
};

template <bool BigEndian>
struct CodecS16 {
    static constexpr size_t bytes = 2;
    static float decode(const uint8_t* p) {
        return float(static_cast<int16_t>(load_ordered<uint16_t, BigEndian>(p))) * kScaleS16;
    }
    static void encode(uint8_t* p, float x) {
        const int64_t v = round_limited(double(x) * 32767.0, -32768, 32767, 0);
        store_ordered<uint16_t, BigEndian>(p, static_cast<uint16_t>(v));
    }
};

template <bool BigEndian>
struct CodecS24 {
    static constexpr size_t bytes = 3;
    static float decode(const uint8_t* p) {
        const uint32_t low = BigEndian ? p[2] : p[0];
        const uint32_t high = BigEndian ? p[0] : p[2];
        // The three bytes as the top 24 bits of a signed 32-bit value.
        const uint32_t top = (high << 24) | (uint32_t(p[1]) << 16) | (low << 8);
        return float(static_cast<int32_t>(top)) * kScaleS24;
    }
    static void encode(uint8_t* p, float x) {
        const uint32_t v = static_cast<uint32_t>(round_limited(double(x) * 8388607.0, -8388608, 8388607, 0));
        const uint8_t low = uint8_t(v), middle = uint8_t(v >> 8), high = uint8_t(v >> 16);
        p[0] = BigEndian ? high : low;
        p[1] = middle;
        p[2] = BigEndian ? low : high;
    }
};

template <bool BigEndian>
struct CodecS32 {
    static constexpr size_t bytes = 4;
    static float decode(const uint8_t* p) {
        return float(static_cast<int32_t>(load_ordered<uint32_t, BigEndian>(p))) * kScaleS32;
    }
    static void encode(uint8_t* p, float x) {
        // Clamped to full scale first: +1.0 x 2^31 is one past the top and is limited.
        const double clamped = (x != x) ? 0.0 : (x < -1.0f ? -1.0 : (x > 1.0f ? 1.0 : double(x)));
        const int64_t v = round_limited(clamped * 2147483648.0, -2147483648LL, 2147483647LL, 0);
        store_ordered<uint32_t, BigEndian>(p, static_cast<uint32_t>(v));
    }
};

template <bool BigEndian>
struct CodecF32 {
    static constexpr size_t bytes = 4;
    static float decode(const uint8_t* p) {
        return limit_float_sample(std::bit_cast<float>(load_ordered<uint32_t, BigEndian>(p)));
    }
    // Stored unchanged, beyond full scale and NaN included.
    static void encode(uint8_t* p, float x) { store_ordered<uint32_t, BigEndian>(p, std::bit_cast<uint32_t>(x)); }
};

template <bool BigEndian>
struct CodecF64 {
    static constexpr size_t bytes = 8;
    static float decode(const uint8_t* p) {
        return limit_float_sample(static_cast<float>(std::bit_cast<double>(load_ordered<uint64_t, BigEndian>(p))));
    }
    static void encode(uint8_t* p, float x) {
        store_ordered<uint64_t, BigEndian>(p, std::bit_cast<uint64_t>(double(x)));
    }
};

template <uint32_t Codec>
struct CodecOf;
template <> struct CodecOf<AudioPcmCodec_U8> : CodecU8 {};
template <> struct CodecOf<AudioPcmCodec_S16LE> : CodecS16<false> {};
template <> struct CodecOf<AudioPcmCodec_S16BE> : CodecS16<true> {};
template <> struct CodecOf<AudioPcmCodec_S24LE> : CodecS24<false> {};
template <> struct CodecOf<AudioPcmCodec_S24BE> : CodecS24<true> {};
template <> struct CodecOf<AudioPcmCodec_S32LE> : CodecS32<false> {};
template <> struct CodecOf<AudioPcmCodec_S32BE> : CodecS32<true> {};
template <> struct CodecOf<AudioPcmCodec_F32LE> : CodecF32<false> {};
template <> struct CodecOf<AudioPcmCodec_F32BE> : CodecF32<true> {};
template <> struct CodecOf<AudioPcmCodec_F64LE> : CodecF64<false> {};
template <> struct CodecOf<AudioPcmCodec_F64BE> : CodecF64<true> {};

constexpr size_t kCodecCount = AudioPcmCodec_F64BE + 1;

// ---------------------------------------------------------------------------
// Decoders. With read coefficient 2 the output sample is the mean of the decoded
// samples of the same channel in two consecutive input frames: in interleaved data
// those are one frame apart, not adjacent.
// ---------------------------------------------------------------------------

template <class C, uint32_t Coefficient>
inline float decode_read(const uint8_t* sample, size_t frame_bytes) {
    if constexpr (Coefficient == 1) {
        return C::decode(sample);
    } else {
        return (C::decode(sample + frame_bytes) + C::decode(sample)) * 0.5f;
    }
}

template <class C, uint32_t Coefficient>
void decode_plane(float* output, const uint8_t* input, uint32_t frames) {
    for (size_t f = 0; f < frames; ++f) output[f] = decode_read<C, Coefficient>(input + f * Coefficient * C::bytes, C::bytes);
}

template <class C, uint32_t Coefficient>
void decode_stereo(float* left, float* right, const uint8_t* input, uint32_t frames) {
    constexpr size_t frame_bytes = 2 * C::bytes;
    for (size_t f = 0; f < frames; ++f) {
        const uint8_t* frame = input + f * Coefficient * frame_bytes;
        left[f] = decode_read<C, Coefficient>(frame, frame_bytes);
        right[f] = decode_read<C, Coefficient>(frame + C::bytes, frame_bytes);
    }
}

template <class C, uint32_t Coefficient>
void decode_generic(const AudioDecoderKernels*, float* const* outputs, const uint8_t* const* inputs, uint32_t channels,
                    uint32_t frames) {
    const size_t frame_bytes = size_t(channels) * C::bytes;
    const uint8_t* input = inputs[0];
    for (size_t f = 0; f < frames; ++f) {
        const uint8_t* frame = input + f * Coefficient * frame_bytes;
        for (size_t c = 0; c < channels; ++c) outputs[c][f] = decode_read<C, Coefficient>(frame + c * C::bytes, frame_bytes);
    }
}

// ---------------------------------------------------------------------------
// Encoders.
// ---------------------------------------------------------------------------

template <class C>
void encode_plane(uint8_t* output, const float* input, uint32_t frames) {
    for (size_t f = 0; f < frames; ++f) C::encode(output + f * C::bytes, input[f]);
}

template <class C>
void encode_stereo(uint8_t* output, const float* left, const float* right, uint32_t frames) {
    for (size_t f = 0; f < frames; ++f) {
        uint8_t* frame = output + f * 2 * C::bytes;
        C::encode(frame, left[f]);
        C::encode(frame + C::bytes, right[f]);
    }
}

template <class C>
void encode_generic(const AudioEncoder*, uint8_t* const* outputs, const float* const* inputs, uint32_t channels,
                    uint32_t frames) {
    const size_t frame_bytes = size_t(channels) * C::bytes;
    uint8_t* output = outputs[0];
    for (size_t f = 0; f < frames; ++f) {
        uint8_t* frame = output + f * frame_bytes;
        for (size_t c = 0; c < channels; ++c) C::encode(frame + c * C::bytes, inputs[c][f]);
    }
}

// ---------------------------------------------------------------------------
// Entries: the plane case runs the record's plane kernel once per plane (the same
// code for both directions), the stereo cases hand both planes to the stereo kernel.
// ---------------------------------------------------------------------------

template <class Record, class Output, class Input>
void plane_entry(const Record* record, Output* const* outputs, const Input* const* inputs, uint32_t channels,
                 uint32_t frames) {
    for (uint32_t c = 0; c < channels; ++c) record->planeKernel(outputs[c], inputs[c], frames);
}

void decoder_stereo_entry(const AudioDecoderKernels* decoder, float* const* outputs, const uint8_t* const* inputs,
                          uint32_t, uint32_t frames) {
    decoder->stereoKernel(outputs[0], outputs[1], inputs[0], frames);
}

void encoder_stereo_entry(const AudioEncoder* encoder, uint8_t* const* outputs, const float* const* inputs, uint32_t,
                          uint32_t frames) {
    encoder->stereoKernel(outputs[0], inputs[0], inputs[1], frames);
}

// ---------------------------------------------------------------------------
// Kernel tables, indexed by codec.
// ---------------------------------------------------------------------------

template <class Kernel>
using CodecTable = std::array<Kernel, kCodecCount>;

template <uint32_t Coefficient, size_t... I>
constexpr CodecTable<AudioDecodePlaneKernel> plane_decoders(std::index_sequence<I...>) {
    return {&decode_plane<CodecOf<I>, Coefficient>...};
}
template <uint32_t Coefficient, size_t... I>
constexpr CodecTable<AudioDecodeStereoKernel> stereo_decoders(std::index_sequence<I...>) {
    return {&decode_stereo<CodecOf<I>, Coefficient>...};
}
template <uint32_t Coefficient, size_t... I>
constexpr CodecTable<AudioDecoderEntry> generic_decoders(std::index_sequence<I...>) {
    return {&decode_generic<CodecOf<I>, Coefficient>...};
}
template <size_t... I>
constexpr CodecTable<AudioEncodePlaneKernel> plane_encoders(std::index_sequence<I...>) {
    return {&encode_plane<CodecOf<I>>...};
}
template <size_t... I>
constexpr CodecTable<AudioEncodeStereoKernel> stereo_encoders(std::index_sequence<I...>) {
    return {&encode_stereo<CodecOf<I>>...};
}
template <size_t... I>
constexpr CodecTable<AudioEncoderEntry> generic_encoders(std::index_sequence<I...>) {
    return {&encode_generic<CodecOf<I>>...};
}

constexpr auto kCodecIndices = std::make_index_sequence<kCodecCount>();

// [read coefficient - 1][codec]
constexpr CodecTable<AudioDecodePlaneKernel> kPlaneDecoders[2] = {plane_decoders<1>(kCodecIndices),
                                                                  plane_decoders<2>(kCodecIndices)};
constexpr CodecTable<AudioDecodeStereoKernel> kStereoDecoders[2] = {stereo_decoders<1>(kCodecIndices),
                                                                    stereo_decoders<2>(kCodecIndices)};
constexpr CodecTable<AudioDecoderEntry> kGenericDecoders[2] = {generic_decoders<1>(kCodecIndices),
                                                               generic_decoders<2>(kCodecIndices)};
constexpr CodecTable<AudioEncodePlaneKernel> kPlaneEncoders = plane_encoders(kCodecIndices);
constexpr CodecTable<AudioEncodeStereoKernel> kStereoEncoders = stereo_encoders(kCodecIndices);
constexpr CodecTable<AudioEncoderEntry> kGenericEncoders = generic_encoders(kCodecIndices);

}  // namespace

void audio_decoder_select(AudioDecoderKernels* decoder, uint32_t codec, uint32_t channels, bool planar,
                          uint32_t read_coefficient) {
    if (read_coefficient != 1 && read_coefficient != 2) throw std::runtime_error("Coeff read not supported");
    const size_t k = read_coefficient - 1;
    AudioDecoderKernels selected;
    if (!planar && channels > 2) {
        if (codec >= kCodecCount) throw std::runtime_error("Unsupported pcm codec multi channels");
        selected.entry = kGenericDecoders[k][codec];
    } else if (!planar && channels == 2) {
        if (codec >= kCodecCount) throw std::runtime_error("Unsupported pcm codec stereo");
        selected.entry = &decoder_stereo_entry;
        selected.stereoKernel = kStereoDecoders[k][codec];
    } else {
        if (codec >= kCodecCount) throw std::runtime_error("Unsupported pcm codec mono");
        selected.entry = &plane_entry<AudioDecoderKernels, float, uint8_t>;
        selected.planeKernel = kPlaneDecoders[k][codec];
    }
    *decoder = selected;
}

void audio_decoder_process(const AudioDecoderKernels* decoder, float* const* outputs, const uint8_t* const* inputs,
                           uint32_t channels, uint32_t frames) {
    decoder->entry(decoder, outputs, inputs, channels, frames);
}

void audio_encoder_init(AudioEncoder* encoder, const AudioDescriptor* descriptor) {
    const uint32_t channels = descriptor->channels;
    const uint32_t codec = descriptor->codec;
    if (channels == 0 || descriptor->frequency == 0) throw std::runtime_error("invalid dest audio params");
    AudioEncoder selected;
    selected.channels = channels;
    selected.frequency = descriptor->frequency;
    selected.codec = codec;
    selected.planar = (channels == 1 || descriptor->planar) ? 1 : 0;
    if (selected.planar) {
        if (codec >= kCodecCount) throw std::runtime_error("Unsupported pcm codec p");
        selected.entry = &plane_entry<AudioEncoder, uint8_t, float>;
        selected.planeKernel = kPlaneEncoders[codec];
    } else if (channels == 2) {
        if (codec >= kCodecCount) throw std::runtime_error("Unsupported pcm codec p");
        selected.entry = &encoder_stereo_entry;
        selected.stereoKernel = kStereoEncoders[codec];
    } else {
        if (codec >= kCodecCount) throw std::runtime_error("Unsupported pcm codec gen");
        selected.entry = kGenericEncoders[codec];
    }
    *encoder = selected;
}

void audio_encoder_process(const AudioEncoder* encoder, uint8_t* const* outputs, const float* const* inputs,
                           uint32_t frames) {
    encoder->entry(encoder, outputs, inputs, encoder->channels, frames);
}
