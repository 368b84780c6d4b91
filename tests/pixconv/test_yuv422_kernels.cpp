// The 4:2:2 repacks and the 2:1 downscalers against references written from the
// layouts, on random rows of every width parity, with guard bytes.
#include <gtest/gtest.h>

#include <vector>

#include "pixconv/kernel_registry.h"
#include "pixel_formats_oracle.h"

namespace {

struct Planes {
    std::vector<GuardedPlane> p;
    void pointers(uint8_t* ptr[4], int64_t stride[4]) {
        for (int i = 0; i < 4; ++i) {
            const bool used = i < int(p.size());
            ptr[i] = used ? p[i].data() : poison_plane();
            stride[i] = used ? p[i].stride : kPoisonStride;
        }
    }
};

void run(PixConvKernelFn fn, Planes& dst, Planes& src, uint32_t w, uint32_t h) {
    uint8_t* dp[4];
    uint8_t* sp[4];
    int64_t ds[4], ss[4];
    dst.pointers(dp, ds);
    src.pointers(sp, ss);
    const uint8_t* csp[4] = {sp[0], sp[1], sp[2], sp[3]};
    fn(dp, csp, ds, ss, w, h);
}

Planes yuv_planes(std::mt19937& rng, uint32_t w, uint32_t h, size_t unit) {
    Planes out;
    out.p.push_back(make_plane(rng, w * unit, h, unit));
    for (int i = 0; i < 2; ++i) out.p.push_back(make_plane(rng, (w + 1) / 2 * unit, h, unit));
    return out;
}

uint32_t sample(const GuardedPlane& p, uint32_t y, size_t i, size_t unit) {
    return unit == 1 ? read_at<uint8_t>(p.row(y), i) : read_at<uint16_t>(p.row(y), i);
}

uint32_t from8(uint32_t x, int bits) { return bits == 8 ? x : bits == 10 ? (x << 2) | (x >> 6) : (x << 4) | (x >> 4); }

const uint32_t kWidths[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 31, 32, 33, 63, 64, 65, 127, 299, 300};

// Each pixel j takes its Y from byte 4(j/2) + 1 + 2(j odd) and its pair's U and V
// from bytes 4(j/2) and 4(j/2) + 2; an odd width's last pixel reads its pair too.
TEST(Yuv422Kernels, UyvyToPlanarMatchesTheLayout) {
    struct Case {
        PixConvKernelFn fn;
        int bits;
    };
    std::mt19937 rng(41);
    for (const Case& c : {Case{conv_uyvy_to_planar_yuv422, 8}, Case{conv_uyvy_to_planar_yuv422_10, 10},
                          Case{conv_uyvy_to_planar_yuv422_12, 12}}) {
        SCOPED_TRACE(pixconv_kernel_name(c.fn));
        const size_t unit = c.bits == 8 ? 1 : 2;
        for (uint32_t w : kWidths) {
            const uint32_t h = 2;
            Planes src;
            src.p.push_back(make_plane(rng, (w + 1) / 2 * 4, h, 2));
            Planes dst = yuv_planes(rng, w, h, unit);
            run(c.fn, dst, src, w, h);  // plane 1 of a UYVY A source is poison: never read
            for (auto& p : dst.p) ASSERT_TRUE(p.untouched_outside_rows()) << "width " << w;
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t j = 0; j < w; ++j) {
                    const uint8_t* pair = src.p[0].row(y) + (j / 2) * 4;
                    ASSERT_EQ(sample(dst.p[0], y, j, unit), from8(pair[1 + 2 * (j & 1)], c.bits)) << w << " " << j;
                    ASSERT_EQ(sample(dst.p[1], y, j / 2, unit), from8(pair[0], c.bits));
                    ASSERT_EQ(sample(dst.p[2], y, j / 2, unit), from8(pair[2], c.bits));
                }
        }
    }
}

TEST(Yuv422Kernels, PlanarToUyvyFillsEveryPairByte) {
    struct Case {
        PixConvKernelFn fn;
        int bits;
    };
    std::mt19937 rng(43);
    for (const Case& c : {Case{conv_planar_yuv422_to_uyvy, 8}, Case{conv_planar_yuv422_10_to_uyvy, 10},
                          Case{conv_planar_yuv422_12_to_uyvy, 12}}) {
        SCOPED_TRACE(pixconv_kernel_name(c.fn));
        const size_t unit = c.bits == 8 ? 1 : 2;
        auto to8 = [&c](uint32_t x) { return c.bits == 8 ? x : (x >> (c.bits - 8)) & 0xFF; };
        for (uint32_t w : kWidths) {
            const uint32_t h = 2;
            Planes src = yuv_planes(rng, w, h, unit);
            Planes dst;
            dst.p.push_back(make_plane(rng, (w + 1) / 2 * 4, h, 2));
            run(c.fn, dst, src, w, h);
            ASSERT_TRUE(dst.p[0].untouched_outside_rows());
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t i = 0; i < (w + 1) / 2; ++i) {
                    const uint8_t* out = dst.p[0].row(y) + i * 4;
                    const uint32_t left = to8(sample(src.p[0], y, 2 * i, unit));
                    const uint32_t right = 2 * i + 1 < w ? to8(sample(src.p[0], y, 2 * i + 1, unit)) : left;
                    ASSERT_EQ(out[0], to8(sample(src.p[1], y, i, unit)));
                    ASSERT_EQ(out[1], left);
                    ASSERT_EQ(out[2], to8(sample(src.p[2], y, i, unit)));
                    ASSERT_EQ(out[3], right) << "width " << w;
                }
        }
    }
}

