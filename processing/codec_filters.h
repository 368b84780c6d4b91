#pragma once
// The codec nodes: HAP decode (type 25, a movie sample into its textures), DXT
// decode (type 26, textures into RGBA8/RGBX8 pixels), PNG encode (type 35, libpng)
// and JPEG encode (type 36, TurboJPEG). The encoders' output frames wrap the file's
// bytes in memory (data format 1 PNG, 2 JPEG), valid until the next run.
// Ownership: each node owns its output frame, buffers and library handles.
// Threads: the graph's thread (HAP decode may spread its chunks over the cores).
// Errors: std::runtime_error with fixed texts; creation frees what it made.
#include <cstdint>

#include "media/hap_frame.h"  // HapCodec
#include "processing/filter_graph.h"

struct HapDecodeParams {
    uint32_t codec = HapCodec_Hap1;
    uint32_t width = 0, height = 0;
    uint32_t texture_selection = 0;  // HapM: 0 both, 1 colour only, other alpha only
    uint8_t threaded = 0;
};

struct DxtDecodeParams {
    uint32_t codec = HapCodec_Hap1;
    uint32_t width = 0, height = 0;
    uint8_t float_flag = 1;  // HapM: 1 the float YCoCg variant, 0 the integer one
    uint32_t output_format = PixelFormat_RGBA8;  // 1 RGBA8 or 4 RGBX8
    uint8_t decoder_option = 0;
};

struct PngEncodeParams {
    uint8_t channels = 4;  // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
    uint8_t bit_depth = 8;
    uint32_t compression_mode = 0;  // 0 fast, 1 medium, other libpng's defaults
};

struct JpegEncodeParams {
    uint32_t width = 0, height = 0;
    uint32_t quality = 90;  // 0 becomes 1, above 100 becomes 100
};

FilterNode* create_hap_decode_filter(const HapDecodeParams& params);
FilterNode* create_dxt_decode_filter(const DxtDecodeParams& params);
FilterNode* create_png_encode_filter(const PngEncodeParams& params);
FilterNode* create_jpeg_encode_filter(const JpegEncodeParams& params);
