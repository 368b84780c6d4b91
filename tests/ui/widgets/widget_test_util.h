#pragma once
// Small helpers of the widget tests: a shown host window, the opacity a widget shows,
// and presses at a point.
#include "tests/support_qt/widget_app.h"
#include "ui/view_widget_base.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <memory>

// A shown, active top-level window for widgets that need focus.
inline std::unique_ptr<QWidget> shown_host(int w = 400, int h = 200) {
    widget_app();
    auto host = std::make_unique<QWidget>();
    host->resize(w, h);
    (void)show_active(host.get());
    return host;
}

inline void press(QWidget* widget, Qt::MouseButton button, Qt::KeyboardModifiers mods = {}, QPoint pos = QPoint()) {
    QTest::mousePress(widget, button, mods, pos.isNull() ? widget->rect().center() : pos);
    QTest::mouseRelease(widget, button, mods, pos.isNull() ? widget->rect().center() : pos);
}
