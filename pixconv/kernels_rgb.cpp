// The whole-image RGB kernels, one instantiation of the pixel engine each.
#define PIXCONV_ISA_NS pixconv_plain
#include "pixconv/pixconv.h"
#include "pixconv/pixel_engine.h"

#define PIXCONV_DEFINE_RGB(S, D, K)                                                      \
    void conv_##S##_to_##D##K(PIXCONV_IMAGE_ARGS) {                                      \
        pixconv_plain::convert_image<pixconv_plain::fmt_##S, pixconv_plain::fmt_##D, PIXCONV_KIND##K>( \
            dst, src, dst_stride, src_stride, width, height);                            \
    }

PIXCONV_RGB_KERNELS(PIXCONV_DEFINE_RGB)
