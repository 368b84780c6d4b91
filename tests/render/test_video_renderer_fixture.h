#pragma once
// Fixture of the video window tests: a real VulkanWindow with its VulkanWinRenderer
// (under Xvfb on lavapipe, validation layer on; any validation error fails the test),
// and helpers to hand it movies and frames and to read back what it shows.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcessEnvironment>
#include <QSize>
#include <QStringList>
#include <memory>

#include "media/video_frame.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "tests/render/render_test_frames.h"
#include "tests/render/vulkan_harness.h"

namespace vktest {

// The preferences store's default colours, as the main window hands them to
// setBackgroundColors (the store itself lives in the app library).
CanvasColours default_colours();

// What allocVideoTextures needs for a frame of that size and texture format.
VideoSourceInfo source_for(const VideoFrame& frame, uint32_t codec, uint8_t hasAlpha);
// The same with a 128x96 display window whose picture starts at (16, 16).
VideoSourceInfo source_in_display_window(const VideoFrame& frame, uint32_t codec, uint8_t hasAlpha);

// A texture frame whose every block is the same (e.g. a solid BC1 colour).
FramePtr solid_texture_frame(uint32_t width, uint32_t height, uint32_t dataFormat, const uint8_t* block,
                             uint32_t frameNumber = 0);
// BC1 block of one colour (RGB565 both endpoints, all indices 0).
void bc1_solid_block(uint8_t block[8], uint8_t r, uint8_t g, uint8_t b);
// What a BC1 solid block decodes to: the colour rounded through RGB565.
QRgb bc1_solid_colour(uint8_t r, uint8_t g, uint8_t b);

// Composites a straight-alpha pixel over an opaque background.
QRgb composite_over(QRgb straight, QRgb background);

// Re-runs this test program with `filter` and extra environment; returns its exit
// code (-1 when it could not run or timed out), and its output in `output`.
int run_self(const QString& filter, const QProcessEnvironment& extra, QString* output, int timeoutMs = 120000);

class VideoWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Creates and shows the window and waits for its renderer's initialisation; fails
    // the test (fatally) otherwise.
    void openWindow(QSize size);
    void closeWindow();
    VulkanWinRenderer& renderer() { return *window->renderer; }
    // allocVideoTextures + refresh + copyVideoFrame, as the main window does.
    void showMovieFrame(const VideoSourceInfo& source, const VideoFrame& frame);
    // Refreshes the vertex data and renders one frame.
    QImage grab();

    std::unique_ptr<VulkanWindow> window;
    int endInitCount = 0;
};

}  // namespace vktest
