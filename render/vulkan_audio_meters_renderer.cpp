// The audio meters renderer: lifecycle, vertex buffer, geometry and frame recording.
#include "render/vulkan_audio_meters_renderer.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThreadPool>
#include <QVulkanDeviceFunctions>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "render/vulkan_audio_meters_geometry.h"
#include "render/vulkan_audio_meters_widget.h"
#include "render/vulkan_error.h"
#include "render/vulkan_objects.h"
#include "render/vulkan_texture.h"
#include "render/panel_audio_meter_track_descriptor.h"

namespace {

constexpr float kClearColour[4] = {23 / 255.0f, 43 / 255.0f, 55 / 255.0f, 1.0f};
constexpr float kMutedColour[4] = {23 / 255.0f, 29 / 255.0f, 35 / 255.0f, 1.0f};
constexpr float kAbsentColour[4] = {25 / 255.0f, 35 / 255.0f, 42 / 255.0f, 1.0f};
constexpr float kPeakColour[4] = {1.0f, 1.0f, 0.0f, 1.0f};
constexpr float kTickColour[4] = {116 / 255.0f, 128 / 255.0f, 135 / 255.0f, 1.0f};

constexpr uint32_t kVertexBytes = kAudioMetersVertexCount * kAudioMetersVertexBytes;  // 5440

VkDeviceSize round_up(VkDeviceSize size, VkDeviceSize alignment) {
    if (alignment <= 1) return size;
    return (size + alignment - 1) / alignment * alignment;
}

}  // namespace

VulkanRendererAudioMeters::VulkanRendererAudioMeters(VulkanAudioMetersWidget* window) : m_window(window) {
    for (VulkanVertexFunction* vertex : {&m_vertOffset, &m_vertOffsetUv}) {
        vertex->addBinding(0, kAudioMetersVertexBytes, VK_VERTEX_INPUT_RATE_VERTEX);
        vertex->addAttribute(0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0);
        vertex->addVertexPushConstant(0, 8);
    }
    m_vertOffsetUv.addAttribute(1, 0, VK_FORMAT_R32G32_SFLOAT, 12);
    m_fragBasic.addFragmentPushConstant(16, 16);
    m_fragMeters.addFragmentPushConstant(16, 16);
    QObject::connect(&m_watcher, &QFutureWatcher<void>::finished, m_window, [this] { onRenderFinished(); });
}

VulkanRendererAudioMeters::~VulkanRendererAudioMeters() {
    m_watcher.disconnect();
    m_watcher.waitForFinished();
    clearTracks();
}

void VulkanRendererAudioMeters::clearTracks() {
    qDeleteAll(m_tracks);
    m_tracks.clear();
}

void VulkanRendererAudioMeters::initResources() {
    m_framePending = false;
    m_instance = m_window->vulkanInstance();
    m_device = m_window->device();
    m_functions = m_instance->deviceFunctions(m_device);
    m_alignment = std::max<VkDeviceSize>(1, m_window->physicalDeviceProperties()->limits.minUniformBufferOffsetAlignment);

    const struct {
        VulkanFunction* function;
        const char* path;
    } shaders[] = {{&m_vertOffset, "://GPU_SHADERS/basic_vert_offset.spv"},
                   {&m_vertOffsetUv, "://GPU_SHADERS/basic_vert_offset_uv.spv"},
                   {&m_fragBasic, "://GPU_SHADERS/basic_frag.spv"},
                   {&m_fragMeters, "://GPU_SHADERS/audio_meters_frag.spv"}};
    for (const auto& shader : shaders) shader.function->load(m_instance, m_device, QString::fromLatin1(shader.path));

    if (createVertexBuffer(m_device, m_alignment, kVertexBytes, &m_vertexBuffer)) {
        void* mapped = nullptr;
        if (m_functions->vkMapMemory(m_device, m_vertexBuffer.memory, 0, m_vertexBuffer.size, 0, &mapped) !=
            VK_SUCCESS) {
            showVulkanError(QStringLiteral("Failed to map memory"));
            return;
        }
        std::memset(mapped, 0, m_vertexBuffer.size);
        m_functions->vkUnmapMemory(m_device, m_vertexBuffer.memory);
    }

    const VkRenderPass pass = m_window->defaultRenderPass();
    if (m_basicPipeline.createStrip(m_instance, m_device, pass, &m_vertOffset, &m_fragBasic, nullptr, nullptr) !=
        VK_SUCCESS) {
        showVulkanError(QStringLiteral("Fail to create audio pipeline basic"));
        return;
    }
    if (m_metersPipeline.createStrip(m_instance, m_device, pass, &m_vertOffsetUv, &m_fragMeters, nullptr, nullptr) !=
        VK_SUCCESS) {
        showVulkanError(QStringLiteral("Fail to create audio pipeline meters"));
        return;
    }
    m_window->emitRendererEndInit();
}

