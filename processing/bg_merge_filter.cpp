#include "processing/bg_merge_filter.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "pixconv/kernel_registry.h"
#include "base/formats/pixfmt_name.h"
#include "processing/node_builder.h"

namespace {

struct BgMergeState {
    VideoFrame* output = nullptr;
    uint32_t src_format = 0;
    uint32_t out_format = 0;
    uint32_t width = 0, height = 0;
    uint32_t mode = 0;
    uint32_t alpha_mode = 0;
    float opacity = 1.0f;
    uint8_t in_place = 0, slice_threading = 0;
    uint32_t kind = BgMergeKind_Copy;
    SliceThreadingInfo slices;
    float colours[8] = {};
    BgMergeKernelFn kernel = nullptr;
    uint8_t avx2 = 0;
};

struct SliceJob {
    const VideoFrame* input;
    VideoFrame* output;
    const BgMergeState* state;
};

void plane_args(const VideoFrame* f, uint32_t start_row, const uint8_t* planes[4], int64_t strides[4]) {
    for (int p = 0; p < 4; ++p) {
        const int64_t line = static_cast<int64_t>(f->line_sizes[p]);
        planes[p] = (f->planes[p] && line > 0) ? f->planes[p] + static_cast<uint64_t>(start_row) * line : nullptr;
        strides[p] = line;
    }
}

void run_kernel(const BgMergeState* s, const VideoFrame* in, VideoFrame* out, uint32_t start_row, uint32_t rows) {
    const uint8_t* src[4];
    const uint8_t* dst_const[4];
    int64_t src_stride[4], dst_stride[4];
    plane_args(in, start_row, src, src_stride);
    plane_args(out, start_row, dst_const, dst_stride);
    uint8_t* dst[4];
    for (int p = 0; p < 4; ++p) dst[p] = const_cast<uint8_t*>(dst_const[p]);
    s->kernel(dst, src, dst_stride, src_stride, s->width, rows, s->opacity, 0, start_row, s->colours);
}

void bg_merge_slice(uint32_t start_row, uint32_t slice_height, void* user) {
    const SliceJob* job = static_cast<const SliceJob*>(user);
    run_kernel(job->state, job->input, job->output, start_row, slice_height);
}

void bg_merge_process(FilterNode* node) {
    BgMergeState* s = filter_state<BgMergeState>(node);
    VideoFrame* in = filter_input(node, "Invalid no frame bg merge");
    if (in->width != s->width) {
        std::printf("Invalid src width bg merge : Found : %u ; Expected : %u\n", in->width, s->width);
        throw std::runtime_error("Invalid src width bg merge");
    }
    if (in->height != s->height) {
        std::printf("Invalid src height bg merge : Found : %u ; Expected : %u\n", in->height, s->height);
        throw std::runtime_error("Invalid src height bg merge");
    }
    if (!in->is_pixel || in->pixel_format != s->src_format) {
        std::printf("Invalid src pix fmt bg merge : Found : %s ; Expected : %s\n", pixfmt_name(in->pixel_format),
                    pixfmt_name(s->src_format));
        throw std::runtime_error("Invalid src pix fmt bg merge");
    }
    VideoFrame* out = s->output;
    if (s->in_place) video_frame_ref(out, in);
    out->pixel_format = s->out_format;
    out->frame_number = in->frame_number;
    if (s->kind == BgMergeKind_Copy) {
        if (!s->in_place) video_frame_copy(out, in);
    } else if (!s->slice_threading) {
        run_kernel(s, in, out, 0, s->height);
    } else {
        SliceJob job{in, out, s};
        process_slice_threading(&s->slices, bg_merge_slice, &job);
    }
    node->output = out;
}

void free_state(BgMergeState* s) {
    if (!s) return;
    video_frame_free(&s->output);
    delete s;
}

uint32_t output_format(uint32_t src, uint32_t mode, float opacity) {
    if (mode >= 6) throw std::runtime_error("Unknown background bg merge");
    if (mode == BgMerge_KeepAlpha && opacity == 1.0f) return src;
    const bool keep = mode == BgMerge_KeepAlpha;
    switch (src) {
        case PixelFormat_RGBA8:
        case PixelFormat_RGBX8: return keep ? PixelFormat_RGBA8 : PixelFormat_RGBX8;
        case PixelFormat_RGBA16:
        case PixelFormat_RGBX16: return keep ? PixelFormat_RGBA16 : PixelFormat_RGBX16;
        case PixelFormat_RGBA32F:
        case PixelFormat_RGBX32F: return keep ? PixelFormat_RGBA32F : PixelFormat_RGBX32F;
        default: throw std::runtime_error("Unknown bg merge src format");
    }
}

}  // namespace

FilterNode* create_bg_merge_filter(const BgMergeParams* params) {
    return build_filter_node<BgMergeState>(
        FilterType_BgMerge,
        [&](BgMergeState* s) {
            s->src_format = params->src_format;
            s->width = params->width;
            s->height = params->height;
            // Opacities outside 0..1 would overflow the integer rules; NaN counts as 0.
            const float op = params->opacity;
            s->opacity = op >= 1.0f ? 1.0f : (op > 0.0f ? op : 0.0f);
            s->alpha_mode = params->alpha_mode;
            s->mode = params->mode;
            s->in_place = params->in_place;
            s->slice_threading = params->slice_threading;
            s->out_format = output_format(params->src_format, params->mode, s->opacity);
            slice_threading_init(&s->slices);
            std::memcpy(s->colours, params->colours, sizeof(s->colours));
            s->avx2 = pixconv_use_avx2(params->allow_avx2 != 0) ? 1 : 0;
            if (s->slice_threading) slice_threading_calc(&s->slices, s->height, 1, 0);

            const bool src_alpha =
                s->src_format < PixelFormat_Undefined && (get_pix_descriptor(s->src_format).flags & PixFlag_Alpha);
            const bool straight = s->alpha_mode != 0;
            if (s->opacity != 1.0f) {
                s->kind = BgMergeKind_Opacity;
                s->kernel = bg_merge_select_opacity_kernel(s->src_format, s->alpha_mode, s->mode);
            } else if (src_alpha && (s->mode == BgMerge_White || s->mode == BgMerge_Checker || s->mode == BgMerge_Color ||
                                     s->mode == BgMerge_CustomChecker || (s->mode == BgMerge_Black && straight))) {
                s->kind = BgMergeKind_Opaque;
                s->kernel = bg_merge_select_opaque_kernel(s->src_format, s->alpha_mode, s->mode, s->in_place != 0,
                                                          s->avx2 != 0);
            }
            if (s->kind != BgMergeKind_Copy && !s->kernel) throw std::runtime_error("Unknown bg merge src format");

            s->output = video_frame_new();
            if (s->in_place) s->output->not_owned = 1;
            else video_frame_alloc(s->output, s->width, s->height, s->out_format, true);
            return s->output;
        },
        free_state, bg_merge_process, free_filter_state<BgMergeState, free_state>);
}

BgMergePlan bg_merge_plan(const FilterNode* node) {
    if (!node || node->type != FilterType_BgMerge || !node->state) throw std::runtime_error("Invalid bg merge filter");
    const BgMergeState* s = static_cast<const BgMergeState*>(node->state);
    BgMergePlan plan;
    plan.output_format = s->out_format;
    plan.kind = s->kind;
    plan.kernel = bg_merge_kernel_name(s->kernel);
    plan.slices = s->slices.count;
    return plan;
}
