#pragma once
// How a frame is cut into GPU tiles no larger than the device's largest 2D image, and
// which texture kind each plane of a tile has. Pure computation: no GPU needed.
#include <cstdint>
#include <memory>

enum VideoTextureKind : uint32_t {
    VideoTextureKind_RGBA8 = 0,
    VideoTextureKind_RGBA32F = 1,
    VideoTextureKind_R8 = 2,
    VideoTextureKind_R16 = 3,
    VideoTextureKind_BC1 = 4,
    VideoTextureKind_BC3 = 5,
    VideoTextureKind_BC7 = 6,
    VideoTextureKind_BC4 = 7,
    VideoTextureKind_None = 8,  // end of a tile's plane list
};

// The VkFormat value of a kind; 0 (undefined) for kind 8 and above.
uint32_t video_texture_kind_format(uint32_t kind) noexcept;
bool video_texture_kind_is_block(uint32_t kind) noexcept;

struct VideoTileSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

struct VideoTileOffset {
    uint32_t x = 0;
    uint32_t y = 0;
};

struct VideoTile {
    uint32_t planeCount = 0;
    VideoTileSize planeSize[4];
    VideoTileSize planeAllocSize[4];
    VideoTileOffset planeOffset[4];
    uint32_t planeKind[4] = {VideoTextureKind_None, VideoTextureKind_None, VideoTextureKind_None,
                             VideoTextureKind_None};
    float uvRect[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // left, top, width, height as fractions of the frame
};

struct VideoTileLayout {
    std::unique_ptr<VideoTile[]> tiles;
    uint32_t count = 0;
    uint32_t capacity = 0;
    uint32_t frameWidth = 0;
    uint32_t frameHeight = 0;
    uint32_t maxTileWidth = 0;
    uint32_t maxTileHeight = 0;
    uint32_t pixelFormat = 39;  // none: texture frames
    uint32_t dataFormat = 19;   // pixels

    // Sets the count and clears every tile; grows the array only when needed.
    void resize(uint32_t count);
    // Copies the tiles and the six parameters of `other`.
    void copyFrom(const VideoTileLayout& other);
    bool sameParameters(const VideoTileLayout& other) const noexcept;
    void freeTiles() noexcept;
};

// Plane kinds of a frame: from the data format when the pixel format is 39 (HAP
// textures), else from the pixel format. Returns the plane count; throws
// std::runtime_error "Unknown frame data" or "Unknown pixel data plane fmt".
uint32_t video_frame_plane_kinds(uint32_t pixelFormat, uint32_t dataFormat, uint32_t kinds[4]);

// The tiling rule: cuts a w x h frame into tiles of at most maxWidth x maxHeight
// (rounded down to multiples of 4). Leaves the layout unchanged when its parameters
// already match. Throws std::runtime_error for formats it cannot tile (the layout is
// then unchanged) and std::bad_alloc when the tile array cannot be had.
void compute_video_tiles(VideoTileLayout* layout, uint32_t width, uint32_t height, uint32_t maxWidth,
                         uint32_t maxHeight, uint32_t pixelFormat, uint32_t dataFormat);
