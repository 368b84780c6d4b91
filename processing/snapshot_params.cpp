#include "processing/snapshot_params.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "media/hap_frame.h"
#include "media/mov_file.h"
#include "base/formats/pixel_format.h"

namespace {

uint64_t plane_bytes(uint32_t width, uint32_t height) {
    // Four bytes a pixel (the widest format the tree makes), lines rounded up to 64.
    const uint64_t line = (uint64_t(width) * 4 + 63) / 64 * 64;
    return line * height;
}

uint32_t code_of(const char* c) {
    return uint32_t(uint8_t(c[0])) << 24 | uint32_t(uint8_t(c[1])) << 16 | uint32_t(uint8_t(c[2])) << 8 |
           uint32_t(uint8_t(c[3]));
}

uint32_t at_least_one(float value) {
    const float rounded = std::roundf(value);
    return rounded < 1.0f ? 1u : uint32_t(rounded);
}

}  // namespace

void snapshot_set_source(SnapshotParams* p, uint32_t width, uint32_t height, uint32_t fourcc, uint32_t subcodec,
                         uint8_t opaque) {
    p->src_width = width;
    p->src_height = height;
    p->fourcc = fourcc;
    p->subcodec = subcodec;
    p->opaque = opaque;
}

void snapshot_set_scale(SnapshotParams* p, uint32_t target_width, uint32_t target_height, uint32_t scale_mode,
                        uint32_t quality) {
    p->target_width = target_width;
    p->target_height = target_height;
    p->scale_mode = scale_mode;
    p->scale_quality = quality;
}

void snapshot_set_jpeg(SnapshotParams* p, uint32_t quality) {
    p->jpeg_quality = quality;
    p->output_format = SnapshotOutput_Jpeg;
}

void snapshot_set_png(SnapshotParams* p) { p->output_format = SnapshotOutput_Png; }

void snapshot_set_safe_area(SnapshotParams* p, const RgbaF& action, const RgbaF& title) {
    p->safe_area_colours[0] = action;
    p->safe_area_colours[1] = title;
    p->safe_area = 1;
}

void snapshot_set_video_area(SnapshotParams* p, const RgbaF& colour) {
    p->video_area_colour = colour;
    p->video_area = 1;
}

void snapshot_set_background(SnapshotParams* p, uint32_t mode, uint32_t alpha_mode, const RgbaF& first,
                             const RgbaF& second) {
    p->background = mode;
    p->alpha_mode = alpha_mode;
    p->bg_colours[0] = first;
    p->bg_colours[1] = second;
}

bool is_hap_fourcc(uint32_t fourcc) {
    return fourcc == mov_fourcc("Hap1") || fourcc == mov_fourcc("Hap5") || fourcc == mov_fourcc("Hap7") ||
           fourcc == mov_fourcc("HapA") || fourcc == mov_fourcc("HapM") || fourcc == mov_fourcc("HapY");
}

uint32_t hap_codec_from_fourcc(uint32_t fourcc) {
    if (fourcc == mov_fourcc("Hap1")) return HapCodec_Hap1;
    if (fourcc == mov_fourcc("Hap5")) return HapCodec_Hap5;
    if (fourcc == mov_fourcc("HapY")) return HapCodec_HapY;
    if (fourcc == mov_fourcc("HapM")) return HapCodec_HapM;
    if (fourcc == mov_fourcc("HapA")) return HapCodec_HapA;
    if (fourcc == mov_fourcc("Hap7")) return HapCodec_Hap7;
    throw std::runtime_error("Mov dataformat not hap codec");
}

