#pragma once
// Texture frames for the GPU tests, and their CPU decode as the reference picture.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/video_frame.h"

namespace vktest {

struct FrameDeleter {
    void operator()(VideoFrame* frame) const { video_frame_destroy(frame); }
};
using FramePtr = std::unique_ptr<VideoFrame, FrameDeleter>;

// First frame of a fixture movie (made by FFmpeg), decoded into a texture frame.
FramePtr decode_fixture_frame(const std::string& movie, uint32_t data_format);

// A texture frame of pseudo-random blocks (all block patterns are valid for DXT and
// RGTC; BC7 blocks are mode 6). `plane` selects the texture a seed applies to.
FramePtr random_texture_frame(uint32_t width, uint32_t height, uint32_t data_format, uint32_t seed);
void fill_random_plane(VideoFrame* frame, uint32_t plane, uint32_t seed);

// A pixel frame (RGBA8, RGBA32F, Grey8 or Grey16) of pseudo-random opaque pixels.
FramePtr random_pixel_frame(uint32_t width, uint32_t height, uint32_t pixel_format, uint32_t seed);

// RGBA8 reference pixels, width x height, row after row.
struct Rgba8Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;
    const uint8_t* at(uint32_t x, uint32_t y) const { return pixels.data() + (size_t(y) * width + x) * 4; }
};

// The CPU block decoders' picture of one texture of a frame (`texture` 1 is HapM's
// alpha texture, decoded as grey), or of a HapM frame's colour with its alpha.
Rgba8Picture cpu_decode_texture(const VideoFrame& frame, uint32_t texture);
Rgba8Picture cpu_decode_hapm(const VideoFrame& frame);
// A pixel frame as 8-bit RGBA.
Rgba8Picture pixel_frame_rgba8(const VideoFrame& frame);

}  // namespace vktest
