#include "processing/scale_filter.h"

#include <zimg.h>

#include <cassert>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "pixconv/kernel_registry.h"
#include "platform/aligned_memory.h"
#include "processing/conv_selectors.h"
#include "base/formats/pixfmt_name.h"
#include "processing/node_builder.h"

namespace {

// Where a step reads or writes.
enum Slot : uint8_t { Slot_Input, Slot_Work1, Slot_Work2, Slot_Output };

struct ScaleState {
    ScaleParams params;
    uint32_t mode = 0;
    uint32_t path = ScalePath_Undecided;
    bool avx2 = false;
    uint32_t src_work = PixelFormat_Undefined;
    uint32_t dst_work = PixelFormat_Undefined;

    PixConvKernelFn pre = nullptr;
    Slot pre_dst = Slot_Output;
    bool pre_is_half = false;  // the 2:1 kernels walk the destination's size
    PlaneStep plane;
    Slot plane_src = Slot_Input, plane_dst = Slot_Output;
    PixConvKernelFn post = nullptr;
    Slot post_src = Slot_Input;
    FillAlphaPlaneFn fill = nullptr;

    // zimg path: the image formats are kept for the run (plane counts).
    Slot zimg_src = Slot_Input, zimg_dst = Slot_Output;
    uint32_t zimg_src_planes = 0, zimg_dst_planes = 0;
    zimg_filter_graph* graphs[2] = {nullptr, nullptr};
    void* tmp[2] = {nullptr, nullptr};

