#pragma once
// What the video renderer will do with this subsystem's building blocks, reduced to what the
// tests need: the pipelines of the video renderer, the samplers, a tiled texture set
// and its descriptor sets, and one quad per tile drawn 1:1 into the framebuffer.
#include <QMutex>
#include <QString>
#include <memory>

#include "render/video_pipelines.h"
#include "render/video_tile_layout.h"
#include "render/vulkan_descriptors.h"
#include "render/vulkan_texture_set.h"
#include "tests/render/vulkan_harness.h"

struct VideoFrame;

namespace vktest {

class VideoScene {
public:
    VideoScene();
    // Hooks the scene into the window (init/release/record). Call before openWindow's show.
    static void attach(const std::shared_ptr<VideoScene>& scene, TestVulkanWindow& window);

    struct Draw {
        uint32_t codec = VideoCodecTag_Hap1;
        uint8_t fileHasAlpha = 0;
        uint32_t channelMode = 0;
        uint32_t scaleMode = 0;
        uint32_t alphaMode = 0;
        // Framebuffer pixel where frame pixel (0, 0) lands; the frame is drawn 1:1.
        int originX = 0;
        int originY = 0;
        // Drawn over the whole window first, when not empty (e.g. "bg_checkerboard").
        QString background;
        uint32_t maxTileWidth = 0;  // 0: the device's limit
        uint32_t maxTileHeight = 0;
    };

    // GUI thread: tiles, texture upload, descriptor sets and quads for the frame.
    // False (with a test failure message) when a step fails.
    bool show(TestVulkanWindow& window, const VideoFrame& frame, const Draw& draw);

    VideoPipelines pipelines;
    Samplers samplers;
    std::unique_ptr<VulkanTextureSet> textures;
    VideoTileLayout tiles;
    VulkanDescriptorSets oneTextureSets;
    VulkanDescriptorSets twoTextureSets;
    QString selected;  // pipeline name of the last show
    uint32_t planes[4] = {kVideoPlaneUnused, kVideoPlaneUnused, kVideoPlaneUnused, kVideoPlaneUnused};
    uint32_t maxImageDimension = 0;
    // Tiles drawn by the last recorded frame. Read under the scene's lock: the window
    // may be recording another frame on its worker while the test looks.
    int lastDrawnTiles();

private:
    void init(TestVulkanWindow& window);
    void release(TestVulkanWindow& window);
    void record(TestVulkanWindow& window, VkCommandBuffer commands);

    QMutex mutex;
    int drawnTiles = 0;
    int skippedTiles = 0;
    HostBuffer tileQuads;
    HostBuffer backgroundQuad;
    uint32_t tileQuadCount = 0;
    uint32_t usedPlanes = 0;
    QString background;
};

}  // namespace vktest
