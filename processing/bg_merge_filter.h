#pragma once
// The background merge node (type 6): lays a picture with alpha over a background
// (black, white, grey checkerboard, a colour, a two-colour checkerboard) so that the
// result no longer depends on alpha, or in the keep-alpha mode only scales alpha by
// an opacity. Packed 4-sample sources of 8, 16 bits or float, straight or
// premultiplied; output RGBX of the source depth (RGBA in keep-alpha mode).
// Ownership: the node owns its output frame; in place, that frame borrows the
// input's planes and the input is overwritten. Threads: the graph's thread; with
// slices the kernel runs on the worker threads, one band of rows each.
// Errors: std::runtime_error with fixed texts; creation frees what it made.
#include <cstdint>

#include "processing/bg_merge_kernels.h"
#include "processing/filter_graph.h"

struct BgMergeParams {
    uint32_t src_format = PixelFormat_RGBA8;
    uint32_t width = 0, height = 0;
    float opacity = 1.0f;       // limited to 0..1 at creation
    uint32_t alpha_mode = 0;    // 0 premultiplied, other straight
    uint32_t mode = BgMerge_Black;
    float colours[8] = {0, 0, 0, 1, 1, 1, 1, 1};
    uint8_t in_place = 0;
    uint8_t slice_threading = 0;
    uint8_t allow_avx2 = 0;
};

enum BgMergeKernelKind : uint32_t { BgMergeKind_Copy = 0, BgMergeKind_Opaque = 1, BgMergeKind_Opacity = 2 };

FilterNode* create_bg_merge_filter(const BgMergeParams* params);

// What a merge node was built to do (for tests and diagnostics).
struct BgMergePlan {
    uint32_t output_format = 0;
    uint32_t kind = BgMergeKind_Copy;
    const char* kernel = nullptr;  // registry name, null for copies
    uint32_t slices = 0;
};
BgMergePlan bg_merge_plan(const FilterNode* node);
