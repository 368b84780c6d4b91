#include "processing/guide_filters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "processing/node_builder.h"

namespace {

struct GuideState {
    uint8_t in_place = 0;
    VideoFrame* work = nullptr;
    // Safe area: two fractions and colours. Video area: one rectangle and colour.
    float fractions[2] = {0, 0};
    GuideColour colours[2];
    int32_t rect[4] = {0, 0, 0, 0};
};

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

void put_pixel(VideoFrame* f, uint32_t x, uint32_t y, const GuideColour& c) {
    uint8_t* row = f->planes[0] + y * f->line_sizes[0];
    switch (f->pixel_format) {
        case PixelFormat_RGBA8:
        case PixelFormat_RGBX8: std::memcpy(row + x * 4, c.c8, 4); break;
        case PixelFormat_RGBA16:
        case PixelFormat_RGBX16: std::memcpy(row + x * 8, c.c16, 8); break;
        default: {
            const float v[4] = {c.f.r, c.f.g, c.f.b, c.f.a};
            std::memcpy(row + x * 16, v, 16);
            break;
        }
    }
}

// The frame a guide draws on for this run: the input itself, or the node's copy.
VideoFrame* guide_target(FilterNode* node) {
    GuideState* s = filter_state<GuideState>(node);
    VideoFrame* in = filter_input(node);
    if (!in->is_pixel) throw std::runtime_error("Filter Safe Area : Unsupported pixel data");
    switch (in->pixel_format) {
        case 1: case 4: case 5: case 6: case 7: case 8: break;
        default:
            std::printf("Error, unknown pix fmt : %u\n", in->pixel_format);
            throw std::runtime_error("Filter Safe area : unsupported pix fmt");
    }
    if (s->in_place) return in;
    video_frame_alloc_and_copy(s->work, in, true);
    return s->work;
}

void safe_area_process(FilterNode* node) {
    VideoFrame* f = guide_target(node);
    const GuideState* s = static_cast<GuideState*>(node->state);
    draw_safe_frame(f, s->fractions[0], s->colours[0]);
    draw_safe_frame(f, s->fractions[1], s->colours[1]);
    node->output = f;
}

void video_area_process(FilterNode* node) {
    VideoFrame* f = guide_target(node);
    const GuideState* s = static_cast<GuideState*>(node->state);
    draw_rect_outline(f, s->rect[0], s->rect[1], s->rect[2], s->rect[3], s->colours[0]);
    node->output = f;
}

void release_state(GuideState* s) {
    if (!s) return;
    video_frame_free(&s->work);
    delete s;
}

template <class Fill>
FilterNode* make_guide_node(FilterTypeId type, uint8_t in_place, Fill&& fill, FilterProcessFn process) {
    return build_filter_node<GuideState>(
        type,
        [&](GuideState* s) -> VideoFrame* {
            s->in_place = in_place;
            fill(s);
            if (!in_place) s->work = video_frame_new();
            return nullptr;  // the input or the copy, set by each run
        },
        release_state, process, free_filter_state<GuideState, release_state>);
}

}  // namespace

void colour_to_rgba8(const RgbaF& c, uint8_t out[4]) {
    const float v[4] = {c.r, c.g, c.b, c.a};
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(std::roundf(clamp01(v[i]) * 255.0f));
}

void colour_to_rgba16(const RgbaF& c, uint16_t out[4]) {
    const float v[4] = {c.r, c.g, c.b, c.a};
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint16_t>(std::roundf(clamp01(v[i]) * 65535.0f));
}

GuideColour make_guide_colour(const RgbaF& colour) {
    GuideColour c;
    c.f = colour;
    colour_to_rgba8(colour, c.c8);
    colour_to_rgba16(colour, c.c16);
    return c;
}

void draw_rect_outline(VideoFrame* frame, int32_t left, int32_t top, int32_t right, int32_t bottom,
                       const GuideColour& colour) {
    const int32_t w = static_cast<int32_t>(frame->width), h = static_cast<int32_t>(frame->height);
    if (w <= 0 || h <= 0) return;
    auto clamp_to = [](int32_t v, int32_t size) { return v >= size ? size - 1 : v; };
    left = clamp_to(left, w);
    right = clamp_to(right, w);
    top = clamp_to(top, h);
    bottom = clamp_to(bottom, h);
    const int32_t x0 = std::max(left, 0), x1 = right;
    const int32_t y0 = std::max(top, 0), y1 = bottom;
    // Both spans include their last pixel, so the bottom-right corner is drawn too.
    for (int32_t x = x0; x <= x1; ++x) {
        if (top >= 0) put_pixel(frame, x, top, colour);
        if (bottom >= 0) put_pixel(frame, x, bottom, colour);
    }
    for (int32_t y = y0; y <= y1; ++y) {
        if (left >= 0) put_pixel(frame, left, y, colour);
        if (right >= 0) put_pixel(frame, right, y, colour);
    }
}

void draw_safe_frame(VideoFrame* frame, float m, const GuideColour& colour) {
    const float w = static_cast<float>(frame->width), h = static_cast<float>(frame->height);
    auto coord = [](float v, uint32_t cap) {
        const float r = std::roundf(v);
        uint32_t c = r > 0.0f ? static_cast<uint32_t>(r) : 0u;
        return c > cap ? cap : c;
    };
    const uint32_t left = coord(w * m, frame->width);
    const uint32_t right = coord(w - w * m, frame->width);
    const uint32_t top = coord(h * m, frame->height);
    const uint32_t bottom = coord(h - h * m, frame->height);
    if (right <= left) throw std::runtime_error("Can't draw safe area (invalid right coord)");
    if (bottom <= top) throw std::runtime_error("Can't draw safe area (invalid bottom coord)");
    draw_rect_outline(frame, static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                      static_cast<int32_t>(bottom), colour);
}

FilterNode* create_safe_area_filter(const SafeAreaParams& params) {
    return make_guide_node(
        FilterType_SafeArea, params.in_place,
        [&](GuideState* s) {
            s->fractions[0] = params.first_fraction;
            s->fractions[1] = params.second_fraction;
            s->colours[0] = make_guide_colour(params.first_colour);
            s->colours[1] = make_guide_colour(params.second_colour);
        },
        safe_area_process);
}

FilterNode* create_video_area_filter(const VideoAreaParams& params) {
    return make_guide_node(
        FilterType_VideoArea, params.in_place,
        [&](GuideState* s) {
            s->colours[0] = make_guide_colour(params.colour);
            s->rect[0] = params.left;
            s->rect[1] = params.top;
            s->rect[2] = params.right;
            s->rect[3] = params.bottom;
        },
        video_area_process);
}
