#include "processing/snapshot_tree.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "media/pix_descriptor.h"
#include "processing/bg_merge_filter.h"
#include "processing/codec_filters.h"
#include "base/formats/pixfmt_name.h"
#include "processing/guide_filters.h"
#include "processing/pad_filter.h"
#include "processing/scale_filter.h"
#include "processing/snapshot_file.h"

namespace {

// The picture as it leaves the last node added.
struct Picture {
    uint32_t format = PixelFormat_Undefined;
    uint32_t alpha_mode = 2;
    uint32_t width = 0, height = 0;
};

bool format_has_alpha(uint32_t format) { return (get_pix_descriptor(format).flags & PixFlag_Alpha) != 0; }

// Adds a node, which the branch owns from then on; a failed add frees it.
void add_node(VideoGraphBranch* branch, FilterNode* node) {
    try {
        video_graph_branch_add_filter(branch, node);
    } catch (...) {
        filter_free(node);
        throw;
    }
}

// The tree owns a branch once added; until then a failure frees it here.
class BranchGuard {
public:
    BranchGuard(uint32_t filters, uint32_t inputs) : m_branch(video_graph_branch_alloc(filters, inputs)) {}
    ~BranchGuard() { video_graph_branch_free(&m_branch); }
    VideoGraphBranch* get() const { return m_branch; }
    void handTo(VideoGraphTree* tree) {
        video_graph_tree_add_branch(tree, m_branch);
        m_branch = nullptr;
    }

private:
    VideoGraphBranch* m_branch;
};

// A scale step from the picture to (format, alpha mode, size); left out when it would
// change nothing. The colour words are the same on both sides.
void add_scale_step(VideoGraphBranch* branch, Picture* pic, uint32_t format, uint32_t alpha_mode, uint32_t width,
                    uint32_t height, uint32_t quality) {
    const bool same_alpha = !format_has_alpha(format) || alpha_mode == pic->alpha_mode;
    if (pic->format == format && pic->width == width && pic->height == height && same_alpha) return;
    ScaleParams s;
    s.src_format = pic->format;
    s.src_alpha_mode = pic->alpha_mode;
    s.src_width = pic->width;
    s.src_height = pic->height;
    s.dst_format = format;
    s.dst_alpha_mode = alpha_mode;
    s.dst_width = width;
    s.dst_height = height;
    s.quality = quality;
    s.allow_avx2 = 1;
    add_node(branch, create_scale_filter(s));
    *pic = Picture{format, alpha_mode, width, height};
}

bool pad_accepts(uint32_t format) {
    switch (format) {
        case PixelFormat_RGBA8: case PixelFormat_RGB8: case PixelFormat_RGBX8: case PixelFormat_RGBA16:
        case PixelFormat_RGBX16: case PixelFormat_RGBA32F: case PixelFormat_RGBX32F: case PixelFormat_Planar_RGB8:
        case PixelFormat_Planar_RGBA8: case PixelFormat_Planar_RGB16: case PixelFormat_Planar_RGBA16:
        case PixelFormat_Grey8: return true;
        default: return false;
    }
}

uint32_t merged_format(uint32_t format, uint32_t mode) {
    uint32_t opaque_format;
    switch (format) {
        case PixelFormat_RGBA8: case PixelFormat_RGBX8: opaque_format = PixelFormat_RGBX8; break;
        case PixelFormat_RGBA16: case PixelFormat_RGBX16: opaque_format = PixelFormat_RGBX16; break;
        case PixelFormat_RGBA32F: case PixelFormat_RGBX32F: opaque_format = PixelFormat_RGBX32F; break;
        default: throw std::runtime_error("Unknown bg merge src format");
    }
    if (mode >= 6) throw std::runtime_error("Unknown background bg merge");
    return mode == SnapshotBg_KeepAlpha ? format : opaque_format;
}

void build_decode_branch(VideoGraphTree* tree, const SnapshotParams* p, Picture* pic) {
    if (!is_hap_fourcc(p->fourcc)) {
        std::printf("Src data format : %d\n", int(p->fourcc));
        throw std::runtime_error("Unknown src format");
    }
    const uint32_t codec = hap_codec_from_fourcc(p->fourcc);
    BranchGuard branch(5, 1);
    video_graph_branch_connect_prev(tree, branch.get());

    HapDecodeParams hap;
    hap.codec = codec;
    hap.width = p->src_width;
    hap.height = p->src_height;
    hap.threaded = p->threaded;
    add_node(branch.get(), create_hap_decode_filter(hap));

    DxtDecodeParams dxt;
    dxt.codec = codec;
    dxt.width = p->src_width;
    dxt.height = p->src_height;
    dxt.output_format = p->source_has_alpha ? PixelFormat_RGBA8 : PixelFormat_RGBX8;
    add_node(branch.get(), create_dxt_decode_filter(dxt));
    *pic = Picture{dxt.output_format, p->alpha_mode, p->src_width, p->src_height};

    if (p->crop_box) {
        // Signed: a picture reaching past the canvas gives a negative margin.
        const int64_t right = int64_t(p->canvas_width) - p->src_width - p->canvas_x;
        const int64_t bottom = int64_t(p->canvas_height) - p->src_height - p->canvas_y;
        if (right < 0) throw std::runtime_error("Invalid crop box horizontal data");
        if (bottom < 0) throw std::runtime_error("Invalid crop box vertical data");
        if (p->canvas_x != 0 || p->canvas_y != 0 || right != 0 || bottom != 0) {
            PadParams pad;
            pad.format = pic->format;
            pad.src_width = pic->width;
            pad.src_height = pic->height;
            pad.dst_width = p->canvas_width;
            pad.dst_height = p->canvas_height;
            pad.explicit_margins = 1;
            pad.left = p->canvas_x;
            pad.top = p->canvas_y;
            pad.right = uint32_t(right);
            pad.bottom = uint32_t(bottom);
            add_node(branch.get(), create_pad_filter(pad));
            pic->width = p->canvas_width;
            pic->height = p->canvas_height;
        }
    }

    add_scale_step(branch.get(), pic, pic->format, pic->alpha_mode, p->fitted_width, p->fitted_height,
                   p->scale_quality);

    const bool black_premultiplied = p->alpha_mode == 0 && p->background == SnapshotBg_Black;
    if (!p->output_keeps_alpha && format_has_alpha(pic->format) && !black_premultiplied) {
        BgMergeParams merge;
        merge.src_format = pic->format;
        merge.width = pic->width;
        merge.height = pic->height;
        merge.opacity = 1.0f;
        merge.alpha_mode = p->alpha_mode;
        merge.mode = p->background;
        const RgbaF* c = p->bg_colours;
        const float colours[8] = {c[0].r, c[0].g, c[0].b, c[0].a, c[1].r, c[1].g, c[1].b, c[1].a};
        for (int i = 0; i < 8; ++i) merge.colours[i] = colours[i];
        merge.in_place = p->bg_merge_in_place;
        merge.slice_threading = 1;
        merge.allow_avx2 = 1;
        const uint32_t out_format = merged_format(pic->format, p->background);
        add_node(branch.get(), create_bg_merge_filter(&merge));
        pic->format = out_format;
        if (!format_has_alpha(out_format)) pic->alpha_mode = 0;
    }
    branch.handTo(tree);
}

void add_encoder(VideoGraphBranch* branch, const SnapshotParams* p, const Picture& pic) {
    if (p->output_format == SnapshotOutput_Jpeg) {
        if (pic.format != PixelFormat_RGBA8 && pic.format != PixelFormat_RGBX8)
            throw std::runtime_error("Unsupported pix fmt jpeg");
        JpegEncodeParams jpeg;
        jpeg.width = pic.width;
        jpeg.height = pic.height;
        jpeg.quality = p->jpeg_quality;
        add_node(branch, create_jpeg_encode_filter(jpeg));
        return;
    }
    if (p->output_format != SnapshotOutput_Png) throw std::runtime_error("Unknown dst format");
    PngEncodeParams png;
    png.compression_mode = 2;
    switch (pic.format) {
        case PixelFormat_RGBX8: png.channels = 3; png.bit_depth = 8; break;
        case PixelFormat_RGBA8: png.channels = 4; png.bit_depth = 8; break;
        case PixelFormat_Grey8: png.channels = 1; png.bit_depth = 8; break;
        case PixelFormat_RGBX16: png.channels = 3; png.bit_depth = 16; break;
        case PixelFormat_RGBA16: png.channels = 4; png.bit_depth = 16; break;
        case PixelFormat_Grey16: png.channels = 1; png.bit_depth = 16; break;
        default:
            std::printf("Invalid pix fmt for png encoding : %s\n", pixfmt_name(pic.format));
            throw std::runtime_error("Unsupported pix fmt");
    }
    add_node(branch, create_png_encode_filter(png));
}

void build_target_branch(VideoGraphTree* tree, const SnapshotParams* p, Picture* pic) {
    BranchGuard branch(8, 1);
    video_graph_branch_connect_prev(tree, branch.get());

    if (p->safe_area) {
        SafeAreaParams safe;
        safe.first_fraction = 0.05f;
        safe.second_fraction = 0.1f;
        safe.first_colour = p->safe_area_colours[0];
        safe.second_colour = p->safe_area_colours[1];
        safe.in_place = 1;
        add_node(branch.get(), create_safe_area_filter(safe));
    }
    if (p->video_area && p->crop_box) {
        VideoAreaParams area;
        area.colour = p->video_area_colour;
        area.in_place = 1;
        if (pic->width == p->canvas_width && pic->height == p->canvas_height) {
            area.left = int32_t(p->canvas_x);
            area.top = int32_t(p->canvas_y);
            area.right = int32_t(int64_t(p->canvas_x) + p->src_width - 1);
            area.bottom = int32_t(int64_t(p->canvas_y) + p->src_height - 1);
        } else {
            const double sx = double(pic->width) / double(p->canvas_width);
            const double sy = double(pic->height) / double(p->canvas_height);
            area.left = int32_t(std::lround(p->canvas_x * sx));
            area.top = int32_t(std::lround(p->canvas_y * sy));
            area.right = area.left - 1 + int32_t(std::lround(p->src_width * sx));
            area.bottom = area.top - 1 + int32_t(std::lround(p->src_height * sy));
        }
        add_node(branch.get(), create_video_area_filter(area));
    }

    const bool padding = p->final_width != p->fitted_width || p->final_height != p->fitted_height;
    const SnapshotPixfmt padded = snapshot_pick_pixfmt(p, padding, pic->alpha_mode);
    if (padding && !pad_accepts(padded.format)) throw std::runtime_error("Unsupported pix fmt with padding");
    add_scale_step(branch.get(), pic, padded.format, padded.alpha_mode, p->fitted_width, p->fitted_height,
                   p->scale_quality);

    if (padding) {
        PadParams pad;
        pad.format = pic->format;
        pad.src_width = pic->width;
        pad.src_height = pic->height;
        pad.dst_width = p->final_width;
        pad.dst_height = p->final_height;
        add_node(branch.get(), create_pad_filter(pad));
        pic->width = p->final_width;
        pic->height = p->final_height;
    }

    const SnapshotPixfmt out = snapshot_pick_pixfmt(p, false, pic->alpha_mode);
    add_scale_step(branch.get(), pic, out.format, out.alpha_mode, pic->width, pic->height, p->scale_quality);
    add_encoder(branch.get(), p, *pic);
    branch.handTo(tree);
}

}  // namespace

