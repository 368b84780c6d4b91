// Background under the picture, guide lines over it, and the two overlay images the
// main window paints (error box, information column).
#include <QDebug>
#include <QMutexLocker>
#include <QVulkanDeviceFunctions>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "render/vulkan_error.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"

void VulkanWinRenderer::drawBackground(VkCommandBuffer commands) {
    const CanvasDrawInfo entry = vertexData.drawInfo[CanvasDraw_Background];
    if (!entry.isSet()) {
        qDebug("Unset draw info quad bg");
        return;
    }
    const uint32_t mode = canvas->backgroundMode;
    QString name;
    switch (mode) {
    case BaseGpu2dCanvas_BackgroundMode_Black: name = QStringLiteral("ui_fill_black_opaque"); break;
    case BaseGpu2dCanvas_BackgroundMode_White: name = QStringLiteral("ui_fill_white_opaque"); break;
    case BaseGpu2dCanvas_BackgroundMode_Checkerboard: name = QStringLiteral("bg_checkerboard"); break;
    case BaseGpu2dCanvas_BackgroundMode_CustomColor: name = QStringLiteral("ui_fill_color"); break;
    case BaseGpu2dCanvas_BackgroundMode_CustomCheckerboard: name = QStringLiteral("bg_custom_checkerboard"); break;
    default:
        printf("Unknown BaseGpu2dCanvas_BackgroundMode : %u\n", mode);
        fflush(stdout);
        name = QStringLiteral("ui_fill_black_opaque");
        break;
    }
    recorded.background = name;
    VulkanPipeline* pipeline = pipelines.registry.find(name);
    if (!pipeline || !pipeline->pipeline) return;
    functions->vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline->pipeline);
    if (!bindMainVertexBuffer(commands)) return;
    if (mode == BaseGpu2dCanvas_BackgroundMode_CustomColor) {
        functions->vkCmdPushConstants(commands, pipeline->layout, VK_SHADER_STAGE_FRAGMENT_BIT, 0, 16,
                                      canvas->canvasColours[1]);
    } else if (mode == BaseGpu2dCanvas_BackgroundMode_CustomCheckerboard) {
        float colours[8];
        memcpy(colours, canvas->canvasColours[2], 16);
        memcpy(colours + 4, canvas->canvasColours[3], 16);
        functions->vkCmdPushConstants(commands, pipeline->layout, VK_SHADER_STAGE_FRAGMENT_BIT, 0, 32, colours);
    }
    functions->vkCmdDraw(commands, entry.count, 1, entry.first, 0);
}

void VulkanWinRenderer::drawGuides(VkCommandBuffer commands) {
    const CanvasDrawInfo safe5 = vertexData.drawInfo[CanvasDraw_SafeArea5];
    const CanvasDrawInfo safe10 = vertexData.drawInfo[CanvasDraw_SafeArea10];
    const CanvasDrawInfo videoArea = vertexData.drawInfo[CanvasDraw_VideoArea];
    const CanvasDrawInfo cropBox = vertexData.drawInfo[CanvasDraw_CropBox];
    if (!safe5.isSet() || !safe10.isSet() || !videoArea.isSet() || !cropBox.isSet()) {
        qDebug("Unset draw info guides");
        return;
    }
    VulkanPipeline* pipeline = pipelines.registry.find(QStringLiteral("ui_fill_color"));
    if (!pipeline || !pipeline->pipeline) return;
    functions->vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline->pipeline);
    if (!bindMainVertexBuffer(commands)) return;
    auto draw = [&](const CanvasDrawInfo& entry, const float* colour) {
        functions->vkCmdPushConstants(commands, pipeline->layout, VK_SHADER_STAGE_FRAGMENT_BIT, 0, 16, colour);
        functions->vkCmdDraw(commands, entry.count, 1, entry.first, 0);
        ++recorded.guideLines;
    };
    if (canvas->showSafeArea) {
        draw(safe5, canvas->guideColours[0]);
        draw(safe10, canvas->guideColours[1]);
    }
    if (canvas->showCropBoxArea && canvas->videoPresent && canvas->hasDisplayWindow &&
        canvas->cropBoxDisplayMode == BaseGpu2dCanvas_CropBoxDisplayMode_DisplayWindow)
        draw(cropBox, canvas->guideColours[3]);
    if (canvas->showVideoArea) draw(videoArea, canvas->guideColours[2]);
}

