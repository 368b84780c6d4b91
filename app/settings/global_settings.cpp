#include "app/settings/global_settings.h"

// The defaults hold until the preferences file is read.
GlobalSettings::GlobalSettings(QObject* parent)
    : QObject(parent),
      ui_col_safe_area_action(255, 0, 0, 255),
      ui_col_safe_area_title(0, 255, 0, 255),
      ui_col_video_area(255, 255, 0, 255),
      ui_col_display_area(255, 0, 255, 255),
      ui_letterbox_pillarbox_color(0, 0, 0, 255),
      ui_custom_bg_color(27, 43, 54, 255),
      ui_custom_checkerboard_color_1(255, 255, 255, 255),
      ui_custom_checkerboard_color_2(228, 85, 87, 255) {}
