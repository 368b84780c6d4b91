// The preferences store's colours, and the renderer receiving them from the main window.
#include <gtest/gtest.h>

#include "base/settings/global_settings.h"
#include "app/settings_canvas_colours.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "widget_app.h"

namespace {

void expect_colour(const float* got, int r, int g, int b, int a) {
    EXPECT_FLOAT_EQ(got[0], float(r / 255.0));
    EXPECT_FLOAT_EQ(got[1], float(g / 255.0));
    EXPECT_FLOAT_EQ(got[2], float(b / 255.0));
    EXPECT_FLOAT_EQ(got[3], float(a / 255.0));
}

}  // namespace

TEST(GlobalSettings, FreshStoreGivesTheRendererItsEightDefaultColours) {
    widget_app();
    GlobalSettings settings;
    EXPECT_EQ(settings.ui_col_safe_area_action, QColor(255, 0, 0, 255));
    EXPECT_EQ(settings.ui_custom_checkerboard_color_2, QColor(228, 85, 87, 255));

    VulkanWindow window;  // never shown: the renderer needs no device for this
    VulkanWinRenderer renderer(&window);
    renderer.setBackgroundColors(canvas_colours(settings));
    const BaseGpu2dCanvas& canvas = renderer.canvasState();
    // Guides: 5 %, 10 %, video area, crop box.
    expect_colour(canvas.guideColours[0], 255, 0, 0, 255);
    expect_colour(canvas.guideColours[1], 0, 255, 0, 255);
    expect_colour(canvas.guideColours[2], 255, 255, 0, 255);
    expect_colour(canvas.guideColours[3], 255, 0, 255, 255);
    // Canvas: clear colour, Custom Color, the two Custom Checkerboard colours.
    expect_colour(canvas.canvasColours[0], 0, 0, 0, 255);
    expect_colour(canvas.canvasColours[1], 27, 43, 54, 255);
    expect_colour(canvas.canvasColours[2], 255, 255, 255, 255);
    expect_colour(canvas.canvasColours[3], 228, 85, 87, 255);

    // A changed colour, alpha included, reaches the renderer on the next call.
    settings.ui_custom_bg_color = QColor(1, 2, 3, 4);
    renderer.setBackgroundColors(canvas_colours(settings));
    expect_colour(canvas.canvasColours[1], 1, 2, 3, 4);
}
