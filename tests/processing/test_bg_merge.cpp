// Background merge: every source, background and opacity against a scalar model of
// the merge rules, the quoted pixels, slices, and in place against out of place.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "pixconv/pixconv.h"
#include "processing/bg_merge_filter.h"
#include "tests/support/expect_error.h"

namespace {

struct Frame {
    VideoFrame* f = video_frame_new();
    Frame(uint32_t w, uint32_t h, uint32_t format) { video_frame_alloc(f, w, h, format, true); }
    ~Frame() { video_frame_destroy(f); }
};

const float kColours[8] = {0.2f, 0.6f, 1.3f, 1.0f, -0.1f, 0.5f, 0.25f, 1.0f};

uint32_t depth_bytes(uint32_t format) { return format <= 4 ? 1 : (format <= 6 ? 2 : 4); }

// Random pixels with every alpha edge case present: 0, the maximum, and in between.
void fill(Frame& fr, uint32_t seed, bool premultiplied) {
    std::mt19937 rng(seed);
    const uint32_t bytes = depth_bytes(fr.f->pixel_format);
    for (uint32_t y = 0; y < fr.f->height; ++y) {
        uint8_t* row = fr.f->planes[0] + y * fr.f->line_sizes[0];
        for (uint32_t x = 0; x < fr.f->width; ++x) {
            const uint32_t pick = rng() % 4;
            double a = pick == 0 ? 0.0 : pick == 1 ? 1.0 : (rng() % 1000) / 999.0;
            double c[3];
            for (double& v : c) v = (rng() % 1000) / 999.0 * (premultiplied ? a : 1.0);
            const double px[4] = {c[0], c[1], c[2], a};
            for (int i = 0; i < 4; ++i) {
                if (bytes == 1) row[4 * x + i] = uint8_t(std::lround(px[i] * 255));
                if (bytes == 2) reinterpret_cast<uint16_t*>(row)[4 * x + i] = uint16_t(std::lround(px[i] * 65535));
                if (bytes == 4) reinterpret_cast<float*>(row)[4 * x + i] = float(px[i]);
            }
        }
    }
}

float read(const uint8_t* row, uint32_t bytes, uint32_t i) {
    if (bytes == 1) return row[i];
    if (bytes == 2) return reinterpret_cast<const uint16_t*>(row)[i];
    return reinterpret_cast<const float*>(row)[i];
}

// The merge rules, one pixel, written out plainly. Returns the four output samples.
void model(uint32_t format, bool straight, uint32_t mode, float op, uint32_t x, uint32_t y, const float in[4],
           float out[4]) {
    const uint32_t bytes = depth_bytes(format);
    const bool rgbx = format == 4 || format == 6 || format == 8;
    const float M = bytes == 1 ? 255.0f : bytes == 2 ? 65535.0f : 1.0f;
    const float k = bytes == 1 ? 0.003921569f : bytes == 2 ? 1.5259022e-5f : 1.0f;
    auto q = [&](float v) { return bytes == 4 ? v : std::roundf((v >= 1.0f ? 1.0f : (v >= 0.0f ? v : 0.0f)) * M); };
    const bool first = ((x % 20) < 10) == ((y % 20) < 10);
    float B[3];
    for (int c = 0; c < 3; ++c)
        B[c] = mode == 1 ? 1.0f : mode == 2 ? (first ? 1.0f : 0.7f) : mode == 4 ? kColours[c]
               : mode == 5 ? (first ? kColours[c] : kColours[4 + c]) : 0.0f;
    const float a = in[3];
    if (op == 1.0f) {
        if (bytes == 1 && mode == 1 && !straight) {
            for (int c = 0; c < 3; ++c) out[c] = std::min(in[c] + (255.0f - a), 255.0f);
        } else if (bytes == 1 && mode == 1) {
            for (int c = 0; c < 3; ++c) {
                const uint32_t t = (uint32_t(in[c]) + (uint32_t(a) >> 7)) * uint32_t(a);
                out[c] = float((t >> 8) + ((a < 128 && (t & 0x80)) ? 1 : 0)) + (255.0f - a);
            }
        } else if (a == M) {
            for (int c = 0; c < 3; ++c) out[c] = in[c];
        } else if (a == 0) {
            for (int c = 0; c < 3; ++c) out[c] = q(B[c]);
        } else {
            const float al = a * k;
            for (int c = 0; c < 3; ++c) out[c] = q((straight ? (in[c] * k) * al : in[c] * k) + B[c] * (1.0f - al));
        }
        out[3] = M;
        return;
    }
    if (mode == 3) {
        if (rgbx) {
            for (int c = 0; c < 3; ++c) out[c] = q(in[c] * k * op);
            out[3] = q(op);
        } else if (bytes == 1) {
            for (int c = 0; c < 4; ++c) out[c] = (straight && c < 3) ? in[c] : std::roundf(in[c] * op);
        } else if (a == 0) {
            out[0] = out[1] = out[2] = out[3] = 0;
        } else {
            for (int c = 0; c < 3; ++c) out[c] = straight ? q(in[c] * k) : q(in[c] * k * op);
            out[3] = q(a * k * op);
        }
        return;
    }
    out[3] = M;
    if (bytes == 1 && !rgbx && mode <= 1) {
        for (int c = 0; c < 3; ++c) {
            float v = straight ? (in[c] * (a * op)) * k : in[c] * op;
            if (mode == 1) v += 255.0f - a * op;
            out[c] = std::min(std::roundf(v), 255.0f);
        }
        return;
    }
    if (!rgbx && a == 0) {
        for (int c = 0; c < 3; ++c) out[c] = q(B[c]);
        return;
    }
    const float al = rgbx ? op : (a * k) * op;
    for (int c = 0; c < 3; ++c) {
        const float f = rgbx ? (in[c] * k) * op : straight ? (in[c] * k) * al : (in[c] * k) * op;
        out[c] = q(f + B[c] * (1.0f - al));
    }
}

BgMergeParams merge_params(uint32_t format, uint32_t w, uint32_t h, uint32_t mode, float op, bool straight) {
    BgMergeParams p;
    p.src_format = format, p.width = w, p.height = h, p.mode = mode, p.opacity = op;
    p.alpha_mode = straight ? 1 : 0;
    std::memcpy(p.colours, kColours, sizeof(kColours));
    return p;
}

VideoFrame* run(FilterNode* node, VideoFrame* in) {
    node->inputs[0] = in;
    node->process(node);
    return node->output;
}

}  // namespace

