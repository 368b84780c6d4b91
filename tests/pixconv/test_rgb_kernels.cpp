// The whole-image RGB kernels against the double-precision reference, one sweep per
// source family, on random images with odd widths, padded strides and guard bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pixconv/kernel_registry.h"
#include "pixel_formats_oracle.h"

namespace {

struct Family {
    const char* name;
    std::vector<std::string> sources;
    size_t kernels;
};
void PrintTo(const Family& f, std::ostream* os) { *os << f.name; }

std::vector<const PixConvKernelInfo*> plain_kernels_from(const std::vector<std::string>& sources) {
    std::vector<const PixConvKernelInfo*> out;
    size_t count = 0;
    const PixConvKernelInfo* all = pixconv_kernels(&count);
    for (size_t i = 0; i < count; ++i) {
        if (all[i].is_avx2 || all[i].shape != PixConvShape::Image) continue;
        const KernelName k = parse_kernel_name(all[i].name);
        if (!k.src) continue;
        for (const std::string& s : sources)
            if (s == k.src->token) out.push_back(&all[i]);
    }
    return out;
}

// Compares every written sample of `dst` with the reference of `src`.
::testing::AssertionResult matches_oracle(const KernelName& k, TestImage& src, TestImage& dst) {
    const int channels = k.dst->writes_fourth ? 4 : 3;
    for (uint32_t y = 0; y < src.height; ++y)
        for (uint32_t x = 0; x < src.width; ++x) {
            double in[4], want[4];
            for (int ch = 0; ch < 4; ++ch) in[ch] = k.src->pos[ch] >= 0 ? src.get(x, y, ch) : 0.0;
            oracle::pixel(k, in, want);
            for (int ch = 0; ch < channels; ++ch) {
                const double got = dst.get(x, y, ch);
                const bool same = k.dst->ty == Ty::F32 ? same_float(float(got), float(want[ch])) : got == want[ch];
                if (!same)
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << "," << y << ") channel " << ch << ": got " << got << ", want "
                           << want[ch] << " from (" << in[0] << "," << in[1] << "," << in[2] << "," << in[3] << ")";
            }
        }
    return ::testing::AssertionSuccess();
}

void run(PixConvKernelFn fn, TestImage& src, TestImage& dst, uint32_t first_row, uint32_t rows) {
    uint8_t* sp[4];
    uint8_t* dp[4];
    int64_t ss[4], ds[4];
    src.pointers(sp, ss);
    dst.pointers(dp, ds);
    const uint8_t* csp[4];
    for (int p = 0; p < 4; ++p) {
        const bool sused = p < int(src.planes.size()), dused = p < int(dst.planes.size());
        csp[p] = sused ? sp[p] + first_row * ss[p] : sp[p];
        if (dused) dp[p] += first_row * ds[p];
    }
    fn(dp, csp, ds, ss, src.width, rows);
}

class RgbFamilySweep : public ::testing::TestWithParam<Family> {};

TEST_P(RgbFamilySweep, EveryKernelMatchesTheReferenceAndWritesOnlyItsPixels) {
    const Family& family = GetParam();
    const auto kernels = plain_kernels_from(family.sources);
    EXPECT_EQ(kernels.size(), family.kernels);
    std::mt19937 rng(1234);
    for (const PixConvKernelInfo* info : kernels) {
        SCOPED_TRACE(info->name);
        const KernelName k = parse_kernel_name(info->name);
        const auto fn = reinterpret_cast<PixConvKernelFn>(info->fn);
        for (int iter = 0; iter < 6; ++iter) {
            const uint32_t w = iter == 0 ? 1 : 1 + rng() % 300, h = 1 + rng() % 4;
            TestImage src(rng, k.src, w, h), dst(rng, k.dst, w, h);
            fill_random(rng, src);
            src.snapshot();
            run(fn, src, dst, 0, h);
            ASSERT_TRUE(matches_oracle(k, src, dst)) << "width " << w;
            for (auto& p : dst.planes) ASSERT_TRUE(p.untouched_outside_rows());
            for (auto& p : src.planes) ASSERT_EQ(p.mem, p.snapshot) << "the source changed";

            // Bands of rows, pointers advanced by row x stride, give the same bytes.
            TestImage banded(rng, k.dst, w, h);
            for (size_t p = 0; p < banded.planes.size(); ++p) {
                banded.planes[p].stride = dst.planes[p].stride;
                banded.planes[p].mem.assign(dst.planes[p].mem.size(), 0);
            }
            for (uint32_t y = 0; y < h;) {
                const uint32_t rows = 1 + rng() % (h - y);
                run(fn, src, banded, y, rows);
                y += rows;
            }
            for (size_t p = 0; p < banded.planes.size(); ++p)
                for (uint32_t y = 0; y < h; ++y)
                    ASSERT_EQ(0, std::memcmp(banded.planes[p].row(y), dst.planes[p].row(y), dst.planes[p].row_bytes));

            // The premultiply-opaque kernels also run in place (the merge does so).
            if (k.op == Op::PremulOpaque) {
                run(fn, src, src, 0, h);
                ASSERT_EQ(0, std::memcmp(src.planes[0].data(), dst.planes[0].data(), src.planes[0].row_bytes))
                    << "in place";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, RgbFamilySweep,
    ::testing::Values(Family{"argb8", {"argb8"}, 27},
                      Family{"rgb_without_alpha", {"bgr8", "rgb8", "planar_rgb8", "planar_rgb16", "planar_rgb32f"}, 30},
                      Family{"rgba16", {"rgba16"}, 27}, Family{"rgba32f", {"rgba32f"}, 27},
                      Family{"planar_rgba", {"planar_rgba8", "planar_rgba16", "planar_rgba32f"}, 66},
                      Family{"rgba8_and_rgbx", {"rgba8", "rgbx8", "rgbx16", "rgbx32f"}, 49}),
    [](const ::testing::TestParamInfo<Family>& info) { return std::string(info.param.name); });

// Values quoted for the rules, pixel by pixel: source R, G, B, A (A ignored for a
// source without alpha, read as X for RGBX) and the expected R, G, B, A.
struct Quoted {
    const char* kernel;
    double in[4];
    double out[4];
};

const float kNan = std::nanf("");

const Quoted kQuoted[] = {
    {"conv_argb8_to_rgba8", {0x10, 0x20, 0x30, 0x80}, {0x10, 0x20, 0x30, 0x80}},
    {"conv_argb8_to_rgba16", {0x10, 0x20, 0x30, 0x80}, {0x1010, 0x2020, 0x3030, 0x8080}},
    {"conv_argb8_to_rgba8_premul", {255, 255, 255, 127}, {127, 127, 127, 127}},
    {"conv_argb8_to_rgba8_premul", {9, 8, 7, 0}, {0, 0, 0, 0}},
    {"conv_argb8_to_rgba8_unpremul", {64, 64, 64, 128}, {128, 128, 128, 128}},
    {"conv_argb8_to_rgba8_unpremul", {200, 0, 0, 100}, {255, 0, 0, 100}},
    {"conv_argb8_to_rgba16_unpremul", {64, 64, 64, 128}, {32768, 32768, 32768, 0x8080}},
    {"conv_bgr8_to_rgba8", {0x30, 0x20, 0x10, 0}, {0x30, 0x20, 0x10, 255}},
    {"conv_bgr8_to_rgba16", {0x30, 0x20, 0x10, 0}, {0x3030, 0x2020, 0x1010, 65535}},
    {"conv_rgb8_to_planar_rgba32f", {255, 0, 0, 0}, {1.0, 0, 0, 1.0}},
    {"conv_planar_rgb16_to_rgba8", {0x12FF, 0, 0, 0}, {0x12, 0, 0, 255}},
    {"conv_planar_rgb32f_to_rgba8", {1.2, -0.1, 0.5, 0}, {255, 0, 128, 255}},
    {"conv_planar_rgb32f_to_rgba32f", {1.2f, -0.1f, 0.5, 0}, {1.2f, -0.1f, 0.5, 1.0}},
    {"conv_planar_rgb8_to_argb8", {1, 2, 3, 0}, {1, 2, 3, 255}},
    {"conv_rgba16_to_rgba8", {0x12FF, 0x3400, 0xFFFF, 0x8000}, {0x12, 0x34, 0xFF, 0x80}},
    {"conv_rgba16_to_rgba16_premul", {65535, 0, 0, 32768}, {32768, 0, 0, 32768}},
    {"conv_rgba16_to_rgba8_premul", {65535, 65535, 65535, 32768}, {128, 128, 128, 128}},
    {"conv_rgba16_to_rgba16_unpremul", {16384, 0, 0, 32768}, {32768, 0, 0, 32768}},
    {"conv_rgba16_to_rgba16_unpremul", {40000, 0, 0, 30000}, {65535, 0, 0, 30000}},
    {"conv_rgba16_to_rgba16_unpremul", {5, 5, 5, 0}, {0, 0, 0, 0}},
    {"conv_rgba16_to_rgba16_premul_opaque", {65535, 0, 0, 0}, {0, 0, 0, 65535}},
    {"conv_rgba32f_to_rgba8", {1.0, 0.5, -0.25, 2.0}, {255, 128, 0, 255}},
    {"conv_rgba32f_to_rgba16", {1.0, 0.5, -0.25, 2.0}, {65535, 32768, 0, 65535}},
    {"conv_rgba32f_to_rgba8", {kNan, INFINITY, -INFINITY, 0.5}, {0, 255, 0, 128}},
    {"conv_rgba32f_to_rgba32f_premul", {2.0, 0, 0, 0.5}, {1.0, 0, 0, 0.5}},
    {"conv_rgba32f_to_rgba32f_unpremul", {0.6f, 0, 0, 0.5}, {1.2f, 0, 0, 0.5}},
    {"conv_rgba32f_to_rgba8_unpremul", {0.6f, 0, 0, 0.5}, {255, 0, 0, 128}},
    {"conv_rgba32f_to_rgba32f_unpremul", {0.6f, 0, 0, -0.0}, {0, 0, 0, -0.0}},
    {"conv_rgba32f_to_rgba32f_premul_opaque", {0.8f, 0.4f, 0.2f, 0.5}, {0.4f, 0.2f, 0.1f, 1.0}},
    {"conv_planar_rgba16_to_rgba8_premul", {65535, 0, 0, 65535}, {255, 0, 0, 255}},
    {"conv_planar_rgba16_to_rgba16_unpremul", {32768, 40000, 0, 32768}, {65535, 65535, 0, 32768}},
    {"conv_planar_rgba16_to_rgba8_unpremul", {32768, 0, 0, 65535}, {128, 0, 0, 255}},
    {"conv_planar_rgba32f_to_rgba8_premul", {0.5, 2.0, -1.0, 0.5}, {64, 255, 0, 128}},
    {"conv_planar_rgba32f_to_rgba16_unpremul", {0.75, 0.25, 0, 0.5}, {65535, 32768, 0, 32768}},
    {"conv_planar_rgba32f_to_rgba32f_unpremul", {0.75, 0.25, 0, 0.5}, {1.5, 0.5, 0, 0.5}},
    {"conv_planar_rgba8_to_argb8", {10, 20, 30, 40}, {10, 20, 30, 40}},
    {"conv_rgba8_to_rgba8_premul", {200, 100, 255, 100}, {78, 39, 100, 100}},
    {"conv_rgba8_to_rgba8_premul", {100, 255, 0, 200}, {78, 200, 0, 200}},
    {"conv_rgba8_to_rgba8_premul", {255, 1, 128, 128}, {128, 1, 64, 128}},
    {"conv_rgba8_to_rgba8_premul", {213, 255, 0, 3}, {2, 3, 0, 3}},
    {"conv_rgba8_to_rgba8_premul_opaque", {200, 100, 50, 0}, {0, 0, 0, 255}},
    {"conv_rgba8_to_rgba8_unpremul", {64, 127, 200, 128}, {128, 253, 255, 128}},
    {"conv_rgbx8_to_argb8", {10, 20, 30, 40}, {10, 20, 30, 255}},
    {"conv_rgbx16_to_rgba16", {1, 2, 3, 7}, {1, 2, 3, 65535}},
    {"conv_rgbx16_to_rgba8", {0x12FF, 0, 0, 7}, {0x12, 0, 0, 255}},
    {"conv_rgbx32f_to_rgba8", {1.5, -0.25, 0.5, kNan}, {255, 0, 128, 255}},
    {"conv_rgbx32f_to_rgbx32f", {1.5, -0.25, 0.5, 0.0}, {1.5, -0.25, 0.5, 1.0}},
};

PixConvKernelFn kernel_by_name(const std::string& name) {
    size_t count = 0;
    const PixConvKernelInfo* all = pixconv_kernels(&count);
    for (size_t i = 0; i < count; ++i)
        if (name == all[i].name) return reinterpret_cast<PixConvKernelFn>(all[i].fn);
    return nullptr;
}

TEST(RgbKernels, QuotedValues) {
    std::mt19937 rng(7);
    for (const Quoted& q : kQuoted) {
        SCOPED_TRACE(q.kernel);
        const KernelName k = parse_kernel_name(q.kernel);
        const PixConvKernelFn fn = kernel_by_name(q.kernel);
        ASSERT_TRUE(k.src && fn);
        TestImage src(rng, k.src, 1, 1), dst(rng, k.dst, 1, 1);
        for (int ch = 0; ch < 4; ++ch)
            if (k.src->pos[ch] >= 0) src.set(0, 0, ch, q.in[ch]);
        run(fn, src, dst, 0, 1);
        for (int ch = 0; ch < (k.dst->writes_fourth ? 4 : 3); ++ch) {
            if (k.dst->ty == Ty::F32) {
                EXPECT_TRUE(same_float(float(dst.get(0, 0, ch)), float(q.out[ch]))) << "channel " << ch;
            } else {
                EXPECT_EQ(dst.get(0, 0, ch), q.out[ch]) << "channel " << ch;
            }
        }
        // The reference agrees, so the sweeps test the quoted rules.
        double want[4];
        oracle::pixel(k, q.in, want);
        for (int ch = 0; ch < 3; ++ch) EXPECT_TRUE(same_float(float(want[ch]), float(q.out[ch]))) << "reference";
    }
}

// Every premultiply into 8 bits and un-premultiply into 8 bits over all 65,536
// (colour, alpha) pairs, in one 256 x 256 image.
TEST(RgbKernels, EightBitAlphaRulesOverEveryPair) {
    std::mt19937 rng(9);
    for (const char* name : {"conv_rgba8_to_rgba8_premul", "conv_rgba8_to_rgba8_unpremul"}) {
        SCOPED_TRACE(name);
        const KernelName k = parse_kernel_name(name);
        TestImage src(rng, k.src, 256, 256), dst(rng, k.dst, 256, 256);
        for (uint32_t y = 0; y < 256; ++y)
            for (uint32_t x = 0; x < 256; ++x) {
                src.set(x, y, 0, x);
                src.set(x, y, 1, 255 - x);
                src.set(x, y, 2, y);
                src.set(x, y, 3, y);
            }
        run(kernel_by_name(name), src, dst, 0, 256);
        EXPECT_TRUE(matches_oracle(k, src, dst));
    }
}

TEST(RgbKernels, ZeroWidthOrHeightTouchesNothing) {
    size_t count = 0;
    const PixConvKernelInfo* all = pixconv_kernels(&count);
    uint8_t* none[4] = {nullptr, nullptr, nullptr, nullptr};
    const uint8_t* cnone[4] = {nullptr, nullptr, nullptr, nullptr};
    const int64_t strides[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < count; ++i) {
        switch (all[i].shape) {
            case PixConvShape::Image:
                reinterpret_cast<PixConvKernelFn>(all[i].fn)(none, cnone, strides, strides, 0, 7);
                reinterpret_cast<PixConvKernelFn>(all[i].fn)(none, cnone, strides, strides, 7, 0);
                break;
            case PixConvShape::Plane:
            case PixConvShape::Copy:
                reinterpret_cast<PlaneConvKernelFn>(all[i].fn)(nullptr, nullptr, 0, 0, 0, 7);
                reinterpret_cast<PlaneConvKernelFn>(all[i].fn)(nullptr, nullptr, 0, 0, 7, 0);
                break;
            case PixConvShape::Fill:
                reinterpret_cast<FillAlphaPlaneFn>(all[i].fn)(nullptr, 0, 0, 7);
                reinterpret_cast<FillAlphaPlaneFn>(all[i].fn)(nullptr, 0, 7, 0);
                break;
        }
    }
}

}  // namespace
