#include "render/vulkan_texture_set.h"

#include <QDebug>
#include <QMutexLocker>
#include <QVulkanDeviceFunctions>
#include <QVulkanWindow>
#include <cstring>
#include <new>
#include <stdexcept>

#include "media/video_frame.h"
#include "render/video_frame_plane_address.h"

VulkanTextureSet::VulkanTextureSet(QVulkanInstance* newInstance, QVulkanWindow* newWindow,
                                   QVulkanDeviceFunctions* newFunctions, VkDevice newDevice)
    : instance(newInstance), device(newDevice), window(newWindow), functions(newFunctions) {
    if (!window || !functions || !device) return;
    VkCommandPoolCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO;
    info.flags = VK_COMMAND_POOL_CREATE_TRANSIENT_BIT;
    info.queueFamilyIndex = window->graphicsQueueFamilyIndex();
    if (functions->vkCreateCommandPool(device, &info, nullptr, &uploadPool) != VK_SUCCESS) {
        uploadPool = VK_NULL_HANDLE;
        qDebug("Upload command pool creation failed");
    }
}

VulkanTextureSet::~VulkanTextureSet() {
    QMutexLocker lock(&mutex);
    layout.freeTiles();
    destroyTexturesLocked();
    if (uploadPool != VK_NULL_HANDLE) functions->vkDestroyCommandPool(device, uploadPool, nullptr);
}

void VulkanTextureSet::setSamplers(const VkSampler* nearest, const VkSampler* linear) {
    QMutexLocker lock(&mutex);
    nearestSampler = nearest;
    linearSampler = linear;
}

