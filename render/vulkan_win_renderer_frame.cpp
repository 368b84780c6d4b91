// Frame recording on the worker thread, and the video textures the GUI thread feeds.
#include <QDebug>
#include <QMutexLocker>
#include <QVulkanDeviceFunctions>
#include <algorithm>
#include <exception>

#include "movie/file_to_play.h"
#include "media/mov_file.h"
#include "media/video_frame.h"
#include "render/player_layout.h"
#include "render/vulkan_render_pass.h"
#include "render/vulkan_texture_set.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"

namespace {

uint32_t used_plane_slots(const uint32_t planes[4]) {
    uint32_t used = 0;
    for (int i = 0; i < 4; ++i)
        if (planes[i] != kVideoPlaneUnused) ++used;
    return used;
}

}  // namespace

void VulkanWinRenderer::renderFrame() {
    if (!swapChainReady) {
        qDebug("Can't draw frame (no swap chain");
        return;
    }
    QMutexLocker lock(&rendererMutex);
    recordFrame(window->currentCommandBuffer());
}

// Nothing may escape the recording: a throw would leave the render pass open and the
// frame unusable. Every step catches its own failures; the render pass always ends.
void VulkanWinRenderer::recordFrame(VkCommandBuffer commands) {
    const bool video = canvas->videoPresent != 0;
    const bool corrupt = corruptFrame != 0;
    const uint32_t frameSlot = uint32_t(window->currentFrame());
    recorded = RecordedFrame{};
    if (video && !corrupt) {
        frameChoice.name = VideoPipelines::selectVideoPipeline(canvas->codec, canvas->fileHasAlpha,
                                                               canvas->channelMode, canvas->scaleMode,
                                                               canvas->alphaMode, frameChoice.planes);
        frameChoice.used = used_plane_slots(frameChoice.planes);
        recorded.videoPipeline = frameChoice.name;
    }

    try {
        if (recordingHook) recordingHook(RecordingStep_PipelineChosen, recorded);
        if (!video || corrupt) {
            flushStaging(commands, iconPlayer);
            if (corrupt) flushStaging(commands, corruptFrameImage);
        } else {
            QMutexLocker textures(&videoTextureMutex);
            if (videoFrameReady) updateDescriptors(frameSlot);
        }
    } catch (const std::exception& e) {
        qDebug("Frame preparation failed : %s", e.what());
    } catch (...) {
        qDebug("Frame preparation failed");
    }

    VkClearColorValue clear{{0.0f, 0.0f, 0.0f, 1.0f}};
    if (video) clear = {{canvas->canvasColours[0][0], canvas->canvasColours[0][1], canvas->canvasColours[0][2], 1.0f}};
    for (int i = 0; i < 3; ++i) recorded.clearColour[i] = clear.float32[i];
    vk_begin_window_render_pass(window, functions, commands, clear);

    try {
        if (!video || corrupt) {
            drawDefaultImage(commands);
        } else {
            drawBackground(commands);
            {
                QMutexLocker textures(&videoTextureMutex);
                drawTiles(commands);
            }
            const bool guides = canvas->showSafeArea || canvas->showVideoArea || canvas->showCropBoxArea;
            if (guides && layout && layout->isImageTemplate()) drawGuides(commands);
        }
        drawOverlays(commands);
    } catch (const std::exception& e) {
        qDebug("Frame recording failed : %s", e.what());
    } catch (...) {
        qDebug("Frame recording failed");
    }
    functions->vkCmdEndRenderPass(commands);
    if (recordingHook) recordingHook(RecordingStep_Recorded, recorded);
}

bool VulkanWinRenderer::bindMainVertexBuffer(VkCommandBuffer commands) {
    if (!vertexBuffer.buffer || !vertexBuffer.memory || vertexBuffer.size == 0) {
        qDebug("Invalid vertex buffer");
        return false;
    }
    const VkDeviceSize offset = 0;
    functions->vkCmdBindVertexBuffers(commands, 0, 1, &vertexBuffer.buffer, &offset);
    return true;
}

