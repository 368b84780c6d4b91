// Lifecycle, frame hand-over and settings of the video renderer.
#include "render/vulkan_win_renderer.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThreadPool>
#include <QVulkanDeviceFunctions>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <utility>

#include "render/player_layout.h"
#include "render/vulkan_error.h"
#include "render/vulkan_texture_set.h"
#include "render/vulkan_window.h"

VulkanWinRenderer::VulkanWinRenderer(VulkanWindow* w) : window(w), canvas(std::make_unique<BaseGpu2dCanvas>()) {
    layout = new PlayerLayout(nullptr, PlayerLayoutTemplate_Default);
    registerShaders();
    presentClock.start();
    QObject::connect(&frameWatcher, &QFutureWatcher<void>::finished, window, [this] { onRenderFinished(); });
}

VulkanWinRenderer::~VulkanWinRenderer() {
    frameWatcher.disconnect();
    frameWatcher.waitForFinished();
    delete layout;
    layout = nullptr;
    // The Vulkan objects went with releaseResources; what is left holds no handle.
    textureSet.reset();
    canvas->tiles.freeTiles();
}

void VulkanWinRenderer::preInitResources() {
    const VkPhysicalDeviceProperties* properties = window->physicalDeviceProperties();
    if (!properties) return;
    canvas->maxTileWidth = properties->limits.maxImageDimension2D;
    canvas->maxTileHeight = properties->limits.maxImageDimension2D;
}

void VulkanWinRenderer::initResources() {
    initialised = false;
    uint8_t expected = 0;
    if (!initInProgress.compare_exchange_strong(expected, 1)) {
        qDebug("Init ressources already in progress");
        return;
    }
    // Every exit clears the flag, so that a failed initialisation can be tried again.
    struct InitGuard {
        std::atomic<uint8_t>* flag;
        ~InitGuard() { flag->store(0); }
    } guard{&initInProgress};
    framePending = 0;

    instance = window->vulkanInstance();
    device = window->device();
    functions = instance->deviceFunctions(device);
    concurrentFrameCount = uint32_t(std::max(1, window->concurrentFrameCount()));
    minUniformBufferOffsetAlignment =
        std::max<VkDeviceSize>(1, window->physicalDeviceProperties()->limits.minUniformBufferOffsetAlignment);

    pipelines.setDevice(instance, device, window->defaultRenderPass());
    pipelines.loadShaders();

    if (!createSamplers()) {
        showVulkanError(QStringLiteral("Fail to create gpu sampler"));
        return;
    }

    VkCommandPoolCreateInfo poolInfo{};
    poolInfo.sType = VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO;
    poolInfo.flags = VK_COMMAND_POOL_CREATE_TRANSIENT_BIT;
    poolInfo.queueFamilyIndex = window->graphicsQueueFamilyIndex();
    if (functions->vkCreateCommandPool(device, &poolInfo, nullptr, &uploadPool) != VK_SUCCESS) {
        uploadPool = VK_NULL_HANDLE;
        qDebug("Upload command pool creation failed");
    }

    if (!createTextureFromImage(QStringLiteral(":/Rsc/RESSOURCES_UI/ICON_PLAYER.png"), &iconPlayer, linearSampler)) {
        showVulkanError(QStringLiteral("Texture A failed (59)"));
        return;
    }
    if (!createTextureFromImage(QStringLiteral(":/Rsc/RESSOURCES_UI/CORRUPT_FRAME.png"), &corruptFrameImage,
                                linearSampler)) {
        showVulkanError(QStringLiteral("Texture B failed (60)"));
        return;
    }

    vertexCapacityCount = 30;
    createVertexBuffer(&vertexBuffer, minUniformBufferOffsetAlignment, VkDeviceSize(vertexCapacityCount) * kCanvasVertexBytes);
    try {
        if (vertexData.vertices.size() < size_t(vertexCapacityCount) * kCanvasVertexFloats)
            vertexData.vertices.resize(size_t(vertexCapacityCount) * kCanvasVertexFloats);
    } catch (const std::bad_alloc&) {
        qDebug("ERR : Fail to allocate arr_vertex_edit_float_xyzuv");
        return;
    }
    createVertexBuffer(&errorOverlayBuffer, minUniformBufferOffsetAlignment, 4 * kCanvasVertexBytes);
    createVertexBuffer(&informationOverlayBuffer, minUniformBufferOffsetAlignment, 4 * kCanvasVertexBytes);

    textureSet.reset();
    textureSet = std::make_unique<VulkanTextureSet>(instance, window, functions, device);
    textureSet->setSamplers(&nearestSampler, &linearSampler);
    videoFrameReady = false;

    pipelines.createDescriptorLayouts();
    defaultImageSets.create(instance, device, pipelines.oneTextureLayout.layout, concurrentFrameCount, 1, 2);
    overlaySets.create(instance, device, pipelines.oneTextureLayout.layout, concurrentFrameCount, 1, 2);

    writeDefaultImageDescriptors();
    createInfoErrorTexture();

    pipelines.destroyPipelines();
    if (createUiPipelines()) {
        createVideoPipelines();
    } else {
        status = QStringLiteral("Failed to create base pipeline");
    }

    initInProgress.store(0);
    initialised = true;
    window->emitRendererEndInit();
}

