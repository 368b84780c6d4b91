#include "render/base_gpu_2d_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>


namespace {

struct ZoomLevel {
    const char* name;
    double scale;
};

constexpr ZoomLevel kZoomLevels[] = {
    {"Fit", 0.0}, {"12.5 %", 0.125}, {"25 %", 0.25}, {"50 %", 0.5}, {"100 %", 1.0}, {"200 %", 2.0}, {"400 %", 4.0},
};
constexpr int kZoomLevelCount = int(sizeof(kZoomLevels) / sizeof(kZoomLevels[0]));

bool has_view(const BaseGpu2dCanvas* canvas) { return canvas->viewWidth >= 1.0 && canvas->viewHeight >= 1.0; }

bool has_image(const BaseGpu2dCanvas* canvas) { return canvas->imageWidth > 0.0 && canvas->imageHeight > 0.0; }

// Shift that keeps an axis [a, b] inside [-h, h] when it is smaller, or covering it
// when it is larger.
double clamp_shift(double a, double b, double h) {
    if (b > h && a > -h) return -std::min(b - h, a + h);
    if (a < -h && b < h) return std::min(h - b, -h - a);
    return 0.0;
}

// A widened limit that widens nothing (+ for the low one, - for the high one).
constexpr double kNoWideLimit = std::numeric_limits<double>::infinity();

// The part of an axis's usual clamp `shift` that its widened limits allow the pan;
// the limit on the side the pan lies past follows it in, and both are dropped once
// the pan is within the usual limits.
double widened_shift(double pan, double shift, double* low, double* high) {
    double allowed = shift;
    if (shift > 0.0) allowed = std::min(shift, std::max(0.0, *low - pan));
    if (shift < 0.0) allowed = std::max(shift, std::min(0.0, *high - pan));
    if (allowed == shift) {
        *low = kNoWideLimit;
        *high = -kNoWideLimit;
    } else if (shift > 0.0) {
        *low = pan + allowed;
    } else {
        *high = pan + allowed;
    }
    return allowed;
}

void drop_widened_limits(BaseGpu2dCanvas* canvas) {
    canvas->panWideLowX = canvas->panWideLowY = kNoWideLimit;
    canvas->panWideHighX = canvas->panWideHighY = -kNoWideLimit;
}

// At the start of a pan gesture: a pan that a zoom step left where it is, perhaps
// past the usual limits, stays there and the limits widen to it. Bounding it here
// would make the picture jump, often against the drag.
void widen_limits_to_pan(BaseGpu2dCanvas* canvas) {
    if (!canvas->zoomAnchored) return;
    canvas->zoomAnchored = 0;
    canvas->panWideLowX = canvas->panWideHighX = canvas->panX;
    canvas->panWideLowY = canvas->panWideHighY = canvas->panY;
}

struct Vertex {
    float x, y, z, u, v;
};

void put(float* out, const Vertex& v) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
    out[3] = v.u;
    out[4] = v.v;
}

// 4-vertex strip over a rectangle, v = 0 at its top.
void put_quad(float* out, const CanvasRect& r) {
    put(out + 0, {r.left, r.bottom, 0.0f, 0.0f, 1.0f});
    put(out + 5, {r.left, r.top, 0.0f, 0.0f, 0.0f});
    put(out + 10, {r.right, r.bottom, 0.0f, 1.0f, 1.0f});
    put(out + 15, {r.right, r.top, 0.0f, 1.0f, 0.0f});
}

// A band between two nested rectangles as a 10-vertex strip of (outer, inner) corner
// pairs: left-top, right-top, right-bottom, left-bottom, left-top again.
void put_band(float* out, const CanvasRect& outer, const CanvasRect& inner) {
    const float corners[5][4] = {
        {outer.left, outer.top, inner.left, inner.top},
        {outer.right, outer.top, inner.right, inner.top},
        {outer.right, outer.bottom, inner.right, inner.bottom},
        {outer.left, outer.bottom, inner.left, inner.bottom},
        {outer.left, outer.top, inner.left, inner.top},
    };
    for (int i = 0; i < 5; ++i) {
        put(out + i * 10, {corners[i][0], corners[i][1], 0.0f, 0.0f, 0.0f});
        put(out + i * 10 + 5, {corners[i][2], corners[i][3], 0.0f, 0.0f, 0.0f});
    }
}

CanvasRect grown(const CanvasRect& r, float dx, float dy) {
    return {r.left - dx, r.right + dx, r.top + dy, r.bottom - dy};
}

