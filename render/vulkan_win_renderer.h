#pragma once
// The renderer of the video window: it owns everything the window shows (canvas,
// default images, tiled video textures, overlay textures, vertex buffers, descriptor
// sets, shader libraries and pipelines), records each frame on a worker of the
// global thread pool and hands it back to Qt on the GUI thread.
//
// Threads: everything public runs on the GUI thread unless said otherwise; each frame
// is recorded on a worker of the global pool, which holds rendererMutex for the whole
// recording. Every value the recording reads is written either under rendererMutex
// (the display modes, guide switches, colours and overlay switches: a change waits at
// most for the frame being recorded, and no frame mixes old and new values) or only
// once the frame in flight has ended (vertex data, textures, descriptor sets).
//
// Locks, always taken in this order: rendererMutex, then videoTextureMutex or one of
// the two overlay mutexes, then the texture set's own lock. Everything that destroys,
// re-creates or overwrites what a recorded frame uses goes through completeFrames()
// first (wait for the recording job, submit the recorded frame, wait for the queue).
// The recording never waits for the GUI thread, so the GUI thread may block on these
// locks.
//
// The implementation is split by concern: vulkan_win_renderer.cpp (lifecycle and
// settings), vulkan_win_renderer_resources.cpp (samplers, images, host buffers),
// vulkan_win_renderer_frame.cpp (frame recording and video textures),
// vulkan_win_renderer_geometry.cpp (zoom, pan, vertex data) and
// vulkan_win_renderer_overlays.cpp (background, guides, overlays).
#include <QElapsedTimer>
#include <QFuture>
#include <QFutureWatcher>
#include <QImage>
#include <QMutex>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVulkanWindow>
#include <atomic>
#include <functional>
#include <memory>

#include "render/base_gpu_2d_canvas.h"
#include "render/canvas_colours.h"
#include "render/canvas_modes.h"
#include "render/video_pipelines.h"
#include "render/vulkan_descriptors.h"
#include "render/vulkan_texture.h"

class FileToPlay;
class PlayerLayout;
class QVulkanDeviceFunctions;
class VulkanTextureSet;
class VulkanWindow;
struct VideoFrame;

// How the movie's alpha is to be shown, as its metadata says.
enum VideoSourceAlpha : uint32_t {
    VideoSourceAlpha_Unspecified = 0,  // the alpha mode is left as it is
    VideoSourceAlpha_Premultiplied = 1,
    VideoSourceAlpha_Straight = 2,
};

// What the renderer needs of an opened movie (allocVideoTextures).
struct VideoSourceInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t codec = 0;          // video 4CC, big-endian character code
    uint32_t textureFormat = 0;  // VideoDataFormat of the decoded frames
    uint8_t hasAlpha = 0;
    uint32_t alphaKind = VideoSourceAlpha_Unspecified;
    uint8_t hasDisplayWindow = 0;  // display-window metadata present and valid
    uint32_t displayWindowWidth = 0;
    uint32_t displayWindowHeight = 0;
    uint32_t displayWindowX = 0;  // position of the frame inside the display window
    uint32_t displayWindowY = 0;
};

// Host-visible buffer; only grows.
struct VulkanHostBuffer {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    VkDeviceSize size = 0;
    VkDeviceSize capacity = 0;
};

// One of the two default images (player icon, corrupt frame): a linear image written
// by the host, or a staging image copied into an optimal one; the layout change is
// recorded into the next frame (flushStaging).
struct VulkanUiImage {
    VkImage image = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    VkImageView view = VK_NULL_HANDLE;
    VkImage stagingImage = VK_NULL_HANDLE;
    VkDeviceMemory stagingMemory = VK_NULL_HANDLE;
    VkDescriptorImageInfo info{};
    QSize size;
    VkFormat format = VK_FORMAT_UNDEFINED;
    bool linearPending = false;
    bool stagingPending = false;
};