// V210: words 0..3 of a group hold (U0 Y0 V0) (Y1 U1 Y2) (V1 Y3 U2) (Y4 V2 Y5).
TEST(Yuv422Kernels, V210ToPlanarMatchesTheGroupLayout) {
    std::mt19937 rng(47);
    for (int bits : {8, 10}) {
        const PixConvKernelFn fn = bits == 8 ? conv_v210_to_planar_yuv422 : conv_v210_to_planar_yuv422_10;
        const size_t unit = bits == 8 ? 1 : 2;
        for (uint32_t w : kWidths) {
            const uint32_t h = 2;
            Planes src;
            src.p.push_back(make_plane(rng, (w + 5) / 6 * 16, h, 4));
            Planes dst = yuv_planes(rng, w, h, unit);
            run(fn, dst, src, w, h);
            for (auto& p : dst.p) ASSERT_TRUE(p.untouched_outside_rows());
            auto field = [&](uint32_t y, uint32_t group, int index) {
                const uint32_t word = read_at<uint32_t>(src.p[0].row(y) + group * 16, index / 3);
                const uint32_t f = (word >> (10 * (index % 3))) & 0x3FF;
                return bits == 8 ? f >> 2 : f;
            };
            static const int kY[6] = {1, 3, 5, 7, 9, 11}, kU[3] = {0, 4, 8}, kV[3] = {2, 6, 10};
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t j = 0; j < w; ++j) {
                    ASSERT_EQ(sample(dst.p[0], y, j, unit), field(y, j / 6, kY[j % 6])) << "width " << w;
                    ASSERT_EQ(sample(dst.p[1], y, j / 2, unit), field(y, j / 6, kU[(j % 6) / 2]));
                    ASSERT_EQ(sample(dst.p[2], y, j / 2, unit), field(y, j / 6, kV[(j % 6) / 2]));
                }
        }
    }
}

TEST(Yuv422Kernels, QuotedValues) {
    std::mt19937 rng(53);
    Planes src;
    src.p.push_back(make_plane(rng, 4, 1, 2));
    const uint8_t bytes[4] = {0x80, 0x10, 0x90, 0xEB};
    std::memcpy(src.p[0].data(), bytes, 4);
    Planes d8 = yuv_planes(rng, 2, 1, 1), d10 = yuv_planes(rng, 2, 1, 2), d12 = yuv_planes(rng, 2, 1, 2);
    run(conv_uyvy_to_planar_yuv422, d8, src, 2, 1);
    run(conv_uyvy_to_planar_yuv422_10, d10, src, 2, 1);
    run(conv_uyvy_to_planar_yuv422_12, d12, src, 2, 1);
    EXPECT_EQ(sample(d8.p[1], 0, 0, 1), 0x80u);
    EXPECT_EQ(sample(d8.p[0], 0, 0, 1), 0x10u);
    EXPECT_EQ(sample(d8.p[0], 0, 1, 1), 0xEBu);
    EXPECT_EQ(sample(d8.p[2], 0, 0, 1), 0x90u);
    EXPECT_EQ(sample(d10.p[0], 0, 1, 2), 0x3AFu);
    EXPECT_EQ(sample(d12.p[1], 0, 0, 2), 2056u);

    Planes p10 = yuv_planes(rng, 2, 1, 2), out;
    out.p.push_back(make_plane(rng, 4, 1, 2));
    write_at<uint16_t>(p10.p[0].data(), 0, 0x0400);
    write_at<uint16_t>(p10.p[0].data(), 1, 1023);
    write_at<uint16_t>(p10.p[1].data(), 0, 4);
    write_at<uint16_t>(p10.p[2].data(), 0, 0);
    run(conv_planar_yuv422_10_to_uyvy, out, p10, 2, 1);
    EXPECT_EQ(out.p[0].data()[1], 0);
    EXPECT_EQ(out.p[0].data()[3], 255);
    EXPECT_EQ(out.p[0].data()[0], 1);

    Planes v;
    v.p.push_back(make_plane(rng, 16, 1, 4));
    write_at<uint32_t>(v.p[0].data(), 0, 0x200u | (0x200u << 10) | (0x200u << 20));
    Planes v8 = yuv_planes(rng, 2, 1, 1), v10 = yuv_planes(rng, 2, 1, 2);
    run(conv_v210_to_planar_yuv422, v8, v, 2, 1);
    run(conv_v210_to_planar_yuv422_10, v10, v, 2, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sample(v8.p[i], 0, 0, 1), 0x80u);
        EXPECT_EQ(sample(v10.p[i], 0, 0, 2), 0x200u);
    }
}

TEST(HalfBilinear, BoxSumsRoundToNearestHalvesDown) {
    std::mt19937 rng(59);
    for (bool opaque : {false, true}) {
        const PixConvKernelFn fn = opaque ? half_bilinear_rgbx8_to_rgba8 : half_bilinear_rgba8;
        for (uint32_t w : {1u, 2u, 7u, 8u, 9u, 33u, 150u}) {
            const uint32_t h = 3;
            Planes src, dst;
            src.p.push_back(make_plane(rng, w * 8, 2 * h, 4));
            dst.p.push_back(make_plane(rng, w * 4, h, 4));
            run(fn, dst, src, w, h);
            ASSERT_TRUE(dst.p[0].untouched_outside_rows());
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    for (int c = 0; c < 4; ++c) {
                        const uint8_t* a = src.p[0].row(2 * y) + x * 8 + c;
                        const uint8_t* b = src.p[0].row(2 * y + 1) + x * 8 + c;
                        const uint32_t s = a[0] + a[4] + b[0] + b[4];
                        // s / 4 to nearest, halves down.
                        const uint32_t want = (opaque && c == 3) ? 255 : uint32_t(std::ceil(s / 4.0 - 0.5));
                        ASSERT_EQ(dst.p[0].row(y)[x * 4 + c], want);
                    }
        }
    }
}

}  // namespace