// The rectangle inset by `fraction` of its width and height on each side.
CanvasRect inset(const CanvasRect& r, float fraction) {
    const float dx = (r.right - r.left) * fraction;
    const float dy = (r.top - r.bottom) * fraction;
    return {r.left + dx, r.right - dx, r.top - dy, r.bottom + dy};
}

}  // namespace

CanvasRect BaseGpu2dCanvas::imageRect(BaseGpu2dCanvas* canvas) {
    CanvasRect r;
    if (!has_view(canvas) || !has_image(canvas)) return r;
    const double vw = canvas->viewWidth;
    const double vh = canvas->viewHeight;
    const double iw = canvas->imageWidth;
    const double ih = canvas->imageHeight;
    if (canvas->zoomMode == 1) {
        const double viewAspect = vw / vh;
        const double imageAspect = iw / ih;
        if (imageAspect == viewAspect) return r;
        if (imageAspect > viewAspect) {
            const double e = vw / imageAspect / vh;
            r.top = float(e);
            r.bottom = float(-e);
        } else {
            // A tall image stops one view pixel below the top edge, and its width is
            // that of a height of viewHeight - 2 pixels.
            const double e = (vh - 2.0) * imageAspect / vw;
            r.top = float(1.0 - 2.0 / vh);
            r.bottom = -1.0f;
            r.left = float(-e);
            r.right = float(e);
        }
        return r;
    }
    const double s = canvas->scale;
    double x0 = -iw / 2.0 * s + canvas->panX;
    double x1 = iw / 2.0 * s + canvas->panX;
    double y0 = -ih / 2.0 * s + canvas->panY;
    double y1 = ih / 2.0 * s + canvas->panY;
    double sx = 0.0;
    double sy = 0.0;
    if (!canvas->zoomAnchored) {
        sx = widened_shift(canvas->panX, clamp_shift(x0, x1, vw / 2.0), &canvas->panWideLowX, &canvas->panWideHighX);
        sy = widened_shift(canvas->panY, clamp_shift(y0, y1, vh / 2.0), &canvas->panWideLowY, &canvas->panWideHighY);
    }
    x0 += sx;
    x1 += sx;
    y0 += sy;
    y1 += sy;
    canvas->panX += sx;
    canvas->panY += sy;
    r.left = float(x0 / (vw / 2.0));
    r.right = float(x1 / (vw / 2.0));
    r.top = float(y1 / (vh / 2.0));
    r.bottom = float(y0 / (vh / 2.0));
    return r;
}

CanvasRect BaseGpu2dCanvas::defaultImageRect(const BaseGpu2dCanvas* canvas) {
    CanvasRect r;
    if (has_view(canvas)) {
        const double vw = canvas->viewWidth;
        const double vh = canvas->viewHeight;
        if (vw > vh) {
            r.left = float(-vh / vw);
            r.right = float(vh / vw);
        } else if (vh > vw) {
            r.top = float(vw / vh);
            r.bottom = float(-vw / vh);
        }
    }
    r.left *= 0.5f;
    r.right *= 0.5f;
    r.top *= 0.5f;
    r.bottom *= 0.5f;
    return r;
}

void BaseGpu2dCanvas::anchorPoint(BaseGpu2dCanvas* canvas, double imageX, double imageY, double viewX,
                                  double viewY) {
    const double px = std::clamp(imageX, 0.0, std::max(0.0, canvas->imageWidth));
    const double py = std::clamp(imageY, 0.0, std::max(0.0, canvas->imageHeight));
    canvas->panX = 0.0;
    canvas->panY = 0.0;
    const CanvasRect r = imageRect(canvas);
    canvas->panX = viewX - (double(r.left) + 1.0) / 2.0 * canvas->viewWidth - canvas->scale * px;
    canvas->panY = (1.0 - double(r.top)) / 2.0 * canvas->viewHeight + canvas->scale * py - viewY;
}

double BaseGpu2dCanvas::fitScale(const BaseGpu2dCanvas* canvas) {
    if (!has_view(canvas) || !has_image(canvas)) return 1.0;
    const double viewAspect = canvas->viewWidth / canvas->viewHeight;
    const double imageAspect = canvas->imageWidth / canvas->imageHeight;
    return imageAspect >= viewAspect ? canvas->viewWidth / canvas->imageWidth : canvas->viewHeight / canvas->imageHeight;
}

