#pragma once
// The whole kernel set as lists, one entry per exported kernel. The lists declare
// the kernels (pixconv.h), define the whole-image ones from the pixel engine
// (kernels_rgb.cpp) and fill the name registry (kernel_registry.cpp), so a kernel
// cannot exist in one place and be missing from another.
//
// Whole-image RGB kernels: X(source token, destination token, kind suffix) names
// conv_<source>_to_<destination><suffix>; the suffix is empty (straight), _premul,
// _unpremul or _premul_opaque.

// The nine RGB/RGBA destinations every alpha-carrying source reaches in each kind.
#define PIXCONV_NINE_DESTINATIONS(X, S, K) \
    X(S, rgba8, K)                         \
    X(S, rgba16, K)                        \
    X(S, rgba32f, K)                       \
    X(S, planar_rgb8, K)                   \
    X(S, planar_rgba8, K)                  \
    X(S, planar_rgb16, K)                  \
    X(S, planar_rgba16, K)                 \
    X(S, planar_rgb32f, K)                 \
    X(S, planar_rgba32f, K)

// The six planar destinations.
#define PIXCONV_PLANAR_DESTINATIONS(X, S, K) \
    X(S, planar_rgb8, K)                     \
    X(S, planar_rgba8, K)                    \
    X(S, planar_rgb16, K)                    \
    X(S, planar_rgba16, K)                   \
    X(S, planar_rgb32f, K)                   \
    X(S, planar_rgba32f, K)

// Packed ARGB8: 27.
#define PIXCONV_FROM_ARGB8(X)                \
    PIXCONV_NINE_DESTINATIONS(X, argb8, )    \
    PIXCONV_NINE_DESTINATIONS(X, argb8, _premul) \
    PIXCONV_NINE_DESTINATIONS(X, argb8, _unpremul)

// RGB sources without alpha: 30, all straight.
#define PIXCONV_FROM_RGB(X)                  \
    PIXCONV_NINE_DESTINATIONS(X, bgr8, )     \
    PIXCONV_NINE_DESTINATIONS(X, rgb8, )     \
    X(planar_rgb16, rgba8, )                 \
    X(planar_rgb16, rgba16, )                \
    X(planar_rgb16, rgba32f, )               \
    X(planar_rgb32f, rgba8, )                \
    X(planar_rgb32f, rgba16, )               \
    X(planar_rgb32f, rgba32f, )              \
    X(planar_rgb8, argb8, )                  \
    X(planar_rgb8, rgba8, )                  \
    X(planar_rgb8, rgb8, )                   \
    X(planar_rgb8, bgr8, )                   \
    X(planar_rgb8, rgba16, )                 \
    X(planar_rgb8, rgba32f, )

// Packed RGBA16: 27 (no straight RGBA16 to RGBA16; the merge's premultiply-opaque).
#define PIXCONV_FROM_RGBA16(X)                         \
    X(rgba16, rgba8, )                                 \
    X(rgba16, rgba32f, )                               \
    PIXCONV_PLANAR_DESTINATIONS(X, rgba16, )           \
    PIXCONV_NINE_DESTINATIONS(X, rgba16, _premul)      \
    PIXCONV_NINE_DESTINATIONS(X, rgba16, _unpremul)    \
    X(rgba16, rgba16, _premul_opaque)

// Packed RGBA32f: 27.
#define PIXCONV_FROM_RGBA32F(X)                        \
    X(rgba32f, rgba8, )                                \
    X(rgba32f, rgba16, )                               \
    PIXCONV_PLANAR_DESTINATIONS(X, rgba32f, )          \
    PIXCONV_NINE_DESTINATIONS(X, rgba32f, _premul)     \
    PIXCONV_NINE_DESTINATIONS(X, rgba32f, _unpremul)   \
    X(rgba32f, rgba32f, _premul_opaque)

// Planar RGBA sources: 21 + 21 + 24.
#define PIXCONV_FROM_PLANAR_RGBA(X)                          \
    X(planar_rgba16, rgba8, )                                \
    X(planar_rgba16, rgba16, )                               \
    X(planar_rgba16, rgba32f, )                              \
    PIXCONV_NINE_DESTINATIONS(X, planar_rgba16, _premul)     \
    PIXCONV_NINE_DESTINATIONS(X, planar_rgba16, _unpremul)   \
    X(planar_rgba32f, rgba8, )                               \
    X(planar_rgba32f, rgba16, )                              \
    X(planar_rgba32f, rgba32f, )                             \
    PIXCONV_NINE_DESTINATIONS(X, planar_rgba32f, _premul)    \
    PIXCONV_NINE_DESTINATIONS(X, planar_rgba32f, _unpremul)  \
    X(planar_rgba8, argb8, )                                 \
    X(planar_rgba8, rgb8, )                                  \
    X(planar_rgba8, bgr8, )                                  \
    X(planar_rgba8, rgba8, )                                 \
    X(planar_rgba8, rgba16, )                                \
    X(planar_rgba8, rgba32f, )                               \
    PIXCONV_NINE_DESTINATIONS(X, planar_rgba8, _premul)      \
    PIXCONV_NINE_DESTINATIONS(X, planar_rgba8, _unpremul)

