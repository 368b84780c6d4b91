// Pad and guide nodes at known pixels: border sizes and values per format, and the
// exact pixel set of an outline.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "processing/guide_filters.h"
#include "processing/pad_filter.h"
#include "tests/support/expect_error.h"

namespace {

struct Frame {
    VideoFrame* f = video_frame_new();
    Frame(uint32_t w, uint32_t h, uint32_t format) {
        video_frame_alloc(f, w, h, format, true);
        for (uint32_t p = 0; p < f->plane_count; ++p) std::memset(f->planes[p], 0x5A, f->sizes[p]);
    }
    ~Frame() { video_frame_destroy(f); }
};

VideoFrame* run(FilterNode* node, VideoFrame* in) {
    node->inputs[0] = in;
    node->process(node);
    return node->output;
}

const uint8_t* pixel(const VideoFrame* f, uint32_t plane, uint32_t x, uint32_t y, uint32_t bpp) {
    return f->planes[plane] + y * f->line_sizes[plane] + x * bpp;
}

}  // namespace

TEST(PadFilter, CentredSplitsPutTheOddRowOnTop) {
    for (uint32_t dst_h : {1080u, 1081u}) {
        PadParams p;
        p.format = PixelFormat_RGBA8;
        p.src_width = 1920, p.src_height = 800, p.dst_width = 1920, p.dst_height = dst_h;
        Frame in(1920, 800, PixelFormat_RGBA8);
        FilterNode* node = create_pad_filter(p);
        VideoFrame* out = run(node, in.f);
        const uint32_t top = dst_h == 1080 ? 140 : 141;
        EXPECT_EQ(pixel(out, 0, 0, top - 1, 4)[0], 0);
        EXPECT_EQ(pixel(out, 0, 0, top, 4)[0], 0x5A);
        EXPECT_EQ(pixel(out, 0, 0, top + 799, 4)[0], 0x5A);
        EXPECT_EQ(pixel(out, 0, 0, top + 800, 4)[3], 255);
        filter_free(node);
    }
}

TEST(PadFilter, ExplicitMarginsAndBorderValuesPerFormat) {
    struct Row {
        uint32_t format;
        bool transparent;
        std::vector<uint8_t> border;  // plane 0 pixel bytes
        int alpha_plane;              // planar alpha plane value in the border, -1 none
    };
    const std::vector<uint8_t> f32_black = [] {
        std::vector<uint8_t> b(16, 0);
        const float one = 1.0f;
        std::memcpy(b.data() + 12, &one, 4);
        return b;
    }();
    const Row rows[] = {
        {1, false, {0, 0, 0, 255}, -1},
        {1, true, {0, 0, 0, 0}, -1},
        {4, true, {0, 0, 0, 255}, -1},
        {2, false, {0, 0, 0}, -1},
        {5, false, {0, 0, 0, 0, 0, 0, 255, 255}, -1},
        {6, true, {0, 0, 0, 0, 0, 0, 255, 255}, -1},
        {7, false, f32_black, -1},
        {7, true, std::vector<uint8_t>(16, 0), -1},
        {8, true, f32_black, -1},
        {10, false, {0}, 255},
        {10, true, {0}, 0},
        {14, false, {0, 0}, 0xFF},
        {17, false, {0}, -1},
    };
    for (const Row& r : rows) {
        PadParams p;
        p.format = r.format;
        p.transparent_border = r.transparent;
        p.src_width = 100, p.src_height = 50;
        p.explicit_margins = 1;
        p.left = 10, p.top = 20, p.right = 30, p.bottom = 40;
        Frame in(100, 50, r.format);
        FilterNode* node = create_pad_filter(p);
        VideoFrame* out = run(node, in.f);
        ASSERT_EQ(out->width, 140u);
        ASSERT_EQ(out->height, 110u);
        const uint32_t bpp = static_cast<uint32_t>(r.border.size());
        for (auto [x, y] : {std::pair<uint32_t, uint32_t>{139, 19}, {0, 0}, {9, 30}, {110, 30}, {50, 70}})
            EXPECT_EQ(std::memcmp(pixel(out, 0, x, y, bpp), r.border.data(), bpp), 0)
                << "format " << r.format << " at " << x << "," << y;
        EXPECT_EQ(pixel(out, 0, 10, 20, bpp)[0], 0x5A);
        EXPECT_EQ(pixel(out, 0, 109, 69, bpp)[0], 0x5A);
        if (r.alpha_plane >= 0) {
            EXPECT_EQ(pixel(out, 3, 0, 0, bpp)[0], r.alpha_plane);
            EXPECT_EQ(pixel(out, 3, 50, 30, bpp)[0], 0x5A);  // the source alpha inside
        }
        filter_free(node);
    }
}

