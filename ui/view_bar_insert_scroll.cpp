#include "ui/view_bar_insert_scroll.h"

#include "ui/view_widget_base.h"

ViewBarInsertScroll::ViewBarInsertScroll(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    setAutoFillBackground(true);
    setColor(QColor(200, 200, 200));
}

void ViewBarInsertScroll::setColor(const QColor& colour) {
    view_set_palette_color(this, QPalette::Window, colour);
}
