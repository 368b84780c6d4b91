// What the video renderer draws around and over the picture: the five backgrounds,
// the alpha and channel modes, the guides, the error and information overlays, and
// zoom and pan moving the picture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "render/vulkan_error.h"
#include "tests/render/test_video_renderer_fixture.h"

using namespace vktest;

namespace {

class VideoRendererDrawing : public VideoWindowTest {
protected:
    // A Hap5 frame of one DXT5 block: colour (r, g, b), alpha a.
    FramePtr hap5Solid(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b, uint8_t a, uint32_t number = 0) {
        uint8_t block[16] = {a, a, 0, 0, 0, 0, 0, 0};
        bc1_solid_block(block + 8, r, g, b);
        return solid_texture_frame(w, h, VideoDataFormat_Hap5, block, number);
    }
    FramePtr hap1Solid(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b, uint32_t number = 0) {
        uint8_t block[8];
        bc1_solid_block(block, r, g, b);
        return solid_texture_frame(w, h, VideoDataFormat_Hap1, block, number);
    }
    void show(const VideoFrame& frame, uint32_t codec, uint8_t alpha) {
        showMovieFrame(source_for(frame, codec, alpha), frame);
    }
};

// The pixel a one-pixel band centred on `edge` (in pixels) covers.
int band_pixel(double edge) { return int(std::floor(edge)); }

QRgb rgb(int r, int g, int b) { return qRgba(r, g, b, 255); }

bool near(QRgb a, QRgb b, int tolerance = 1) { return rgb_distance(a, b) <= tolerance; }

}  // namespace

TEST_F(VideoRendererDrawing, BackgroundModesUnderATransparentFrame) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(256, 128)));
    BaseGpu2dCanvas& canvas = renderer().canvasState();
    canvas.canvasColours[0][0] = 10 / 255.0f;  // a clear colour of its own, to tell it apart
    canvas.canvasColours[0][1] = 20 / 255.0f;
    canvas.canvasColours[0][2] = 30 / 255.0f;

    // Portrait movie in a landscape view: 64 x 128 fitted to 63 x 126, centred.
    FramePtr portrait = hap5Solid(64, 128, 0, 0, 0, 0);
    renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_CustomColor);
    show(*portrait, VideoCodecTag_Hap5, 1);
    QImage capture = grab();
    ASSERT_FALSE(capture.isNull());
    EXPECT_TRUE(near(capture.pixel(128, 64), rgb(27, 43, 54)));
    EXPECT_TRUE(near(capture.pixel(128, 127), rgb(27, 43, 54)));
    EXPECT_EQ(capture.pixel(20, 64), rgb(10, 20, 30));
    EXPECT_EQ(capture.pixel(236, 64), rgb(10, 20, 30));
    EXPECT_EQ(capture.pixel(128, 0), rgb(10, 20, 30)) << "the top row stays free";

    // Equal aspects: the frame covers the view.
    FramePtr full = hap5Solid(256, 128, 0, 0, 0, 0, 1);
    show(*full, VideoCodecTag_Hap5, 1);
    struct Mode {
        uint32_t mode;
        QRgb at5x5;
        QRgb at15x5;
    };
    const Mode modes[] = {
        {BaseGpu2dCanvas_BackgroundMode_Black, rgb(0, 0, 0), rgb(0, 0, 0)},
        {BaseGpu2dCanvas_BackgroundMode_White, rgb(255, 255, 255), rgb(255, 255, 255)},
        {BaseGpu2dCanvas_BackgroundMode_Checkerboard, rgb(255, 255, 255), rgb(178, 178, 178)},
        {BaseGpu2dCanvas_BackgroundMode_CustomColor, rgb(27, 43, 54), rgb(27, 43, 54)},
        {BaseGpu2dCanvas_BackgroundMode_CustomCheckerboard, rgb(255, 255, 255), rgb(228, 85, 87)},
    };
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.mode);
        renderer().setBackgroundMode(m.mode);
        capture = grab();
        ASSERT_FALSE(capture.isNull());
        EXPECT_TRUE(near(capture.pixel(5, 5), m.at5x5));
        EXPECT_TRUE(near(capture.pixel(15, 5), m.at15x5));
        EXPECT_TRUE(near(capture.pixel(15, 15), m.at5x5));
    }

    // An unknown stored mode: black, and said on every frame.
    renderer().setBackgroundMode(7);
    testing::internal::CaptureStdout();
    capture = grab();
    const QImage second = grab();
    fflush(stdout);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(capture.pixel(100, 100), rgb(0, 0, 0));
    EXPECT_EQ(second.pixel(100, 100), rgb(0, 0, 0));
    size_t times = 0;
    for (size_t at = printed.find("Unknown BaseGpu2dCanvas_BackgroundMode : 7"); at != std::string::npos;
         at = printed.find("Unknown BaseGpu2dCanvas_BackgroundMode : 7", at + 1))
        ++times;
    EXPECT_GE(times, 2u) << printed;
}

