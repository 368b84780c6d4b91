// Tiling rule, plane kinds, plane addresses and the Vulkan helper tables: pure
// computations, no GPU.
#include <gtest/gtest.h>

#include <cstring>

#include "media/video_frame.h"
#include "render/video_frame_plane_address.h"
#include "render/video_tile_layout.h"
#include "render/vulkan_texture.h"
#include "tests/support/expect_error.h"

namespace {

struct FrameGuard {
    VideoFrame* frame = video_frame_new();
    ~FrameGuard() { video_frame_free(&frame); }
};

VideoTileLayout tiles_for(uint32_t w, uint32_t h, uint32_t mw, uint32_t mh, uint32_t data_format = 13,
                          uint32_t pixel_format = 39) {
    VideoTileLayout layout;
    compute_video_tiles(&layout, w, h, mw, mh, pixel_format, data_format);
    return layout;
}

}  // namespace

TEST(VideoTiles, LimitsGiveOneTileOrAGrid) {
    EXPECT_EQ(tiles_for(4096, 2160, 16384, 16384).count, 1u);
    const VideoTileLayout one = tiles_for(4096, 2160, 4097, 4097);  // rounded down to 4096
    ASSERT_EQ(one.count, 1u);
    EXPECT_EQ(one.tiles[0].planeSize[0].width, 4096u);
    EXPECT_EQ(one.tiles[0].planeSize[0].height, 2160u);
    EXPECT_FLOAT_EQ(one.tiles[0].uvRect[2], 1.0f);
    EXPECT_EQ(tiles_for(16384, 64, 16384, 16384).count, 1u);

    const VideoTileLayout grid = tiles_for(4096, 2160, 2050, 2050);
    ASSERT_EQ(grid.count, 4u);
    const uint32_t offsets[4][2] = {{0, 0}, {2048, 0}, {0, 2048}, {2048, 2048}};
    const uint32_t heights[4] = {2048, 2048, 112, 112};
    for (uint32_t t = 0; t < 4; ++t) {
        EXPECT_EQ(grid.tiles[t].planeOffset[0].x, offsets[t][0]) << t;
        EXPECT_EQ(grid.tiles[t].planeOffset[0].y, offsets[t][1]) << t;
        EXPECT_EQ(grid.tiles[t].planeSize[0].width, 2048u) << t;
        EXPECT_EQ(grid.tiles[t].planeSize[0].height, heights[t]) << t;
    }
    EXPECT_FLOAT_EQ(grid.tiles[3].uvRect[0], 0.5f);
    EXPECT_FLOAT_EQ(grid.tiles[3].uvRect[1], 2048.0f / 2160.0f);
    EXPECT_FLOAT_EQ(grid.tiles[3].uvRect[2], 0.5f);
    EXPECT_FLOAT_EQ(grid.tiles[3].uvRect[3], 112.0f / 2160.0f);
    EXPECT_EQ(grid.frameWidth, 4096u);
    EXPECT_EQ(grid.maxTileWidth, 2050u);
}

TEST(VideoTiles, LastColumnKeepsItsOddWidthAndStagesWholeBlocks) {
    const VideoTileLayout wide = tiles_for(20000, 64, 16384, 16384);
    ASSERT_EQ(wide.count, 2u);
    EXPECT_EQ(wide.tiles[0].planeSize[0].width, 16384u);
    EXPECT_EQ(wide.tiles[1].planeSize[0].width, 3616u);
    EXPECT_EQ(wide.tiles[1].planeOffset[0].x, 16384u);
    VulkanStagingLayout staging;
    VulkanTextureExtent aligned;
    ASSERT_TRUE(vk_format_staging_layout(VK_FORMAT_BC1_RGB_UNORM_BLOCK, 3616, 64, &staging, &aligned));
    EXPECT_EQ(staging.rowPitch, 7232u);
    EXPECT_EQ(staging.rows, 16u);

    const VideoTileLayout odd = tiles_for(1922, 1080, 1024, 2048);
    ASSERT_EQ(odd.count, 2u);
    EXPECT_EQ(odd.tiles[1].planeSize[0].width, 898u);
    EXPECT_EQ(odd.tiles[1].planeAllocSize[0].width, 900u);
    ASSERT_TRUE(vk_format_staging_layout(VK_FORMAT_BC1_RGB_UNORM_BLOCK, 898, 1080, &staging, &aligned));
    EXPECT_EQ(staging.rowPitch, 1800u);
    EXPECT_EQ(staging.rows, 270u);
    EXPECT_EQ(aligned.width, 900u);

    // The 4:2:2 layouts round to 2; unknown formats are refused.
    ASSERT_TRUE(vk_format_staging_layout(VK_FORMAT_G8B8G8R8_422_UNORM, 7, 5, &staging, &aligned));
    EXPECT_EQ(staging.rowPitch, 16u);
    EXPECT_EQ(staging.rows, 6u);
    EXPECT_FALSE(vk_format_staging_layout(VK_FORMAT_R8G8_UNORM, 8, 8, &staging, &aligned));
}

