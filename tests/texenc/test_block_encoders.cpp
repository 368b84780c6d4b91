// The block encoders: scale choice and quantisation, DXT1 packing, and round trips
// through the player's own block decoders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "media/block_decoders.h"
#include "texenc/block_encoders.h"

namespace {

class BlockEncoders : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!texenc_cpu_supported()) GTEST_SKIP() << "no AVX, FMA and SSE4.1 on this processor";
    }
};

constexpr float kCentre = 128.0f / 255.0f;

CocgBlockInput flat_block(float co, float cg) {
    CocgBlockInput in;
    for (int i = 0; i < 16; ++i) {
        in.co[i] = co;
        in.cg[i] = cg;
    }
    in.box[0] = in.box[2] = co;
    in.box[1] = in.box[3] = cg;
    return in;
}

TEST_F(BlockEncoders, ScaleFollowsTheBoxDistanceFromTheCentre) {
    struct Case {
        float co, cg;
        uint32_t code;
    };
    const Case cases[] = {
        {kCentre, kCentre, 3},                          // flat grey: scale 4
        {kCentre + 31.0f / 255.0f, kCentre, 3},
        {kCentre, kCentre - 40.0f / 255.0f, 1},         // scale 2
        {kCentre + 64.0f / 255.0f, kCentre, 0},         // reaching 64/255: scale 1
        {kCentre, kCentre - 100.0f / 255.0f, 0},
    };
    for (const Case& c : cases) {
        const uint64_t half = texenc_encode_cocg_block(flat_block(c.co, c.cg));
        EXPECT_EQ(half & 31, c.code) << c.co << " " << c.cg;
        EXPECT_EQ(half >> 16 & 31, c.code);
    }
}

// A flat block encoded and decoded by the player keeps its Co and Cg within one
// quantisation step at the block's scale.
TEST_F(BlockEncoders, FlatCocgBlocksSurviveTheDecoder) {
    for (int co8 = 128 - 56; co8 <= 128 + 56; co8 += 7)
        for (int cg8 = 128 - 60; cg8 <= 128 + 60; cg8 += 5) {
            if (std::abs(co8 - 128) + std::abs(cg8 - 128) > 110) continue;  // keep R, G, B unclipped
            const uint64_t half = texenc_encode_cocg_block(flat_block(co8 / 255.0f, cg8 / 255.0f));
            const int scale = (half & 31) == 3 ? 4 : (half & 31) == 1 ? 2 : 1;
            uint8_t block[16] = {128, 128, 0, 0, 0, 0, 0, 0};  // Y = 128 everywhere
            std::memcpy(block + 8, &half, 8);
            uint8_t pixels[4 * 16];
            decode_ycocg_dxt5_block(pixels, 16, block);
            for (int i = 0; i < 16; ++i) {
                const int r = pixels[4 * i], g = pixels[4 * i + 1];
                const int cg = g - 128, co = r - 128 + cg;
                EXPECT_LE(std::abs(co - (co8 - 128)), 255.0 / 31 / scale + 1) << co8 << " " << cg8;
                EXPECT_LE(std::abs(cg - (cg8 - 128)), 255.0 / 63 / scale + 1) << co8 << " " << cg8;
            }
        }
}