QStringList canvas_zoom_level_names() {
    QStringList names;
    for (const ZoomLevel& level : kZoomLevels) names << QString::fromLatin1(level.name);
    return names;
}

void canvas_zoom_fit(BaseGpu2dCanvas* canvas) {
    canvas->zoomMode = 1;
    canvas->scale = 1.0;
    canvas_reset_pan(canvas);
}

void canvas_set_zoom_level(BaseGpu2dCanvas* canvas, int level) {
    canvas->zoomAnchored = 0;
    drop_widened_limits(canvas);
    if (level == 0) {
        canvas->zoomMode = 1;
        return;
    }
    canvas->zoomMode = 0;
    canvas->scale = (level > 0 && level < kZoomLevelCount) ? kZoomLevels[level].scale : 1.0;
    canvas->panX = 0.0;
    canvas->panY = 0.0;
}

int canvas_zoom_level_index(const BaseGpu2dCanvas* canvas) {
    if (canvas->zoomMode == 1) return 0;
    for (int i = 1; i < kZoomLevelCount; ++i)
        if (canvas->scale == kZoomLevels[i].scale) return i;
    return -1;
}

void canvas_zoom_step(BaseGpu2dCanvas* canvas, CanvasZoomKind kind, double step, double x, double y) {
    const double s = canvas->zoomMode == 1 ? BaseGpu2dCanvas::fitScale(canvas) : canvas->scale;
    double wanted = s;
    switch (kind) {
    case CanvasZoom_In: wanted = s * 2.0; break;
    case CanvasZoom_Out: wanted = s * 0.5; break;
    case CanvasZoom_By: wanted = s + step; break;
    }
    // A scale of 0 or less would make the picture vanish and the next step divide by
    // zero: such a step is refused. Otherwise the scale stays within the bounds, never
    // moving against the step.
    if (!(wanted > 0.0) || !std::isfinite(wanted)) wanted = s;
    wanted = std::max(wanted, std::min(kCanvasMinZoomScale, s));
    wanted = std::min(wanted, std::max(kCanvasMaxZoomScale, s));

    if (!has_view(canvas) || !has_image(canvas)) {
        canvas->zoomMode = 0;
        canvas->scale = wanted;
        canvas_reset_pan(canvas);
        return;
    }
    // The image point under (x, y) as the picture is drawn: the fit rectangle of a
    // tall image is a little narrower and shorter than the fit scale would make it.
    const CanvasRect r = BaseGpu2dCanvas::imageRect(canvas);
    const double vw = canvas->viewWidth;
    const double vh = canvas->viewHeight;
    const double left = (double(r.left) + 1.0) / 2.0 * vw;
    const double top = (1.0 - double(r.top)) / 2.0 * vh;
    const double px = (x - left) * canvas->imageWidth / ((double(r.right) - r.left) / 2.0 * vw);
    const double py = (y - top) * canvas->imageHeight / ((double(r.top) - r.bottom) / 2.0 * vh);
    canvas->scale = wanted;
    canvas->zoomMode = 0;
    drop_widened_limits(canvas);
    BaseGpu2dCanvas::anchorPoint(canvas, px, py, x, y);
    // Clamping now would take the point away from the pointer: a wheel notch past
    // Fit leaves the picture a little narrower than the view, and the clamp would
    // push it back inside by as much as it sticks out.
    canvas->zoomAnchored = 1;
}

void canvas_bound_pan(BaseGpu2dCanvas* canvas) {
    if (!canvas->zoomAnchored) return;
    canvas->zoomAnchored = 0;
    BaseGpu2dCanvas::imageRect(canvas);
}

void canvas_reset_pan(BaseGpu2dCanvas* canvas) {
    canvas->panX = 0.0;
    canvas->panY = 0.0;
    canvas->zoomAnchored = 0;
    drop_widened_limits(canvas);
}

void canvas_pan_begin(BaseGpu2dCanvas* canvas, double x, double y) {
    widen_limits_to_pan(canvas);
    canvas->pressX = canvas->lastX = x;
    canvas->pressY = canvas->lastY = y;
    canvas->pressPanX = canvas->panX;
    canvas->pressPanY = canvas->panY;
    canvas->panState = 1;
}

