#pragma once
// Pixel formats and their layout descriptors.
#include <cstdint>

// Codes 0..39; 39 is "not set yet" (the value of a new frame).
enum PixelFormat : uint32_t {
    PixelFormat_ARGB8 = 0,
    PixelFormat_RGBA8 = 1,
    PixelFormat_RGB8 = 2,
    PixelFormat_BGR8 = 3,
    PixelFormat_RGBX8 = 4,
    PixelFormat_RGBA16 = 5,
    PixelFormat_RGBX16 = 6,
    PixelFormat_RGBA32F = 7,
    PixelFormat_RGBX32F = 8,
    PixelFormat_Planar_RGB8 = 9,
    PixelFormat_Planar_RGBA8 = 10,
    PixelFormat_Planar_RGB10 = 11,
    PixelFormat_Planar_RGB12 = 12,
    PixelFormat_Planar_RGB16 = 13,
    PixelFormat_Planar_RGBA16 = 14,
    PixelFormat_Planar_RGB32F = 15,
    PixelFormat_Planar_RGBA32F = 16,
    PixelFormat_Grey8 = 17,
    PixelFormat_Grey10 = 18,
    PixelFormat_Grey12 = 19,
    PixelFormat_Grey16 = 20,
    PixelFormat_Grey32F = 21,
    PixelFormat_YUV420 = 22,
    PixelFormat_YUV422 = 23,
    PixelFormat_YUV444 = 24,
    PixelFormat_YUVA422 = 25,
    PixelFormat_YUVA444 = 26,
    PixelFormat_YUV420_10 = 27,
    PixelFormat_YUV422_10 = 28,
    PixelFormat_YUV444_10 = 29,
    PixelFormat_YUVA444_10 = 30,
    PixelFormat_YUV422_12 = 31,
    PixelFormat_YUV444_12 = 32,
    PixelFormat_YUVA444_12 = 33,
    PixelFormat_UYVY = 34,
    PixelFormat_V210 = 35,
    PixelFormat_UYVYA = 36,
    PixelFormat_CMYK8 = 37,
    PixelFormat_CMYKA8 = 38,
    PixelFormat_Undefined = 39,
};

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
