#pragma once
// Pixel conversion kernels: stateless free functions that convert a whole image, or
// one plane, from one pixel format to another in one fixed way.
//
// Call shapes (every kernel follows one of them):
// - PixConvKernelFn (destination planes[4], source planes[4], destination strides[4],
//   source strides[4], width, height): a whole image. A packed format uses entry 0
//   only, a planar format entries 0..2 (RGB) or 0..3 (RGBA), planar YUV 4:2:2 entries
//   0..2 (Y, U, V); the other entries are never read and may hold anything.
// - PlaneConvKernelFn (destination, source, destination stride, source stride,
//   width in samples, height): one plane changing depth. copy_plane has the same
//   shape with the width counted in bytes.
// - FillAlphaPlaneFn (plane, stride, width in samples, height): writes the opaque
//   maximum.
// Strides are byte counts (positive; negative strides are not supported), multiples
// of 2 for 16-bit planes and of 4 for float planes; the bytes between the end of a
// row and the stride are never touched. A width or height of 0 touches nothing.
// Kernels cannot fail: the caller guarantees every plane holds `height` rows of
// `width` pixels at its stride. They keep no state and allocate nothing, so any
// thread may call any kernel, and an image may be cut into bands of rows (pointers
// advanced by first row x stride) and converted band by band with the same result.
//
// Arithmetic (every kernel): widening replicates bits, narrowing keeps the top bits;
// integer to float multiplies by the single-precision reciprocal (8 and 16 bits) or
// divides (10 and 12 bits); float to integer limits to 0..1 NaN-safely (NaN and -inf
// give 0, +inf the maximum) and rounds halves away from zero. Premultiply and
// un-premultiply follow the fixed integer and single-precision rules documented in
// sample_rules.h; an alpha of 0 un-premultiplies to colour 0.
//
// 4:2:2 repacks: planar YUV 4:2:2 is planes Y, U, V (U and V one sample per pixel
// pair); UYVY is plane 0, bytes U Y V Y per pair (a UYVY A source is served by the
// UYVY kernels, its alpha plane never read); V210 is plane 0, groups of six pixels in
// four little-endian words. An odd width's last pixel is converted too: read from its
// pair (the packed lines hold whole pairs and groups) and, into UYVY, its Y repeated
// into the pair's second Y, so no output sample of the width is left unset.
// The 2:1 box downscalers (half_bilinear_*) take the destination's width and height;
// the source holds twice as many pixels each way; each channel is the 2x2 sum s
// rounded as (s + ((s >> 1) & 1)) >> 2.
//
// The _avx2 builds (kernels_*_avx2.cpp) may only run where pixconv_use_avx2() says
// so; see kernel_registry.h for choosing between the two builds. They give the plain
// builds' bytes for every input but one: the fused rounding of the float-to-8-bit
// builds turns the float 0x3B008080 into 1 (plain: 0) inside a vector block.
#include <cstdint>

#include "pixconv/kernel_list.h"

using PixConvKernelFn = void (*)(uint8_t* const* dst, const uint8_t* const* src, const int64_t* dst_stride,
                                 const int64_t* src_stride, uint32_t width, uint32_t height);
using PlaneConvKernelFn = void (*)(uint8_t* dst, const uint8_t* src, int64_t dst_stride, int64_t src_stride,
                                   uint32_t width, uint32_t height);
using FillAlphaPlaneFn = void (*)(uint8_t* plane, int64_t stride, uint32_t width, uint32_t height);

#define PIXCONV_IMAGE_ARGS                                                                             \
    uint8_t *const *dst, const uint8_t *const *src, const int64_t *dst_stride, const int64_t *src_stride, \
        uint32_t width, uint32_t height
#define PIXCONV_PLANE_ARGS \
    uint8_t *dst, const uint8_t *src, int64_t dst_stride, int64_t src_stride, uint32_t width, uint32_t height
#define PIXCONV_FILL_ARGS uint8_t *plane, int64_t stride, uint32_t width, uint32_t height

#define PIXCONV_DECLARE_RGB(S, D, K) void conv_##S##_to_##D##K(PIXCONV_IMAGE_ARGS);
#define PIXCONV_DECLARE_IMAGE(NAME) void NAME(PIXCONV_IMAGE_ARGS);
#define PIXCONV_DECLARE_PLANE(S, D) void conv_plane_##S##_to_##D(PIXCONV_PLANE_ARGS);
#define PIXCONV_DECLARE_FILL(D) void fill_alpha_plane_##D(PIXCONV_FILL_ARGS);
#define PIXCONV_DECLARE_AVX2_IMAGE(NAME) void NAME##_avx2(PIXCONV_IMAGE_ARGS);
#define PIXCONV_DECLARE_AVX2_PLANE(NAME) void NAME##_avx2(PIXCONV_PLANE_ARGS);

PIXCONV_RGB_KERNELS(PIXCONV_DECLARE_RGB)
PIXCONV_OTHER_IMAGE_KERNELS(PIXCONV_DECLARE_IMAGE)
PIXCONV_PLANE_KERNELS(PIXCONV_DECLARE_PLANE)
PIXCONV_FILL_KERNELS(PIXCONV_DECLARE_FILL)
PIXCONV_AVX2_KERNELS(PIXCONV_DECLARE_AVX2_IMAGE, PIXCONV_DECLARE_AVX2_PLANE)

// Copies `width` bytes per row; one memcpy when both strides equal the width.
void copy_plane(PIXCONV_PLANE_ARGS);

#undef PIXCONV_DECLARE_RGB
#undef PIXCONV_DECLARE_IMAGE
#undef PIXCONV_DECLARE_PLANE
#undef PIXCONV_DECLARE_FILL
#undef PIXCONV_DECLARE_AVX2_IMAGE
#undef PIXCONV_DECLARE_AVX2_PLANE
