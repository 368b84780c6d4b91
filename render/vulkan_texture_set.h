#pragma once
// The tiled textures of the shown video frame: one optimal-tiled image and one
// host-visible staging buffer per (tile, plane). Each new frame is copied into the
// staging buffers (upload) and from there into the images (recordUpload).
//
// Every member operation holds the set's mutex, so the recording thread may query the
// image infos while the GUI thread uploads. Uploads use a command pool of the set's
// own (created with the set, on the GUI thread), never the pool frames are recorded
// from: a command pool must not be used by two threads at once.
#include <QMutex>
#include <QVulkanInstance>
#include <memory>

#include "render/video_tile_layout.h"
#include "render/vulkan_texture.h"

class QVulkanWindow;
class QVulkanDeviceFunctions;
struct VideoFrame;

class VulkanTextureSet {
public:
    VulkanTextureSet(QVulkanInstance* instance, QVulkanWindow* window, QVulkanDeviceFunctions* functions,
                     VkDevice device);
    ~VulkanTextureSet();
    VulkanTextureSet(const VulkanTextureSet&) = delete;
    VulkanTextureSet& operator=(const VulkanTextureSet&) = delete;

    // The owner's two sampler handles, read when textures are allocated.
    void setSamplers(const VkSampler* nearest, const VkSampler* linear);
    // (Re)creates the textures when the layout's tile count or parameters differ from
    // the held ones; otherwise keeps them.
    void alloc(const VideoTileLayout& layout);
    // Copies a frame into the staging buffers. A frame that does not match the held
    // layout, or whose planes are too small for it, is skipped with a debug message.
    void upload(const VideoFrame* frame);
    // Moves the staged content into the images (once per upload); on success the
    // frame's number is remembered, so the same frame offered again is not copied.
    void recordUpload();
    // 1 when the frame differs from the one held, else 0.
    int needsUpload(const VideoFrame* frame);
    // Forgets the held frame, so the next frame is uploaded whatever its number (a new
    // movie of the same geometry starts again at frame 0).
    void resetHeldFrame();
    uint32_t tileCount();
    const VkDescriptorImageInfo* imageInfoNearest(uint32_t tile, uint32_t plane);
    const VkDescriptorImageInfo* imageInfoLinear(uint32_t tile, uint32_t plane);
    void destroyTextures();

    // Read-only views for diagnostics and tests (take the mutex).
    uint32_t planesPerTileCount();
    uint32_t textureCountValue();
    bool isUploaded();
    VulkanTexture textureAt(uint32_t index);

private:
    void destroyTexturesLocked();
    const VkDescriptorImageInfo* imageInfo(uint32_t tile, uint32_t plane, bool linear);
    bool frameMatchesLayout(const VideoFrame* frame) const;

    QVulkanInstance* instance = nullptr;
    VkDevice device = VK_NULL_HANDLE;
    QVulkanWindow* window = nullptr;
    QVulkanDeviceFunctions* functions = nullptr;
    VkCommandPool uploadPool = VK_NULL_HANDLE;
    std::unique_ptr<VulkanTexture[]> textures;
    uint32_t textureCount = 0;
    uint32_t planesPerTile = 0;
    VideoTileLayout layout;
    uint32_t heldFrameNumber = UINT32_MAX;
    uint32_t heldPixelFormat = 39;
    uint32_t heldDataFormat = 19;
    uint32_t heldWidth = 0;
    uint32_t heldHeight = 0;
    bool uploaded = false;
    bool stagedComplete = false;  // the last upload filled every texture
    uint32_t stagedFrameNumber = UINT32_MAX;
    const VkSampler* nearestSampler = nullptr;
    const VkSampler* linearSampler = nullptr;
    QMutex mutex;
};
