#pragma once
// The guide nodes drawn over a picture: safe-area outlines (type 11, two rectangles
// inset by fractions of the picture) and the video-area outline (type 12, one
// rectangle at given coordinates). Both accept RGBA8, RGBX8, RGBA16, RGBX16,
// RGBA32f and RGBX32f. In place the output is the input frame, drawn over; otherwise
// the input is copied into the node's own frame first.
// Threads: the graph's thread. Errors: std::runtime_error with fixed texts.
#include <cstdint>

#include "processing/filter_graph.h"

struct RgbaF {
    float r = 0, g = 0, b = 0, a = 1;
};

struct SafeAreaParams {
    float first_fraction = 0.05f;
    float second_fraction = 0.1f;
    RgbaF first_colour;
    RgbaF second_colour;
    uint8_t in_place = 0;
};

struct VideoAreaParams {
    RgbaF colour;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    uint8_t in_place = 0;
};

// A colour in the three sample kinds the guides write.
struct GuideColour {
    RgbaF f;
    uint8_t c8[4];
    uint16_t c16[4];
};
GuideColour make_guide_colour(const RgbaF& colour);
// Clamp to 0..1, times 255 (or 65535), roundf.
void colour_to_rgba8(const RgbaF& colour, uint8_t out[4]);
void colour_to_rgba16(const RgbaF& colour, uint16_t out[4]);

FilterNode* create_safe_area_filter(const SafeAreaParams& params);
FilterNode* create_video_area_filter(const VideoAreaParams& params);

// One-pixel outline; the rows top and bottom and the columns left and right are all
// drawn, each clamped to the picture (a coordinate past the edge draws on the last
// row or column, a negative one is not drawn).
void draw_rect_outline(VideoFrame* frame, int32_t left, int32_t top, int32_t right, int32_t bottom,
                       const GuideColour& colour);
// The rectangle inset by `fraction` of the width and height on each side.
void draw_safe_frame(VideoFrame* frame, float fraction, const GuideColour& colour);
