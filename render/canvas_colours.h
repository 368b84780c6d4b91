#pragma once
// The eight colours the video renderer draws with besides the picture, as the main
// window hands them over (VulkanWinRenderer::setBackgroundColors) from the
// preferences: a plain record, 8-bit red, green, blue and alpha each.
#include <QColor>

struct CanvasColours {
    // Guide lines: 5 % (action) safe area, 10 % (title) safe area, video area, crop box.
    QColor guides[4];
    // Canvas: the clear colour around the picture, the Custom Color background, the
    // two Custom Checkerboard colours.
    QColor canvas[4];
};