void canvas_pan_move(BaseGpu2dCanvas* canvas, double x, double y) {
    if (canvas->panState == 0) return;
    BaseGpu2dCanvas::imageRect(canvas);
    if (canvas->panState == 1 && canvas->zoomMode == 0) {
        canvas->panX += x - canvas->lastX;
        canvas->panY -= y - canvas->lastY;
    }
    canvas->lastX = x;
    canvas->lastY = y;
}

void canvas_pan_end(BaseGpu2dCanvas* canvas) { canvas->panState = 0; }

bool canvas_begin_pan_mode(BaseGpu2dCanvas* canvas, double seconds) {
    if (canvas->panArmed) return false;
    canvas->panArmTime = seconds;
    canvas->panArmed = 1;
    return true;
}

bool canvas_end_pan_mode(BaseGpu2dCanvas* canvas, double seconds, bool* tap) {
    if (!canvas->panArmed) {
        if (tap) *tap = false;
        return false;
    }
    canvas->panArmed = 0;
    if (tap) *tap = canvas->tapEnabled && seconds - canvas->panArmTime < kCanvasTapSeconds;
    return true;
}

bool canvas_drag_begin(BaseGpu2dCanvas* canvas, double x, double y) {
    canvas->pressX = canvas->lastX = x;
    canvas->pressY = canvas->lastY = y;
    if (canvas->panArmed) {
        widen_limits_to_pan(canvas);
        canvas->pressPanX = canvas->panX;
        canvas->pressPanY = canvas->panY;
        canvas->panState = 1;
    }
    return canvas->panState == 1;
}

void canvas_drag_to(BaseGpu2dCanvas* canvas, double x, double y) {
    if (canvas->panState != 1) return;
    if (canvas->zoomMode == 0) {
        canvas->panX += x - canvas->lastX;
        canvas->panY -= y - canvas->lastY;
    }
    canvas->lastX = x;
    canvas->lastY = y;
}

int canvas_interaction_state(const BaseGpu2dCanvas* canvas) {
    if (canvas->panState == 1) return 2;
    if (canvas->panArmed) return 1;
    return 0;
}

