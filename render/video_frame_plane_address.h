#pragma once
// Address of a pixel (pixel frames) or of a 4x4 block (texture frames) in a plane.
#include <cstdint>

struct VideoFrame;

// Throws std::runtime_error: "Invalid coordinate", "Invalid plane data", "Invalid
// plane index for dxt data", "Invalid coordinate for dxt texture", "Invalid plane
// index for pixel format", "Unsupported subsampling".
uint8_t* video_frame_plane_address(const VideoFrame* frame, uint32_t x, uint32_t y, uint32_t plane);

// Byte offset of that address from the start of the plane (same checks and errors).
uint64_t video_frame_plane_offset(const VideoFrame* frame, uint32_t x, uint32_t y, uint32_t plane);