TEST(BgMerge, EverySourceModeAndOpacityMatchesTheScalarModel) {
    const uint32_t w = 23, h = 25;  // odd width; rows past 20 cross a checker square
    int kernels_run = 0;
    for (uint32_t format : {1u, 4u, 5u, 6u, 7u, 8u})
        for (bool straight : {false, true})
            for (uint32_t mode = 0; mode < 6; ++mode)
                for (float op : {1.0f, 0.5f, 0.0f}) {
                    SCOPED_TRACE(testing::Message() << "format " << format << " straight " << straight << " mode "
                                                    << mode << " opacity " << op);
                    Frame in(w, h, format);
                    fill(in, format * 100 + mode, !straight);
                    BgMergeParams p = merge_params(format, w, h, mode, op, straight);
                    FilterNode* node = create_bg_merge_filter(&p);
                    const BgMergePlan plan = bg_merge_plan(node);
                    VideoFrame* out = run(node, in.f);
                    const uint32_t bytes = depth_bytes(format);
                    const bool copy = plan.kind == BgMergeKind_Copy;
                    const bool straight_black = op == 1.0f && mode == 0 && straight && (format & 1);
                    if (!copy) ++kernels_run;
                    Frame expected_black(w, h, format);
                    if (straight_black) {
                        // Straight over black at opacity 1 is the premultiply-opaque conversion.
                        int64_t ss[4] = {int64_t(in.f->line_sizes[0])}, ds[4] = {int64_t(expected_black.f->line_sizes[0])};
                        PixConvKernelFn conv = format == 1 ? conv_rgba8_to_rgba8_premul_opaque
                                               : format == 5 ? conv_rgba16_to_rgba16_premul_opaque
                                                             : conv_rgba32f_to_rgba32f_premul_opaque;
                        conv(expected_black.f->planes, in.f->planes, ds, ss, w, h);
                    }
                    int mismatches = 0;
                    for (uint32_t y = 0; y < h; ++y)
                        for (uint32_t x = 0; x < w; ++x) {
                            const uint8_t* src = in.f->planes[0] + y * in.f->line_sizes[0];
                            const uint8_t* dst = out->planes[0] + y * out->line_sizes[0];
                            float pin[4], want[4];
                            for (int i = 0; i < 4; ++i) pin[i] = read(src, bytes, 4 * x + i);
                            if (copy) {
                                for (int i = 0; i < 4; ++i) want[i] = pin[i];
                            } else if (straight_black) {
                                const uint8_t* e = expected_black.f->planes[0] + y * expected_black.f->line_sizes[0];
                                for (int i = 0; i < 4; ++i) want[i] = read(e, bytes, 4 * x + i);
                            } else {
                                model(format, straight, mode, op, x, y, pin, want);
                            }
                            for (int i = 0; i < 4; ++i) {
                                const float got = read(dst, bytes, 4 * x + i);
                                if (!(got == want[i])) ++mismatches;
                            }
                        }
                    EXPECT_EQ(mismatches, 0) << (plan.kernel ? plan.kernel : "copy");
                    filter_free(node);
                }
    EXPECT_GT(kernels_run, 150);
}

