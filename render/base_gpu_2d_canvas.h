#pragma once
// Where the video lands in the video window: the canvas state of the video renderer
// (view and image sizes, zoom and pan, display modes, colours, guide switches, tile
// layout, movie facts) and the pure geometry on it: the image rectangle in fit and
// free-zoom modes, zoom steps around a point, pan gestures, and the vertex data
// (x, y, z, u, v per vertex) with its draw-info table.
//
// Spaces: view pixels (origin top left, y down), image pixels (origin top left, y
// down), and vertex space (x -1..1 left to right, y -1..1 bottom to top). The pan
// offset is in view pixels from the centred position, panY positive upwards.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <limits>
#include <vector>

#include "render/video_tile_layout.h"

// Left, right, top, bottom in vertex space (top > bottom).
struct CanvasRect {
    float left = -1.0f;
    float right = 1.0f;
    float top = 1.0f;
    float bottom = -1.0f;
};

// One draw of the vertex data: first vertex and vertex count. Unset: first all ones.
struct CanvasDrawInfo {
    uint32_t first = UINT32_MAX;
    uint32_t count = 0;
    bool isSet() const { return first != UINT32_MAX; }
};

enum CanvasDrawEntry : uint32_t {
    CanvasDraw_DefaultImage = 0,
    CanvasDraw_SafeArea5 = 1,
    CanvasDraw_SafeArea10 = 2,
    CanvasDraw_VideoArea = 3,
    CanvasDraw_CropBox = 4,
    CanvasDraw_Tiles = 5,
    CanvasDraw_Background = 6,
    // 7 to 10 belong to the layout templates' own quads; this renderer draws none.
    CanvasDraw_Count = 11,
};

constexpr uint32_t kCanvasVertexFloats = 5;  // x, y, z, u, v
constexpr uint32_t kCanvasVertexBytes = kCanvasVertexFloats * 4;
constexpr uint32_t kDefaultImageSide = 512;  // the default images are 512 x 512

// Bounds of the free zoom scale: zooming out stops at the smallest zoom level (a
// scale already below it, e.g. the fit scale of a very large frame, is kept), and
// zooming in stops at 64 (or at a larger scale already reached).
constexpr double kCanvasMinZoomScale = 0.125;
constexpr double kCanvasMaxZoomScale = 64.0;

// Below this many seconds between Space press and release, the release is a tap.
constexpr double kCanvasTapSeconds = 0.2;

struct BaseGpu2dCanvas {
    double viewWidth = 0.0;  // device-independent pixels of the drawable area
    double viewHeight = 0.0;
    double imageWidth = 0.0;  // the drawn image in image pixels
    double imageHeight = 0.0;
    uint32_t drawWidth = 0;
    uint32_t drawHeight = 0;
    uint32_t maxTileWidth = 0;
    uint32_t maxTileHeight = 0;
    uint32_t zoomMode = 1;  // 1 fit, 0 free scale
    double scale = 1.0;     // view pixels per image pixel in free mode
    double panX = 0.0;
    double panY = 0.0;
    // 1 while the pan is where a zoom step around a point put it: that point stays
    // under the pointer even with the picture past a view edge, so imageRect leaves
    // the pan unclamped until the next pan gesture (which widens the limits to it),
    // centre zoom, zoom level or fit.
    uint8_t zoomAnchored = 0;
    // How far past the usual limits the pan may go, per axis (lowest and highest pan),
    // once a pan gesture has taken a picture that a zoom step left outside them: the
    // gesture moves it from where it is drawn, back in but never further out, and each
    // limit follows the picture in until the usual ones hold again. +inf and -inf
    // while the usual limits hold.
    double panWideLowX = std::numeric_limits<double>::infinity();
    double panWideHighX = -std::numeric_limits<double>::infinity();
    double panWideLowY = std::numeric_limits<double>::infinity();
    double panWideHighY = -std::numeric_limits<double>::infinity();
    uint8_t panArmed = 0;  // Space held
    double panArmTime = 0.0;
    uint8_t panState = 0;  // 1 while a pan drag runs
    uint8_t tapEnabled = 1;
    double lastX = 0.0;
    double lastY = 0.0;
    double pressX = 0.0;
    double pressY = 0.0;
    double pressPanX = 0.0;
    double pressPanY = 0.0;
    uint32_t channelMode = 0;
    uint32_t backgroundMode = 2;  // Checkerboard
    // [0] clear colour, [1] Custom Color, [2] and [3] Custom Checkerboard (RGBA 0..1).
    float canvasColours[4][4] = {};
    double frameWidthF = 0.0;
    double frameHeightF = 0.0;
    uint32_t frameWidth = 0;
    uint32_t frameHeight = 0;
    VideoTileLayout tiles;
    uint8_t videoPresent = 0;
    uint32_t codec = 0;
    uint8_t hasDisplayWindow = 0;
    uint32_t displayWindowWidth = 0;
    uint32_t displayWindowHeight = 0;
    uint32_t displayWindowX = 0;
    uint32_t displayWindowY = 0;
    uint32_t framePosX = 0;
    uint32_t framePosY = 0;
    uint8_t fileHasAlpha = 0;
    uint32_t alphaMode = 0;
    uint32_t scaleMode = 1;  // Bilinear
    uint32_t cropBoxDisplayMode = 0;
    uint8_t showSafeArea = 0;
    uint8_t showVideoArea = 0;
    uint8_t showCropBoxArea = 0;
    // [0] 5 % safe area, [1] 10 % safe area, [2] video area, [3] crop box (RGBA 0..1).
    float guideColours[4][4] = {};

