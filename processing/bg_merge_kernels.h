#pragma once
// The per-pixel work of the background merge node: one kernel per source format and
// alpha mode, background mode and opacity kind, chosen once when the node is built.
// Each kernel merges a band of rows of a packed four-sample picture (8-bit, 16-bit or
// float) with its background and writes packed RGBX (RGBA in the keep-alpha mode) of
// the same depth. Kernels read every sample of a pixel before writing it, so the
// destination may be the source. Stateless: any thread may run any kernel.
#include <cstdint>

// (destination planes[4], source planes[4], destination strides[4], source
// strides[4], width, rows, opacity, first column, first row (absolute, for the
// checkerboard), colours: R G B A of the first colour then of the second).
using BgMergeKernelFn = void (*)(uint8_t* const* dst, const uint8_t* const* src, const int64_t* dst_stride,
                                 const int64_t* src_stride, uint32_t width, uint32_t height, float opacity,
                                 uint32_t first_column, uint32_t first_row, const float* colours);

enum BgMergeMode : uint32_t {
    BgMerge_Black = 0,
    BgMerge_White = 1,
    BgMerge_Checker = 2,
    BgMerge_KeepAlpha = 3,
    BgMerge_Color = 4,
    BgMerge_CustomChecker = 5,
};

// Kernel for opacity 1.0: source rgba8/rgba16/rgba32f, alpha mode 0 premultiplied or
// straight, background 1, 2, 4, 5, or 0 with straight colours. Null for the cells that
// are plain copies.
BgMergeKernelFn bg_merge_select_opaque_kernel(uint32_t src_format, uint32_t alpha_mode, uint32_t mode,
                                              bool in_place, bool use_avx2);
// Kernel for any other opacity: source rgba8, rgbx8, rgba16, rgbx16, rgba32f, rgbx32f;
// background 0..5.
BgMergeKernelFn bg_merge_select_opacity_kernel(uint32_t src_format, uint32_t alpha_mode, uint32_t mode);

// "bg_merge_rgba8_premul_checker_inplace", or null for a pointer that is no merge kernel.
const char* bg_merge_kernel_name(BgMergeKernelFn fn);
// Every merge kernel with its name (81).
struct BgMergeKernelInfo {
    const char* name;
    BgMergeKernelFn fn;
};
const BgMergeKernelInfo* bg_merge_kernels(uint32_t* count);
