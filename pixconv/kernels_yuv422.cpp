// The 4:2:2 repacks and the 2:1 box downscalers.
#define PIXCONV_ISA_NS pixconv_plain
#include "pixconv/pixconv.h"
#include "pixconv/yuv422_rules.h"

using namespace pixconv_plain;

namespace {

template <class Y>
void uyvy_to_planar(PIXCONV_IMAGE_ARGS) {
    for_each_row<1, 3>(dst, src, dst_stride, src_stride, width, height, uyvy_row_to_planar<Y>);
}
template <class Y>
void v210_to_planar(PIXCONV_IMAGE_ARGS) {
    for_each_row<1, 3>(dst, src, dst_stride, src_stride, width, height, v210_row_to_planar<Y>);
}
template <class Y>
void planar_to_uyvy(PIXCONV_IMAGE_ARGS) {
    for_each_row<3, 1>(dst, src, dst_stride, src_stride, width, height, planar_row_to_uyvy<Y>);
}
template <bool OpaqueOut>
void half_bilinear(PIXCONV_IMAGE_ARGS) {
    for_each_half_row(dst, src, dst_stride, src_stride, width, height,
                      [](uint8_t* d, const uint8_t* s0, const uint8_t* s1, uint32_t w) {
                          half_bilinear_pixels<OpaqueOut>(d, s0, s1, 0, w);
                      });
}

}  // namespace

void conv_uyvy_to_planar_yuv422(PIXCONV_IMAGE_ARGS) { uyvy_to_planar<yuv_8>(dst, src, dst_stride, src_stride, width, height); }
void conv_uyvy_to_planar_yuv422_10(PIXCONV_IMAGE_ARGS) { uyvy_to_planar<yuv_10>(dst, src, dst_stride, src_stride, width, height); }
void conv_uyvy_to_planar_yuv422_12(PIXCONV_IMAGE_ARGS) { uyvy_to_planar<yuv_12>(dst, src, dst_stride, src_stride, width, height); }
void conv_v210_to_planar_yuv422(PIXCONV_IMAGE_ARGS) { v210_to_planar<yuv_8>(dst, src, dst_stride, src_stride, width, height); }
void conv_v210_to_planar_yuv422_10(PIXCONV_IMAGE_ARGS) { v210_to_planar<yuv_10>(dst, src, dst_stride, src_stride, width, height); }
void conv_planar_yuv422_to_uyvy(PIXCONV_IMAGE_ARGS) { planar_to_uyvy<yuv_8>(dst, src, dst_stride, src_stride, width, height); }
void conv_planar_yuv422_10_to_uyvy(PIXCONV_IMAGE_ARGS) { planar_to_uyvy<yuv_10>(dst, src, dst_stride, src_stride, width, height); }
void conv_planar_yuv422_12_to_uyvy(PIXCONV_IMAGE_ARGS) { planar_to_uyvy<yuv_12>(dst, src, dst_stride, src_stride, width, height); }
void half_bilinear_rgba8(PIXCONV_IMAGE_ARGS) { half_bilinear<false>(dst, src, dst_stride, src_stride, width, height); }
void half_bilinear_rgbx8_to_rgba8(PIXCONV_IMAGE_ARGS) { half_bilinear<true>(dst, src, dst_stride, src_stride, width, height); }