bool VulkanRendererAudioMeters::createVertexBuffer(VkDevice device, VkDeviceSize alignment, VkDeviceSize size,
                                                   AudioMetersVertexBuffer* record) {
    QVulkanDeviceFunctions* f = m_instance->deviceFunctions(device);
    if (record->device != VK_NULL_HANDLE) {
        QVulkanDeviceFunctions* old = m_instance->deviceFunctions(record->device);
        if (record->buffer != VK_NULL_HANDLE) old->vkDestroyBuffer(record->device, record->buffer, nullptr);
        if (record->memory != VK_NULL_HANDLE) old->vkFreeMemory(record->device, record->memory, nullptr);
        record->buffer = VK_NULL_HANDLE;
        record->memory = VK_NULL_HANDLE;
        record->size = 0;
    }
    record->device = device;
    if (size == 0) {
        qDebug("Buffer creation failed : Can't create vertex buf zero");
        return false;
    }
    const VkDeviceSize rounded = round_up(size, alignment);
    const VulkanCreateResult made = vk_create_buffer(m_window, f, device, rounded, VK_BUFFER_USAGE_VERTEX_BUFFER_BIT,
                                                     VulkanMemoryKind::HostVisible, &record->buffer, &record->memory);
    if (!made.ok()) {
        if (made.failedStep == VulkanCreateStep::Create)
            qDebug("Buffer creation failed (13)");
        else if (made.failedStep == VulkanCreateStep::Allocate)
            qDebug("Failed to allocate memory: %s", vk_result_name(made.result));
        else
            qDebug("Memory bind failed (15)");
        return false;
    }
    void* mapped = nullptr;
    if (f->vkMapMemory(device, record->memory, 0, rounded, 0, &mapped) != VK_SUCCESS) {
        qDebug("Memory map failed (16)");
        return false;
    }
    std::memset(mapped, 0, size_t(rounded));
    f->vkUnmapMemory(device, record->memory);
    record->size = uint32_t(rounded);
    return true;
}

void VulkanRendererAudioMeters::destroyVertexBuffer() {
    if (m_vertexBuffer.device == VK_NULL_HANDLE) return;
    QVulkanDeviceFunctions* f = m_instance->deviceFunctions(m_vertexBuffer.device);
    if (m_vertexBuffer.buffer != VK_NULL_HANDLE) f->vkDestroyBuffer(m_vertexBuffer.device, m_vertexBuffer.buffer, nullptr);
    if (m_vertexBuffer.memory != VK_NULL_HANDLE) f->vkFreeMemory(m_vertexBuffer.device, m_vertexBuffer.memory, nullptr);
    m_vertexBuffer = AudioMetersVertexBuffer{};
}

void VulkanRendererAudioMeters::initSwapChainResources() {
    m_swapChainReady = true;
    updateGeometry(kAudioMetersMaxColumns);
}

void VulkanRendererAudioMeters::releaseSwapChainResources() {
    // The running job records its whole frame before the swap chain goes; that frame
    // is handed back here.
    m_watcher.waitForFinished();
    completePendingFrame();
    m_swapChainReady = false;
}

void VulkanRendererAudioMeters::releaseResources() {
    m_watcher.waitForFinished();
    m_basicPipeline.release();
    m_metersPipeline.release();
    destroyVertexBuffer();
    m_vertOffset.release();
    m_vertOffsetUv.release();
    m_fragBasic.release();
    m_fragMeters.release();
}

void VulkanRendererAudioMeters::setTrackDescriptors(QList<PanelAudioMeterTrackDescriptor*> descriptors) {
    QMutexLocker lock(&m_mutex);
    clearTracks();
    if (descriptors.size() > int(kAudioMetersMaxColumns))
        qDebug("ERR : Invalid track descriptor count : %d", int(descriptors.size()));
    for (const PanelAudioMeterTrackDescriptor* descriptor : descriptors)
        m_tracks.append(new PanelAudioMeterTrackDescriptor(nullptr, descriptor));
}

