#include "ui/base_dialog_common.h"

#include "platform/desktop/window_dpi.h"
#include "ui/view_btn_text.h"
#include "ui/view_widget_base.h"

#include <QWidget>
#include <QWindow>

#include <algorithm>

void dialog_fill_background(QWidget* widget) {
    view_set_palette_color(widget, QPalette::Window, QColor(6, 11, 14));
    widget->setAutoFillBackground(true);
}

QWindow* dialog_native_window(const QWidget* widget) {
    if (QWindow* own = widget->windowHandle()) return own;
    const QWidget* native = widget->nativeParentWidget();
    return native != nullptr ? native->windowHandle() : nullptr;
}

bool dialog_update_high_dpi(const QWidget* widget, uint8_t* highDpi, const char* missingWindowMessage) {
    const QWindow* window = dialog_native_window(widget);
    if (window == nullptr) {
        qDebug("%s", missingWindowMessage);
        return false;
    }
    const uint32_t dpi = std::max<uint32_t>(platformWindowDpi(window), 96);
    const uint8_t high = dpi >= 97 ? 1 : 0;
    if (high != *highDpi) *highDpi = high;
    return true;
}

int dialog_place_right_buttons(const QList<ViewBtnText*>& buttons, int w, int h) {
    int x = w - 10;
    for (ViewBtnText* button : buttons) {
        x -= button->width();
        button->move(x, h - button->height() - 10);
        x -= 5;
    }
    return x;
}

QRect dialog_fit_to_area(const QSize& size, const QRect& area) {
    const int w = std::min(size.width(), area.width());
    const int h = std::min(size.height(), area.height());
    return QRect(area.x() + (area.width() - w) / 2, area.y() + (area.height() - h) / 2, w, h);
}
