// Every pixel format code with its display name, as diagnostics print them.
#include <gtest/gtest.h>

#include "base/formats/pixel_format.h"
#include "base/formats/pixfmt_name.h"

TEST(PixelFormatCodes, EveryCodeHasItsDisplayName) {
    struct Row {
        PixelFormat code;
        const char* name;
    };
    const Row rows[] = {
        {PixelFormat_ARGB8, "Packed ARGB8"},
        {PixelFormat_RGBA8, "Packed RGBA8"},
        {PixelFormat_RGB8, "Packed RGB8"},
        {PixelFormat_BGR8, "Packed BGR8"},
        {PixelFormat_RGBX8, "Packed RGBX8"},
        {PixelFormat_RGBA16, "Packed RGBA16 LE"},
        {PixelFormat_RGBX16, "Packed RGBX16 LE"},
        {PixelFormat_RGBA32F, "Packed RGBA32f LE"},
        {PixelFormat_RGBX32F, "Packed RGBX32f LE"},
        {PixelFormat_Planar_RGB8, "Planar RGB8"},
        {PixelFormat_Planar_RGBA8, "Planar RGBA8"},
        {PixelFormat_Planar_RGB10, "Planar RGB 10 bits LE"},
        {PixelFormat_Planar_RGB12, "Planar RGB 12 bits LE"},
        {PixelFormat_Planar_RGB16, "Planar RGB 16 bits LE"},
        {PixelFormat_Planar_RGBA16, "Planar RGBA 16 bits LE"},
        {PixelFormat_Planar_RGB32F, "Planar RGB 32f LE"},
        {PixelFormat_Planar_RGBA32F, "Planar RGBA 32f LE"},
        {PixelFormat_Grey8, "Planar Grey8"},
        {PixelFormat_Grey10, "Planar Grey 10 bits LE"},
        {PixelFormat_Grey12, "Planar Grey 12 bits LE"},
        {PixelFormat_Grey16, "Planar Grey 16 bits LE"},
        {PixelFormat_Grey32F, "Planar Grey 32f bits LE"},
        {PixelFormat_YUV420, "Planar YUV 420"},
        {PixelFormat_YUV422, "Planar YUV 422"},
        {PixelFormat_YUV444, "Planar YUV 444"},
        {PixelFormat_YUVA422, "Planar YUVA 422"},
        {PixelFormat_YUVA444, "Planar YUVA 444"},
        {PixelFormat_YUV420_10, "Planar YUV 420 10 bits LE"},
        {PixelFormat_YUV422_10, "Planar YUV 422 10 bits LE"},
        {PixelFormat_YUV444_10, "Planar YUV 444 10 bits LE"},
        {PixelFormat_YUVA444_10, "Planar YUVA 444 10 bits LE"},
        {PixelFormat_YUV422_12, "Planar YUV 422 12 bits LE"},
        {PixelFormat_YUV444_12, "Planar YUV 444 12 bits LE"},
        {PixelFormat_YUVA444_12, "Planar YUVA 444 12 bits LE"},
        {PixelFormat_UYVY, "Packed UYVY (422)"},
        {PixelFormat_V210, "Packed V210 (42210LE)"},
        {PixelFormat_UYVYA, "Packed UYVY A (422)"},
        {PixelFormat_CMYK8, "Packed CMYK8"},
        {PixelFormat_CMYKA8, "Packed CMYKA8"},
        {PixelFormat_Undefined, "Undefined (Unknown)"},
    };
    ASSERT_EQ(std::size(rows), kPixelFormatCount);
    for (uint32_t i = 0; i < kPixelFormatCount; ++i) {
        EXPECT_EQ(uint32_t(rows[i].code), i);
        EXPECT_STREQ(pixfmt_name(rows[i].code), rows[i].name) << i;
    }
    EXPECT_STREQ(pixfmt_name(kPixelFormatCount), "Unknown pix fmt");
}
