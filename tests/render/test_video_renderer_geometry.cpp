// Canvas geometry without a GPU: fit and free rectangles, zoom steps, pan clamping
// and gestures, the vertex layout, the overlay quads; and the renderer's sanitised
// mode getters.
#include <gtest/gtest.h>

#include <cmath>

#include "media/video_frame.h"
#include "render/base_gpu_2d_canvas.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"

namespace {

BaseGpu2dCanvas view_with_image(double vw, double vh, double iw, double ih) {
    BaseGpu2dCanvas canvas;
    canvas.viewWidth = vw;
    canvas.viewHeight = vh;
    canvas.imageWidth = iw;
    canvas.imageHeight = ih;
    return canvas;
}

// View pixel x of an image pixel x for a rectangle (and the reverse for y).
double view_x(const BaseGpu2dCanvas& c, const CanvasRect& r, double imageX) {
    return (r.left + 1.0) / 2.0 * c.viewWidth + imageX * (r.right - r.left) / 2.0 * c.viewWidth / c.imageWidth;
}
double view_y(const BaseGpu2dCanvas& c, const CanvasRect& r, double imageY) {
    return (1.0 - r.top) / 2.0 * c.viewHeight + imageY * (r.top - r.bottom) / 2.0 * c.viewHeight / c.imageHeight;
}

const float* vertex(const CanvasVertexData& data, uint32_t index) { return data.vertices.data() + index * 5; }

}  // namespace

TEST(CanvasGeometry, FitRectangleForEqualWideAndTallImages) {
    BaseGpu2dCanvas equal = view_with_image(960, 540, 1920, 1080);
    const CanvasRect full = BaseGpu2dCanvas::imageRect(&equal);
    EXPECT_EQ(full.left, -1.0f);
    EXPECT_EQ(full.right, 1.0f);
    EXPECT_EQ(full.top, 1.0f);
    EXPECT_EQ(full.bottom, -1.0f);

    // Wider than the view: full width, letterboxed.
    BaseGpu2dCanvas wide = view_with_image(1000, 500, 4000, 1000);
    const CanvasRect w = BaseGpu2dCanvas::imageRect(&wide);
    EXPECT_EQ(w.left, -1.0f);
    EXPECT_FLOAT_EQ(w.top, 0.5f);
    EXPECT_FLOAT_EQ(w.bottom, -0.5f);

    // Taller: one view pixel left free at the top, width from a height of view - 2.
    BaseGpu2dCanvas tall = view_with_image(1000, 500, 1080, 1920);
    const CanvasRect t = BaseGpu2dCanvas::imageRect(&tall);
    EXPECT_FLOAT_EQ(t.top, float(1.0 - 2.0 / 500));
    EXPECT_EQ(t.bottom, -1.0f);
    EXPECT_FLOAT_EQ(t.right, float(498 * 0.5625 / 1000));
    EXPECT_FLOAT_EQ(t.left, -t.right);

    // The default image: a centred square of half the shorter side, whatever the image.
    const CanvasRect d = BaseGpu2dCanvas::defaultImageRect(&tall);
    EXPECT_FLOAT_EQ((d.right - d.left) / 2 * 1000, 250.0f);
    EXPECT_FLOAT_EQ((d.top - d.bottom) / 2 * 500, 250.0f);
    EXPECT_FLOAT_EQ(d.left + d.right, 0.0f);
}

