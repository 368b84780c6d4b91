#include "base/formats/pixfmt_name.h"

#include <array>

namespace {
constexpr std::array<const char*, 40> kPixelFormatNames = {
    "Packed ARGB8",
    "Packed RGBA8",
    "Packed RGB8",
    "Packed BGR8",
    "Packed RGBX8",
    "Packed RGBA16 LE",
    "Packed RGBX16 LE",
    "Packed RGBA32f LE",
    "Packed RGBX32f LE",
    "Planar RGB8",
    "Planar RGBA8",
    "Planar RGB 10 bits LE",
    "Planar RGB 12 bits LE",
    "Planar RGB 16 bits LE",
    "Planar RGBA 16 bits LE",
    "Planar RGB 32f LE",
    "Planar RGBA 32f LE",
    "Planar Grey8",
    "Planar Grey 10 bits LE",
    "Planar Grey 12 bits LE",
    "Planar Grey 16 bits LE",
    "Planar Grey 32f bits LE",
    "Planar YUV 420",
    "Planar YUV 422",
    "Planar YUV 444",
    "Planar YUVA 422",
    "Planar YUVA 444",
    "Planar YUV 420 10 bits LE",
    "Planar YUV 422 10 bits LE",
    "Planar YUV 444 10 bits LE",
    "Planar YUVA 444 10 bits LE",
    "Planar YUV 422 12 bits LE",
    "Planar YUV 444 12 bits LE",
    "Planar YUVA 444 12 bits LE",
    "Packed UYVY (422)",
    "Packed V210 (42210LE)",
    "Packed UYVY A (422)",
    "Packed CMYK8",
    "Packed CMYKA8",
    "Undefined (Unknown)",
};
}  // namespace

const char* pixfmt_name(uint32_t pixel_format) noexcept {
    if (pixel_format >= kPixelFormatNames.size()) return "Unknown pix fmt";
    return kPixelFormatNames[pixel_format];
}
