// Plane kernels against a reference written from the depth rules, on random planes
// with padded strides and guard bytes; the copy and the alpha fillers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pixconv/kernel_registry.h"
#include "pixel_formats_oracle.h"

namespace {

struct Depth {
    int bits;    // 8, 10, 12, 16, or 32 for float
    size_t size; // bytes per sample
};

Depth depth_of(const std::string& token) {
    if (token == "8") return {8, 1};
    if (token == "10le") return {10, 2};
    if (token == "12le") return {12, 2};
    if (token == "16le") return {16, 2};
    return {32, 4};
}

double read_sample(const uint8_t* row, size_t i, Depth d) {
    if (d.size == 1) return read_at<uint8_t>(row, i);
    if (d.size == 2) return read_at<uint16_t>(row, i);
    return read_at<float>(row, i);
}

// The reference of one sample: widening replicates the source's own bits (bits above
// its depth ignored), narrowing keeps the top bits, integer to float multiplies by
// the reciprocal (8, 16) or divides the whole 16-bit word (10, 12), float to integer
// limits and rounds halves away from zero.
double reference(double x, Depth s, Depth d) {
    if (s.bits == 32) return oracle::to_int(x, std::ldexp(1.0, d.bits) - 1.0);
    const uint32_t v = uint32_t(x);
    if (d.bits == 32) {
        if (s.bits == 8) return oracle::f32(x * oracle::k_of(Ty::U8));
        if (s.bits == 16) return oracle::f32(x * oracle::k_of(Ty::U16));
        return oracle::f32(x / (std::ldexp(1.0, s.bits) - 1.0));
    }
    if (d.bits > s.bits) {
        const uint32_t m = v & ((1u << s.bits) - 1);
        return double((m << (d.bits - s.bits)) | (m >> (2 * s.bits - d.bits)));
    }
    return double((v >> (s.bits - d.bits)) & ((1u << d.bits) - 1));
}

void fill_samples(std::mt19937& rng, GuardedPlane& p, Depth d) {
    const size_t n = p.row_bytes / d.size;
    for (uint32_t y = 0; y < p.rows; ++y)
        for (size_t i = 0; i < n; ++i) {
            if (d.size == 1) write_at<uint8_t>(p.row(y), i, uint8_t(rng()));
            else if (d.size == 2) {
                // 10- and 12-bit planes mostly in range, sometimes with stray high bits.
                const uint32_t r = rng();
                const uint16_t v = d.bits < 16 && (r & 3) ? uint16_t(r >> 8) & ((1u << d.bits) - 1) : uint16_t(r >> 8);
                write_at<uint16_t>(p.row(y), i, v);
            } else {
                write_at<float>(p.row(y), i, float(random_sample(rng, Ty::F32)));
            }
        }
    p.take_snapshot();
}

TEST(PlaneKernels, EveryDepthChangeMatchesTheReference) {
    size_t count = 0, planes = 0;
    const PixConvKernelInfo* all = pixconv_kernels(&count);
    std::mt19937 rng(21);
    for (size_t k = 0; k < count; ++k) {
        if (all[k].shape != PixConvShape::Plane || all[k].is_avx2) continue;
        ++planes;
        const std::string name = all[k].name;
        SCOPED_TRACE(name);
        const size_t to = name.find("_to_");
        const Depth s = depth_of(name.substr(11, to - 11)), d = depth_of(name.substr(to + 4));
        const auto fn = reinterpret_cast<PlaneConvKernelFn>(all[k].fn);
        for (uint32_t w = 1; w <= 100; w += 1 + rng() % 3) {
            const uint32_t h = 1 + rng() % 3;
            GuardedPlane src = make_plane(rng, w * s.size, h, s.size), dst = make_plane(rng, w * d.size, h, d.size);
            fill_samples(rng, src, s);
            fn(dst.data(), src.data(), dst.stride, src.stride, w, h);
            ASSERT_TRUE(dst.untouched_outside_rows());
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x) {
                    const double in = read_sample(src.row(y), x, s), want = reference(in, s, d);
                    const double got = read_sample(dst.row(y), x, d);
                    const bool same = d.bits == 32 ? same_float(float(got), float(want)) : got == want;
                    ASSERT_TRUE(same) << "width " << w << " sample " << x << ": " << in << " gave " << got
                                      << ", want " << want;
                }
        }
    }
    EXPECT_EQ(planes, 20u);  // 19 depth pairs and 16le to 12le
}

struct QuotedPlane {
    PlaneConvKernelFn fn;
    double in;
    double out;
};

