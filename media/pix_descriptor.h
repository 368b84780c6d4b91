#pragma once
// The layout descriptors of the pixel formats (the codes live with their names in
// base/formats/).
#include <cstdint>

#include "base/formats/pixel_format.h"

enum PixDescriptorFlag : uint32_t {
    PixFlag_Alpha = 0x2,
    PixFlag_Packed = 0x4,
    PixFlag_Planar = 0x8,
    PixFlag_Grey = 0x10,
    PixFlag_RGB = 0x20,
    PixFlag_YUV = 0x40,
    PixFlag_420 = 0x100,
    PixFlag_422 = 0x200,
    PixFlag_444 = 0x400,
    PixFlag_CMYK = 0x800,
    PixFlag_Float = 0x1000,
};

struct PixDescriptor {
    uint8_t plane_count = 1;
    uint32_t flags = 0;
    uint8_t bytes_per_pixel[4] = {0, 0, 0, 0};
    uint8_t bit_depth[4] = {0, 0, 0, 0};
    uint32_t horizontal_subsampling[4] = {1, 1, 1, 1};
    uint32_t vertical_subsampling[4] = {1, 1, 1, 1};
};

// Descriptor of a format. Throws std::runtime_error for 39 ("Undefined"); codes
// above 39 give the starting descriptor (one plane, nothing set).
PixDescriptor get_pix_descriptor(uint32_t pixel_format);
