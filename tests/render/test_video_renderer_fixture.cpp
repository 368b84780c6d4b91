#include "tests/render/test_video_renderer_fixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <cstring>

namespace vktest {

CanvasColours default_colours() {
    CanvasColours colours;
    colours.guides[0] = QColor(255, 0, 0);
    colours.guides[1] = QColor(0, 255, 0);
    colours.guides[2] = QColor(255, 255, 0);
    colours.guides[3] = QColor(255, 0, 255);
    colours.canvas[0] = QColor(0, 0, 0);
    colours.canvas[1] = QColor(27, 43, 54);
    colours.canvas[2] = QColor(255, 255, 255);
    colours.canvas[3] = QColor(228, 85, 87);
    return colours;
}

VideoSourceInfo source_for(const VideoFrame& frame, uint32_t codec, uint8_t hasAlpha) {
    VideoSourceInfo source;
    source.width = frame.width;
    source.height = frame.height;
    source.codec = codec;
    source.textureFormat = frame.data_format;
    source.hasAlpha = hasAlpha;
    return source;
}

VideoSourceInfo source_in_display_window(const VideoFrame& frame, uint32_t codec, uint8_t hasAlpha) {
    VideoSourceInfo source = source_for(frame, codec, hasAlpha);
    source.hasDisplayWindow = 1;
    source.displayWindowWidth = 128;
    source.displayWindowHeight = 96;
    source.displayWindowX = 16;
    source.displayWindowY = 16;
    return source;
}

FramePtr solid_texture_frame(uint32_t width, uint32_t height, uint32_t dataFormat, const uint8_t* block,
                             uint32_t frameNumber) {
    FramePtr frame(video_frame_new());
    dxt_frame_alloc(frame.get(), width, height, dataFormat);
    const uint32_t bytes = frame->block_bytes[0];
    for (uint32_t i = 0; i + bytes <= frame->sizes[0]; i += bytes) memcpy(frame->planes[0] + i, block, bytes);
    frame->frame_number = frameNumber;
    return frame;
}

void bc1_solid_block(uint8_t block[8], uint8_t r, uint8_t g, uint8_t b) {
    const uint16_t c = uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    block[0] = block[2] = uint8_t(c & 0xff);
    block[1] = block[3] = uint8_t(c >> 8);
    block[4] = block[5] = block[6] = block[7] = 0;
}

QRgb bc1_solid_colour(uint8_t r, uint8_t g, uint8_t b) {
    const int r5 = r >> 3, g6 = g >> 2, b5 = b >> 3;
    return qRgb((r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2));
}

QRgb composite_over(QRgb straight, QRgb background) {
    const int a = qAlpha(straight);
    auto mix = [a](int s, int d) { return (s * a + d * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(straight), qRed(background)), mix(qGreen(straight), qGreen(background)),
                mix(qBlue(straight), qBlue(background)));
}

int run_self(const QString& filter, const QProcessEnvironment& extra, QString* output, int timeoutMs) {
    ensure_application();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& key : extra.keys()) environment.insert(key, extra.value(key));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + filter});
    if (!process.waitForStarted(10000)) return -1;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    if (output) *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void VideoWindowTest::SetUp() {
    start_validated_test();
}

void VideoWindowTest::TearDown() {
    closeWindow();
    expect_no_validation_errors();
}

void VideoWindowTest::openWindow(QSize size) {
    window = std::make_unique<VulkanWindow>();
    window->setVulkanInstance(vulkan_instance());
    QObject::connect(window.get(), &VulkanWindow::viewVideoRendererEndInit, [this] { ++endInitCount; });
    ASSERT_TRUE(show_and_wait_ready(*window, size)) << "the video window did not get ready";
    ASSERT_NE(window->renderer, nullptr);
    ASSERT_TRUE(wait_until([this] { return window->renderer->isInitialised(); }, kWaitMs));
    // Frames are being recorded already: through the setter, which waits for them.
    renderer().setBackgroundColors(default_colours());
}

void VideoWindowTest::closeWindow() {
    if (!window) return;
    hide_and_release(*window);
    window.reset();
    QCoreApplication::processEvents();
}

void VideoWindowTest::showMovieFrame(const VideoSourceInfo& source, const VideoFrame& frame) {
    renderer().allocVideoTextures(source);
    renderer().refresh();
    renderer().copyVideoFrame(frame);
}

QImage VideoWindowTest::grab() {
    renderer().refresh();
    return grab_frame(*window);
}

}  // namespace vktest