TEST(BgMerge, QuotedPixels) {
    struct Row {
        uint32_t format;
        bool straight;
        uint32_t mode;
        float op;
        uint32_t x;
        std::vector<float> in, out;
    };
    const Row rows[] = {
        {1, false, 2, 1.0f, 0, {100, 50, 20, 255}, {100, 50, 20, 255}},
        {1, false, 2, 1.0f, 0, {0, 0, 0, 0}, {255, 255, 255, 255}},
        {1, false, 2, 1.0f, 10, {0, 0, 0, 0}, {179, 179, 179, 255}},
        {1, true, 1, 1.0f, 0, {255, 0, 0, 128}, {255, 127, 127, 255}},
        {1, false, 1, 1.0f, 0, {200, 0, 0, 100}, {255, 155, 155, 255}},
        {5, false, 2, 1.0f, 10, {0, 0, 0, 0}, {45875, 45875, 45875, 65535}},
        {8, false, 1, 0.5f, 0, {0.2f, 0.4f, 0.6f, 0.0f}, {0.6f, 0.7f, 0.8f, 1.0f}},
        {1, false, 2, 0.0f, 10, {90, 80, 70, 200}, {179, 179, 179, 255}},
    };
    for (const Row& r : rows) {
        Frame in(12, 1, r.format);
        const uint32_t bytes = depth_bytes(r.format);
        for (int i = 0; i < 4; ++i) {
            uint8_t* px = in.f->planes[0] + 4 * r.x * bytes;
            if (bytes == 1) px[i] = uint8_t(r.in[i]);
            if (bytes == 2) reinterpret_cast<uint16_t*>(px)[i] = uint16_t(r.in[i]);
            if (bytes == 4) reinterpret_cast<float*>(px)[i] = r.in[i];
        }
        BgMergeParams p = merge_params(r.format, 12, 1, r.mode, r.op, r.straight);
        FilterNode* node = create_bg_merge_filter(&p);
        VideoFrame* out = run(node, in.f);
        for (int i = 0; i < 4; ++i)
            EXPECT_FLOAT_EQ(read(out->planes[0], bytes, 4 * r.x + i), r.out[i]) << "format " << r.format << " mode " << r.mode;
        filter_free(node);
    }
}

TEST(BgMerge, SlicesAndInPlaceGiveTheSameCheckerboard) {
    const uint32_t w = 61, h = 1080;
    Frame source(w, h, PixelFormat_RGBA8);
    fill(source, 7, true);
    std::vector<uint8_t> reference;
    for (unsigned cores : {1u, 8u, 64u, 3u})
        for (uint8_t in_place : {0, 1}) {
            slice_threading_set_processor_count_fn(cores == 1 ? [] { return 1u; }
                                                   : cores == 8 ? [] { return 8u; }
                                                   : cores == 64 ? [] { return 64u; }
                                                                 : [] { return 3u; });
            BgMergeParams p = merge_params(PixelFormat_RGBA8, w, h, BgMerge_Checker, 1.0f, false);
            p.slice_threading = 1;
            p.in_place = in_place;
            FilterNode* node = create_bg_merge_filter(&p);
            slice_threading_set_processor_count_fn(nullptr);
            EXPECT_EQ(bg_merge_plan(node).slices, std::min(cores, 64u));
            Frame work(w, h, PixelFormat_RGBA8);
            video_frame_copy(work.f, source.f);
            VideoFrame* out = run(node, work.f);
            if (in_place) {
                EXPECT_EQ(out->planes[0], work.f->planes[0]);
            }
            EXPECT_EQ(out->pixel_format, uint32_t(PixelFormat_RGBX8));
            std::vector<uint8_t> bytes;
            for (uint32_t y = 0; y < h; ++y)
                bytes.insert(bytes.end(), out->planes[0] + y * out->line_sizes[0], out->planes[0] + y * out->line_sizes[0] + 4 * w);
            if (reference.empty()) reference = bytes;
            EXPECT_TRUE(bytes == reference) << cores << " cores, in place " << int(in_place);
            filter_free(node);
        }
    // Row 135 starts on a grey square (135 mod 20 = 15).
    Frame clear(w, h, PixelFormat_RGBA8);
    std::memset(clear.f->planes[0], 0, clear.f->sizes[0]);
    BgMergeParams p = merge_params(PixelFormat_RGBA8, w, h, BgMerge_Checker, 1.0f, false);
    p.slice_threading = 1;
    FilterNode* node = create_bg_merge_filter(&p);
    VideoFrame* out = run(node, clear.f);
    EXPECT_EQ(out->planes[0][135 * out->line_sizes[0]], 179);
    EXPECT_EQ(out->planes[0][134 * out->line_sizes[0] + 4 * 10], 255);
    filter_free(node);
}

