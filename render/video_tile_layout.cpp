#include "render/video_tile_layout.h"

#include <QDebug>
#include <algorithm>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "media/pix_descriptor.h"
#include "media/video_frame.h"
#include "base/formats/pixfmt_name.h"

uint32_t video_texture_kind_format(uint32_t kind) noexcept {
    switch (kind) {
        case VideoTextureKind_RGBA8: return 37;     // VK_FORMAT_R8G8B8A8_UNORM
        case VideoTextureKind_RGBA32F: return 109;  // VK_FORMAT_R32G32B32A32_SFLOAT
        case VideoTextureKind_R8: return 9;         // VK_FORMAT_R8_UNORM
        case VideoTextureKind_R16: return 70;       // VK_FORMAT_R16_UNORM
        case VideoTextureKind_BC1: return 131;      // VK_FORMAT_BC1_RGB_UNORM_BLOCK
        case VideoTextureKind_BC3: return 137;      // VK_FORMAT_BC3_UNORM_BLOCK
        case VideoTextureKind_BC7: return 145;      // VK_FORMAT_BC7_UNORM_BLOCK
        case VideoTextureKind_BC4: return 139;      // VK_FORMAT_BC4_UNORM_BLOCK
        default: return 0;
    }
}

bool video_texture_kind_is_block(uint32_t kind) noexcept {
    return kind >= VideoTextureKind_BC1 && kind <= VideoTextureKind_BC4;
}

void VideoTileLayout::resize(uint32_t newCount) {
    if (newCount == 0) {
        printf("ERROR : No tiles to alloc\n");
        count = 0;
        return;
    }
    if (newCount > capacity) {
        // A failed allocation must not leave a count over a freed array.
        tiles.reset();
        count = 0;
        capacity = 0;
        tiles.reset(new VideoTile[newCount]);
        capacity = newCount;
    }
    count = newCount;
    for (uint32_t i = 0; i < count; ++i) tiles[i] = VideoTile{};
}

void VideoTileLayout::copyFrom(const VideoTileLayout& other) {
    if (other.count > 0) {
        resize(other.count);
        for (uint32_t i = 0; i < count; ++i) tiles[i] = other.tiles[i];
    } else {
        freeTiles();
    }
    frameWidth = other.frameWidth;
    frameHeight = other.frameHeight;
    maxTileWidth = other.maxTileWidth;
    maxTileHeight = other.maxTileHeight;
    pixelFormat = other.pixelFormat;
    dataFormat = other.dataFormat;
}

bool VideoTileLayout::sameParameters(const VideoTileLayout& other) const noexcept {
    return frameWidth == other.frameWidth && frameHeight == other.frameHeight &&
           maxTileWidth == other.maxTileWidth && maxTileHeight == other.maxTileHeight &&
           pixelFormat == other.pixelFormat && dataFormat == other.dataFormat;
}

void VideoTileLayout::freeTiles() noexcept {
    tiles.reset();
    count = 0;
    capacity = 0;
}

uint32_t video_frame_plane_kinds(uint32_t pixelFormat, uint32_t dataFormat, uint32_t kinds[4]) {
    for (int i = 0; i < 4; ++i) kinds[i] = VideoTextureKind_None;
    auto set = [&](std::initializer_list<uint32_t> list) {
        uint32_t n = 0;
        for (uint32_t k : list) kinds[n++] = k;
        return n;
    };
    if (pixelFormat == PixelFormat_Undefined) {
        switch (dataFormat) {
            case VideoDataFormat_Hap1: return set({VideoTextureKind_BC1});
            case VideoDataFormat_Hap5:
            case VideoDataFormat_HapY: return set({VideoTextureKind_BC3});
            case VideoDataFormat_HapM: return set({VideoTextureKind_BC3, VideoTextureKind_BC4});
            case VideoDataFormat_HapA: return set({VideoTextureKind_BC4});
            case VideoDataFormat_Hap7: return set({VideoTextureKind_BC7});
            default: throw std::runtime_error("Unknown frame data");
        }
    }
    switch (pixelFormat) {
        case PixelFormat_ARGB8:
        case PixelFormat_RGBA8:
        case PixelFormat_RGBX8: return set({VideoTextureKind_RGBA8});
        case PixelFormat_RGBA32F:
        case PixelFormat_RGBX32F: return set({VideoTextureKind_RGBA32F});
        case PixelFormat_Grey8: return set({VideoTextureKind_R8});
        case PixelFormat_Grey16: return set({VideoTextureKind_R16});
        case PixelFormat_YUV420:
        case PixelFormat_YUV422:
        case PixelFormat_YUV444: return set({VideoTextureKind_R8, VideoTextureKind_R8, VideoTextureKind_R8});
        case PixelFormat_YUVA422:
            return set({VideoTextureKind_R8, VideoTextureKind_R8, VideoTextureKind_R8, VideoTextureKind_R8});
        case PixelFormat_YUV422_10:
        case PixelFormat_YUV444_10:
        case PixelFormat_YUV422_12:
        case PixelFormat_YUV444_12: return set({VideoTextureKind_R16, VideoTextureKind_R16, VideoTextureKind_R16});
        case PixelFormat_YUVA444_10:
        case PixelFormat_YUVA444_12:
            return set({VideoTextureKind_R16, VideoTextureKind_R16, VideoTextureKind_R16, VideoTextureKind_R16});
        default: {
            const char* name = pixfmt_name(pixelFormat);
            printf("Unknown pixel data for texture : %s\n", name);
            qDebug("Unknown pixel data for texture : %s", name);
            throw std::runtime_error("Unknown pixel data plane fmt");
        }
    }
}

