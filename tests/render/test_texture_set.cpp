// The tiled texture set on the GPU: allocation follows the layout, every texture kind
// uploads (read back through a drawing pipeline and compared with the CPU picture),
// tiles land where they belong, and frames that do not fit are refused.
#include <gtest/gtest.h>

#include <QVulkanDeviceFunctions>
#include <cstdlib>
#include <functional>

#include "render/video_frame_plane_address.h"
#include "render/vulkan_texture_set.h"
#include "tests/render/render_test_frames.h"
#include "tests/render/video_scene.h"
#include "tests/render/vulkan_harness.h"

using namespace vktest;

namespace {

// Largest RGB difference between the read-back (frame pixel (0,0) at (ox, oy)) and
// the expected colour of each frame pixel in [x0, x1) x [0, h).
int max_difference(const QImage& image, int ox, int oy, uint32_t x0, uint32_t x1, uint32_t h,
                   const std::function<QRgb(uint32_t, uint32_t)>& expected, std::string* where) {
    int worst = 0;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = x0; x < x1; ++x) {
            const int d = rgb_distance(image.pixel(int(x) + ox, int(y) + oy), expected(x, y));
            if (d > worst) {
                worst = d;
                *where = "frame pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
            }
        }
    return worst;
}

QRgb rgb_of(const Rgba8Picture& p, uint32_t x, uint32_t y) {
    const uint8_t* px = p.at(x, y);
    return qRgb(px[0], px[1], px[2]);
}

class TextureSetTest : public VulkanWindowTest {
protected:
    TestVulkanWindow* openScene(QSize size) {
        scene = std::make_shared<VideoScene>();
        window = std::make_unique<TestVulkanWindow>();
        window->setVulkanInstance(vulkan_instance());
        VideoScene::attach(scene, *window);
        if (!show_and_wait_ready(*window, size)) {
            ADD_FAILURE() << "the Vulkan window did not get ready";
            return nullptr;
        }
        return window.get();
    }

    // Draws the frame 1:1 at the origin and compares it with the reference picture.
    void expectDrawn(const VideoFrame& frame, const VideoScene::Draw& draw, const Rgba8Picture& reference,
                     int tolerance) {
        ASSERT_TRUE(scene->show(*window, frame, draw));
        const QImage image = grab_frame(*window);
        ASSERT_FALSE(image.isNull());
        std::string where;
        const int worst = max_difference(
            image, draw.originX, draw.originY, 0, frame.width, frame.height,
            [&](uint32_t x, uint32_t y) { return rgb_of(reference, x, y); }, &where);
        EXPECT_LE(worst, tolerance) << scene->selected.toStdString() << " at " << where;
        EXPECT_EQ(scene->lastDrawnTiles(), int(scene->tiles.count));
    }

    std::shared_ptr<VideoScene> scene;
};

struct KindCase {
    const char* name;
    uint32_t dataFormat;   // texture frames
    uint32_t pixelFormat;  // pixel frames (39: texture)
    uint32_t codec;        // the pipeline that shows the kind as it is
    uint8_t fileHasAlpha;
};

// Each texture kind shown through a pipeline that passes its colour through.
const KindCase kKinds[] = {
    {"BC1", VideoDataFormat_Hap1, 39, VideoCodecTag_Hap1, 0},
    {"BC3", VideoDataFormat_Hap5, 39, VideoCodecTag_Hap1, 0},
    {"BC4", VideoDataFormat_HapA, 39, VideoCodecTag_HapA, 0},
    {"BC7", VideoDataFormat_Hap7, 39, VideoCodecTag_Hap7, 0},
    {"RGBA8", 19, PixelFormat_RGBA8, VideoCodecTag_Hap1, 0},
    {"RGBA32F", 19, PixelFormat_RGBA32F, VideoCodecTag_Hap1, 0},
    {"R8", 19, PixelFormat_Grey8, VideoCodecTag_HapA, 0},
    {"R16", 19, PixelFormat_Grey16, VideoCodecTag_HapA, 0},
};

// The staging-upload switch belongs to the renderer's default images: tile textures
// always go through staging buffers, whatever it says. Both settings are run.
class TextureKindsUpload : public TextureSetTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        if (GetParam())
            qputenv("QT_VK_FORCE_STAGE_TEX", "1");
        else
            qunsetenv("QT_VK_FORCE_STAGE_TEX");
        TextureSetTest::SetUp();
    }
    void TearDown() override {
        TextureSetTest::TearDown();
        qunsetenv("QT_VK_FORCE_STAGE_TEX");
    }
};

}  // namespace