void VulkanWinRenderer::drawDefaultImage(VkCommandBuffer commands) {
    const CanvasDrawInfo entry = vertexData.drawInfo[CanvasDraw_DefaultImage];
    if (!entry.isSet()) {
        qDebug("Unset draw info default img");
        return;
    }
    VulkanPipeline* pipeline = pipelines.registry.find(QStringLiteral("ui_img_straight"));
    if (!pipeline || !pipeline->pipeline) return;
    // The corrupt-frame image only ever shows in place of a video frame.
    const uint32_t image = canvas->videoPresent ? 1 : 0;
    const VkDescriptorSet set = defaultImageSets.findSet(image, uint32_t(window->currentFrame()));
    if (!set) {
        qDebug("No descriptor");
        return;
    }
    functions->vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline->pipeline);
    functions->vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline->layout, 0, 1, &set, 0,
                                       nullptr);
    if (!bindMainVertexBuffer(commands)) return;
    functions->vkCmdDraw(commands, entry.count, 1, entry.first, 0);
}

void VulkanWinRenderer::drawTiles(VkCommandBuffer commands) {
    const CanvasDrawInfo entry = vertexData.drawInfo[CanvasDraw_Tiles];
    if (!entry.isSet()) {
        qDebug("Unset draw info draw tile");
        return;
    }
    // Images of a layout no frame was uploaded into hold nothing: only the background shows.
    if (!videoFrameReady || !textureSet) return;
    VulkanPipeline* pipeline = pipelines.registry.find(frameChoice.name);
    if (!pipeline || !pipeline->pipeline) return;
    VulkanDescriptorSets* sets = frameChoice.used == 1   ? &videoOneTextureSets
                                 : frameChoice.used == 2 ? &videoTwoTextureSets
                                                         : nullptr;
    uint32_t tiles = std::min(textureSet->tileCount(), entry.count / 6);
    if (sets) tiles = std::min(tiles, sets->slotCount);
    const uint32_t frameSlot = uint32_t(window->currentFrame());

    functions->vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline->pipeline);
    if (!bindMainVertexBuffer(commands)) return;
    const float opacity = 1.0f;
    for (uint32_t t = 0; t < tiles; ++t) {
        if (sets) {
            // A textured pipeline must never draw without its images.
            const VkDescriptorSet set = sets->findSet(t, frameSlot);
            if (!set) {
                qDebug("No descriptor");
                continue;
            }
            functions->vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline->layout, 0, 1, &set,
                                               0, nullptr);
        }
        functions->vkCmdPushConstants(commands, pipeline->layout, VK_SHADER_STAGE_FRAGMENT_BIT, 0, sizeof(opacity),
                                      &opacity);
        functions->vkCmdDraw(commands, 6, 1, entry.first + 6 * t, 0);
    }
}

void VulkanWinRenderer::updateDescriptors(uint32_t frameSlot) {
    if (!textureSet || frameChoice.used == 0) return;
    const bool nearest = canvas->scaleMode == BaseGpu2dCanvas_ScaleMode_Nearest;
    recorded.videoFilter = nearest ? VK_FILTER_NEAREST : VK_FILTER_LINEAR;
    const uint32_t tiles = textureSet->tileCount();
    for (uint32_t t = 0; t < tiles; ++t) {
        QList<const VkDescriptorImageInfo*> infos;
        for (uint32_t slot = 0; slot < 4; ++slot) {
            const uint32_t plane = frameChoice.planes[slot];
            if (plane == kVideoPlaneUnused) continue;
            const VkDescriptorImageInfo* info =
                nearest ? textureSet->imageInfoNearest(t, plane) : textureSet->imageInfoLinear(t, plane);
            if (info)
                infos.append(info);
            else
                qDebug("Invalid descriptor for tile : %d ; plane : %d", int(t), int(plane));
        }
        if (infos.isEmpty()) {
            if (t != 0) qDebug("Invalid tile info");
            break;
        }
        if (infos.size() != qsizetype(frameChoice.used)) continue;  // never bind a partial set
        if (infos.size() == 1) {
            videoOneTextureSets.tryWriteFrameImages(t, frameSlot, infos);
        } else if (infos.size() == 2) {
            videoTwoTextureSets.tryWriteFrameImages(t, frameSlot, infos);
        } else {
            qDebug("Unknown case update descriptor pool");
        }
    }
}

