#include "tests/render/video_scene.h"

#include <QMutexLocker>
#include <QVulkanDeviceFunctions>
#include <vector>

#include "media/video_frame.h"

namespace vktest {

namespace {

struct Vertex {
    float x, y, z, u, v;
};

// Framebuffer pixels to vertex space (y up, -1..1).
float to_x(double px, int width) { return float(-1.0 + 2.0 * px / width); }
float to_y(double py, int height) { return float(1.0 - 2.0 * py / height); }

}  // namespace

VideoScene::VideoScene() { pipelines.registerShaders(); }

void VideoScene::attach(const std::shared_ptr<VideoScene>& scene, TestVulkanWindow& window) {
    window.onInitResources = [scene](TestVulkanWindow& w) { scene->init(w); };
    window.onReleaseResources = [scene](TestVulkanWindow& w) { scene->release(w); };
    window.onRecord = [scene](TestVulkanWindow& w, VkCommandBuffer commands) { scene->record(w, commands); };
}

void VideoScene::init(TestVulkanWindow& window) {
    QMutexLocker lock(&mutex);
    QVulkanInstance* instance = window.vulkanInstance();
    VkDevice device = window.device();
    maxImageDimension = window.physicalDeviceProperties()->limits.maxImageDimension2D;
    pipelines.setDevice(instance, device, window.defaultRenderPass());
    pipelines.loadShaders();
    EXPECT_EQ(pipelines.createDescriptorLayouts(), VK_SUCCESS);
    EXPECT_TRUE(pipelines.createUiPipelines());
    EXPECT_TRUE(pipelines.createVideoPipelines());
    samplers = create_samplers(window);
    textures = std::make_unique<VulkanTextureSet>(instance, &window, window.deviceFunctions(), device);
    textures->setSamplers(&samplers.nearest, &samplers.linear);
    const Vertex full[4] = {{-1, 1, 0, 0, 0}, {-1, -1, 0, 0, 1}, {1, 1, 0, 1, 0}, {1, -1, 0, 1, 1}};
    backgroundQuad = create_vertex_buffer(window, full, sizeof(full));
}

void VideoScene::release(TestVulkanWindow& window) {
    QMutexLocker lock(&mutex);
    destroy_buffer(window, tileQuads);
    destroy_buffer(window, backgroundQuad);
    tileQuadCount = 0;
    oneTextureSets.release();
    twoTextureSets.release();
    textures.reset();
    destroy_samplers(window, samplers);
    pipelines.release();
}

bool VideoScene::show(TestVulkanWindow& window, const VideoFrame& frame, const Draw& draw) {
    if (!wait_window_idle(window)) {
        ADD_FAILURE() << "a frame stayed in flight";
        return false;
    }
    QMutexLocker lock(&mutex);
    if (!textures) {
        ADD_FAILURE() << "no texture set: the window's resources are not initialised";
        return false;
    }
    const uint32_t mw = draw.maxTileWidth ? draw.maxTileWidth : maxImageDimension;
    const uint32_t mh = draw.maxTileHeight ? draw.maxTileHeight : maxImageDimension;
    try {
        compute_video_tiles(&tiles, frame.width, frame.height, mw, mh, frame.is_pixel ? frame.pixel_format : 39,
                            frame.is_pixel ? 19 : frame.data_format);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "tiling refused the frame: " << e.what();
        return false;
    }
    textures->alloc(tiles);
    textures->upload(&frame);
    textures->recordUpload();

    selected = VideoPipelines::selectVideoPipeline(draw.codec, draw.fileHasAlpha, draw.channelMode, draw.scaleMode,
                                                   draw.alphaMode, planes);
    usedPlanes = 0;
    for (uint32_t p : planes)
        if (p != kVideoPlaneUnused) ++usedPlanes;

    QVulkanInstance* instance = window.vulkanInstance();
    const uint32_t frames = uint32_t(window.concurrentFrameCount());
    const uint32_t count = textures->tileCount();
    if (oneTextureSets.create(instance, window.device(), pipelines.oneTextureLayout.layout, frames, 1, count) !=
            VK_SUCCESS ||
        twoTextureSets.create(instance, window.device(), pipelines.twoTextureLayout.layout, frames, 2, count) !=
            VK_SUCCESS) {
        ADD_FAILURE() << "descriptor sets";
        return false;
    }
    VulkanDescriptorSets* sets = usedPlanes == 1 ? &oneTextureSets : usedPlanes == 2 ? &twoTextureSets : nullptr;
    for (uint32_t t = 0; sets && t < count; ++t) {
        QList<const VkDescriptorImageInfo*> infos;
        for (uint32_t slot = 0; slot < usedPlanes; ++slot)
            infos.append(draw.scaleMode == 0 ? textures->imageInfoNearest(t, planes[slot])
                                             : textures->imageInfoLinear(t, planes[slot]));
        sets->writeImages(t, infos);
    }

    const QSize size = window.swapChainImageSize();
    std::vector<Vertex> quads;
    for (uint32_t t = 0; t < tiles.count; ++t) {
        const VideoTile& tile = tiles.tiles[t];
        const double x0 = draw.originX + double(tile.planeOffset[0].x);
        const double y0 = draw.originY + double(tile.planeOffset[0].y);
        const double x1 = x0 + tile.planeSize[0].width;
        const double y1 = y0 + tile.planeSize[0].height;
        const float l = to_x(x0, size.width()), r = to_x(x1, size.width());
        const float top = to_y(y0, size.height()), bottom = to_y(y1, size.height());
        const Vertex v[6] = {{l, top, 0, 0, 0},    {r, top, 0, 1, 0},    {l, bottom, 0, 0, 1},
                             {r, top, 0, 1, 0},    {r, bottom, 0, 1, 1}, {l, bottom, 0, 0, 1}};
        quads.insert(quads.end(), v, v + 6);
    }
    destroy_buffer(window, tileQuads);
    tileQuadCount = tiles.count;
    if (!quads.empty()) tileQuads = create_vertex_buffer(window, quads.data(), quads.size() * sizeof(Vertex));
    background = draw.background;
    return true;
}

int VideoScene::lastDrawnTiles() {
    QMutexLocker lock(&mutex);
    return drawnTiles;
}

void VideoScene::record(TestVulkanWindow& window, VkCommandBuffer commands) {
    QMutexLocker lock(&mutex);
    QVulkanDeviceFunctions* f = window.deviceFunctions();
    const VkDeviceSize zero = 0;
    if (!background.isEmpty() && backgroundQuad.buffer) {
        if (VulkanPipeline* p = pipelines.registry.find(background)) {
            f->vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, p->pipeline);
            f->vkCmdBindVertexBuffers(commands, 0, 1, &backgroundQuad.buffer, &zero);
            f->vkCmdDraw(commands, 4, 1, 0, 0);
        }
    }
    drawnTiles = 0;
    skippedTiles = 0;
    if (selected.isEmpty() || !tileQuads.buffer) return;
    VulkanPipeline* p = pipelines.registry.find(selected);
    if (!p) return;
    f->vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, p->pipeline);
    f->vkCmdBindVertexBuffers(commands, 0, 1, &tileQuads.buffer, &zero);
    const VulkanDescriptorSets* sets = usedPlanes == 1 ? &oneTextureSets : usedPlanes == 2 ? &twoTextureSets : nullptr;
    const float opacity = 1.0f;
    for (uint32_t t = 0; t < tileQuadCount; ++t) {
        if (sets) {
            const VkDescriptorSet set = sets->findSet(t, uint32_t(window.currentFrame()));
            if (set == VK_NULL_HANDLE) {  // a tile without a descriptor set is not drawn
                ++skippedTiles;
                continue;
            }
            f->vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, p->layout, 0, 1, &set, 0, nullptr);
        }
        f->vkCmdPushConstants(commands, p->layout, VK_SHADER_STAGE_FRAGMENT_BIT, 0, sizeof(opacity), &opacity);
        f->vkCmdDraw(commands, 6, 1, 6 * t, 0);
        ++drawnTiles;
    }
}

}  // namespace vktest