void VulkanWinRenderer::initSwapChainResources() {
    swapChainReady = true;
    const QSize size = window->swapChainImageSize();
    const double ratio = window->devicePixelRatio();
    if (size.width() >= 1 && size.height() >= 1 && ratio > 0.0) {
        canvas->viewWidth = double(int(size.width() / ratio));
        canvas->viewHeight = double(int(size.height() / ratio));
    } else {
        canvas->viewWidth = size.width();
        canvas->viewHeight = size.height();
    }
    refresh();
}

void VulkanWinRenderer::releaseSwapChainResources() {
    // The running job records its frame fully before the swap chain is declared gone:
    // the frame handed back below is presented, and a frame without its render pass
    // would present an image in the wrong layout.
    frameWatcher.waitForFinished();
    swapChainReady = false;
    completePendingFrame();
}

void VulkanWinRenderer::releaseResources() {
    frameWatcher.waitForFinished();
    initialised = false;
    videoFrameReady = false;
    destroySamplers();
    pipelines.destroyPipelines();
    textureSet.reset();
    defaultImageSets.release();
    overlaySets.release();
    videoOneTextureSets.release();
    videoTwoTextureSets.release();
    destroyHostBuffer(&vertexBuffer);
    destroyHostBuffer(&errorOverlayBuffer);
    destroyHostBuffer(&informationOverlayBuffer);
    vertexData.vertices.clear();
    vertexData.vertices.shrink_to_fit();
    vertexData.vertexCount = 0;
    vertexCapacityCount = 0;
    destroyOverlayTextures();
    destroyUiImage(&iconPlayer);
    destroyUiImage(&corruptFrameImage);
    if (uploadPool != VK_NULL_HANDLE) functions->vkDestroyCommandPool(device, uploadPool, nullptr);
    uploadPool = VK_NULL_HANDLE;
    // Function modules and set layouts last: the pipelines made from them are gone.
    pipelines.release();
}

void VulkanWinRenderer::startNextFrame() {
    framePending = 1;
    // This frame is drawn with what was handed over last.
    if (handed.valid) {
        inFlight = handed;
        handed.valid = false;
    }
    QThreadPool* pool = QThreadPool::globalInstance();
    // Without a pool the job is a cancelled, finished future: the frame is handed
    // back empty.
    frameJob = pool ? QtConcurrent::run(pool, [this] { renderFrame(); }) : QFuture<void>();
    frameWatcher.setFuture(frameJob);
}

void VulkanWinRenderer::onRenderFinished() { completePendingFrame(); }

// Exactly one frameReady follows each startNextFrame: from here, from
// onRenderFinished or from releaseSwapChainResources.
void VulkanWinRenderer::completePendingFrame() {
    if (!framePending) return;
    framePending = 0;
    window->frameReady();
    notePresented();
}

void VulkanWinRenderer::noteHandedFrame(uint32_t number, qint64 handedAtNs) {
    handed.number = number;
    handed.handedAtNs = handedAtNs;
    handed.valid = true;
}