bool snapshot_source_has_alpha(uint32_t fourcc, uint32_t subcodec, uint8_t opaque) {
    if (fourcc == mov_fourcc("Hap5") || fourcc == mov_fourcc("HapM")) return true;
    if (fourcc == mov_fourcc("Hap1") || fourcc == mov_fourcc("HapY") || fourcc == mov_fourcc("HapA")) return false;
    if (fourcc == mov_fourcc("Hap7") || fourcc == mov_fourcc("ap4h") || fourcc == mov_fourcc("ap4x") ||
        fourcc == mov_fourcc("nclc"))
        return opaque != 1;
    for (const char* code : {"2vuy", "AVdh", "AVdn", "apco", "apcs", "apch", "apcn", "jpeg", "v210"})
        if (fourcc == code_of(code)) return false;
    if (fourcc == mov_fourcc("DXD3")) {
        if (subcodec == mov_fourcc("DXT5") || subcodec == mov_fourcc("YG10")) return true;
        if (subcodec == mov_fourcc("DXT1") || subcodec == mov_fourcc("YCG6")) return false;
        std::printf("Unknown subcodec dxv : %d\n", int(subcodec));
        throw std::runtime_error("Unknown subcodec dxv");
    }
    std::printf("ERROR : Have alpha unknown src format\n");
    throw std::runtime_error("Unknown src format");
}

bool snapshot_output_keeps_alpha(const SnapshotParams* p) {
    if (p->output_format > SnapshotOutput_Png) throw std::runtime_error("Unknown dst format");
    return p->output_format == SnapshotOutput_Png;
}

void snapshot_prepare_params(SnapshotParams* p) {
    p->display_width = p->crop_box ? p->canvas_width : p->src_width;
    p->display_height = p->crop_box ? p->canvas_height : p->src_height;

    if (p->scale_mode == 1 || p->scale_mode == 2) {
        const uint32_t tw = p->target_width, th = p->target_height;
        p->fitted_width = tw;
        p->fitted_height = th;
        if (p->display_width == 0 || p->display_height == 0 || th == 0) {
            std::printf("DEV ? : Invalid src dim fit\n");
        } else {
            const float aspect = float(p->display_width) / float(p->display_height);
            const float target_aspect = float(tw) / float(th);
            // A fitted side never rounds to nothing, however thin the picture.
            if (aspect > target_aspect)
                p->fitted_height = at_least_one(float(tw) / aspect);
            else if (aspect < target_aspect)
                p->fitted_width = at_least_one(aspect * float(th));
        }
        p->final_width = p->scale_mode == 1 ? p->fitted_width : tw;
        p->final_height = p->scale_mode == 1 ? p->fitted_height : th;
    } else {
        p->fitted_width = p->final_width = p->display_width;
        p->fitted_height = p->final_height = p->display_height;
    }

    p->source_has_alpha = snapshot_source_has_alpha(p->fourcc, p->subcodec, p->opaque) ? 1 : 0;
    p->output_keeps_alpha = snapshot_output_keeps_alpha(p) ? 1 : 0;
    if (p->output_keeps_alpha) {
        p->keep_alpha = p->source_has_alpha;
        // The PNG keeps the transparency instead of a background.
        if (p->source_has_alpha) p->background = SnapshotBg_KeepAlpha;
    } else {
        p->keep_alpha = 0;
    }
    p->threaded = 1;
}

SnapshotPixfmt snapshot_pick_pixfmt(const SnapshotParams* p, bool padding, uint32_t current_alpha_mode) {
    // Both formats are in the pad node's list, so padding changes nothing here.
    (void)padding;
    SnapshotPixfmt out;
    if (p->output_format > SnapshotOutput_Png) throw std::runtime_error("Unknown dst format");
    if (p->output_format == SnapshotOutput_Png && p->keep_alpha) {
        out.format = PixelFormat_RGBA8;
        out.alpha_mode = 1;
    } else {
        // No alpha in the file: the alpha mode stays the picture's, so dropping alpha
        // never premultiplies colours that are already premultiplied.
        out.format = PixelFormat_RGBX8;
        out.alpha_mode = current_alpha_mode;
    }
    return out;
}

uint64_t snapshot_largest_plane_bytes(const SnapshotParams* p) {
    uint64_t largest = plane_bytes((p->src_width + 3) / 4 * 4, (p->src_height + 3) / 4 * 4);
    const uint32_t sizes[3][2] = {{p->display_width, p->display_height},
                                  {p->fitted_width, p->fitted_height},
                                  {p->final_width, p->final_height}};
    for (const auto& size : sizes)
        if (plane_bytes(size[0], size[1]) > largest) largest = plane_bytes(size[0], size[1]);
    return largest;
}
