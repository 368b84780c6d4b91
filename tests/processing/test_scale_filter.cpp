// The scale and conversion node: which path and kernels a pair of formats gets, and
// what the pixels come out as, checked against zimg driven directly.
#include <gtest/gtest.h>
#include <zimg.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/aligned_memory.h"
#include "processing/scale_filter.h"
#include "tests/support/expect_error.h"

namespace {

std::string text(const char* s) { return s ? s : "none"; }

ScaleParams params(uint32_t sf, uint32_t sw, uint32_t sh, uint32_t df, uint32_t dw, uint32_t dh,
                   uint32_t quality = 1, uint32_t src_alpha = 0, uint32_t dst_alpha = 0) {
    ScaleParams p;
    p.src_format = sf, p.src_width = sw, p.src_height = sh, p.src_alpha_mode = src_alpha;
    p.dst_format = df, p.dst_width = dw, p.dst_height = dh, p.dst_alpha_mode = dst_alpha;
    p.quality = quality;
    return p;
}

struct Frame {
    VideoFrame* f = video_frame_new();
    Frame(uint32_t w, uint32_t h, uint32_t format, bool align64 = true) { video_frame_alloc(f, w, h, format, align64); }
    ~Frame() { video_frame_destroy(f); }
    uint8_t* row(uint32_t p, uint32_t y) const { return f->planes[p] + y * f->line_sizes[p]; }
};

void fill_random(Frame& fr, uint32_t seed) {
    std::mt19937 rng(seed);
    for (uint32_t p = 0; p < fr.f->plane_count; ++p)
        for (uint32_t i = 0; i < fr.f->sizes[p]; ++i) fr.f->planes[p][i] = static_cast<uint8_t>(rng());
}

// Premultiplied RGBA8: colour never above alpha.
void fill_premultiplied(Frame& fr, uint32_t seed) {
    std::mt19937 rng(seed);
    for (uint32_t y = 0; y < fr.f->height; ++y)
        for (uint32_t x = 0; x < fr.f->width; ++x) {
            uint8_t* px = fr.row(0, y) + 4 * x;
            px[3] = static_cast<uint8_t>(rng());
            for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>(px[3] ? rng() % (px[3] + 1u) : 0);
        }
}

VideoFrame* run(FilterNode* node, VideoFrame* in) {
    node->inputs[0] = in;
    node->process(node);
    return node->output;
}

}  // namespace