TEST_F(BlockEncoders, QuantisersFollowTheInsetAndWidenedRules) {
    using Quantiser = uint32_t (*)(const float*);
    struct Kind {
        Quantiser fn;
        double scale;
        bool inset;
    };
    const Kind kinds[] = {{texenc_quantize_cocg_inset_scale1, 1, true},    {texenc_quantize_cocg_inset_scale2, 2, true},
                          {texenc_quantize_cocg_inset_scale4, 4, true},    {texenc_quantize_cocg_widened_scale1, 1, false},
                          {texenc_quantize_cocg_widened_scale2, 2, false}, {texenc_quantize_cocg_widened_scale4, 4, false}};
    std::mt19937 rng(3);
    for (int n = 0; n < 200; ++n) {
        float box[4];
        const double span = 0.6 / (1 + n % 4);
        for (int i = 0; i < 2; ++i) {
            const double a = kCentre + span * ((rng() % 2001) / 1000.0 - 1.0), b = kCentre + span * ((rng() % 2001) / 1000.0 - 1.0);
            box[i] = float(std::min(a, b));
            box[i + 2] = float(std::max(a, b));
        }
        for (const Kind& k : kinds) {
            double lo[2], hi[2];
            for (int i = 0; i < 2; ++i) {
                lo[i] = k.scale * (box[i] - kCentre) + kCentre;
                hi[i] = k.scale * (box[i + 2] - kCentre) + kCentre;
                const double shift = k.inset ? (hi[i] - lo[i]) / 16 - 0.5 / 255 : -0.5 / 255;
                lo[i] += shift;
                hi[i] -= shift;
            }
            auto q = [](double v, double levels) { return std::clamp(std::trunc(v * levels + 0.5), 0.0, levels); };
            const uint32_t want0 = uint32_t(q(hi[0], 31)) << 11 | uint32_t(q(hi[1], 63)) << 5;
            const uint32_t want1 = uint32_t(q(lo[0], 31)) << 11 | uint32_t(q(lo[1], 63)) << 5;
            const uint32_t got = k.fn(box);
            // One level of slack for values that land on a rounding boundary in float.
            EXPECT_LE(std::abs(int(got >> 11 & 31) - int(want0 >> 11)), 1);
            EXPECT_LE(std::abs(int(got >> 5 & 63) - int(want0 >> 5 & 63)), 1);
            EXPECT_LE(std::abs(int(got >> 27) - int(want1 >> 11)), 1);
            EXPECT_LE(std::abs(int(got >> 21 & 63) - int(want1 >> 5 & 63)), 1);
            EXPECT_EQ(got & 0x001F001Fu, 0u);  // no scale code
        }
    }
}

// Decodes a DXT1 colour half and gives each pixel's RGBA word.
void decode_dxt1(uint64_t half, uint32_t out[16]) {
    uint8_t block[8], pixels[64];
    std::memcpy(block, &half, 8);
    decode_dxt1_block(pixels, 16, block);
    std::memcpy(out, pixels, 64);
}

TEST_F(BlockEncoders, Dxt1PackingKeepsFourColourModeAndThePixelsColours) {
    uint8_t indices[16];
    for (int i = 0; i < 16; ++i) indices[i] = uint8_t(i % 4);
    const float blue[3] = {0, 0, 1}, red[3] = {1, 0, 0};

    // Increasing endpoints are swapped with indices 0<->1 and 2<->3 ...
    const uint64_t swapped = texenc_pack_dxt1_float(blue, red, indices);
    EXPECT_EQ(swapped & 0xFFFF, 0xF800u);
    EXPECT_EQ(swapped >> 16 & 0xFFFF, 0x001Fu);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(swapped >> (32 + 2 * i) & 3, uint64_t((i % 4) ^ 1));
    // ... so every pixel still decodes to the colour it asked for.
    const uint64_t straight = texenc_pack_dxt1_float(red, blue, indices);
    uint32_t a[16], b[16];
    decode_dxt1(swapped, a);
    decode_dxt1(straight, b);
    for (int i = 0; i < 16; i += 4) {
        EXPECT_EQ(a[i], 0xFFFF0000u);  // index 0 asked for endpoint 0: blue
        EXPECT_EQ(a[i + 1], 0xFF0000FFu);
        EXPECT_EQ(b[i], 0xFF0000FFu);
    }

    // Equal endpoints: colour 1 zero, every index zero.
    const uint8_t grey[3] = {12, 40, 12};
    EXPECT_EQ(texenc_pack_dxt1_565(grey, grey, indices), uint64_t(12u << 11 | 40u << 5 | 12u));
    const uint8_t dim[3] = {1, 2, 3};
    const uint64_t bytes = texenc_pack_dxt1_565(grey, dim, indices);
    EXPECT_EQ(bytes & 0xFFFF, uint64_t(12u << 11 | 40u << 5 | 12u));
    EXPECT_EQ(bytes >> 32 & 0xFF, 0xE4u);  // indices 0,1,2,3 kept
}