// What one recorded frame drew with, as the recording read it.
struct RecordedFrame {
    QString videoPipeline;                      // the tiles' pipeline; empty when none was chosen
    VkFilter videoFilter = VK_FILTER_MAX_ENUM;  // of the tiles' sampler; MAX_ENUM when no set was written
    QString background;                         // the background's pipeline; empty when none was drawn
    float clearColour[3] = {0.0f, 0.0f, 0.0f};
    uint32_t guideLines = 0;  // guide lines drawn
};

// The points of a recording at which the recording hook is called.
enum RecordingStep : uint32_t {
    RecordingStep_PipelineChosen = 0,  // the video pipeline is chosen, its descriptors not yet written
    RecordingStep_Recorded = 1,        // the render pass has ended
};
using RecordingHook = std::function<void(RecordingStep step, const RecordedFrame& frame)>;

class VulkanWinRenderer : public QVulkanWindowRenderer {
public:
    explicit VulkanWinRenderer(VulkanWindow* window);
    ~VulkanWinRenderer() override;
    VulkanWinRenderer(const VulkanWinRenderer&) = delete;
    VulkanWinRenderer& operator=(const VulkanWinRenderer&) = delete;

    // Qt's lifecycle (GUI thread).
    void preInitResources() override;
    void initResources() override;
    void initSwapChainResources() override;
    void releaseSwapChainResources() override;
    void releaseResources() override;
    void startNextFrame() override;

    // Main-window API (GUI thread).
    void copyVideoFrame(const VideoFrame& frame);
    void allocVideoTextures(FileToPlay* file);
    void allocVideoTextures(const VideoSourceInfo& source);
    void forceStop();
    void refresh();

    // Before choosing the next frame to hand over: the frame in flight, if any, is
    // recorded, handed back to Qt (presented) and the queue drained, so the upload that
    // follows does not wait (a frame chosen before that wait reaches the screen the
    // whole wait later). Nothing before the initialisation ends.
    void finishFrameInFlight() { forceStop(); }
    // How long a frame handed over takes to reach the screen: the median, in
    // milliseconds, of the last kPresentDelaySamples times from copyVideoFrame to the
    // return of the present (Qt's frameReady) of the first frame drawn with it. The
    // present is the last step the renderer sees: where the driver presents later
    // still, what it queues is not in it. 0 until kPresentDelayLeastSamples handed
    // frames were presented.
    double presentDelayMs() const;
    static constexpr uint32_t kPresentDelaySamples = 16;
    static constexpr uint32_t kPresentDelayLeastSamples = 4;
    // The number (VideoFrame::frame_number) of the video frame the last present
    // showed; -1 before any. The window's viewVideoFramePresented says each new one.
    int64_t presentedFrame() const { return presented; }

    // Display modes, guide switches and colours: stored under rendererMutex, so each
    // waits for a frame being recorded and shows from the next frame on. The getters
    // below read them without the lock (the GUI thread is their only writer).
    void setChannelMode(uint32_t mode) { setDisplayValue(&BaseGpu2dCanvas::channelMode, mode); }
    void setBackgroundMode(uint32_t mode) { setDisplayValue(&BaseGpu2dCanvas::backgroundMode, mode); }
    void setAlphaMode(uint32_t mode) { setDisplayValue(&BaseGpu2dCanvas::alphaMode, mode); }
    void setScaleMode(uint32_t mode) { setDisplayValue(&BaseGpu2dCanvas::scaleMode, mode); }
    void setCropBoxDisplayMode(uint32_t mode) { setDisplayValue(&BaseGpu2dCanvas::cropBoxDisplayMode, mode); }
    void setShowSafeArea(bool show) { setDisplayValue(&BaseGpu2dCanvas::showSafeArea, uint8_t(show ? 1 : 0)); }
    void setShowVideoArea(bool show) { setDisplayValue(&BaseGpu2dCanvas::showVideoArea, uint8_t(show ? 1 : 0)); }
    void setShowCropBoxArea(bool show) { setDisplayValue(&BaseGpu2dCanvas::showCropBoxArea, uint8_t(show ? 1 : 0)); }
    void setBackgroundColors(const CanvasColours& colours);
    uint32_t channelMode() const { return canvas->channelMode; }
    uint32_t backgroundModeRaw() const { return canvas->backgroundMode; }
    uint32_t alphaModeRaw() const { return canvas->alphaMode; }
    uint32_t scaleModeRaw() const { return canvas->scaleMode; }
    uint32_t cropBoxDisplayMode() const { return canvas->cropBoxDisplayMode; }
    // Sanitised values: alpha 0 or 1; scale 0, 1 or 2; background in the snapshot
    // side's numbering (Custom Color 4, Custom Checkerboard 5).
    uint32_t alphaMode() const;
    uint32_t scaleMode() const;
    uint32_t backgroundMode() const;
    // The view size, read only by refresh() on this thread.
    void setImageSize(QSize size);