TEST(VideoTiles, PlaneKindsAndRefusedFormats) {
    const VideoTileLayout hapm = tiles_for(64, 48, 16384, 16384, VideoDataFormat_HapM);
    EXPECT_EQ(hapm.tiles[0].planeCount, 2u);
    EXPECT_EQ(hapm.tiles[0].planeKind[0], uint32_t(VideoTextureKind_BC3));
    EXPECT_EQ(hapm.tiles[0].planeKind[1], uint32_t(VideoTextureKind_BC4));
    EXPECT_EQ(hapm.tiles[0].planeKind[2], uint32_t(VideoTextureKind_None));
    EXPECT_EQ(tiles_for(64, 48, 16384, 16384, VideoDataFormat_Hap7).tiles[0].planeKind[0],
              uint32_t(VideoTextureKind_BC7));
    EXPECT_EQ(tiles_for(64, 48, 16384, 16384, VideoDataFormat_HapA).tiles[0].planeKind[0],
              uint32_t(VideoTextureKind_BC4));
    EXPECT_EQ(video_texture_kind_format(VideoTextureKind_BC4), 139u);
    EXPECT_EQ(video_texture_kind_format(VideoTextureKind_None), 0u);

    // 4:2:2 pixel planes are halved horizontally; 4:2:0 is refused.
    const VideoTileLayout yuv = tiles_for(64, 48, 16384, 16384, 19, PixelFormat_YUV422);
    ASSERT_EQ(yuv.tiles[0].planeCount, 3u);
    EXPECT_EQ(yuv.tiles[0].planeSize[0].width, 64u);
    EXPECT_EQ(yuv.tiles[0].planeSize[1].width, 32u);
    EXPECT_EQ(yuv.tiles[0].planeAllocSize[0].width, 0u);

    VideoTileLayout layout = tiles_for(64, 48, 16384, 16384);
    EXPECT_RUNTIME_ERROR(compute_video_tiles(&layout, 64, 48, 16384, 16384, 39, 19), "Unknown frame data");
    EXPECT_RUNTIME_ERROR(compute_video_tiles(&layout, 64, 48, 16384, 16384, PixelFormat_YUV420, 19),
                         "Unsupport vertical subsampling");
    testing::internal::CaptureStdout();
    EXPECT_RUNTIME_ERROR(compute_video_tiles(&layout, 64, 48, 16384, 16384, PixelFormat_CMYK8, 19),
                         "Unknown pixel data plane fmt");
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("Unknown pixel data for texture : "), std::string::npos) << printed;
    // A refused format leaves the layout as it was.
    EXPECT_EQ(layout.count, 1u);
    EXPECT_EQ(layout.dataFormat, 13u);
}

TEST(VideoTiles, InvalidSizesEmptyTheLayoutAndSameParametersKeepIt) {
    VideoTileLayout layout = tiles_for(64, 48, 16384, 16384);
    VideoTile* before = layout.tiles.get();
    compute_video_tiles(&layout, 64, 48, 16384, 16384, 39, 13);
    EXPECT_EQ(layout.tiles.get(), before);
    EXPECT_EQ(layout.count, 1u);

    testing::internal::CaptureStdout();
    compute_video_tiles(&layout, 0, 48, 16384, 16384, 39, 13);
    EXPECT_EQ(layout.count, 0u);
    compute_video_tiles(&layout, 64, 48, 3, 16384, 39, 13);
    EXPECT_EQ(layout.count, 0u);
    layout.resize(0);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("ERROR : Invalid dim image zero\n"), std::string::npos);
    EXPECT_NE(printed.find("ERROR : Invalid dim max gpu zero\n"), std::string::npos);
    EXPECT_NE(printed.find("ERROR : No tiles to alloc\n"), std::string::npos);

    // Parameters equal but no tiles (an error emptied it): computed again.
    compute_video_tiles(&layout, 64, 48, 16384, 16384, 39, 13);
    EXPECT_EQ(layout.count, 1u);
}

