#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "base/pcm/channel_layouts.h"
#include "base/pcm/layout_converter.h"
#include "tests/support/expect_error.h"

using testsupport::expect_runtime_error;

namespace {

const uint32_t kInLayouts[] = {0, 1, 2, 3, 4};
const uint32_t kOutLayouts[] = {0, 1, 2, 4};

// Input and output planes of one conversion, `count` floats each.
struct Signal {
    uint32_t count;
    std::vector<std::vector<float>> in;
    std::vector<std::vector<float>> out;
    std::vector<float> silence;

    Signal(uint32_t in_layout, uint32_t out_layout, uint32_t n)
        : count(n),
          in(audio_layout_channel_count(in_layout), std::vector<float>(n, 0.0f)),
          out(audio_layout_channel_count(out_layout), std::vector<float>(n, NAN)),
          silence(n, 0.0f) {}

    void run(const AudioLayoutConverter& c, uint64_t mute, float gain) {
        std::vector<float*> o;
        for (auto& p : out) o.push_back(p.data());
        std::vector<const float*> i;
        for (auto& p : in) i.push_back(p.data());
        audio_layout_converter_process(&c, o.data(), i.data(), count, mute, gain, silence.data());
    }
};

// Converts one frame whose input channels are `values`; returns the output frame.
std::vector<float> convert(uint32_t in_layout, uint32_t out_layout, const std::vector<float>& values,
                           uint64_t mute = 0, float gain = 1.0f, bool direct = false) {
    AudioLayoutConverter c;
    audio_layout_converter_init(&c, in_layout, out_layout, direct);
    Signal s(in_layout, out_layout, 1);
    for (size_t ch = 0; ch < values.size(); ++ch) s.in[ch][0] = values[ch];
    s.run(c, mute, gain);
    std::vector<float> frame;
    for (auto& p : s.out) frame.push_back(p[0]);
    return frame;
}

int g_process_calls = 0;
void spy_process(const AudioLayoutConverter*, float* const*, const float* const*, uint32_t, uint64_t, float,
                 const float*) {
    ++g_process_calls;
}

// The down-mix gains from their decibels, in double: a reference independent of
// the float constants of the code.
const double kMinus3 = std::pow(10.0, -3.0 / 20.0);
const double kMinus6 = std::pow(10.0, -6.0 / 20.0);

}  // namespace

TEST(LayoutConverter, RefusesLayoutsItCannotConvert) {
    AudioLayoutConverter c;
    expect_runtime_error([&] { audio_layout_converter_init(&c, 5, 1, false); }, "Unsupported audio layout in");
    expect_runtime_error([&] { audio_layout_converter_init(&c, 5, 3, false); }, "Unsupported audio layout in");
    expect_runtime_error([&] { audio_layout_converter_init(&c, 1, 3, false); }, "Unsupported audio layout out");
    expect_runtime_error([&] { audio_layout_converter_init(&c, 1, 5, false); }, "Unsupported audio layout out");
    EXPECT_EQ(c.process, nullptr);
    audio_layout_converter_init(&c, 3, 4, true);
    EXPECT_EQ(c.inChannels, 4u);
    EXPECT_EQ(c.outChannels, 8u);
    EXPECT_EQ(c.direct, 1);
}

TEST(LayoutConverter, CopyRuleByGainAndDirectFlag) {
    // Unity gain: exact copy when nothing was summed upstream, clamped otherwise.
    EXPECT_EQ(convert(1, 1, {1.5f, -1.5f}, 0, 1.0f, true), (std::vector<float>{1.5f, -1.5f}));
    EXPECT_EQ(convert(1, 1, {1.5f, -1.5f}, 0, 1.0f, false), (std::vector<float>{1.0f, -1.0f}));
    // A positive gain always clamps.
    EXPECT_EQ(convert(0, 0, {0.75f}, 0, 2.0f, true), (std::vector<float>{1.0f}));
    EXPECT_EQ(convert(0, 0, {0.25f}, 0, 2.0f, true), (std::vector<float>{0.5f}));
    // A negative gain inverts, unclamped only when direct.
    EXPECT_EQ(convert(0, 0, {0.8f}, 0, -2.0f, true), (std::vector<float>{0.8f * -2.0f}));
    EXPECT_EQ(convert(0, 0, {0.8f}, 0, -2.0f, false), (std::vector<float>{-1.0f}));
    EXPECT_EQ(convert(0, 0, {0.25f}, 0, -1.0f, false), (std::vector<float>{-0.25f}));
}