TEST(ScaleFilter, PlansForTheCommonSteps) {
    struct Row {
        const char* what;
        ScaleParams p;
        uint32_t path;
        const char* pre;
        const char* plane;  // kernel of planes 0..2
        const char* post;
        const char* fill;
    };
    const Row rows[] = {
        {"RGBA8 to RGBX8 copies", params(1, 64, 36, 4, 64, 36), ScalePath_Kernel, nullptr, "copy_plane", nullptr, nullptr},
        {"2:1 bilinear premultiplied", params(1, 128, 72, 1, 64, 36, 1), ScalePath_Kernel, "half_bilinear_rgba8", nullptr, nullptr, nullptr},
        {"2:1 RGBX to RGBA", params(4, 128, 72, 1, 64, 36, 1), ScalePath_Kernel, "half_bilinear_rgbx8_to_rgba8", nullptr, nullptr, nullptr},
        {"2:1 bicubic through zimg", params(1, 128, 72, 1, 64, 36, 2), ScalePath_Zimg, "conv_rgba8_to_planar_rgba8", nullptr, "conv_planar_rgba8_to_rgba8", nullptr},
        // Straight colours are averaged with alpha weights by zimg, never by the box.
        {"2:1 straight through zimg", params(1, 128, 72, 1, 64, 36, 1, 1, 1), ScalePath_Zimg, "conv_rgba8_to_planar_rgba8", nullptr, "conv_planar_rgba8_to_rgba8", nullptr},
        {"RGBX8 to planar RGB16", params(4, 64, 36, 13, 64, 36), ScalePath_Kernel, "conv_rgba8_to_planar_rgb16", nullptr, nullptr, nullptr},
        {"planar RGB8 to RGB10", params(9, 64, 36, 11, 64, 36), ScalePath_Kernel, nullptr, "conv_plane_8_to_10le", nullptr, nullptr},
        {"straight to premultiplied", params(1, 64, 36, 1, 64, 36, 1, 1, 0), ScalePath_Kernel, "conv_rgba8_to_rgba8_premul", nullptr, nullptr, nullptr},
        {"RGBX8 to RGBA8 writes alpha", params(4, 64, 36, 1, 64, 36), ScalePath_Kernel, "conv_rgbx8_to_rgba8", nullptr, nullptr, nullptr},
        {"premultiplied into no alpha keeps colours", params(1, 64, 36, 2, 64, 36, 1, 0, 1), ScalePath_Kernel, "conv_rgba8_to_rgb8", nullptr, nullptr, nullptr},
        {"planar premultiply is not dropped", params(10, 64, 36, 2, 64, 36, 1, 1, 0), ScalePath_Kernel, "conv_planar_rgba8_to_planar_rgba8_premul", "copy_plane", "conv_planar_rgb8_to_rgb8", nullptr},
        {"planar RGB8 to RGBA8 fills alpha", params(9, 64, 36, 10, 64, 36), ScalePath_Kernel, nullptr, "copy_plane", nullptr, "fill_alpha_plane_8"},
        {"V210 to UYVY through planar", params(35, 64, 36, 34, 64, 36), ScalePath_Kernel, "conv_v210_to_planar_yuv422_10", "conv_plane_10le_to_8", "conv_planar_yuv422_to_uyvy", nullptr},
        {"YUV444 to RGB through zimg", params(24, 64, 36, 9, 64, 36), ScalePath_Zimg, nullptr, nullptr, nullptr, nullptr},
        {"un-premultiply while resizing", params(1, 64, 36, 5, 40, 20, 2, 0, 1), ScalePath_Zimg, "conv_rgba8_to_planar_rgba8", nullptr, "conv_planar_rgba16_to_rgba16", nullptr},
        {"UYVY to RGB8 through zimg", params(34, 64, 36, 2, 64, 36), ScalePath_Zimg, "conv_uyvy_to_planar_yuv422", nullptr, "conv_planar_rgb8_to_rgb8", nullptr},
    };
    for (const Row& r : rows) {
        FilterNode* node = create_scale_filter(r.p);
        const ScalePlan plan = scale_filter_plan(node);
        EXPECT_EQ(plan.path, r.path) << r.what;
        EXPECT_EQ(text(plan.pre_kernel), text(r.pre)) << r.what;
        // Packed formats have one plane.
        const int planes = (r.p.src_format <= 8 && r.p.dst_format <= 8) ? 1 : 3;
        for (int p = 0; p < planes; ++p) EXPECT_EQ(text(plan.plane_kernels[p]), text(r.plane)) << r.what << " plane " << p;
        EXPECT_EQ(text(plan.post_kernel), text(r.post)) << r.what;
        EXPECT_EQ(text(plan.fill_kernel), text(r.fill)) << r.what;
        filter_free(node);
    }
    FilterNode* zimg_node = create_scale_filter(params(1, 128, 72, 1, 64, 36, 2));
    EXPECT_EQ(scale_filter_plan(zimg_node).src_work_format, uint32_t(PixelFormat_Planar_RGBA8));
    EXPECT_EQ(scale_filter_plan(zimg_node).dst_work_format, uint32_t(PixelFormat_Planar_RGBA8));
    filter_free(zimg_node);
}

TEST(ScaleFilter, CreationFaults) {
    EXPECT_RUNTIME_ERROR(create_scale_filter(params(25, 64, 36, 1, 64, 36)), "Unsupported input pix fmt\n");
    EXPECT_RUNTIME_ERROR(create_scale_filter(params(1, 64, 36, 31, 64, 36)), "Unsupported output pix fmt");
    EXPECT_RUNTIME_ERROR(create_scale_filter(params(1, 0, 36, 1, 64, 36)), "Invalid dimensions (zero)");
    ScaleParams p = params(1, 64, 36, 1, 32, 20);
    p.quality = 9;
    EXPECT_RUNTIME_ERROR(create_scale_filter(p), "Scale filter : scale quality unknown");
    EXPECT_STREQ(alpha_mode_name(0), "Premult Black");
    EXPECT_STREQ(alpha_mode_name(7), "Unknown alpha mode");
}