void VulkanWinRenderer::drawOverlays(VkCommandBuffer commands) {
    if (!showInformationOverlay && !showErrorOverlay) return;
    VulkanPipeline* pipeline = pipelines.registry.find(QStringLiteral("ui_draw_overlay"));
    if (!pipeline || !pipeline->pipeline) return;
    const uint32_t frameSlot = uint32_t(window->currentFrame());
    auto draw = [&](uint32_t image, const VulkanHostBuffer& quad) {
        const VkDescriptorSet set = overlaySets.findSet(image, frameSlot);
        if (!set || !quad.buffer) return;
        functions->vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline->pipeline);
        functions->vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline->layout, 0, 1, &set, 0,
                                           nullptr);
        const VkDeviceSize offset = 0;
        functions->vkCmdBindVertexBuffers(commands, 0, 1, &quad.buffer, &offset);
        functions->vkCmdDraw(commands, 4, 1, 0, 0);
    };
    if (showInformationOverlay) {
        QMutexLocker lock(&informationOverlayMutex);
        draw(1, informationOverlayBuffer);
    }
    // The error box is drawn over the information column.
    if (showErrorOverlay) {
        QMutexLocker lock(&errorOverlayMutex);
        draw(0, errorOverlayBuffer);
    }
}

VkResult VulkanWinRenderer::createStagedTexture(VulkanTexture* texture, VkFormat format, QSize size) {
    if (size.width() <= 0 || size.height() <= 0) return VK_ERROR_UNKNOWN;
    return vk_texture_create(window, functions, device, texture, format,
                             {uint32_t(size.width()), uint32_t(size.height())});
}

// Fills the staging buffer (with the image clipped to the texture, or with
// transparent zeros) and copies it into the image, which ends in shader-read layout.
// The caller has made sure that no frame uses the image.
bool VulkanWinRenderer::uploadOverlayTexture(VulkanTexture* texture, const QImage* image) {
    if (!vk_texture_valid(texture) || uploadPool == VK_NULL_HANDLE) return false;
    uint8_t* mapped = nullptr;
    if (functions->vkMapMemory(device, texture->stagingMemory, 0, texture->stagingSize, 0,
                               reinterpret_cast<void**>(&mapped)) != VK_SUCCESS ||
        !mapped) {
        qDebug("Memory map failed (overlay)");
        return false;
    }
    memset(mapped, 0, size_t(texture->stagingSize));
    if (image && !image->isNull()) {
        // The texture is RGBA8 with straight alpha: whatever the painter produced is
        // converted, and only what fits the texture is copied.
        const QImage rgba = image->convertToFormat(QImage::Format_RGBA8888);
        const uint32_t pitch = texture->stagingLayout.rowPitch;
        const uint32_t rows = std::min<uint32_t>(uint32_t(rgba.height()), texture->size.height);
        const size_t rowBytes = std::min<size_t>(size_t(rgba.width()), texture->size.width) * 4;
        for (uint32_t y = 0; y < rows; ++y) memcpy(mapped + size_t(y) * pitch, rgba.constScanLine(int(y)), rowBytes);
    }
    functions->vkUnmapMemory(device, texture->stagingMemory);

    VkCommandBuffer commands = vk_begin_one_time_commands(window, functions, device, uploadPool);
    if (!commands) return false;
    VkImageMemoryBarrier barrier{};
    barrier.sType = VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER;
    barrier.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
    barrier.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.image = texture->image;
    barrier.oldLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    barrier.newLayout = VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL;
    barrier.srcAccessMask = 0;
    barrier.dstAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
    functions->vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_TOP_OF_PIPE_BIT, VK_PIPELINE_STAGE_TRANSFER_BIT, 0, 0,
                                    nullptr, 0, nullptr, 1, &barrier);
    VkBufferImageCopy region{};
    region.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
    region.imageExtent = {texture->size.width, texture->size.height, 1};
    functions->vkCmdCopyBufferToImage(commands, texture->stagingBuffer, texture->image,
                                      VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 1, &region);
    barrier.oldLayout = VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL;
    barrier.newLayout = VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL;
    barrier.srcAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
    barrier.dstAccessMask = VK_ACCESS_SHADER_READ_BIT;
    functions->vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_TRANSFER_BIT, VK_PIPELINE_STAGE_FRAGMENT_SHADER_BIT, 0,
                                    0, nullptr, 0, nullptr, 1, &barrier);
    return vk_submit_one_time_commands(window, functions, device, uploadPool, commands);
}

