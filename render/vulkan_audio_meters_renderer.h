#pragma once
// The renderer of the audio meters window: for each of up to eight columns a level bar
// with a red - yellow - green ramp (or the muted or absent colour) and a yellow
// held-peak line, plus tick scales at both edges and between the columns. It keeps its
// own copies of the panel's channel records and a 272-vertex buffer rebuilt whenever
// the column count or the window size changes.
//
// Threads: the Qt lifecycle, setTrackDescriptors and updateGeometry run on the GUI
// thread; each frame is recorded on the global thread pool and handed back to Qt on
// the GUI thread through a future watcher. The mutex guards the copies, the column
// count and the geometry for the whole of a recording or an update: everything the
// recording reads is written under it. updateGeometry first waits for the recording
// job, then changes the count and, after the graphics queue, the vertex memory, so a
// frame draws its columns at the geometry they were laid out for. The recording never
// waits for the GUI thread.
//
// Errors: failures to create the vertex buffer are debug messages (the meters then
// draw nothing useful); a failed pipeline or vertex memory map goes to
// showVulkanError.
#include <QFuture>
#include <QFutureWatcher>
#include <QList>
#include <QMutex>
#include <QVulkanWindow>
#include <cstdint>
#include <functional>

#include "render/vulkan_function.h"
#include "render/vulkan_pipeline.h"

class PanelAudioMeterTrackDescriptor;
class QVulkanDeviceFunctions;
class VulkanAudioMetersWidget;

struct AudioMetersVertexBuffer {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    uint32_t size = 0;
    VkDevice device = VK_NULL_HANDLE;
};

// The points of a recording at which the recording hook is called, with the number
// of columns drawn so far.
enum AudioMetersRecordingStep : uint32_t {
    AudioMetersRecordingStep_PassBegun = 0,  // the render pass has begun, no column is drawn yet
    AudioMetersRecordingStep_Recorded = 1,   // the render pass has ended
};
using AudioMetersRecordingHook = std::function<void(AudioMetersRecordingStep step, uint32_t columnsDrawn)>;

class VulkanRendererAudioMeters : public QVulkanWindowRenderer {
public:
    explicit VulkanRendererAudioMeters(VulkanAudioMetersWidget* window);
    ~VulkanRendererAudioMeters() override;
    VulkanRendererAudioMeters(const VulkanRendererAudioMeters&) = delete;
    VulkanRendererAudioMeters& operator=(const VulkanRendererAudioMeters&) = delete;

    void preInitResources() override {}
    void initResources() override;
    void initSwapChainResources() override;
    void releaseSwapChainResources() override;
    void releaseResources() override;
    void startNextFrame() override;

    // Replaces the copies of the channel records (copied now; the caller keeps its
    // own). Columns are drawn only when exactly eight records are held.
    void setTrackDescriptors(QList<PanelAudioMeterTrackDescriptor*> descriptors);
    // Stores the column count, at most eight, and rebuilds the geometry for the
    // current swap chain (only stores it before the swap chain exists).
    void updateGeometry(uint32_t columns);

    // Test seam: a hook the recording calls on its worker thread, with the mutex held,
    // at each AudioMetersRecordingStep (empty: none); it must not throw. Waits for a
    // frame being recorded.
    void setRecordingHook(AudioMetersRecordingHook hook);

    // Read-only views for the panel and the tests (GUI thread, the count's only writer).
    uint32_t columnCount() const { return m_columns; }
    int trackCount();
    bool isSwapChainReady() const { return m_swapChainReady; }
    bool arePipelinesReady() const {
        return m_basicPipeline.pipeline != VK_NULL_HANDLE && m_metersPipeline.pipeline != VK_NULL_HANDLE;
    }

    bool createVertexBuffer(VkDevice device, VkDeviceSize alignment, VkDeviceSize size,
                            AudioMetersVertexBuffer* record);

private:
    void renderFrame();
    void onRenderFinished();
    void completePendingFrame();
    void destroyVertexBuffer();
    void clearTracks();
    void pushOffset(VkCommandBuffer commands, const VulkanPipeline& pipeline, float x, float y);
    void pushColour(VkCommandBuffer commands, const VulkanPipeline& pipeline, const float colour[4]);

    float m_scaleX = 1.0f;
    float m_scaleY = 1.0f;
    QList<PanelAudioMeterTrackDescriptor*> m_tracks;  // owned copies
    VulkanAudioMetersWidget* m_window = nullptr;
    QVulkanDeviceFunctions* m_functions = nullptr;
    QVulkanInstance* m_instance = nullptr;
    VkDevice m_device = VK_NULL_HANDLE;
    VkDeviceSize m_alignment = 1;
    QFuture<void> m_frameJob;
    QFutureWatcher<void> m_watcher;
    bool m_framePending = false;
    QMutex m_mutex;
    VulkanVertexFunction m_vertOffset;
    VulkanVertexFunction m_vertOffsetUv;
    VulkanFunction m_fragBasic;
    VulkanFunction m_fragMeters;
    VulkanPipeline m_metersPipeline;
    VulkanPipeline m_basicPipeline;
    AudioMetersVertexBuffer m_vertexBuffer;
    uint32_t m_columns = 8;
    bool m_swapChainReady = false;
    AudioMetersRecordingHook m_recordingHook;
};