TEST(CanvasGeometry, ZoomStepsKeepThePointerPointAndLevelsReportTheirIndex) {
    BaseGpu2dCanvas c = view_with_image(1000, 500, 2000, 1000);
    canvas_zoom_step(&c, CanvasZoom_Out, 0, 500, 250);  // from fit: 0.5 halved
    EXPECT_EQ(c.zoomMode, 0u);
    EXPECT_EQ(c.scale, 0.25);
    EXPECT_EQ(canvas_zoom_level_index(&c), 2);
    canvas_zoom_step(&c, CanvasZoom_In, 0, 500, 250);
    EXPECT_EQ(c.scale, 0.5);

    // From 100 %, zooming in around (300, 200) keeps the image point under it.
    canvas_set_zoom_level(&c, 4);
    CanvasRect before = BaseGpu2dCanvas::imageRect(&c);
    const double px = (300 - view_x(c, before, 0)) / c.scale;
    const double py = (200 - view_y(c, before, 0)) / c.scale;
    canvas_zoom_step(&c, CanvasZoom_In, 0, 300, 200);
    EXPECT_EQ(c.scale, 2.0);
    const CanvasRect after = BaseGpu2dCanvas::imageRect(&c);
    EXPECT_NEAR(view_x(c, after, px), 300, 1e-3);
    EXPECT_NEAR(view_y(c, after, py), 200, 1e-3);

    // Level 0 keeps scale and pan; fit resets them; unknown levels give 100 %.
    const double panX = c.panX;
    canvas_set_zoom_level(&c, 0);
    EXPECT_EQ(c.zoomMode, 1u);
    EXPECT_EQ(c.scale, 2.0);
    EXPECT_EQ(c.panX, panX);
    EXPECT_EQ(canvas_zoom_level_index(&c), 0);
    canvas_zoom_fit(&c);
    EXPECT_EQ(c.scale, 1.0);
    EXPECT_EQ(c.panX, 0.0);
    canvas_set_zoom_level(&c, 9);
    EXPECT_EQ(c.zoomMode, 0u);
    EXPECT_EQ(c.scale, 1.0);
    canvas_zoom_step(&c, CanvasZoom_By, 0.3, 500, 250);
    EXPECT_EQ(canvas_zoom_level_index(&c), -1);
    EXPECT_EQ(canvas_zoom_level_names(),
              QStringList({"Fit", "12.5 %", "25 %", "50 %", "100 %", "200 %", "400 %"}));
}

TEST(CanvasGeometry, ZoomNeverReachesZeroNorRunsAway) {
    BaseGpu2dCanvas c = view_with_image(1000, 500, 2000, 1000);
    canvas_set_zoom_level(&c, 2);  // 0.25
    canvas_zoom_step(&c, CanvasZoom_By, -10, 500, 250);
    EXPECT_EQ(c.scale, 0.25);
    // One wheel notch out from 25 % would give exactly 0.
    canvas_zoom_step(&c, CanvasZoom_By, -0.25, 500, 250);
    EXPECT_GT(c.scale, 0.0);
    canvas_zoom_step(&c, CanvasZoom_Out, 0, 500, 250);
    canvas_zoom_step(&c, CanvasZoom_Out, 0, 500, 250);
    EXPECT_EQ(c.scale, kCanvasMinZoomScale);
    const CanvasRect r = BaseGpu2dCanvas::imageRect(&c);
    for (float v : {r.left, r.right, r.top, r.bottom}) EXPECT_TRUE(std::isfinite(v));
    EXPECT_TRUE(std::isfinite(c.panX) && std::isfinite(c.panY));
    // Zooming in from that floor works again.
    canvas_zoom_step(&c, CanvasZoom_In, 0, 500, 250);
    EXPECT_EQ(c.scale, 2 * kCanvasMinZoomScale);

    // A fit scale below the floor (a very wide frame) is kept, and zooming in from it
    // goes in.
    BaseGpu2dCanvas wide = view_with_image(1000, 200, 20000, 1024);
    canvas_zoom_step(&wide, CanvasZoom_Out, 0, 500, 100);
    EXPECT_EQ(wide.scale, 0.05);
    canvas_zoom_step(&wide, CanvasZoom_In, 0, 500, 100);
    EXPECT_EQ(wide.scale, 0.1);

    for (int i = 0; i < 20; ++i) canvas_zoom_step(&c, CanvasZoom_In, 0, 500, 250);
    EXPECT_EQ(c.scale, kCanvasMaxZoomScale);
}