    // Zoom and pan (points in view pixels). A step at a point keeps the image point
    // under it, even with the picture past a view edge, until the next pan; a step
    // around the centre keeps the picture inside the view or covering it.
    void zoomFit();
    void setZoomLevel(int level);
    static QStringList zoomLevelNames();
    int zoomLevelIndex() const;
    void zoomIn();  // around the view centre
    void zoomInAt(QPointF point);
    void zoomInCentre();
    void zoomOut();
    void zoomOutAt(QPointF point);
    void zoomOutCentre();
    void zoomBy(float step);
    void zoomByAt(float step, QPointF point);
    void zoomByCentre(float step);
    void resetPanOffset();
    void panBegin(QPointF point);
    void panMove(QPointF point);
    void panEnd();
    // Times in seconds of a monotonic clock (interactionClockSeconds).
    bool beginPanMode(double seconds);
    bool endPanMode(double seconds, bool* tap);
    bool dragBegin(QPointF point);
    void dragTo(QPointF point);
    int interactionState() const;
    // Seconds since an arbitrary start, from a monotonic clock, with millisecond
    // resolution: the time to hand to beginPanMode and endPanMode.
    static double interactionClockSeconds();

    // Overlays and guides.
    void setHighDpi(bool highDpi);
    void setShowErrorOverlay(bool show);
    void setShowInformationOverlay(bool show);
    // The message box's image, for a box of `box` view pixels (the image at the
    // texture's scale, 2 with the high-DPI flag): a new size re-creates the box's
    // texture, cut to what the device can hold, and moves its quad at once. Without
    // `box` the box keeps its size.
    void updateErrorOverlayImage(QImage image, QSize box);
    void updateErrorOverlayImage(QImage image);
    bool setInformationOverlayImage(QImage image, uint32_t height);

    // Pipeline vocabulary, forwarded to the pipeline set.
    void registerShaders() { pipelines.registerShaders(); }
    bool createPipelineOneTexture(uint32_t sourceKind, uint32_t outputKind, uint32_t blendKind,
                                  const QStringList& names, VkPrimitiveTopology topology) {
        return pipelines.createPipelineOneTexture(sourceKind, outputKind, blendKind, names, topology);
    }
    bool createPipelineTwoTextures(uint32_t sourceKind, uint32_t outputKind, uint32_t blendKind,
                                   const QStringList& names) {
        return pipelines.createPipelineTwoTextures(sourceKind, outputKind, blendKind, names);
    }
    bool createUiPipelines() { return pipelines.createUiPipelines(); }
    bool createVideoPipelines() { return pipelines.createVideoPipelines(); }
    static QString selectVideoPipeline(uint32_t codec, uint8_t fileHasAlpha, uint32_t channelMode, uint32_t scaleMode,
                                       uint32_t alphaMode, uint32_t planes[4]) {
        return VideoPipelines::selectVideoPipeline(codec, fileHasAlpha, channelMode, scaleMode, alphaMode, planes);
    }