TEST(VideoFramePlaneAddress, BlocksPixelsAndErrors) {
    FrameGuard hap;
    dxt_frame_alloc(hap.frame, 64, 48, VideoDataFormat_HapM);
    const VideoFrame* f = hap.frame;
    EXPECT_EQ(video_frame_plane_address(f, 0, 0, 0), f->planes[0]);
    EXPECT_EQ(video_frame_plane_address(f, 8, 4, 0), f->planes[0] + f->line_sizes[0] + 2 * 16);
    EXPECT_EQ(video_frame_plane_address(f, 8, 4, 1), f->planes[1] + f->line_sizes[1] + 2 * 8);
    EXPECT_RUNTIME_ERROR(video_frame_plane_address(f, 2, 0, 0), "Invalid coordinate for dxt texture");
    EXPECT_RUNTIME_ERROR(video_frame_plane_address(f, 0, 0, 2), "Invalid plane index for dxt data");
    EXPECT_RUNTIME_ERROR(video_frame_plane_address(f, 64, 0, 0), "Invalid coordinate");
    EXPECT_RUNTIME_ERROR(video_frame_plane_address(f, 0, 48, 0), "Invalid coordinate");

    FrameGuard hap1;
    dxt_frame_alloc(hap1.frame, 64, 48, VideoDataFormat_Hap1);
    EXPECT_RUNTIME_ERROR(video_frame_plane_address(hap1.frame, 0, 0, 1), "Invalid plane data");

    FrameGuard yuv;
    video_frame_alloc(yuv.frame, 64, 48, PixelFormat_YUV422, true);
    const VideoFrame* y = yuv.frame;
    EXPECT_EQ(video_frame_plane_address(y, 10, 3, 0), y->planes[0] + 3 * y->line_sizes[0] + 10);
    EXPECT_EQ(video_frame_plane_address(y, 10, 3, 1), y->planes[1] + 3 * y->line_sizes[1] + 5);
    EXPECT_RUNTIME_ERROR(video_frame_plane_address(y, 0, 0, 3), "Invalid plane data");
    EXPECT_RUNTIME_ERROR(video_frame_plane_address(y, 0, 0, 7), "Invalid plane index for pixel format");

    FrameGuard yuv420;
    video_frame_alloc(yuv420.frame, 64, 48, PixelFormat_YUV420, true);
    testing::internal::CaptureStdout();
    EXPECT_RUNTIME_ERROR(video_frame_plane_address(yuv420.frame, 2, 2, 1), "Unsupported subsampling");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unsupporte subsampling : H : 2 ; V : 2\n");
}

TEST(VulkanHelpers, ResultNames) {
    EXPECT_STREQ(vk_result_name(VK_SUCCESS), "Unknown error");
    EXPECT_STREQ(vk_result_name(VkResult(-13)), "VK_ERROR_UNKNOWN");
    EXPECT_STREQ(vk_result_name(VK_ERROR_OUT_OF_HOST_MEMORY), "VK_ERROR_OUT_OF_HOST_MEMORY");
    EXPECT_STREQ(vk_result_name(VK_INCOMPLETE), "VK_INCOMPLETE");
    EXPECT_STREQ(vk_result_name(VkResult(6)), "Unknown error");
    EXPECT_STREQ(vk_result_name(VkResult(-14)), "Unknown error");
}

TEST(VulkanHelpers, MemoryTypeFallbacks) {
    VkPhysicalDeviceMemoryProperties table{};
    table.memoryTypeCount = 4;
    // The preferred (host-visible) index when allowed.
    EXPECT_EQ(vk_pick_memory_type(table, 1, 0b1111), 1u);
    // Excluded: the highest allowed index.
    EXPECT_EQ(vk_pick_memory_type(table, 1, 0b0101), 2u);
    EXPECT_EQ(vk_pick_memory_type(table, 3, 0b0011), 1u);
    // Nothing allowed: the preferred index all the same.
    EXPECT_EQ(vk_pick_memory_type(table, 1, 0), 1u);
    // Bits beyond the table's types are not chosen.
    EXPECT_EQ(vk_pick_memory_type(table, 0, 0b110000), 0u);
}