TEST_F(VideoRendererDrawing, AlphaAndChannelModesOverWhite) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(64, 48)));
    renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_White);
    // Colour (80, 40, 16) stored with alpha 102 (0.4).
    FramePtr frame = hap5Solid(64, 48, 80, 40, 16, 102);
    show(*frame, VideoCodecTag_Hap5, 1);
    const QRgb c = bc1_solid_colour(80, 40, 16);
    const double a = 102 / 255.0;
    auto expect = [&](double r, double g, double b) {
        const QRgb got = grab().pixel(32, 24);
        EXPECT_NEAR(qRed(got), r, 1.5);
        EXPECT_NEAR(qGreen(got), g, 1.5);
        EXPECT_NEAR(qBlue(got), b, 1.5);
    };
    // Premultiplied: the stored colour plus white times (1 - a).
    renderer().setAlphaMode(BaseGpu2dCanvas_AlphaMode_PremultiplyBlack);
    expect(qRed(c) + 255 * (1 - a), qGreen(c) + 255 * (1 - a), qBlue(c) + 255 * (1 - a));
    // Straight: colour times a plus white times (1 - a).
    renderer().setAlphaMode(BaseGpu2dCanvas_AlphaMode_Straight);
    expect(qRed(c) * a + 255 * (1 - a), qGreen(c) * a + 255 * (1 - a), qBlue(c) * a + 255 * (1 - a));
    renderer().setChannelMode(BaseGpu2dCanvas_ChannelMode_RGB);
    expect(qRed(c), qGreen(c), qBlue(c));
    renderer().setChannelMode(BaseGpu2dCanvas_ChannelMode_Alpha);
    expect(102, 102, 102);
    // A codec without alpha shows white in the Alpha channel mode.
    FramePtr opaque = hap1Solid(64, 48, 10, 20, 30, 1);
    renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_Black);
    show(*opaque, VideoCodecTag_Hap1, 0);
    expect(255, 255, 255);
}

TEST_F(VideoRendererDrawing, GuidesAtTheirPlaces) {
    // A 1:1 image rectangle whose 5 % and 10 % edges fall inside pixels.
    const int w = 208, h = 128;
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(w, h)));
    FramePtr grey = hap1Solid(w, h, 128, 128, 128);
    show(*grey, VideoCodecTag_Hap1, 0);
    const QRgb frame = bc1_solid_colour(128, 128, 128);
    renderer().setShowSafeArea(true);
    QImage capture = grab();
    ASSERT_FALSE(capture.isNull());
    const int x5 = band_pixel(0.05 * w), x10 = band_pixel(0.10 * w);
    const int y5 = band_pixel(0.05 * h), y10 = band_pixel(0.10 * h);
    EXPECT_EQ(capture.pixel(x5, h / 2), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(band_pixel(w - 0.05 * w), h / 2), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(w / 2, y5), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(w / 2, band_pixel(h - 0.05 * h)), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(x10, h / 2), rgb(0, 255, 0));
    EXPECT_EQ(capture.pixel(w / 2, y10), rgb(0, 255, 0));
    EXPECT_EQ(capture.pixel(x5 - 1, h / 2), frame);
    EXPECT_EQ(capture.pixel(x5 + 1, h / 2), frame);
    EXPECT_EQ(capture.pixel(w / 2, h / 2), frame);
    EXPECT_EQ(capture.pixel(0, h / 2), frame);

    renderer().setShowSafeArea(false);
    renderer().setShowVideoArea(true);
    renderer().setShowCropBoxArea(true);  // no display window: no crop box
    capture = grab();
    for (const QPoint p : {QPoint(0, h / 2), QPoint(w - 1, h / 2), QPoint(w / 2, 0), QPoint(w / 2, h - 1)})
        EXPECT_EQ(capture.pixel(p), rgb(255, 255, 0)) << p.x() << "," << p.y();
    EXPECT_EQ(capture.pixel(1, h / 2), frame);
    EXPECT_EQ(capture.pixel(x5, h / 2), frame);
}