// Packed RGBA8 and the RGBX sources: 30 + 7 + 6 + 6.
#define PIXCONV_FROM_RGBA8_RGBX(X)                     \
    X(rgba8, argb8, )                                  \
    X(rgba8, rgb8, )                                   \
    X(rgba8, bgr8, )                                   \
    X(rgba8, rgba16, )                                 \
    X(rgba8, rgba32f, )                                \
    PIXCONV_PLANAR_DESTINATIONS(X, rgba8, )            \
    PIXCONV_NINE_DESTINATIONS(X, rgba8, _premul)       \
    PIXCONV_NINE_DESTINATIONS(X, rgba8, _unpremul)     \
    X(rgba8, rgba8, _premul_opaque)                    \
    X(rgbx8, argb8, )                                  \
    X(rgbx8, rgba8, )                                  \
    X(rgbx8, rgba16, )                                 \
    X(rgbx8, rgba32f, )                                \
    X(rgbx8, planar_rgba8, )                           \
    X(rgbx8, planar_rgba16, )                          \
    X(rgbx8, planar_rgba32f, )                         \
    X(rgbx16, rgba8, )                                 \
    X(rgbx16, rgba16, )                                \
    X(rgbx16, rgba32f, )                               \
    X(rgbx16, planar_rgba8, )                          \
    X(rgbx16, planar_rgba16, )                         \
    X(rgbx16, planar_rgba32f, )                        \
    X(rgbx32f, rgba8, )                                \
    X(rgbx32f, rgba16, )                               \
    X(rgbx32f, rgbx32f, )                              \
    X(rgbx32f, planar_rgba8, )                         \
    X(rgbx32f, planar_rgba16, )                        \
    X(rgbx32f, planar_rgba32f, )

#define PIXCONV_RGB_KERNELS(X)     \
    PIXCONV_FROM_ARGB8(X)          \
    PIXCONV_FROM_RGB(X)            \
    PIXCONV_FROM_RGBA16(X)         \
    PIXCONV_FROM_RGBA32F(X)        \
    PIXCONV_FROM_PLANAR_RGBA(X)    \
    PIXCONV_FROM_RGBA8_RGBX(X)

// Other whole-image kernels (PixConvKernelFn): the 4:2:2 repacks and the 2:1 downscalers.
#define PIXCONV_OTHER_IMAGE_KERNELS(X)  \
    X(conv_uyvy_to_planar_yuv422)       \
    X(conv_uyvy_to_planar_yuv422_10)    \
    X(conv_uyvy_to_planar_yuv422_12)    \
    X(conv_v210_to_planar_yuv422)       \
    X(conv_v210_to_planar_yuv422_10)    \
    X(conv_planar_yuv422_to_uyvy)       \
    X(conv_planar_yuv422_10_to_uyvy)    \
    X(conv_planar_yuv422_12_to_uyvy)    \
    X(half_bilinear_rgba8)              \
    X(half_bilinear_rgbx8_to_rgba8)

// Plane depth changes (PlaneConvKernelFn): X(source depth, destination depth).
#define PIXCONV_PLANE_KERNELS(X) \
    X(8, 10le)                   \
    X(8, 12le)                   \
    X(8, 16le)                   \
    X(8, 32f)                    \
    X(10le, 8)                   \
    X(10le, 12le)                \
    X(10le, 16le)                \
    X(10le, 32f)                 \
    X(12le, 8)                   \
    X(12le, 10le)                \
    X(12le, 16le)                \
    X(12le, 32f)                 \
    X(16le, 8)                   \
    X(16le, 10le)                \
    X(16le, 12le)                \
    X(16le, 32f)                 \
    X(32f, 8)                    \
    X(32f, 10le)                 \
    X(32f, 12le)                 \
    X(32f, 16le)

// Alpha fillers (FillAlphaPlaneFn): X(depth).
#define PIXCONV_FILL_KERNELS(X) X(8) X(10le) X(12le) X(16le) X(32f)

// The kernels with an AVX2 build, by base name; the build is <name>_avx2 with the
// same signature. XI: PixConvKernelFn, XP: PlaneConvKernelFn.
#define PIXCONV_AVX2_KERNELS(XI, XP)             \
    XP(conv_plane_10le_to_8)                     \
    XP(conv_plane_16le_to_32f)                   \
    XP(conv_plane_16le_to_8)                     \
    XP(conv_plane_32f_to_16le)                   \
    XP(conv_plane_32f_to_8)                      \
    XP(conv_plane_8_to_10le)                     \
    XP(conv_plane_8_to_16le)                     \
    XP(conv_plane_8_to_32f)                      \
    XI(conv_rgba16_to_rgba16_unpremul)           \
    XI(conv_rgba16_to_rgba32f)                   \
    XI(conv_rgba16_to_rgba8)                     \
    XI(conv_rgba32f_to_rgba16)                   \
    XI(conv_rgba32f_to_rgba32f_premul)           \
    XI(conv_rgba32f_to_rgba32f_premul_opaque)    \
    XI(conv_rgba32f_to_rgba32f_unpremul)         \
    XI(conv_rgba32f_to_rgba8)                    \
    XI(conv_rgba8_to_rgba16)                     \
    XI(conv_rgba8_to_rgba32f)                    \
    XI(conv_rgba8_to_rgba8_premul)               \
    XI(conv_rgba8_to_rgba8_premul_opaque)        \
    XI(conv_rgba8_to_rgba8_unpremul)             \
    XI(conv_rgbx16_to_rgba32f)                   \
    XI(conv_rgbx16_to_rgba8)                     \
    XI(conv_rgbx32f_to_rgba16)                   \
    XI(conv_rgbx32f_to_rgba8)                    \
    XI(conv_rgbx8_to_rgba16)                     \
    XI(conv_rgbx8_to_rgba32f)                    \
    XI(conv_uyvy_to_planar_yuv422_10)            \
    XI(conv_uyvy_to_planar_yuv422)               \
    XI(half_bilinear_rgba8)                      \
    XI(half_bilinear_rgbx8_to_rgba8)
