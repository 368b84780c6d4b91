#pragma once
// Test harness for everything drawn with Vulkan: a real QVulkanWindow (under Xvfb on
// lavapipe in CI) with the Khronos validation layer on, whose renderer records frames
// on the global thread pool as the product's renderers do. Any validation error fails
// the test (checked when the window, and so the device, is gone). Frames are read
// back through frameGrabbed, with red and blue put in RGBA order.
#include <gtest/gtest.h>

#include <QImage>
#include <QMutex>
#include <QSize>
#include <QStringList>
#include <QVulkanInstance>
#include <QVulkanWindow>
#include <functional>
#include <memory>

class QVulkanDeviceFunctions;

namespace vktest {

constexpr int kWaitMs = 20000;  // upper bound of every wait: a broken driver fails, never hangs;
                                // generous for lavapipe on a loaded machine under the sanitizers

// The application object (created on first use; gtest_main has none) and the Vulkan
// instance with validation, shared by all tests of the program. Null instance when
// Vulkan is unavailable.
void ensure_application();
QVulkanInstance* vulkan_instance();
bool validation_enabled();

// Validation errors and warnings reported by the layer since the last clear.
void clear_validation_messages();
QStringList validation_errors();
QStringList validation_warnings();
// Fixture steps of every window test: the application, the instance and the layer
// must be there (fatal otherwise), and no validation error may be left at the end.
void start_validated_test();
void expect_no_validation_errors();

// Collects Qt debug/warning messages while it lives (thread-safe) and passes them on
// to the previous handler.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    QStringList messages() const;
    bool contains(const QString& text) const;  // some message equals or contains text
};

// A QVulkanWindow whose renderer calls the hooks below. Swap-chain formats are UNORM
// (an sRGB swap chain would gamma-encode every colour the shaders write).
class TestVulkanWindow : public QVulkanWindow {
public:
    TestVulkanWindow();
    QVulkanWindowRenderer* createRenderer() override;

    // GUI thread.
    std::function<void(TestVulkanWindow&)> onInitResources;
    std::function<void(TestVulkanWindow&)> onReleaseResources;
    // Worker thread, inside the default render pass with viewport and scissor set to
    // the whole swap-chain image.
    std::function<void(TestVulkanWindow&, VkCommandBuffer)> onRecord;
    float clearColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};

    QVulkanDeviceFunctions* deviceFunctions();
    int framesRecorded() const { return recorded.loadAcquire(); }
    // No frame between startNextFrame and frameReady.
    bool idle() const { return pending.loadAcquire() == 0; }
    QAtomicInt recorded;
    QAtomicInt pending;
};

// Processes events until `condition` holds; false on timeout.
bool wait_until(const std::function<bool()>& condition, int timeoutMs = kWaitMs);

// Waits until no frame of the window is in flight and its queue is idle, so that the
// GUI thread may replace what recorded frames use. False on timeout.
bool wait_window_idle(TestVulkanWindow& window, int timeoutMs = kWaitMs);

// Shows the window at `size` and waits until its device exists and a first frame has
// been presented. False on timeout.
bool show_and_wait_ready(QVulkanWindow& window, QSize size, int timeoutMs = kWaitMs);
// Hides the window and waits until its swap chain, renderer resources and device are
// gone, so that the window can then be deleted cleanly (deleting a shown QVulkanWindow
// destroys its surface before its swap chain).
void hide_and_release(QVulkanWindow& window, int timeoutMs = kWaitMs);
// Renders one frame and returns it as RGBA8888 with R and B in place; a null image on
// timeout.
QImage grab_frame(QVulkanWindow& window, int timeoutMs = kWaitMs);

// Host-visible vertex buffer with its memory.
struct HostBuffer {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
};
HostBuffer create_vertex_buffer(QVulkanWindow& window, const void* data, size_t bytes);
void destroy_buffer(QVulkanWindow& window, HostBuffer& buffer);

// The renderer's two samplers: nearest and linear, clamp to edge, no mipmaps.
struct Samplers {
    VkSampler nearest = VK_NULL_HANDLE;
    VkSampler linear = VK_NULL_HANDLE;
};
Samplers create_samplers(QVulkanWindow& window);
void destroy_samplers(QVulkanWindow& window, Samplers& samplers);

// Base fixture: checks the instance and its validation layer, owns the window, and
// fails the test on any validation error once the window and its device are gone.
class VulkanWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Creates and shows the window; fails the test (fatally) when it does not get ready.
    TestVulkanWindow* openWindow(QSize size = QSize(128, 128));
    void closeWindow();

    std::unique_ptr<TestVulkanWindow> window;
};

// Largest channel difference over RGB between two pixels.
int rgb_distance(QRgb a, QRgb b);

}  // namespace vktest
