#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/pcm/audio_data.h"
#include "base/pcm/sample_format_kernels.h"
#include "tests/support/expect_error.h"
#include "tests/support/test_movies.h"

using testsupport::Bytes;
using testsupport::expect_runtime_error;

namespace {

constexpr uint32_t kCodecs = 11;

uint32_t bytes_of(uint32_t codec) { return audio_pcm_bytes_per_sample(codec); }

// Decodes `frames` output frames; planar input holds one plane after another of
// frames x coefficient samples. Returns the output planes one after another.
std::vector<float> decode(uint32_t codec, uint32_t channels, bool planar, uint32_t coefficient, const Bytes& input,
                          uint32_t frames) {
    AudioDecoderKernels decoder;
    audio_decoder_select(&decoder, codec, channels, planar, coefficient);
    std::vector<float> out(size_t(channels) * frames, -99.0f);
    std::vector<float*> outputs;
    for (uint32_t c = 0; c < channels; ++c) outputs.push_back(out.data() + size_t(c) * frames);
    std::vector<const uint8_t*> inputs;
    const size_t plane_bytes = size_t(frames) * coefficient * bytes_of(codec);
    for (uint32_t c = 0; c < (planar ? channels : 1); ++c) inputs.push_back(input.data() + c * plane_bytes);
    audio_decoder_process(&decoder, outputs.data(), inputs.data(), channels, frames);
    return out;
}

float decode_one(uint32_t codec, const Bytes& sample) { return decode(codec, 1, true, 1, sample, 1)[0]; }

// Encodes float planes (one after another, `frames` each); planar output is one
// plane after another.
Bytes encode(uint32_t codec, uint32_t channels, bool planar, const std::vector<float>& planes, uint32_t frames) {
    AudioDescriptor descriptor;
    audio_descriptor_init(&descriptor, codec, channels, 48000, planar);
    AudioEncoder encoder;
    audio_encoder_init(&encoder, &descriptor);
    Bytes out(size_t(channels) * frames * bytes_of(codec), 0xEE);
    const size_t plane_bytes = size_t(frames) * bytes_of(codec);
    std::vector<uint8_t*> outputs;
    for (uint32_t c = 0; c < (encoder.planar ? channels : 1); ++c) outputs.push_back(out.data() + c * plane_bytes);
    std::vector<const float*> inputs;
    for (uint32_t c = 0; c < channels; ++c) inputs.push_back(planes.data() + size_t(c) * frames);
    audio_encoder_process(&encoder, outputs.data(), inputs.data(), frames);
    return out;
}

Bytes encode_one(uint32_t codec, float x) { return encode(codec, 1, true, {x}, 1); }

int64_t encoded_int(uint32_t codec, float x) {
    const Bytes b = encode_one(codec, x);
    switch (codec) {
        case AudioPcmCodec_U8: return b[0];
        case AudioPcmCodec_S16LE: return int16_t(b[0] | b[1] << 8);
        case AudioPcmCodec_S24LE: return int32_t(uint32_t(b[0] << 8 | b[1] << 16 | b[2] << 24)) >> 8;
        case AudioPcmCodec_S32LE: return int32_t(uint32_t(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24));
    }
    ADD_FAILURE() << "not an integer little-endian codec";
    return 0;
}

bool same_bits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

Bytes random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = uint8_t(rng());
    return b;
}

// Full-scale-ish float samples, with values past full scale and a few specials.
std::vector<float> random_floats(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.2f, 1.2f);
    std::vector<float> v(n);
    for (auto& x : v) x = dist(rng);
    const float specials[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, std::nanf(""), 3.0f, -3.0f};
    for (size_t i = 0; i < n && i < std::size(specials); ++i) v[i * 7 % n] = specials[i];
    return v;
}

}  // namespace

