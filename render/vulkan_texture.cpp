#include "render/vulkan_texture.h"

#include <QDebug>
#include <QVulkanDeviceFunctions>
#include <QVulkanFunctions>
#include <QVulkanWindow>

namespace {

uint64_t round_up(uint64_t value, uint64_t step) { return (value + step - 1) / step * step; }

VkResult fail_texture(const char* message) {
    qDebug("%s", message);
    return VK_ERROR_UNKNOWN;
}

}  // namespace

bool vk_format_staging_layout(VkFormat format, uint32_t width, uint32_t height, VulkanStagingLayout* layout,
                              VulkanTextureExtent* alignedSize) {
    uint64_t pitch = 0;
    uint64_t rows = height;
    uint64_t alignedWidth = round_up(width, 4);
    uint64_t alignedHeight = round_up(height, 4);
    switch (format) {
        case VK_FORMAT_R8G8B8A8_UNORM:
        case VK_FORMAT_B8G8R8A8_UNORM: pitch = uint64_t(width) * 4; break;
        case VK_FORMAT_R32G32B32A32_SFLOAT: pitch = uint64_t(width) * 16; break;
        case VK_FORMAT_R16G16B16A16_UNORM: pitch = uint64_t(width) * 8; break;
        case VK_FORMAT_R8_UNORM: pitch = width; break;
        case VK_FORMAT_R16_UNORM: pitch = uint64_t(width) * 2; break;
        case VK_FORMAT_BC1_RGB_UNORM_BLOCK:
        case VK_FORMAT_BC4_UNORM_BLOCK:
            pitch = alignedWidth / 4 * 8;
            rows = alignedHeight / 4;
            break;
        case VK_FORMAT_BC3_UNORM_BLOCK:
        case VK_FORMAT_BC7_UNORM_BLOCK:
            pitch = alignedWidth / 4 * 16;
            rows = alignedHeight / 4;
            break;
        case VK_FORMAT_G8B8G8R8_422_UNORM:
        case VK_FORMAT_B8G8R8G8_422_UNORM:
            alignedWidth = round_up(width, 2);
            alignedHeight = round_up(height, 2);
            pitch = alignedWidth * 2;
            rows = alignedHeight;
            break;
        default: return false;
    }
    if (pitch > UINT32_MAX || rows > UINT32_MAX || alignedWidth > UINT32_MAX || alignedHeight > UINT32_MAX)
        return false;
    *layout = {uint32_t(pitch), uint32_t(rows)};
    *alignedSize = {uint32_t(alignedWidth), uint32_t(alignedHeight)};
    return true;
}

VkResult vk_texture_create(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device, VulkanTexture* texture,
                           VkFormat format, VulkanTextureExtent size) {
    if (!device) return fail_texture("No device NULL");
    vk_texture_destroy(f, texture);
    texture->device = device;

    VulkanStagingLayout staging;
    VulkanTextureExtent aligned;
    if (!vk_format_staging_layout(format, size.width, size.height, &staging, &aligned)) {
        qDebug("Unknown tex format (7) : %d", int(format));
        return VK_ERROR_UNKNOWN;
    }
    // An empty image is invalid usage; no tile is ever empty, but a caller's mistake
    // must not reach the driver.
    if (size.width == 0 || size.height == 0) return fail_texture("Invalid texture size (7)");
    texture->format = format;
    texture->stagingLayout = staging;
    texture->stagingSize = uint64_t(staging.rowPitch) * staging.rows;
    texture->alignedSize = aligned;
    texture->size = size;

    const VulkanCreateResult staged =
        vk_create_buffer(window, f, device, texture->stagingSize, VK_BUFFER_USAGE_TRANSFER_SRC_BIT,
                         VulkanMemoryKind::HostVisible, &texture->stagingBuffer, &texture->stagingMemory);
    if (!staged.ok()) {
        qDebug(staged.failedStep == VulkanCreateStep::Create ? "Buffer creation failed (1)" : "Buffer alloc failed (2)");
        return fail_texture("Fail to create buffer");
    }

    const VulkanImageDesc desc{size.width, size.height, format, VK_IMAGE_TILING_OPTIMAL,
                               VK_IMAGE_USAGE_TRANSFER_DST_BIT | VK_IMAGE_USAGE_SAMPLED_BIT};
    const VulkanCreateResult image =
        vk_create_image(window, f, device, desc, VulkanMemoryKind::DeviceLocal, &texture->image, &texture->imageMemory);
    if (!image.ok()) {
        if (image.failedStep == VulkanCreateStep::Create)
            qDebug("Image creation failed (3)");
        else
            qDebug("Image alloc failed (4) : %s", vk_result_name(image.result));
        return fail_texture("Fail to create buffer");
    }

    if (vk_create_image_view(f, device, texture->image, format, &texture->view) != VK_SUCCESS)
        return fail_texture("Image view creation failed (8)");
    if (texture->view == VK_NULL_HANDLE) return fail_texture("NULL tex view (8)");
    return VK_SUCCESS;
}

void vk_texture_destroy(QVulkanDeviceFunctions* f, VulkanTexture* texture) {
    const VkDevice device = texture->device;
    if (device) {
        if (texture->stagingBuffer) f->vkDestroyBuffer(device, texture->stagingBuffer, nullptr);
        if (texture->stagingMemory) f->vkFreeMemory(device, texture->stagingMemory, nullptr);
        if (texture->image) f->vkDestroyImage(device, texture->image, nullptr);
        if (texture->view) f->vkDestroyImageView(device, texture->view, nullptr);
        if (texture->imageMemory) f->vkFreeMemory(device, texture->imageMemory, nullptr);
    }
    *texture = VulkanTexture{};
}

