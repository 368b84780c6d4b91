#include "render/vulkan_audio_meters_geometry.h"

namespace {

// Fractions of the height from the top where the major ticks stand: with levels
// linear from -48 dB at the bottom to 0 dB at the top, 0, -3, -6, -12 ... -48 dB.
constexpr float kScaleTable[10] = {0.0f,   1.0f / 16, 1.0f / 8, 1.0f / 4, 3.0f / 8,
                                   1.0f / 2, 5.0f / 8,  3.0f / 4, 7.0f / 8, 1.0f};

class VertexWriter {
public:
    VertexWriter(float* out, uint32_t width, uint32_t height)
        : m_out(out), m_sx(2.0f / float(width)), m_sy(2.0f / float(height)), m_height(float(height)) {}

    // A quad from pixel x0 to x1 (from the left edge) and pixel rows top to top + h
    // (from the top edge).
    void quadPixels(float x0, float x1, float top, float h) {
        const float left = -1.0f + x0 * m_sx;
        const float right = -1.0f + x1 * m_sx;
        const float high = 1.0f - top * m_sy;
        const float low = 1.0f - (top + h) * m_sy;
        quad(left, right, low, high);
    }
    void quad(float left, float right, float low, float high) {
        vertex(left, low, 0.0f, 1.0f);
        vertex(left, high, 0.0f, 0.0f);
        vertex(right, low, 1.0f, 1.0f);
        vertex(right, high, 1.0f, 0.0f);
    }
    // Top row of the 2-pixel tick at table fraction t, and of the final bottom tick.
    float tickTop(float t) const { return t * (m_height - 2.0f) + 1.0f; }
    float bottomTickTop() const { return m_height - 2.0f; }
    float sy() const { return m_sy; }

private:
    void vertex(float x, float y, float u, float v) {
        m_out[0] = x;
        m_out[1] = y;
        m_out[2] = 0.0f;
        m_out[3] = u;
        m_out[4] = v;
        m_out += kAudioMetersFloatsPerVertex;
    }

    float* m_out;
    float m_sx;
    float m_sy;
    float m_height;
};

// One scale: a major tick at each table fraction with two minor ticks in each interval
// below it, then the final major tick on the bottom rows. 28 quads, top to bottom.
void scale(VertexWriter& w, float majorX0, float majorX1, float minorX0, float minorX1) {
    for (int k = 0; k < 9; ++k) {
        const float t0 = kScaleTable[k];
        const float t1 = kScaleTable[k + 1];
        w.quadPixels(majorX0, majorX1, w.tickTop(t0), 2.0f);
        for (int j = 1; j <= 2; ++j) w.quadPixels(minorX0, minorX1, w.tickTop(t0 + float(j) * (t1 - t0) / 3.0f), 2.0f);
    }
    w.quadPixels(majorX0, majorX1, w.bottomTickTop(), 2.0f);
}

}  // namespace

void audio_meters_build_vertices(uint32_t width, uint32_t height, float* out) {
    if (width == 0) width = 1;
    if (height == 0) height = 1;
    VertexWriter w(out, width, height);
    const float W = float(width);
    // Column: the full height; peak line: the bottom pixel row (moved up by the offset).
    w.quad(-1.0f, -1.0f + float(kAudioMetersColumnWidth) * 2.0f / W, -1.0f, 1.0f);
    w.quad(-1.0f, -1.0f + float(kAudioMetersColumnWidth) * 2.0f / W, -1.0f, -1.0f + w.sy());
    scale(w, 0.0f, 10.0f, 4.0f, 10.0f);
    scale(w, W - 10.0f, W, W - 10.0f, W - 4.0f);
    for (int k = 0; k < 9; ++k) w.quadPixels(4.0f, 10.0f, w.tickTop(kScaleTable[k]), 2.0f);
    w.quadPixels(4.0f, 10.0f, w.bottomTickTop(), 2.0f);
}
