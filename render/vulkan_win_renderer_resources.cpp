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
    return vk_create_samplers(functions, device, &nearestSampler, &linearSampler);
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
    const VulkanImageDesc desc{uint32_t(size.width()), uint32_t(size.height()), format, tiling, usage,
                               VK_IMAGE_LAYOUT_PREINITIALIZED};
    const VulkanMemoryKind kind = (memoryKind & VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT) ? VulkanMemoryKind::HostVisible
                                                                                     : VulkanMemoryKind::DeviceLocal;
    const VulkanCreateResult result = vk_create_image(window, functions, device, desc, kind, image, memory);
    switch (result.failedStep) {
        case VulkanCreateStep::None: return true;
        case VulkanCreateStep::Create: showVulkanError(QStringLiteral("Image creation failed (54)")); break;
        case VulkanCreateStep::Allocate: showVulkanError(QStringLiteral("Alloc memory failed (55)")); break;
        case VulkanCreateStep::Bind: showVulkanError(QStringLiteral("Bind memory failed (56)")); break;
    }
    return false;
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

    if (vk_create_image_view(functions, device, texture->image, format, &texture->view) != VK_SUCCESS) {
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

    const VulkanCreateResult result =
        vk_create_buffer(window, functions, device, capacity, VK_BUFFER_USAGE_VERTEX_BUFFER_BIT,
                         VulkanMemoryKind::HostVisible, &buffer->buffer, &buffer->memory);
    switch (result.failedStep) {
        case VulkanCreateStep::None: break;
        case VulkanCreateStep::Create: qDebug("Buffer creation failed (13)"); return result.result;
        case VulkanCreateStep::Allocate:
            qDebug("Failed to allocate memory: %s", vk_result_name(result.result));
            return result.result;
        case VulkanCreateStep::Bind: qDebug("Memory bind failed (15)"); return result.result;
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