// After Qt's frameReady has returned: the frame just presented, when it is the first
// drawn with a frame handed over, shows that frame. A frame handed back as the swap
// chain goes was not presented.
void VulkanWinRenderer::notePresented() {
    if (!inFlight.valid) return;
    inFlight.valid = false;
    if (!swapChainReady) return;
    presentDelays[presentDelayNext] = double(presentClock.nsecsElapsed() - inFlight.handedAtNs) / 1e6;
    presentDelayNext = (presentDelayNext + 1) % kPresentDelaySamples;
    presentDelayCount = std::min(presentDelayCount + 1, kPresentDelaySamples);
    presented = inFlight.number;
    window->emitFramePresented(inFlight.number);
}

double VulkanWinRenderer::presentDelayMs() const {
    if (presentDelayCount < kPresentDelayLeastSamples) return 0.0;
    // The lower median: a first present, slow for a reason of its own (a new window,
    // new textures), is not yet half of a few samples.
    double sorted[kPresentDelaySamples];
    std::copy(presentDelays, presentDelays + presentDelayCount, sorted);
    const uint32_t middle = (presentDelayCount - 1) / 2;
    std::nth_element(sorted, sorted + middle, sorted + presentDelayCount);
    return sorted[middle];
}

// Before anything a recorded frame uses is destroyed, re-created or overwritten: the
// recording job is waited for, its frame submitted, and the queue drained.
VkResult VulkanWinRenderer::completeFrames() {
    frameWatcher.waitForFinished();
    completePendingFrame();
    if (!device || !functions) return VK_SUCCESS;
    return functions->vkQueueWaitIdle(window->graphicsQueue());
}

void VulkanWinRenderer::forceStop() {
    if (!initialised) return;
    const VkResult err = completeFrames();
    if (err != VK_SUCCESS) qWarning("Failed to wait queue force stop : %s", vk_result_name(err));
}

void VulkanWinRenderer::color_to_float4(const QColor& colour, float out[4]) {
    out[0] = float(colour.red() / 255.0);
    out[1] = float(colour.green() / 255.0);
    out[2] = float(colour.blue() / 255.0);
    out[3] = float(colour.alpha() / 255.0);
}

void VulkanWinRenderer::setRecordingHook(RecordingHook hook) {
    QMutexLocker lock(&rendererMutex);
    recordingHook = std::move(hook);
}

void VulkanWinRenderer::setBackgroundColors(const CanvasColours& colours) {
    QMutexLocker lock(&rendererMutex);
    for (int i = 0; i < 4; ++i) {
        color_to_float4(colours.guides[i], canvas->guideColours[i]);
        color_to_float4(colours.canvas[i], canvas->canvasColours[i]);
    }
}

uint32_t VulkanWinRenderer::alphaMode() const {
    const uint32_t mode = canvas->alphaMode;
    if (mode <= 1) return mode;
    qDebug("Warning : invalid alpha mode : %d", int(mode));
    return 0;
}

uint32_t VulkanWinRenderer::scaleMode() const {
    const uint32_t mode = canvas->scaleMode;
    if (mode <= 2) return mode;
    qDebug("Warning : invalid scale mode : %d", int(mode));
    return 1;
}

uint32_t VulkanWinRenderer::backgroundMode() const {
    switch (canvas->backgroundMode) {
    case BaseGpu2dCanvas_BackgroundMode_Black: return 0;
    case BaseGpu2dCanvas_BackgroundMode_White: return 1;
    case BaseGpu2dCanvas_BackgroundMode_Checkerboard: return 2;
    case BaseGpu2dCanvas_BackgroundMode_CustomColor: return 4;
    case BaseGpu2dCanvas_BackgroundMode_CustomCheckerboard: return 5;
    default: break;
    }
    qDebug("Warning : invalid bg mode : %d", int(canvas->backgroundMode));
    return 0;
}

void VulkanWinRenderer::setImageSize(QSize size) {
    canvas->viewWidth = size.width();
    canvas->viewHeight = size.height();
}

CanvasDrawInfo VulkanWinRenderer::drawInfo(uint32_t entry) const {
    return entry < CanvasDraw_Count ? vertexData.drawInfo[entry] : CanvasDrawInfo{};
}

uint32_t VulkanWinRenderer::videoTileCount() const { return textureSet ? textureSet->tileCount() : 0; }
