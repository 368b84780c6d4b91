#include "media/pix_descriptor.h"

#include <stdexcept>

namespace {

struct FormatRow {
    uint8_t planes;
    uint8_t bpp;          // bytes per pixel of every plane (plane 1 of UYVY+A differs)
    uint8_t depth;        // bits per component
    uint8_t chroma_h;     // subsampling of planes 1 and 2
    uint8_t chroma_v;
    uint32_t flags;
};

// Indexed by PixelFormat 0..38.
constexpr FormatRow kFormats[39] = {
    {1, 4, 8, 1, 1, 0x26},     // 0 ARGB8
    {1, 4, 8, 1, 1, 0x26},     // 1 RGBA8
    {1, 3, 8, 1, 1, 0x24},     // 2 RGB8
    {1, 3, 8, 1, 1, 0x24},     // 3 BGR8
    {1, 4, 8, 1, 1, 0x24},     // 4 RGBX8
    {1, 8, 16, 1, 1, 0x26},    // 5 RGBA16
    {1, 8, 16, 1, 1, 0x24},    // 6 RGBX16
    {1, 16, 32, 1, 1, 0x1026}, // 7 RGBA32f
    {1, 16, 32, 1, 1, 0x1024}, // 8 RGBX32f
    {3, 1, 8, 1, 1, 0x28},     // 9 planar RGB8
    {4, 1, 8, 1, 1, 0x2A},     // 10 planar RGBA8
    {3, 2, 10, 1, 1, 0x28},    // 11 planar RGB10
    {3, 2, 12, 1, 1, 0x28},    // 12 planar RGB12
    {3, 2, 16, 1, 1, 0x28},    // 13 planar RGB16
    {4, 2, 16, 1, 1, 0x2A},    // 14 planar RGBA16
    {3, 4, 32, 1, 1, 0x1028},  // 15 planar RGB32f
    {4, 4, 32, 1, 1, 0x102A},  // 16 planar RGBA32f
    {1, 1, 8, 1, 1, 0x18},     // 17 grey8
    {1, 2, 10, 1, 1, 0x18},    // 18 grey10
    {1, 2, 12, 1, 1, 0x18},    // 19 grey12
    {1, 2, 16, 1, 1, 0x18},    // 20 grey16
    {1, 4, 32, 1, 1, 0x1018},  // 21 grey32f
    {3, 1, 8, 2, 2, 0x148},    // 22 YUV420
    {3, 1, 8, 2, 1, 0x248},    // 23 YUV422
    {3, 1, 8, 1, 1, 0x448},    // 24 YUV444
    {4, 1, 8, 2, 2, 0x14A},    // 25 YUVA "422": laid out as 4:2:0, as stored files expect
    {4, 1, 8, 1, 1, 0x44A},    // 26 YUVA444
    {3, 2, 10, 2, 2, 0x148},   // 27 YUV420 10
    {3, 2, 10, 2, 1, 0x248},   // 28 YUV422 10
    {3, 2, 10, 1, 1, 0x448},   // 29 YUV444 10
    {4, 2, 10, 1, 1, 0x44A},   // 30 YUVA444 10
    {3, 2, 12, 2, 1, 0x248},   // 31 YUV422 12
    {3, 2, 12, 1, 1, 0x448},   // 32 YUV444 12
    {4, 2, 12, 1, 1, 0x44A},   // 33 YUVA444 12
    {1, 4, 8, 1, 1, 0x244},    // 34 UYVY
    {1, 4, 10, 1, 1, 0x244},   // 35 V210
    {2, 4, 8, 1, 1, 0x246},    // 36 UYVY + alpha plane
    {1, 4, 8, 1, 1, 0x804},    // 37 CMYK8
    {1, 5, 8, 1, 1, 0x806},    // 38 CMYKA8
};

}  // namespace

PixDescriptor get_pix_descriptor(uint32_t pixel_format) {
    PixDescriptor d;
    if (pixel_format == PixelFormat_Undefined)
        throw std::runtime_error("Can't get pix descriptor : Unknown pixfmt");
    if (pixel_format > PixelFormat_Undefined) return d;

    const FormatRow& row = kFormats[pixel_format];
    d.plane_count = row.planes;
    d.flags = row.flags;
    for (unsigned p = 0; p < row.planes; ++p) {
        d.bytes_per_pixel[p] = row.bpp;
        d.bit_depth[p] = row.depth;
    }
    if (pixel_format == PixelFormat_UYVYA) {
        d.bytes_per_pixel[1] = 1;
        d.bit_depth[1] = 0;
    }
    for (unsigned p = 1; p <= 2 && p < row.planes; ++p) {
        d.horizontal_subsampling[p] = row.chroma_h;
        d.vertical_subsampling[p] = row.chroma_v;
    }
    return d;
}