void VulkanRendererAudioMeters::setRecordingHook(AudioMetersRecordingHook hook) {
    QMutexLocker lock(&m_mutex);
    m_recordingHook = std::move(hook);
}

int VulkanRendererAudioMeters::trackCount() {
    QMutexLocker lock(&m_mutex);
    return int(m_tracks.size());
}

void VulkanRendererAudioMeters::updateGeometry(uint32_t columns) {
    // The recording reads one record per column: never more columns than a full list.
    columns = std::min(columns, kAudioMetersMaxColumns);
    if (!m_swapChainReady) {
        QMutexLocker lock(&m_mutex);
        m_columns = columns;
        qDebug("Swapchain not initialized");
        return;
    }
    // The frame in flight ends with the count and the geometry it began with.
    m_watcher.waitForFinished();
    QMutexLocker lock(&m_mutex);
    m_columns = columns;
    const QSize image = m_window->swapChainImageSize();
    const double ratio = m_window->devicePixelRatio() > 0.0 ? m_window->devicePixelRatio() : 1.0;
    const uint32_t width = uint32_t(image.width() / ratio);
    const uint32_t height = uint32_t(image.height() / ratio);
    if (width == 0 || height == 0) return;
    if (m_window->graphicsQueue() == VK_NULL_HANDLE) {
        qDebug("No graphic queue");
        return;
    }
    if (m_functions->vkQueueWaitIdle(m_window->graphicsQueue()) != VK_SUCCESS) {
        qDebug("Erreur wait idle");
        return;
    }
    m_scaleX = 2.0f / float(width);
    m_scaleY = 2.0f / float(height);
    if (m_vertexBuffer.memory == VK_NULL_HANDLE) return;
    std::vector<float> vertices(size_t(kAudioMetersVertexCount) * kAudioMetersFloatsPerVertex);
    audio_meters_build_vertices(width, height, vertices.data());
    void* mapped = nullptr;
    if (m_functions->vkMapMemory(m_device, m_vertexBuffer.memory, 0, kVertexBytes, 0, &mapped) != VK_SUCCESS) {
        showVulkanError(QStringLiteral("Memory map failed (40)"));
        return;
    }
    std::memcpy(mapped, vertices.data(), kVertexBytes);
    m_functions->vkUnmapMemory(m_device, m_vertexBuffer.memory);
}

void VulkanRendererAudioMeters::startNextFrame() {
    m_framePending = true;
    QThreadPool* pool = QThreadPool::globalInstance();
    m_frameJob = pool ? QtConcurrent::run(pool, [this] { renderFrame(); }) : QFuture<void>();
    m_watcher.setFuture(m_frameJob);
}

void VulkanRendererAudioMeters::onRenderFinished() { completePendingFrame(); }

// Exactly one frameReady follows each startNextFrame.
void VulkanRendererAudioMeters::completePendingFrame() {
    if (!m_framePending) return;
    m_framePending = false;
    m_window->frameReady();
}

void VulkanRendererAudioMeters::pushOffset(VkCommandBuffer commands, const VulkanPipeline& pipeline, float x,
                                           float y) {
    const float offset[2] = {x, y};
    m_functions->vkCmdPushConstants(commands, pipeline.layout, VK_SHADER_STAGE_VERTEX_BIT, 0, sizeof(offset), offset);
}

void VulkanRendererAudioMeters::pushColour(VkCommandBuffer commands, const VulkanPipeline& pipeline,
                                           const float colour[4]) {
    m_functions->vkCmdPushConstants(commands, pipeline.layout, VK_SHADER_STAGE_FRAGMENT_BIT, 16, 16, colour);
}