TEST(PlaneKernels, QuotedValues) {
    const float nan = std::nanf("");
    const QuotedPlane cases[] = {
        {conv_plane_8_to_10le, 0, 0},         {conv_plane_8_to_10le, 128, 514},
        {conv_plane_8_to_10le, 255, 1023},    {conv_plane_8_to_16le, 0xAB, 0xABAB},
        {conv_plane_10le_to_16le, 1023, 65535}, {conv_plane_10le_to_16le, 512, 32800},
        {conv_plane_10le_to_16le, 0xFC00, 0}, {conv_plane_12le_to_10le, 4095, 1023},
        {conv_plane_16le_to_10le, 65535, 1023}, {conv_plane_16le_to_8, 0x01FF, 1},
        {conv_plane_16le_to_8, 0xFFFF, 255},  {conv_plane_16le_to_8, 0x00FF, 0},
        {conv_plane_16le_to_12le, 65535, 4095}, {conv_plane_16le_to_12le, 0x8000, 2048},
        {conv_plane_10le_to_32f, 1023, 1.0},  {conv_plane_16le_to_32f, 65535, 1.0},
        {conv_plane_8_to_32f, 255, 1.0},      {conv_plane_12le_to_32f, 4095, 1.0},
        {conv_plane_10le_to_32f, 0xFFFF, double(65535.0f / 1023.0f)},
        {conv_plane_10le_to_8, 0xFFFF, 255},  {conv_plane_10le_to_8, 0x0400, 0},
        {conv_plane_32f_to_8, 1.5, 255},      {conv_plane_32f_to_8, -1.0, 0},
        {conv_plane_32f_to_8, 0.5, 128},      {conv_plane_32f_to_8, nan, 0},
        {conv_plane_32f_to_8, INFINITY, 255}, {conv_plane_32f_to_8, -INFINITY, 0},
        {conv_plane_32f_to_8, -0.2, 0},       {conv_plane_32f_to_10le, 0.5, 512},
        {conv_plane_32f_to_16le, 0.5, 32768}, {conv_plane_32f_to_16le, nan, 0},
    };
    std::mt19937 rng(3);
    for (const QuotedPlane& c : cases) {
        const char* name = pixconv_kernel_name(c.fn);
        SCOPED_TRACE(name);
        const std::string n = name;
        const size_t to = n.find("_to_");
        const Depth s = depth_of(n.substr(11, to - 11)), d = depth_of(n.substr(to + 4));
        GuardedPlane src = make_plane(rng, s.size, 1, s.size), dst = make_plane(rng, d.size, 1, d.size);
        if (s.size == 1) write_at<uint8_t>(src.data(), 0, uint8_t(c.in));
        else if (s.size == 2) write_at<uint16_t>(src.data(), 0, uint16_t(c.in));
        else write_at<float>(src.data(), 0, float(c.in));
        c.fn(dst.data(), src.data(), dst.stride, src.stride, 1, 1);
        const double got = read_sample(dst.data(), 0, d);
        if (d.bits == 32) EXPECT_EQ(float_bits(float(got)), float_bits(float(c.out)));
        else EXPECT_EQ(got, c.out);
    }
}

TEST(PlaneKernels, CopyAndFillersWriteTheirRowsOnly) {
    std::mt19937 rng(5);
    for (uint32_t w : {1u, 3u, 64u, 257u}) {
        for (bool contiguous : {true, false}) {
            const uint32_t h = 3;
            GuardedPlane src = make_plane(rng, w, h, 1), dst = make_plane(rng, w, h, 1);
            if (contiguous) {
                src.stride = dst.stride = w;
                dst.take_snapshot();
            } else if (dst.stride == int64_t(w)) {
                dst.stride += 5;
                dst.mem.resize(dst.mem.size() + 5 * h, 0x5A);
                dst.take_snapshot();
            }
            copy_plane(dst.data(), src.data(), dst.stride, src.stride, w, h);
            EXPECT_TRUE(dst.untouched_outside_rows());
            for (uint32_t y = 0; y < h; ++y) EXPECT_EQ(0, std::memcmp(dst.row(y), src.row(y), w));

            struct Fill {
                FillAlphaPlaneFn fn;
                size_t size;
                uint32_t bits;  // the opaque sample as stored
            };
            for (const Fill& f : {Fill{fill_alpha_plane_8, 1, 0xFF}, Fill{fill_alpha_plane_10le, 2, 1023},
                                  Fill{fill_alpha_plane_12le, 2, 4095}, Fill{fill_alpha_plane_16le, 2, 0xFFFF},
                                  Fill{fill_alpha_plane_32f, 4, 0x3F800000}}) {
                GuardedPlane p = make_plane(rng, w * f.size, h, f.size);
                if (contiguous) {
                    p.stride = int64_t(w * f.size);
                    p.take_snapshot();
                }
                f.fn(p.data(), p.stride, w, h);
                EXPECT_TRUE(p.untouched_outside_rows());
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x) {
                        uint32_t v = 0;
                        std::memcpy(&v, p.row(y) + x * f.size, f.size);
                        ASSERT_EQ(v, f.bits) << pixconv_kernel_name(f.fn);
                    }
            }
        }
    }
}

}  // namespace