TEST(BgMerge, InPlaceKernelsLeaveOpaquePixelsUntouched) {
    for (bool straight : {false, true}) {
        BgMergeKernelFn k = bg_merge_select_opaque_kernel(PixelFormat_RGBA8, straight, BgMerge_Checker, true, false);
        ASSERT_NE(k, nullptr);
        Frame in(9, 2, PixelFormat_RGBA8), poison(9, 2, PixelFormat_RGBA8);
        fill(in, 3, !straight);
        std::memset(poison.f->planes[0], 0xEE, poison.f->sizes[0]);
        int64_t s[4] = {int64_t(in.f->line_sizes[0])}, d[4] = {int64_t(poison.f->line_sizes[0])};
        k(poison.f->planes, in.f->planes, d, s, 9, 2, 1.0f, 0, 0, kColours);
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < 9; ++x) {
                const uint8_t a = in.f->planes[0][y * in.f->line_sizes[0] + 4 * x + 3];
                const uint8_t got = poison.f->planes[0][y * poison.f->line_sizes[0] + 4 * x];
                if (a == 255) EXPECT_EQ(got, 0xEE);
                else EXPECT_NE(got, 0xEE);
            }
    }
}

TEST(BgMerge, PlansAndFaults) {
    Frame in(16, 4, PixelFormat_RGBA8);
    fill(in, 1, true);
    BgMergeParams p = merge_params(PixelFormat_RGBA8, 16, 4, BgMerge_Black, 1.0f, false);
    p.in_place = 1;
    FilterNode* node = create_bg_merge_filter(&p);
    EXPECT_EQ(bg_merge_plan(node).kind, uint32_t(BgMergeKind_Copy));
    VideoFrame* out = run(node, in.f);
    EXPECT_EQ(out->planes[0], in.f->planes[0]);
    EXPECT_EQ(out->pixel_format, uint32_t(PixelFormat_RGBX8));
    filter_free(node);

    struct PlanRow {
        uint32_t format, mode;
        float op;
        bool straight;
        uint32_t output;
        const char* kernel;
    };
    const PlanRow plans[] = {
        {5, 2, 1.0f, true, 6, "bg_merge_rgba16_straight_checker"},
        {5, 3, 0.5f, true, 5, "bg_merge_rgba16_straight_keep_alpha_opacity"},
        {5, 5, 1.0f, false, 6, "bg_merge_rgba16_premul_custom_checker_opacity"},
        {6, 2, 0.5f, false, 6, "bg_merge_rgbx16_checker_opacity"},
        {0, 3, 1.0f, false, 0, nullptr},
        {9, 3, 1.0f, false, 9, nullptr},
        {8, 1, 1.0f, false, 8, nullptr},
        {1, 1, 7.0f, false, 4, "bg_merge_rgba8_premul_white"},  // opacity limited to 1
    };
    for (const PlanRow& r : plans) {
        BgMergeParams pp = merge_params(r.format, 8, 8, r.mode, r.op, r.straight);
        FilterNode* n = create_bg_merge_filter(&pp);
        const BgMergePlan plan = bg_merge_plan(n);
        EXPECT_EQ(plan.output_format, r.output) << r.format << " mode " << r.mode;
        EXPECT_STREQ(plan.kernel, r.kernel) << r.format << " mode " << r.mode;
        filter_free(n);
    }

    BgMergeParams bad = merge_params(PixelFormat_RGBA8, 8, 8, 6, 1.0f, false);
    EXPECT_RUNTIME_ERROR(create_bg_merge_filter(&bad), "Unknown background bg merge");
    bad = merge_params(PixelFormat_RGB8, 8, 8, 0, 1.0f, false);
    EXPECT_RUNTIME_ERROR(create_bg_merge_filter(&bad), "Unknown bg merge src format");
    BgMergeParams tall = merge_params(PixelFormat_RGBA8, 16, 8, 2, 1.0f, false);
    node = create_bg_merge_filter(&tall);
    EXPECT_RUNTIME_ERROR(run(node, in.f), "Invalid src height bg merge");
    Frame other(16, 8, PixelFormat_RGBA16);
    EXPECT_RUNTIME_ERROR(run(node, other.f), "Invalid src pix fmt bg merge");
    filter_free(node);
    uint32_t count = 0;
    bg_merge_kernels(&count);
    EXPECT_EQ(count, 81u);
}