TEST(LayoutConverter, GainZeroOrEveryInputMutedGivesSilenceWithoutProcessing) {
    for (uint32_t in : kInLayouts) {
        for (uint32_t out : kOutLayouts) {
            AudioLayoutConverter c;
            audio_layout_converter_init(&c, in, out, false);
            c.process = &spy_process;
            const uint64_t all = (uint64_t(1) << c.inChannels) - 1;
            for (const auto& [mute, gain] : {std::pair{uint64_t(0), 0.0f}, std::pair{all, 1.0f},
                                             std::pair{~uint64_t(0), 0.5f}}) {
                Signal s(in, out, 9);
                for (auto& p : s.in) p.assign(9, 0.5f);
                g_process_calls = 0;
                s.run(c, mute, gain);
                EXPECT_EQ(g_process_calls, 0);
                for (auto& p : s.out) EXPECT_EQ(p, std::vector<float>(9, 0.0f)) << in << "->" << out;
            }
            // Anything else is the layout pair's work.
            Signal s(in, out, 9);
            s.run(c, all >> 1, 0.5f);
            EXPECT_EQ(g_process_calls, 1);
        }
    }
}

TEST(LayoutConverter, StereoToMono) {
    EXPECT_EQ(convert(1, 0, {0.75f, 0.5f}), (std::vector<float>{1.0f}));
    EXPECT_EQ(convert(1, 0, {0.75f, 0.5f}, 0, 0.5f), (std::vector<float>{0.625f}));
    EXPECT_EQ(convert(1, 0, {0.75f, -0.5f}), (std::vector<float>{0.25f}));
    // One side muted: the other by the copy rule (here: unclamped, direct).
    EXPECT_EQ(convert(1, 0, {1.5f, 0.5f}, 0b10, 1.0f, true), (std::vector<float>{1.5f}));
    EXPECT_EQ(convert(1, 0, {1.5f, 0.25f}, 0b01, -2.0f, true), (std::vector<float>{-0.5f}));
}