void VulkanWinRenderer::flushStaging(VkCommandBuffer commands, VulkanUiImage& texture) {
    if (texture.linearPending) {
        texture.linearPending = false;
        VkImageMemoryBarrier barrier{};
        barrier.sType = VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER;
        barrier.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
        barrier.oldLayout = VK_IMAGE_LAYOUT_PREINITIALIZED;
        barrier.newLayout = VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL;
        barrier.srcAccessMask = VK_ACCESS_HOST_WRITE_BIT;
        barrier.dstAccessMask = VK_ACCESS_SHADER_READ_BIT;
        barrier.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
        barrier.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
        barrier.image = texture.image;
        functions->vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_HOST_BIT, VK_PIPELINE_STAGE_FRAGMENT_SHADER_BIT, 0,
                                        0, nullptr, 0, nullptr, 1, &barrier);
    }
    if (texture.stagingPending) {
        qDebug("texStagingPending");
        texture.stagingPending = false;
        VkImageMemoryBarrier barriers[2]{};
        for (VkImageMemoryBarrier& b : barriers) {
            b.sType = VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER;
            b.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
            b.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
            b.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
            b.oldLayout = VK_IMAGE_LAYOUT_PREINITIALIZED;
        }
        barriers[0].newLayout = VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL;
        barriers[0].srcAccessMask = VK_ACCESS_HOST_WRITE_BIT;
        barriers[0].dstAccessMask = VK_ACCESS_TRANSFER_READ_BIT;
        barriers[0].image = texture.stagingImage;
        barriers[1].newLayout = VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL;
        barriers[1].srcAccessMask = 0;
        barriers[1].dstAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
        barriers[1].image = texture.image;
        functions->vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_HOST_BIT, VK_PIPELINE_STAGE_TRANSFER_BIT, 0, 0,
                                        nullptr, 0, nullptr, 2, barriers);

        VkImageCopy copy{};
        copy.srcSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
        copy.dstSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
        copy.extent = {uint32_t(texture.size.width()), uint32_t(texture.size.height()), 1};
        functions->vkCmdCopyImage(commands, texture.stagingImage, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, texture.image,
                                  VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 1, &copy);

        VkImageMemoryBarrier ready = barriers[1];
        ready.oldLayout = VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL;
        ready.newLayout = VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL;
        ready.srcAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
        ready.dstAccessMask = VK_ACCESS_SHADER_READ_BIT;
        functions->vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_TRANSFER_BIT, VK_PIPELINE_STAGE_FRAGMENT_SHADER_BIT,
                                        0, 0, nullptr, 0, nullptr, 1, &ready);
    }
}

void VulkanWinRenderer::copyVideoFrame(const VideoFrame& frame) {
    // Before the first initialisation, and after every release, there is no texture
    // set and no device to copy into: the frame is handed again after the renderer's
    // end-of-initialisation signal.
    if (!initialised || !textureSet) {
        qDebug("Can't copy video frame before init end");
        return;
    }
    // Handed over now: the time to its present is what the frames take to be seen.
    const qint64 handedAt = presentClock.nsecsElapsed();
    if (frame.status & VideoFrameStatus_DecodeFailed) {
        if (!corruptFrame) noteHandedFrame(frame.frame_number, handedAt);
        corruptFrame = 1;
        return;
    }
    const bool wasCorrupt = corruptFrame != 0;
    corruptFrame = 0;
    if (textureSet->needsUpload(&frame) <= 0) {
        // The frame held shows again in place of the corrupt-frame image.
        if (wasCorrupt) noteHandedFrame(frame.frame_number, handedAt);
        qDebug("No need update video tex");
        return;
    }
    // The textures, images and sets are about to be re-created or overwritten.
    completeFrames();
    QMutexLocker lock(&videoTextureMutex);
    videoFrameReady = false;
    reallocVideoTextures();
    textureSet->upload(&frame);
    textureSet->recordUpload();
    const bool sets = recreateVideoDescriptorSets();
    videoFrameReady = sets && textureSet->textureCountValue() > 0 && textureSet->needsUpload(&frame) == 0;
    noteHandedFrame(frame.frame_number, handedAt);
}

void VulkanWinRenderer::reallocVideoTextures() {
    if (!textureSet) {
        qDebug("No video tex for alloc realloc");
        return;
    }
    textureSet->alloc(canvas->tiles);
}

