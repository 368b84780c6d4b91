#pragma once
// The scale and pixel-format conversion node (type 1): one frame of a fixed size and
// format in, one of another size and format out, with alpha kept, premultiplied or
// un-premultiplied. The path is chosen once at creation: pixel kernels for equal
// sizes, a 2:1 box kernel for an exact bilinear halving of opaque or premultiplied
// RGBA8/RGBX8, otherwise zimg with kernels before and after it.
//
// Ownership: the node owns its working frames, its output frame and its zimg graphs;
// the output frame is reused by every run. Threads: the graph's thread.
// Errors: std::runtime_error with fixed texts (creation frees everything it made).
#include <cstdint>

#include "processing/filter_graph.h"

enum ScaleAlphaMode : uint32_t { ScaleAlpha_Premultiplied = 0, ScaleAlpha_Straight = 1 };

struct ScaleParams {
    uint32_t src_format = PixelFormat_RGBA8;
    uint32_t src_full_range = 1;
    uint32_t src_chroma_location = 0;
    uint32_t src_matrix = 0;  // 1 BT.601, otherwise BT.709
    uint32_t src_alpha_mode = ScaleAlpha_Premultiplied;
    uint32_t src_width = 0, src_height = 0;
    uint32_t dst_format = PixelFormat_RGBA8;
    uint32_t dst_full_range = 1;
    uint32_t dst_chroma_location = 0;
    uint32_t dst_matrix = 0;
    uint32_t dst_alpha_mode = ScaleAlpha_Premultiplied;
    uint32_t dst_width = 0, dst_height = 0;
    uint32_t quality = 1;    // 0 nearest, 1 bilinear, 2 bicubic, 3 Lanczos
    uint32_t interlace = 0;  // 0 progressive; 1 even lines are the top field; other: bottom
    uint8_t force_general_scaler = 0;
    uint8_t second_scaler = 0;
    uint8_t allow_avx2 = 0;
};

enum ScalePath : uint32_t { ScalePath_Undecided = 0, ScalePath_Kernel = 1, ScalePath_Zimg = 2 };

// What a node was built to do, for diagnostics and tests. Kernel names come from the
// pixel kernel registry (null when the step is absent).
struct ScalePlan {
    uint32_t path = ScalePath_Undecided;
    uint32_t conversion_mode = 0;  // 0 straight, 1 premultiply, 2 un-premultiply, 3 alpha kept
    const char* pre_kernel = nullptr;
    const char* plane_kernels[4] = {nullptr, nullptr, nullptr, nullptr};
    const char* post_kernel = nullptr;
    const char* fill_kernel = nullptr;
    uint32_t src_work_format = PixelFormat_Undefined;
    uint32_t dst_work_format = PixelFormat_Undefined;
    bool avx2 = false;
};

FilterNode* create_scale_filter(const ScaleParams& params);
// Throws "Invalid scale filter" for a node of another kind.
ScalePlan scale_filter_plan(const FilterNode* node);

// 0 premultiplied, 1 straight, for the two alpha modes of ScaleParams.
uint32_t scale_conversion_mode(uint32_t src_format, uint32_t dst_format, uint32_t src_alpha_mode,
                               uint32_t dst_alpha_mode);
const char* alpha_mode_name(uint32_t mode);