TEST(PadFilter, Faults) {
    PadParams p;
    p.format = PixelFormat_YUV420;
    p.src_width = 4, p.src_height = 4, p.dst_width = 8, p.dst_height = 8;
    EXPECT_RUNTIME_ERROR(create_pad_filter(p), "Filter Pad : unsupported pix fmt");
    p.format = PixelFormat_RGBA8;
    p.dst_width = 2;
    EXPECT_RUNTIME_ERROR(create_pad_filter(p), "Pad filter : src > dst W");
    p.dst_width = 8, p.dst_height = 3;
    EXPECT_RUNTIME_ERROR(create_pad_filter(p), "Pad filter : src > dst H");
    p.dst_height = 8;
    FilterNode* node = create_pad_filter(p);
    Frame bigger(5, 4, PixelFormat_RGBA8);
    EXPECT_RUNTIME_ERROR(run(node, bigger.f), "Filter Pad : invalid input resolution");
    Frame wider_pixels(4, 4, PixelFormat_RGBA16);
    EXPECT_RUNTIME_ERROR(run(node, wider_pixels.f), "Filter Pad : invalid input pix fmt");
    filter_free(node);
}

TEST(GuideFilters, OutlineSetsExactlyItsPixelsIncludingTheCorners) {
    Frame in(40, 20, PixelFormat_RGBA8);
    VideoAreaParams p;
    p.colour = {1.0f, 0.5f, 0.0f, 1.0f};
    p.left = 5, p.top = 3, p.right = 30, p.bottom = 15;
    FilterNode* node = create_video_area_filter(p);
    VideoFrame* out = run(node, in.f);
    EXPECT_NE(out, in.f);
    std::set<std::pair<uint32_t, uint32_t>> expected;
    for (uint32_t x = 5; x <= 30; ++x) expected.insert({x, 3}), expected.insert({x, 15});
    for (uint32_t y = 3; y <= 15; ++y) expected.insert({5, y}), expected.insert({30, y});
    const uint8_t colour[4] = {255, 128, 0, 255};
    for (uint32_t y = 0; y < 20; ++y)
        for (uint32_t x = 0; x < 40; ++x) {
            const bool drawn = std::memcmp(pixel(out, 0, x, y, 4), colour, 4) == 0;
            EXPECT_EQ(drawn, expected.count({x, y}) == 1) << x << "," << y;
        }
    EXPECT_EQ(pixel(in.f, 0, 5, 3, 4)[0], 0x5A);  // the input is untouched
    filter_free(node);
}

TEST(GuideFilters, SafeAreaInPlaceAndItsFaults) {
    Frame in(100, 50, PixelFormat_RGBA16);
    SafeAreaParams p;
    p.first_fraction = 0.1f, p.second_fraction = 0.2f;
    p.first_colour = {1, 1, 1, 1};
    p.second_colour = {0, 0, 1, 1};
    p.in_place = 1;
    FilterNode* node = create_safe_area_filter(p);
    VideoFrame* out = run(node, in.f);
    EXPECT_EQ(out, in.f);
    const uint16_t* white = reinterpret_cast<const uint16_t*>(pixel(out, 0, 10, 5, 8));
    EXPECT_EQ(white[0], 65535);
    const uint16_t* blue = reinterpret_cast<const uint16_t*>(pixel(out, 0, 80, 40, 8));
    EXPECT_EQ(blue[0], 0);
    EXPECT_EQ(blue[2], 65535);
    filter_free(node);

    p.first_fraction = 0.5f;
    node = create_safe_area_filter(p);
    EXPECT_RUNTIME_ERROR(run(node, in.f), "Can't draw safe area (invalid right coord)");
    Frame planar(100, 50, PixelFormat_Planar_RGB8);
    EXPECT_RUNTIME_ERROR(run(node, planar.f), "Filter Safe area : unsupported pix fmt");
    filter_free(node);

    // A fraction of 0 puts the right and bottom lines on the last column and row.
    Frame edge(10, 6, PixelFormat_RGBX8);
    GuideColour red = make_guide_colour({1, 0, 0, 1});
    draw_safe_frame(edge.f, 0.0f, red);
    EXPECT_EQ(pixel(edge.f, 0, 9, 5, 4)[0], 255);
    EXPECT_EQ(pixel(edge.f, 0, 4, 2, 4)[0], 0x5A);
}
