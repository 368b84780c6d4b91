#pragma once
// What every hand-painted View* widget shares: the theme colours and the enabled
// look. A widget shows its enabled state by an opacity effect set on itself, a new
// effect each time (the widget owns it and deletes the previous one).
// GUI thread only.
#include <QColor>
#include <QPalette>

class QGraphicsOpacityEffect;
class QWidget;

// Background of buttons, entries and lists ("#232D36" in style sheets).
inline const QColor kViewThemeBackground(35, 45, 54);
// Hover highlight ("#45586A" in style sheets).
inline const QColor kViewThemeHover(69, 88, 106);

// Installs a new opacity effect at `opacity` on `widget` and returns it; the widget
// owns it and the previous effect is deleted.
QGraphicsOpacityEffect* view_set_opacity(QWidget* widget, double opacity);

// The opacity of the widget's current opacity effect, 1.0 when it has none.
double view_opacity(const QWidget* widget);

// Fills the widget's palette role `role` for every colour group.
void view_set_palette_color(QWidget* widget, QPalette::ColorRole role, const QColor& color);