VideoGraphTree* snapshot_graph_build(SnapshotParams* params) {
    snapshot_prepare_params(params);
    if (snapshot_largest_plane_bytes(params) > kSnapshotMaxPlaneBytes)
        throw std::runtime_error("Snapshot size too large");

    VideoGraphTree* tree = video_graph_tree_alloc(6, 4, 1);
    try {
        {
            BranchGuard pass(1, 1);
            add_node(pass.get(), create_passthrough_filter());
            video_graph_branch_connect_input(pass.get(), 0);
            pass.handTo(tree);
        }
        Picture pic;
        build_decode_branch(tree, params, &pic);
        build_target_branch(tree, params, &pic);
        video_graph_tree_add_output_last(tree);
    } catch (...) {
        video_graph_tree_free(&tree);
        throw;
    }
    return tree;
}

void snapshot_graph_run(VideoGraphTree* tree, VideoFrame* input) {
    VideoFrame* inputs[4] = {input, nullptr, nullptr, nullptr};
    video_graph_tree_set_inputs(tree, inputs, 4);
    video_graph_tree_process(tree);
}

const VideoFrame* snapshot_output_frame(const VideoGraphTree* tree) {
    if (!tree || tree->output_frames.count == 0) return nullptr;
    return tree->output_frames.frames[0];
}

void snapshot_write_output(const VideoGraphTree* tree, const char16_t* path) {
    const VideoFrame* frame = snapshot_output_frame(tree);
    if (!frame || !frame->planes[0] || frame->sizes[0] == 0) throw std::runtime_error("Fail to write empty frame");
    file_write_all(path, frame->planes[0], frame->sizes[0]);
}