TEST(ScaleFilter, InputOfAnotherSizeOrFormatIsRefused) {
    FilterNode* node = create_scale_filter(params(7, 16, 8, 1, 16, 8));
    Frame small(16, 8, PixelFormat_RGBA8);  // a quarter of the bytes the node would read
    EXPECT_RUNTIME_ERROR(run(node, small.f), "Invalid input scaling pix fmt");
    Frame wrong_size(16, 9, PixelFormat_RGBA32F);
    EXPECT_RUNTIME_ERROR(run(node, wrong_size.f), "Invalid input scaling resolution");
    filter_free(node);
}

TEST(ScaleFilter, HalfBoxRoundsAsDocumented) {
    // 2x2 blocks of RGBX8 whose sums are 4q, 4q+1, 4q+2, 4q+3 in each channel.
    Frame in(8, 2, PixelFormat_RGBX8);
    const uint8_t blocks[4][4] = {{10, 10, 10, 10}, {10, 10, 10, 11}, {10, 10, 11, 11}, {10, 11, 11, 11}};
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 4; ++i) {
            uint8_t* px = in.row(0, i / 2) + 4 * (2 * b + i % 2);
            px[0] = px[1] = px[2] = blocks[b][i];
            px[3] = 77;
        }
    FilterNode* node = create_scale_filter(params(4, 8, 2, 1, 4, 1, 1));
    VideoFrame* out = run(node, in.f);
    for (int b = 0; b < 4; ++b) {
        const uint32_t s = 40 + b;
        const uint8_t* px = out->planes[0] + 4 * b;
        EXPECT_EQ(px[0], (s + ((s >> 1) & 1)) >> 2) << "sum " << s;
        EXPECT_EQ(px[3], 255);
    }
    filter_free(node);
}

TEST(ScaleFilter, RgbxIntoRgbaWritesTheMaximumAlpha) {
    for (uint32_t sf : {4u, 6u, 8u}) {
        const uint32_t df = sf - 3 + (sf == 4 ? 0 : (sf == 6 ? 2 : 4));  // 1, 5, 7
        Frame in(9, 3, sf);
        fill_random(in, sf);
        if (sf == 8)
            for (uint32_t y = 0; y < 3; ++y)
                for (uint32_t i = 0; i < 36; ++i) reinterpret_cast<float*>(in.row(0, y))[i] = 0.25f;
        FilterNode* node = create_scale_filter(params(sf, 9, 3, df, 9, 3));
        VideoFrame* out = run(node, in.f);
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < 9; ++x) {
                const uint8_t* row = out->planes[0] + y * out->line_sizes[0];
                if (df == 1) {
                    EXPECT_EQ(row[4 * x + 3], 255);
                }
                if (df == 5) {
                    EXPECT_EQ(reinterpret_cast<const uint16_t*>(row)[4 * x + 3], 65535);
                }
                if (df == 7) {
                    EXPECT_EQ(reinterpret_cast<const float*>(row)[4 * x + 3], 1.0f);
                }
            }
        filter_free(node);
    }
}

TEST(ScaleFilter, PlanarPremultiplyIntoPackedRgb) {
    Frame in(5, 2, PixelFormat_Planar_RGBA8);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 5; ++x) {
            in.row(0, y)[x] = 200, in.row(1, y)[x] = 100, in.row(2, y)[x] = 0;
            in.row(3, y)[x] = static_cast<uint8_t>(x * 60);
        }
    FilterNode* node = create_scale_filter(params(10, 5, 2, 2, 5, 2, 1, 1, 0));
    VideoFrame* out = run(node, in.f);
    for (uint32_t x = 0; x < 5; ++x) {
        const uint8_t* px = out->planes[0] + out->line_sizes[0] + 3 * x;
        EXPECT_NEAR(px[0], 200 * x * 60 / 255.0, 1.0) << x;
        EXPECT_NEAR(px[1], 100 * x * 60 / 255.0, 1.0) << x;
    }
    filter_free(node);
}

