#include "tests/render/vulkan_harness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QMutexLocker>
#include <QSignalSpy>
#include <QThreadPool>
#include <QVulkanDeviceFunctions>
#include <QVulkanFunctions>
#include <QtConcurrent/QtConcurrentRun>
#include <cstring>

#include "render/vulkan_objects.h"
#include "render/vulkan_render_pass.h"

namespace vktest {

namespace {

QMutex g_validation_mutex;
QStringList g_validation_errors;
QStringList g_validation_warnings;

bool validation_filter(VkDebugReportFlagsEXT flags, VkDebugReportObjectTypeEXT, uint64_t, size_t, int32_t,
                       const char* layerPrefix, const char* message) {
    const QString text = QStringLiteral("%1: %2").arg(QString::fromUtf8(layerPrefix), QString::fromUtf8(message));
    QMutexLocker lock(&g_validation_mutex);
    if (flags & VK_DEBUG_REPORT_ERROR_BIT_EXT)
        g_validation_errors.append(text);
    else if (flags & (VK_DEBUG_REPORT_WARNING_BIT_EXT | VK_DEBUG_REPORT_PERFORMANCE_WARNING_BIT_EXT))
        g_validation_warnings.append(text);
    return false;  // Qt still prints it
}

struct InstanceState {
    QVulkanInstance* instance = nullptr;
    bool validation = false;
};

InstanceState& instance_state() {
    static InstanceState state = [] {
        InstanceState s;
        ensure_application();
        auto* instance = new QVulkanInstance;
        instance->setLayers({"VK_LAYER_KHRONOS_validation"});
        instance->installDebugOutputFilter(validation_filter);
        if (!instance->create()) {
            delete instance;
            return s;
        }
        s.instance = instance;
        s.validation = instance->layers().contains("VK_LAYER_KHRONOS_validation") &&
                       instance->extensions().contains("VK_EXT_debug_report");
        return s;
    }();
    return state;
}

// Qt message capture: one active capture at a time is enough for the tests.
QMutex g_capture_mutex;
QStringList* g_captured = nullptr;
QtMessageHandler g_previous_handler = nullptr;

void capture_handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    {
        QMutexLocker lock(&g_capture_mutex);
        if (g_captured) g_captured->append(message);
    }
    if (g_previous_handler) g_previous_handler(type, context, message);
}

// Frames are recorded on the thread pool and handed back to Qt on the GUI thread
// through a future watcher, one frame in flight at a time.
class HarnessRenderer : public QVulkanWindowRenderer {
public:
    explicit HarnessRenderer(TestVulkanWindow* w) : window(w) {
        QObject::connect(&watcher, &QFutureWatcher<void>::finished, window, [this] { finishFrame(); });
    }
    ~HarnessRenderer() override { watcher.waitForFinished(); }

    void initResources() override {
        if (window->onInitResources) window->onInitResources(*window);
    }
    void releaseSwapChainResources() override {
        watcher.waitForFinished();
        finishFrame();
    }
    void releaseResources() override {
        watcher.waitForFinished();
        if (window->onReleaseResources) window->onReleaseResources(*window);
    }
    void startNextFrame() override {
        framePending = true;
        window->pending.storeRelease(1);
        watcher.setFuture(QtConcurrent::run(QThreadPool::globalInstance(), [this] { record(); }));
    }

private:
    void finishFrame() {
        if (!framePending) return;
        framePending = false;
        window->pending.storeRelease(0);
        window->frameReady();
    }

    void record() {
        QVulkanDeviceFunctions* f = window->deviceFunctions();
        VkClearColorValue clear{};
        memcpy(clear.float32, window->clearColor, sizeof(window->clearColor));
        VkCommandBuffer commands = window->currentCommandBuffer();
        vk_begin_window_render_pass(window, f, commands, clear);
        if (window->onRecord) window->onRecord(*window, commands);
        f->vkCmdEndRenderPass(commands);
        window->recorded.fetchAndAddRelease(1);
    }

    TestVulkanWindow* window;
    QFutureWatcher<void> watcher;
    bool framePending = false;
};

}  // namespace

bool wait_until(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void ensure_application() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "render_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives for the whole program
}

QVulkanInstance* vulkan_instance() { return instance_state().instance; }
bool validation_enabled() { return instance_state().validation; }

void clear_validation_messages() {
    QMutexLocker lock(&g_validation_mutex);
    g_validation_errors.clear();
    g_validation_warnings.clear();
}

QStringList validation_errors() {
    QMutexLocker lock(&g_validation_mutex);
    return g_validation_errors;
}

QStringList validation_warnings() {
    QMutexLocker lock(&g_validation_mutex);
    return g_validation_warnings;
}

MessageCapture::MessageCapture() {
    QMutexLocker lock(&g_capture_mutex);
    g_captured = new QStringList;
    g_previous_handler = qInstallMessageHandler(capture_handler);
}

MessageCapture::~MessageCapture() {
    qInstallMessageHandler(g_previous_handler);
    QMutexLocker lock(&g_capture_mutex);
    delete g_captured;
    g_captured = nullptr;
    g_previous_handler = nullptr;
}

QStringList MessageCapture::messages() const {
    QMutexLocker lock(&g_capture_mutex);
    return g_captured ? *g_captured : QStringList();
}

bool MessageCapture::contains(const QString& text) const {
    for (const QString& m : messages())
        if (m.contains(text)) return true;
    return false;
}