TEST_P(TextureKindsUpload, EveryKindReadsBackAsTheCpuPicture) {
    ASSERT_NE(openScene(QSize(72, 56)), nullptr);
    uint32_t seed = 1;
    for (const KindCase& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        // 70x50: the last blocks are partly outside the picture.
        FramePtr frame = kind.pixelFormat == 39 ? random_texture_frame(70, 50, kind.dataFormat, seed++)
                                                : random_pixel_frame(70, 50, kind.pixelFormat, seed++);
        const Rgba8Picture reference =
            kind.pixelFormat == 39 ? cpu_decode_texture(*frame, 0) : pixel_frame_rgba8(*frame);
        VideoScene::Draw draw;
        draw.codec = kind.codec;
        draw.fileHasAlpha = kind.fileHasAlpha;
        draw.channelMode = 1;  // opaque output: the colour as it is
        expectDrawn(*frame, draw, reference, kind.dataFormat == VideoDataFormat_Hap7 ? 1 : 2);
    }
}

INSTANTIATE_TEST_SUITE_P(StagingSwitch, TextureKindsUpload, ::testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "ForceStage" : "Default");
                         });

TEST_F(TextureSetTest, AllocFollowsTheLayoutOnly) {
    ASSERT_NE(openScene(QSize(64, 64)), nullptr);
    ASSERT_TRUE(wait_window_idle(*window));
    VulkanTextureSet& set = *scene->textures;

    VideoTileLayout layout;
    compute_video_tiles(&layout, 64, 48, 16384, 16384, 39, VideoDataFormat_HapM);
    set.alloc(layout);
    ASSERT_EQ(set.tileCount(), 1u);
    ASSERT_EQ(set.textureCountValue(), 2u);
    const VkDescriptorImageInfo* nearest = set.imageInfoNearest(0, 0);
    ASSERT_NE(nearest, nullptr);
    const VkImageView view = nearest->imageView;
    const VkImage image = set.textureAt(0).image;
    EXPECT_EQ(nearest->sampler, scene->samplers.nearest);
    EXPECT_EQ(set.imageInfoLinear(0, 1)->sampler, scene->samplers.linear);
    EXPECT_EQ(set.textureAt(1).format, VK_FORMAT_BC4_UNORM_BLOCK);

    set.alloc(layout);  // same layout: the textures stay
    EXPECT_EQ(set.imageInfoNearest(0, 0)->imageView, view);
    EXPECT_EQ(set.textureAt(0).image, image);

    {
        MessageCapture messages;
        EXPECT_EQ(set.imageInfoNearest(0, 2), nullptr);
        EXPECT_TRUE(messages.contains("Invalid index plane : 2 ; Planes count : 2")) << messages.messages().join('|').toStdString();
        EXPECT_EQ(set.imageInfoLinear(1, 0), nullptr);
        EXPECT_TRUE(messages.contains("Invalid index tex : 2 (tile : 1 ; Plane : 0)"));
    }

    // Another geometry: four tiles of one BC1 texture each.
    VideoTileLayout grid;
    compute_video_tiles(&grid, 64, 48, 32, 32, 39, VideoDataFormat_Hap1);
    set.alloc(grid);
    EXPECT_EQ(set.tileCount(), 4u);
    EXPECT_EQ(set.planesPerTileCount(), 1u);
    EXPECT_EQ(set.textureCountValue(), 4u);
    EXPECT_EQ(set.textureAt(3).size.width, 32u);
    EXPECT_EQ(set.textureAt(3).size.height, 16u);
    EXPECT_EQ(set.textureAt(3).format, VK_FORMAT_BC1_RGB_UNORM_BLOCK);
    for (uint32_t t = 0; t < 4; ++t) EXPECT_NE(set.imageInfoLinear(t, 0), nullptr) << t;

    // A layout whose textures could not be made is tried again when offered again,
    // even with the same parameters.
    VideoTileLayout broken;
    broken.copyFrom(grid);
    broken.maxTileWidth = broken.maxTileHeight = 48;
    broken.tiles[0].planeKind[0] = VideoTextureKind_None;
    {
        MessageCapture messages;
        set.alloc(broken);
        EXPECT_TRUE(messages.contains("Fail to allocate texture"));
    }
    EXPECT_EQ(set.textureCountValue(), 0u);
    VideoTileLayout repaired;
    repaired.copyFrom(broken);
    repaired.tiles[0].planeKind[0] = VideoTextureKind_BC1;
    set.alloc(repaired);
    EXPECT_EQ(set.textureCountValue(), 4u);
    EXPECT_NE(set.imageInfoNearest(0, 0), nullptr);

    // An empty layout leaves no textures.
    VideoTileLayout empty;
    {
        MessageCapture messages;
        set.alloc(empty);
        EXPECT_TRUE(messages.contains("WARNING : No tiles"));
    }
    EXPECT_EQ(set.textureCountValue(), 0u);
    EXPECT_EQ(set.imageInfoNearest(0, 0), nullptr);
}

