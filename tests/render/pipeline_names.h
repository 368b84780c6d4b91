#pragma once
// The 26 pipelines the video renderer registers by name (UI, backgrounds, video).
#include <QStringList>

namespace vktest {

inline const QStringList& renderer_pipeline_names() {
    static const QStringList names = {
        "ui_img_straight", "ui_draw_overlay", "ui_fill_color", "ui_fill_white", "ui_fill_black_opaque",
        "ui_fill_white_opaque", "bg_checkerboard", "bg_custom_checkerboard",
        "rgba_to_rgba_straight_bilinear_triangle_strip", "rgba_to_rgba_straight_bicubic_triangle_strip",
        "rgba_to_rgbx_bilinear", "rgba_to_rgbx_bicubic", "rgba_to_rgba_straight_bilinear",
        "rgba_to_rgba_straight_bicubic", "rgba_to_rgba_premult_bilinear", "rgba_to_rgba_premult_bicubic",
        "rgba_to_alpha_bilinear", "rgba_to_alpha_bicubic", "hapalphaonly_to_rgbx_bilinear",
        "hapalphaonly_to_rgbx_bicubic", "hapq_to_rgbx_bilinear", "hapq_to_rgbx_bicubic",
        "hapqa_to_rgba_straight_bilinear", "hapq_to_rgba_straight_bicubic", "hapqa_to_rgba_premult_bilinear",
        "hapq_to_rgba_premult_bicubic"};
    return names;
}

}  // namespace vktest