    // Test seam: a hook the recording calls on its worker thread, with rendererMutex
    // held, at each RecordingStep (empty: none); it must not throw. Waits for a frame
    // being recorded.
    void setRecordingHook(RecordingHook hook);

    // Read-only views for the main window and the tests.
    bool isInitialised() const { return initialised; }
    QString statusText() const { return status; }
    const BaseGpu2dCanvas& canvasState() const { return *canvas; }
    // For the tests: what is written through it bypasses rendererMutex.
    BaseGpu2dCanvas& canvasState() { return *canvas; }
    const VulkanPipelineLib& pipelineRegistry() const { return pipelines.registry; }
    CanvasDrawInfo drawInfo(uint32_t entry) const;
    uint32_t vertexCount() const { return vertexData.vertexCount; }
    uint32_t vertexCapacity() const { return vertexCapacityCount; }
    bool isCorruptFrameShown() const { return corruptFrame != 0; }
    // A frame was asked for and not yet handed back to Qt.
    bool isFramePending() const { return framePending != 0; }
    bool hasVideoFrame() const { return videoFrameReady; }
    uint32_t videoTileCount() const;
    uint32_t informationOverlayHeightValue() const { return informationOverlayHeight; }
    bool isHighDpi() const { return highDpi != 0; }

    static void color_to_float4(const QColor& colour, float out[4]);

private:
    // Lifecycle helpers.
    VkResult completeFrames();
    void completePendingFrame();
    // A frame handed over that a present has not shown yet (all GUI thread).
    void noteHandedFrame(uint32_t number, qint64 handedAtNs);
    void notePresented();
    void onRenderFinished();
    bool createSamplers();
    void destroySamplers();
    void writeDefaultImageDescriptors();

    // Frame recording (worker thread, rendererMutex held).
    void renderFrame();
    void recordFrame(VkCommandBuffer commands);
    void drawDefaultImage(VkCommandBuffer commands);
    void drawTiles(VkCommandBuffer commands);
    void updateDescriptors(uint32_t frameSlot);
    void flushStaging(VkCommandBuffer commands, VulkanUiImage& texture);
    void drawBackground(VkCommandBuffer commands);
    void drawGuides(VkCommandBuffer commands);
    void drawOverlays(VkCommandBuffer commands);
    bool bindMainVertexBuffer(VkCommandBuffer commands);

    // Video textures (GUI thread).
    void reallocVideoTextures();
    void computeTiles(VideoTileLayout* tiles, uint32_t width, uint32_t height, uint32_t maxWidth, uint32_t maxHeight,
                      uint32_t pixelFormat, uint32_t textureKind);
    bool recreateVideoDescriptorSets();

    // Default images.
    bool createTextureFromImage(const QString& path, VulkanUiImage* texture, VkSampler sampler);
    bool createImage(const QSize& size, VkFormat format, VkImageTiling tiling, VkImageUsageFlags usage,
                     VkMemoryPropertyFlags memoryKind, VkImage* image, VkDeviceMemory* memory);
    bool copyImageToMemory(const QImage& image, VkImage target, VkDeviceMemory memory);
    void destroyUiImage(VulkanUiImage* texture);

    // Host buffers.
    VkResult createVertexBuffer(VulkanHostBuffer* buffer, VkDeviceSize alignment, VkDeviceSize size);
    VkResult copyToMappedBuffer(VulkanHostBuffer* buffer, const void* data, VkDeviceSize bytes);
    void destroyHostBuffer(VulkanHostBuffer* buffer);
    void recreateVertexBuffer();
    void buildVertexData(PlayerLayout* layout);

    // Overlays.
    void createInfoErrorTexture();
    bool createErrorOverlayTexture();
    VkResult createStagedTexture(VulkanTexture* texture, VkFormat format, QSize size);
    bool uploadOverlayTexture(VulkanTexture* texture, const QImage* image);
    void destroyOverlayTextures();