TEST(SampleFormatKernels, DecodesFullScaleAndBeyond) {
    EXPECT_EQ(decode_one(AudioPcmCodec_U8, {0}), -1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_U8, {128}), 0.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_U8, {255}), 0.9921875f);

    EXPECT_EQ(decode_one(AudioPcmCodec_S16LE, {0x00, 0x80}), -1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_S16BE, {0x80, 0x00}), -1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_S16BE, {0x7F, 0xFF}), 32767.0f / 32768.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_S16LE, {0x01, 0x00}), std::ldexp(1.0f, -15));

    // 24-bit full scale uses a factor a hair above 2^-31: the top value is exactly 1
    // and the bottom one just below -1, unclamped.
    EXPECT_EQ(decode_one(AudioPcmCodec_S24LE, {0xFF, 0xFF, 0x7F}), 1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_S24BE, {0x7F, 0xFF, 0xFF}), 1.0f);
    EXPECT_EQ(std::bit_cast<uint32_t>(decode_one(AudioPcmCodec_S24LE, {0x00, 0x00, 0x80})), 0xBF800001u);
    EXPECT_EQ(std::bit_cast<uint32_t>(decode_one(AudioPcmCodec_S24BE, {0x80, 0x00, 0x00})), 0xBF800001u);
    EXPECT_EQ(decode_one(AudioPcmCodec_S24LE, {0x00, 0x00, 0x00}), 0.0f);

    EXPECT_EQ(decode_one(AudioPcmCodec_S32LE, {0x00, 0x00, 0x00, 0x80}), -1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_S32LE, {0xFF, 0xFF, 0xFF, 0x7F}), 1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_S32BE, {0x80, 0x00, 0x00, 0x00}), -1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_S32BE, {0x00, 0x00, 0x01, 0x00}), std::ldexp(1.0f, -23));

    auto f32le = [](float x) { return Bytes(reinterpret_cast<uint8_t*>(&x), reinterpret_cast<uint8_t*>(&x) + 4); };
    auto f64le = [](double x) { return Bytes(reinterpret_cast<uint8_t*>(&x), reinterpret_cast<uint8_t*>(&x) + 8); };
    EXPECT_EQ(decode_one(AudioPcmCodec_F32LE, f32le(1.5f)), 1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_F32LE, f32le(-3.0f)), -1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_F32LE, f32le(0.3f)), 0.3f);
    EXPECT_EQ(decode_one(AudioPcmCodec_F32LE, f32le(INFINITY)), 1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_F32BE, {0x3F, 0xC0, 0x00, 0x00}), 1.0f);   // 1.5
    EXPECT_EQ(decode_one(AudioPcmCodec_F32BE, {0xBE, 0x80, 0x00, 0x00}), -0.25f);
    EXPECT_EQ(decode_one(AudioPcmCodec_F64LE, f64le(0.1)), 0.1f);
    EXPECT_EQ(decode_one(AudioPcmCodec_F64LE, f64le(1e300)), 1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_F64LE, f64le(-1.5)), -1.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_F64BE, {0xBF, 0xD0, 0, 0, 0, 0, 0, 0}), -0.25f);
    // A NaN sample in a float file decodes as silence, not as a NaN in the mix.
    EXPECT_EQ(decode_one(AudioPcmCodec_F32LE, f32le(std::nanf(""))), 0.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_F32BE, {0x7F, 0xC0, 0x00, 0x00}), 0.0f);
    EXPECT_EQ(decode_one(AudioPcmCodec_F64LE, f64le(std::nan(""))), 0.0f);
}