TEST(CanvasGeometry, PanClampsAndGesturesFollowTheirArming) {
    // 200 x 100 at 400 % in a 1000 x 500 view: the 800 x 400 picture stays inside.
    BaseGpu2dCanvas small = view_with_image(1000, 500, 200, 100);
    canvas_set_zoom_level(&small, 6);
    EXPECT_EQ(small.scale, 4.0);
    canvas_pan_begin(&small, 100, 100);
    canvas_pan_move(&small, 5100, 100);
    CanvasRect r = BaseGpu2dCanvas::imageRect(&small);
    EXPECT_LE(r.right, 1.0f);
    EXPECT_FLOAT_EQ(r.right, 1.0f);
    canvas_pan_end(&small);

    // 4000 x 2000 at 100 %: pushed right, the picture still covers the view.
    BaseGpu2dCanvas large = view_with_image(1000, 500, 4000, 2000);
    canvas_set_zoom_level(&large, 4);
    canvas_pan_begin(&large, 0, 0);
    canvas_pan_move(&large, 5000, -3000);
    r = BaseGpu2dCanvas::imageRect(&large);
    EXPECT_LE(r.left, -1.0f);
    EXPECT_GE(r.right, 1.0f);
    EXPECT_LE(r.bottom, -1.0f);
    EXPECT_GE(r.top, 1.0f);
    canvas_pan_end(&large);

    // Left drags move nothing unless Space armed the pan mode.
    BaseGpu2dCanvas c = view_with_image(1000, 500, 4000, 2000);
    canvas_set_zoom_level(&c, 4);
    EXPECT_EQ(canvas_interaction_state(&c), 0);
    EXPECT_FALSE(canvas_drag_begin(&c, 10, 10));
    canvas_drag_to(&c, 60, 30);
    EXPECT_EQ(c.panX, 0.0);
    EXPECT_TRUE(canvas_begin_pan_mode(&c, 10.0));
    EXPECT_FALSE(canvas_begin_pan_mode(&c, 10.05));
    EXPECT_EQ(canvas_interaction_state(&c), 1);
    EXPECT_TRUE(canvas_drag_begin(&c, 10, 10));
    canvas_drag_to(&c, 60, 30);
    EXPECT_EQ(canvas_interaction_state(&c), 2);
    EXPECT_EQ(c.panX, 50.0);
    EXPECT_EQ(c.panY, -20.0);  // pointer down, picture down: pan y is up
    canvas_pan_end(&c);

    // Taps: fractional seconds, 0.2 s limit.
    bool tap = true;
    EXPECT_TRUE(canvas_end_pan_mode(&c, 10.15, &tap));
    EXPECT_TRUE(tap);
    EXPECT_FALSE(canvas_end_pan_mode(&c, 10.3, &tap));
    EXPECT_FALSE(tap);
    canvas_begin_pan_mode(&c, 10.0);
    canvas_end_pan_mode(&c, 10.25, &tap);
    EXPECT_FALSE(tap);
    // Across a second boundary a quick tap is still a tap.
    canvas_begin_pan_mode(&c, 10.95);
    canvas_end_pan_mode(&c, 11.05, &tap);
    EXPECT_TRUE(tap);
}