bool vk_texture_valid(const VulkanTexture* texture) {
    return texture && texture->stagingBuffer && texture->stagingMemory && texture->image && texture->imageMemory &&
           texture->view && texture->size.width > 0 && texture->size.height > 0;
}

VkCommandBuffer vk_begin_one_time_commands(QVulkanWindow*, QVulkanDeviceFunctions* f, VkDevice device,
                                           VkCommandPool pool) {
    VkCommandBufferAllocateInfo alloc{};
    alloc.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO;
    alloc.commandPool = pool;
    alloc.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
    alloc.commandBufferCount = 1;
    VkCommandBuffer commands = VK_NULL_HANDLE;
    if (f->vkAllocateCommandBuffers(device, &alloc, &commands) != VK_SUCCESS) {
        qDebug("Command buffer allocation failed");
        return VK_NULL_HANDLE;
    }
    VkCommandBufferBeginInfo begin{};
    begin.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO;
    begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
    if (f->vkBeginCommandBuffer(commands, &begin) != VK_SUCCESS) {
        qDebug("Command buffer begin failed");
        f->vkFreeCommandBuffers(device, pool, 1, &commands);
        return VK_NULL_HANDLE;
    }
    return commands;
}

bool vk_submit_one_time_commands(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device,
                                 VkCommandPool pool, VkCommandBuffer commands) {
    if (!commands) return false;
    bool ok = f->vkEndCommandBuffer(commands) == VK_SUCCESS;
    if (ok) {
        VkSubmitInfo submit{};
        submit.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO;
        submit.commandBufferCount = 1;
        submit.pCommandBuffers = &commands;
        VkResult err = f->vkQueueSubmit(window->graphicsQueue(), 1, &submit, VK_NULL_HANDLE);
        if (err == VK_SUCCESS) err = f->vkQueueWaitIdle(window->graphicsQueue());
        if (err != VK_SUCCESS) {
            qDebug("One time commands failed : %s", vk_result_name(err));
            ok = false;
        }
    }
    f->vkFreeCommandBuffers(device, pool, 1, &commands);
    return ok;
}

bool vk_transition_layout(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkDevice device, VkCommandPool pool,
                          VkImage image, VkFormat, VkImageLayout oldLayout, VkImageLayout newLayout) {
    VkImageMemoryBarrier barrier{};
    barrier.sType = VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER;
    barrier.oldLayout = oldLayout;
    barrier.newLayout = newLayout;
    barrier.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.image = image;
    barrier.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
    VkPipelineStageFlags sourceStage = 0;
    VkPipelineStageFlags destinationStage = 0;
    if (oldLayout == VK_IMAGE_LAYOUT_UNDEFINED && newLayout == VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL) {
        barrier.srcAccessMask = 0;
        barrier.dstAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
        sourceStage = VK_PIPELINE_STAGE_TOP_OF_PIPE_BIT;
        destinationStage = VK_PIPELINE_STAGE_TRANSFER_BIT;
    } else if (oldLayout == VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL &&
               newLayout == VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL) {
        barrier.srcAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
        barrier.dstAccessMask = VK_ACCESS_SHADER_READ_BIT;
        sourceStage = VK_PIPELINE_STAGE_TRANSFER_BIT;
        destinationStage = VK_PIPELINE_STAGE_FRAGMENT_SHADER_BIT;
    } else {
        qDebug("Layout transition unknown (5)");
        return false;
    }
    VkCommandBuffer commands = vk_begin_one_time_commands(window, f, device, pool);
    if (!commands) return false;
    f->vkCmdPipelineBarrier(commands, sourceStage, destinationStage, 0, 0, nullptr, 0, nullptr, 1, &barrier);
    return vk_submit_one_time_commands(window, f, device, pool, commands);
}

const char* vk_result_name(VkResult result) noexcept {
    switch (int(result)) {
        case -13: return "VK_ERROR_UNKNOWN";
        case -12: return "VK_ERROR_FRAGMENTED_POOL";
        case -11: return "VK_ERROR_FORMAT_NOT_SUPPORTED";
        case -10: return "VK_ERROR_TOO_MANY_OBJECTS";
        case -9: return "VK_ERROR_INCOMPATIBLE_DRIVER";
        case -8: return "VK_ERROR_FEATURE_NOT_PRESENT";
        case -7: return "VK_ERROR_EXTENSION_NOT_PRESENT";
        case -6: return "VK_ERROR_LAYER_NOT_PRESENT";
        case -5: return "VK_ERROR_MEMORY_MAP_FAILED";
        case -4: return "VK_ERROR_DEVICE_LOST";
        case -3: return "VK_ERROR_INITIALIZATION_FAILED";
        case -2: return "VK_ERROR_OUT_OF_DEVICE_MEMORY";
        case -1: return "VK_ERROR_OUT_OF_HOST_MEMORY";
        case 1: return "VK_NOT_READY";
        case 2: return "VK_TIMEOUT";
        case 3: return "VK_EVENT_SET";
        case 4: return "VK_EVENT_RESET";
        case 5: return "VK_INCOMPLETE";
        default: return "Unknown error";
    }
}
