#pragma once
// One GPU texture with its host-visible staging buffer, and the small Vulkan routines
// the texture paths are built on: one-time command buffers, layout transitions and
// names of VkResult values (buffers, images and memory: render/vulkan_objects.h).
#include <QVulkanInstance>
#include <cstdint>

#include "render/vulkan_objects.h"

class QVulkanWindow;
class QVulkanDeviceFunctions;

struct VulkanTextureExtent {
    uint32_t width = 0;
    uint32_t height = 0;
};

struct VulkanStagingLayout {
    uint32_t rowPitch = 0;  // bytes
    uint32_t rows = 0;
};

struct VulkanTexture {
    VkBuffer stagingBuffer = VK_NULL_HANDLE;
    VkDeviceMemory stagingMemory = VK_NULL_HANDLE;
    VkImage image = VK_NULL_HANDLE;
    VkDeviceMemory imageMemory = VK_NULL_HANDLE;
    VkImageView view = VK_NULL_HANDLE;
    VkDescriptorImageInfo infoNearest{};
    VkDescriptorImageInfo infoLinear{};
    uint64_t stagingSize = 0;
    VkFormat format = VK_FORMAT_UNDEFINED;
    VulkanTextureExtent alignedSize;
    VulkanStagingLayout stagingLayout;
    VulkanTextureExtent size;
    VkDevice device = VK_NULL_HANDLE;
};

// Staging rows of a format at a size; false for a format no texture uses.
bool vk_format_staging_layout(VkFormat format, uint32_t width, uint32_t height, VulkanStagingLayout* layout,
                              VulkanTextureExtent* alignedSize);

// 0, or -13 (VK_ERROR_UNKNOWN) with a debug message.
VkResult vk_texture_create(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device, VulkanTexture* texture,
                           VkFormat format, VulkanTextureExtent size);
void vk_texture_destroy(QVulkanDeviceFunctions* f, VulkanTexture* texture);
bool vk_texture_valid(const VulkanTexture* texture);

// One-time command buffers from `pool`, which must be used by the calling thread only
// (never the pool the frames are recorded from while a frame may be recording).
VkCommandBuffer vk_begin_one_time_commands(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device,
                                           VkCommandPool pool);
// Ends, submits and waits for the queue to go idle; frees the buffer. False on failure.
bool vk_submit_one_time_commands(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device,
                                 VkCommandPool pool, VkCommandBuffer commands);
// Only undefined -> transfer destination and transfer destination -> shader read.
bool vk_transition_layout(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device, VkCommandPool pool,
                          VkImage image, VkFormat format, VkImageLayout oldLayout, VkImageLayout newLayout);

const char* vk_result_name(VkResult result) noexcept;
