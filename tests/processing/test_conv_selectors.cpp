// Kernel selectors: the documented picks by name, and that the AVX2 pick of every
// pair computes the same bytes as the plain pick.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "media/video_frame.h"
#include "pixconv/kernel_registry.h"
#include "processing/conv_selectors.h"
#include "tests/support/expect_error.h"

namespace {

std::string name_of(PixConvKernelFn fn) {
    const char* n = pixconv_kernel_name(fn);
    return n ? n : "none";
}

enum Kind { Straight, Premul, Unpremul };
PixConvKernelFn pick(Kind kind, uint32_t s, uint32_t d, uint8_t avx2) {
    switch (kind) {
        case Premul: return get_premul_kernel(s, d, avx2);
        case Unpremul: return get_unpremul_kernel(s, d, avx2);
        default: return get_conv_kernel(s, d, avx2);
    }
}

void fill_random(VideoFrame* f, std::mt19937& rng) {
    const PixDescriptor d = get_pix_descriptor(f->pixel_format);
    for (uint32_t p = 0; p < f->plane_count; ++p) {
        if (d.flags & PixFlag_Float) {
            std::uniform_real_distribution<float> u(-0.1f, 1.1f);
            float* v = reinterpret_cast<float*>(f->planes[p]);
            for (size_t i = 0; i < f->sizes[p] / 4; ++i) v[i] = u(rng);
        } else if (d.bit_depth[p] > 8 && d.bit_depth[p] < 16) {
            uint16_t* v = reinterpret_cast<uint16_t*>(f->planes[p]);
            for (size_t i = 0; i < f->sizes[p] / 2; ++i) v[i] = static_cast<uint16_t>(rng() & ((1u << d.bit_depth[p]) - 1));
        } else {
            for (size_t i = 0; i < f->sizes[p]; ++i) f->planes[p][i] = static_cast<uint8_t>(rng());
        }
    }
}

}  // namespace