TEST(LayoutConverter, UpMixesFillTheFrontPairAndSilenceTheRest) {
    EXPECT_EQ(convert(0, 1, {0.3f}), (std::vector<float>{0.3f, 0.3f}));
    EXPECT_EQ(convert(0, 2, {0.3f}, 0, 0.5f), (std::vector<float>{0.15f, 0.15f, 0, 0, 0, 0}));
    EXPECT_EQ(convert(0, 4, {-0.3f}), (std::vector<float>{-0.3f, -0.3f, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(convert(1, 2, {0.1f, 0.2f}, 0b01), (std::vector<float>{0, 0.2f, 0, 0, 0, 0}));
    EXPECT_EQ(convert(1, 4, {0.1f, 0.2f}), (std::vector<float>{0.1f, 0.2f, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(convert(2, 4, {.1f, .2f, .3f, .4f, .5f, .6f}), (std::vector<float>{.1f, .2f, .3f, .4f, .5f, .6f, 0, 0}));
    EXPECT_EQ(convert(2, 2, {.1f, .2f, .3f, .4f, .5f, .6f}, 0b001000),
              (std::vector<float>{.1f, .2f, .3f, 0, .5f, .6f}));
    // Dual stereo into a wide layout: the first pair only.
    EXPECT_EQ(convert(3, 2, {.1f, .2f, .3f, .4f}), (std::vector<float>{.1f, .2f, 0, 0, 0, 0}));
}

TEST(LayoutConverter, SurroundDownMixes) {
    // Centre alone: -3 dB on each side, exactly the coefficient; LFE alone: nothing.
    EXPECT_EQ(convert(2, 1, {0, 0, 1.0f, 0, 0, 0}), (std::vector<float>{0.70794576f, 0.70794576f}));
    EXPECT_EQ(convert(2, 1, {0, 0, 0, 1.0f, 0, 0}), (std::vector<float>{0, 0}));
    EXPECT_EQ(convert(4, 1, {0, 0, 0, 1.0f, 0, 0, 0, 0}), (std::vector<float>{0, 0}));
    EXPECT_EQ(convert(2, 0, {0, 0, 0, 1.0f, 0, 0}), (std::vector<float>{0}));
    EXPECT_EQ(convert(4, 0, {0, 0, 0, 1.0f, 0, 0, 0, 0}), (std::vector<float>{0}));

    // Every sample of random signals against the double-precision formulas.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> dist(-0.3f, 0.3f);
    for (int trial = 0; trial < 500; ++trial) {
        float v[8];
        for (float& x : v) x = dist(rng);
        const double L = v[0], R = v[1], C = v[2], Ls = v[4], Rs = v[5], Lrs = v[6], Rrs = v[7];
        for (float gain : {1.0f, 0.7f}) {
            const auto s51 = convert(2, 1, {v, v + 6}, 0, gain);
            EXPECT_NEAR(s51[0], (L + kMinus3 * C + kMinus6 * Ls) * gain, 2e-7);
            EXPECT_NEAR(s51[1], (R + kMinus3 * C + kMinus6 * Rs) * gain, 2e-7);
            const auto s71 = convert(4, 1, {v, v + 8}, 0, gain);
            EXPECT_NEAR(s71[0], (L + kMinus3 * C + kMinus6 * (Ls + Lrs)) * gain, 2e-7);
            EXPECT_NEAR(s71[1], (R + kMinus3 * C + kMinus6 * (Rs + Rrs)) * gain, 2e-7);
            const double m51 = (L + R + 2 * kMinus3 * C + kMinus6 * (Ls + Rs)) * gain;
            EXPECT_NEAR(convert(2, 0, {v, v + 6}, 0, gain)[0], std::clamp(m51, -1.0, 1.0), 3e-7);
            const double m71 = (L + R + 2 * kMinus3 * C + kMinus6 * (Ls + Rs + Lrs + Rrs)) * gain;
            EXPECT_NEAR(convert(4, 0, {v, v + 8}, 0, gain)[0], std::clamp(m71, -1.0, 1.0), 3e-7);
        }
    }
    // Sums past full scale are clamped, with and without gain.
    EXPECT_EQ(convert(2, 1, {0.9f, -0.9f, 0, 0, 0.5f, -0.5f}), (std::vector<float>{1.0f, -1.0f}));
    EXPECT_EQ(convert(4, 0, {0.9f, 0.9f, 0, 0, 0, 0, 0, 0}, 0, 0.9f), (std::vector<float>{1.0f}));
    // A muted input is silence inside the down-mix.
    EXPECT_EQ(convert(2, 1, {0.1f, 0.2f, 1.0f, 0, 0, 0}, 0b000100), (std::vector<float>{0.1f, 0.2f}));
}

TEST(LayoutConverter, DualStereo) {
    const std::vector<float> v{0.1f, 0.2f, 0.3f, 0.35f};
    EXPECT_EQ(convert(3, 0, v), (std::vector<float>{((0.1f + 0.2f) + 0.3f) + 0.35f}));
    EXPECT_EQ(convert(3, 0, {0.5f, 0.5f, 0.5f, 0}), (std::vector<float>{1.0f}));  // clamped
    EXPECT_EQ(convert(3, 0, v, 0b1100), (std::vector<float>{0.1f + 0.2f}));
    EXPECT_EQ(convert(3, 1, v), (std::vector<float>{0.1f + 0.3f, 0.2f + 0.35f}));
    // Exactly one pair muted: the other pair by the copy rule.
    EXPECT_EQ(convert(3, 1, v, 0b0011, 0.5f), (std::vector<float>{0.15f, 0.175f}));
    EXPECT_EQ(convert(3, 1, {1.5f, -1.5f, 0, 0}, 0b1100, 1.0f, true), (std::vector<float>{1.5f, -1.5f}));
    // Any other pattern: the down-mix with the muted inputs silent.
    EXPECT_EQ(convert(3, 1, v, 0b0110), (std::vector<float>{0.1f, 0.35f}));
    EXPECT_EQ(convert(3, 1, {1.5f, -1.5f, 0, 0}, 0b1000, 1.0f, true), (std::vector<float>{1.0f, -1.0f}));
}

TEST(LayoutConverter, SevenOneToFiveOneFoldsTheRearPairs) {
    const std::vector<float> v{.1f, .2f, .3f, .4f, .6f, .1f, .6f, .2f};
    EXPECT_EQ(convert(4, 2, v), (std::vector<float>{.1f, .2f, .3f, .4f, 1.0f, .1f + .2f}));
    EXPECT_EQ(convert(4, 2, v, 0, 0.5f), (std::vector<float>{.05f, .1f, .15f, .2f, (.6f + .6f) * .5f, (.1f + .2f) * .5f}));
    // One of a pair muted: the other by the copy rule; both muted: silence.
    EXPECT_EQ(convert(4, 2, v, 0b01100000), (std::vector<float>{.1f, .2f, .3f, .4f, .6f, .2f}));
    EXPECT_EQ(convert(4, 2, v, 0b10100001), (std::vector<float>{0, .2f, .3f, .4f, 1.0f, 0}));
    // The pair is summed and multiplied even at gain 1 with direct set: clamped.
    EXPECT_EQ(convert(4, 2, {0, 0, 0, 0, 0.7f, 0, 0.7f, 0}, 0, 1.0f, true)[4], 1.0f);
}

// Over every supported pair, mute pattern, gain and flag: every output float is
// written, and a muted input changes nothing.
TEST(LayoutConverter, EveryPairWritesAllOutputsAndIgnoresMutedInputs) {
    const uint32_t n = 7;
    for (uint32_t in : kInLayouts) {
        for (uint32_t out : kOutLayouts) {
            for (bool direct : {false, true}) {
                AudioLayoutConverter c;
                audio_layout_converter_init(&c, in, out, direct);
                const uint64_t all = (uint64_t(1) << c.inChannels) - 1;
                for (uint64_t mute = 0; mute < all; ++mute) {
                    for (float gain : {1.0f, 0.5f, -0.5f}) {
                        Signal quiet(in, out, n), loud(in, out, n);
                        for (uint32_t ch = 0; ch < c.inChannels; ++ch) {
                            for (uint32_t k = 0; k < n; ++k) {
                                const float x = 0.05f * float(ch + 1) - 0.01f * float(k);
                                quiet.in[ch][k] = (mute >> ch & 1) ? 0.0f : x;
                                loud.in[ch][k] = (mute >> ch & 1) ? 0.9f : x;
                            }
                        }
                        quiet.run(c, mute, gain);
                        loud.run(c, mute, gain);
                        for (uint32_t j = 0; j < c.outChannels; ++j) {
                            for (uint32_t k = 0; k < n; ++k) {
                                ASSERT_FALSE(std::isnan(quiet.out[j][k])) << in << "->" << out << " out " << j;
                                ASSERT_EQ(quiet.out[j][k], loud.out[j][k])
                                    << in << "->" << out << " mute " << mute << " gain " << gain;
                            }
                        }
                    }
                }
            }
        }
    }
}
