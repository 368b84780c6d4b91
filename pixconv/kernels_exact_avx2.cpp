// AVX2 builds of the integer and integer-to-float kernels: the plain routines,
// compiled in this translation unit with -mavx2 so the compiler works whole rows at
// 256-bit width. Their arithmetic is exact (shifts, bit replication, one
// single-precision multiply by the same constant), so the results equal the plain
// builds' for every input. Run only where pixconv_use_avx2() allowed it.
#define PIXCONV_ISA_NS pixconv_avx2
#include "pixconv/pixconv.h"
#include "pixconv/plane_rules.h"
#include "pixconv/yuv422_rules.h"

using namespace pixconv_avx2;

#define PIXCONV_EXACT_RGB_AVX2(S, D, K)                                                                    \
    void conv_##S##_to_##D##K##_avx2(PIXCONV_IMAGE_ARGS) {                                                 \
        convert_image<fmt_##S, fmt_##D, PIXCONV_KIND##K>(dst, src, dst_stride, src_stride, width, height); \
    }
PIXCONV_EXACT_RGB_AVX2(rgba16, rgba8, )
PIXCONV_EXACT_RGB_AVX2(rgba16, rgba32f, )
PIXCONV_EXACT_RGB_AVX2(rgba8, rgba16, )
PIXCONV_EXACT_RGB_AVX2(rgba8, rgba32f, )
PIXCONV_EXACT_RGB_AVX2(rgba8, rgba8, _premul)
PIXCONV_EXACT_RGB_AVX2(rgba8, rgba8, _premul_opaque)
PIXCONV_EXACT_RGB_AVX2(rgbx16, rgba32f, )
PIXCONV_EXACT_RGB_AVX2(rgbx16, rgba8, )
PIXCONV_EXACT_RGB_AVX2(rgbx8, rgba16, )
PIXCONV_EXACT_RGB_AVX2(rgbx8, rgba32f, )

#define PIXCONV_EXACT_PLANE_AVX2(S, D)                                                          \
    void conv_plane_##S##_to_##D##_avx2(PIXCONV_PLANE_ARGS) {                                   \
        convert_plane<depth_##S, depth_##D>(dst, src, dst_stride, src_stride, width, height);   \
    }
PIXCONV_EXACT_PLANE_AVX2(10le, 8)
PIXCONV_EXACT_PLANE_AVX2(16le, 32f)
PIXCONV_EXACT_PLANE_AVX2(16le, 8)
PIXCONV_EXACT_PLANE_AVX2(8, 10le)
PIXCONV_EXACT_PLANE_AVX2(8, 16le)
PIXCONV_EXACT_PLANE_AVX2(8, 32f)

void conv_uyvy_to_planar_yuv422_avx2(PIXCONV_IMAGE_ARGS) {
    for_each_row<1, 3>(dst, src, dst_stride, src_stride, width, height, uyvy_row_to_planar<yuv_8>);
}
void conv_uyvy_to_planar_yuv422_10_avx2(PIXCONV_IMAGE_ARGS) {
    for_each_row<1, 3>(dst, src, dst_stride, src_stride, width, height, uyvy_row_to_planar<yuv_10>);
}

void half_bilinear_rgba8_avx2(PIXCONV_IMAGE_ARGS) {
    for_each_half_row(dst, src, dst_stride, src_stride, width, height,
                      [](uint8_t* d, const uint8_t* s0, const uint8_t* s1, uint32_t w) {
                          half_bilinear_pixels<false>(d, s0, s1, 0, w);
                      });
}
void half_bilinear_rgbx8_to_rgba8_avx2(PIXCONV_IMAGE_ARGS) {
    for_each_half_row(dst, src, dst_stride, src_stride, width, height,
                      [](uint8_t* d, const uint8_t* s0, const uint8_t* s1, uint32_t w) {
                          half_bilinear_pixels<true>(d, s0, s1, 0, w);
                      });
}