    VideoFrame* work1 = nullptr;
    VideoFrame* work2 = nullptr;
    VideoFrame* staging = nullptr;  // an aligned copy of an input zimg could not read
    VideoFrame* output = nullptr;
};

bool has_alpha(uint32_t format) { return (get_pix_descriptor(format).flags & PixFlag_Alpha) != 0; }
bool is_planar(uint32_t format) { return (get_pix_descriptor(format).flags & PixFlag_Planar) != 0; }

bool source_accepted(uint32_t f) { return f <= 24 || (f >= 27 && f <= 35); }
bool destination_accepted(uint32_t f) { return f <= 17 || (f >= 22 && f <= 24) || (f >= 27 && f <= 30) || f == 34; }

uint32_t ceil_div(uint32_t a, uint32_t b) { return (a + b - 1) / b; }

void free_state(ScaleState* s) {
    if (!s) return;
    for (int i = 0; i < 2; ++i) {
        zimg_filter_graph_free(s->graphs[i]);
        platform::aligned_free64(s->tmp[i]);
    }
    video_frame_free(&s->work1);
    video_frame_free(&s->work2);
    video_frame_free(&s->staging);
    video_frame_free(&s->output);
    delete s;
}

// Plain plane copies for formats that are equal (after dropping alpha from both).
void plan_copies(ScaleState* s, uint32_t format) {
    const ScaleParams& p = s->params;
    const PixDescriptor d = get_pix_descriptor(format);
    s->plane = PlaneStep{};
    s->plane.on = true;
    if (format == PixelFormat_UYVY) {
        // Two pixels share four bytes: the whole row is 4 x ceil(width / 2) bytes.
        s->plane.kernels[0] = copy_plane;
        s->plane.widths[0] = 4 * ceil_div(p.src_width, 2);
        s->plane.rows[0] = p.src_height;
        return;
    }
    if (format == PixelFormat_V210) {
        s->plane.kernels[0] = copy_plane;
        s->plane.widths[0] = (ceil_div(p.src_width, 6) * 16 + 127) / 128 * 128;
        s->plane.rows[0] = p.src_height;
        return;
    }
    for (uint32_t i = 0; i < d.plane_count && i < 4; ++i) {
        s->plane.kernels[i] = copy_plane;
        s->plane.widths[i] = ceil_div(p.src_width, d.horizontal_subsampling[i]) * d.bytes_per_pixel[i];
        s->plane.rows[i] = ceil_div(p.src_height, d.vertical_subsampling[i]);
    }
}

// Lays out the slots of a pre / plane / post chain; false when it cannot produce the
// output (a plane step that is off between two different working formats).
bool chain_slots(ScaleState* s) {
    if (!s->plane.on && s->pre && s->post && s->src_work != s->dst_work) return false;
    if (!s->pre && !s->plane.on && !s->post) return false;
    Slot cur = Slot_Input;
    if (s->pre) {
        s->pre_dst = (s->plane.on || s->post) ? Slot_Work1 : Slot_Output;
        cur = s->pre_dst;
    }
    if (s->plane.on) {
        s->plane_src = cur;
        s->plane_dst = s->post ? Slot_Work2 : Slot_Output;
        cur = s->plane_dst;
    }
    if (s->post) {
        s->post_src = cur;
        cur = Slot_Output;
    }
    return cur == Slot_Output;
}

PixConvKernelFn alpha_kernel(uint32_t mode, uint32_t from, uint32_t to, bool avx2) {
    if (mode == 1) return get_premul_kernel(from, to, avx2);
    if (mode == 2) return get_unpremul_kernel(from, to, avx2);
    return get_conv_kernel(from, to, avx2);
}

void choose_same_size(ScaleState* s) {
    const ScaleParams& p = s->params;
    const uint32_t src = p.src_format, dst = p.dst_format;
    PixConvKernelFn k = nullptr;
    if (s->mode == 1) {
        k = get_premul_kernel(src, dst, s->avx2);
    } else if (s->mode == 2) {
        k = get_unpremul_kernel(src, dst, s->avx2);
    } else {
        // Alpha may only be dropped when the destination has none: RGBX into RGBA must
        // write the maximum alpha, never the X sample.
        const bool drop = s->mode == 0 && !has_alpha(dst);
        const uint32_t a = drop ? pixfmt_without_alpha(src) : src;
        const uint32_t b = drop ? pixfmt_without_alpha(dst) : dst;
        if (a == b) {
            plan_copies(s, src);
            s->path = ScalePath_Kernel;
            return;
        }
        k = get_conv_kernel(src, dst, s->avx2);
    }
    if (k) {
        s->pre = k;
        s->pre_dst = Slot_Output;
        s->path = ScalePath_Kernel;
        return;
    }
    const uint32_t sf = get_pix_descriptor(src).flags, df = get_pix_descriptor(dst).flags;
    const bool rgb = (sf & PixFlag_RGB) && (df & PixFlag_RGB);
    const bool yuv = (sf & PixFlag_YUV) && (df & PixFlag_YUV) &&
                     (sf & (PixFlag_420 | PixFlag_422 | PixFlag_444)) == (df & (PixFlag_420 | PixFlag_422 | PixFlag_444)) &&
                     (s->mode == 0 || s->mode == 3);
    if (!rgb && !yuv) return;
    const bool keep_s = rgb ? (s->mode != 0 && (sf & PixFlag_Alpha)) : true;
    const bool keep_d = rgb ? (s->mode != 0 && (df & PixFlag_Alpha)) : true;
    s->src_work = pixfmt_to_planar(src, keep_s);
    // A planar destination is written as it is; the plane step picks the planes.
    s->dst_work = (df & PixFlag_Planar) ? dst : pixfmt_to_planar(dst, keep_d);
    // A planar source still takes its premultiply or un-premultiply here: the plane
    // step only changes depths and would drop the requested alpha operation.
    const bool alpha_op = rgb && (s->mode == 1 || s->mode == 2);
    if (!(sf & PixFlag_Planar) || alpha_op) {
        s->pre = rgb ? alpha_kernel(s->mode, src, s->src_work, s->avx2) : get_conv_kernel(src, s->src_work, s->avx2);
        if (!s->pre) return;
    }
    if (!(df & PixFlag_Planar)) {
        s->post = get_conv_kernel(s->dst_work, dst, s->avx2);
        if (!s->post) return;
    }
    assign_plane_converters(&s->plane, s->src_work, s->dst_work, p.dst_width, p.dst_height, s->mode, s->avx2);
    if (chain_slots(s)) s->path = ScalePath_Kernel;
}

void choose_half(ScaleState* s) {
    const ScaleParams& p = s->params;
    if (p.src_width != 2 * p.dst_width || p.src_height != 2 * p.dst_height || p.quality != 1) return;
    if (s->mode != 0 && s->mode != 3) return;
    // Averaging straight colours without weighting by alpha darkens and tints edges:
    // only opaque or premultiplied sources take the box kernel.
    const bool source_ok = p.src_format == PixelFormat_RGBX8 ||
                           (p.src_format == PixelFormat_RGBA8 && p.src_alpha_mode == ScaleAlpha_Premultiplied);
    if (!source_ok) return;
    PixConvKernelFn k = nullptr;
    if (p.src_format == PixelFormat_RGBA8 && (p.dst_format == PixelFormat_RGBA8 || p.dst_format == PixelFormat_RGBX8))
        k = half_bilinear_rgba8;
    else if (p.src_format == PixelFormat_RGBX8 && p.dst_format == PixelFormat_RGBX8)
        k = half_bilinear_rgba8;
    else if (p.src_format == PixelFormat_RGBX8 && p.dst_format == PixelFormat_RGBA8)
        k = half_bilinear_rgbx8_to_rgba8;
    if (!k) return;
    s->pre = pixconv_pick(k, s->avx2);
    s->pre_is_half = true;
    s->pre_dst = Slot_Output;
    s->path = ScalePath_Kernel;
}

void choose_zimg(ScaleState* s) {
    const ScaleParams& p = s->params;
    const bool src_alpha = has_alpha(p.src_format), dst_alpha = has_alpha(p.dst_format);
    s->src_work = pixfmt_to_planar(p.src_format, 1);
    // Without a source alpha there is nothing for zimg to carry: the destination works
    // without alpha and the alpha plane, if any, is filled afterwards.
    s->dst_work = is_planar(p.dst_format) ? p.dst_format : pixfmt_to_planar(p.dst_format, src_alpha);
    PixConvKernelFn pre = nullptr;
    if (src_alpha && !dst_alpha && s->mode == 1) {
        // Straight colours wanted over black: premultiply before scaling, alpha then dropped.
        pre = get_premul_kernel(p.src_format, s->src_work, s->avx2);
        if (!pre) return;
    } else if (s->src_work != p.src_format) {
        pre = get_conv_kernel(p.src_format, s->src_work, s->avx2);
        if (!pre) return;
    }
    PixConvKernelFn post = nullptr;
    if (s->dst_work != p.dst_format) {
        post = get_conv_kernel(s->dst_work, p.dst_format, s->avx2);
        if (!post) return;
    }
    s->pre = pre;
    s->post = post;
    s->zimg_src = pre ? Slot_Work1 : Slot_Input;
    s->zimg_dst = post ? Slot_Work2 : Slot_Output;
    s->path = ScalePath_Zimg;
}

zimg_image_format image_format(uint32_t format, uint32_t width, uint32_t height, uint32_t alpha_mode,
                               uint32_t full_range, uint32_t chroma, bool with_alpha) {
    zimg_image_format f;
    zimg_image_format_default(&f, ZIMG_API_VERSION);
    f.width = width;
    f.height = height;
    const PixDescriptor d = get_pix_descriptor(format);
    switch (d.bytes_per_pixel[0]) {
        case 1: f.pixel_type = ZIMG_PIXEL_BYTE; break;
        case 2: f.pixel_type = ZIMG_PIXEL_WORD; break;
        case 4:
            if (d.flags & PixFlag_Float) {
                f.pixel_type = ZIMG_PIXEL_FLOAT;
                break;
            }
            [[fallthrough]];
        default: throw std::runtime_error("Unsupported quantif pixel type z");
    }
    f.depth = d.bit_depth[0];
    // The same (unspecified) transfer and primaries on both sides: YUV <-> RGB is then
    // the matrix alone, with no linearisation or gamut change.
    f.transfer_characteristics = ZIMG_TRANSFER_UNSPECIFIED;
    f.color_primaries = ZIMG_PRIMARIES_UNSPECIFIED;
    if (d.flags & PixFlag_Grey) {
        f.color_family = ZIMG_COLOR_GREY;
        f.matrix_coefficients = ZIMG_MATRIX_BT709;
        f.pixel_range = ZIMG_RANGE_FULL;
    } else if (d.flags & PixFlag_RGB) {
        f.color_family = ZIMG_COLOR_RGB;
        f.matrix_coefficients = ZIMG_MATRIX_RGB;
        f.pixel_range = ZIMG_RANGE_FULL;
    } else if (d.flags & PixFlag_YUV) {
        f.color_family = ZIMG_COLOR_YUV;
        f.matrix_coefficients = ZIMG_MATRIX_BT709;
        const uint32_t sw = d.horizontal_subsampling[1], sh = d.vertical_subsampling[1];
        if (sw != 1 && sw != 2) throw std::runtime_error("Unsupported subsampling h");
        if (sh != 1 && sh != 2) throw std::runtime_error("Unsupported subsampling v");
        f.subsample_w = sw == 2 ? 1 : 0;
        f.subsample_h = sh == 2 ? 1 : 0;
        f.pixel_range = full_range == 1 ? ZIMG_RANGE_FULL : ZIMG_RANGE_LIMITED;
        switch (chroma) {
            case 1: f.chroma_location = ZIMG_CHROMA_CENTER; break;
            case 2: f.chroma_location = ZIMG_CHROMA_TOP_LEFT; break;
            case 3: f.chroma_location = ZIMG_CHROMA_TOP; break;
            case 4: f.chroma_location = ZIMG_CHROMA_BOTTOM_LEFT; break;
            case 5: f.chroma_location = ZIMG_CHROMA_BOTTOM; break;
            default: f.chroma_location = ZIMG_CHROMA_LEFT; break;
        }
    } else {
        throw std::runtime_error("Scale filter : can't find pix fmt graph conv");
    }
    if (with_alpha && (d.flags & PixFlag_Alpha))
        f.alpha = alpha_mode != 0 ? ZIMG_ALPHA_STRAIGHT : ZIMG_ALPHA_PREMULTIPLIED;
    return f;
}

void build_zimg(ScaleState* s) {
    const ScaleParams& p = s->params;
    const bool carry_alpha = has_alpha(s->src_work) && has_alpha(s->dst_work);
    const bool interlaced = p.interlace != 0;
    const int graphs = interlaced ? 2 : 1;
    const std::string suffix = interlaced ? " interlace" : "";
    for (int g = 0; g < graphs; ++g) {
        // Field g holds the even lines (g = 0) or the odd lines (g = 1): an odd height
        // gives the even field the extra line rather than dropping it.
        const uint32_t sh = interlaced ? (g == 0 ? (p.src_height + 1) / 2 : p.src_height / 2) : p.src_height;
        const uint32_t dh = interlaced ? (g == 0 ? (p.dst_height + 1) / 2 : p.dst_height / 2) : p.dst_height;
        zimg_image_format in = image_format(s->src_work, p.src_width, sh, p.src_alpha_mode, p.src_full_range,
                                            p.src_chroma_location, carry_alpha);
        zimg_image_format out = image_format(s->dst_work, p.dst_width, dh, p.dst_alpha_mode, p.dst_full_range,
                                             p.dst_chroma_location, carry_alpha);
        if (in.color_family == ZIMG_COLOR_YUV && p.src_matrix == 1) in.matrix_coefficients = ZIMG_MATRIX_ST170_M;
        if (out.color_family == ZIMG_COLOR_YUV && p.dst_matrix == 1) out.matrix_coefficients = ZIMG_MATRIX_ST170_M;
        if (interlaced) {
            const bool even_top = p.interlace == 1;
            const zimg_field_parity_e parity =
                (g == 0) == even_top ? ZIMG_FIELD_TOP : ZIMG_FIELD_BOTTOM;
            in.field_parity = parity;
            out.field_parity = parity;
        }
        zimg_graph_builder_params bp;
        zimg_graph_builder_params_default(&bp, ZIMG_API_VERSION);
        switch (p.quality) {
            case 0: bp.resample_filter = ZIMG_RESIZE_POINT; break;
            case 1: bp.resample_filter = ZIMG_RESIZE_BILINEAR; break;
            case 2: bp.resample_filter = ZIMG_RESIZE_BICUBIC; break;
            case 3: bp.resample_filter = ZIMG_RESIZE_LANCZOS; break;
            default: throw std::runtime_error("Scale filter : scale quality unknown");
        }
        bp.resample_filter_uv = bp.resample_filter;
        bp.dither_type = ZIMG_DITHER_NONE;
        s->graphs[g] = zimg_filter_graph_build(&in, &out, &bp);
        if (!s->graphs[g]) {
            char text[1024];
            const int code = zimg_get_last_error(text, sizeof(text));
            std::printf("ZIMG error : %d ; %s\n", code, text);
            throw std::runtime_error("Scale filter : Can't build graph" + suffix);
        }
        size_t tmp_size = 0;
        const zimg_error_code_e err = zimg_filter_graph_get_tmp_size(s->graphs[g], &tmp_size);
        if (err) {
            std::printf("Error val : %d\n", static_cast<int>(err));
            throw std::runtime_error("Scale filter : can't get tmp data graph" + suffix);
        }
        s->tmp[g] = platform::aligned_alloc64(tmp_size);
        if (!s->tmp[g]) throw std::runtime_error("Scale filter : can't allocate tmp data graph" + suffix);
        s->zimg_src_planes = carry_alpha ? get_pix_descriptor(s->src_work).plane_count : 3;
        s->zimg_dst_planes = carry_alpha ? get_pix_descriptor(s->dst_work).plane_count : 3;
        if (in.color_family == ZIMG_COLOR_GREY) s->zimg_src_planes = 1;
        if (out.color_family == ZIMG_COLOR_GREY) s->zimg_dst_planes = 1;
    }
}

void choose_fill(ScaleState* s) {
    const ScaleParams& p = s->params;
    if (has_alpha(p.src_format) || !is_planar(p.dst_format) || !has_alpha(p.dst_format)) return;
    const PixDescriptor d = get_pix_descriptor(p.dst_format);
    if (d.flags & PixFlag_Float) {
        s->fill = fill_alpha_plane_32f;
        return;
    }
    switch (d.bit_depth[3]) {
        case 8: s->fill = fill_alpha_plane_8; break;
        case 10: s->fill = fill_alpha_plane_10le; break;
        case 12: s->fill = fill_alpha_plane_12le; break;
        case 16: s->fill = fill_alpha_plane_16le; break;
        default: throw std::runtime_error("Fill alpha unsupported bitdepth");
    }
}

VideoFrame* new_frame(uint32_t width, uint32_t height, uint32_t format) {
    VideoFrame* f = video_frame_new();
    try {
        // Every frame zimg may see is 64-byte aligned in address and row.
        video_frame_alloc(f, width, height, format, true);
    } catch (...) {
        video_frame_destroy(f);
        throw;
    }
    return f;
}

VideoFrame* slot_frame(ScaleState* s, FilterNode* node, Slot slot) {
    switch (slot) {
        case Slot_Input: return node->inputs[0];
        case Slot_Work1: return s->work1;
        case Slot_Work2: return s->work2;
        case Slot_Output: return s->output;
    }
    return nullptr;
}

void run_image_kernel(PixConvKernelFn k, VideoFrame* dst, const VideoFrame* src, uint32_t width, uint32_t height) {
    uint8_t* d[4];
    const uint8_t* sp[4];
    int64_t ds[4], ss[4];
    for (int i = 0; i < 4; ++i) {
        d[i] = dst->planes[i];
        sp[i] = src->planes[i];
        ds[i] = static_cast<int64_t>(dst->line_sizes[i]);
        ss[i] = static_cast<int64_t>(src->line_sizes[i]);
    }
    k(d, sp, ds, ss, width, height);
}

bool zimg_aligned(const VideoFrame* f, uint32_t planes) {
    for (uint32_t i = 0; i < planes; ++i)
        if ((reinterpret_cast<uintptr_t>(f->planes[i]) % 32) != 0 || (f->line_sizes[i] % 32) != 0) return false;
    return true;
}

void run_zimg(ScaleState* s, const VideoFrame* src, VideoFrame* dst) {
    // zimg reads and writes 32-byte aligned rows only (x86).
    assert(zimg_aligned(src, s->zimg_src_planes) && zimg_aligned(dst, s->zimg_dst_planes));
    const bool interlaced = s->params.interlace != 0;
    for (int g = 0; g < (interlaced ? 2 : 1); ++g) {
        zimg_image_buffer_const in;
        zimg_image_buffer out;
        std::memset(&in, 0, sizeof(in));
        std::memset(&out, 0, sizeof(out));
        in.version = out.version = ZIMG_API_VERSION;
        for (uint32_t i = 0; i < s->zimg_src_planes; ++i) {
            if (!src->planes[i]) {
                std::printf("WARNING : Null src plane : %d\n", static_cast<int>(i));
                throw std::runtime_error("Invalid plane src scaling");
            }
            const ptrdiff_t line = static_cast<ptrdiff_t>(src->line_sizes[i]);
            in.plane[i].data = src->planes[i] + (interlaced && g == 1 ? line : 0);
            in.plane[i].stride = interlaced ? 2 * line : line;
            in.plane[i].mask = ZIMG_BUFFER_MAX;
        }
        for (uint32_t i = 0; i < s->zimg_dst_planes; ++i) {
            if (!dst->planes[i]) {
                std::printf("WARNING : Null dst plane : %d\n", static_cast<int>(i));
                throw std::runtime_error("Invalid plane dst scaling");
            }
            const ptrdiff_t line = static_cast<ptrdiff_t>(dst->line_sizes[i]);
            out.plane[i].data = dst->planes[i] + (interlaced && g == 1 ? line : 0);
            out.plane[i].stride = interlaced ? 2 * line : line;
            out.plane[i].mask = ZIMG_BUFFER_MAX;
        }
        const zimg_error_code_e err =
            zimg_filter_graph_process(s->graphs[g], &in, &out, s->tmp[g], nullptr, nullptr, nullptr, nullptr);
        if (err) {
            std::printf("Error val : %d\n", static_cast<int>(err));
            throw std::runtime_error(g == 0 ? "Scale processing error" : "Scale interlace processing error");
        }
    }
}

void scale_process(FilterNode* node) {
    ScaleState* s = filter_state<ScaleState>(node);
    VideoFrame* in = filter_input(node);
    const ScaleParams& p = s->params;
    if (in->width != p.src_width || in->height != p.src_height) {
        std::printf("ERROR input frame doesn't match expected resolution (found : %u x%u), expected : (%ux%u)\n",
                    in->width, in->height, p.src_width, p.src_height);
        throw std::runtime_error("Invalid input scaling resolution");
    }
    // Reading a frame with another layout than planned would read out of bounds.
    if (!in->is_pixel || in->pixel_format != p.src_format) {
        std::printf("ERROR input frame scale pix fmt (%s) not in expected fmt : %s\n", pixfmt_name(in->pixel_format),
                    pixfmt_name(p.src_format));
        throw std::runtime_error("Invalid input scaling pix fmt");
    }
    s->output->frame_number = in->frame_number;

    if (s->path == ScalePath_Kernel) {
        if (s->pre)
            run_image_kernel(s->pre, slot_frame(s, node, s->pre_dst), in, s->pre_is_half ? p.dst_width : p.src_width,
                             s->pre_is_half ? p.dst_height : p.src_height);
        if (s->plane.on) {
            const VideoFrame* src = slot_frame(s, node, s->plane_src);
            VideoFrame* dst = slot_frame(s, node, s->plane_dst);
            for (int i = 0; i < 4; ++i)
                if (s->plane.kernels[i] && s->plane.widths[i] && s->plane.rows[i])
                    s->plane.kernels[i](dst->planes[i], src->planes[i], static_cast<int64_t>(dst->line_sizes[i]),
                                        static_cast<int64_t>(src->line_sizes[i]), s->plane.widths[i], s->plane.rows[i]);
        }
        if (s->post)
            run_image_kernel(s->post, s->output, slot_frame(s, node, s->post_src), p.dst_width, p.dst_height);
    } else if (s->path == ScalePath_Zimg) {
        const VideoFrame* src = in;
        if (s->pre) {
            run_image_kernel(s->pre, s->work1, in, p.src_width, p.src_height);
            src = s->work1;
        } else if (!zimg_aligned(in, s->zimg_src_planes)) {
            if (!s->staging) s->staging = new_frame(p.src_width, p.src_height, p.src_format);
            video_frame_copy(s->staging, in);
            src = s->staging;
        }
        VideoFrame* dst = s->post ? s->work2 : s->output;
        run_zimg(s, src, dst);
        if (s->post) run_image_kernel(s->post, s->output, s->work2, p.dst_width, p.dst_height);
    } else {
        throw std::runtime_error("Unknown scaling process mode");
    }

    if (s->fill) {
        if (!s->output->planes[3]) {
            std::printf("WARNING can't find alpha plane out\n");
            throw std::runtime_error("Invalid dst alpha plane fill");
        }
        s->fill(s->output->planes[3], static_cast<int64_t>(s->output->line_sizes[3]), p.dst_width, p.dst_height);
    }
    node->output = s->output;
}

}  // namespace