TEST(SampleFormatKernels, EncodesRoundedAndLimited) {
    EXPECT_EQ(encoded_int(AudioPcmCodec_U8, 0.0f), 127);  // not the codec's 128
    EXPECT_EQ(encoded_int(AudioPcmCodec_U8, 1.0f), 254);
    EXPECT_EQ(encoded_int(AudioPcmCodec_U8, -1.0f), 0);
    EXPECT_EQ(encoded_int(AudioPcmCodec_U8, 2.0f), 255);
    EXPECT_EQ(encoded_int(AudioPcmCodec_U8, -2.0f), 0);
    EXPECT_EQ(encoded_int(AudioPcmCodec_U8, 0.5f), 191);  // 190.5 rounds away from zero

    EXPECT_EQ(encoded_int(AudioPcmCodec_S16LE, 1.0f), 32767);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S16LE, -1.0f), -32767);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S16LE, -2.0f), -32768);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S16LE, 2.0f), 32767);
    EXPECT_EQ(encode_one(AudioPcmCodec_S16BE, 1.0f), (Bytes{0x7F, 0xFF}));

    EXPECT_EQ(encoded_int(AudioPcmCodec_S24LE, 1.0f), 8388607);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S24LE, -1.0f), -8388607);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S24LE, -1.5f), -8388608);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S24LE, INFINITY), 8388607);
    EXPECT_EQ(encode_one(AudioPcmCodec_S24BE, 1.0f), (Bytes{0x7F, 0xFF, 0xFF}));
    EXPECT_EQ(encode_one(AudioPcmCodec_S24LE, -1.0f), (Bytes{0x01, 0x00, 0x80}));

    // 1.0 x 2^31 is one past the top of the type: limited, never converted out of range.
    EXPECT_EQ(encoded_int(AudioPcmCodec_S32LE, 1.0f), 2147483647);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S32LE, -1.0f), -2147483648LL);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S32LE, 7.0f), 2147483647);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S32LE, -INFINITY), -2147483648LL);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S32LE, 0.5f), 1073741824);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S32LE, std::ldexp(1.5f, -31)), 2);  // halves away from zero
    EXPECT_EQ(encoded_int(AudioPcmCodec_S32LE, std::ldexp(-2.5f, -31)), -3);
    EXPECT_EQ(encode_one(AudioPcmCodec_S32BE, -1.0f), (Bytes{0x80, 0x00, 0x00, 0x00}));

    // NaN has no integer value: the codec's zero (U8: its silence, 128).
    const float nan = std::nanf("");
    EXPECT_EQ(encoded_int(AudioPcmCodec_U8, nan), 128);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S16LE, nan), 0);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S24LE, nan), 0);
    EXPECT_EQ(encoded_int(AudioPcmCodec_S32LE, nan), 0);
    for (uint32_t codec : {2u, 4u, 6u}) EXPECT_EQ(encode_one(codec, nan), Bytes(bytes_of(codec), 0)) << codec;

    // Float codecs store the value unchanged, past full scale included.
    float stored;
    std::memcpy(&stored, encode_one(AudioPcmCodec_F32LE, 1.5f).data(), 4);
    EXPECT_EQ(stored, 1.5f);
    EXPECT_EQ(encode_one(AudioPcmCodec_F32BE, 1.5f), (Bytes{0x3F, 0xC0, 0x00, 0x00}));
    double wide;
    std::memcpy(&wide, encode_one(AudioPcmCodec_F64LE, 0.1f).data(), 8);
    EXPECT_EQ(wide, double(0.1f));
    EXPECT_EQ(encode_one(AudioPcmCodec_F64BE, -2.0f), (Bytes{0xC0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(SampleFormatKernels, BigEndianCodecsAreTheByteReversedLittleEndianOnes) {
    const uint32_t frames = 512;
    for (uint32_t le = AudioPcmCodec_S16LE; le < kCodecs; le += 2) {
        const uint32_t be = le + 1;
        const uint32_t n = bytes_of(le);
        // Decoding: the same samples stored in either order give the same floats.
        const Bytes little = random_bytes(size_t(frames) * n, le);
        Bytes big = little;
        for (size_t i = 0; i < big.size(); i += n) std::reverse(big.begin() + i, big.begin() + i + n);
        const std::vector<float> from_little = decode(le, 1, true, 1, little, frames);
        const std::vector<float> from_big = decode(be, 1, true, 1, big, frames);
        ASSERT_EQ(0, std::memcmp(from_little.data(), from_big.data(), frames * sizeof(float))) << le;
        // Encoding: the big-endian bytes are each sample's little-endian bytes reversed.
        const std::vector<float> values = random_floats(frames, le);
        const Bytes encoded_little = encode(le, 1, true, values, frames);
        Bytes encoded_big = encode(be, 1, true, values, frames);
        for (size_t i = 0; i < encoded_big.size(); i += n) {
            std::reverse(encoded_big.begin() + i, encoded_big.begin() + i + n);
        }
        EXPECT_EQ(encoded_little, encoded_big) << le;
    }
}

TEST(SampleFormatKernels, CodecFloatCodecRoundTrips) {
    // 16-bit: the decoder divides by 32768 and the encoder multiplies by 32767, so
    // a sample survives exactly while the difference stays under half a step.
    for (int v = -16384; v <= 16384; ++v) {
        const Bytes sample{uint8_t(v), uint8_t(uint32_t(v) >> 8)};
        ASSERT_EQ(encoded_int(AudioPcmCodec_S16LE, decode_one(AudioPcmCodec_S16LE, sample)), v) << v;
    }
    // 24-bit: every value of the codec survives.
    {
        const uint32_t count = 1u << 24;
        Bytes all(size_t(count) * 3);
        for (uint32_t i = 0; i < count; ++i) {
            all[i * 3] = uint8_t(i);
            all[i * 3 + 1] = uint8_t(i >> 8);
            all[i * 3 + 2] = uint8_t(i >> 16);
        }
        const std::vector<float> decoded = decode(AudioPcmCodec_S24LE, 1, true, 1, all, count);
        EXPECT_EQ(encode(AudioPcmCodec_S24LE, 1, true, decoded, count), all);
    }
    // 32-bit: every value a float holds exactly survives, from -2^31 up.
    {
        std::vector<int32_t> values;
        for (int64_t v = -2147483648LL; v < 2147483648LL; v += 256 * 4099) values.push_back(int32_t(v));
        values.push_back(2147483647 - 127);  // 2^31 - 128 is a float; its neighbours round to it
        Bytes raw(values.size() * 4);
        std::memcpy(raw.data(), values.data(), raw.size());
        const uint32_t frames = uint32_t(values.size());
        const std::vector<float> decoded = decode(AudioPcmCodec_S32LE, 1, true, 1, raw, frames);
        const Bytes again = encode(AudioPcmCodec_S32LE, 1, true, decoded, frames);
        for (uint32_t i = 0; i + 1 < frames; ++i) {
            int32_t back;
            std::memcpy(&back, again.data() + i * 4, 4);
            ASSERT_EQ(back, values[i]);
        }
    }
    // Float codecs: any float within full scale, either order, either width.
    {
        std::vector<float> values = random_floats(4096, 9);
        for (float& v : values) v = (v != v) ? 0.25f : std::fmax(-1.0f, std::fmin(1.0f, v));
        for (uint32_t codec = AudioPcmCodec_F32LE; codec <= AudioPcmCodec_F64BE; ++codec) {
            const Bytes raw = encode(codec, 1, true, values, 4096);
            const std::vector<float> back = decode(codec, 1, true, 1, raw, 4096);
            ASSERT_EQ(0, std::memcmp(back.data(), values.data(), values.size() * sizeof(float))) << codec;
            EXPECT_EQ(encode(codec, 1, true, back, 4096), raw) << codec;
        }
    }
}

TEST(SampleFormatKernels, ReadCoefficientTwoAveragesFramesOneFrameApart) {
    Bytes mono{100, 0, 44, 1};  // S16 LE 100, 300
    EXPECT_EQ(decode(AudioPcmCodec_S16LE, 1, true, 2, mono, 1)[0], (400.0f * std::ldexp(1.0f, -15)) * 0.5f);
    // Stereo (100, -100), (300, -300): each channel averages with itself one frame on.
    Bytes stereo{100, 0, 0x9C, 0xFF, 44, 1, 0xD4, 0xFE};
    const std::vector<float> lr = decode(AudioPcmCodec_S16LE, 2, false, 2, stereo, 1);
    EXPECT_EQ(lr[0], 200.0f / 32768.0f);
    EXPECT_EQ(lr[1], -200.0f / 32768.0f);
    EXPECT_NEAR(lr[0], 0.0061035, 1e-7);
    // Float codecs limit each sample before averaging: (1.5, 0.5) gives 0.75.
    float pair[2] = {1.5f, 0.5f};
    Bytes raw(reinterpret_cast<uint8_t*>(pair), reinterpret_cast<uint8_t*>(pair) + 8);
    EXPECT_EQ(decode(AudioPcmCodec_F32LE, 1, true, 2, raw, 1)[0], 0.75f);
}

// The plane, stereo and generic cases of every codec and read coefficient give, per
// channel, what the mono kernel gives on that channel's own samples.
TEST(SampleFormatKernels, ChannelCasesAgreeForEveryCodec) {
    const uint32_t frames = 37;  // not a multiple of four: the tail runs too
    const uint32_t channels = 6;
    for (uint32_t codec = 0; codec < kCodecs; ++codec) {
        const uint32_t n = bytes_of(codec);
        for (uint32_t k = 1; k <= 2; ++k) {
            const uint32_t in_frames = frames * k;
            const Bytes interleaved = random_bytes(size_t(in_frames) * channels * n, codec * 10 + k);
            // Per channel: its samples as a plane, and the expected output from the
            // mono kernel at coefficient 1.
            Bytes planar;
            Bytes first_pair;
            std::vector<float> expected(size_t(channels) * frames);
            for (uint32_t c = 0; c < channels; ++c) {
                Bytes plane;
                for (uint32_t f = 0; f < in_frames; ++f) {
                    const uint8_t* s = interleaved.data() + (size_t(f) * channels + c) * n;
                    plane.insert(plane.end(), s, s + n);
                }
                const std::vector<float> single = decode(codec, 1, true, 1, plane, in_frames);
                for (uint32_t f = 0; f < frames; ++f) {
                    expected[c * frames + f] = k == 1 ? single[f] : (single[2 * f + 1] + single[2 * f]) * 0.5f;
                }
                planar.insert(planar.end(), plane.begin(), plane.end());
            }
            for (uint32_t f = 0; f < in_frames; ++f) {
                const uint8_t* s = interleaved.data() + size_t(f) * channels * n;
                first_pair.insert(first_pair.end(), s, s + 2 * n);
            }
            const std::vector<float> generic = decode(codec, channels, false, k, interleaved, frames);
            const std::vector<float> planes = decode(codec, channels, true, k, planar, frames);
            const std::vector<float> stereo = decode(codec, 2, false, k, first_pair, frames);
            ASSERT_EQ(0, std::memcmp(generic.data(), expected.data(), expected.size() * 4)) << codec << " k" << k;
            ASSERT_EQ(0, std::memcmp(planes.data(), expected.data(), expected.size() * 4)) << codec << " k" << k;
            ASSERT_EQ(0, std::memcmp(stereo.data(), expected.data(), 2 * frames * 4)) << codec << " k" << k;
        }

        // Encoders: interleaving the mono encodings of each plane.
        const std::vector<float> values = random_floats(size_t(channels) * frames, codec);
        Bytes expected_interleaved(size_t(channels) * frames * n);
        Bytes expected_planar;
        for (uint32_t c = 0; c < channels; ++c) {
            const std::vector<float> plane(values.begin() + c * frames, values.begin() + (c + 1) * frames);
            const Bytes single = encode(codec, 1, true, plane, frames);
            for (uint32_t f = 0; f < frames; ++f) {
                std::memcpy(&expected_interleaved[(size_t(f) * channels + c) * n], &single[size_t(f) * n], n);
            }
            expected_planar.insert(expected_planar.end(), single.begin(), single.end());
        }
        EXPECT_EQ(encode(codec, channels, false, values, frames), expected_interleaved) << codec;
        EXPECT_EQ(encode(codec, channels, true, values, frames), expected_planar) << codec;
        Bytes expected_pair;
        for (uint32_t f = 0; f < frames; ++f) {
            const uint8_t* s = &expected_interleaved[size_t(f) * channels * n];
            expected_pair.insert(expected_pair.end(), s, s + 2 * n);
        }
        EXPECT_EQ(encode(codec, 2, false, values, frames), expected_pair) << codec;
    }
}

// FFmpeg's own decode of the same tone is an independent reference: the same
// scale factors give the same floats; 24-bit differs only by its factor of 1 + 2^-23.
TEST(SampleFormatKernels, DecodesLikeFfmpeg) {
    const char* names[kCodecs] = {"u8",    "s16le", "s16be", "s24le", "s24be", "s32le",
                                  "s32be", "f32le", "f32be", "f64le", "f64be"};
    for (uint32_t codec = 0; codec < kCodecs; ++codec) {
        const std::string path = testsupport::fixture_path(std::string("pcm_tone.") + names[codec]);
        const Bytes raw = testsupport::read_whole_file(path);
        const Bytes reference_bytes = testsupport::read_whole_file(path + ".f32");
        const size_t samples = reference_bytes.size() / 4;
        ASSERT_EQ(raw.size(), samples * bytes_of(codec)) << path;
        ASSERT_EQ(samples % 12, 0u);
        std::vector<float> reference(samples);
        std::memcpy(reference.data(), reference_bytes.data(), reference_bytes.size());

        // One stream read three ways: as stereo, as six interleaved channels, as one plane.
        struct Shape {
            uint32_t channels;
            bool planar;
        };
        for (const Shape shape : {Shape{2, false}, Shape{6, false}, Shape{1, true}}) {
            const uint32_t frames = uint32_t(samples / shape.channels);
            const std::vector<float> planes = decode(codec, shape.channels, shape.planar, 1, raw, frames);
            for (uint32_t f = 0; f < frames; ++f) {
                for (uint32_t c = 0; c < shape.channels; ++c) {
                    const float ours = planes[size_t(c) * frames + f];
                    const float theirs = reference[size_t(f) * shape.channels + c];
                    if (codec == AudioPcmCodec_S24LE || codec == AudioPcmCodec_S24BE) {
                        // FFmpeg's value is v x 2^-23 exactly; ours carries the factor
                        // 2^-31 x (1 + 2^-23) rounded once.
                        const double factor = std::bit_cast<float>(0x30000001u) * 2147483648.0;
                        ASSERT_TRUE(same_bits(ours, float(double(theirs) * factor))) << names[codec] << " " << theirs;
                    } else {
                        ASSERT_TRUE(same_bits(ours, theirs)) << names[codec] << " " << ours << " " << theirs;
                    }
                }
            }
        }
    }
}

TEST(SampleFormatKernels, SelectorsRefuseWhatTheyCannotConvert) {
    AudioDescriptor d;
    AudioEncoder encoder;
    d.codec = AudioPcmCodec_None;
    d.frequency = 48000;
    d.channels = 2;
    d.planar = 0;
    expect_runtime_error([&] { audio_encoder_init(&encoder, &d); }, "Unsupported pcm codec p");
    d.channels = 6;
    expect_runtime_error([&] { audio_encoder_init(&encoder, &d); }, "Unsupported pcm codec gen");
    d.planar = 1;
    expect_runtime_error([&] { audio_encoder_init(&encoder, &d); }, "Unsupported pcm codec p");
    d.channels = 1;
    d.planar = 0;
    expect_runtime_error([&] { audio_encoder_init(&encoder, &d); }, "Unsupported pcm codec p");
    d.codec = AudioPcmCodec_S16LE;
    d.channels = 0;
    expect_runtime_error([&] { audio_encoder_init(&encoder, &d); }, "invalid dest audio params");
    d.channels = 2;
    d.frequency = 0;
    expect_runtime_error([&] { audio_encoder_init(&encoder, &d); }, "invalid dest audio params");
    EXPECT_EQ(encoder.entry, nullptr);  // nothing stored by a refused selection

    // One channel is always the plane case.
    d.frequency = 44100;
    d.channels = 1;
    audio_encoder_init(&encoder, &d);
    EXPECT_EQ(encoder.planar, 1);
    EXPECT_EQ(encoder.frequency, 44100u);
    EXPECT_NE(encoder.planeKernel, nullptr);

    AudioDecoderKernels decoder;
    expect_runtime_error([&] { audio_decoder_select(&decoder, 11, 1, false, 1); }, "Unsupported pcm codec mono");
    expect_runtime_error([&] { audio_decoder_select(&decoder, 11, 4, true, 1); }, "Unsupported pcm codec mono");
    expect_runtime_error([&] { audio_decoder_select(&decoder, 12, 2, false, 2); }, "Unsupported pcm codec stereo");
    expect_runtime_error([&] { audio_decoder_select(&decoder, 11, 3, false, 1); },
                         "Unsupported pcm codec multi channels");
    expect_runtime_error([&] { audio_decoder_select(&decoder, 1, 2, false, 3); }, "Coeff read not supported");
    expect_runtime_error([&] { audio_decoder_select(&decoder, 1, 2, false, 0); }, "Coeff read not supported");
    EXPECT_EQ(decoder.entry, nullptr);
}

TEST(SampleFormatKernels, ZeroFramesWriteNothing) {
    for (uint32_t codec = 0; codec < kCodecs; ++codec) {
        for (uint32_t channels : {1u, 2u, 6u}) {
            for (uint32_t k = 1; k <= 2; ++k) {
                const Bytes input = random_bytes(64, codec);
                AudioDecoderKernels decoder;
                audio_decoder_select(&decoder, codec, channels, false, k);
                std::vector<float> guard(channels, 7.0f);
                std::vector<float*> outputs;
                for (auto& g : guard) outputs.push_back(&g);
                std::vector<const uint8_t*> inputs(channels, input.data());
                audio_decoder_process(&decoder, outputs.data(), inputs.data(), channels, 0);
                for (float g : guard) ASSERT_EQ(g, 7.0f);
            }
            AudioDescriptor d;
            audio_descriptor_init(&d, codec, channels, 48000, false);
            AudioEncoder encoder;
            audio_encoder_init(&encoder, &d);
            Bytes out(16, 0xAB);
            std::vector<uint8_t*> outputs(channels, out.data());
            const float one = 1.0f;
            std::vector<const float*> inputs(channels, &one);
            audio_encoder_process(&encoder, outputs.data(), inputs.data(), 0);
            ASSERT_EQ(out, Bytes(16, 0xAB));
        }
    }
}
