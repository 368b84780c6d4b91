// Samplers, the two default images and the host-visible buffers of the video renderer.
#include <QDebug>
#include <QImage>
#include <QVulkanDeviceFunctions>
#include <QVulkanFunctions>
#include <cstring>

#include "render/vulkan_error.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"

namespace {

// QT_VK_FORCE_STAGE_TEX set to a non-zero integer: the default images go through a
// staging image even where linear images can be sampled. Read once.
bool force_staged_textures() {
    static const bool force = qEnvironmentVariableIntValue("QT_VK_FORCE_STAGE_TEX") != 0;
    return force;
}

}  // namespace

bool VulkanWinRenderer::createSamplers() {
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
    if (functions->vkCreateSampler(device, &info, nullptr, &nearestSampler) != VK_SUCCESS)
        nearestSampler = VK_NULL_HANDLE;
    info.minFilter = info.magFilter = VK_FILTER_LINEAR;
    if (functions->vkCreateSampler(device, &info, nullptr, &linearSampler) != VK_SUCCESS)
        linearSampler = VK_NULL_HANDLE;
    return nearestSampler != VK_NULL_HANDLE && linearSampler != VK_NULL_HANDLE;
}

void VulkanWinRenderer::destroySamplers() {
    if (!functions) return;
    if (nearestSampler) functions->vkDestroySampler(device, nearestSampler, nullptr);
    if (linearSampler) functions->vkDestroySampler(device, linearSampler, nullptr);
    nearestSampler = VK_NULL_HANDLE;
    linearSampler = VK_NULL_HANDLE;
}

void VulkanWinRenderer::writeDefaultImageDescriptors() {
    try {
        if (iconPlayer.view) defaultImageSets.writeImages(0, {&iconPlayer.info});
        if (corruptFrameImage.view) defaultImageSets.writeImages(1, {&corruptFrameImage.info});
    } catch (const std::exception& e) {
        qDebug("Default image descriptors : %s", e.what());
    }
}

bool VulkanWinRenderer::createImage(const QSize& size, VkFormat format, VkImageTiling tiling, VkImageUsageFlags usage,
                                    VkMemoryPropertyFlags memoryKind, VkImage* image, VkDeviceMemory* memory) {
    VkImageCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO;
    info.imageType = VK_IMAGE_TYPE_2D;
    info.format = format;
    info.extent = {uint32_t(size.width()), uint32_t(size.height()), 1};
    info.mipLevels = 1;
    info.arrayLayers = 1;
    info.samples = VK_SAMPLE_COUNT_1_BIT;
    info.tiling = tiling;
    info.usage = usage;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    info.initialLayout = VK_IMAGE_LAYOUT_PREINITIALIZED;
    if (functions->vkCreateImage(device, &info, nullptr, image) != VK_SUCCESS) {
        *image = VK_NULL_HANDLE;
        showVulkanError(QStringLiteral("Image creation failed (54)"));
        return false;
    }
    VkMemoryRequirements requirements{};
    functions->vkGetImageMemoryRequirements(device, *image, &requirements);
    VkPhysicalDeviceMemoryProperties properties{};
    instance->functions()->vkGetPhysicalDeviceMemoryProperties(window->physicalDevice(), &properties);
    const uint32_t preferred = (memoryKind & VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT) ? window->hostVisibleMemoryIndex()
                                                                                    : window->deviceLocalMemoryIndex();
    VkMemoryAllocateInfo alloc{};
    alloc.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
    alloc.allocationSize = requirements.size;
    alloc.memoryTypeIndex = vk_pick_memory_type(properties, preferred, requirements.memoryTypeBits);
    if (functions->vkAllocateMemory(device, &alloc, nullptr, memory) != VK_SUCCESS) {
        *memory = VK_NULL_HANDLE;
        showVulkanError(QStringLiteral("Alloc memory failed (55)"));
        return false;
    }
    if (functions->vkBindImageMemory(device, *image, *memory, 0) != VK_SUCCESS) {
        showVulkanError(QStringLiteral("Bind memory failed (56)"));
        return false;
    }
    return true;
}

