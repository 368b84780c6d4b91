#pragma once
// Display modes of the video canvas. The values are stored in the settings file and
// shared with the snapshot side: never renumber them.
#include <cstdint>

enum BaseGpu2dCanvas_BackgroundMode : uint32_t {
    BaseGpu2dCanvas_BackgroundMode_Black = 0,
    BaseGpu2dCanvas_BackgroundMode_White = 1,
    BaseGpu2dCanvas_BackgroundMode_Checkerboard = 2,
    BaseGpu2dCanvas_BackgroundMode_CustomColor = 3,
    BaseGpu2dCanvas_BackgroundMode_CustomCheckerboard = 4,
};

enum BaseGpu2dCanvas_ChannelMode : uint32_t {
    BaseGpu2dCanvas_ChannelMode_RGBA = 0,
    BaseGpu2dCanvas_ChannelMode_RGB = 1,
    BaseGpu2dCanvas_ChannelMode_Alpha = 2,
};

enum BaseGpu2dCanvas_AlphaMode : uint32_t {
    BaseGpu2dCanvas_AlphaMode_PremultiplyBlack = 0,
    BaseGpu2dCanvas_AlphaMode_Straight = 1,
};

enum BaseGpu2dCanvas_ScaleMode : uint32_t {
    BaseGpu2dCanvas_ScaleMode_Nearest = 0,
    BaseGpu2dCanvas_ScaleMode_Bilinear = 1,
    BaseGpu2dCanvas_ScaleMode_Bicubic = 2,
};

enum BaseGpu2dCanvas_CropBoxDisplayMode : uint32_t {
    BaseGpu2dCanvas_CropBoxDisplayMode_File = 0,
    BaseGpu2dCanvas_CropBoxDisplayMode_DisplayWindow = 1,
};
