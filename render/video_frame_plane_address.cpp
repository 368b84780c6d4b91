#include "render/video_frame_plane_address.h"

#include <cstdio>
#include <stdexcept>

#include "media/pix_descriptor.h"
#include "media/video_frame.h"

namespace {

bool is_texture_format(uint32_t dataFormat) {
    return dataFormat >= VideoDataFormat_Hap1 && dataFormat <= VideoDataFormat_Hap7;
}

}  // namespace

uint64_t video_frame_plane_offset(const VideoFrame* frame, uint32_t x, uint32_t y, uint32_t p) {
    if (!frame || x >= frame->width || y >= frame->height) throw std::runtime_error("Invalid coordinate");
    const bool texture = is_texture_format(frame->data_format);
    // The plane index is checked before the plane arrays are read.
    if (texture && p >= 2) throw std::runtime_error("Invalid plane index for dxt data");
    if (p >= 4) throw std::runtime_error("Invalid plane index for pixel format");
    if (!frame->planes[p] || frame->line_sizes[p] == 0) throw std::runtime_error("Invalid plane data");
    if (x == 0 && y == 0) return 0;

    const uint64_t line = frame->line_sizes[p];
    if (texture) {
        if (x % 4 != 0 || y % 4 != 0) throw std::runtime_error("Invalid coordinate for dxt texture");
        return uint64_t(y / 4) * line + uint64_t(x / 4) * frame->block_bytes[p];
    }
    const PixDescriptor d = get_pix_descriptor(frame->pixel_format);
    if (p >= d.plane_count) throw std::runtime_error("Invalid plane index for pixel format");
    const uint32_t hs = d.horizontal_subsampling[p];
    const uint32_t vs = d.vertical_subsampling[p];
    if (vs == 1 && (hs == 1 || hs == 2)) return uint64_t(y) * line + uint64_t(x / hs) * d.bytes_per_pixel[p];
    printf("Unsupporte subsampling : H : %u ; V : %u\n", hs, vs);
    throw std::runtime_error("Unsupported subsampling");
}

uint8_t* video_frame_plane_address(const VideoFrame* frame, uint32_t x, uint32_t y, uint32_t p) {
    const uint64_t offset = video_frame_plane_offset(frame, x, y, p);
    return frame->planes[p] + offset;
}