uint32_t scale_conversion_mode(uint32_t src_format, uint32_t dst_format, uint32_t src_alpha_mode,
                               uint32_t dst_alpha_mode) {
    if (!has_alpha(src_format)) return 0;
    if (has_alpha(dst_format)) {
        if (src_alpha_mode == 1 && dst_alpha_mode == 0) return 1;
        if (src_alpha_mode == 0 && dst_alpha_mode == 1) return 2;
        return 3;
    }
    // Without destination alpha, premultiplied colours already are the picture over
    // black and are kept; straight colours are premultiplied only when asked for.
    if (src_alpha_mode == 1 && dst_alpha_mode == 0) return 1;
    return 0;
}

const char* alpha_mode_name(uint32_t mode) {
    switch (mode) {
        case 0: return "Premult Black";
        case 1: return "Straight";
        case 2: return "Unknown";
        default: return "Unknown alpha mode";
    }
}

FilterNode* create_scale_filter(const ScaleParams& p) {
    if (!source_accepted(p.src_format)) {
        if (p.src_format == 25 || p.src_format == 26 || p.src_format == 37 || p.src_format == 38)
            std::printf("Warning : Unsupported pix fmt for scaling : %u\n", p.src_format);
        std::printf("Unsupported input fmt : %s\n", pixfmt_name(p.src_format));
        throw std::runtime_error("Unsupported input pix fmt\n");
    }
    if (!destination_accepted(p.dst_format)) {
        std::printf("Unsupported output fmt : %s\n", pixfmt_name(p.dst_format));
        throw std::runtime_error("Unsupported output pix fmt");
    }
    if (!p.src_width || !p.src_height || !p.dst_width || !p.dst_height) {
        std::printf("Invalid scaling dim src : %u x %u ; Dst : %u x %u\n", p.src_width, p.src_height, p.dst_width,
                    p.dst_height);
        throw std::runtime_error("Invalid dimensions (zero)");
    }
    if (p.second_scaler == 1) std::printf("Warning, FF scaling without ENABLE_FF_SCALE Flag\n");

    return build_filter_node<ScaleState>(
        FilterType_Scale,
        [&](ScaleState* s) {
            s->params = p;
            s->avx2 = pixconv_use_avx2(p.allow_avx2 != 0);
            s->mode = scale_conversion_mode(p.src_format, p.dst_format, p.src_alpha_mode, p.dst_alpha_mode);
            const bool same_matrix = p.src_matrix == p.dst_matrix;
            if (p.src_width == p.dst_width && p.src_height == p.dst_height && same_matrix && !p.force_general_scaler)
                choose_same_size(s);
            if (s->path == ScalePath_Undecided && same_matrix && !p.force_general_scaler) {
                choose_half(s);
                if (s->path == ScalePath_Undecided && p.src_width == 2 * p.dst_width && p.src_height == 2 * p.dst_height)
                    std::printf("Can't find half dim bilinear optim path : %s -> %s (Alpha %s -> %s)\n",
                                pixfmt_name(p.src_format), pixfmt_name(p.dst_format), alpha_mode_name(p.src_alpha_mode),
                                alpha_mode_name(p.dst_alpha_mode));
            }
            if (s->path == ScalePath_Undecided) {
                // A failed kernel attempt may have left pieces behind: start the chain afresh.
                s->pre = s->post = nullptr;
                s->plane = PlaneStep{};
                choose_zimg(s);
            }
            if (s->path == ScalePath_Undecided) {
                std::printf("Can't find scaling path : %s -> %s (Alpha %s -> %s)\n", pixfmt_name(p.src_format),
                            pixfmt_name(p.dst_format), alpha_mode_name(p.src_alpha_mode), alpha_mode_name(p.dst_alpha_mode));
                throw std::runtime_error("Can't find scaling path");
            }
            choose_fill(s);
            if (s->path == ScalePath_Zimg) build_zimg(s);
            const bool needs_work1 = s->path == ScalePath_Zimg ? s->pre != nullptr : s->pre_dst == Slot_Work1 && s->pre;
            const bool needs_work2 = s->path == ScalePath_Zimg ? s->post != nullptr
                                                                : s->plane.on && s->plane_dst == Slot_Work2;
            if (needs_work1) s->work1 = new_frame(p.src_width, p.src_height, s->src_work);
            if (needs_work2) s->work2 = new_frame(p.dst_width, p.dst_height, s->dst_work);
            s->output = new_frame(p.dst_width, p.dst_height, p.dst_format);
            return s->output;
        },
        free_state, scale_process, free_filter_state<ScaleState, free_state>);
}

ScalePlan scale_filter_plan(const FilterNode* node) {
    if (!node || node->type != FilterType_Scale || !node->state) throw std::runtime_error("Invalid scale filter");
    const ScaleState* s = static_cast<const ScaleState*>(node->state);
    ScalePlan plan;
    plan.path = s->path;
    plan.conversion_mode = s->mode;
    plan.pre_kernel = pixconv_kernel_name(s->pre);
    for (int i = 0; i < 4; ++i) plan.plane_kernels[i] = s->plane.on ? pixconv_kernel_name(s->plane.kernels[i]) : nullptr;
    plan.post_kernel = pixconv_kernel_name(s->post);
    plan.fill_kernel = pixconv_kernel_name(s->fill);
    plan.src_work_format = s->src_work;
    plan.dst_work_format = s->dst_work;
    plan.avx2 = s->avx2;
    return plan;
}