bool VulkanWinRenderer::copyImageToMemory(const QImage& image, VkImage target, VkDeviceMemory memory) {
    VkImageSubresource subresource{VK_IMAGE_ASPECT_COLOR_BIT, 0, 0};
    VkSubresourceLayout layout{};
    functions->vkGetImageSubresourceLayout(device, target, &subresource, &layout);
    uint8_t* mapped = nullptr;
    if (functions->vkMapMemory(device, memory, layout.offset, layout.size, 0, reinterpret_cast<void**>(&mapped)) !=
            VK_SUCCESS ||
        !mapped) {
        showVulkanError(QStringLiteral("Memory map failed (57)"));
        return false;
    }
    const size_t rowBytes = size_t(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y)
        memcpy(mapped + size_t(y) * layout.rowPitch, image.constScanLine(y), rowBytes);
    functions->vkUnmapMemory(device, memory);
    return true;
}

bool VulkanWinRenderer::createTextureFromImage(const QString& path, VulkanUiImage* texture, VkSampler sampler) {
    destroyUiImage(texture);
    QImage image(path);
    if (image.isNull()) {
        qWarning("Failed to load image %s", qPrintable(path));
        showVulkanError(QStringLiteral("Failed to load image (51)"));
        return false;
    }
    VkFormat format = VK_FORMAT_B8G8R8A8_UNORM;
    if (image.format() != QImage::Format_ARGB32) {
        image = image.convertToFormat(QImage::Format_RGBA8888);
        format = VK_FORMAT_R8G8B8A8_UNORM;
    }
    texture->size = image.size();
    texture->format = format;

    VkFormatProperties properties{};
    instance->functions()->vkGetPhysicalDeviceFormatProperties(window->physicalDevice(), format, &properties);
    const bool linearOk = (properties.linearTilingFeatures & VK_FORMAT_FEATURE_SAMPLED_IMAGE_BIT) != 0;
    const bool optimalOk = (properties.optimalTilingFeatures & VK_FORMAT_FEATURE_SAMPLED_IMAGE_BIT) != 0;
    if (!linearOk && !optimalOk) {
        qWarning("Neither linear nor optimal image sampling is supported for RGBA8");
        showVulkanError(QStringLiteral("No layout for RGBA8 found (52)"));
        return false;
    }
    const bool staged = optimalOk && (!linearOk || force_staged_textures());
    if (staged) {
        if (!createImage(texture->size, format, VK_IMAGE_TILING_LINEAR, VK_IMAGE_USAGE_TRANSFER_SRC_BIT,
                         VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT, &texture->stagingImage, &texture->stagingMemory) ||
            !createImage(texture->size, format, VK_IMAGE_TILING_OPTIMAL,
                         VK_IMAGE_USAGE_TRANSFER_DST_BIT | VK_IMAGE_USAGE_SAMPLED_BIT,
                         VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT, &texture->image, &texture->memory) ||
            !copyImageToMemory(image, texture->stagingImage, texture->stagingMemory)) {
            destroyUiImage(texture);
            return false;
        }
        texture->stagingPending = true;
    } else {
        if (!createImage(texture->size, format, VK_IMAGE_TILING_LINEAR, VK_IMAGE_USAGE_SAMPLED_BIT,
                         VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT, &texture->image, &texture->memory) ||
            !copyImageToMemory(image, texture->image, texture->memory)) {
            destroyUiImage(texture);
            return false;
        }
        texture->linearPending = true;
    }

    VkImageViewCreateInfo view{};
    view.sType = VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO;
    view.image = texture->image;
    view.viewType = VK_IMAGE_VIEW_TYPE_2D;
    view.format = format;
    view.components = {VK_COMPONENT_SWIZZLE_R, VK_COMPONENT_SWIZZLE_G, VK_COMPONENT_SWIZZLE_B, VK_COMPONENT_SWIZZLE_A};
    view.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
    if (functions->vkCreateImageView(device, &view, nullptr, &texture->view) != VK_SUCCESS) {
        texture->view = VK_NULL_HANDLE;
        showVulkanError(QStringLiteral("Image view creation failed (53)"));
        destroyUiImage(texture);
        return false;
    }
    texture->info = {sampler, texture->view, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
    return true;
}

void VulkanWinRenderer::destroyUiImage(VulkanUiImage* texture) {
    if (functions && device) {
        if (texture->view) functions->vkDestroyImageView(device, texture->view, nullptr);
        if (texture->image) functions->vkDestroyImage(device, texture->image, nullptr);
        if (texture->memory) functions->vkFreeMemory(device, texture->memory, nullptr);
        if (texture->stagingImage) functions->vkDestroyImage(device, texture->stagingImage, nullptr);
        if (texture->stagingMemory) functions->vkFreeMemory(device, texture->stagingMemory, nullptr);
    }
    *texture = VulkanUiImage{};
}

VkResult VulkanWinRenderer::createVertexBuffer(VulkanHostBuffer* buffer, VkDeviceSize alignment, VkDeviceSize size) {
    if (size == 0) {
        qDebug("Buffer creation failed : Can't create vertex buf zero");
        return VK_ERROR_UNKNOWN;
    }
    if (buffer->buffer && size <= buffer->capacity) return VK_SUCCESS;
    destroyHostBuffer(buffer);
    const VkDeviceSize align = std::max<VkDeviceSize>(1, alignment);
    const VkDeviceSize capacity = (size + align - 1) / align * align;

    VkBufferCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO;
    info.size = capacity;
    info.usage = VK_BUFFER_USAGE_VERTEX_BUFFER_BIT;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    VkResult err = functions->vkCreateBuffer(device, &info, nullptr, &buffer->buffer);
    if (err != VK_SUCCESS) {
        buffer->buffer = VK_NULL_HANDLE;
        qDebug("Buffer creation failed (13)");
        return err;
    }
    VkMemoryRequirements requirements{};
    functions->vkGetBufferMemoryRequirements(device, buffer->buffer, &requirements);
    VkMemoryAllocateInfo alloc{};
    alloc.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
    alloc.allocationSize = requirements.size;
    alloc.memoryTypeIndex = vk_find_memory_type(window, requirements);
    err = functions->vkAllocateMemory(device, &alloc, nullptr, &buffer->memory);
    if (err != VK_SUCCESS) {
        buffer->memory = VK_NULL_HANDLE;
        qDebug("Failed to allocate memory: %s", vk_result_name(err));
        destroyHostBuffer(buffer);
        return err;
    }
    err = functions->vkBindBufferMemory(device, buffer->buffer, buffer->memory, 0);
    if (err != VK_SUCCESS) {
        qDebug("Memory bind failed (15)");
        destroyHostBuffer(buffer);
        return err;
    }
    buffer->size = size;
    buffer->capacity = capacity;
    return VK_SUCCESS;
}

VkResult VulkanWinRenderer::copyToMappedBuffer(VulkanHostBuffer* buffer, const void* data, VkDeviceSize bytes) {
    if (bytes == 0) {
        qDebug("Can't copy 0 bytes");
        return VK_ERROR_UNKNOWN;
    }
    VkResult err = createVertexBuffer(buffer, minUniformBufferOffsetAlignment, bytes);
    if (err != VK_SUCCESS) return err;
    void* mapped = nullptr;
    err = functions->vkMapMemory(device, buffer->memory, 0, bytes, 0, &mapped);
    if (err != VK_SUCCESS || !mapped) {
        qDebug("Memory map failed (40)");
        return err != VK_SUCCESS ? err : VK_ERROR_UNKNOWN;
    }
    memcpy(mapped, data, size_t(bytes));
    functions->vkUnmapMemory(device, buffer->memory);
    return VK_SUCCESS;
}

void VulkanWinRenderer::destroyHostBuffer(VulkanHostBuffer* buffer) {
    if (functions && device) {
        if (buffer->buffer) functions->vkDestroyBuffer(device, buffer->buffer, nullptr);
        if (buffer->memory) functions->vkFreeMemory(device, buffer->memory, nullptr);
    }
    *buffer = VulkanHostBuffer{};
}

void VulkanWinRenderer::recreateVertexBuffer() {
    createVertexBuffer(&vertexBuffer, minUniformBufferOffsetAlignment,
                       VkDeviceSize(vertexCapacityCount) * kCanvasVertexBytes);
}