void VulkanTextureSet::alloc(const VideoTileLayout& newLayout) {
    QMutexLocker lock(&mutex);
    // Textures are kept only when they exist: a failed allocation is tried again.
    if (textureCount > 0 && newLayout.count == layout.count && newLayout.sameParameters(layout)) return;

    layout.copyFrom(newLayout);
    destroyTexturesLocked();
    if (layout.count == 0) {
        qDebug("WARNING : No tiles");
        return;
    }
    planesPerTile = layout.tiles[0].planeCount;
    const uint64_t count = uint64_t(planesPerTile) * layout.count;
    if (count == 0) {
        qDebug("No textures");
        return;
    }
    textures.reset(new (std::nothrow) VulkanTexture[count]);
    if (!textures) {
        qDebug("Fail to alloc array");
        planesPerTile = 0;
        return;
    }
    textureCount = uint32_t(count);

    const bool samplers = nearestSampler && linearSampler && *nearestSampler && *linearSampler;
    uint32_t index = 0;
    for (uint32_t t = 0; t < layout.count; ++t) {
        const VideoTile& tile = layout.tiles[t];
        for (uint32_t p = 0; p < planesPerTile; ++p) {
            VulkanTexture& texture = textures[index++];
            const VkFormat format = VkFormat(video_texture_kind_format(tile.planeKind[p]));
            const VulkanTextureExtent size{tile.planeSize[p].width, tile.planeSize[p].height};
            if (vk_texture_create(window, functions, device, &texture, format, size) != VK_SUCCESS) {
                qDebug("Fail to allocate texture");
                destroyTexturesLocked();
                return;
            }
            if (samplers) {
                texture.infoNearest = {*nearestSampler, texture.view, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
                texture.infoLinear = {*linearSampler, texture.view, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
            } else {
                qDebug("Unset sampler");
            }
        }
    }
}

bool VulkanTextureSet::frameMatchesLayout(const VideoFrame* frame) const {
    if (frame->width != layout.frameWidth || frame->height != layout.frameHeight) return false;
    if (frame->is_pixel) return frame->pixel_format == layout.pixelFormat;
    return layout.pixelFormat == 39 && frame->data_format == layout.dataFormat;
}

void VulkanTextureSet::upload(const VideoFrame* frame) {
    QMutexLocker lock(&mutex);
    if (!frame) {
        qDebug("ERROR : can't copy from null frame");
        return;
    }
    uploaded = false;
    stagedComplete = false;
    // The copy reads whole tile rows from the frame: a frame of another geometry or
    // format than the textures were made for would be read out of bounds.
    if (!frameMatchesLayout(frame)) {
        qDebug("ERROR : frame does not match the texture layout (%ux%u, data %u, pixel %u)", frame->width,
               frame->height, frame->data_format, frame->pixel_format);
        return;
    }

    bool complete = textureCount > 0;
    for (uint32_t p = 0; p < planesPerTile; ++p) {
        if (p >= 4 || !frame->planes[p] || frame->line_sizes[p] == 0) {
            qDebug("ERROR : can't copy from null plane : %d", int(p));
            complete = false;
            continue;
        }
        const uint64_t line = frame->line_sizes[p];
        for (uint32_t t = 0; t < layout.count; ++t) {
            const VideoTile& tile = layout.tiles[t];
            const uint64_t i = uint64_t(t) * planesPerTile + p;
            uint64_t offset = 0;
            try {
                offset = video_frame_plane_offset(frame, tile.planeOffset[p].x, tile.planeOffset[p].y, p);
            } catch (const std::exception&) {
                qDebug("Fail to get tile data for plane : %u", p);
                complete = false;
                continue;
            }
            if (i >= textureCount) {
                qDebug("Invalid tex index : %lu (Max : %lu)", (unsigned long)i, (unsigned long)textureCount);
                complete = false;
                continue;
            }
            VulkanTexture& texture = textures[i];
            const uint64_t pitch = texture.stagingLayout.rowPitch;
            const uint64_t rows = texture.stagingLayout.rows;
            if (rows * pitch > texture.stagingSize) {
                qDebug("Invalid plane dim (size x : %d ; Height : %d  (sizexh : %d): staging buffer size : %d)",
                       int(pitch), int(rows), int(pitch * rows), int(texture.stagingSize));
                complete = false;
                continue;
            }
            const uint64_t needed = rows == 0 ? 0 : offset + (rows - 1) * line + pitch;
            if (pitch > line || needed > frame->sizes[p]) {
                qDebug("Invalid plane size for tile : %u ; plane : %u (needs %llu bytes, has %u)", t, p,
                       (unsigned long long)needed, frame->sizes[p]);
                complete = false;
                continue;
            }
            void* mapped = nullptr;
            const VkResult err =
                functions->vkMapMemory(device, texture.stagingMemory, 0, texture.stagingSize, 0, &mapped);
            if (err != VK_SUCCESS || !mapped) {
                qDebug("Memory map failed (tex) : %s", vk_result_name(err));
                complete = false;
                continue;
            }
            const uint8_t* source = frame->planes[p] + offset;
            auto* destination = static_cast<uint8_t*>(mapped);
            if (pitch == line) {
                memcpy(destination, source, size_t(rows * line));
            } else {
                for (uint64_t r = 0; r < rows; ++r) memcpy(destination + r * pitch, source + r * line, size_t(pitch));
            }
            functions->vkUnmapMemory(device, texture.stagingMemory);
        }
    }
    heldWidth = frame->width;
    heldHeight = frame->height;
    if (frame->is_pixel == 1) {
        heldPixelFormat = frame->pixel_format;
        heldDataFormat = 19;
    } else {
        heldPixelFormat = 39;
        heldDataFormat = frame->data_format;
    }
    stagedComplete = complete;
    stagedFrameNumber = frame->frame_number;
}

void VulkanTextureSet::recordUpload() {
    QMutexLocker lock(&mutex);
    if (uploaded) return;
    if (uploadPool == VK_NULL_HANDLE) {
        qDebug("No upload command pool");
        return;
    }
    // Frames submitted earlier may still sample these images: let them finish before
    // the images are overwritten.
    if (textureCount > 0) functions->vkQueueWaitIdle(window->graphicsQueue());

    bool ok = true;
    for (uint32_t i = 0; i < textureCount; ++i) {
        VulkanTexture& texture = textures[i];
        if (!vk_texture_valid(&texture)) {
            ok = false;
            continue;
        }
        if (!vk_transition_layout(window, functions, device, uploadPool, texture.image, texture.format,
                                  VK_IMAGE_LAYOUT_UNDEFINED, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL)) {
            ok = false;
            continue;
        }
        VkCommandBuffer commands = vk_begin_one_time_commands(window, functions, device, uploadPool);
        if (commands) {
            VkBufferImageCopy region{};
            region.bufferOffset = 0;
            region.bufferRowLength = 0;
            region.bufferImageHeight = 0;
            region.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
            region.imageOffset = {0, 0, 0};
            region.imageExtent = {texture.size.width, texture.size.height, 1};
            functions->vkCmdCopyBufferToImage(commands, texture.stagingBuffer, texture.image,
                                              VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 1, &region);
            if (!vk_submit_one_time_commands(window, functions, device, uploadPool, commands)) ok = false;
        } else {
            ok = false;
        }
        if (!vk_transition_layout(window, functions, device, uploadPool, texture.image, texture.format,
                                  VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL))
            ok = false;
    }
    uploaded = true;
    heldFrameNumber = (ok && stagedComplete) ? stagedFrameNumber : UINT32_MAX;
}

int VulkanTextureSet::needsUpload(const VideoFrame* frame) {
    QMutexLocker lock(&mutex);
    if (!frame) return 0;
    if (frame->frame_number != heldFrameNumber || frame->width != heldWidth || frame->height != heldHeight) return 1;
    if (frame->is_pixel == 1) return frame->pixel_format == heldPixelFormat ? 0 : 1;
    return frame->data_format == heldDataFormat ? 0 : 1;
}

void VulkanTextureSet::resetHeldFrame() {
    QMutexLocker lock(&mutex);
    heldFrameNumber = UINT32_MAX;
}

uint32_t VulkanTextureSet::tileCount() {
    QMutexLocker lock(&mutex);
    return layout.count;
}

const VkDescriptorImageInfo* VulkanTextureSet::imageInfo(uint32_t tile, uint32_t plane, bool linear) {
    QMutexLocker lock(&mutex);
    if (plane >= planesPerTile) {
        qDebug("Invalid index plane : %d ; Planes count : %lu", int(plane), (unsigned long)planesPerTile);
        return nullptr;
    }
    const uint64_t index = uint64_t(tile) * planesPerTile + plane;
    if (index >= textureCount) {
        qDebug("Invalid index tex : %u (tile : %u ; Plane : %u)", unsigned(index), tile, plane);
        return nullptr;
    }
    VulkanTexture& texture = textures[index];
    if (!vk_texture_valid(&texture)) {
        qDebug("Invalid texture : %u (tile : %u ; Plane : %u)", unsigned(index), tile, plane);
        return nullptr;
    }
    return linear ? &texture.infoLinear : &texture.infoNearest;
}

const VkDescriptorImageInfo* VulkanTextureSet::imageInfoNearest(uint32_t tile, uint32_t plane) {
    return imageInfo(tile, plane, false);
}

const VkDescriptorImageInfo* VulkanTextureSet::imageInfoLinear(uint32_t tile, uint32_t plane) {
    return imageInfo(tile, plane, true);
}

void VulkanTextureSet::destroyTextures() {
    QMutexLocker lock(&mutex);
    destroyTexturesLocked();
}

void VulkanTextureSet::destroyTexturesLocked() {
    planesPerTile = 0;
    if (textures) {
        for (uint32_t i = 0; i < textureCount; ++i)
            if (textures[i].device) vk_texture_destroy(functions, &textures[i]);
    }
    textures.reset();
    textureCount = 0;
    // New images hold nothing: whatever frame was held must be uploaded again.
    heldFrameNumber = UINT32_MAX;
}

uint32_t VulkanTextureSet::planesPerTileCount() {
    QMutexLocker lock(&mutex);
    return planesPerTile;
}

uint32_t VulkanTextureSet::textureCountValue() {
    QMutexLocker lock(&mutex);
    return textureCount;
}

bool VulkanTextureSet::isUploaded() {
    QMutexLocker lock(&mutex);
    return uploaded;
}

VulkanTexture VulkanTextureSet::textureAt(uint32_t index) {
    QMutexLocker lock(&mutex);
    return index < textureCount ? textures[index] : VulkanTexture{};
}
