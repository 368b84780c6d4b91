#include "render/vulkan_objects.h"

#include <QVulkanDeviceFunctions>
#include <QVulkanFunctions>
#include <QVulkanWindow>
#include <algorithm>

namespace {

VulkanCreateResult failed(VulkanCreateStep step, VkResult result) {
    return {result == VK_SUCCESS ? VK_ERROR_UNKNOWN : result, step};
}

// Allocates memory of `kind` for the requirements and binds it through `bind`; on
// failure no memory is left.
template <typename Bind>
VulkanCreateResult allocate_and_bind(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device,
                                     const VkMemoryRequirements& requirements, VulkanMemoryKind kind,
                                     VkDeviceMemory* memory, Bind bind) {
    VkPhysicalDeviceMemoryProperties properties{};
    window->vulkanInstance()->functions()->vkGetPhysicalDeviceMemoryProperties(window->physicalDevice(), &properties);
    const uint32_t preferred = kind == VulkanMemoryKind::HostVisible ? window->hostVisibleMemoryIndex()
                                                                     : window->deviceLocalMemoryIndex();
    VkMemoryAllocateInfo alloc{};
    alloc.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
    alloc.allocationSize = requirements.size;
    alloc.memoryTypeIndex = vk_pick_memory_type(properties, preferred, requirements.memoryTypeBits);
    VkResult err = f->vkAllocateMemory(device, &alloc, nullptr, memory);
    if (err != VK_SUCCESS) {
        *memory = VK_NULL_HANDLE;
        return failed(VulkanCreateStep::Allocate, err);
    }
    err = bind(*memory);
    if (err != VK_SUCCESS) {
        f->vkFreeMemory(device, *memory, nullptr);
        *memory = VK_NULL_HANDLE;
        return failed(VulkanCreateStep::Bind, err);
    }
    return {};
}

}  // namespace

uint32_t vk_pick_memory_type(const VkPhysicalDeviceMemoryProperties& properties, uint32_t preferredIndex,
                             uint32_t requirementBits) {
    if (preferredIndex < 32 && (requirementBits & (1u << preferredIndex))) return preferredIndex;
    const uint32_t count = std::min<uint32_t>(properties.memoryTypeCount, VK_MAX_MEMORY_TYPES);
    for (uint32_t i = count; i-- > 0;)
        if (requirementBits & (1u << i)) return i;
    return preferredIndex;
}

VulkanCreateResult vk_create_buffer(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device,
                                    VkDeviceSize size, VkBufferUsageFlags usage, VulkanMemoryKind kind,
                                    VkBuffer* buffer, VkDeviceMemory* memory) {
    *memory = VK_NULL_HANDLE;
    VkBufferCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO;
    info.size = size;
    info.usage = usage;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    const VkResult err = f->vkCreateBuffer(device, &info, nullptr, buffer);
    if (err != VK_SUCCESS) {
        *buffer = VK_NULL_HANDLE;
        return failed(VulkanCreateStep::Create, err);
    }
    VkMemoryRequirements requirements{};
    f->vkGetBufferMemoryRequirements(device, *buffer, &requirements);
    const VulkanCreateResult result = allocate_and_bind(
        window, f, device, requirements, kind, memory,
        [&](VkDeviceMemory m) { return f->vkBindBufferMemory(device, *buffer, m, 0); });
    if (!result.ok()) {
        f->vkDestroyBuffer(device, *buffer, nullptr);
        *buffer = VK_NULL_HANDLE;
    }
    return result;
}

VulkanCreateResult vk_create_image(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device,
                                   const VulkanImageDesc& desc, VulkanMemoryKind kind, VkImage* image,
                                   VkDeviceMemory* memory) {
    *memory = VK_NULL_HANDLE;
    VkImageCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO;
    info.imageType = VK_IMAGE_TYPE_2D;
    info.format = desc.format;
    info.extent = {desc.width, desc.height, 1};
    info.mipLevels = 1;
    info.arrayLayers = 1;
    info.samples = VK_SAMPLE_COUNT_1_BIT;
    info.tiling = desc.tiling;
    info.usage = desc.usage;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    info.initialLayout = desc.initialLayout;
    const VkResult err = f->vkCreateImage(device, &info, nullptr, image);
    if (err != VK_SUCCESS) {
        *image = VK_NULL_HANDLE;
        return failed(VulkanCreateStep::Create, err);
    }
    VkMemoryRequirements requirements{};
    f->vkGetImageMemoryRequirements(device, *image, &requirements);
    const VulkanCreateResult result =
        allocate_and_bind(window, f, device, requirements, kind, memory,
                          [&](VkDeviceMemory m) { return f->vkBindImageMemory(device, *image, m, 0); });
    if (!result.ok()) {
        f->vkDestroyImage(device, *image, nullptr);
        *image = VK_NULL_HANDLE;
    }
    return result;
}

VkResult vk_create_image_view(QVulkanDeviceFunctions* f, VkDevice device, VkImage image, VkFormat format,
                              VkImageView* view) {
    VkImageViewCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO;
    info.image = image;
    info.viewType = VK_IMAGE_VIEW_TYPE_2D;
    info.format = format;
    info.components = {VK_COMPONENT_SWIZZLE_R, VK_COMPONENT_SWIZZLE_G, VK_COMPONENT_SWIZZLE_B, VK_COMPONENT_SWIZZLE_A};
    info.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
    const VkResult err = f->vkCreateImageView(device, &info, nullptr, view);
    if (err != VK_SUCCESS) *view = VK_NULL_HANDLE;
    return err;
}

bool vk_create_samplers(QVulkanDeviceFunctions* f, VkDevice device, VkSampler* nearest, VkSampler* linear) {
    VkSamplerCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO;
    info.mipmapMode = VK_SAMPLER_MIPMAP_MODE_NEAREST;
    info.addressModeU = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
    info.addressModeV = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
    info.addressModeW = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
    info.maxAnisotropy = 1.0f;
    info.minLod = 0.0f;
    info.maxLod = 0.0f;
    info.minFilter = info.magFilter = VK_FILTER_NEAREST;
    if (f->vkCreateSampler(device, &info, nullptr, nearest) != VK_SUCCESS) *nearest = VK_NULL_HANDLE;
    info.minFilter = info.magFilter = VK_FILTER_LINEAR;
    if (f->vkCreateSampler(device, &info, nullptr, linear) != VK_SUCCESS) *linear = VK_NULL_HANDLE;
    return *nearest != VK_NULL_HANDLE && *linear != VK_NULL_HANDLE;
}