TEST_F(TextureSetTest, TilesOfAGridLandInPlaceForBothHapMPlanes) {
    ASSERT_NE(openScene(QSize(72, 56)), nullptr);
    FramePtr frame = random_texture_frame(66, 50, VideoDataFormat_HapM, 5);
    // Tiles of 32x32: three columns (the last 2 wide) and two rows (the last 18 high).
    VideoScene::Draw draw;
    draw.codec = VideoCodecTag_HapM;
    draw.fileHasAlpha = 1;
    draw.channelMode = 2;  // the alpha texture only: plane 1 of every tile
    draw.maxTileWidth = 32;
    draw.maxTileHeight = 32;
    expectDrawn(*frame, draw, cpu_decode_texture(*frame, 1), 2);
    EXPECT_EQ(scene->tiles.count, 6u);
    draw.channelMode = 1;  // the colour texture: plane 0
    expectDrawn(*frame, draw, cpu_decode_texture(*frame, 0), 3);
}

TEST_F(TextureSetTest, FrameWiderThanTheDeviceLimitSplitsAcrossTwoTextures) {
    ASSERT_NE(openScene(QSize(64, 64)), nullptr);
    ASSERT_EQ(scene->maxImageDimension, 16384u);
    FramePtr frame = random_texture_frame(20000, 64, VideoDataFormat_Hap1, 9);
    const Rgba8Picture reference = cpu_decode_texture(*frame, 0);
    VideoScene::Draw draw;
    draw.codec = VideoCodecTag_Hap1;
    draw.originX = -(16384 - 16);  // frame columns 16368..16431 fill the window
    ASSERT_TRUE(scene->show(*window, *frame, draw));
    ASSERT_EQ(scene->tiles.count, 2u);
    const QImage image = grab_frame(*window);
    ASSERT_FALSE(image.isNull());
    std::string where;
    const int worst = max_difference(
        image, draw.originX, 0, 16384 - 16, 16384 + 48, 64,
        [&](uint32_t x, uint32_t y) { return rgb_of(reference, x, y); }, &where);
    EXPECT_LE(worst, 2) << where;
}

TEST_F(TextureSetTest, SameFrameIsCopiedOnceAndMismatchedFramesAreRefused) {
    ASSERT_NE(openScene(QSize(72, 56)), nullptr);
    FramePtr frame = random_texture_frame(64, 48, VideoDataFormat_Hap5, 3);
    frame->frame_number = 7;
    const Rgba8Picture reference = cpu_decode_texture(*frame, 0);
    VideoScene::Draw draw;
    draw.codec = VideoCodecTag_Hap1;
    expectDrawn(*frame, draw, reference, 2);

    VulkanTextureSet& set = *scene->textures;
    EXPECT_TRUE(set.isUploaded());
    EXPECT_EQ(set.needsUpload(frame.get()), 0);
    frame->frame_number = 8;
    EXPECT_EQ(set.needsUpload(frame.get()), 1);
    frame->frame_number = 7;
    set.resetHeldFrame();
    EXPECT_EQ(set.needsUpload(frame.get()), 1);

    ASSERT_TRUE(wait_window_idle(*window));
    // A smaller frame of the same format would be over-read: refused, nothing staged.
    FramePtr small = random_texture_frame(32, 48, VideoDataFormat_Hap5, 4);
    {
        MessageCapture messages;
        set.upload(small.get());
        EXPECT_TRUE(messages.contains("ERROR : frame does not match the texture layout"));
    }
    // A frame of the right size whose plane is shorter than it claims: refused per tile.
    FramePtr truncated = random_texture_frame(64, 48, VideoDataFormat_Hap5, 4);
    truncated->sizes[0] -= 16;
    {
        MessageCapture messages;
        set.upload(truncated.get());
        EXPECT_TRUE(messages.contains("Invalid plane size for tile : 0 ; plane : 0"));
        set.recordUpload();
        set.recordUpload();  // once per upload
    }
    // An incomplete upload is not remembered as the held frame.
    truncated->frame_number = 7;
    EXPECT_EQ(set.needsUpload(truncated.get()), 1);
    {
        MessageCapture messages;
        set.upload(nullptr);
        EXPECT_TRUE(messages.contains("ERROR : can't copy from null frame"));
    }
}