uint32_t canvas_build_vertex_data(BaseGpu2dCanvas* canvas, uint32_t templateCode, CanvasVertexData* data) {
    for (CanvasDrawInfo& entry : data->drawInfo) entry = CanvasDrawInfo{};

    const bool imageTemplate = templateCode < 2;
    const bool withVideo = canvas->videoPresent && imageTemplate;
    if (canvas->videoPresent) {
        canvas->framePosX = 0;
        canvas->framePosY = 0;
        uint32_t w = canvas->frameWidth;
        uint32_t h = canvas->frameHeight;
        if (imageTemplate && canvas->hasDisplayWindow && canvas->cropBoxDisplayMode == 1) {
            w = canvas->displayWindowWidth;
            h = canvas->displayWindowHeight;
            canvas->framePosX = canvas->displayWindowX;
            canvas->framePosY = canvas->displayWindowY;
        }
        if (w == 0) {
            printf("Invalid draw size w\n");
            w = 1920;
        }
        if (h == 0) {
            printf("Invalid draw size h\n");
            h = 1080;
        }
        canvas->drawWidth = w;
        canvas->drawHeight = h;
        canvas->imageWidth = w;
        canvas->imageHeight = h;
    }

    const uint32_t tileCount = canvas->tiles.count;
    const uint32_t count = withVideo ? 44 + 6 * tileCount + 4 : 4;
    const size_t floats = size_t(count) * kCanvasVertexFloats;
    if (data->vertices.size() < floats) data->vertices.resize(floats);
    float* out = data->vertices.data();

    put_quad(out, BaseGpu2dCanvas::defaultImageRect(canvas));
    data->drawInfo[CanvasDraw_DefaultImage] = {0, 4};

    if (withVideo) {
        const CanvasRect r = BaseGpu2dCanvas::imageRect(canvas);
        CanvasRect area = r;
        if (canvas->imageWidth != canvas->frameWidth || canvas->imageHeight != canvas->frameHeight ||
            canvas->framePosX != 0 || canvas->framePosY != 0) {
            const double fx = canvas->framePosX / canvas->imageWidth;
            const double fy = canvas->framePosY / canvas->imageHeight;
            const double width = double(r.right) - r.left;
            const double height = double(r.bottom) - r.top;
            area.left = float(r.left + width * fx);
            area.right = float(r.left + width * (canvas->frameWidth / canvas->imageWidth + fx));
            area.top = float(r.top + height * fy);
            area.bottom = float(r.top + height * (canvas->frameHeight / canvas->imageHeight + fy));
        }

        // Guide bands: safe areas one view pixel wide centred on their edges; the
        // video area and the crop box one pixel inside their rectangles.
        const float halfX = float(1.0 / canvas->viewWidth);
        const float halfY = float(1.0 / canvas->viewHeight);
        const CanvasRect safe5 = inset(r, 0.05f);
        const CanvasRect safe10 = inset(r, 0.10f);
        put_band(out + 4 * 5, grown(safe5, halfX, halfY), grown(safe5, -halfX, -halfY));
        put_band(out + 14 * 5, grown(safe10, halfX, halfY), grown(safe10, -halfX, -halfY));
        put_band(out + 24 * 5, area, grown(area, -2.0f * halfX, -2.0f * halfY));
        put_band(out + 34 * 5, r, grown(r, -2.0f * halfX, -2.0f * halfY));
        data->drawInfo[CanvasDraw_SafeArea5] = {4, 10};
        data->drawInfo[CanvasDraw_SafeArea10] = {14, 10};
        data->drawInfo[CanvasDraw_VideoArea] = {24, 10};
        data->drawInfo[CanvasDraw_CropBox] = {34, 10};

        const float areaWidth = area.right - area.left;
        const float areaHeight = area.bottom - area.top;
        for (uint32_t t = 0; t < tileCount; ++t) {
            const float* uv = canvas->tiles.tiles[t].uvRect;
            const float xa = area.left + uv[0] * areaWidth;
            const float xb = xa + uv[2] * areaWidth;
            const float ya = area.top + uv[1] * areaHeight;
            const float yb = ya + uv[3] * areaHeight;
            float* tile = out + size_t(44 + 6 * t) * kCanvasVertexFloats;
            put(tile + 0, {xa, yb, 0.0f, 0.0f, 1.0f});
            put(tile + 5, {xa, ya, 0.0f, 0.0f, 0.0f});
            put(tile + 10, {xb, yb, 0.0f, 1.0f, 1.0f});
            put(tile + 15, {xb, yb, 0.0f, 1.0f, 1.0f});
            put(tile + 20, {xa, ya, 0.0f, 0.0f, 0.0f});
            put(tile + 25, {xb, ya, 0.0f, 1.0f, 0.0f});
        }
        data->drawInfo[CanvasDraw_Tiles] = {44, 6 * tileCount};

        put_quad(out + size_t(44 + 6 * tileCount) * kCanvasVertexFloats, r);
        data->drawInfo[CanvasDraw_Background] = {44 + 6 * tileCount, 4};
    }
    data->vertexCount = count;
    return count;
}

void canvas_error_overlay_quad(const BaseGpu2dCanvas* canvas, uint32_t boxWidth, uint32_t boxHeight, float out[20]) {
    const double vw = std::max(1.0, canvas->viewWidth);
    const double vh = std::max(1.0, canvas->viewHeight);
    const float w = float(boxWidth / vw);
    const float h = float(boxHeight / vh);
    // When the view and the box differ by an odd height the centred box would sit half
    // a pixel off the pixel grid: it is moved up by half a pixel so that its edges and
    // texels line up.
    const float c = ((uint64_t(vh) + boxHeight) % 2 == 1) ? float(1.0 / vh) : 0.0f;
    put(out + 0, {-w, c - h, 0.0f, 0.0f, 1.0f});
    put(out + 5, {-w, c + h, 0.0f, 0.0f, 0.0f});
    put(out + 10, {w, c - h, 0.0f, 1.0f, 1.0f});
    put(out + 15, {w, c + h, 0.0f, 1.0f, 0.0f});
}

void canvas_information_overlay_quad(const BaseGpu2dCanvas* canvas, uint32_t informationOverlayHeight,
                                     float out[20]) {
    const double vw = std::max(1.0, canvas->viewWidth);
    const double vh = std::max(1.0, canvas->viewHeight);
    const float x0 = float(1.0 - 800.0 / vw);
    const float v = float(vh / std::max<uint32_t>(1, informationOverlayHeight));
    put(out + 0, {x0, -1.0f, 0.0f, 0.0f, v});
    put(out + 5, {x0, 1.0f, 0.0f, 0.0f, 0.0f});
    put(out + 10, {1.0f, -1.0f, 0.0f, 1.0f, v});
    put(out + 15, {1.0f, 1.0f, 0.0f, 1.0f, 0.0f});
}