// A least-squares endpoint slightly above 1 is the brightest level, not a wrapped one.
TEST_F(BlockEncoders, Dxt1FloatEndpointsAboveOneClamp) {
    uint8_t indices[16] = {};
    const float bright[3] = {1.05f, 1.05f, 1.05f}, dark[3] = {-0.2f, 0.1f, 0.0f};
    const uint64_t half = texenc_pack_dxt1_float(bright, dark, indices);
    EXPECT_EQ(half & 0xFFFF, 0xFFFFu);
    EXPECT_EQ(half >> 16 & 0xFFFF, uint64_t(uint32_t(0.1f * 63 + 0.5f) << 5));
}

TEST_F(BlockEncoders, AlphaRangeIgnoresTheExtremes) {
    uint8_t extremes[16];
    for (int i = 0; i < 16; ++i) extremes[i] = i % 2 ? 255 : 0;
    uint8_t lo = 0, hi = 0;
    texenc_alpha_range(extremes, &lo, &hi);
    EXPECT_EQ(lo, 255);
    EXPECT_EQ(hi, 0);
    uint8_t mixed[16] = {0, 255, 40, 7, 200, 254, 1, 255, 0, 90, 90, 90, 90, 90, 90, 90};
    texenc_alpha_range(mixed, &lo, &hi);
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 254);
}

TEST_F(BlockEncoders, ProjectionsFillTheirLanesAndZeroThePadding) {
    using Project = void (*)(const float*, const float*, float*);
    const Project routines[] = {texenc_project_2,  texenc_project_3,  texenc_project_4,  texenc_project_5,
                                texenc_project_6,  texenc_project_7,  texenc_project_8,  texenc_project_9,
                                texenc_project_10, texenc_project_11, texenc_project_12, texenc_project_13,
                                texenc_project_14, texenc_project_15, texenc_project_16};
    std::mt19937 rng(11);
    float pixels[64];
    for (float& p : pixels) p = float(rng() % 1000) / 999.0f;
    const float axis[3] = {0.57f, -0.31f, 0.76f};
    for (int n = 2; n <= 16; ++n) {
        float out[20];
        for (float& o : out) o = -7.0f;
        routines[n - 2](pixels, axis, out);
        const int lanes = (n + 3) / 4 * 4;
        for (int i = 0; i < 20; ++i) {
            if (i < n) {
                const float want = pixels[4 * i] * axis[0] + pixels[4 * i + 1] * axis[1] + pixels[4 * i + 2] * axis[2];
                EXPECT_FLOAT_EQ(out[i], want) << n << " " << i;
            } else {
                EXPECT_EQ(out[i], i < lanes ? 0.0f : -7.0f) << n << " " << i;
            }
        }
    }
}

TEST_F(BlockEncoders, PaletteWeightsSplitTheEndpointsByThirds) {
    const float e0[4] = {0.9f, 0.6f, 0.3f, 2.0f}, e1[4] = {0.3f, 0.0f, 0.6f, 4.0f};
    Dxt1PaletteWeights w;
    texenc_palette_weights(e0, e1, &w);
    const float a[4] = {1, 0, 2.0f / 3, 1.0f / 3};
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 3; ++c) {
            EXPECT_FLOAT_EQ(w.from0[k][c], e0[c] * a[k]);
            EXPECT_FLOAT_EQ(w.from1[k][c], e1[c] * (1 - a[k]));
        }
    EXPECT_FLOAT_EQ(w.from0[2][3], 2.0f * 4 / 9);
    EXPECT_FLOAT_EQ(w.from0[3][3], 2.0f / 9);
    EXPECT_FLOAT_EQ(w.from1[2][3], 4.0f / 9);
    EXPECT_FLOAT_EQ(w.from1[3][3], 4.0f * 4 / 9);
    EXPECT_FLOAT_EQ(w.cross[0], 4.0f / 9);
    EXPECT_FLOAT_EQ(w.cross[1], 8.0f / 9);
    EXPECT_FLOAT_EQ(w.cross[2], 12.0f / 9);
}

}  // namespace
