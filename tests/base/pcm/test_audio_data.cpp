#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "base/pcm/audio_data.h"
#include "tests/support/expect_error.h"


TEST(AudioData, CodecTable) {
    const uint32_t bytes[] = {1, 2, 2, 3, 3, 4, 4, 4, 4, 8, 8};
    for (uint32_t c = 0; c <= 10; ++c) EXPECT_EQ(audio_pcm_bytes_per_sample(c), bytes[c]);
    EXPECT_STREQ(audio_pcm_codec_name(0), "PCM U8bits");
    EXPECT_STREQ(audio_pcm_codec_name(4), "PCM S24bits BE");
    EXPECT_STREQ(audio_pcm_codec_name(7), "PCM Float 32bits LE");
    EXPECT_STREQ(audio_pcm_codec_name(10), "PCM Float 64bits BE");
    EXPECT_STREQ(audio_pcm_codec_name(11), "Unknown");
    EXPECT_STREQ(audio_pcm_codec_name(200), "Unknown");
    EXPECT_RUNTIME_ERROR(audio_pcm_bytes_per_sample(11), "Unknown audio descriptor");
}

TEST(AudioData, DescriptorChecksInOrderAndStoresNothingOnFailure) {
    AudioDescriptor d;
    audio_descriptor_init(&d, AudioPcmCodec_S24LE, 6, 48000, false);
    EXPECT_EQ(d.bytesPerSample, 3u);
    EXPECT_EQ(d.bytesPerChannelSecond, 144000u);
    EXPECT_EQ(d.planar, 0);
    const AudioDescriptor before = d;
    EXPECT_RUNTIME_ERROR(audio_descriptor_init(&d, 11, 0, 0, true), "Unknown audio descriptor");
    EXPECT_RUNTIME_ERROR(audio_descriptor_init(&d, 1, 0, 0, true), "Invalid channel count (0)");
    EXPECT_RUNTIME_ERROR(audio_descriptor_init(&d, 1, 2, 0, true), "Invalid frequency (0)");
    EXPECT_EQ(std::memcmp(&before, &d, sizeof d), 0);
}

TEST(AudioData, PlanarBuffersGrowButNeverShrink) {
    AudioData a;
    audio_data_init(&a);
    EXPECT_EQ(a.descriptor.codec, 1u);
    EXPECT_EQ(a.planeCount, 0u);
    audio_descriptor_init(&a.descriptor, AudioPcmCodec_F32LE, 2, 48000, true);
    audio_data_alloc(&a, 48000);
    EXPECT_EQ(a.capacity, 384000u);
    ASSERT_EQ(a.planeCount, 2u);
    EXPECT_EQ(a.planes[1] - a.planes[0], 192000);
    audio_data_realloc(&a, 96000);
    EXPECT_EQ(a.planes[1] - a.planes[0], 384000);
    std::memset(a.data, 0, a.capacity);  // ASan: the whole block is ours
    uint8_t* block = a.data;
    audio_data_realloc(&a, 48000);
    EXPECT_EQ(a.capacity, 768000u);
    EXPECT_EQ(a.data, block);
    EXPECT_EQ(a.planes[1] - a.planes[0], 384000);
    EXPECT_EQ(a.frames, 48000u);
    audio_data_free(&a);
    EXPECT_EQ(a.data, nullptr);
    audio_data_free(&a);  // safe twice
}

TEST(AudioData, InterleavedAndRefusedSizes) {
    AudioData a;
    audio_data_init(&a);
    audio_descriptor_init(&a.descriptor, AudioPcmCodec_S24LE, 6, 48000, false);
    audio_data_alloc(&a, 1000);
    EXPECT_EQ(a.planeCount, 1u);
    EXPECT_EQ(a.capacity, 18000u);
    EXPECT_EQ(a.planes[0], a.data);
    audio_data_free(&a);

    AudioData z;
    audio_data_init(&z);
    audio_descriptor_init(&z.descriptor, AudioPcmCodec_S16LE, 2, 44100, false);
    EXPECT_RUNTIME_ERROR(audio_data_alloc(&z, 0), "Invalid audio data alloc size (0)");
    EXPECT_EQ(z.data, nullptr);
    // A hostile header: 1024 channels of doubles for 2^20 frames passes 4 GiB.
    audio_descriptor_init(&z.descriptor, AudioPcmCodec_F64LE, 1024, 48000, true);
    EXPECT_THROW(audio_data_alloc(&z, 1u << 20), std::runtime_error);
    EXPECT_EQ(z.data, nullptr);
}

TEST(AudioData, SilenceAndReversedFrames) {
    std::vector<uint8_t> buf(12, 0x55);
    audio_fill_silence(buf.data(), AudioPcmCodec_U8, 3, 2);
    EXPECT_EQ(buf[5], 128);
    EXPECT_EQ(buf[6], 0x55);
    for (uint32_t c = 1; c <= 10; ++c) {
        std::vector<uint8_t> s(2 * 3 * 8 + 1, 0x55);
        audio_fill_silence(s.data(), c, 2, 3);
        const size_t n = 2 * 3 * audio_pcm_bytes_per_sample(c);
        EXPECT_EQ(s[n - 1], 0) << c;
        EXPECT_EQ(s[n], 0x55) << c;
    }
    EXPECT_RUNTIME_ERROR(audio_fill_silence(buf.data(), 11, 1, 1), "Unknown audio descriptor");

    const uint8_t abc[] = {'A', 'A', 'B', 'B', 'C', 'C'};
    uint8_t out[6] = {};
    audio_frames_reverse_copy(out, abc, 3, 2);
    EXPECT_EQ(std::memcmp(out, "CCBBAA", 6), 0);
    uint8_t untouched[2] = {9, 9};
    audio_frames_reverse_copy(untouched, abc, 0, 2);
    EXPECT_EQ(untouched[0], 9);
}
