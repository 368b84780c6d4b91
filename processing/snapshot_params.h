#pragma once
// What decides a snapshot's conversion: the movie's picture, the view's alpha and
// background modes, the crop box of the movie's display window, the scaling asked for
// in the preferences, the guides shown and the output format. The setters fill it,
// snapshot_prepare_params derives the picture sizes and alpha decisions, and
// snapshot_graph_build (snapshot_tree.h) turns it into the conversion tree.
//
// Plain record, any thread (one at a time). Errors: std::runtime_error with fixed
// texts.
#include <cstdint>

#include "processing/guide_filters.h"

enum SnapshotOutputFormat : uint32_t { SnapshotOutput_Jpeg = 12, SnapshotOutput_Png = 13 };

enum SnapshotBackground : uint32_t {
    SnapshotBg_Black = 0,
    SnapshotBg_White = 1,
    SnapshotBg_Checkerboard = 2,
    SnapshotBg_KeepAlpha = 3,
    SnapshotBg_CustomColour = 4,
    SnapshotBg_CustomCheckerboard = 5,
};

struct SnapshotParams {
    uint32_t alpha_mode = 0;  // of the view: 0 premultiplied over black, 1 straight
    uint8_t opaque = 0;       // the movie carries no alpha
    uint32_t fourcc = 0, subcodec = 0;
    uint32_t src_width = 0, src_height = 0;
    uint32_t output_format = SnapshotOutput_Jpeg;
    uint32_t output_alpha_mode = 1;
    uint32_t jpeg_quality = 100;
    // The picture placed in the display window (the canvas) at x, y.
    uint8_t crop_box = 0;
    uint32_t canvas_width = 0, canvas_height = 0, canvas_x = 0, canvas_y = 0;
    uint32_t scale_mode = 0;  // 0 same as source, 1 fit to, 2 fit and pad
    uint32_t target_width = 0, target_height = 0;
    uint32_t scale_quality = 1;  // 0 nearest, 1 bilinear, 2 bicubic
    uint32_t background = SnapshotBg_Black;
    RgbaF bg_colours[2];
    uint8_t safe_area = 0;
    RgbaF safe_area_colours[2];
    uint8_t video_area = 0;
    RgbaF video_area_colour;

    // Derived by snapshot_prepare_params.
    uint8_t threaded = 0;
    uint8_t keep_alpha = 0;
    uint32_t display_width = 0, display_height = 0;
    uint32_t fitted_width = 0, fitted_height = 0;
    uint32_t final_width = 0, final_height = 0;
    uint8_t source_has_alpha = 0;
    uint8_t output_keeps_alpha = 0;
    uint8_t bg_merge_in_place = 1;
};

void snapshot_set_source(SnapshotParams* p, uint32_t width, uint32_t height, uint32_t fourcc, uint32_t subcodec,
                         uint8_t opaque);
void snapshot_set_scale(SnapshotParams* p, uint32_t target_width, uint32_t target_height, uint32_t scale_mode,
                        uint32_t quality);
void snapshot_set_jpeg(SnapshotParams* p, uint32_t quality);
void snapshot_set_png(SnapshotParams* p);
void snapshot_set_safe_area(SnapshotParams* p, const RgbaF& action, const RgbaF& title);
void snapshot_set_video_area(SnapshotParams* p, const RgbaF& colour);
void snapshot_set_background(SnapshotParams* p, uint32_t mode, uint32_t alpha_mode, const RgbaF& first,
                             const RgbaF& second);

// Fills the derived fields. An unknown source code throws "Unknown src format" (a DXV
// movie of unknown sub-codec "Unknown subcodec dxv"); an output code above 13
// "Unknown dst format".
void snapshot_prepare_params(SnapshotParams* p);

// True for 'Hap1', 'Hap5', 'Hap7', 'HapA', 'HapM', 'HapY'.
bool is_hap_fourcc(uint32_t fourcc);
// HapCodec of a HAP four-character code; any other code throws "Mov dataformat not
// hap codec".
uint32_t hap_codec_from_fourcc(uint32_t fourcc);
// Whether the source code carries alpha (Hap7 unless opaque); unknown codes throw.
bool snapshot_source_has_alpha(uint32_t fourcc, uint32_t subcodec, uint8_t opaque);
// PNG keeps alpha, JPEG does not; codes above 13 throw "Unknown dst format".
bool snapshot_output_keeps_alpha(const SnapshotParams* p);

// The destination of a scale step: pixel format, alpha mode and the colour words.
struct SnapshotPixfmt {
    uint32_t format = 0;
    uint32_t alpha_mode = 0;
    uint32_t full_range = 1;
    uint32_t matrix = 0;
};
// JPEG: RGBX8; PNG: RGBA8 straight when alpha is kept, else RGBX8. An output without
// alpha takes `current_alpha_mode` (the picture's) so the step only drops alpha and
// never premultiplies a second time. `padding` asks for a format the pad node takes.
SnapshotPixfmt snapshot_pick_pixfmt(const SnapshotParams* p, bool padding, uint32_t current_alpha_mode);

// Largest bytes of one plane of any picture the tree makes for these parameters
// (after snapshot_prepare_params), 64-bit.
uint64_t snapshot_largest_plane_bytes(const SnapshotParams* p);
// Plane sizes are 32-bit: the tree refuses parameters over this with
// "Snapshot size too large".
constexpr uint64_t kSnapshotMaxPlaneBytes = UINT32_MAX;