TEST_F(VideoRendererDrawing, CropBoxAndVideoAreaInTheDisplayWindow) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(128, 96)));
    FramePtr grey = hap1Solid(64, 48, 128, 128, 128);
    const VideoSourceInfo source = source_in_display_window(*grey, VideoCodecTag_Hap1, 0);
    renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_Black);
    renderer().setCropBoxDisplayMode(BaseGpu2dCanvas_CropBoxDisplayMode_DisplayWindow);
    renderer().setShowCropBoxArea(true);
    renderer().setShowVideoArea(true);
    showMovieFrame(source, *grey);
    const QRgb frame = bc1_solid_colour(128, 128, 128);
    QImage capture = grab();
    ASSERT_FALSE(capture.isNull());
    for (const QPoint p : {QPoint(0, 48), QPoint(127, 48), QPoint(64, 0), QPoint(64, 95)})
        EXPECT_EQ(capture.pixel(p), rgb(255, 0, 255)) << p.x() << "," << p.y();
    // The frame at (16, 16), 64 x 48, outlined inside its own edge.
    for (const QPoint p : {QPoint(16, 40), QPoint(79, 40), QPoint(40, 16), QPoint(40, 63)})
        EXPECT_EQ(capture.pixel(p), rgb(255, 255, 0)) << p.x() << "," << p.y();
    EXPECT_EQ(capture.pixel(40, 40), frame);
    EXPECT_EQ(capture.pixel(8, 8), rgb(0, 0, 0));
    EXPECT_EQ(capture.pixel(100, 80), rgb(0, 0, 0));

    // File mode: the frame fills the view and no crop box is drawn.
    renderer().setCropBoxDisplayMode(BaseGpu2dCanvas_CropBoxDisplayMode_File);
    renderer().setShowVideoArea(false);
    capture = grab();
    EXPECT_EQ(capture.pixel(0, 48), frame);
    EXPECT_EQ(capture.pixel(8, 8), frame);
}

TEST_F(VideoRendererDrawing, ErrorAndInformationOverlays) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(640, 540)));
    FramePtr clear = hap5Solid(640, 540, 0, 0, 0, 0);
    renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_White);
    show(*clear, VideoCodecTag_Hap5, 1);
    // Shown before any image was handed over: a transparent image over the backdrop.
    window->setShowErrorOverlay(true);
    QImage capture = grab();
    ASSERT_FALSE(capture.isNull());
    EXPECT_TRUE(near(capture.pixel(320, 270), rgb(51, 51, 51)));
    EXPECT_TRUE(near(capture.pixel(95, 210), rgb(51, 51, 51)));
    EXPECT_TRUE(near(capture.pixel(544, 329), rgb(51, 51, 51)));
    EXPECT_EQ(capture.pixel(94, 270), rgb(255, 255, 255));
    EXPECT_EQ(capture.pixel(545, 270), rgb(255, 255, 255));
    EXPECT_EQ(capture.pixel(320, 209), rgb(255, 255, 255));
    EXPECT_EQ(capture.pixel(320, 330), rgb(255, 255, 255));

    // An opaque red image painted the usual way (premultiplied ARGB32).
    QImage red(450, 120, QImage::Format_ARGB32_Premultiplied);
    red.fill(QColor(255, 0, 0));
    renderer().updateErrorOverlayImage(red);
    EXPECT_EQ(grab().pixel(320, 270), rgb(255, 0, 0));
    window->setShowErrorOverlay(false);

    // The information column darkens the rightmost 400 pixels.
    window->setShowInformationOverlay(true);
    capture = grab();
    EXPECT_TRUE(near(capture.pixel(620, 100), rgb(51, 51, 51)));
    EXPECT_TRUE(near(capture.pixel(240, 530), rgb(51, 51, 51)));
    EXPECT_EQ(capture.pixel(239, 100), rgb(255, 255, 255));

    QImage green(400, 500, QImage::Format_RGBA8888);
    green.fill(QColor(0, 255, 0));
    EXPECT_TRUE(renderer().setInformationOverlayImage(green, 500));
    EXPECT_FALSE(renderer().setInformationOverlayImage(green, 500));
    capture = grab();
    EXPECT_EQ(capture.pixel(620, 100), rgb(0, 255, 0));
    EXPECT_EQ(capture.pixel(620, 499), rgb(0, 255, 0));
    // Re-creating the textures for the new height emptied the error box too.
    window->setShowErrorOverlay(true);
    EXPECT_TRUE(near(grab().pixel(200, 270), rgb(51, 51, 51)));
    window->setShowErrorOverlay(false);
    // Too large an image is clipped to the texture, never written past it.
    QImage huge(1000, 1000, QImage::Format_RGBA8888);
    huge.fill(QColor(0, 0, 255));
    EXPECT_FALSE(renderer().setInformationOverlayImage(huge, 500));
    capture = grab();
    EXPECT_EQ(capture.pixel(620, 100), rgb(0, 0, 255));
    EXPECT_EQ(capture.pixel(239, 100), rgb(255, 255, 255));
    // A height the texture cannot have is refused.
    EXPECT_FALSE(renderer().setInformationOverlayImage(huge, 0));
    EXPECT_EQ(renderer().informationOverlayHeightValue(), 500u);
}

