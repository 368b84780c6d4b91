#pragma once
// The drawing vocabulary of the video renderer: its fourteen shader functions, the
// user-interface and video pipelines built from them (the video ones specialised by
// source kind, output kind, straight flag and filter), and the choice of the video
// pipeline and texture planes for a codec and the canvas's display modes.
//
// The renderer owns one VideoPipelines: registerShaders at construction, then per
// device: vertex/fragment load, createDescriptorLayouts, createUiPipelines and
// createVideoPipelines; release when the device resources go.
#include <QString>
#include <QStringList>
#include <QVulkanInstance>
#include <memory>
#include <vector>

#include "render/vulkan_descriptors.h"
#include "render/vulkan_function.h"
#include "render/vulkan_pipeline.h"

// A plane slot that selects no texture.
constexpr uint32_t kVideoPlaneUnused = UINT32_MAX;

// Video 4CCs as 32-bit big-endian character codes.
enum VideoCodecTag : uint32_t {
    VideoCodecTag_Hap1 = 0x48617031,
    VideoCodecTag_Hap5 = 0x48617035,
    VideoCodecTag_HapY = 0x48617059,
    VideoCodecTag_HapM = 0x4861704D,
    VideoCodecTag_HapA = 0x48617041,
    VideoCodecTag_Hap7 = 0x48617037,
    VideoCodecTag_DXD3 = 0x44584433,
};

// Values of the k_codec specialisation constant.
enum VideoSourceKind : uint32_t {
    VideoSourceKind_Rgba = 0,
    VideoSourceKind_HapQ = 1,
    VideoSourceKind_HapQAlpha = 2,
    VideoSourceKind_AlphaOnly = 3,
};

// Values of the k_channel specialisation constant.
enum VideoOutputKind : uint32_t {
    VideoOutputKind_Rgba = 0,
    VideoOutputKind_RgbOpaque = 1,
    VideoOutputKind_AlphaGrey = 2,
};

class VideoPipelines {
public:
    VideoPipelines() = default;
    // Makes no Vulkan call: release() must have run while the device existed.
    ~VideoPipelines();
    VideoPipelines(const VideoPipelines&) = delete;
    VideoPipelines& operator=(const VideoPipelines&) = delete;

    // Records the functions' names, resource paths and interfaces (no Vulkan call).
    void registerShaders();
    // The device and render pass the following calls build against.
    void setDevice(QVulkanInstance* instance, VkDevice device, VkRenderPass renderPass);
    // Starts loading every function module on the thread pool.
    void loadShaders();
    // The one-texture and two-texture set layouts, from the two video fragment functions.
    VkResult createDescriptorLayouts();

    bool createPipelineOneTexture(uint32_t sourceKind, uint32_t outputKind, uint32_t blendKind,
                                  const QStringList& names, VkPrimitiveTopology topology);
    bool createPipelineTwoTextures(uint32_t sourceKind, uint32_t outputKind, uint32_t blendKind,
                                   const QStringList& names);
    bool createUiPipelines();
    bool createVideoPipelines();

    // Destroys every pipeline and empties the registry.
    void destroyPipelines();
    // Everything made on the device: pipelines, set layouts and function modules.
    void release();

    // Pipeline name and texture planes (up to four slots, kVideoPlaneUnused when not
    // used) for a codec 4CC, the file's alpha byte and the display modes. Returns a
    // registered name, "ui_fill_white" or "unknown".
    static QString selectVideoPipeline(uint32_t codec, uint8_t fileHasAlpha, uint32_t channelMode,
                                       uint32_t scaleMode, uint32_t alphaMode, uint32_t planes[4]);

    VulkanFunctionLib vertexFunctions;
    VulkanFunctionLib fragmentFunctions;
    VulkanDescriptorLayout oneTextureLayout;
    VulkanDescriptorLayout twoTextureLayout;
    VulkanPipelineLib registry;

private:
    // The one or two variants (names[0], names[1]) of a video pipeline on one fragment function.
    bool createTexturePipelines(const QString& fragment, const VkDescriptorSetLayout* setLayout, uint32_t sourceKind,
                                uint32_t outputKind, uint32_t blendKind, const QStringList& names,
                                VkPrimitiveTopology topology, const char* failure);
    bool buildPipeline(const QString& name, const QString& vertex, const QString& fragment,
                       const VkDescriptorSetLayout* setLayout, VulkanSpecialization* specialization,
                       VkPrimitiveTopology topology, uint32_t blendKind);

    std::vector<std::unique_ptr<VulkanPipeline>> records;
    QVulkanInstance* instance = nullptr;
    VkDevice device = VK_NULL_HANDLE;
    VkRenderPass renderPass = VK_NULL_HANDLE;
};