TEST(ScaleFilter, ZimgPathEqualsZimgDrivenDirectly) {
    const uint32_t sw = 61, sh = 35, dw = 40, dh = 22;
    Frame in(sw, sh, PixelFormat_RGBA8, false);  // unaligned rows: the node stages them
    fill_premultiplied(in, 3);
    FilterNode* node = create_scale_filter(params(1, sw, sh, 1, dw, dh, 2));
    VideoFrame* out = run(node, in.f);

    // The same scaling by hand: planar 8-bit RGBA, premultiplied, bicubic, no dither.
    auto plane = [](uint32_t w, uint32_t h) {
        const size_t stride = (w + 63) / 64 * 64;
        return std::pair<uint8_t*, size_t>(static_cast<uint8_t*>(platform::aligned_alloc64(stride * h)), stride);
    };
    std::pair<uint8_t*, size_t> src[4], dst[4];
    for (int p = 0; p < 4; ++p) src[p] = plane(sw, sh), dst[p] = plane(dw, dh);
    for (uint32_t y = 0; y < sh; ++y)
        for (uint32_t x = 0; x < sw; ++x)
            for (int p = 0; p < 4; ++p) src[p].first[y * src[p].second + x] = in.row(0, y)[4 * x + p];
    zimg_image_format fi, fo;
    zimg_image_format_default(&fi, ZIMG_API_VERSION);
    zimg_image_format_default(&fo, ZIMG_API_VERSION);
    for (zimg_image_format* f : {&fi, &fo}) {
        f->pixel_type = ZIMG_PIXEL_BYTE;
        f->depth = 8;
        f->color_family = ZIMG_COLOR_RGB;
        f->matrix_coefficients = ZIMG_MATRIX_RGB;
        f->pixel_range = ZIMG_RANGE_FULL;
        f->alpha = ZIMG_ALPHA_PREMULTIPLIED;
    }
    fi.width = sw, fi.height = sh, fo.width = dw, fo.height = dh;
    zimg_graph_builder_params bp;
    zimg_graph_builder_params_default(&bp, ZIMG_API_VERSION);
    bp.resample_filter = bp.resample_filter_uv = ZIMG_RESIZE_BICUBIC;
    bp.dither_type = ZIMG_DITHER_NONE;
    zimg_filter_graph* g = zimg_filter_graph_build(&fi, &fo, &bp);
    ASSERT_NE(g, nullptr);
    size_t tmp_size = 0;
    zimg_filter_graph_get_tmp_size(g, &tmp_size);
    void* tmp = platform::aligned_alloc64(tmp_size);
    zimg_image_buffer_const bi{};
    zimg_image_buffer bo{};
    bi.version = bo.version = ZIMG_API_VERSION;
    for (int p = 0; p < 4; ++p) {
        bi.plane[p] = {src[p].first, static_cast<ptrdiff_t>(src[p].second), ZIMG_BUFFER_MAX};
        bo.plane[p] = {dst[p].first, static_cast<ptrdiff_t>(dst[p].second), ZIMG_BUFFER_MAX};
    }
    ASSERT_EQ(zimg_filter_graph_process(g, &bi, &bo, tmp, nullptr, nullptr, nullptr, nullptr), ZIMG_ERROR_SUCCESS);
    int differences = 0;
    for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = 0; x < dw; ++x)
            for (int p = 0; p < 4; ++p)
                differences += out->planes[0][y * out->line_sizes[0] + 4 * x + p] != dst[p].first[y * dst[p].second + x];
    EXPECT_EQ(differences, 0);
    zimg_filter_graph_free(g);
    platform::aligned_free64(tmp);
    for (int p = 0; p < 4; ++p) platform::aligned_free64(src[p].first), platform::aligned_free64(dst[p].first);
    filter_free(node);
}

TEST(ScaleFilter, NeutralGreyYuvStaysGrey) {
    for (uint32_t matrix : {0u, 1u}) {
        Frame in(16, 8, PixelFormat_YUV444);
        for (uint32_t p = 0; p < 3; ++p) std::memset(in.f->planes[p], 128, in.f->sizes[p]);
        ScaleParams p = params(24, 16, 8, 9, 16, 8);
        p.src_full_range = 1;
        p.src_matrix = matrix;
        p.dst_matrix = matrix;
        FilterNode* node = create_scale_filter(p);
        VideoFrame* out = run(node, in.f);
        for (uint32_t c = 0; c < 3; ++c)
            for (uint32_t x = 0; x < 16; ++x) EXPECT_NEAR(out->planes[c][out->line_sizes[c] * 3 + x], 128, 1);
        filter_free(node);
    }
}

