#include "processing/conv_selectors.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "media/pix_descriptor.h"
#include "pixconv/kernel_registry.h"
#include "base/formats/pixfmt_name.h"

namespace {

constexpr uint32_t kFormats = 40;

struct Route {
    uint32_t source;
    uint32_t destinations[2];  // second 0xFF when unused
    const char* kernel;
};
constexpr uint32_t N = 0xFF;

// Straight conversions. Pairs that are not listed have no kernel.
const Route kStraight[] = {
    {0, {1, 4}, "conv_argb8_to_rgba8"}, {0, {5, 6}, "conv_argb8_to_rgba16"}, {0, {7, 8}, "conv_argb8_to_rgba32f"},
    {0, {9, N}, "conv_argb8_to_planar_rgb8"}, {0, {10, N}, "conv_argb8_to_planar_rgba8"},
    {0, {13, N}, "conv_argb8_to_planar_rgb16"}, {0, {14, N}, "conv_argb8_to_planar_rgba16"},
    {0, {15, N}, "conv_argb8_to_planar_rgb32f"}, {0, {16, N}, "conv_argb8_to_planar_rgba32f"},

    {1, {0, N}, "conv_rgba8_to_argb8"}, {1, {2, N}, "conv_rgba8_to_rgb8"}, {1, {3, N}, "conv_rgba8_to_bgr8"},
    {1, {5, 6}, "conv_rgba8_to_rgba16"}, {1, {7, 8}, "conv_rgba8_to_rgba32f"},
    {1, {9, N}, "conv_rgba8_to_planar_rgb8"}, {1, {10, N}, "conv_rgba8_to_planar_rgba8"},
    {1, {13, N}, "conv_rgba8_to_planar_rgb16"}, {1, {14, N}, "conv_rgba8_to_planar_rgba16"},
    {1, {15, N}, "conv_rgba8_to_planar_rgb32f"}, {1, {16, N}, "conv_rgba8_to_planar_rgba32f"},

    {2, {1, 4}, "conv_rgb8_to_rgba8"}, {2, {5, 6}, "conv_rgb8_to_rgba16"}, {2, {7, 8}, "conv_rgb8_to_rgba32f"},
    {2, {9, N}, "conv_rgb8_to_planar_rgb8"}, {2, {10, N}, "conv_rgb8_to_planar_rgba8"},
    {2, {13, N}, "conv_rgb8_to_planar_rgb16"}, {2, {14, N}, "conv_rgb8_to_planar_rgba16"},
    {2, {15, N}, "conv_rgb8_to_planar_rgb32f"}, {2, {16, N}, "conv_rgb8_to_planar_rgba32f"},

    {3, {1, 4}, "conv_bgr8_to_rgba8"}, {3, {5, 6}, "conv_bgr8_to_rgba16"}, {3, {7, 8}, "conv_bgr8_to_rgba32f"},
    {3, {9, N}, "conv_bgr8_to_planar_rgb8"}, {3, {10, N}, "conv_bgr8_to_planar_rgba8"},
    {3, {13, N}, "conv_bgr8_to_planar_rgb16"}, {3, {14, N}, "conv_bgr8_to_planar_rgba16"},
    {3, {15, N}, "conv_bgr8_to_planar_rgb32f"}, {3, {16, N}, "conv_bgr8_to_planar_rgba32f"},

    {4, {0, N}, "conv_rgbx8_to_argb8"}, {4, {1, N}, "conv_rgbx8_to_rgba8"}, {4, {2, N}, "conv_rgba8_to_rgb8"},
    {4, {3, N}, "conv_rgba8_to_bgr8"}, {4, {5, N}, "conv_rgbx8_to_rgba16"}, {4, {6, N}, "conv_rgba8_to_rgba16"},
    {4, {7, N}, "conv_rgbx8_to_rgba32f"}, {4, {8, N}, "conv_rgba8_to_rgba32f"},
    {4, {9, N}, "conv_rgba8_to_planar_rgb8"}, {4, {10, N}, "conv_rgbx8_to_planar_rgba8"},
    {4, {13, N}, "conv_rgba8_to_planar_rgb16"}, {4, {14, N}, "conv_rgbx8_to_planar_rgba16"},
    {4, {15, N}, "conv_rgba8_to_planar_rgb32f"}, {4, {16, N}, "conv_rgbx8_to_planar_rgba32f"},

    {5, {1, 4}, "conv_rgba16_to_rgba8"}, {5, {7, 8}, "conv_rgba16_to_rgba32f"},
    {5, {9, N}, "conv_rgba16_to_planar_rgb8"}, {5, {10, N}, "conv_rgba16_to_planar_rgba8"},
    {5, {13, N}, "conv_rgba16_to_planar_rgb16"}, {5, {14, N}, "conv_rgba16_to_planar_rgba16"},
    {5, {15, N}, "conv_rgba16_to_planar_rgb32f"}, {5, {16, N}, "conv_rgba16_to_planar_rgba32f"},

    {6, {1, 4}, "conv_rgbx16_to_rgba8"}, {6, {5, N}, "conv_rgbx16_to_rgba16"}, {6, {7, 8}, "conv_rgbx16_to_rgba32f"},
    {6, {9, N}, "conv_rgba16_to_planar_rgb8"}, {6, {10, N}, "conv_rgbx16_to_planar_rgba8"},
    {6, {13, N}, "conv_rgba16_to_planar_rgb16"}, {6, {14, N}, "conv_rgbx16_to_planar_rgba16"},
    {6, {15, N}, "conv_rgba16_to_planar_rgb32f"}, {6, {16, N}, "conv_rgbx16_to_planar_rgba32f"},

    {7, {1, 4}, "conv_rgba32f_to_rgba8"}, {7, {5, 6}, "conv_rgba32f_to_rgba16"},
    {7, {9, N}, "conv_rgba32f_to_planar_rgb8"}, {7, {10, N}, "conv_rgba32f_to_planar_rgba8"},
    {7, {13, N}, "conv_rgba32f_to_planar_rgb16"}, {7, {14, N}, "conv_rgba32f_to_planar_rgba16"},
    {7, {15, N}, "conv_rgba32f_to_planar_rgb32f"}, {7, {16, N}, "conv_rgba32f_to_planar_rgba32f"},

    {8, {1, 4}, "conv_rgbx32f_to_rgba8"}, {8, {5, 6}, "conv_rgbx32f_to_rgba16"}, {8, {7, 8}, "conv_rgbx32f_to_rgbx32f"},
    {8, {9, N}, "conv_rgba32f_to_planar_rgb8"}, {8, {10, N}, "conv_rgbx32f_to_planar_rgba8"},
    {8, {13, N}, "conv_rgba32f_to_planar_rgb16"}, {8, {14, N}, "conv_rgbx32f_to_planar_rgba16"},
    {8, {15, N}, "conv_rgba32f_to_planar_rgb32f"}, {8, {16, N}, "conv_rgbx32f_to_planar_rgba32f"},

    {9, {0, N}, "conv_planar_rgb8_to_argb8"}, {9, {1, 4}, "conv_planar_rgb8_to_rgba8"},
    {9, {2, N}, "conv_planar_rgb8_to_rgb8"}, {9, {3, N}, "conv_planar_rgb8_to_bgr8"},
    {9, {5, 6}, "conv_planar_rgb8_to_rgba16"}, {9, {7, 8}, "conv_planar_rgb8_to_rgba32f"},

    {10, {0, N}, "conv_planar_rgba8_to_argb8"}, {10, {1, 4}, "conv_planar_rgba8_to_rgba8"},
    {10, {2, N}, "conv_planar_rgba8_to_rgb8"}, {10, {3, N}, "conv_planar_rgba8_to_bgr8"},
    {10, {5, 6}, "conv_planar_rgba8_to_rgba16"}, {10, {7, 8}, "conv_planar_rgba8_to_rgba32f"},

    {13, {1, 4}, "conv_planar_rgb16_to_rgba8"}, {13, {5, 6}, "conv_planar_rgb16_to_rgba16"},
    {13, {7, 8}, "conv_planar_rgb16_to_rgba32f"},
    {14, {1, 4}, "conv_planar_rgba16_to_rgba8"}, {14, {5, 6}, "conv_planar_rgba16_to_rgba16"},
    {14, {7, 8}, "conv_planar_rgba16_to_rgba32f"},
    {15, {1, 4}, "conv_planar_rgb32f_to_rgba8"}, {15, {5, 6}, "conv_planar_rgb32f_to_rgba16"},
    {15, {7, 8}, "conv_planar_rgb32f_to_rgba32f"},
    {16, {1, 4}, "conv_planar_rgba32f_to_rgba8"}, {16, {5, 6}, "conv_planar_rgba32f_to_rgba16"},
    {16, {7, 8}, "conv_planar_rgba32f_to_rgba32f"},

    {23, {34, N}, "conv_planar_yuv422_to_uyvy"}, {28, {34, N}, "conv_planar_yuv422_10_to_uyvy"},
    {31, {34, N}, "conv_planar_yuv422_12_to_uyvy"},
    {34, {23, N}, "conv_uyvy_to_planar_yuv422"}, {34, {28, N}, "conv_uyvy_to_planar_yuv422_10"},
    {34, {31, N}, "conv_uyvy_to_planar_yuv422_12"},
    {35, {23, N}, "conv_v210_to_planar_yuv422"}, {35, {28, N}, "conv_v210_to_planar_yuv422_10"},
    // UYVY A: the UYVY plane is split, the alpha plane is left to the caller.
    {36, {23, N}, "conv_uyvy_to_planar_yuv422"}, {36, {28, N}, "conv_uyvy_to_planar_yuv422_10"},
    {36, {31, N}, "conv_uyvy_to_planar_yuv422_12"},
};

// Premultiply and un-premultiply: every listed source to every RGB destination.
struct Token {
    uint32_t format;
    const char* token;
};
const Token kAlphaSources[] = {{0, "argb8"},         {1, "rgba8"},          {5, "rgba16"},         {7, "rgba32f"},
                               {10, "planar_rgba8"}, {14, "planar_rgba16"}, {16, "planar_rgba32f"}};
const Token kAlphaDestinations[] = {{1, "rgba8"},         {4, "rgba8"},          {5, "rgba16"},
                                    {6, "rgba16"},        {7, "rgba32f"},        {8, "rgba32f"},
                                    {9, "planar_rgb8"},   {10, "planar_rgba8"},  {13, "planar_rgb16"},
                                    {14, "planar_rgba16"}, {15, "planar_rgb32f"}, {16, "planar_rgba32f"}};

PixConvKernelFn find_image_kernel(const char* name) {
    size_t count = 0;
    const PixConvKernelInfo* kernels = pixconv_kernels(&count);
    for (size_t i = 0; i < count; ++i)
        if (kernels[i].shape == PixConvShape::Image && std::strcmp(kernels[i].name, name) == 0)
            return reinterpret_cast<PixConvKernelFn>(kernels[i].fn);
    return nullptr;
}

using Table = PixConvKernelFn[kFormats][kFormats];

struct Tables {
    Table straight{};
    Table premul{};
    Table unpremul{};
    Tables() {
        for (const Route& r : kStraight)
            for (uint32_t d : r.destinations)
                if (d != N) straight[r.source][d] = find_image_kernel(r.kernel);
        char name[96];
        for (const Token& s : kAlphaSources)
            for (const Token& d : kAlphaDestinations) {
                std::snprintf(name, sizeof(name), "conv_%s_to_%s_premul", s.token, d.token);
                premul[s.format][d.format] = find_image_kernel(name);
                std::snprintf(name, sizeof(name), "conv_%s_to_%s_unpremul", s.token, d.token);
                unpremul[s.format][d.format] = find_image_kernel(name);
            }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

PixConvKernelFn lookup(const Table& table, uint32_t source, uint32_t destination, uint8_t use_avx2) {
    if (source >= kFormats || destination >= kFormats) return nullptr;
    return pixconv_pick(table[source][destination], use_avx2 != 0);
}

uint32_t family_of(uint32_t flags) { return flags & (PixFlag_Grey | PixFlag_RGB | PixFlag_CMYK | PixFlag_YUV); }
uint32_t chroma_of(uint32_t flags) { return flags & (PixFlag_420 | PixFlag_422 | PixFlag_444); }

// Depth class of a plane: 8, 10, 12, 16 or 32 (float).
uint32_t plane_depth(const PixDescriptor& d, uint32_t plane) {
    if (d.flags & PixFlag_Float) return 32;
    return d.bit_depth[plane];
}

PlaneConvKernelFn depth_kernel(uint32_t from, uint32_t to, uint8_t use_avx2) {
    PlaneConvKernelFn k = nullptr;
    switch (from * 100 + to) {
        case 810: k = conv_plane_8_to_10le; break;
        case 812: k = conv_plane_8_to_12le; break;
        case 816: k = conv_plane_8_to_16le; break;
        case 832: k = conv_plane_8_to_32f; break;
        case 1008: k = conv_plane_10le_to_8; break;
        case 1012: k = conv_plane_10le_to_12le; break;
        case 1016: k = conv_plane_10le_to_16le; break;
        case 1032: k = conv_plane_10le_to_32f; break;
        case 1208: k = conv_plane_12le_to_8; break;
        case 1210: k = conv_plane_12le_to_10le; break;
        case 1216: k = conv_plane_12le_to_16le; break;
        case 1232: k = conv_plane_12le_to_32f; break;
        case 1608: k = conv_plane_16le_to_8; break;
        case 1610: k = conv_plane_16le_to_10le; break;
        case 1612: k = conv_plane_16le_to_12le; break;
        case 1632: k = conv_plane_16le_to_32f; break;
        case 3208: k = conv_plane_32f_to_8; break;
        case 3210: k = conv_plane_32f_to_10le; break;
        case 3212: k = conv_plane_32f_to_12le; break;
        case 3216: k = conv_plane_32f_to_16le; break;
        default: break;
    }
    return pixconv_pick(k, use_avx2 != 0);
}

void warn_unsupported_plane(uint32_t from, uint32_t to, uint32_t plane) {
    const int is_float = to == 32 ? 1 : 0;
    const int depth = static_cast<int>(to);
    switch (from) {
        case 8: std::printf("WARNING ASSIGN PLANE CONV : Plane 8 to %d bits unsupported (is float : %d)\n", depth, is_float); break;
        case 10: std::printf("WARNING ASSIGN PLANE CONV : Plane 10 LE to %d bits unsupported (is float : %d)\n", depth, is_float); break;
        case 12: std::printf("WARNING ASSIGN PLANE CONV : Plane 12 LE to %d bits unsupported (is float : %d)\n", depth, is_float); break;
        case 16:
            std::printf("WARNING ASSIGN PLANE CONV : Plane 16 LE to %d bits unsupported (is float : %d) (Plane : %d)\n",
                        depth, is_float, static_cast<int>(plane));
            break;
        case 32:
            std::printf("WARNING : Plane 32f LE to %d bits unsupported (is float : %d) (Plane : %d)\n", depth, is_float,
                        static_cast<int>(plane));
            break;
        default: std::printf("WARNING : Plane %d unsupported\n", static_cast<int>(from)); break;
    }
}

}  // namespace

PixConvKernelFn get_conv_kernel(uint32_t source, uint32_t destination, uint8_t use_avx2) {
    return lookup(tables().straight, source, destination, use_avx2);
}

PixConvKernelFn get_premul_kernel(uint32_t source, uint32_t destination, uint8_t use_avx2) {
    return lookup(tables().premul, source, destination, use_avx2);
}

PixConvKernelFn get_unpremul_kernel(uint32_t source, uint32_t destination, uint8_t use_avx2) {
    return lookup(tables().unpremul, source, destination, use_avx2);
}

uint32_t pixfmt_without_alpha(uint32_t format) {
    switch (format) {
        case 1: return 4;
        case 7: return 8;
        case 10: return 9;
        case 14: return 13;
        case 16: return 15;
        case 30: return 29;
        case 33: return 32;
        default: return format;
    }
}

uint32_t pixfmt_to_planar(uint32_t format, uint8_t keep_alpha) {
    if (format < PixelFormat_UYVY && format >= PixelFormat_Planar_RGB8) {
        const PixDescriptor d = get_pix_descriptor(format);
        if (!(d.flags & PixFlag_Alpha) || keep_alpha) return format;
        const uint32_t without = pixfmt_without_alpha(format);
        if (without == format) {
            std::printf("Can't find no alpha planar fmt : %s\n", pixfmt_name(format));
            throw std::runtime_error("Can't find no alpha planar fmt");
        }
        return without;
    }
    switch (format) {
        case 0:
        case 1: return keep_alpha ? 10 : 9;
        case 2:
        case 3:
        case 4: return 9;
        case 5: return keep_alpha ? 14 : 13;
        case 6: return 13;
        case 7: return keep_alpha ? 16 : 15;
        case 8: return 15;
        case 34: return 23;
        case 35: return 28;
        default: break;
    }
    std::printf("Can't find packed to planar fmt : %s\n", pixfmt_name(format));
    throw std::runtime_error("Can't find packed to planar fmt");
}

void assign_plane_converters(PlaneStep* step, uint32_t from, uint32_t to, uint32_t width, uint32_t height,
                             uint32_t conversion_mode, uint8_t use_avx2) {
    *step = PlaneStep{};
    if (from == to || from >= PixelFormat_Undefined || to >= PixelFormat_Undefined) return;
    // Formats equal but for alpha still need their colour planes carried into the
    // other frame: the reduction picks the planes, it never skips the step.
    if (conversion_mode == 0) {
        from = pixfmt_without_alpha(from);
        to = pixfmt_without_alpha(to);
    }
    const PixDescriptor s = get_pix_descriptor(from);
    const PixDescriptor d = get_pix_descriptor(to);
    if (!(s.flags & PixFlag_Planar) || !(d.flags & PixFlag_Planar)) return;
    if (family_of(s.flags) != family_of(d.flags) || family_of(s.flags) == 0) return;
    if ((s.flags & PixFlag_YUV) && chroma_of(s.flags) != chroma_of(d.flags)) return;

    step->on = true;
    const uint32_t planes = s.plane_count < d.plane_count ? s.plane_count : d.plane_count;
    for (uint32_t p = 0; p < planes; ++p) {
        const uint32_t samples = (width + d.horizontal_subsampling[p] - 1) / d.horizontal_subsampling[p];
        const uint32_t rows = (height + d.vertical_subsampling[p] - 1) / d.vertical_subsampling[p];
        const uint32_t sd = plane_depth(s, p);
        const uint32_t dd = plane_depth(d, p);
        PlaneConvKernelFn k = nullptr;
        uint32_t w = samples;
        if (sd == dd) {
            // Equal depths still need their plane carried across (alpha changes are done
            // by the kernels around this step, never dropped here).
            k = copy_plane;
            w = samples * s.bytes_per_pixel[p];
        } else {
            k = depth_kernel(sd, dd, use_avx2);
        }
        if (!k) {
            warn_unsupported_plane(sd, dd, p);
            *step = PlaneStep{};
            return;
        }
        step->kernels[p] = k;
        step->widths[p] = w;
        step->rows[p] = rows;
    }
}
