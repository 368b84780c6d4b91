#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "base/pcm/channel_mixer.h"
#include "tests/support/expect_error.h"

using testsupport::expect_runtime_error;

namespace {

std::vector<float> random_plane(uint32_t count, uint32_t seed) {
    // Magnitudes far apart, so that a different order of addition shows in the bits.
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> plane(count);
    for (auto& x : plane) x = dist(rng) * std::ldexp(1.0f, int(rng() % 24) - 12);
    return plane;
}

}  // namespace

TEST(ChannelMixer, RoutesListSourcesInAscendingOrder) {
    AudioChannelMixer mixer;
    audio_mixer_reset(&mixer);
    const uint64_t masks[] = {0b01, 0b10, 0b01, uint64_t(1) << 63};  // bit 63 has no output here
    audio_mixer_init(&mixer, 4, 2, masks);
    EXPECT_EQ(mixer.inChannels, 4u);
    EXPECT_EQ(mixer.outChannels, 2u);
    ASSERT_EQ(mixer.routes[0].count, 2u);
    EXPECT_EQ(mixer.routes[0].sources[0], 0u);
    EXPECT_EQ(mixer.routes[0].sources[1], 2u);
    EXPECT_EQ(mixer.routes[0].sources[2], 0u);  // unused tail
    EXPECT_EQ(mixer.routes[0].sources[3], 0u);
    ASSERT_EQ(mixer.routes[1].count, 1u);
    EXPECT_EQ(mixer.routes[1].sources[0], 1u);
    audio_mixer_free(&mixer);
    EXPECT_EQ(mixer.routes, nullptr);
    audio_mixer_free(&mixer);  // a freed mixer is empty again
}

// Output j is fed by sources 0..j-1: no source, one, and every group size of the
// folding sums; each must equal the plain left-to-right float sum bit for bit.
TEST(ChannelMixer, SumsLeftToRightForEverySourceCount) {
    const uint32_t sources = 10, outputs = 11, count = 23;
    std::vector<std::vector<float>> in;
    std::vector<uint64_t> masks(sources, 0);
    for (uint32_t i = 0; i < sources; ++i) {
        in.push_back(random_plane(count, i + 1));
        for (uint32_t j = i + 1; j < outputs; ++j) masks[i] |= uint64_t(1) << j;
    }
    AudioChannelMixer mixer;
    audio_mixer_init(&mixer, sources, outputs, masks.data());

    std::vector<std::vector<float>> out(outputs, std::vector<float>(count, NAN));  // sentinel
    std::vector<float*> out_planes;
    for (auto& p : out) out_planes.push_back(p.data());
    std::vector<const float*> in_planes;
    for (auto& p : in) in_planes.push_back(p.data());
    audio_mixer_process(&mixer, out_planes.data(), in_planes.data(), count);

    for (uint32_t j = 0; j < outputs; ++j) {
        for (uint32_t k = 0; k < count; ++k) {
            float expected = 0.0f;
            if (j > 0) {
                expected = in[0][k];
                for (uint32_t i = 1; i < j; ++i) expected = expected + in[i][k];
            }
            ASSERT_EQ(std::memcmp(&out[j][k], &expected, sizeof(float)), 0) << "output " << j << " sample " << k;
        }
    }
    audio_mixer_free(&mixer);
}

TEST(ChannelMixer, SumKernelsMayWriteOverTheirFirstInput) {
    std::vector<float> a{1.0f, 2.0f, 3.0f, 4.0f, 5.0f}, b{10, 20, 30, 40, 50}, c{100, 200, 300, 400, 500};
    audio_mix_sum3(a.data(), a.data(), b.data(), c.data(), 5);
    EXPECT_EQ(a, (std::vector<float>{111, 222, 333, 444, 555}));
    audio_mix_sum4(a.data(), a.data(), b.data(), c.data(), b.data(), 5);
    EXPECT_EQ(a, (std::vector<float>{231, 462, 693, 924, 1155}));
    // No clamping.
    std::vector<float> big{0.9f}, big2{0.9f}, out{0.0f};
    audio_mix_sum2(out.data(), big.data(), big2.data(), 1);
    EXPECT_EQ(out[0], 0.9f + 0.9f);
}

TEST(ChannelMixer, RefusedCountsLeaveTheMixerAsItWas) {
    AudioChannelMixer mixer;
    const uint64_t masks[2] = {1, 2};
    expect_runtime_error([&] { audio_mixer_init(&mixer, 0, 2, masks); }, "Invalid tracks count In,out (0)");
    expect_runtime_error([&] { audio_mixer_init(&mixer, 2, 0, masks); }, "Invalid tracks count In,out (0)");
    // A 65th output has no bit in a 64-bit mask.
    expect_runtime_error([&] { audio_mixer_init(&mixer, 2, 65, masks); },
                         "Invalid tracks count In,out (more than 64 out)");
    EXPECT_EQ(mixer.routes, nullptr);

    audio_mixer_init(&mixer, 2, 64, masks);
    AudioMixRoute* routes = mixer.routes;
    expect_runtime_error([&] { audio_mixer_init(&mixer, 2, 65, masks); },
                         "Invalid tracks count In,out (more than 64 out)");
    EXPECT_EQ(mixer.routes, routes);
    EXPECT_EQ(mixer.outChannels, 64u);
    // Initialising again replaces the routes without leaking the old ones.
    const uint64_t swapped[2] = {2, 1};
    audio_mixer_init(&mixer, 2, 2, swapped);
    EXPECT_EQ(mixer.routes[0].sources[0], 1u);
    audio_mixer_free(&mixer);
}