TestVulkanWindow::TestVulkanWindow() {
    setPreferredColorFormats({VK_FORMAT_B8G8R8A8_UNORM, VK_FORMAT_R8G8B8A8_UNORM});
}

QVulkanWindowRenderer* TestVulkanWindow::createRenderer() { return new HarnessRenderer(this); }

QVulkanDeviceFunctions* TestVulkanWindow::deviceFunctions() { return vulkanInstance()->deviceFunctions(device()); }

bool show_and_wait_ready(QVulkanWindow& window, QSize size, int timeoutMs) {
    window.resize(size);
    window.show();
    return wait_until([&] { return window.isValid() && !window.swapChainImageSize().isEmpty(); }, timeoutMs);
}

void hide_and_release(QVulkanWindow& window, int timeoutMs) {
    // Hiding releases the swap chain, the renderer's resources and the device while
    // the surface still exists.
    window.hide();
    wait_until([&] { return !window.isValid(); }, timeoutMs);
}

QImage grab_frame(QVulkanWindow& window, int timeoutMs) {
    QSignalSpy spy(&window, &QVulkanWindow::frameGrabbed);
    QElapsedTimer timer;
    timer.start();
    // grab() refuses (null image) while a frame is pending: retry until it is taken.
    // With recording on a worker, the pixels arrive only through frameGrabbed.
    while (true) {
        const QImage direct = window.grab();
        if (!direct.isNull() || spy.count() > 0) break;
        if (timer.elapsed() > timeoutMs) return QImage();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (!wait_until([&] { return spy.count() > 0; }, std::max<int>(1, timeoutMs - int(timer.elapsed()))))
        return QImage();
    QImage image = spy.takeFirst().at(0).value<QImage>();
    const VkFormat format = window.colorFormat();
    if (format == VK_FORMAT_B8G8R8A8_UNORM || format == VK_FORMAT_B8G8R8A8_SRGB) image = image.rgbSwapped();
    return image.convertToFormat(QImage::Format_RGBA8888);
}

bool wait_window_idle(TestVulkanWindow& window, int timeoutMs) {
    if (!wait_until([&] { return window.idle(); }, timeoutMs)) return false;
    if (window.device()) window.deviceFunctions()->vkQueueWaitIdle(window.graphicsQueue());
    return true;
}

HostBuffer create_vertex_buffer(QVulkanWindow& window, const void* data, size_t bytes) {
    HostBuffer result;
    QVulkanDeviceFunctions* f = window.vulkanInstance()->deviceFunctions(window.device());
    VkDevice device = window.device();
    if (!vk_create_buffer(&window, f, device, bytes, VK_BUFFER_USAGE_VERTEX_BUFFER_BIT, VulkanMemoryKind::HostVisible,
                          &result.buffer, &result.memory)
             .ok())
        return HostBuffer{};
    void* mapped = nullptr;
    if (f->vkMapMemory(device, result.memory, 0, bytes, 0, &mapped) == VK_SUCCESS) {
        memcpy(mapped, data, bytes);
        f->vkUnmapMemory(device, result.memory);
    }
    return result;
}

void destroy_buffer(QVulkanWindow& window, HostBuffer& buffer) {
    QVulkanDeviceFunctions* f = window.vulkanInstance()->deviceFunctions(window.device());
    if (buffer.buffer) f->vkDestroyBuffer(window.device(), buffer.buffer, nullptr);
    if (buffer.memory) f->vkFreeMemory(window.device(), buffer.memory, nullptr);
    buffer = HostBuffer{};
}

Samplers create_samplers(QVulkanWindow& window) {
    Samplers samplers;
    vk_create_samplers(window.vulkanInstance()->deviceFunctions(window.device()), window.device(), &samplers.nearest,
                       &samplers.linear);
    return samplers;
}

void destroy_samplers(QVulkanWindow& window, Samplers& samplers) {
    QVulkanDeviceFunctions* f = window.vulkanInstance()->deviceFunctions(window.device());
    if (samplers.nearest) f->vkDestroySampler(window.device(), samplers.nearest, nullptr);
    if (samplers.linear) f->vkDestroySampler(window.device(), samplers.linear, nullptr);
    samplers = Samplers{};
}

void start_validated_test() {
    ensure_application();
    ASSERT_NE(vulkan_instance(), nullptr) << "no Vulkan instance (is a Vulkan driver installed?)";
    ASSERT_TRUE(validation_enabled()) << "the Khronos validation layer is not available";
    clear_validation_messages();
}

void expect_no_validation_errors() {
    const QStringList errors = validation_errors();
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

void VulkanWindowTest::SetUp() {
    start_validated_test();
}

void VulkanWindowTest::TearDown() {
    closeWindow();
    expect_no_validation_errors();
}

TestVulkanWindow* VulkanWindowTest::openWindow(QSize size) {
    window = std::make_unique<TestVulkanWindow>();
    window->setVulkanInstance(vulkan_instance());
    if (!show_and_wait_ready(*window, size)) {
        ADD_FAILURE() << "the Vulkan window did not get ready";
        return nullptr;
    }
    return window.get();
}

void VulkanWindowTest::closeWindow() {
    if (!window) return;
    hide_and_release(*window);
    window.reset();
    QCoreApplication::processEvents();
}

int rgb_distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

}  // namespace vktest
