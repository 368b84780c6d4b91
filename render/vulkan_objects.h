#pragma once
// The plain Vulkan objects every renderer, texture and test builds on: buffers and 2D
// images with memory of their own, the one memory-type choice all of them go through,
// image views and the renderer's two samplers.
//
// Any thread may call these for a device it uses; the caller owns what they create
// and destroys it with the device functions. Errors come back as values, with no
// message (callers word their own): on failure nothing created is left and the
// output handles are null.
#include <QVulkanInstance>
#include <cstdint>

class QVulkanWindow;
class QVulkanDeviceFunctions;

// Where the memory of a buffer or image lives: mapped by the host, or the GPU's own.
enum class VulkanMemoryKind { HostVisible, DeviceLocal };

// The step of a buffer or image creation that failed.
enum class VulkanCreateStep { None, Create, Allocate, Bind };

struct VulkanCreateResult {
    VkResult result = VK_SUCCESS;
    VulkanCreateStep failedStep = VulkanCreateStep::None;
    bool ok() const { return failedStep == VulkanCreateStep::None; }
};

// The preferred index when the requirement bits allow it, else the highest allowed
// index of the table, else the preferred index all the same.
uint32_t vk_pick_memory_type(const VkPhysicalDeviceMemoryProperties& properties, uint32_t preferredIndex,
                             uint32_t requirementBits);

// An exclusive buffer of `size` bytes with fresh memory of `kind`, bound at offset 0.
VulkanCreateResult vk_create_buffer(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device,
                                    VkDeviceSize size, VkBufferUsageFlags usage, VulkanMemoryKind kind,
                                    VkBuffer* buffer, VkDeviceMemory* memory);

struct VulkanImageDesc {
    uint32_t width = 0;
    uint32_t height = 0;
    VkFormat format = VK_FORMAT_UNDEFINED;
    VkImageTiling tiling = VK_IMAGE_TILING_OPTIMAL;
    VkImageUsageFlags usage = 0;
    VkImageLayout initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
};

// An exclusive single-sample 2D image (one level, one layer) with fresh memory of
// `kind`, bound at offset 0.
VulkanCreateResult vk_create_image(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device,
                                   const VulkanImageDesc& desc, VulkanMemoryKind kind, VkImage* image,
                                   VkDeviceMemory* memory);

// A 2D colour view of the whole image with identity swizzle.
VkResult vk_create_image_view(QVulkanDeviceFunctions* f, VkDevice device, VkImage image, VkFormat format,
                              VkImageView* view);

// Nearest and linear samplers, clamp to edge, no mipmaps. Each is tried even when the
// other fails (a failed one stays null); true when both exist.
bool vk_create_samplers(QVulkanDeviceFunctions* f, VkDevice device, VkSampler* nearest, VkSampler* linear);
