#pragma once
// The pixel format codes every frame carries (`PixelFormat`, 0..39) and switches on:
// filters, kernel selectors and the renderer's tile planning. Names: pixfmt_name.h.
// All 16-bit, 10-bit, 12-bit and float samples are little-endian; 10- and 12-bit
// samples sit in 16-bit words. Packed formats keep a pixel's components together in
// plane 0; planar formats keep one component per plane in the order of the name
// (R, G, B, A; Y, U, V, A). RGBX formats carry a fourth component that is not alpha.
// "Packed UYVY A (422)" is UYVY with a separate alpha plane in one allocation.
// 39 is "not set yet": the format of a new frame, or of a conversion step not chosen.
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

// Number of codes (0..39).
constexpr uint32_t kPixelFormatCount = 40;