namespace {
QStringList g_vulkan_errors;
void record_vulkan_error(const QString& text) { g_vulkan_errors << text; }
}  // namespace

TEST_F(VideoRendererDrawing, HighDpiKeepsTheInformationTextureWithinTheDeviceLimit) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(640, 540)));
    const uint32_t limit = renderer().canvasState().maxTileHeight;
    ASSERT_GT(limit, 2u);
    // A column as tall as the device allows at scale 1 is accepted...
    const uint32_t tall = limit * 3 / 4;
    QImage column(400, int(tall), QImage::Format_RGBA8888);
    column.fill(QColor(0, 255, 0));
    EXPECT_TRUE(renderer().setInformationOverlayImage(column, tall));
    // ...and doubling the texture scale must not ask the device for a texture past
    // its limit (which ends the program through the error box).
    g_vulkan_errors.clear();
    const VulkanErrorHook previous = setVulkanErrorHook(record_vulkan_error);
    renderer().setHighDpi(true);
    setVulkanErrorHook(previous);
    EXPECT_TRUE(g_vulkan_errors.isEmpty()) << g_vulkan_errors.join('\n').toStdString();
    EXPECT_LE(uint64_t(renderer().informationOverlayHeightValue()) * 2, limit);
    window->setShowInformationOverlay(true);
    const QImage capture = grab();
    ASSERT_FALSE(capture.isNull());
    EXPECT_TRUE(near(capture.pixel(620, 100), rgb(0, 0, 0))) << "the emptied column over black";
}

TEST_F(VideoRendererDrawing, ErrorBoxEdgesOnWholePixelsForOddHeights) {
    // Rows of the box image: top row red, bottom row blue, green between.
    QImage box(450, 120, QImage::Format_RGBA8888);
    box.fill(QColor(0, 255, 0));
    for (int x = 0; x < 450; ++x) {
        box.setPixelColor(x, 0, QColor(255, 0, 0));
        box.setPixelColor(x, 119, QColor(0, 0, 255));
    }
    for (int height : {540, 541}) {
        SCOPED_TRACE(height);
        ASSERT_NO_FATAL_FAILURE(openWindow(QSize(640, height)));
        // An opaque black movie under the box.
        FramePtr black = hap1Solid(640, 544, 0, 0, 0);
        renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_Black);
        show(*black, VideoCodecTag_Hap1, 0);
        renderer().updateErrorOverlayImage(box);
        window->setShowErrorOverlay(true);
        const QImage capture = grab();
        ASSERT_FALSE(capture.isNull());
        EXPECT_EQ(capture.pixel(320, 209), rgb(0, 0, 0));
        EXPECT_EQ(capture.pixel(320, 210), rgb(255, 0, 0));
        EXPECT_EQ(capture.pixel(320, 211), rgb(0, 255, 0));
        EXPECT_EQ(capture.pixel(320, 328), rgb(0, 255, 0));
        EXPECT_EQ(capture.pixel(320, 329), rgb(0, 0, 255));
        EXPECT_EQ(capture.pixel(320, 330), rgb(0, 0, 0));
        closeWindow();
    }
}

