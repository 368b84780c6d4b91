#include "app/settings_canvas_colours.h"

#include "base/settings/global_settings.h"

CanvasColours canvas_colours(const GlobalSettings& settings) {
    CanvasColours colours;
    colours.guides[0] = settings.ui_col_safe_area_action;
    colours.guides[1] = settings.ui_col_safe_area_title;
    colours.guides[2] = settings.ui_col_video_area;
    colours.guides[3] = settings.ui_col_display_area;
    colours.canvas[0] = settings.ui_letterbox_pillarbox_color;
    colours.canvas[1] = settings.ui_custom_bg_color;
    colours.canvas[2] = settings.ui_custom_checkerboard_color_1;
    colours.canvas[3] = settings.ui_custom_checkerboard_color_2;
    return colours;
}
