#pragma once
// The vertex block of the audio meters: one column quad, one peak line and the tick
// marks of the dB scales, for a window of W x H logical pixels. The renderer moves the
// column and the peak line per channel with a pushed offset; the ticks stay in place.
//
// Positions are normalised device coordinates with y up (+1 is the top edge); the
// vertex functions turn them to the device's orientation. Every quad is four vertices:
// (left, low) uv (0, 1), (left, high) uv (0, 0), (right, low) uv (1, 1), (right, high)
// uv (1, 0). Each scale is one triangle strip through all its quads, laid out from top
// to bottom: the bridging triangles between two ticks face away and are culled.
// Pure function; any thread.
#include <cstdint>

constexpr uint32_t kAudioMetersFloatsPerVertex = 5;  // x, y, z, u, v
constexpr uint32_t kAudioMetersVertexBytes = kAudioMetersFloatsPerVertex * 4;
constexpr uint32_t kAudioMetersColumnFirst = 0;    // 4 vertices
constexpr uint32_t kAudioMetersPeakFirst = 4;      // 4 vertices
constexpr uint32_t kAudioMetersLeftScaleFirst = 8;     // 112 vertices
constexpr uint32_t kAudioMetersRightScaleFirst = 120;  // 112 vertices
constexpr uint32_t kAudioMetersScaleVertices = 112;
constexpr uint32_t kAudioMetersSeparatorFirst = 232;  // 40 vertices
constexpr uint32_t kAudioMetersSeparatorVertices = 40;
constexpr uint32_t kAudioMetersVertexCount = 272;
constexpr uint32_t kAudioMetersMaxColumns = 8;

// Column geometry in logical pixels: the first column's left edge, the step between
// columns, a column's width, and the first separator's offset.
constexpr uint32_t kAudioMetersColumnX = 15;
constexpr uint32_t kAudioMetersColumnStep = 34;
constexpr uint32_t kAudioMetersColumnWidth = 20;
constexpr uint32_t kAudioMetersSeparatorX = 35;

// Writes kAudioMetersVertexCount vertices (kAudioMetersFloatsPerVertex floats each)
// into `out` for a window `width` x `height` logical pixels (both at least 1).
void audio_meters_build_vertices(uint32_t width, uint32_t height, float* out);