void VulkanWinRenderer::createInfoErrorTexture() {
    const int k = highDpi ? 2 : 1;
    // A height accepted at scale 1 may exceed the device's largest image at scale 2:
    // the column is cut to what the device can hold rather than asking it for more.
    const uint32_t limit = canvas->maxTileHeight;
    if (limit >= uint32_t(k) && uint64_t(informationOverlayHeight) * k > limit) {
        qDebug("Invalid information overlay height : %u", informationOverlayHeight);
        informationOverlayHeight = limit / uint32_t(k);
    }
    if (!createErrorOverlayTexture() ||
        createStagedTexture(&informationOverlayTexture, VK_FORMAT_R8G8B8A8_UNORM,
                            QSize(400 * k, int(k * informationOverlayHeight))) != VK_SUCCESS) {
        showVulkanError(QStringLiteral("Fail to allocate info/error texture"));
        return;
    }
    // Sampled as soon as the column is shown, maybe before any image is handed over:
    // it starts transparent and in shader-read layout.
    uploadOverlayTexture(&informationOverlayTexture, nullptr);
    informationOverlayTexture.infoLinear = {linearSampler, informationOverlayTexture.view,
                                            VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
    try {
        overlaySets.writeImages(1, {&informationOverlayTexture.infoLinear});
    } catch (const std::exception& e) {
        qDebug("Overlay descriptors : %s", e.what());
    }
}

bool VulkanWinRenderer::createErrorOverlayTexture() {
    const int k = highDpi ? 2 : 1;
    // A box as large as the view may exceed the device's largest image at scale 2:
    // it is cut to what the device can hold.
    const int limit = int(std::min<uint32_t>(canvas->maxTileHeight, 1u << 30));
    if (limit >= k) {
        const QSize most(limit / k, limit / k);
        if (errorOverlaySize.width() > most.width() || errorOverlaySize.height() > most.height()) {
            qDebug("Invalid error overlay size : %d x %d", errorOverlaySize.width(), errorOverlaySize.height());
            errorOverlaySize = errorOverlaySize.boundedTo(most);
        }
    }
    if (createStagedTexture(&errorOverlayTexture, VK_FORMAT_R8G8B8A8_UNORM, errorOverlaySize * k) != VK_SUCCESS)
        return false;
    // Sampled as soon as the box is shown, maybe before any image is handed over: it
    // starts transparent and in shader-read layout.
    uploadOverlayTexture(&errorOverlayTexture, nullptr);
    errorOverlayTexture.infoLinear = {linearSampler, errorOverlayTexture.view, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
    try {
        overlaySets.writeImages(0, {&errorOverlayTexture.infoLinear});
    } catch (const std::exception& e) {
        qDebug("Overlay descriptors : %s", e.what());
    }
    return true;
}

void VulkanWinRenderer::destroyOverlayTextures() {
    if (!functions) return;
    if (errorOverlayTexture.device) vk_texture_destroy(functions, &errorOverlayTexture);
    if (informationOverlayTexture.device) vk_texture_destroy(functions, &informationOverlayTexture);
    errorOverlayTexture = VulkanTexture{};
    informationOverlayTexture = VulkanTexture{};
}

void VulkanWinRenderer::setHighDpi(bool flag) {
    // The overlay textures and their sets are re-created: no frame may still use them.
    if (initialised) completeFrames();
    highDpi = flag ? 1 : 0;
    if (!initialised) return;
    QMutexLocker lock(&rendererMutex);
    createInfoErrorTexture();
}

void VulkanWinRenderer::setShowErrorOverlay(bool show) {
    QMutexLocker lock(&rendererMutex);
    showErrorOverlay = show ? 1 : 0;
}

void VulkanWinRenderer::setShowInformationOverlay(bool show) {
    QMutexLocker lock(&rendererMutex);
    showInformationOverlay = show ? 1 : 0;
}

void VulkanWinRenderer::updateErrorOverlayImage(QImage image) {
    updateErrorOverlayImage(std::move(image), errorOverlaySize);
}

void VulkanWinRenderer::updateErrorOverlayImage(QImage image, QSize box) {
    box = box.expandedTo(QSize(1, 1));
    if (!initialised) {
        errorOverlaySize = box;  // the texture is made at this size
        return;
    }
    completeFrames();
    if (box != errorOverlaySize) {
        QMutexLocker lock(&rendererMutex);
        errorOverlaySize = box;
        if (!createErrorOverlayTexture()) {
            showVulkanError(QStringLiteral("Fail to allocate info/error texture"));
            return;
        }
        float quad[20];
        canvas_error_overlay_quad(canvas.get(), uint32_t(errorOverlaySize.width()),
                                  uint32_t(errorOverlaySize.height()), quad);
        copyToMappedBuffer(&errorOverlayBuffer, quad, sizeof(quad));
    }
    QMutexLocker lock(&errorOverlayMutex);
    uploadOverlayTexture(&errorOverlayTexture, &image);
}

bool VulkanWinRenderer::setInformationOverlayImage(QImage image, uint32_t height) {
    // A height the device cannot hold would end the program in the texture creation.
    const uint32_t k = highDpi ? 2 : 1;
    if (height == 0 || (canvas->maxTileHeight && uint64_t(height) * k > canvas->maxTileHeight)) {
        qDebug("Invalid information overlay height : %u", height);
        return false;
    }
    forceStop();
    bool recreated = false;
    if (height != informationOverlayHeight) {
        informationOverlayHeight = height;
        if (initialised) {
            QMutexLocker lock(&rendererMutex);
            createInfoErrorTexture();
            // The column's texture coordinates follow the new height at once.
            float quad[20];
            canvas_information_overlay_quad(canvas.get(), informationOverlayHeight, quad);
            copyToMappedBuffer(&informationOverlayBuffer, quad, sizeof(quad));
            recreated = true;
        }
    }
    if (!initialised) return recreated;
    QMutexLocker lock(&informationOverlayMutex);
    uploadOverlayTexture(&informationOverlayTexture, &image);
    return recreated;
}