void VulkanRendererAudioMeters::renderFrame() {
    QMutexLocker lock(&m_mutex);
    VkCommandBuffer commands = m_window->currentCommandBuffer();
    const QSize size = m_window->swapChainImageSize();

    VkClearValue clear[3]{};
    std::memcpy(clear[0].color.float32, kClearColour, sizeof(kClearColour));
    clear[1].depthStencil = {1.0f, 0};
    clear[2].color = clear[0].color;
    VkRenderPassBeginInfo begin{};
    begin.sType = VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO;
    begin.renderPass = m_window->defaultRenderPass();
    begin.framebuffer = m_window->currentFramebuffer();
    begin.renderArea.extent.width = uint32_t(size.width());
    begin.renderArea.extent.height = uint32_t(size.height());
    begin.clearValueCount = m_window->sampleCountFlagBits() > VK_SAMPLE_COUNT_1_BIT ? 3 : 2;
    begin.pClearValues = clear;
    m_functions->vkCmdBeginRenderPass(commands, &begin, VK_SUBPASS_CONTENTS_INLINE);

    const VkViewport viewport{0.0f, 0.0f, float(size.width()), float(size.height()), 0.0f, 1.0f};
    m_functions->vkCmdSetViewport(commands, 0, 1, &viewport);
    const VkRect2D scissor{{0, 0}, {uint32_t(size.width()), uint32_t(size.height())}};
    m_functions->vkCmdSetScissor(commands, 0, 1, &scissor);

    uint32_t drawn = 0;
    if (m_recordingHook) m_recordingHook(AudioMetersRecordingStep_PassBegun, drawn);
    const bool ready = arePipelinesReady() && m_vertexBuffer.buffer != VK_NULL_HANDLE;
    if (ready) {
        const VkDeviceSize zero = 0;
        m_functions->vkCmdBindVertexBuffers(commands, 0, 1, &m_vertexBuffer.buffer, &zero);
        const VkPipelineBindPoint graphics = VK_PIPELINE_BIND_POINT_GRAPHICS;
        if (m_tracks.size() == int(kAudioMetersMaxColumns)) {
            const uint32_t columns = std::min<uint32_t>(m_columns, uint32_t(m_tracks.size()));
            for (uint32_t i = 0; i < columns; ++i) {
                const PanelAudioMeterTrackDescriptor* d = m_tracks[int(i)];
                const float x = float(kAudioMetersColumnX + kAudioMetersColumnStep * i) * m_scaleX;
                // Absent first: an absent channel also reads as muted.
                if (!d->isEnabled() || d->isMuted()) {
                    m_functions->vkCmdBindPipeline(commands, graphics, m_basicPipeline.pipeline);
                    pushOffset(commands, m_basicPipeline, x, 0.0f);
                    pushColour(commands, m_basicPipeline, d->isEnabled() ? kMutedColour : kAbsentColour);
                    m_functions->vkCmdDraw(commands, 4, 1, kAudioMetersColumnFirst, 0);
                    if (d->isEnabled()) {
                        pushColour(commands, m_basicPipeline, kPeakColour);
                        m_functions->vkCmdDraw(commands, 4, 1, kAudioMetersPeakFirst, 0);
                    }
                    continue;
                }
                m_functions->vkCmdBindPipeline(commands, graphics, m_metersPipeline.pipeline);
                pushOffset(commands, m_metersPipeline, x, 0.0f);
                const float level[4] = {d->level, d->level, d->level, 1.0f};
                pushColour(commands, m_metersPipeline, level);
                m_functions->vkCmdDraw(commands, 4, 1, kAudioMetersColumnFirst, 0);
                m_functions->vkCmdBindPipeline(commands, graphics, m_basicPipeline.pipeline);
                const float peak = std::clamp(2.0f * d->peak, m_scaleY, 2.0f - m_scaleY);
                pushOffset(commands, m_basicPipeline, x, peak);
                pushColour(commands, m_basicPipeline, kPeakColour);
                m_functions->vkCmdDraw(commands, 4, 1, kAudioMetersPeakFirst, 0);
            }
            drawn = columns;
        } else {
            qDebug("WARN ----- Array track not set");
        }
        m_functions->vkCmdBindPipeline(commands, graphics, m_basicPipeline.pipeline);
        pushOffset(commands, m_basicPipeline, 0.0f, 0.0f);
        pushColour(commands, m_basicPipeline, kTickColour);
        m_functions->vkCmdDraw(commands, kAudioMetersScaleVertices, 1, kAudioMetersLeftScaleFirst, 0);
        m_functions->vkCmdDraw(commands, kAudioMetersScaleVertices, 1, kAudioMetersRightScaleFirst, 0);
        for (uint32_t k = 0; k < 7; ++k) {
            pushOffset(commands, m_basicPipeline, float(kAudioMetersSeparatorX + kAudioMetersColumnStep * k) * m_scaleX,
                       0.0f);
            m_functions->vkCmdDraw(commands, kAudioMetersSeparatorVertices, 1, kAudioMetersSeparatorFirst, 0);
        }
    }
    m_functions->vkCmdEndRenderPass(commands);
    if (m_recordingHook) m_recordingHook(AudioMetersRecordingStep_Recorded, drawn);
}