TEST_F(VideoRendererDrawing, OverlaysWithoutAMovieOverThePlayerIcon) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(1024, 768)));
    QImage red(450, 120, QImage::Format_RGBA8888);
    red.fill(QColor(255, 0, 0));
    QImage green(400, 400, QImage::Format_RGBA8888);
    green.fill(QColor(0, 255, 0));
    // The column's texture keeps its 400 rows: below them the clamped sampler
    // repeats the last row.
    EXPECT_FALSE(renderer().setInformationOverlayImage(green, 400));
    renderer().updateErrorOverlayImage(red);
    window->setShowErrorOverlay(true);
    window->setShowInformationOverlay(true);
    const QImage capture = grab();
    ASSERT_FALSE(capture.isNull());
    EXPECT_EQ(capture.pixel(700, 384), rgb(255, 0, 0)) << "the error box is over the column";
    EXPECT_EQ(capture.pixel(900, 384), rgb(0, 255, 0));
    EXPECT_EQ(capture.pixel(700, 100), rgb(0, 255, 0));
    EXPECT_EQ(capture.pixel(300, 384), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(700, 700), rgb(0, 255, 0));
    EXPECT_NE(capture.pixel(512, 200), rgb(0, 0, 0)) << "the icon still shows";
}

TEST_F(VideoRendererDrawing, ZoomAndPanMoveThePicture) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(256, 128)));
    renderer().setScaleMode(BaseGpu2dCanvas_ScaleMode_Nearest);
    // Grey frame with one red block at frame pixels (64..67, 64..67), and the left
    // half of block row 0 blue.
    FramePtr frame = hap1Solid(256, 128, 128, 128, 128);
    uint8_t red[8], blue[8];
    bc1_solid_block(red, 255, 0, 0);
    bc1_solid_block(blue, 0, 0, 255);
    memcpy(frame->planes[0] + (16 * 64 + 16) * 8, red, 8);
    for (int bx = 0; bx < 32; ++bx) memcpy(frame->planes[0] + bx * 8, blue, 8);
    show(*frame, VideoCodecTag_Hap1, 0);
    const QRgb grey = bc1_solid_colour(128, 128, 128);
    QImage capture = grab();
    EXPECT_EQ(capture.pixel(65, 65), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(63, 65), grey);

    // 200 % around (66, 66): frame point (66, 66) stays there, the block doubles.
    renderer().zoomInAt(QPointF(66, 66));
    EXPECT_EQ(renderer().zoomLevelIndex(), 5);
    capture = grab();
    EXPECT_EQ(capture.pixel(62, 62), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(69, 69), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(61, 65), grey);
    EXPECT_EQ(capture.pixel(70, 65), grey);

    // A middle-button drag of (+20, +10) moves the picture by as much.
    renderer().panBegin(QPointF(100, 100));
    renderer().panMove(QPointF(120, 110));
    renderer().panEnd();
    capture = grab();
    EXPECT_EQ(capture.pixel(82, 72), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(89, 79), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(81, 75), grey);
    EXPECT_EQ(capture.pixel(90, 75), grey);

    // Dragged far, the picture stops at the view's edge: its top-left corner (blue)
    // lands on the view's top-left pixel.
    renderer().panBegin(QPointF(0, 0));
    renderer().panMove(QPointF(5000, 5000));
    renderer().panEnd();
    capture = grab();
    EXPECT_EQ(capture.pixel(0, 0), rgb(0, 0, 255));
    EXPECT_EQ(capture.pixel(0, 8), grey);

    // Fit again: the whole frame in the view.
    renderer().zoomFit();
    capture = grab();
    EXPECT_EQ(capture.pixel(65, 65), rgb(255, 0, 0));
    EXPECT_EQ(capture.pixel(0, 0), rgb(0, 0, 255));
}
