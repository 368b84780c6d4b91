#pragma once
// What the two dialog bases share: the dark background, the right-aligned bottom
// buttons and the high-DPI flag read from the native window. GUI thread only.
#include <QList>
#include <QRect>
#include <QSize>

#include <cstdint>

class QWidget;
class QWindow;
class ViewBtnText;

// Background RGB(6,11,14) in every colour group, filled automatically.
void dialog_fill_background(QWidget* widget);

// The widget's own native window, else its native parent's; null before either
// exists (before show() or winId()).
QWindow* dialog_native_window(const QWidget* widget);

// Re-reads the DPI of the widget's native window (at least 96) into `highDpi`
// (dpi >= 97), storing only a change. Without a native window logs
// `missingWindowMessage`, leaves the flag and returns false.
bool dialog_update_high_dpi(const QWidget* widget, uint8_t* highDpi, const char* missingWindowMessage);

// Places `buttons` right to left along the bottom of a w x h area, 10 pixels from the
// right and bottom edges with 5 pixels between them, the first button right-most.
// Returns the x left of the last one (minus the gap).
int dialog_place_right_buttons(const QList<ViewBtnText*>& buttons, int w, int h);

// A dialog of `size` shrunk to fit `area` and centred in it; the area's origin counts
// (a screen left of or above the primary one has a negative or non-zero origin).
QRect dialog_fit_to_area(const QSize& size, const QRect& area);