TEST(ConvSelectors, DocumentedPicks) {
    struct Row {
        Kind kind;
        uint32_t s, d;
        const char* plain;
        const char* avx2;
    };
    const Row rows[] = {
        {Straight, 1, 5, "conv_rgba8_to_rgba16", "conv_rgba8_to_rgba16_avx2"},
        {Straight, 1, 6, "conv_rgba8_to_rgba16", "conv_rgba8_to_rgba16_avx2"},
        {Straight, 9, 13, "none", "none"},
        {Straight, 34, 28, "conv_uyvy_to_planar_yuv422_10", "conv_uyvy_to_planar_yuv422_10_avx2"},
        {Straight, 35, 31, "none", "none"},
        {Straight, 8, 7, "conv_rgbx32f_to_rgbx32f", "conv_rgbx32f_to_rgbx32f"},
        {Straight, 8, 8, "conv_rgbx32f_to_rgbx32f", "conv_rgbx32f_to_rgbx32f"},
        {Straight, 4, 1, "conv_rgbx8_to_rgba8", "conv_rgbx8_to_rgba8"},
        {Straight, 4, 9, "conv_rgba8_to_planar_rgb8", "conv_rgba8_to_planar_rgb8"},
        // The plain and AVX2 picks of one pair are one routine: X becomes the maximum.
        {Straight, 6, 8, "conv_rgbx16_to_rgba32f", "conv_rgbx16_to_rgba32f_avx2"},
        {Straight, 8, 4, "conv_rgbx32f_to_rgba8", "conv_rgbx32f_to_rgba8_avx2"},
        {Straight, 8, 6, "conv_rgbx32f_to_rgba16", "conv_rgbx32f_to_rgba16_avx2"},
        {Straight, 36, 23, "conv_uyvy_to_planar_yuv422", "conv_uyvy_to_planar_yuv422_avx2"},
        {Straight, 40, 1, "none", "none"},
        {Premul, 4, 1, "none", "none"},
        {Premul, 10, 9, "conv_planar_rgba8_to_planar_rgb8_premul", "conv_planar_rgba8_to_planar_rgb8_premul"},
        {Unpremul, 10, 9, "conv_planar_rgba8_to_planar_rgb8_unpremul", "conv_planar_rgba8_to_planar_rgb8_unpremul"},
        {Premul, 1, 6, "conv_rgba8_to_rgba16_premul", "conv_rgba8_to_rgba16_premul"},
        {Premul, 1, 4, "conv_rgba8_to_rgba8_premul", "conv_rgba8_to_rgba8_premul_avx2"},
        {Premul, 5, 5, "conv_rgba16_to_rgba16_premul", "conv_rgba16_to_rgba16_premul"},
        {Unpremul, 5, 6, "conv_rgba16_to_rgba16_unpremul", "conv_rgba16_to_rgba16_unpremul_avx2"},
        {Unpremul, 7, 8, "conv_rgba32f_to_rgba32f_unpremul", "conv_rgba32f_to_rgba32f_unpremul_avx2"},
        {Premul, 16, 15, "conv_planar_rgba32f_to_planar_rgb32f_premul", "conv_planar_rgba32f_to_planar_rgb32f_premul"},
        {Premul, 0, 2, "none", "none"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(name_of(pick(r.kind, r.s, r.d, 0)), r.plain) << r.s << " -> " << r.d;
        EXPECT_EQ(name_of(pick(r.kind, r.s, r.d, 1)), r.avx2) << r.s << " -> " << r.d;
    }
}

TEST(ConvSelectors, EveryListedPairResolvesToAKernel) {
    // Counts over the whole 41 x 41 grid: a misspelt name in a table would drop a pair.
    int straight = 0, premul = 0, unpremul = 0;
    for (uint32_t s = 0; s <= 40; ++s)
        for (uint32_t d = 0; d <= 40; ++d) {
            straight += get_conv_kernel(s, d, 0) != nullptr;
            premul += get_premul_kernel(s, d, 0) != nullptr;
            unpremul += get_unpremul_kernel(s, d, 0) != nullptr;
        }
    EXPECT_EQ(straight, 159);
    EXPECT_EQ(premul, 7 * 12);
    EXPECT_EQ(unpremul, 7 * 12);
}

TEST(ConvSelectors, PlanarFormatsAndPlaneSteps) {
    EXPECT_EQ(pixfmt_to_planar(5, 1), 14u);
    EXPECT_EQ(pixfmt_to_planar(5, 0), 13u);
    EXPECT_EQ(pixfmt_to_planar(10, 0), 9u);
    EXPECT_EQ(pixfmt_to_planar(35, 1), 28u);
    EXPECT_RUNTIME_ERROR(pixfmt_to_planar(36, 1), "Can't find packed to planar fmt");
    EXPECT_RUNTIME_ERROR(pixfmt_to_planar(25, 0), "Can't find no alpha planar fmt");
    EXPECT_EQ(pixfmt_without_alpha(1), 4u);
    EXPECT_EQ(pixfmt_without_alpha(33), 32u);
    EXPECT_EQ(pixfmt_without_alpha(5), 5u);

    struct Row {
        uint32_t from, to, mode;
        const char* kernel;  // every plane present in both
        uint32_t planes;
    };
    const Row rows[] = {
        {13, 9, 0, "conv_plane_16le_to_8", 3},
        {13, 12, 0, "conv_plane_16le_to_12le", 3},
        {9, 11, 0, "conv_plane_8_to_10le", 3},
        {10, 9, 1, "copy_plane", 3},   // equal depths still carry their planes
        {14, 10, 3, "conv_plane_16le_to_8", 4},
        {23, 28, 0, "conv_plane_8_to_10le", 3},
    };
    for (const Row& r : rows) {
        PlaneStep step;
        assign_plane_converters(&step, r.from, r.to, 37, 5, r.mode, 0);
        ASSERT_TRUE(step.on) << r.from << " -> " << r.to;
        for (uint32_t p = 0; p < 4; ++p)
            EXPECT_STREQ(pixconv_kernel_name(step.kernels[p]), p < r.planes ? r.kernel : nullptr);
    }
    PlaneStep step;
    assign_plane_converters(&step, 23, 28, 37, 5, 0, 0);
    EXPECT_EQ(step.widths[1], 19u);  // chroma of 4:2:2 at half width
    assign_plane_converters(&step, 9, 9, 37, 5, 0, 0);
    EXPECT_FALSE(step.on);
    assign_plane_converters(&step, 9, 23, 37, 5, 0, 0);  // RGB to YUV is no plane step
    EXPECT_FALSE(step.on);
}

TEST(ConvSelectors, Avx2PicksComputeTheSameBytesAsPlainPicks) {
    if (!pixconv_use_avx2(true)) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(5);
    int compared = 0;
    for (int kind = 0; kind < 3; ++kind)
        for (uint32_t s = 0; s < 39; ++s)
            for (uint32_t d = 0; d < 39; ++d) {
                PixConvKernelFn plain = pick(Kind(kind), s, d, 0), fast = pick(Kind(kind), s, d, 1);
                if (!plain || plain == fast) continue;
                const uint32_t w = 37, h = 5;
                VideoFrame* in = video_frame_new();
                VideoFrame* a = video_frame_new();
                VideoFrame* b = video_frame_new();
                video_frame_alloc(in, w, h, s, true);
                video_frame_alloc(a, w, h, d, true);
                video_frame_alloc(b, w, h, d, true);
                fill_random(in, rng);
                for (uint32_t p = 0; p < a->plane_count; ++p) {
                    std::memset(a->planes[p], 0, a->sizes[p]);
                    std::memset(b->planes[p], 0, b->sizes[p]);
                }
                int64_t ss[4], ds[4];
                for (int p = 0; p < 4; ++p) ss[p] = in->line_sizes[p], ds[p] = a->line_sizes[p];
                plain(a->planes, in->planes, ds, ss, w, h);
                fast(b->planes, in->planes, ds, ss, w, h);
                for (uint32_t p = 0; p < a->plane_count; ++p)
                    EXPECT_EQ(std::memcmp(a->planes[p], b->planes[p], a->sizes[p]), 0)
                        << name_of(plain) << " vs " << name_of(fast) << " plane " << p;
                ++compared;
                video_frame_destroy(in);
                video_frame_destroy(a);
                video_frame_destroy(b);
            }
    EXPECT_GT(compared, 15);
}