namespace {

struct PlaneSubsampling {
    uint32_t horizontal[4] = {1, 1, 1, 1};
};

// Horizontal subsampling of each plane of a pixel frame; texture frames have none.
// Throws for subsampling the tiles cannot hold.
PlaneSubsampling plane_subsampling(uint32_t pixelFormat, uint32_t planeCount) {
    PlaneSubsampling result;
    if (pixelFormat == PixelFormat_Undefined) return result;
    const PixDescriptor d = get_pix_descriptor(pixelFormat);
    for (uint32_t p = 0; p < planeCount && p < 4; ++p) {
        const uint32_t h = d.horizontal_subsampling[p];
        if (h != 1 && h != 2) throw std::runtime_error("Unsupport horizontal subsampling");
        if (d.vertical_subsampling[p] != 1) throw std::runtime_error("Unsupport vertical subsampling");
        result.horizontal[p] = h;
    }
    return result;
}

void set_tile_planes(VideoTile& tile, uint32_t planeCount, const uint32_t kinds[4], const PlaneSubsampling& sub,
                     uint32_t x, uint32_t y, uint32_t a, uint32_t b) {
    tile.planeCount = planeCount;
    for (uint32_t p = 0; p < planeCount; ++p) {
        tile.planeKind[p] = kinds[p];
        tile.planeOffset[p] = {x, y};
        if (video_texture_kind_is_block(kinds[p])) {
            tile.planeSize[p] = {a, b};
            tile.planeAllocSize[p] = {align_up4(a), align_up4(b)};
        } else if (sub.horizontal[p] == 2) {
            tile.planeSize[p] = {a / 2, b};
            tile.planeAllocSize[p] = {a / 2, b};
        } else {
            tile.planeSize[p] = {a, b};
            tile.planeAllocSize[p] = {0, b};
        }
    }
}

}  // namespace

void compute_video_tiles(VideoTileLayout* layout, uint32_t w, uint32_t h, uint32_t mw, uint32_t mh,
                         uint32_t pixelFormat, uint32_t dataFormat) {
    if (w == 0 || h == 0) {
        printf("ERROR : Invalid dim image zero\n");
        layout->count = 0;
        return;
    }
    if (mw <= 3 || mh <= 3) {
        printf("ERROR : Invalid dim max gpu zero\n");
        layout->count = 0;
        return;
    }
    if (layout->count > 0 && layout->frameWidth == w && layout->frameHeight == h && layout->maxTileWidth == mw &&
        layout->maxTileHeight == mh && layout->pixelFormat == pixelFormat && layout->dataFormat == dataFormat)
        return;

    const uint32_t tw = mw & ~3u;
    const uint32_t th = mh & ~3u;
    const uint64_t columns = w <= tw ? 1 : (uint64_t(w) + tw - 1) / tw;
    const uint64_t rows = h <= th ? 1 : (uint64_t(h) + th - 1) / th;
    const uint64_t count = columns * rows;
    if (count == 0) {
        printf("ERROR : Invalid tiles count zero\n");
        layout->count = 0;
        return;
    }
    if (count > UINT32_MAX) throw std::bad_alloc();

    // Everything that can refuse the frame is decided before the layout changes.
    uint32_t kinds[4];
    const uint32_t planeCount = video_frame_plane_kinds(pixelFormat, dataFormat, kinds);
    const PlaneSubsampling sub = plane_subsampling(pixelFormat, planeCount);

    layout->resize(uint32_t(count));
    if (count == 1) {
        VideoTile& tile = layout->tiles[0];
        set_tile_planes(tile, planeCount, kinds, sub, 0, 0, w, h);
        tile.uvRect[0] = 0.0f;
        tile.uvRect[1] = 0.0f;
        tile.uvRect[2] = 1.0f;
        tile.uvRect[3] = 1.0f;
    } else {
        uint32_t index = 0;
        uint32_t y = 0;
        for (uint64_t row = 0; row < rows; ++row) {
            const uint32_t rowHeight = std::min(th, h - y);
            uint32_t x = 0;
            for (uint64_t column = 0; column < columns; ++column) {
                const uint32_t tileWidth = std::min(tw, w - x);
                VideoTile& tile = layout->tiles[index++];
                set_tile_planes(tile, planeCount, kinds, sub, x, y, tileWidth, rowHeight);
                tile.uvRect[0] = float(x) / float(w);
                tile.uvRect[1] = float(y) / float(h);
                tile.uvRect[2] = float(tileWidth) / float(w);
                tile.uvRect[3] = float(rowHeight) / float(h);
                x += tileWidth;
            }
            y += rowHeight;
        }
    }
    layout->frameWidth = w;
    layout->frameHeight = h;
    layout->maxTileWidth = mw;
    layout->maxTileHeight = mh;
    layout->pixelFormat = pixelFormat;
    layout->dataFormat = dataFormat;
}