    // The image rectangle; in free mode it first clamps (and stores) the pan so that
    // an image smaller than the view stays inside it and a larger one covers it,
    // unless a zoom step placed it (zoomAnchored); past those limits it keeps the pan
    // within the widened ones (panWide*), which it tightens behind the pan.
    static CanvasRect imageRect(BaseGpu2dCanvas* canvas);
    // A centred square, half the shorter view side, for the 512 x 512 default images.
    static CanvasRect defaultImageRect(const BaseGpu2dCanvas* canvas);
    // Sets the pan so that image point (imageX, imageY) lies under view point (viewX, viewY).
    static void anchorPoint(BaseGpu2dCanvas* canvas, double imageX, double imageY, double viewX, double viewY);
    // View pixels per image pixel in fit mode.
    static double fitScale(const BaseGpu2dCanvas* canvas);
};

// Zoom levels: index 0 "Fit", then 12.5 % to 400 %.
QStringList canvas_zoom_level_names();
void canvas_zoom_fit(BaseGpu2dCanvas* canvas);
void canvas_set_zoom_level(BaseGpu2dCanvas* canvas, int level);
int canvas_zoom_level_index(const BaseGpu2dCanvas* canvas);

enum CanvasZoomKind : uint32_t {
    CanvasZoom_In = 0,   // scale x 2
    CanvasZoom_Out = 1,  // scale x 0.5
    CanvasZoom_By = 2,   // scale + step (wheel)
};
// One zoom step around view point (x, y): the image point shown under it stays under
// it (zoomAnchored is set).
void canvas_zoom_step(BaseGpu2dCanvas* canvas, CanvasZoomKind kind, double step, double x, double y);
// Puts the pan back within the bounds of imageRect if a zoom step had let it out.
void canvas_bound_pan(BaseGpu2dCanvas* canvas);
// Pan 0 (the picture centred); the usual limits hold.
void canvas_reset_pan(BaseGpu2dCanvas* canvas);

// Middle-button pan. A pan gesture (this one or a Space drag) moves the picture from
// where it is drawn: one that a zoom step left past the usual limits may be brought
// back in, not taken further out.
void canvas_pan_begin(BaseGpu2dCanvas* canvas, double x, double y);
void canvas_pan_move(BaseGpu2dCanvas* canvas, double x, double y);
void canvas_pan_end(BaseGpu2dCanvas* canvas);
// Space held: left-button pan. Times are seconds of a monotonic clock with
// millisecond resolution or better.
bool canvas_begin_pan_mode(BaseGpu2dCanvas* canvas, double seconds);
bool canvas_end_pan_mode(BaseGpu2dCanvas* canvas, double seconds, bool* tap);
bool canvas_drag_begin(BaseGpu2dCanvas* canvas, double x, double y);
void canvas_drag_to(BaseGpu2dCanvas* canvas, double x, double y);
// 2 while a pan drag runs, else 1 while Space is held, else 0.
int canvas_interaction_state(const BaseGpu2dCanvas* canvas);

// The vertex data of one refresh: default image, guide bands, tiles and background.
struct CanvasVertexData {
    std::vector<float> vertices;  // kCanvasVertexFloats per vertex; only grows
    uint32_t vertexCount = 0;
    CanvasDrawInfo drawInfo[CanvasDraw_Count];
};

// Rebuilds the draw-info table and the vertices for the canvas and the layout
// template (guides, tiles and background exist only with a video and the templates
// "Default" and "Image Overlay"). Sets the drawn size and frame position; clamps the
// pan. Returns the vertex count. Throws std::bad_alloc.
uint32_t canvas_build_vertex_data(BaseGpu2dCanvas* canvas, uint32_t templateCode, CanvasVertexData* data);

// The overlay quads (4-vertex strips, 20 floats): the error box of `boxWidth` x
// `boxHeight` view pixels in the centre, and the 400-pixel information column along
// the right edge whose texture spans `informationOverlayHeight` view pixels from the
// top.
void canvas_error_overlay_quad(const BaseGpu2dCanvas* canvas, uint32_t boxWidth, uint32_t boxHeight, float out[20]);
void canvas_information_overlay_quad(const BaseGpu2dCanvas* canvas, uint32_t informationOverlayHeight, float out[20]);