TEST(CanvasGeometry, VertexLayoutOfTilesGuidesAndBackground) {
    BaseGpu2dCanvas c = view_with_image(1000, 500, 0, 0);
    CanvasVertexData data;
    // Without video: the default image only.
    EXPECT_EQ(canvas_build_vertex_data(&c, 0, &data), 4u);
    EXPECT_EQ(data.drawInfo[CanvasDraw_DefaultImage].first, 0u);
    for (uint32_t e = 1; e < CanvasDraw_Count; ++e) EXPECT_FALSE(data.drawInfo[e].isSet()) << e;

    c.videoPresent = 1;
    c.frameWidth = 20000;
    c.frameHeight = 1024;
    compute_video_tiles(&c.tiles, 20000, 1024, 16384, 16384, 39, 13);
    ASSERT_EQ(c.tiles.count, 2u);
    const uint32_t n = c.tiles.count;
    EXPECT_EQ(canvas_build_vertex_data(&c, 0, &data), 48 + 6 * n);
    const uint32_t expected[7][2] = {{0, 4}, {4, 10}, {14, 10}, {24, 10}, {34, 10}, {44, 6 * n}, {44 + 6 * n, 4}};
    for (uint32_t e = 0; e < 7; ++e) {
        EXPECT_EQ(data.drawInfo[e].first, expected[e][0]) << e;
        EXPECT_EQ(data.drawInfo[e].count, expected[e][1]) << e;
    }
    for (uint32_t v = 0; v < data.vertexCount; ++v) EXPECT_EQ(vertex(data, v)[2], 0.0f) << v;
    const float uv[6][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 1}, {0, 0}, {1, 0}};
    for (uint32_t t = 0; t < n; ++t)
        for (uint32_t k = 0; k < 6; ++k) {
            EXPECT_EQ(vertex(data, 44 + 6 * t + k)[3], uv[k][0]);
            EXPECT_EQ(vertex(data, 44 + 6 * t + k)[4], uv[k][1]);
        }
    // The two tiles meet where the first ends: 16384 / 20000 of the width.
    const CanvasRect r = BaseGpu2dCanvas::imageRect(&c);
    EXPECT_FLOAT_EQ(vertex(data, 44 + 2)[0], r.left + (r.right - r.left) * 16384.0f / 20000.0f);
    EXPECT_FLOAT_EQ(vertex(data, 44 + 6)[0], vertex(data, 44 + 2)[0]);

    // Other layout templates lay out no video quads.
    EXPECT_EQ(canvas_build_vertex_data(&c, 2, &data), 4u);
    EXPECT_FALSE(data.drawInfo[CanvasDraw_Tiles].isSet());
}

TEST(CanvasGeometry, CropBoxModePlacesTheFrameInItsDisplayWindow) {
    BaseGpu2dCanvas c = view_with_image(960, 540, 0, 0);
    c.videoPresent = 1;
    c.frameWidth = 1920;
    c.frameHeight = 1080;
    c.hasDisplayWindow = 1;
    c.displayWindowWidth = 3840;
    c.displayWindowHeight = 2160;
    c.displayWindowX = 960;
    c.displayWindowY = 540;
    compute_video_tiles(&c.tiles, 1920, 1080, 16384, 16384, 39, 13);
    CanvasVertexData data;

    c.cropBoxDisplayMode = 1;
    canvas_build_vertex_data(&c, 0, &data);
    EXPECT_EQ(c.imageWidth, 3840.0);
    const float* tile = vertex(data, 44);  // (left, bottom) of the only tile
    EXPECT_FLOAT_EQ(tile[0], -0.5f);
    EXPECT_FLOAT_EQ(tile[1], -0.5f);
    EXPECT_FLOAT_EQ(vertex(data, 44 + 5)[0], 0.5f);  // (right, top)
    EXPECT_FLOAT_EQ(vertex(data, 44 + 5)[1], 0.5f);
    const float* bg = vertex(data, 50);
    EXPECT_FLOAT_EQ(bg[0], -1.0f);
    EXPECT_FLOAT_EQ(bg[1], -1.0f);
    EXPECT_FLOAT_EQ(vertex(data, 53)[0], 1.0f);
    EXPECT_FLOAT_EQ(vertex(data, 53)[1], 1.0f);

    // File mode: the frame itself is the image.
    c.cropBoxDisplayMode = 0;
    canvas_build_vertex_data(&c, 0, &data);
    EXPECT_EQ(c.imageWidth, 1920.0);
    EXPECT_FLOAT_EQ(vertex(data, 44)[0], -1.0f);
    // A zero frame size falls back to 1920 x 1080.
    c.frameWidth = 0;
    canvas_build_vertex_data(&c, 0, &data);
    EXPECT_EQ(c.drawWidth, 1920u);
}