    VulkanWindow* window = nullptr;
    QString status;
    bool initialised = false;
    PlayerLayout* layout = nullptr;
    std::unique_ptr<BaseGpu2dCanvas> canvas;
    bool swapChainReady = false;
    VkSampler nearestSampler = VK_NULL_HANDLE;
    VkSampler linearSampler = VK_NULL_HANDLE;
    QFuture<void> frameJob;
    QFutureWatcher<void> frameWatcher;
    uint8_t framePending = 0;
    // The video frame handed over last, and the one the frame in flight was recorded
    // with, each with the time it was handed over (ns of presentClock); GUI thread.
    struct HandedFrame {
        uint32_t number = 0;
        qint64 handedAtNs = 0;
        bool valid = false;
    };
    HandedFrame handed;
    HandedFrame inFlight;
    int64_t presented = -1;
    QElapsedTimer presentClock;
    double presentDelays[kPresentDelaySamples] = {};
    uint32_t presentDelayCount = 0;
    uint32_t presentDelayNext = 0;
    QMutex rendererMutex;
    QMutex videoTextureMutex;
    VideoPipelines pipelines;
    VulkanDescriptorSets defaultImageSets;
    VulkanDescriptorSets overlaySets;
    VulkanDescriptorSets videoOneTextureSets;
    VulkanDescriptorSets videoTwoTextureSets;
    VulkanHostBuffer vertexBuffer;
    CanvasVertexData vertexData;
    uint32_t vertexCapacityCount = 0;
    uint8_t highDpi = 0;
    uint32_t informationOverlayHeight = 400;
    QSize errorOverlaySize{450, 120};  // view pixels, centred in the view
    VulkanUiImage iconPlayer;
    VulkanUiImage corruptFrameImage;
    std::atomic<uint8_t> corruptFrame{0};  // written by the GUI thread, read by the recording
    // The texture set holds an uploaded frame of the current layout, with its sets.
    bool videoFrameReady = false;
    // The video pipeline and texture planes of the frame being recorded.
    struct VideoPipelineChoice {
        QString name;
        uint32_t planes[4] = {kVideoPlaneUnused, kVideoPlaneUnused, kVideoPlaneUnused, kVideoPlaneUnused};
        uint32_t used = 0;
    } frameChoice;
    // The recording reads the display values more than once per frame (the scale mode
    // for the pipeline and again for the sampler): they change only between frames,
    // under the lock the recording holds, so a frame never draws the bicubic pipeline
    // with the nearest sampler or the new background behind the old channel mode.
    template <class T>
    void setDisplayValue(T BaseGpu2dCanvas::*field, T value) {
        QMutexLocker lock(&rendererMutex);
        canvas.get()->*field = value;
    }
    // What the frame being recorded draws with, and the hook that is shown it.
    RecordedFrame recorded;
    RecordingHook recordingHook;
    QVulkanInstance* instance = nullptr;
    QVulkanDeviceFunctions* functions = nullptr;
    VkDevice device = VK_NULL_HANDLE;
    VkDeviceSize minUniformBufferOffsetAlignment = 1;
    uint32_t concurrentFrameCount = 1;
    std::unique_ptr<VulkanTextureSet> textureSet;
    // One-time uploads of the overlay textures: a pool of the GUI thread's own, never
    // the one the frames are recorded from.
    VkCommandPool uploadPool = VK_NULL_HANDLE;
    VulkanHostBuffer errorOverlayBuffer;
    VulkanHostBuffer informationOverlayBuffer;
    VulkanTexture errorOverlayTexture;
    VulkanTexture informationOverlayTexture;
    QMutex errorOverlayMutex;
    QMutex informationOverlayMutex;
    uint8_t showErrorOverlay = 0;
    uint8_t showInformationOverlay = 0;
    std::atomic<uint8_t> initInProgress{0};
};