TEST(ScaleFilter, PlanarRgbIntoPlanarRgbaFillsAlpha) {
    for (bool resize : {false, true}) {
        Frame in(20, 10, PixelFormat_Planar_RGB8);
        fill_random(in, 9);
        const uint32_t dw = resize ? 13 : 20, dh = resize ? 7 : 10;
        FilterNode* node = create_scale_filter(params(9, 20, 10, 10, dw, dh));
        VideoFrame* out = run(node, in.f);
        for (uint32_t y = 0; y < dh; ++y)
            for (uint32_t x = 0; x < dw; ++x) ASSERT_EQ(out->planes[3][y * out->line_sizes[3] + x], 255);
        if (!resize) {
            EXPECT_EQ(std::memcmp(out->planes[1], in.f->planes[1], 20), 0);
        }
        filter_free(node);
    }
}

TEST(ScaleFilter, InterlacedFieldsAreScaledApartWithoutLosingTheOddLine) {
    // Even lines 10, odd lines 200: each field is flat, so scaling a field alone keeps
    // its level; mixing the fields would give values in between.
    const uint32_t sh = 9, dh = 5;
    Frame in(16, sh, PixelFormat_Grey8);
    for (uint32_t y = 0; y < sh; ++y) std::memset(in.row(0, y), y % 2 ? 200 : 10, 16);
    ScaleParams p = params(PixelFormat_Grey8, 16, sh, PixelFormat_Grey8, 12, dh, 2);
    p.interlace = 1;
    FilterNode* node = create_scale_filter(p);
    EXPECT_EQ(scale_filter_plan(node).path, uint32_t(ScalePath_Zimg));
    VideoFrame* out = run(node, in.f);
    for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = 0; x < 12; ++x)
            ASSERT_EQ(out->planes[0][y * out->line_sizes[0] + x], y % 2 ? 200 : 10) << x << "," << y;
    filter_free(node);
}

TEST(ScaleFilter, ResizedRgbxIntoRgbaIsOpaque) {
    Frame in(40, 20, PixelFormat_RGBX8);
    fill_random(in, 11);
    FilterNode* node = create_scale_filter(params(4, 40, 20, 1, 30, 10, 2));
    VideoFrame* out = run(node, in.f);
    for (uint32_t y = 0; y < 10; ++y)
        for (uint32_t x = 0; x < 30; ++x) ASSERT_EQ(out->planes[0][y * out->line_sizes[0] + 4 * x + 3], 255);
    filter_free(node);
}

TEST(ScaleFilter, ResizingUnpremultipliesForAStraightDestination) {
    Frame in(64, 36, PixelFormat_RGBA8);
    for (uint32_t y = 0; y < 36; ++y)
        for (uint32_t x = 0; x < 64; ++x) {
            uint8_t* px = in.row(0, y) + 4 * x;
            px[0] = 60, px[1] = 30, px[2] = 0, px[3] = 120;
        }
    FilterNode* node = create_scale_filter(params(1, 64, 36, 5, 40, 20, 2, 0, 1));
    VideoFrame* out = run(node, in.f);
    const uint16_t* px = reinterpret_cast<const uint16_t*>(out->planes[0] + 10 * out->line_sizes[0]) + 4 * 20;
    EXPECT_NEAR(px[0], 60.0 / 120.0 * 65535, 400);
    EXPECT_NEAR(px[1], 30.0 / 120.0 * 65535, 400);
    EXPECT_NEAR(px[3], 120 * 257, 2);
    filter_free(node);
}

TEST(ScaleFilter, UyvyCopiesCarryWholeRows) {
    for (uint32_t format : {uint32_t(PixelFormat_UYVY)}) {
        Frame in(37, 4, format);
        fill_random(in, format);
        FilterNode* node = create_scale_filter(params(format, 37, 4, format, 37, 4));
        EXPECT_STREQ(scale_filter_plan(node).plane_kernels[0], "copy_plane");
        VideoFrame* out = run(node, in.f);
        const size_t row = 4 * 19;  // two pixels in four bytes, the odd one's pair too
        for (uint32_t y = 0; y < 4; ++y) EXPECT_EQ(std::memcmp(out->planes[0] + y * out->line_sizes[0], in.row(0, y), row), 0);
        filter_free(node);
    }
}
