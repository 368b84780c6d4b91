#pragma once
// The one record every image travels in: compressed movie samples, PNG/JPEG bytes,
// decoded GPU textures (DXT/RGTC/BC7 blocks) and raw pixels. Plain record with free
// functions; every plane buffer is 64-byte aligned.
#include <atomic>
#include <cstdint>

#include "media/pix_descriptor.h"

enum VideoDataFormat : uint32_t {
    VideoDataFormat_Compressed = 0,  // a movie sample as read from the file
    VideoDataFormat_Png = 1,
    VideoDataFormat_Jpeg = 2,
    VideoDataFormat_Hap1 = 13,  // DXT1
    VideoDataFormat_Hap5 = 14,  // DXT5
    VideoDataFormat_HapY = 15,  // YCoCg-DXT5
    VideoDataFormat_HapM = 16,  // YCoCg-DXT5 + RGTC1 alpha (two planes)
    VideoDataFormat_HapA = 17,  // RGTC1
    VideoDataFormat_Hap7 = 18,  // BC7
    VideoDataFormat_Pixels = 19,
};

enum DxtCodec : uint32_t {
    DxtCodec_DXT1 = 0,
    DxtCodec_DXT5 = 1,  // also carries YCoCg-DXT5
    DxtCodec_RGTC1 = 2,
    DxtCodec_BC7 = 3,
};

enum VideoFrameStatus : uint32_t {
    VideoFrameStatus_DecodeFailed = 2,
    VideoFrameStatus_Corrupt = 4,
    VideoFrameStatus_Invalid = 32,
};

struct VideoFrame {
    uint32_t status = 0;
    uint8_t is_pixel = 1;
    uint32_t data_format = VideoDataFormat_Pixels;
    uint32_t pixel_format = PixelFormat_Undefined;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t allocated_width = 0;
    uint32_t allocated_height = 0;
    uint32_t plane_count = 0;
    uint8_t* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    uint64_t line_sizes[4] = {0, 0, 0, 0};
    uint32_t capacities[4] = {0, 0, 0, 0};
    uint32_t sizes[4] = {0, 0, 0, 0};
    uint32_t frame_number = 0;
    uint8_t block_bytes[2] = {0, 0};
    uint8_t not_owned = 0;
    uint32_t metadata[5] = {0, 0, 0, 0, 0};
    std::atomic<uint32_t> shared_word{0};
};

// Block size of one 4x4 block of a codec: 8 or 16. Throws "Unknown dxt codec".
uint32_t dxt_codec_block_bytes(uint32_t codec);
// Codec of texture `texture_index` (0 or 1) of a texture data format 13..18.
uint32_t dxt_codec_for_texture(uint32_t data_format, uint32_t texture_index);

uint32_t align_up4(uint32_t value) noexcept;

VideoFrame* video_frame_new();
void video_frame_init(VideoFrame* frame);

void video_frame_alloc(VideoFrame* frame, uint32_t width, uint32_t height, uint32_t pixel_format,
                       bool align64);
void video_frame_alloc_round_resolution(VideoFrame* frame, uint32_t width, uint32_t height,
                                        uint32_t pixel_format, bool align64, uint32_t round_width,
                                        uint32_t round_height);
void dxt_frame_alloc(VideoFrame* frame, uint32_t width, uint32_t height, uint32_t data_format);
void dxt_frame_realloc(VideoFrame* frame, uint32_t width, uint32_t height, uint32_t data_format);
void video_frame_alloc_data(VideoFrame* frame, uint32_t size, uint32_t data_format);
void video_frame_wrap_data(VideoFrame* frame, uint8_t* data, uint32_t size, uint32_t data_format);

void video_frame_copy(VideoFrame* destination, const VideoFrame* source);
void video_frame_alloc_and_copy(VideoFrame* destination, const VideoFrame* source, bool align64);
void video_frame_ref(VideoFrame* destination, const VideoFrame* source);

void video_frame_free_planes(VideoFrame* frame);
void video_frame_free(VideoFrame** frame);
void video_frame_destroy(VideoFrame* frame);
