#pragma once
// The player's preferences store. For now it carries only what the video renderer
// reads: the four guide colours and the four canvas colours, with their defaults.
// The member names are the keys under which the preferences file keeps them.
#include <QColor>
#include <QObject>

class GlobalSettings : public QObject {
    Q_OBJECT
public:
    explicit GlobalSettings(QObject* parent = nullptr);

    // Guides, in the order the renderer reads them: 5 % (action) safe area, 10 %
    // (title) safe area, video area, crop box (display area).
    QColor ui_col_safe_area_action;
    QColor ui_col_safe_area_title;
    QColor ui_col_video_area;
    QColor ui_col_display_area;
    // Canvas, in the order the renderer reads them: the clear colour around the
    // picture, the Custom Color background, the two Custom Checkerboard colours.
    QColor ui_letterbox_pillarbox_color;
    QColor ui_custom_bg_color;
    QColor ui_custom_checkerboard_color_1;
    QColor ui_custom_checkerboard_color_2;
};