TEST(CanvasGeometry, OverlayQuadsLandOnWholePixels) {
    float quad[20];
    for (int height : {540, 541}) {
        SCOPED_TRACE(height);
        BaseGpu2dCanvas c = view_with_image(1280, height, 0, 0);
        canvas_error_overlay_quad(&c, 450, 120, quad);
        // Top and bottom edges in framebuffer rows (y down).
        const double top = (1.0 - quad[6]) / 2.0 * height;
        const double bottom = (1.0 - quad[1]) / 2.0 * height;
        EXPECT_NEAR(top, 210.0, 1e-3);
        EXPECT_NEAR(bottom, 330.0, 1e-3);
        EXPECT_NEAR((quad[10] - quad[0]) / 2.0 * 1280, 450.0, 1e-3);
    }
    BaseGpu2dCanvas c = view_with_image(1280, 720, 0, 0);
    canvas_information_overlay_quad(&c, 400, quad);
    EXPECT_NEAR((1.0 - quad[0]) / 2.0 * 1280, 400.0, 1e-3);
    EXPECT_FLOAT_EQ(quad[4], 720.0f / 400.0f);  // v at the bottom
    EXPECT_EQ(quad[9], 0.0f);
}

TEST(VideoRendererModes, GettersSanitiseStoredValues) {
    vktest::ensure_application();
    VulkanWindow window;
    VulkanWinRenderer renderer(&window);
    const BaseGpu2dCanvas& canvas = renderer.canvasState();
    EXPECT_EQ(canvas.backgroundMode, 2u);
    EXPECT_EQ(canvas.scaleMode, 1u);
    EXPECT_EQ(canvas.zoomMode, 1u);

    const uint32_t expectedBackground[5] = {0, 1, 2, 4, 5};
    for (uint32_t m = 0; m < 5; ++m) {
        renderer.setBackgroundMode(m);
        EXPECT_EQ(renderer.backgroundMode(), expectedBackground[m]);
    }
    vktest::MessageCapture capture;
    renderer.setBackgroundMode(9);
    EXPECT_EQ(renderer.backgroundMode(), 0u);
    EXPECT_EQ(renderer.backgroundModeRaw(), 9u);
    EXPECT_TRUE(capture.contains("Warning : invalid bg mode : 9"));
    renderer.setAlphaMode(5);
    EXPECT_EQ(renderer.alphaMode(), 0u);
    EXPECT_TRUE(capture.contains("Warning : invalid alpha mode : 5"));
    renderer.setAlphaMode(1);
    EXPECT_EQ(renderer.alphaMode(), 1u);
    renderer.setScaleMode(7);
    EXPECT_EQ(renderer.scaleMode(), 1u);
    EXPECT_TRUE(capture.contains("Warning : invalid scale mode : 7"));
    renderer.setScaleMode(2);
    EXPECT_EQ(renderer.scaleMode(), 2u);

    // Without a device nothing is copied, refreshed or stopped.
    VideoFrame frame;
    renderer.copyVideoFrame(frame);
    EXPECT_TRUE(capture.contains("Can't copy video frame before init end"));
    renderer.forceStop();
    renderer.refresh();
    EXPECT_EQ(renderer.vertexCount(), 0u);

    // allocVideoTextures before initialisation still sets the canvas.
    VideoSourceInfo source;
    source.width = 640;
    source.height = 360;
    source.codec = VideoCodecTag_Hap5;
    source.textureFormat = 14;
    source.hasAlpha = 1;
    source.alphaKind = VideoSourceAlpha_Straight;
    renderer.allocVideoTextures(source);
    EXPECT_EQ(canvas.videoPresent, 1);
    EXPECT_EQ(canvas.frameWidth, 640u);
    EXPECT_EQ(canvas.alphaMode, 1u);
    EXPECT_EQ(canvas.fileHasAlpha, 1);
    EXPECT_EQ(canvas.hasDisplayWindow, 0);
    // Display-window metadata with a zero size is ignored.
    source.hasDisplayWindow = 1;
    source.displayWindowWidth = 0;
    source.displayWindowHeight = 720;
    renderer.allocVideoTextures(source);
    EXPECT_EQ(canvas.hasDisplayWindow, 0);
}