bool VulkanWinRenderer::recreateVideoDescriptorSets() {
    uint32_t tiles = textureSet->tileCount();
    if (tiles == 0) {
        qDebug("Warning no tile gpu tex");
        tiles = 1;
    }
    const VkResult one = videoOneTextureSets.create(instance, device, pipelines.oneTextureLayout.layout,
                                                    concurrentFrameCount, 1, tiles);
    const VkResult two = videoTwoTextureSets.create(instance, device, pipelines.twoTextureLayout.layout,
                                                    concurrentFrameCount, 2, tiles);
    return one == VK_SUCCESS && two == VK_SUCCESS;
}

void VulkanWinRenderer::computeTiles(VideoTileLayout* tiles, uint32_t width, uint32_t height, uint32_t maxWidth,
                                     uint32_t maxHeight, uint32_t pixelFormat, uint32_t textureKind) {
    try {
        compute_video_tiles(tiles, width, height, maxWidth, maxHeight, pixelFormat, textureKind);
    } catch (const std::exception& e) {
        // A format that cannot be tiled leaves no tiles rather than the last movie's.
        qDebug("Can't compute the video tiles : %s", e.what());
        tiles->freeTiles();
        tiles->frameWidth = tiles->frameHeight = 0;
    }
}

void VulkanWinRenderer::allocVideoTextures(FileToPlay* file) {
    if (!file) return;
    VideoSourceInfo source;
    source.width = file->width();
    source.height = file->height();
    source.codec = file->codec();
    source.textureFormat = file->hapTextureFormat();
    source.hasAlpha = file->hasAlphaChannel() ? 1 : 0;
    if (file->isAlphaPremultiplied())
        source.alphaKind = VideoSourceAlpha_Premultiplied;
    else if (file->isAlphaStraight())
        source.alphaKind = VideoSourceAlpha_Straight;
    if (file->hasDisplayWindow()) {
        MovFile* movie = nullptr;
        file->movFile(&movie);
        if (movie) {
            source.hasDisplayWindow = 1;
            source.displayWindowWidth = movie->displayWidth;
            source.displayWindowHeight = movie->displayHeight;
            source.displayWindowX = movie->originX;
            source.displayWindowY = movie->originY;
        }
    }
    allocVideoTextures(source);
}

void VulkanWinRenderer::allocVideoTextures(const VideoSourceInfo& source) {
    // Canvas state is set in every case; textures only exist with a device.
    if (initialised) forceStop();
    // Under the recording's lock even without a device: a window whose initialisation
    // stopped half way still records frames.
    QMutexLocker canvasLock(&rendererMutex);
    if (source.alphaKind == VideoSourceAlpha_Premultiplied)
        canvas->alphaMode = BaseGpu2dCanvas_AlphaMode_PremultiplyBlack;
    else if (source.alphaKind == VideoSourceAlpha_Straight)
        canvas->alphaMode = BaseGpu2dCanvas_AlphaMode_Straight;

    canvas->frameWidth = source.width;
    canvas->frameHeight = source.height;
    canvas->frameWidthF = source.width;
    canvas->frameHeightF = source.height;
    canvas->videoPresent = 1;
    computeTiles(&canvas->tiles, source.width, source.height, canvas->maxTileWidth, canvas->maxTileHeight, 39,
                 source.textureFormat);
    canvas->codec = source.codec;
    canvas->fileHasAlpha = source.hasAlpha;

    if (source.hasDisplayWindow && source.displayWindowWidth > 0 && source.displayWindowHeight > 0) {
        canvas->hasDisplayWindow = 1;
        canvas->displayWindowWidth = source.displayWindowWidth;
        canvas->displayWindowHeight = source.displayWindowHeight;
        canvas->displayWindowX = source.displayWindowX;
        canvas->displayWindowY = source.displayWindowY;
    } else {
        canvas->hasDisplayWindow = 0;
        canvas->displayWindowWidth = canvas->displayWindowHeight = 0;
        canvas->displayWindowX = canvas->displayWindowY = 0;
    }
    canvasLock.unlock();

    if (!initialised) return;
    QMutexLocker lock(&videoTextureMutex);
    videoFrameReady = false;
    if (!textureSet) {
        qDebug("No video tex for alloc realloc");
        return;
    }
    textureSet->alloc(canvas->tiles);
    // A new movie starts again at frame 0, which the set may think it holds.
    textureSet->resetHeldFrame();
}
